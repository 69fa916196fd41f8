#include "kmlimport.h"

#include "error.h"

#include <QFile>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace tideplot {

namespace {

// Progress is looked at every this many XML tokens and reported every this many bytes
// (when the log is read in one pass).
constexpr int kTokensPerProgressCheck = 4096;
constexpr std::int64_t kBytesPerProgressReport = std::int64_t{1} << 20;

// Texts quoted in messages are cut to this many characters.
constexpr qsizetype kQuoteLength = 60;

// "YYYYMMDD,hhmmss": the date and time fields of a track line.
constexpr std::size_t kDateTimeLength = 15;
using DateTimeFields = std::array<char, kDateTimeLength>;

// KML 2.0 to 2.2 came under earth.google.com and opengis.net, KML 2.3 under opengis.net;
// many loggers write no namespace at all.
bool IsKmlNamespace(QStringView ns)
{
    return ns.isEmpty() || ns.startsWith(u"http://www.opengis.net/kml/") ||
           ns.startsWith(u"http://earth.google.com/kml/");
}

// gx:Track and gx:coord come from Google's extension namespace; KML 2.3 took them into its
// own namespace as Track and coord.
bool IsTrackNamespace(QStringView ns)
{
    return ns == u"http://www.google.com/kml/ext/2.2" || IsKmlNamespace(ns);
}

bool IsXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QStringView TrimXmlSpace(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsXmlSpace(text[begin]))
        ++begin;
    while (end > begin && IsXmlSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::string Quoted(QStringView text)
{
    std::string quoted(1, '"');
    quoted += text.left(kQuoteLength).toUtf8().toStdString();
    quoted += text.size() > kQuoteLength ? "...\"" : "\"";
    return quoted;
}

// Reads a time "YYYY-MM-DDThh:mm:ss", optionally followed by a fraction of a second and
// a zone ("Z", "+hh:mm", "+hhmm", "+hh"), into the date and time fields of a track line.
// The clock time is kept as written; the fraction and the zone are dropped.
bool ReadKmlTime(QStringView text, DateTimeFields& fields)
{
    text = TrimXmlSpace(text);
    static constexpr char kForm[] = "dddd-dd-ddTdd:dd:dd";
    constexpr qsizetype kFormLength = sizeof(kForm) - 1;
    if (text.size() < kFormLength)
        return false;
    std::size_t out = 0;
    for (qsizetype i = 0; i < kFormLength; ++i) {
        const QChar c = text[i];
        if (kForm[i] == 'd') {
            if (!IsDigit(c))
                return false;
            fields[out++] = static_cast<char>(c.unicode());
            if (out == 8)
                fields[out++] = ',';
        } else if (c != QLatin1Char(kForm[i])) {
            return false;
        }
    }
    qsizetype pos = kFormLength;
    const qsizetype n = text.size();
    if (pos < n && text[pos] == u'.') {
        ++pos;
        const qsizetype digitsStart = pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos;
        if (pos == digitsStart)
            return false;
    }
    if (pos < n && text[pos] == u'Z') {
        ++pos;
    } else if (pos < n && (text[pos] == u'+' || text[pos] == u'-')) {
        const QStringView zone = text.mid(pos + 1);
        const auto digits = [&](qsizetype at) { return IsDigit(zone[at]) && IsDigit(zone[at + 1]); };
        const bool ok = (zone.size() == 2 && digits(0)) || (zone.size() == 4 && digits(0) && digits(2)) ||
                        (zone.size() == 5 && digits(0) && zone[2] == u':' && digits(3));
        if (!ok)
            return false;
        pos = n;
    }
    if (pos != n)
        return false;

    const auto number = [&](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i)
            value = value * 10 + (fields[i] - '0');
        return value;
    };
    const int y = number(0, 4);
    const std::chrono::year_month_day date{std::chrono::year{y}, std::chrono::month{unsigned(number(4, 2))},
                                           std::chrono::day{unsigned(number(6, 2))}};
    return y >= 1 && date.ok() && number(9, 2) <= 23 && number(11, 2) <= 59 && number(13, 2) <= 59;
}

// A decimal number as KML writes degrees ("-12.5", "59.3251", "1e-3") whose value lies
// within +-limit.
bool IsDegrees(QStringView text, double limit)
{
    qsizetype pos = 0;
    const qsizetype n = text.size();
    if (pos < n && (text[pos] == u'+' || text[pos] == u'-'))
        ++pos;
    const qsizetype numberStart = pos;
    qsizetype digits = 0;
    while (pos < n && IsDigit(text[pos]))
        ++pos, ++digits;
    if (pos < n && text[pos] == u'.') {
        ++pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos, ++digits;
    }
    if (digits == 0)
        return false;
    if (pos < n && (text[pos] == u'e' || text[pos] == u'E')) {
        ++pos;
        if (pos < n && (text[pos] == u'+' || text[pos] == u'-'))
            ++pos;
        const qsizetype exponentStart = pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos;
        if (pos == exponentStart)
            return false;
    }
    if (pos != n)
        return false;

    std::array<char, 64> ascii{};
    const QStringView number = text.mid(numberStart);
    if (number.size() >= qsizetype(ascii.size()))
        return false;
    for (qsizetype i = 0; i < number.size(); ++i)
        ascii[std::size_t(i)] = static_cast<char>(number[i].unicode());
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + number.size(), value);
    return error == std::errc() && end == ascii.data() + number.size() && value <= limit;
}

