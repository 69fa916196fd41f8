#include "xmlpass.h"

#include "core/datetime.h"
#include "core/error.h"

#include <QFile>
#include <QXmlStreamNamespaceDeclarations>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

namespace tideplot::xmllog {

namespace {

// Progress is looked at every this many XML tokens and reported every this many bytes
// (when the log is read in one pass).
constexpr int kTokensPerProgressCheck = 4096;
constexpr std::int64_t kBytesPerProgressReport = std::int64_t{1} << 20;

// Texts quoted in messages are cut to this many characters.
constexpr qsizetype kQuoteLength = 60;

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

void Add(LogContents& to, const LogContents& from)
{
    to.UntimedPlacemarks += from.UntimedPlacemarks;
    to.LineStrings += from.LineStrings;
    to.LineStringPoints += from.LineStringPoints;
    to.Tracks += from.Tracks;
    to.TrackPoints += from.TrackPoints;
    to.RoutePoints += from.RoutePoints;
    to.Waypoints += from.Waypoints;
}

// Adds the skipped points of a later part, whose lines start after `lineOffset` lines.
void Add(SkippedPoints& to, const SkippedPoints& from, long lineOffset)
{
    if (from.Count == 0)
        return;
    if (to.Count == 0) {
        to.FirstLine = from.FirstLine + lineOffset;
        to.FirstReason = from.FirstReason;
    }
    to.Count += from.Count;
}

} // namespace

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

std::string Quoted(QStringView text)
{
    std::string quoted(1, '"');
    quoted += text.left(kQuoteLength).toUtf8().toStdString();
    quoted += text.size() > kQuoteLength ? "...\"" : "\"";
    return quoted;
}

std::string CountText(long count)
{
    std::string digits = std::to_string(count);
    for (auto at = std::ptrdiff_t(digits.size()) - 3; at > (digits[0] == '-' ? 1 : 0); at -= 3)
        digits.insert(std::size_t(at), 1, ',');
    return digits;
}

bool ReadLogTime(QStringView text, DateTimeFields& fields)
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
    return IsValidDateTime(number(0, 4), number(4, 2), number(6, 2), number(9, 2), number(11, 2), number(13, 2));
}

std::string TimeProblem(QStringView text)
{
    text = TrimXmlSpace(text);
    if (text.isEmpty())
        return "the time is empty";
    return "the time " + Quoted(text) +
           " is not a date and time YYYY-MM-DDThh:mm:ss (with an optional fraction and zone)";
}

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

void AppendAscii(std::string& out, QStringView text)
{
    for (const QChar c : text)
        out += static_cast<char>(c.unicode());
}

std::string LongitudeProblem(QStringView text)
{
    if (IsDegrees(text, 180.0))
        return {};
    return text.isEmpty() ? "the longitude is empty"
                          : "the longitude " + Quoted(text) + " is not a number from -180 to 180";
}

std::string LatitudeProblem(QStringView text)
{
    if (IsDegrees(text, 90.0))
        return {};
    return text.isEmpty() ? "the latitude is empty"
                          : "the latitude " + Quoted(text) + " is not a number from -90 to 90";
}

// ---------------------------------------------------------------------------------------
// XmlLimitGuard

