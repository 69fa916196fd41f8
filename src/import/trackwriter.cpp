#include "trackwriter.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/linereader.h"
#include "core/outputfile.h"
#include "core/windfile.h"

#include <QFile>

#include <algorithm>
#include <vector>

namespace tideplot {

namespace {

constexpr qint64 kCopyChunkBytes = qint64{1} << 20;
// The last line with a time is looked for in the last this many bytes of a track file.
constexpr qint64 kTailBytes = qint64{1} << 20;

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

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The time of a line "...<sep>YYYYMMDD<sep>hhmmss" (blanks after it allowed).
std::optional<LogSecond> LineTime(std::string_view line)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.size() < 16 || line.find('#') != std::string_view::npos)
        return std::nullopt;
    const std::string_view time = line.substr(line.size() - 6);
    const std::string_view date = line.substr(line.size() - 15, 8);
    if (!std::all_of(time.begin(), time.end(), IsDigit) || !std::all_of(date.begin(), date.end(), IsDigit) ||
        IsDigit(line[line.size() - 7]) || IsDigit(line[line.size() - 16]))
        return std::nullopt;
    const auto number = [](std::string_view digits) {
        int value = 0;
        for (const char c : digits)
            value = value * 10 + (c - '0');
        return value;
    };
    const int y = number(date.substr(0, 4)), mo = number(date.substr(4, 2)), d = number(date.substr(6, 2));
    const int h = number(time.substr(0, 2)), mi = number(time.substr(2, 2)), s = number(time.substr(4, 2));
    if (!IsValidDateTime(y, mo, d, h, mi, s))
        return std::nullopt;
    return DayNumber(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// The time of a wind file's line "YYYYMMDD,hhmmss,...".
std::optional<LogSecond> WindLineTime(std::string_view line)
{
    if (line.size() < 16 || line[8] != ',' || line[15] != ',')
        return std::nullopt;
    return LineTime("," + std::string(line.substr(0, 15)));
}

// The time of the last line with one in the last kTailBytes of the file.
std::optional<LogSecond> LastLineTime(QFile& file, TrackFileAppend::Kind kind)
{
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - kTailBytes);
    if (!file.seek(from))
        return std::nullopt;
    const QByteArray tail = file.read(size - from);
    std::string_view text(tail.constData(), std::size_t(tail.size()));
    while (!text.empty()) {
        const std::size_t end = text.find_last_not_of("\r\n");
        if (end == std::string_view::npos)
            break;
        text = text.substr(0, end + 1);
        const std::size_t start = text.find_last_of("\r\n");
        const std::string_view line = start == std::string_view::npos ? text : text.substr(start + 1);
        if (start == std::string_view::npos && from > 0)
            break; // the line may have begun before the tail
        if (const std::optional<LogSecond> time =
                kind == TrackFileAppend::Kind::Wind ? WindLineTime(line) : LineTime(line))
            return time;
        text = start == std::string_view::npos ? std::string_view() : text.substr(0, start);
    }
    return std::nullopt;
}

} // namespace

TrackFileAppend::TrackFileAppend(std::string path, Kind kind) : path_(std::move(path)), kind_(kind)
{
    // Reading a FIFO would wait for a writer, a device never end.
    if (const std::string what = NotARegularFile(path_); !what.empty())
        Unchanged("cannot write " + What() + " \"" + path_ + "\": it is " + what + ", not a file");
    QFile file(QFile::decodeName(path_.c_str()));
    exists_ = file.exists();
    if (exists_ && file.open(QIODevice::ReadOnly))
        lastSecond_ = LastLineTime(file, kind_);
}

std::string TrackFileAppend::What() const
{
    return kind_ == Kind::Wind ? "the wind file" : "the track file";
}

TrackFileAppend::~TrackFileAppend() = default;

void TrackFileAppend::Unchanged(const std::string& what) const
{
    throw Error(what + "; the file is unchanged");
}

void TrackFileAppend::Start()
{
    const QString name = QFile::decodeName(path_.c_str());
    try {
        QFile old(name);
        exists_ = old.exists();
        if (exists_ && !old.open(QIODevice::ReadOnly))
            throw Error("cannot read \"" + path_ + "\": " + old.errorString().toStdString());
        out_ = std::make_unique<OutputFile>(name, What());
        HeaderScan scan;
        char last = '\n';
        if (exists_) {
            std::vector<char> buffer(static_cast<std::size_t>(kCopyChunkBytes));
            for (;;) {
                const qint64 n = old.read(buffer.data(), kCopyChunkBytes);
                if (n < 0)
                    throw Error("cannot read \"" + path_ + "\": " + old.errorString().toStdString());
                if (n == 0)
                    break;
                scan.feed(buffer.data(), n);
                out_->Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
                last = buffer[std::size_t(n - 1)];
            }
        }
        if (last != '\n' && last != '\r')
            buffer_ += "\r\n";
        if (!scan.found())
            buffer_ += kind_ == Kind::Wind ? kWindHeaderLine : kTrackHeaderLine;
    } catch (const Error& e) {
        out_.reset();
        Unchanged(e.what());
    }
}

void TrackFileAppend::Add(std::string_view line)
{
    if (!out_)
        Start();
    buffer_ += line;
    buffer_ += "\r\n";
    ++added_;
    if (buffer_.size() >= std::size_t(kCopyChunkBytes))
        Flush();
}

void TrackFileAppend::Flush()
{
    try {
        out_->Write(buffer_);
        buffer_.clear();
    } catch (const Error& e) {
        out_.reset();
        Unchanged(e.what());
    }
}

void TrackFileAppend::Park()
{
    if (!out_)
        return;
    Flush();
    std::string().swap(buffer_);
}

void TrackFileAppend::Commit()
{
    if (!out_)
        return;
    Flush();
    try {
        out_->Commit();
        out_.reset();
    } catch (const Error& e) {
        out_.reset();
        Unchanged(e.what());
    }
}

std::optional<PreparedFile> TrackFileAppend::Prepare()
{
    if (!out_)
        return std::nullopt;
    Flush();
    try {
        return out_->Prepare();
    } catch (const Error& e) {
        out_.reset();
        Unchanged(e.what());
    }
}

TrackAppendResult AppendTrackLines(const std::string& path, std::string_view lines)
{
    TrackFileAppend append(path);
    TrackAppendResult result;
    result.Created = !QFile::exists(QFile::decodeName(path.c_str()));
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        append.Add(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 2);
    }
    append.Commit();
    return result;
}

} // namespace tideplot