// Appends a text known to be ASCII (it passed IsDegrees).
void AppendAscii(std::string& out, QStringView text)
{
    for (const QChar c : text)
        out += static_cast<char>(c.unicode());
}

// The longitude and latitude of a coordinate tuple, as the log writes them.
struct Position {
    QStringView Lon;
    QStringView Lat;
};

enum class PositionProblem { None, Form, Lon, Lat };

// Splits a tuple "lon<sep>lat[<sep>alt]" (blanks around the parts allowed when the
// separator is ",") and checks longitude and latitude. The altitude is not used.
PositionProblem ReadPosition(QStringView tuple, bool blankSeparated, Position& position)
{
    std::array<QStringView, 3> parts;
    qsizetype count = 0;
    tuple = TrimXmlSpace(tuple);
    if (blankSeparated) {
        qsizetype pos = 0;
        while (pos < tuple.size()) {
            const qsizetype start = pos;
            while (pos < tuple.size() && !IsXmlSpace(tuple[pos]))
                ++pos;
            if (count == qsizetype(parts.size()))
                return PositionProblem::Form;
            parts[std::size_t(count++)] = tuple.mid(start, pos - start);
            while (pos < tuple.size() && IsXmlSpace(tuple[pos]))
                ++pos;
        }
    } else {
        for (const QStringView part : tuple.tokenize(u',')) {
            if (count == qsizetype(parts.size()))
                return PositionProblem::Form;
            parts[std::size_t(count++)] = TrimXmlSpace(part);
        }
    }
    if (count < 2)
        return PositionProblem::Form;
    position.Lon = parts[0];
    position.Lat = parts[1];
    if (!IsDegrees(position.Lon, 180.0))
        return PositionProblem::Lon;
    if (!IsDegrees(position.Lat, 90.0))
        return PositionProblem::Lat;
    return PositionProblem::None;
}

// Serves `prefix`, then the bytes [begin, end) of a file, then `suffix`: one part of a log
// made into a document of its own (see ReadInParts), or the whole log with nothing around.
class LogPartDevice : public QIODevice {
public:
    LogPartDevice(const QString& path, std::int64_t begin, std::int64_t end, QByteArray prefix = {},
                  QByteArray suffix = {})
        : file_(path), begin_(begin), left_(end - begin), prefix_(std::move(prefix)), suffix_(std::move(suffix)),
          size_(prefix_.size() + left_ + suffix_.size())
    {
    }

