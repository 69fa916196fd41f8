#include "xmlguard.h"

#include "core/error.h"
#include "core/scan.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tideplot::xmllog {

namespace {

// The source is read this many bytes at a time.
constexpr std::int64_t kReadBytes = std::int64_t{64} << 10;

const char* CutText(int cut)
{
    static constexpr const char* kCuts[] = {"<!---->", "--><!--", "]]><![CDATA["};
    return kCuts[cut];
}

const unsigned char* FindEitherOf(const unsigned char* p, const unsigned char* end, char a, char b)
{
    return reinterpret_cast<const unsigned char*>(
        FindEither(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(end), a, b));
}

} // namespace

// ---------------------------------------------------------------------------------------
// XmlLimitGuard

bool XmlLimitGuard::scan(const char* data, std::int64_t size, std::string& out)
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
    cuts_.clear();
    std::int64_t from = 0;
    const auto put = [&](std::int64_t at, const std::string& cut) {
        out.append(data + from, std::size_t(at - from));
        out += cut;
        from = at;
    };
    if (width_ == Width::Bytes) {
        startsWithOddByte_ = false;
        if (!scanUnits(bytes, size))
            return false;
        for (const auto& [at, cut] : cuts_)
            put(at, CutText(int(cut)));
        lastUnit_ = bytes[size - 1];
    } else {
        // UTF-16: one byte per code unit, ASCII as it is and everything else as 0x80.
        units_.clear();
        units_.reserve(std::size_t(size / 2 + 1));
        std::int64_t i = 0;
        const auto unit = [&](unsigned char first, unsigned char second) {
            const unsigned value = width_ == Width::Utf16Le ? first | (second << 8) : (first << 8) | second;
            units_ += char(value < 0x80 ? value : 0x80);
        };
        startsWithOddByte_ = haveOddByte_;
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
        if (!scanUnits(reinterpret_cast<const unsigned char*>(units_.data()), std::int64_t(units_.size())))
            return false;
        for (const auto& [at, cut] : cuts_) {
            std::string wide;
            for (const char* c = CutText(int(cut)); *c; ++c)
                wide += width_ == Width::Utf16Le ? std::string{*c, '\0'} : std::string{'\0', *c};
            put(startsWithOddByte_ ? 2 * at - 1 : 2 * at, wide);
        }
        if (!units_.empty())
            lastUnit_ = static_cast<unsigned char>(units_.back());
    }
    out.append(data + from, std::size_t(size - from));
    return true;
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

void XmlLimitGuard::piece(const unsigned char* data, const unsigned char* from, const unsigned char* to, Cut cut)
{
    while (to > from) {
        const std::int64_t room = kPieceBytes - pieceBytes_;
        if (to - from <= room) {
            pieceBytes_ += to - from;
            return;
        }
        // Full: the cut goes before the first unit from here on that has an ASCII unit
        // before it and is neither the second half of a CR LF nor next to the characters
        // that end a comment or CDATA section.
        const unsigned char* at = from + std::max<std::int64_t>(room, 0);
        for (; at < to; ++at) {
            const unsigned char c = *at;
            const unsigned char before = at > data ? at[-1] : lastUnit_;
            if ((at == data && startsWithOddByte_) || c >= 0x80 || before >= 0x80 || (c == '\n' && before == '\r'))
                continue;
            if (cut == Cut::Comment && (c == '-' || before == '-'))
                continue;
            if (cut == Cut::CData && (c == ']' || before == ']'))
                continue;
            break;
        }
        if (at == to) {
            pieceBytes_ += to - from;
            return;
        }
        cuts_.emplace_back(at - data, cut);
        pieceBytes_ = 0;
        from = at;
    }
}

bool XmlLimitGuard::markup(const unsigned char* data, const unsigned char* at, std::int64_t bytes)
{
    markupBytes_ += bytes;
    if (markupBytes_ <= kMaxMarkupBytes)
        return true;
    const bool doctype = state_ >= State::Doctype || (state_ == State::Quote && quoteReturn_ == State::Doctype);
    return fail(data, at,
                std::string(doctype ? "the document type declaration" : "a tag, declaration or entity reference") +
                    " is longer than " + std::to_string(kMaxMarkupBytes >> 20) +
                    " MiB, far longer than in any GPS log");
}

