#pragma once

// The machinery the XML log readers (KML, GPX) share: the limits every log is held to, the
// device that serves a log (or one part of it) to the XML reader, one pass of a reader over
// it, and reading a large log in parts on several threads with its one-pass fallback.
// Internal to the log readers.

#include "logreader.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tideplot::xmllog {

// Limits no real log comes near. GPS logs nest their elements less than 20 deep (kml,
// Document, a few Folders, Placemark, gx:MultiTrack, gx:Track, ExtendedData...; gpx, trk,
// trkseg, trkpt, extensions...) and write fewer than 20 attributes on any element (the
// root's namespace declarations are the most). Past them the XML reader's cost runs away:
// it keeps every open element (33 million nested elements take gigabytes) and compares each
// attribute with all before it (a million attributes take hours). At these limits a start
// tag costs at most some 30,000 name comparisons and the open elements a few kilobytes.
constexpr int kMaxXmlDepth = 256;
constexpr int kMaxXmlAttributes = 256;

// "YYYYMMDD,hhmmss": the date and time fields of a track line.
constexpr std::size_t kDateTimeLength = 15;
using DateTimeFields = std::array<char, kDateTimeLength>;

bool IsXmlSpace(QChar c);
QStringView TrimXmlSpace(QStringView text);

// The text in double quotes, cut to 60 characters, for messages.
std::string Quoted(QStringView text);

// "1,329": a count as messages write it.
std::string CountText(long count);

// Reads a time "YYYY-MM-DDThh:mm:ss", optionally followed by a fraction of a second and a
// zone ("Z", "+hh:mm", "+hhmm", "+hh"), into the date and time fields of a track line. The
// clock time is kept as written; the fraction and the zone are dropped.
bool ReadLogTime(QStringView text, DateTimeFields& fields);

// Why a time cannot be used: "the time is empty" or "the time "..." is not ...".
std::string TimeProblem(QStringView text);

// A decimal number as logs write degrees ("-12.5", "59.3251", "1e-3") whose value lies
// within +-limit.
bool IsDegrees(QStringView text, double limit);
// Appends a text known to be ASCII (it passed IsDegrees) as it stands.
void AppendAscii(std::string& out, QStringView text);

// Why a longitude or latitude text cannot be used, "" when it can.
std::string LongitudeProblem(QStringView text);
std::string LatitudeProblem(QStringView text);

// Watches the raw bytes of a log on their way to the XML reader and stops the log, naming
// the line, at an element nested deeper than kMaxXmlDepth or a start tag with more than
// kMaxXmlAttributes attributes: before the reader spends its time and memory on them. It
// follows the XML markup just far enough for that (tags, quoted values, comments, CDATA,
// processing instructions, the document type declaration), in UTF-8 and other 8-bit
// encodings and in UTF-16, and counts the line breaks as the XML reader counts them.
class XmlLimitGuard {
public:
    // Looks at the next `size` bytes of the log; false when a limit is passed (failure()
    // then says where and what).
    bool scan(const char* data, std::int64_t size);
    // Line breaks seen so far (CR LF, LF and CR each count one).
    long lineBreaks() const { return lineBreaks_; }
    const std::string& failure() const { return failure_; }

private:
    enum class State : std::uint8_t {
        Text,
        Open,
        StartTag,
        Quote,
        EndTag,
        Bang,
        Comment,
        CData,
        Pi,
        Decl,
        Doctype,
        DoctypeOpen,
        DoctypeBang,
        DoctypeComment,
        DoctypePi,
    };
    enum class Width : std::uint8_t { Unknown, Bytes, Utf16Le, Utf16Be };

    bool scanUnits(const unsigned char* data, std::int64_t size);
    void countLines(const unsigned char* data, std::int64_t size);
    // A quoted text starts with `quote`; after it the scan goes on in `back`.
    void enterQuote(unsigned char quote, State back)
    {
        quote_ = quote;
        quoteReturn_ = back;
        state_ = State::Quote;
    }
    bool fail(const unsigned char* data, const unsigned char* at, const std::string& what);

    State state_ = State::Text;
    State quoteReturn_ = State::Text;
    Width width_ = Width::Unknown;
    unsigned char quote_ = 0;
    unsigned char previous_ = 0;
    int run_ = 0; // dashes, brackets or matched characters, by state
    int depth_ = 0;
    int attributes_ = 0;
    int doctypeBrackets_ = 0;
    std::array<char, 8> bang_{};
    long lineBreaks_ = 0;
    bool afterCr_ = false;
    bool haveOddByte_ = false;
    unsigned char oddByte_ = 0;
    std::string units_;
    std::string failure_;
};