    bool openPart()
    {
        if (!file_.open(QIODevice::ReadOnly) || !file_.seek(begin_)) {
            failure_ = file_.errorString();
            return false;
        }
        return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    qint64 size() const override { return size_; }
    // Bytes of the file served so far; may be read from another thread.
    std::int64_t fileBytesRead() const { return fileRead_.load(std::memory_order_relaxed); }
    bool failed() const { return !failure_.isEmpty(); }
    const QString& failure() const { return failure_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            if (prefixRead_ < prefix_.size()) {
                const qint64 n = std::min<qint64>(maxSize - done, prefix_.size() - prefixRead_);
                std::memcpy(data + done, prefix_.constData() + prefixRead_, std::size_t(n));
                prefixRead_ += n;
                done += n;
            } else if (left_ > 0) {
                const qint64 n = file_.read(data + done, std::min<qint64>(maxSize - done, left_));
                if (n <= 0) {
                    failure_ = n < 0 ? file_.errorString() : QStringLiteral("the file got shorter while it was read");
                    return -1;
                }
                left_ -= n;
                fileRead_.fetch_add(n, std::memory_order_relaxed);
                done += n;
            } else if (suffixRead_ < suffix_.size()) {
                const qint64 n = std::min<qint64>(maxSize - done, suffix_.size() - suffixRead_);
                std::memcpy(data + done, suffix_.constData() + suffixRead_, std::size_t(n));
                suffixRead_ += n;
                done += n;
            } else {
                break;
            }
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile file_;
    std::int64_t begin_;
    std::int64_t left_;
    std::atomic<std::int64_t> fileRead_{0};
    QByteArray prefix_;
    QByteArray suffix_;
    qsizetype prefixRead_ = 0;
    qsizetype suffixRead_ = 0;
    qint64 size_;
    QString failure_;
};

// One pass over a log (or one part of it). The reader keeps the depth of the open
// Placemark, TimeStamp, Point and Track elements (0 when none is open); only direct
// children count, so a LookAt's time span or a MultiGeometry does not lend a placemark
// its time or position.
class KmlLogReader {
public:
    KmlLogReader(const std::string& logPath, LogPartDevice& device, std::string& lines)
        : logPath_(logPath), device_(device), lines_(lines)
    {
        xml_.setDevice(&device_);
    }

    // Reads to the end and returns the number of lines added; reports progress to
    // `progress` (when set) against `totalBytes`.
    long run(const KmlImportProgress* progress = nullptr, std::int64_t totalBytes = 0)
    {
        std::int64_t reported = 0;
        int tokens = 0;
        while (!xml_.atEnd()) {
            switch (xml_.readNext()) {
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                break;
            default:
                break;
            }
            if (progress && ++tokens == kTokensPerProgressCheck) {
                tokens = 0;
                const std::int64_t read = device_.fileBytesRead();
                if (read - reported >= kBytesPerProgressReport) {
                    reported = read;
                    (*progress)(read, totalBytes);
                }
            }
        }
        checkXml();
        return count_;
    }

    // True when an element below the root declared a namespace.
    bool innerNamespaceDeclarations() const { return innerNamespaceDeclarations_; }

private:
    [[noreturn]] void fail(qint64 line, const std::string& what) const { ThrowAt(logPath_, long(line), what); }

    void checkXml() const
    {
        if (device_.failed())
            throw Error("cannot read \"" + logPath_ + "\": " + device_.failure().toStdString());
        if (xml_.hasError())
            fail(xml_.lineNumber(), "the log is not well-formed XML: " + xml_.errorString().toStdString());
    }

    // The text of the element just started; its end has been read afterwards.
    QString elementText()
    {
        QString text = xml_.readElementText();
        checkXml();
        return text;
    }

    void startElement()
    {
        ++depth_;
        if (depth_ > 1 && !innerNamespaceDeclarations_ && !xml_.namespaceDeclarations().isEmpty())
            innerNamespaceDeclarations_ = true;
        const QStringView name = xml_.name();
        if (trackDepth_ != 0) {
            if (depth_ == trackDepth_ + 1 && IsTrackNamespace(xml_.namespaceUri())) {
                if (name == u"when")
                    trackWhen();
                else if (name == u"coord")
                    trackCoord();
            }
            return;
        }
        if (placemarkDepth_ != 0) {
            if (depth_ == placemarkDepth_ + 1) {
                if (name == u"TimeStamp" && IsKmlNamespace(xml_.namespaceUri()))
                    timeStampDepth_ = depth_;
                else if (name == u"Point" && IsKmlNamespace(xml_.namespaceUri()))
                    pointDepth_ = depth_;
            } else if (timeStampDepth_ != 0 && depth_ == timeStampDepth_ + 1 && name == u"when" && !hasWhen_ &&
                       IsKmlNamespace(xml_.namespaceUri())) {
                whenLine_ = xml_.lineNumber();
                when_ = elementText();
                hasWhen_ = true;
                --depth_;
                return;
            } else if (pointDepth_ != 0 && depth_ == pointDepth_ + 1 && name == u"coordinates" && !hasCoordinates_ &&
                       IsKmlNamespace(xml_.namespaceUri())) {
                coordinatesLine_ = xml_.lineNumber();
                coordinates_ = elementText();
                hasCoordinates_ = true;
                --depth_;
                return;
            }
        }
        if (name == u"Placemark") {
            if (placemarkDepth_ == 0 && IsKmlNamespace(xml_.namespaceUri())) {
                placemarkDepth_ = depth_;
                hasWhen_ = false;
                hasCoordinates_ = false;
            }
        } else if (name == u"Track" && IsTrackNamespace(xml_.namespaceUri())) {
            trackDepth_ = depth_;
            trackLine_ = xml_.lineNumber();
            trackTimes_.clear();
            trackPositions_.clear();
        }
    }

    void endElement()
    {
        if (depth_ == trackDepth_) {
            endTrack();
            trackDepth_ = 0;
        } else if (depth_ == placemarkDepth_) {
            endPlacemark();
            placemarkDepth_ = 0;
        } else if (depth_ == timeStampDepth_) {
            timeStampDepth_ = 0;
        } else if (depth_ == pointDepth_) {
            pointDepth_ = 0;
        }
        --depth_;
    }

    DateTimeFields readTime(QStringView text, qint64 line) const
    {
        DateTimeFields fields;
        if (!ReadKmlTime(text, fields))
            fail(line, "the time " + Quoted(TrimXmlSpace(text)) +
                           " is not a date and time YYYY-MM-DDThh:mm:ss (with an optional fraction and zone)");
        return fields;
    }

    // A Placemark gives a point when it has both a time stamp and a Point; one without
    // either (a route point, a mark, a track's LineString) is passed over.
    void endPlacemark()
    {
        if (!hasWhen_ || !hasCoordinates_)
            return;
        const DateTimeFields time = readTime(when_, whenLine_);
        Position position;
        switch (ReadPosition(coordinates_, false, position)) {
        case PositionProblem::None:
            break;
        case PositionProblem::Form:
            fail(coordinatesLine_, "the coordinates " + Quoted(TrimXmlSpace(coordinates_)) +
                                       " are not one tuple longitude,latitude[,altitude]");
        case PositionProblem::Lon:
            fail(coordinatesLine_, "the longitude " + Quoted(position.Lon) + " is not a number from -180 to 180");
        case PositionProblem::Lat:
            fail(coordinatesLine_, "the latitude " + Quoted(position.Lat) + " is not a number from -90 to 90");
        }
        AppendAscii(lines_, position.Lat);
        lines_ += ',';
        AppendAscii(lines_, position.Lon);
        lines_ += ',';
        lines_.append(time.data(), time.size());
        lines_ += "\r\n";
        ++count_;
    }

    void trackWhen()
    {
        const qint64 line = xml_.lineNumber();
        const QString text = elementText();
        --depth_;
        trackTimes_.push_back(readTime(text, line));
    }

    void trackCoord()
    {
        const qint64 line = xml_.lineNumber();
        const QString text = elementText();
        --depth_;
        Position position;
        switch (ReadPosition(text, true, position)) {
        case PositionProblem::None:
            break;
        case PositionProblem::Form:
            fail(line, "the gx:coord " + Quoted(TrimXmlSpace(text)) + " is not \"longitude latitude altitude\"");
        case PositionProblem::Lon:
            fail(line, "the longitude " + Quoted(position.Lon) + " is not a number from -180 to 180");
        case PositionProblem::Lat:
            fail(line, "the latitude " + Quoted(position.Lat) + " is not a number from -90 to 90");
        }
        std::string latLon;
        AppendAscii(latLon, position.Lat);
        latLon += ',';
        AppendAscii(latLon, position.Lon);
        trackPositions_.push_back(std::move(latLon));
    }

    void endTrack()
    {
        if (trackTimes_.size() != trackPositions_.size())
            fail(trackLine_, "the gx:Track has " + std::to_string(trackTimes_.size()) + " when and " +
                                 std::to_string(trackPositions_.size()) + " gx:coord elements; they must pair up");
        for (std::size_t i = 0; i < trackTimes_.size(); ++i) {
            lines_ += trackPositions_[i];
            lines_ += ',';
            lines_.append(trackTimes_[i].data(), trackTimes_[i].size());
            lines_ += "\r\n";
            ++count_;
        }
    }

    const std::string& logPath_;
    LogPartDevice& device_;
    std::string& lines_;
    QXmlStreamReader xml_;
    long count_ = 0;
    bool innerNamespaceDeclarations_ = false;

    int depth_ = 0;
    int placemarkDepth_ = 0;
    int timeStampDepth_ = 0;
    int pointDepth_ = 0;
    int trackDepth_ = 0;

    bool hasWhen_ = false;
    QString when_;
    qint64 whenLine_ = 0;
    bool hasCoordinates_ = false;
    QString coordinates_;
    qint64 coordinatesLine_ = 0;

    qint64 trackLine_ = 0;
    std::vector<DateTimeFields> trackTimes_;
    std::vector<std::string> trackPositions_;
};

// Cutting a log into parts.
//
// A log of placemarks is mostly a long run of sibling Placemark elements. Cut in front of
// a placemark, the piece after the cut is read on its own once it is preceded by the start
// tags of the elements open at the cut (the root with its namespace declarations, then
// Document, Folder, ...), and the piece before the cut once it is followed by their end
// tags. The elements open at the first placemark are taken as the guess for every cut. A
// part is accepted only when it reads as a whole document without any error: that shows
// that the cut lies in element content (a cut inside a comment, a CDATA section, a tag or
// a text with an entity would leave the end tags unread or break them) with exactly the
// guessed elements open. The guess holds the namespaces in scope only when namespaces are
// declared nowhere but on the root, and a part's text means what it means in the whole
// log only without a DTD: both are checked. Each part then yields exactly the tokens of
// the whole log between its cuts, and the state of the placemark reader is empty at every
// cut (no Placemark or Track is open there).

// What a log looks like up to its first placemark, when it can be cut.
struct LogHead {
    QByteArray PlacemarkTag; // "<" and the qualified name of the first Placemark
    QByteArray StartTags;    // the start tags of the elements open there, outermost first
    QByteArray EndTags;      // their end tags, innermost first
};

QByteArray AttributeText(QStringView value)
{
    QByteArray out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'&':
            out += "&amp;";
            break;
        case u'<':
            out += "&lt;";
            break;
        case u'"':
            out += "&quot;";
            break;
        case u'\t':
            out += "&#9;";
            break;
        case u'\n':
            out += "&#10;";
            break;
        case u'\r':
            out += "&#13;";
            break;
        default:
            out += QStringView(&c, 1).toUtf8();
        }
    }
    return out;
}

