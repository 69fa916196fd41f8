#include "linereader.h"

#include "error.h"
#include "text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISFIFO(mode))
        return "a FIFO (a named pipe)";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISSOCK(mode))
        return "a socket";
    return "no regular file";
}

[[noreturn]] void NotAFile(const std::string& path, const std::string& kind)
{
    throw Error("cannot open \"" + path + "\": it is " + kind + ", not a file");
}

} // namespace

std::string NotARegularFile(const std::string& path)
{
    struct stat status {};
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &status) != 0)
        return {};
    return KindOf(status.st_mode);
}

LineReader::LineReader(const std::string& path) : path_(path)
{
    if (path.find('\0') != std::string::npos)
        throw Error("the file name " + QuotedText(path) + " holds a NUL byte");
    // Looked at before it is opened (opening a device may do something), and again once
    // open: without waiting, a FIFO put in the file's place meanwhile opens at once.
    if (const std::string kind = NotARegularFile(path); !kind.empty())
        NotAFile(path, kind);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Error("cannot open \"" + path + "\": " + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const std::string kind = KindOf(status.st_mode);
        ::close(fd);
        NotAFile(path, kind.empty() ? "no regular file" : kind);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    opened_ = FileStamp{status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    buffer_.resize(kBufferSize + kScanPaddingBytes);
}

LineReader::LineReader(SameFile, const LineReader& other) : path_(other.path_), opened_(other.opened_)
{
    fd_ = ::fcntl(other.fd_, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        throw Error("cannot open \"" + path_ + "\" again: " + std::strerror(errno));
    buffer_.resize(kBufferSize + kScanPaddingBytes);
    Seek(other.Offset(), other.LineNumber());
    started_ = other.started_;
}

LineReader::~LineReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool LineReader::Changed() const
{
    struct stat status {};
    if (::fstat(fd_, &status) != 0)
        return false;
    return status.st_size != opened_.Size || status.st_mtim.tv_sec != opened_.Seconds ||
           status.st_mtim.tv_nsec != opened_.Nanoseconds;
}

long long LineReader::Size() const
{
    struct stat status {};
    return ::fstat(fd_, &status) == 0 ? static_cast<long long>(status.st_size) : 0;
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
    // At the reader's own offset: a reader of the same open file (SameFile) on another
    // thread reads its own bytes.
    ssize_t read = 0;
    do
        read = ::pread(fd_, buffer_.data(), kBufferSize, static_cast<off_t>(bufferOffset_));
    while (read < 0 && errno == EINTR);
    if (read < 0)
        throw Error("cannot read \"" + path_ + "\": " + std::strerror(errno));
    end_ = static_cast<std::size_t>(read);
    if (end_ == 0) {
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
