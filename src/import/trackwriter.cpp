#include "trackwriter.h"

#include "core/error.h"
#include "core/outputfile.h"

#include <QFile>

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

} // namespace

TrackAppendResult AppendTrackLines(const std::string& path, std::string_view lines)
{
    const QString name = QFile::decodeName(path.c_str());
    TrackAppendResult result;
    result.Created = !QFile::exists(name);
    if (!result.Created && lines.empty())
        return result;
    try {
        QFile old(name);
        if (!result.Created && !old.open(QIODevice::ReadOnly))
            throw Error("cannot read \"" + path + "\": " + old.errorString().toStdString());
        OutputFile out(name, "the track file");
        HeaderScan scan;
        char last = '\n';
        if (!result.Created) {
            std::vector<char> buffer(static_cast<std::size_t>(kCopyChunkBytes));
            for (;;) {
                const qint64 n = old.read(buffer.data(), kCopyChunkBytes);
                if (n < 0)
                    throw Error("cannot read \"" + path + "\": " + old.errorString().toStdString());
                if (n == 0)
                    break;
                scan.feed(buffer.data(), n);
                out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
                last = buffer[std::size_t(n - 1)];
            }
        }
        if (last != '\n' && last != '\r')
            out.Write(std::string_view("\r\n"));
        if (!scan.found())
            out.Write(kTrackHeaderLine);
        out.Write(lines);
        out.Commit();
    } catch (const Error& e) {
        throw Error(std::string(e.what()) + "; the file is unchanged");
    }
    return result;
}

} // namespace tideplot