bool XmlLimitGuard::scanUnits(const unsigned char* data, std::int64_t size)
{
    static constexpr const char* kBangTargets[] = {"--", "[CDATA[", "DOCTYPE"};
    const unsigned char* p = data;
    const unsigned char* const end = data + size;
    const auto find = [&](unsigned char c) {
        const auto at = static_cast<const unsigned char*>(std::memchr(p, c, std::size_t(end - p)));
        return at ? at : end;
    };
    while (p < end) {
        switch (state_) {
        case State::Text: {
            const unsigned char* at = FindEitherOf(p, end, '<', '&');
            piece(data, p, at, Cut::Text);
            p = at;
            if (p < end) {
                if (*p == '<') {
                    state_ = State::Open;
                    pieceBytes_ = 0;
                } else {
                    state_ = State::Entity; // the text goes on after it
                    markupBytes_ = 0;
                }
                ++p;
            }
            break;
        }
        case State::Entity: {
            const unsigned char* at = FindEitherOf(p, end, ';', '<');
            if (!markup(data, at, at - p + 1))
                return false;
            pieceBytes_ += at - p + 1;
            p = at;
            if (p < end) {
                state_ = *p == ';' ? State::Text : State::Open;
                ++p;
            }
            break;
        }
        case State::Open:
            markupBytes_ = 0;
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
        case State::StartTag: {
            const unsigned char* from = p;
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
            if (!markup(data, p, p - from))
                return false;
            break;
        }
        case State::Quote: {
            const unsigned char* at = find(quote_);
            if (!markup(data, at, at - p))
                return false;
            p = at;
            if (p < end) {
                ++p;
                previous_ = quote_;
                state_ = quoteReturn_;
            }
            break;
        }
        case State::EndTag: {
            const unsigned char* at = find('>');
            if (!markup(data, at, at - p))
                return false;
            p = at;
            if (p < end) {
                ++p;
                if (depth_ > 0)
                    --depth_;
                state_ = State::Text;
            }
            break;
        }
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
                pieceBytes_ = 0;
                state_ = target == 0 ? State::Comment : target == 1 ? State::CData : State::Doctype;
            }
            break;
        }
        case State::Comment:
        case State::DoctypeComment:
        case State::CData: {
            // Ends at "-->" or "]]>": two or more of its closing character, then ">".
            const unsigned char closing = state_ == State::CData ? ']' : '-';
            while (p < end) {
                if (*p == closing) {
                    ++run_;
                    ++p;
                    ++pieceBytes_;
                    continue;
                }
                if (*p == '>' && run_ >= 2) {
                    run_ = 0;
                    state_ = state_ == State::DoctypeComment ? State::Doctype : State::Text;
                    pieceBytes_ = 0;
                    ++p;
                    break;
                }
                run_ = 0;
                const unsigned char* at = find(closing);
                if (state_ == State::DoctypeComment) {
                    if (!markup(data, at, at - p))
                        return false;
                } else {
                    piece(data, p, at, state_ == State::CData ? Cut::CData : Cut::Comment);
                }
                p = at;
            }
            break;
        }
        case State::Pi:
        case State::DoctypePi: {
            const unsigned char* from = p;
            for (; p < end; ++p) {
                if (*p == '>' && previous_ == '?') {
                    state_ = state_ == State::Pi ? State::Text : State::Doctype;
                    ++p;
                    break;
                }
                previous_ = *p;
            }
            if (!markup(data, p, p - from))
                return false;
            break;
        }
        case State::Decl: {
            const unsigned char* from = p;
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
            if (!markup(data, p, p - from))
                return false;
            break;
        }
        case State::Doctype: {
            const unsigned char* from = p;
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
            if (!markup(data, p, p - from))
                return false;
            break;
        }
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

bool LogPartDevice::refill()
{
    out_.clear();
    served_ = 0;
    while (out_.empty()) {
        const char* raw = nullptr;
        qint64 n = 0;
        if (prefixRead_ < prefix_.size()) {
            raw = prefix_.constData() + prefixRead_;
            n = std::min<qint64>(kReadBytes, prefix_.size() - prefixRead_);
            prefixRead_ += n;
        } else if (left_ != 0) {
            in_.resize(std::size_t(left_ > 0 ? std::min(left_, kReadBytes) : kReadBytes));
            n = source_->read(in_.data(), qint64(in_.size()));
            if (n == 0 && left_ < 0) {
                left_ = 0;
                continue;
            }
            if (n <= 0) {
                failure_ = n < 0 ? source_->errorString().toStdString() : "the file got shorter while it was read";
                return false;
            }
            raw = in_.data();
            if (left_ > 0)
                left_ -= n;
            sourceRead_.fetch_add(n, std::memory_order_relaxed);
        } else if (suffixRead_ < suffix_.size()) {
            raw = suffix_.constData() + suffixRead_;
            n = std::min<qint64>(kReadBytes, suffix_.size() - suffixRead_);
            suffixRead_ += n;
        } else {
            servedAll_ = true;
            return false;
        }
        if (!guard_.scan(raw, n, out_)) {
            failure_ = guard_.failure();
            limitPassed_ = true;
            return false;
        }
    }
    return true;
}

qint64 LogPartDevice::readData(char* data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize && !failed()) {
        if (served_ == out_.size() && !refill())
            break;
        const qint64 n = std::min<qint64>(maxSize - done, qint64(out_.size() - served_));
        std::memcpy(data + done, out_.data() + served_, std::size_t(n));
        served_ += std::size_t(n);
        done += n;
    }
    return done == 0 && failed() ? -1 : done;
}

void CheckLogFile(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(path), error);
    if (error || !fs::exists(status) || fs::is_regular_file(status))
        return; // a missing log is named by the open that fails
    const char* what = fs::is_directory(status)                                     ? "a folder"
                       : fs::is_fifo(status)                                        ? "a FIFO (a named pipe)"
                       : fs::is_block_file(status) || fs::is_character_file(status) ? "a device"
                       : fs::is_socket(status)                                      ? "a socket"
                                                                                    : "no regular file";
    throw Error("cannot open \"" + path + "\": it is " + std::string(what) +
                ", not a log file; the import reads a log saved as a file");
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

} // namespace tideplot::xmllog
