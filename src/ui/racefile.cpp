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
    QByteArray bytes;
    for (const std::string& row : rows) {
        bytes.append(row.data(), static_cast<qsizetype>(row.size()));
        bytes.append("\r\n", 2);
    }
    QSaveFile file(Name(path));
    if (!file.open(QIODevice::WriteOnly))
        Fail("cannot write the race file", path, file.errorString());
    // Every write is checked before the new file takes the old one's place: a write that
    // fails only when the buffer is flushed would otherwise be committed cut short.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        file.commit();
        Fail("cannot write the race file", path, reason);
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