// Reads the log up to its first placemark (within `limitBytes`); false when the log cannot
// be cut: no placemark there, not UTF-8, a DTD, a namespace declared below the root, or a
// Track open around the placemark. Errors are left to the full reading.
bool ReadLogHead(const QString& path, std::int64_t limitBytes, LogHead& head)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.peek(4);
    if (start.startsWith("\xFE\xFF") || start.startsWith("\xFF\xFE") || start.contains('\0'))
        return false;
    QXmlStreamReader xml(&file);
    std::vector<QString> open;
    QXmlStreamNamespaceDeclarations rootNamespaces;
    while (!xml.atEnd() && file.pos() <= limitBytes) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (!xml.documentEncoding().isEmpty() && xml.documentEncoding().compare(u"UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            break;
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement:
            if (xml.name() == u"Placemark" && IsKmlNamespace(xml.namespaceUri())) {
                if (open.empty())
                    return false;
                head.PlacemarkTag = "<" + xml.qualifiedName().toUtf8();
                head.StartTags.clear();
                head.EndTags.clear();
                for (std::size_t i = 0; i < open.size(); ++i) {
                    head.StartTags += "<" + open[i].toUtf8();
                    if (i == 0) {
                        for (const QXmlStreamNamespaceDeclaration& ns : rootNamespaces) {
                            head.StartTags += ns.prefix().isEmpty() ? " xmlns" : " xmlns:" + ns.prefix().toUtf8();
                            head.StartTags += "=\"" + AttributeText(ns.namespaceUri()) + "\"";
                        }
                    }
                    head.StartTags += ">";
                    head.EndTags.prepend("</" + open[i].toUtf8() + ">");
                }
                return true;
            }
            if (xml.name() == u"Track")
                return false;
            if (open.empty())
                rootNamespaces = xml.namespaceDeclarations();
            else if (!xml.namespaceDeclarations().isEmpty())
                return false;
            open.push_back(xml.qualifiedName().toString());
            break;
        case QXmlStreamReader::EndElement:
            if (!open.empty())
                open.pop_back();
            break;
        default:
            break;
        }
    }
    return false;
}