bool XmlLimitGuard::scan(const char* data, std::int64_t size)
{
    if (!failure_.empty())
        return false;
    if (size <= 0)
        return true;
    auto bytes = reinterpret_cast<const unsigned char*>(data);
    if (width_ == Width::Unknown) {
        // The first bytes tell UTF-16 (with or without a byte order mark, since a log
        // starts with "<") from UTF-8 and the other encodings that write "<" as one byte.
        const unsigned char b0 = bytes[0];
        const unsigned char b1 = size > 1 ? bytes[1] : 0xFF;
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == '<' && b1 == 0))
            width_ = Width::Utf16Le;
        else if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0 && b1 == '<'))
            width_ = Width::Utf16Be;
        else
            width_ = Width::Bytes;
    }
    if (width_ == Width::Bytes)
        return scanUnits(bytes, size);

    // UTF-16: one byte per code unit, ASCII as it is and everything else as 0x80.
    units_.clear();
    units_.reserve(std::size_t(size / 2 + 1));
    std::int64_t i = 0;
    const auto unit = [&](unsigned char first, unsigned char second) {
        const unsigned value = width_ == Width::Utf16Le ? first | (second << 8) : (first << 8) | second;
        units_ += char(value < 0x80 ? value : 0x80);
    };
    if (haveOddByte_) {
        unit(oddByte_, bytes[0]);
        haveOddByte_ = false;
        i = 1;
    }
    for (; i + 1 < size; i += 2)
        unit(bytes[i], bytes[i + 1]);
    if (i < size) {
        oddByte_ = bytes[i];
        haveOddByte_ = true;
    }
    return scanUnits(reinterpret_cast<const unsigned char*>(units_.data()), std::int64_t(units_.size()));
}

bool XmlLimitGuard::fail(const unsigned char* data, const unsigned char* at, const std::string& what)
{
    countLines(data, at - data);
    failure_ = "line " + std::to_string(lineBreaks_ + 1) + ": " + what;
    return false;
}

void XmlLimitGuard::countLines(const unsigned char* data, std::int64_t size)
{
    if (size <= 0)
        return;
    if (afterCr_) {
        if (data[0] != '\n')
            ++lineBreaks_;
        afterCr_ = false;
    }
    const unsigned char* const end = data + size;
    lineBreaks_ += long(std::count(data, end, '\n'));
    for (auto cr = static_cast<const unsigned char*>(std::memchr(data, '\r', std::size_t(size))); cr;
         cr = static_cast<const unsigned char*>(std::memchr(cr + 1, '\r', std::size_t(end - cr - 1)))) {
        if (cr + 1 == end) {
            afterCr_ = true;
            break;
        }
        if (cr[1] != '\n')
            ++lineBreaks_;
    }
}