// Serves `prefix`, then `length` bytes from `source` (to its end when -1), then `suffix`:
// one part of a log made into a document of its own, or the whole log with nothing around.
// Every byte goes through an XmlLimitGuard.
class LogPartDevice : public QIODevice {
public:
    LogPartDevice(std::unique_ptr<QIODevice> source, std::int64_t length, QByteArray prefix = {},
                  QByteArray suffix = {});

    // Opens the part; false with failure() set when the source cannot be read.
    bool openPart();

    qint64 size() const override;
    // A part that failed is at its end, so the XML reader stops there.
    bool atEnd() const override { return failed() || QIODevice::atEnd(); }
    // Bytes of the source served so far; may be read from another thread.
    std::int64_t sourceBytesRead() const { return sourceRead_.load(std::memory_order_relaxed); }
    // Line breaks in the bytes served so far: those of the source, since the start and end
    // tags put around it hold none. A CR that ends the source is counted once the next byte
    // (of the end tags) shows it is not the first half of a CR LF.
    long sourceLineBreaks() const { return guard_.lineBreaks(); }
    bool failed() const { return !failure_.empty(); }
    // What failed: the source's error, or a limit passed ("line 7: ...").
    const std::string& failure() const { return failure_; }
    bool limitPassed() const { return limitPassed_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::unique_ptr<QIODevice> source_;
    std::int64_t left_;
    std::atomic<std::int64_t> sourceRead_{0};
    QByteArray prefix_;
    QByteArray suffix_;
    qsizetype prefixRead_ = 0;
    qsizetype suffixRead_ = 0;
    XmlLimitGuard guard_;
    std::string failure_;
    bool limitPassed_ = false;
};

// A log file opened at `begin`, or nullptr with `failure` set.
std::unique_ptr<QIODevice> OpenLogFile(const QString& path, std::int64_t begin, QString& failure);

// One pass of a format's reader over a log, or over one part of it. The reader sees every
// start and end tag through startElement() and endElement(), gathers the track lines of the
// usable points into `lines` and counts the rest in result().
class XmlLogPass {
public:
    XmlLogPass(const std::string& logName, LogPartDevice& device, std::string& lines);
    virtual ~XmlLogPass() = default;
    XmlLogPass(const XmlLogPass&) = delete;
    XmlLogPass& operator=(const XmlLogPass&) = delete;

    // Reads to the end; reports progress to `progress` (when set) against `totalBytes`.
    // Throws Error naming the log and the line when the log cannot be read.
    void run(const LogProgress* progress = nullptr, std::int64_t totalBytes = 0);

    // Points, skipped points and contents; Parts is left at 1.
    const LogReadResult& result() const { return result_; }
    // True when an element below the root declared a namespace.
    bool innerNamespaceDeclarations() const { return innerNamespaceDeclarations_; }

protected:
    virtual void startElement() = 0;
    virtual void endElement() = 0;
    // Characters between tags, while wantCharacters() says so.
    virtual void characters() {}
    virtual bool wantCharacters() const { return false; }

    [[noreturn]] void fail(qint64 line, const std::string& what) const;
    // The text of the element just started; its end has been read afterwards.
    QString elementText();
    void addPoint(QStringView lat, QStringView lon, const DateTimeFields& time);
    void addPoint(const std::string& latLon, const DateTimeFields& time);
    void skip(qint64 line, const std::string& reason);

    QXmlStreamReader xml_;
    LogReadResult result_;
    int depth_ = 0; // of the element last started

private:
    void checkXml() const;

    const std::string& logName_;
    LogPartDevice& device_;
    std::string& lines_;
    bool innerNamespaceDeclarations_ = false;
};

// How a format's log is cut into parts and read.
struct XmlLogFormat {
    // The element a log is cut in front of: a log is mostly a long run of these.
    const char16_t* CutElement;
    bool (*IsFormatNamespace)(QStringView ns);
    // An element that must not be open around the first cut element (its reader would
    // carry state across a cut); may be null.
    bool (*BlocksCut)(QStringView name, QStringView ns);
    std::unique_ptr<XmlLogPass> (*MakePass)(const std::string& logName, LogPartDevice& device, std::string& lines);
};

// Reads the log file at `logPath` front to back without loading it whole, in parts on
// several threads when it is large (see LogReadOptions), and appends the track lines of its
// usable points to `lines`. Throws Error when the log cannot be opened, is empty, or cannot
// be read; `lines` may then hold part of the log's lines.
LogReadResult ReadXmlLogFile(const std::string& logPath, std::string& lines, const LogProgress& progress,
                             const LogReadOptions& options, const XmlLogFormat& format);

// The same in one pass over `source` (already open), which serves `size` bytes (for
// progress; -1 when not known). `logName` names the log in messages.
LogReadResult ReadXmlLogStream(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                               std::string& lines, const LogProgress& progress, const XmlLogFormat& format);

} // namespace tideplot::xmllog
