#include "linereader.h"

#include "error.h"
#include "text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tideplot {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;

// Text whose every second byte is NUL, the other bytes not: UTF-16 (LE when `first`
// is 1, BE when 0) of the characters a race or track file holds.
bool AlternatesWithNul(const char* bytes, std::size_t size, std::size_t first)
{
    const std::size_t pairs = std::min<std::size_t>(size, 64) / 2;
    if (pairs < 2)
        return false;
    for (std::size_t i = 0; i < pairs; ++i) {
        const char nul = bytes[2 * i + first];
        const char other = bytes[2 * i + 1 - first];
        if (nul != '\0' || other == '\0')
            return false;
    }
    return true;
}

} // namespace

LineReader::LineReader(const std::string& path) : path_(path)
{
    if (path.find('\0') != std::string::npos)
        throw Error("the file name " + QuotedText(path) + " holds a NUL byte");
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_)
        throw Error("cannot open \"" + path + "\": " + std::strerror(errno));
    buffer_.resize(kBufferSize + kScanPaddingBytes);
}

LineReader::~LineReader()
{
    if (file_)
        std::fclose(file_);
}

void LineReader::CheckFirstBlock() const
{
    const char* b = buffer_.data();
    const bool bom = end_ >= 2 && ((b[0] == '\xFF' && b[1] == '\xFE') || (b[0] == '\xFE' && b[1] == '\xFF'));
    if (bom || AlternatesWithNul(b, end_, 1) || AlternatesWithNul(b, end_, 0))
        throw Error(FileLabel(path_) + " looks like UTF-16 text; save it as plain text");
}

void LineReader::LineTooLong() const
{
    ThrowAt(FileLabel(path_), lineNumber_,
            "the line is longer than 64 KiB; a race or track file holds one short line per boat or point");
}

bool LineReader::Fill()
{
    if (eof_)
        return false;
    bufferOffset_ += static_cast<long long>(end_);
    pos_ = 0;
    end_ = std::fread(buffer_.data(), 1, kBufferSize, file_);
    if (end_ == 0) {
        if (std::ferror(file_))
            throw Error("cannot read \"" + path_ + "\": " + std::strerror(errno));
        eof_ = true;
        return false;
    }
    // A UTF-8 byte order mark, as some editors write one, is no part of the first line.
    if (!started_) {
        started_ = true;
        CheckFirstBlock();
        if (end_ >= 3 && std::memcmp(buffer_.data(), "\xEF\xBB\xBF", 3) == 0)
            pos_ = 3;
        if (pos_ == end_)
            return Fill();
    }
    return true;
}

void LineReader::Seek(long long offset, long lineNumber)
{
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
        throw Error("cannot go back in \"" + path_ + "\": " + std::strerror(errno));
    bufferOffset_ = offset;
    pos_ = end_ = 0;
    eof_ = false;
    started_ = true;
    spill_.clear();
    lineNumber_ = lineNumber;
}

std::string_view LineReader::ReadLineAcrossBlocks()
{
    if (AtEnd())
        throw Error(path_ + ": read past the end of the file");
    ++lineNumber_;
    spill_.clear();
    bool spilled = false;
    for (;;) {
        const char* begin = buffer_.data() + pos_;
        const std::size_t avail = end_ - pos_;
        // The first CR or LF: two library searches beat any byte loop here.
        const char* lf = static_cast<const char*>(std::memchr(begin, '\n', avail));
        const std::size_t searchCr = lf ? static_cast<std::size_t>(lf - begin) : avail;
        const char* cr = static_cast<const char*>(std::memchr(begin, '\r', searchCr));
        const char* stop = cr ? cr : lf;
        if (stop) {
            const std::size_t length = static_cast<std::size_t>(stop - begin);
            pos_ += length + 1;
            std::string_view line;
            if (spilled) {
                spill_.append(begin, length);
                if (spill_.size() > kMaxLineBytes)
                    LineTooLong();
                line = spill_;
            } else {
                line = std::string_view(begin, length);
            }
            if (*stop == '\r') {
                // CR LF counts as one line break, also when LF starts the next buffer.
                if (pos_ < end_) {
                    if (buffer_[pos_] == '\n')
                        ++pos_;
                } else {
                    if (!spilled) {
                        spill_.assign(line);
                        line = spill_;
                    }
                    if (Fill() && buffer_[pos_] == '\n')
                        ++pos_;
                }
            }
            return line;
        }
        spill_.append(begin, avail);
        spilled = true;
        pos_ = end_;
        if (spill_.size() > kMaxLineBytes)
            LineTooLong();
        if (!Fill())
            return spill_;
    }
}

} // namespace tideplot
