#include "trackwriter.h"

#include "error.h"

#include <QFile>
#include <QSaveFile>

#include <vector>

namespace tideplot {

namespace {

constexpr qint64 kCopyChunkBytes = qint64{1} << 20;

// Follows the lines of a track file's start, as the replay does, until it meets a line
// without "#" (the line the replay takes as the column header).
class HeaderScan {
public:
    void feed(const char* data, qint64 size)
    {
        for (qint64 i = 0; i < size && !found_; ++i) {
            const char c = data[i];
            if (c == '\n' && afterCr_) {
                afterCr_ = false;
                continue;
            }
            afterCr_ = c == '\r';
            if (c == '\n' || c == '\r') {
                found_ = !lineHasHash_;
                lineHasHash_ = false;
                lineOpen_ = false;
            } else {
                lineOpen_ = true;
                lineHasHash_ = lineHasHash_ || c == '#';
            }
        }
    }
    // At the end of the file: true when it holds a line without "#".
    bool found() const { return found_ || (lineOpen_ && !lineHasHash_); }

private:
    bool found_ = false;
    bool lineOpen_ = false;
    bool lineHasHash_ = false;
    bool afterCr_ = false;
};

[[noreturn]] void WriteFailed(const std::string& path, const QString& reason)
{
    throw Error("cannot write \"" + path + "\": " + reason.toStdString() + "; the file is unchanged");
}

} // namespace

TrackAppendResult AppendTrackLines(const std::string& path, std::string_view lines)
{
    const QString name = QFile::decodeName(path.c_str());
    QFile old(name);
    TrackAppendResult result;
    result.Created = !old.exists();
    if (!result.Created && lines.empty())
        return result;
    if (!result.Created && !old.open(QIODevice::ReadOnly))
        throw Error("cannot read \"" + path + "\": " + old.errorString().toStdString() + "; the file is unchanged");

    // Unbuffered, so every write reaches the file system and its result is seen here: with
    // its own buffer QSaveFile can lose a short write (a file size limit, a full disk) and
    // still commit the cut file.
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        WriteFailed(path, out.errorString());
    qint64 total = 0;
    const auto write = [&](const char* data, qint64 size) {
        if (size > 0 && out.write(data, size) != size)
            WriteFailed(path, out.error() == QFileDevice::NoError
                                  ? QStringLiteral("the disk is full or the file too large")
                                  : out.errorString());
        total += size;
    };

    HeaderScan scan;
    char last = '\n';
    if (!result.Created) {
        std::vector<char> buffer(static_cast<std::size_t>(kCopyChunkBytes));
        for (;;) {
            const qint64 n = old.read(buffer.data(), kCopyChunkBytes);
            if (n < 0)
                throw Error("cannot read \"" + path + "\": " + old.errorString().toStdString() +
                            "; the file is unchanged");
            if (n == 0)
                break;
            scan.feed(buffer.data(), n);
            write(buffer.data(), n);
            last = buffer[std::size_t(n - 1)];
        }
    }
    if (last != '\n' && last != '\r')
        write("\r\n", 2);
    if (!scan.found()) {
        write(kTrackHeaderLine.data(), qint64(kTrackHeaderLine.size()));
        result.HeaderWritten = true;
    }
    write(lines.data(), qint64(lines.size()));
    if (out.size() != total)
        WriteFailed(path, QStringLiteral("the new file came out at %1 bytes instead of %2").arg(out.size()).arg(total));
    if (!out.commit())
        WriteFailed(path, out.errorString());
    return result;
}

} // namespace tideplot
