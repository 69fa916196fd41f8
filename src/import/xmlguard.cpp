#include "xmlguard.h"

#include "core/scan.h"

#include <algorithm>
#include <cstring>

namespace tideplot::xmllog {

namespace {

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

// The first `c` from `p` on, or `end`.
const unsigned char* FindByte(const unsigned char* p, const unsigned char* end, unsigned char c)
{
    const auto at = static_cast<const unsigned char*>(std::memchr(p, c, std::size_t(end - p)));
    return at ? at : end;
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

bool XmlLimitGuard::failTag(const unsigned char* data, const unsigned char* at, bool tooDeep)
{
    if (tooDeep)
        return fail(data, at,
                    "the elements nest deeper than " + std::to_string(kMaxXmlDepth) +
                        " levels, far deeper than in any GPS log");
    return fail(data, at,
                "a start tag has more than " + std::to_string(kMaxXmlAttributes) +
                    " attributes, far more than any GPS log writes");
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

// The states of the scan, one function each. They are inline, so that the scan compiles to
// the one loop it was: the guard sees every byte the log import reads.

inline void XmlLimitGuard::scanText(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
    const unsigned char* at = FindEitherOf(p, end, '<', '&');
    piece(data, p, at, Cut::Text);
    p = at;
    if (p == end)
        return;
    if (*p == '<') {
        state_ = State::Open;
        pieceBytes_ = 0;
    } else {
        state_ = State::Entity; // the text goes on after it
        markupBytes_ = 0;
    }
    ++p;
}

inline bool XmlLimitGuard::scanEntity(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
    const unsigned char* at = FindEitherOf(p, end, ';', '<');
    if (!markup(data, at, at - p + 1))
        return false;
    pieceBytes_ += at - p + 1;
    p = at;
    if (p < end) {
        state_ = *p == ';' ? State::Text : State::Open;
        ++p;
    }
    return true;
}

inline void XmlLimitGuard::scanOpen(const unsigned char*& p)
{
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
}

inline bool XmlLimitGuard::scanStartTag(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
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
                return failTag(data, p, false);
        } else if (c == '>') {
            if (previous_ != '/' && ++depth_ > kMaxXmlDepth)
                return failTag(data, p, true);
            state_ = State::Text;
            ++p;
            break;
        }
        previous_ = c;
    }
    return markup(data, p, p - from);
}

inline bool XmlLimitGuard::scanQuote(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
    const unsigned char* at = FindByte(p, end, quote_);
    if (!markup(data, at, at - p))
        return false;
    p = at;
    if (p < end) {
        ++p;
        previous_ = quote_;
        state_ = quoteReturn_;
    }
    return true;
}

inline bool XmlLimitGuard::scanEndTag(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
    const unsigned char* at = FindByte(p, end, '>');
    if (!markup(data, at, at - p))
        return false;
    p = at;
    if (p < end) {
        ++p;
        if (depth_ > 0)
            --depth_;
        state_ = State::Text;
    }
    return true;
}

inline void XmlLimitGuard::scanBang(const unsigned char*& p)
{
    // "<!" begins a comment, a CDATA section, the document type or another declaration,
    // told apart by the characters that follow.
    static constexpr const char* kBangTargets[] = {"--", "[CDATA[", "DOCTYPE"};
    const unsigned char c = *p;
    if (run_ == 0)
        bang_[0] = c == '-' ? 0 : c == '[' ? 1 : c == 'D' ? 2 : 3;
    const int target = bang_[0];
    if (target == 3 || kBangTargets[target][run_] != char(c)) {
        state_ = State::Decl; // this character is read again there
        return;
    }
    ++p;
    if (kBangTargets[target][++run_] == '\0') {
        run_ = 0;
        doctypeBrackets_ = 0;
        pieceBytes_ = 0;
        state_ = target == 0 ? State::Comment : target == 1 ? State::CData : State::Doctype;
    }
}

inline bool XmlLimitGuard::scanCommentOrCData(const unsigned char* data, const unsigned char*& p,
                                              const unsigned char* end)
{
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
        const unsigned char* at = FindByte(p, end, closing);
        if (state_ == State::DoctypeComment) {
            if (!markup(data, at, at - p))
                return false;
        } else {
            piece(data, p, at, state_ == State::CData ? Cut::CData : Cut::Comment);
        }
        p = at;
    }
    return true;
}

inline bool XmlLimitGuard::scanPi(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
    const unsigned char* from = p;
    for (; p < end; ++p) {
        if (*p == '>' && previous_ == '?') {
            state_ = state_ == State::Pi ? State::Text : State::Doctype;
            ++p;
            break;
        }
        previous_ = *p;
    }
    return markup(data, p, p - from);
}

inline bool XmlLimitGuard::scanDecl(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
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
    return markup(data, p, p - from);
}

inline bool XmlLimitGuard::scanDoctype(const unsigned char* data, const unsigned char*& p, const unsigned char* end)
{
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
    return markup(data, p, p - from);
}

inline void XmlLimitGuard::scanDoctypeOpen(const unsigned char*& p)
{
    if (state_ == State::DoctypeOpen) {
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
        return;
    }
    // "<!--" opens a comment in the internal subset; any other declaration is read on as
    // part of the document type (its quoted texts included).
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
}

bool XmlLimitGuard::scanUnits(const unsigned char* data, std::int64_t size)
{
    const unsigned char* p = data;
    const unsigned char* const end = data + size;
    while (p < end) {
        bool ok = true;
        switch (state_) {
        case State::Text:
            scanText(data, p, end);
            break;
        case State::Entity:
            ok = scanEntity(data, p, end);
            break;
        case State::Open:
            scanOpen(p);
            break;
        case State::StartTag:
            ok = scanStartTag(data, p, end);
            break;
        case State::Quote:
            ok = scanQuote(data, p, end);
            break;
        case State::EndTag:
            ok = scanEndTag(data, p, end);
            break;
        case State::Bang:
            scanBang(p);
            break;
        case State::Comment:
        case State::DoctypeComment:
        case State::CData:
            ok = scanCommentOrCData(data, p, end);
            break;
        case State::Pi:
        case State::DoctypePi:
            ok = scanPi(data, p, end);
            break;
        case State::Decl:
            ok = scanDecl(data, p, end);
            break;
        case State::Doctype:
            ok = scanDoctype(data, p, end);
            break;
        case State::DoctypeOpen:
        case State::DoctypeBang:
            scanDoctypeOpen(p);
            break;
        }
        if (!ok)
            return false;
    }
    countLines(data, size);
    return true;
}

} // namespace tideplot::xmllog
