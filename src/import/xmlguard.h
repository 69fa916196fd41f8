#pragma once

// The bytes of a log on their way to the XML reader: a guard that holds every log to the
// limits below and keeps the reader's memory bounded, and the device that serves a log (or
// one part of it) through it. Internal to the log readers.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
// The XML reader holds a whole tag, processing instruction or document type declaration in
// memory; none in a log is longer than a few kilobytes.
constexpr std::int64_t kMaxMarkupBytes = std::int64_t{1} << 20;
// It also holds a whole text, comment or CDATA section; these can be long (a description, a
// comment the size of the log, a gigabyte of blanks). The guard cuts them into pieces of
// about this size by putting an empty comment ("<!---->") into a text, and the end and the
// start of a comment ("--><!--") or CDATA section ("]]><![CDATA[") into those: the reader
// then gives the same text in several pieces and keeps at most one of them. It cuts between
// two ASCII characters only (never inside a character of UTF-8 or any other encoding, an
// entity reference or a CR LF), so no line or character changes.
constexpr std::int64_t kPieceBytes = std::int64_t{64} << 10;

// Watches the raw bytes of a log on their way to the XML reader and stops the log, naming
// the line, at an element nested deeper than kMaxXmlDepth, a start tag with more than
// kMaxXmlAttributes attributes or markup longer than kMaxMarkupBytes: before the reader
// spends its time and memory on them. It follows the XML markup just far enough for that
// (tags, quoted values, comments, CDATA, processing instructions, the document type
// declaration), in UTF-8 and other 8-bit encodings and in UTF-16, counts the line breaks as
// the XML reader counts them, and cuts long texts into pieces (see kPieceBytes).
class XmlLimitGuard {
public:
    // Appends the next `size` bytes of the log to `out`, with the cuts put in; false when a
    // limit is passed (failure() then says where and what).
    bool scan(const char* data, std::int64_t size, std::string& out);
    // Line breaks seen so far (CR LF, LF and CR each count one).
    long lineBreaks() const { return lineBreaks_; }
    const std::string& failure() const { return failure_; }

private:
    enum class State : std::uint8_t {
        Text,
        Entity,
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
    enum class Cut : std::uint8_t { Text, Comment, CData };

    bool scanUnits(const unsigned char* data, std::int64_t size);
    // One state of the scan from `p` on (at most to `end`), `data` being the first unit of
    // this scan: each moves `p` past what it read and sets the next state; false when a limit
    // is passed.
    void scanText(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanEntity(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    void scanOpen(const unsigned char*& p); // after "<"
    bool scanStartTag(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanQuote(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanEndTag(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    void scanBang(const unsigned char*& p); // after "<!"
    bool scanCommentOrCData(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanPi(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanDecl(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    bool scanDoctype(const unsigned char* data, const unsigned char*& p, const unsigned char* end);
    void scanDoctypeOpen(const unsigned char*& p); // after "<" or "<!" in the internal subset
    void countLines(const unsigned char* data, std::int64_t size);
    // Counts the bytes [from, to) of a text, comment or CDATA section and cuts them where
    // the current piece grows past kPieceBytes.
    void piece(const unsigned char* data, const unsigned char* from, const unsigned char* to, Cut cut);
    // Counts markup bytes; false when the markup is too long.
    bool markup(const unsigned char* data, const unsigned char* at, std::int64_t bytes);
    // A quoted text starts with `quote`; after it the scan goes on in `back`.
    void enterQuote(unsigned char quote, State back)
    {
        quote_ = quote;
        quoteReturn_ = back;
        state_ = State::Quote;
    }
    bool fail(const unsigned char* data, const unsigned char* at, const std::string& what);
    // A start tag with too many attributes, or (`tooDeep`) nested too deep.
    bool failTag(const unsigned char* data, const unsigned char* at, bool tooDeep);

    State state_ = State::Text;
    State quoteReturn_ = State::Text;
    Width width_ = Width::Unknown;
    unsigned char quote_ = 0;
    unsigned char previous_ = 0;
    unsigned char lastUnit_ = 0; // the unit before the current scan's first one
    int run_ = 0;                // dashes, brackets or matched characters, by state
    int depth_ = 0;
    int attributes_ = 0;
    int doctypeBrackets_ = 0;
    std::array<char, 8> bang_{};
    std::int64_t pieceBytes_ = 0;  // of the current piece of text
    std::int64_t markupBytes_ = 0; // of the current tag or declaration
    long lineBreaks_ = 0;
    bool afterCr_ = false;
    bool haveOddByte_ = false;
    bool startsWithOddByte_ = false; // the first unit of this scan began in the last one
    unsigned char oddByte_ = 0;
    std::vector<std::pair<std::int64_t, Cut>> cuts_; // unit offsets in this scan
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

    bool isSequential() const override { return true; }
    // A part that failed is at its end, so the XML reader stops there.
    bool atEnd() const override { return failed() || (servedAll_ && served_ == out_.size()); }
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
    // Puts the next bytes, through the guard, in out_; false at the end or on a failure.
    bool refill();

    std::unique_ptr<QIODevice> source_;
    std::int64_t left_;
    std::atomic<std::int64_t> sourceRead_{0};
    QByteArray prefix_;
    QByteArray suffix_;
    qsizetype prefixRead_ = 0;
    qsizetype suffixRead_ = 0;
    XmlLimitGuard guard_;
    std::string in_;
    std::string out_;
    std::size_t served_ = 0;
    bool servedAll_ = false;
    std::string failure_;
    bool limitPassed_ = false;
};

// Throws Error when the log at `path` exists but is no regular file (a folder, a FIFO, a
// device, a socket), before anything opens it: reading a FIFO or a device would wait for a
// writer, or never end.
void CheckLogFile(const std::string& path);

// A log file opened at `begin`, or nullptr with `failure` set.
std::unique_ptr<QIODevice> OpenLogFile(const QString& path, std::int64_t begin, QString& failure);

} // namespace tideplot::xmllog