bool XmlLimitGuard::scanUnits(const unsigned char* data, std::int64_t size)
{
    static constexpr const char* kBangTargets[] = {"--", "[CDATA[", "DOCTYPE"};
    const unsigned char* p = data;
    const unsigned char* const end = data + size;
    const auto find = [&](unsigned char c) {
        return static_cast<const unsigned char*>(std::memchr(p, c, std::size_t(end - p)));
    };
    while (p < end) {
        switch (state_) {
        case State::Text:
            if (const unsigned char* at = find('<')) {
                p = at + 1;
                state_ = State::Open;
            } else {
                p = end;
            }
            break;
        case State::Open:
            if (*p == '/') {
                state_ = State::EndTag;
                ++p;
            } else if (*p == '?') {
                state_ = State::Pi;
                previous_ = 0;
                ++p;
            } else if (*p == '!') {
                state_ = State::Bang;
                run_ = 0;
                ++p;
            } else {
                state_ = State::StartTag;
                attributes_ = 0;
                previous_ = 0;
            }
            break;
        case State::StartTag:
            for (; p < end; ++p) {
                const unsigned char c = *p;
                if (c == '"' || c == '\'') {
                    enterQuote(c, State::StartTag);
                    ++p;
                    break;
                }
                if (c == '=') {
                    if (++attributes_ > kMaxXmlAttributes)
                        return fail(data, p,
                                    "a start tag has more than " + std::to_string(kMaxXmlAttributes) +
                                        " attributes, far more than any GPS log writes");
                } else if (c == '>') {
                    if (previous_ != '/' && ++depth_ > kMaxXmlDepth)
                        return fail(data, p,
                                    "the elements nest deeper than " + std::to_string(kMaxXmlDepth) +
                                        " levels, far deeper than in any GPS log");
                    state_ = State::Text;
                    ++p;
                    break;
                }
                previous_ = c;
            }
            break;
        case State::Quote:
            if (const unsigned char* at = find(quote_)) {
                p = at + 1;
                previous_ = quote_;
                state_ = quoteReturn_;
            } else {
                p = end;
            }
            break;
        case State::EndTag:
            if (const unsigned char* at = find('>')) {
                p = at + 1;
                if (depth_ > 0)
                    --depth_;
                state_ = State::Text;
            } else {
                p = end;
            }
            break;
        case State::Bang: {
            // "<!" begins a comment, a CDATA section, the document type or another
            // declaration, told apart by the characters that follow.
            const unsigned char c = *p;
            if (run_ == 0)
                bang_[0] = c == '-' ? 0 : c == '[' ? 1 : c == 'D' ? 2 : 3;
            const int target = bang_[0];
            if (target == 3 || kBangTargets[target][run_] != char(c)) {
                state_ = State::Decl; // this character is read again there
                break;
            }
            ++p;
            if (kBangTargets[target][++run_] == '\0') {
                run_ = 0;
                doctypeBrackets_ = 0;
                state_ = target == 0 ? State::Comment : target == 1 ? State::CData : State::Doctype;
            }
            break;
        }
        case State::Comment:
        case State::DoctypeComment:
        case State::CData: {
            // Ends at "-->" or "]]>": two or more of its closing character, then ">".
            const unsigned char closing = state_ == State::CData ? ']' : '-';
            for (; p < end; ++p) {
                if (*p == closing) {
                    ++run_;
                } else if (*p == '>' && run_ >= 2) {
                    run_ = 0;
                    state_ = state_ == State::DoctypeComment ? State::Doctype : State::Text;
                    ++p;
                    break;
                } else {
                    run_ = 0;
                }
            }
            break;
        }
        case State::Pi:
        case State::DoctypePi:
            for (; p < end; ++p) {
                if (*p == '>' && previous_ == '?') {
                    state_ = state_ == State::Pi ? State::Text : State::Doctype;
                    ++p;
                    break;
                }
                previous_ = *p;
            }
            break;
        case State::Decl:
            for (; p < end; ++p) {
                if (*p == '"' || *p == '\'') {
                    enterQuote(*p, State::Decl);
                    ++p;
                    break;
                }
                if (*p == '>') {
                    state_ = State::Text;
                    ++p;
                    break;
                }
            }
            break;
        case State::Doctype:
            for (; p < end; ++p) {
                const unsigned char c = *p;
                if (c == '"' || c == '\'') {
                    enterQuote(c, State::Doctype);
                    ++p;
                    break;
                }
                if (c == '[') {
                    ++doctypeBrackets_;
                } else if (c == ']') {
                    if (doctypeBrackets_ > 0)
                        --doctypeBrackets_;
                } else if (c == '<') {
                    state_ = State::DoctypeOpen;
                    ++p;
                    break;
                } else if (c == '>' && doctypeBrackets_ == 0) {
                    state_ = State::Text;
                    ++p;
                    break;
                }
            }
            break;
        case State::DoctypeOpen:
            if (*p == '?') {
                state_ = State::DoctypePi;
                previous_ = 0;
                ++p;
            } else if (*p == '!') {
                state_ = State::DoctypeBang;
                run_ = 0;
                ++p;
            } else {
                state_ = State::Doctype;
            }
            break;
        case State::DoctypeBang:
            // "<!--" opens a comment in the internal subset; any other declaration is
            // read on as part of the document type (its quoted texts included).
            if (*p == '-') {
                ++p;
                if (++run_ == 2) {
                    run_ = 0;
                    state_ = State::DoctypeComment;
                }
            } else {
                run_ = 0;
                state_ = State::Doctype;
            }
            break;
        }
    }
    countLines(data, size);
    return true;
}

// ---------------------------------------------------------------------------------------
// LogPartDevice

LogPartDevice::LogPartDevice(std::unique_ptr<QIODevice> source, std::int64_t length, QByteArray prefix,
                             QByteArray suffix)
    : source_(std::move(source)), left_(length), prefix_(std::move(prefix)), suffix_(std::move(suffix))
{
}

