#include "ui/racefile.h"

#include "core/error.h"
#include "core/linereader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    return ReadAllLines(path);
}

void WriteRaceFile(const std::string& path, const std::vector<std::string>& rows)
{
    QSaveFile file(Name(path));
    if (!file.open(QIODevice::WriteOnly))
        Fail("cannot write the race file", path, file.errorString());
    for (const std::string& row : rows) {
        file.write(row.data(), static_cast<qint64>(row.size()));
        file.write("\r\n", 2);
    }
    if (!file.commit())
        Fail("cannot write the race file", path, file.errorString());
}

void CreateRaceFileIfMissing(const std::string& path)
{
    QFile file(Name(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        Fail("cannot create the race file", path, file.errorString());
}

} // namespace tideplot