// The offset of the first "<Placemark" (the tag of `head`, followed by a blank, ">" or "/")
// in the `windowBytes` bytes from `from` on; -1 when there is none.
std::int64_t FindPlacemark(QFile& file, std::int64_t from, std::int64_t windowBytes, const QByteArray& tag)
{
    if (!file.seek(from))
        return -1;
    const QByteArray window = file.read(windowBytes);
    for (qsizetype at = window.indexOf(tag); at >= 0; at = window.indexOf(tag, at + 1)) {
        const qsizetype after = at + tag.size();
        if (after >= window.size())
            break;
        const char c = window[after];
        if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
            return from + at;
    }
    return -1;
}

// Reads the log in parts on several threads; false when it cannot be cut, or when a part
// fails for any reason (the caller then reads the log in one pass, which names the first
// error of the log, if it has one).
bool ReadInParts(const std::string& logPath, const QString& path, std::int64_t size, int parts, std::string& lines,
                 KmlReadResult& result, const KmlImportProgress& progress)
{
    LogHead head;
    if (!ReadLogHead(path, std::int64_t{1} << 20, head))
        return false;
    std::vector<std::int64_t> cuts{0};
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const std::int64_t window = std::min(size / parts, std::int64_t{1} << 20);
        for (int i = 1; i < parts; ++i) {
            const std::int64_t at = FindPlacemark(file, size * i / parts, window, head.PlacemarkTag);
            if (at > cuts.back())
                cuts.push_back(at);
        }
    }
    cuts.push_back(size);
    const std::size_t partCount = cuts.size() - 1;
    if (partCount < 2)
        return false;

    struct Part {
        std::unique_ptr<LogPartDevice> Device;
        std::string Lines;
        long Count = 0;
        bool Ok = false;
    };
    std::vector<Part> results(partCount);
    for (std::size_t i = 0; i < partCount; ++i)
        results[i].Device =
            std::make_unique<LogPartDevice>(path, cuts[i], cuts[i + 1], i > 0 ? head.StartTags : QByteArray(),
                                            i + 1 < partCount ? head.EndTags : QByteArray());
    const auto readPart = [&logPath](Part& part) {
        try {
            if (!part.Device->openPart())
                return;
            KmlLogReader reader(logPath, *part.Device, part.Lines);
            part.Count = reader.run();
            part.Ok = !reader.innerNamespaceDeclarations();
        } catch (...) {
            // Any failure, errors of the log included, sends the log to the one-pass reading.
        }
    };
    std::vector<std::future<void>> running;
    try {
        for (Part& part : results)
            running.push_back(std::async(std::launch::async, readPart, std::ref(part)));
    } catch (const std::system_error&) {
        return false; // no thread to be had; the futures started wait for their parts
    }
    for (std::future<void>& done : running) {
        while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            if (progress) {
                std::int64_t read = 0;
                for (const Part& part : results)
                    read += part.Device->fileBytesRead();
                progress(read, size);
            }
        }
    }
    for (const Part& part : results)
        if (!part.Ok)
            return false;
    result.PointCount = 0;
    result.Parts = int(partCount);
    for (Part& part : results) {
        lines += part.Lines;
        result.PointCount += part.Count;
        std::string().swap(part.Lines);
    }
    return true;
}