bool LogPartDevice::openPart()
{
    if (!source_) {
        failure_ = "no source";
        return false;
    }
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 LogPartDevice::size() const
{
    return prefix_.size() + std::max<std::int64_t>(left_, 0) + sourceBytesRead() + suffix_.size();
}

qint64 LogPartDevice::readData(char* data, qint64 maxSize)
{
    if (failed())
        return -1;
    qint64 done = 0;
    // Passes the n bytes at data + done through the guard.
    const auto scanned = [&](qint64 n) {
        if (!guard_.scan(data + done, n)) {
            failure_ = guard_.failure();
            limitPassed_ = true;
            return false;
        }
        done += n;
        return true;
    };
    const auto serve = [&](const char* bytes, qint64 n) {
        std::memcpy(data + done, bytes, std::size_t(n));
        return scanned(n);
    };
    while (done < maxSize) {
        if (prefixRead_ < prefix_.size()) {
            const qint64 n = std::min<qint64>(maxSize - done, prefix_.size() - prefixRead_);
            if (!serve(prefix_.constData() + prefixRead_, n))
                return -1;
            prefixRead_ += n;
        } else if (left_ > 0) {
            const qint64 n = source_->read(data + done, std::min<qint64>(maxSize - done, left_));
            if (n <= 0) {
                failure_ = n < 0 ? source_->errorString().toStdString() : "the file got shorter while it was read";
                return -1;
            }
            if (!scanned(n))
                return -1;
            left_ -= n;
            sourceRead_.fetch_add(n, std::memory_order_relaxed);
        } else if (suffixRead_ < suffix_.size()) {
            const qint64 n = std::min<qint64>(maxSize - done, suffix_.size() - suffixRead_);
            if (!serve(suffix_.constData() + suffixRead_, n))
                return -1;
            suffixRead_ += n;
        } else {
            break;
        }
    }
    return done;
}

std::unique_ptr<QIODevice> OpenLogFile(const QString& path, std::int64_t begin, QString& failure)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly) || !file->seek(begin)) {
        failure = file->errorString();
        return nullptr;
    }
    return file;
}

// ---------------------------------------------------------------------------------------
// XmlLogPass

XmlLogPass::XmlLogPass(const std::string& logName, LogPartDevice& device, std::string& lines)
    : logName_(logName), device_(device), lines_(lines)
{
    xml_.setDevice(&device_);
}

void XmlLogPass::run(const LogProgress* progress, std::int64_t totalBytes)
{
    std::int64_t reported = 0;
    int tokens = 0;
    while (!xml_.atEnd() && !device_.failed()) {
        switch (xml_.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth_;
            if (depth_ > 1 && !innerNamespaceDeclarations_ && !xml_.namespaceDeclarations().isEmpty())
                innerNamespaceDeclarations_ = true;
            startElement();
            break;
        case QXmlStreamReader::EndElement:
            endElement();
            --depth_;
            break;
        case QXmlStreamReader::Characters:
            if (wantCharacters())
                characters();
            break;
        default:
            break;
        }
        if (progress && ++tokens == kTokensPerProgressCheck) {
            tokens = 0;
            const std::int64_t read = device_.sourceBytesRead();
            if (read - reported >= kBytesPerProgressReport) {
                reported = read;
                (*progress)(read, totalBytes);
            }
        }
    }
    checkXml();
}

void XmlLogPass::fail(qint64 line, const std::string& what) const
{
    ThrowAt(logName_, long(line), what);
}

void XmlLogPass::checkXml() const
{
    if (device_.limitPassed())
        throw Error(logName_ + ", " + device_.failure());
    if (device_.failed())
        throw Error("cannot read \"" + logName_ + "\": " + device_.failure());
    if (xml_.hasError())
        fail(xml_.lineNumber(), "the log is not well-formed XML: " + xml_.errorString().toStdString());
}

