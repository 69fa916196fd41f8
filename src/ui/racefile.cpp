#include "ui/racefile.h"

#include "core/error.h"
#include "core/linereader.h"
#include "core/outputfile.h"

#include <QFile>
#include <QFileInfo>

namespace tideplot {

namespace {

QString Name(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, const QString& reason)
{
    throw Error(what + " " + path + ": " + reason.toLocal8Bit().toStdString());
}

} // namespace

std::vector<std::string> ReadRaceFile(const std::string& path)
{
    if (QFileInfo(Name(path)).isDir())
        throw Error("cannot read the race file " + path + ": it is a folder");
    LineReader reader(path);
    std::vector<std::string> lines;
    while (!reader.AtEnd())
        lines.emplace_back(reader.ReadLine());
    return lines;
}

void WriteRaceFile(const std::string& path, const std::vector<std::string>& rows)
{
    std::string bytes;
    for (const std::string& row : rows) {
        bytes += row;
        bytes += "\r\n";
    }
    OutputFile file(Name(path), "the race file");
    file.Write(bytes);
    file.Commit();
}

void CreateRaceFileIfMissing(const std::string& path)
{
    QFile file(Name(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        Fail("cannot create the race file", path, file.errorString());
}

} // namespace tideplot