int PartCount(std::int64_t size, const KmlReadOptions& options)
{
    int threads = options.Threads;
    if (threads <= 0)
        threads = int(std::min(16u, std::max(1u, std::thread::hardware_concurrency())));
    const std::int64_t bySize = size / std::max<std::int64_t>(options.MinPartBytes, 1);
    return int(std::min<std::int64_t>(threads, bySize));
}

} // namespace

std::string KmlTrackFilePath(const std::string& logPath)
{
    return logPath + ".txt";
}

KmlReadResult ReadKmlTrackLines(const std::string& logPath, std::string& lines, const KmlImportProgress& progress,
                                const KmlReadOptions& options)
{
    const QString path = QFile::decodeName(logPath.c_str());
    std::int64_t size = 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Error("cannot open \"" + logPath + "\": " + file.errorString().toStdString());
        size = file.size();
    }
    if (size == 0)
        throw Error(logPath + ": the log is empty");

    KmlReadResult result;
    result.Parts = PartCount(size, options);
    if (result.Parts < 2 || !ReadInParts(logPath, path, size, result.Parts, lines, result, progress)) {
        result.Parts = 1;
        LogPartDevice device(path, 0, size);
        if (!device.openPart())
            throw Error("cannot open \"" + logPath + "\": " + device.failure().toStdString());
        result.PointCount = KmlLogReader(logPath, device, lines).run(progress ? &progress : nullptr, size);
    }
    if (progress)
        progress(size, size);
    return result;
}

void AppendAllOrNothing(const std::string& path, std::string_view bytes)
{
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw Error("cannot open \"" + path + "\" for appending: " + file.errorString().toStdString());
    const qint64 oldSize = file.size();
    const qint64 written = bytes.empty() ? 0 : file.write(bytes.data(), qint64(bytes.size()));
    if (written == qint64(bytes.size()) && file.flush())
        return;
    const std::string reason = file.errorString().toStdString();
    if (!file.resize(oldSize))
        throw Error("cannot append to \"" + path + "\": " + reason + "; cutting it back to its old size failed too (" +
                    file.errorString().toStdString() + ")");
    throw Error("cannot append to \"" + path + "\": " + reason + "; the file is unchanged");
}

KmlImportResult ImportKmlLog(const std::string& logPath, const KmlImportProgress& progress)
{
    KmlImportResult result;
    result.TrackFile = KmlTrackFilePath(logPath);
    std::string lines;
    result.PointCount = ReadKmlTrackLines(logPath, lines, progress).PointCount;
    AppendAllOrNothing(result.TrackFile, lines);
    return result;
}

} // namespace tideplot