QString XmlLogPass::elementText()
{
    QString text = xml_.readElementText();
    checkXml();
    --depth_;
    return text;
}

void XmlLogPass::addPoint(QStringView lat, QStringView lon, const DateTimeFields& time)
{
    AppendAscii(lines_, lat);
    lines_ += ',';
    AppendAscii(lines_, lon);
    lines_ += ',';
    lines_.append(time.data(), time.size());
    lines_ += "\r\n";
    ++result_.PointCount;
}

void XmlLogPass::addPoint(const std::string& latLon, const DateTimeFields& time)
{
    lines_ += latLon;
    lines_ += ',';
    lines_.append(time.data(), time.size());
    lines_ += "\r\n";
    ++result_.PointCount;
}

void XmlLogPass::skip(qint64 line, const std::string& reason)
{
    if (result_.Skipped.Count++ == 0) {
        result_.Skipped.FirstLine = long(line);
        result_.Skipped.FirstReason = reason;
    }
}

// ---------------------------------------------------------------------------------------
// Reading in parts
//
// A log is mostly a long run of sibling elements of one kind (KML placemarks, GPX track
// points). Cut in front of such an element, the piece after the cut is read on its own once
// it is preceded by the start tags of the elements open at the cut (the root with its
// namespace declarations, then Document, Folder, ...; gpx, trk, trkseg), and the piece
// before the cut once it is followed by their end tags. The elements open at the first such
// element are taken as the guess for every cut. A part is accepted only when it reads as a
// whole document without any error: that shows that the cut lies in element content (a cut
// inside a comment, a CDATA section, a tag or a text with an entity would leave the end
// tags unread or break them) with exactly the guessed elements open. The guess holds the
// namespaces in scope only when namespaces are declared nowhere but on the root, and a
// part's text means what it means in the whole log only without a DTD: both are checked.
// Each part then yields exactly the tokens of the whole log between its cuts, and the state
// of the format's reader is empty at every cut. A part's line numbers count from its cut;
// the line breaks of the parts before it are added to them.

