#include "xmlpass.h"

#include "logtally.h"

#include "core/datetime.h"
#include "core/error.h"

#include <QXmlStreamNamespaceDeclarations>

#include <cstring>

namespace tideplot::xmllog {

namespace {

// Progress is looked at every this many XML tokens and reported every this many bytes
// (when the log is read in one pass).
constexpr int kTokensPerProgressCheck = 4096;
constexpr std::int64_t kBytesPerProgressReport = std::int64_t{1} << 20;

// The longest element text a reader takes (see elementText()).
constexpr qsizetype kMaxValueChars = 4096;

// A gx:Track's points wait apart in this share of the points' memory.
constexpr std::int64_t kHeldShare = 4;

} // namespace

XmlLogPass::XmlLogPass(const std::string& logName, LogPartDevice& device, LogPoints& points,
                       const LogReadOptions& options, bool wholeLog)
    : logName_(logName), device_(device), points_(points), options_(options), wholeLog_(wholeLog)
{
    xml_.setDevice(&device_);
}

XmlLogPass::~XmlLogPass() = default;

void XmlLogPass::run(const LogProgress* progress, std::int64_t totalBytes)
{
    std::int64_t reported = 0;
    int tokens = 0;
    try {
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
    } catch (const EndsEarly&) {
        result_.EndedEarlyAt = long(xml_.lineNumber());
        endEarly();
    }
    result_.Lines = device_.sourceLineBreaks() + 1;
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
    if (!xml_.hasError())
        return;
    // The reader wanted more and the log had no more: it was cut short.
    if (xml_.error() == QXmlStreamReader::PrematureEndOfDocumentError && wholeLog_)
        throw EndsEarly{};
    fail(xml_.lineNumber(), "the log is not well-formed XML: " + xml_.errorString().toStdString());
}

QStringView XmlLogPass::elementText()
{
    QString& text = text_;
    text.resize(0);
    for (;;) {
        switch (xml_.readNext()) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            if (text.size() <= kMaxValueChars)
                text.append(xml_.text().left(kMaxValueChars + 1 - text.size()));
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::EndElement:
            --depth_;
            if (text.size() > kMaxValueChars)
                text.back() = QChar::ReplacementCharacter; // too long: no reader's value
            return text;
        case QXmlStreamReader::StartElement:
            xml_.raiseError(QStringLiteral("Expected character data."));
            checkXml();
            break;
        default:
            checkXml();
            if (xml_.atEnd())
                fail(xml_.lineNumber(), "the log is not well-formed XML: an element has no end");
            break;
        }
    }
}

bool XmlLogPass::readTime(QStringView text, DateTimeFields& fields)
{
    std::string zone;
    if (!ReadLogTime(text, fields, &zone))
        return false;
    if (!zone.empty()) {
        if (result_.ZoneOffset.empty())
            result_.ZoneOffset = zone;
        else if (zone != result_.ZoneOffset)
            result_.OtherZoneOffsets = true;
    }
    return true;
}

void XmlLogPass::addPoint(QStringView lat, QStringView lon, const DateTimeFields& time, qint64 line)
{
    line_.clear();
    AppendAscii(line_, lat);
    line_ += ',';
    AppendAscii(line_, lon);
    addLine(time, line);
}

void XmlLogPass::addPoint(std::string_view latLon, const DateTimeFields& time, qint64 line)
{
    line_.assign(latLon);
    addLine(time, line);
}

void XmlLogPass::addLine(const DateTimeFields& time, qint64 line)
{
    line_ += ',';
    line_.append(time.data(), time.size());
    if (!haveLastDate_ || std::memcmp(time.data(), lastDate_.data(), lastDate_.size()) != 0) {
        std::memcpy(lastDate_.data(), time.data(), lastDate_.size());
        lastDayStart_ = DayStartOf(time);
        haveLastDate_ = true;
    }
    const auto digits = [&](std::size_t at) { return (time[at] - '0') * 10 + (time[at + 1] - '0'); };
    const LogSecond second = lastDayStart_ + digits(9) * 3600 + digits(11) * 60 + digits(13);
    TallyPoint(result_, second, long(line), trackEvents_);
    (held_ ? *held_->Points : points_).Add(second, line_);
}

void XmlLogPass::skip(qint64 line, const std::string& reason)
{
    TallySkipped(result_, long(line), reason);
}

void XmlLogPass::holdPoints()
{
    held_ = std::make_unique<Held>();
    held_->Points = std::make_unique<LogPoints>(options_.PointMemoryBytes / kHeldShare);
    held_->PointCount = result_.PointCount;
    held_->Skipped = result_.Skipped;
    held_->Times = result_.Times;
    held_->Tracks = result_.Tracks.size();
    if (!result_.Tracks.empty())
        held_->LastTrack = result_.Tracks.back();
}

void XmlLogPass::releasePoints()
{
    if (!held_)
        return;
    points_.Append(std::move(*held_->Points));
    held_.reset();
}

void XmlLogPass::dropPoints()
{
    if (!held_)
        return;
    result_.PointCount = held_->PointCount;
    result_.Skipped = held_->Skipped;
    result_.Times = held_->Times;
    result_.Tracks.resize(held_->Tracks);
    if (!result_.Tracks.empty())
        result_.Tracks.back() = held_->LastTrack;
    held_.reset();
}

} // namespace tideplot::xmllog