namespace {

// What a log looks like up to its first cut element, when it can be cut.
struct LogHead {
    QByteArray CutTag;    // "<" and the qualified name of the first cut element
    QByteArray StartTags; // the start tags of the elements open there, outermost first
    QByteArray EndTags;   // their end tags, innermost first
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

// Reads the log up to its first cut element (within `limitBytes`); false when the log
// cannot be cut: no such element there, not UTF-8, a DTD, a namespace declared below the
// root, or an element open around it that blocks a cut. Errors are left to the full reading.
bool ReadLogHead(const QString& path, std::int64_t size, std::int64_t limitBytes, const XmlLogFormat& format,
                 LogHead& head)
{
    QString failure;
    std::unique_ptr<QIODevice> file = OpenLogFile(path, 0, failure);
    if (!file)
        return false;
    const QByteArray start = file->peek(4);
    if (start.startsWith("\xFE\xFF") || start.startsWith("\xFF\xFE") || start.contains('\0'))
        return false;
    LogPartDevice device(std::move(file), size);
    if (!device.openPart())
        return false;
    QXmlStreamReader xml(&device);
    std::vector<QString> open;
    QXmlStreamNamespaceDeclarations rootNamespaces;
    while (!xml.atEnd() && !device.failed() && device.sourceBytesRead() <= limitBytes) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (!xml.documentEncoding().isEmpty() && xml.documentEncoding().compare(u"UTF-8", Qt::CaseInsensitive) != 0)
                return false;
            break;
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement:
            if (xml.name() == QStringView(format.CutElement) && format.IsFormatNamespace(xml.namespaceUri())) {
                if (open.empty())
                    return false;
                head.CutTag = "<" + xml.qualifiedName().toUtf8();
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
            if (format.BlocksCut && format.BlocksCut(xml.name(), xml.namespaceUri()))
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

// The offset of the first cut tag of `head` (followed by a blank, ">" or "/") in the
// `windowBytes` bytes from `from` on; -1 when there is none.
std::int64_t FindCutTag(QFile& file, std::int64_t from, std::int64_t windowBytes, const QByteArray& tag)
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
                 LogReadResult& result, const LogProgress& progress, const XmlLogFormat& format)
{
    LogHead head;
    if (!ReadLogHead(path, size, std::int64_t{1} << 20, format, head))
        return false;
    std::vector<std::int64_t> cuts{0};
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const std::int64_t window = std::min(size / parts, std::int64_t{1} << 20);
        for (int i = 1; i < parts; ++i) {
            const std::int64_t at = FindCutTag(file, size * i / parts, window, head.CutTag);
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
        LogReadResult Result;
        bool Ok = false;
    };
    std::vector<Part> results(partCount);
    for (std::size_t i = 0; i < partCount; ++i) {
        QString failure;
        std::unique_ptr<QIODevice> file = OpenLogFile(path, cuts[i], failure);
        if (!file)
            return false;
        results[i].Device = std::make_unique<LogPartDevice>(std::move(file), cuts[i + 1] - cuts[i],
                                                            i > 0 ? head.StartTags : QByteArray(),
                                                            i + 1 < partCount ? head.EndTags : QByteArray());
    }
    const auto readPart = [&logPath, &format](Part& part) {
        try {
            if (!part.Device->openPart())
                return;
            const std::unique_ptr<XmlLogPass> pass = format.MakePass(logPath, *part.Device, part.Lines);
            pass->run();
            part.Result = pass->result();
            part.Ok = !pass->innerNamespaceDeclarations();
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
                    read += part.Device->sourceBytesRead();
                progress(read, size);
            }
        }
    }
    for (const Part& part : results)
        if (!part.Ok)
            return false;
    result = LogReadResult{};
    result.Parts = int(partCount);
    long lineOffset = 0;
    for (Part& part : results) {
        lines += part.Lines;
        result.PointCount += part.Result.PointCount;
        Add(result.Skipped, part.Result.Skipped, lineOffset);
        Add(result.Contents, part.Result.Contents);
        lineOffset += part.Device->sourceLineBreaks();
        std::string().swap(part.Lines);
    }
    return true;
}

int PartCount(std::int64_t size, const LogReadOptions& options)
{
    int threads = options.Threads;
    if (threads <= 0)
        threads = int(std::min(16u, std::max(1u, std::thread::hardware_concurrency())));
    const std::int64_t bySize = size / std::max<std::int64_t>(options.MinPartBytes, 1);
    return int(std::min<std::int64_t>(threads, bySize));
}

} // namespace

LogReadResult ReadXmlLogFile(const std::string& logPath, std::string& lines, const LogProgress& progress,
                             const LogReadOptions& options, const XmlLogFormat& format)
{
    const QString path = QFile::decodeName(logPath.c_str());
    QString failure;
    std::unique_ptr<QIODevice> file = OpenLogFile(path, 0, failure);
    if (!file)
        throw Error("cannot open \"" + logPath + "\": " + failure.toStdString());
    const std::int64_t size = file->size();
    if (size == 0)
        throw Error(logPath + ": the log is empty");

    LogReadResult result;
    const int parts = PartCount(size, options);
    if (parts < 2 || !ReadInParts(logPath, path, size, parts, lines, result, progress, format)) {
        result = ReadXmlLogStream(logPath, std::move(file), size, lines, progress, format);
    } else if (progress) {
        progress(size, size);
    }
    return result;
}

LogReadResult ReadXmlLogStream(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                               std::string& lines, const LogProgress& progress, const XmlLogFormat& format)
{
    LogPartDevice device(std::move(source), size);
    if (!device.openPart())
        throw Error("cannot open \"" + logName + "\": " + device.failure());
    const std::unique_ptr<XmlLogPass> pass = format.MakePass(logName, device, lines);
    pass->run(progress ? &progress : nullptr, size);
    if (progress)
        progress(size, size);
    return pass->result();
}

} // namespace tideplot::xmllog
