#pragma once

#include "scan.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tideplot {

// The longest line the readers take: a track or race file holds short lines, so a
// longer one means the file is something else (a binary file, a file without line
// breaks, /dev/zero), and is refused before memory grows with it.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

// What `path` names when it exists but is no regular file: "a FIFO (a named pipe)", "a
// device", "a folder", "a socket"; "" for a regular file (or a link to one) and for a path
// that does not exist or cannot be looked at (opening it says why). Reading a FIFO waits
// for a writer, reading a device such as /dev/urandom never ends: the readers refuse them.
std::string NotARegularFile(const std::string& path);

// Reads a text file front to back, one line at a time, through a fixed buffer: the
// file is never loaded whole. Lines may end in CR LF, LF or CR; the last line may end
// without a line break. AtEnd() is true as soon as the last line has been read. A UTF-8
// byte order mark at the start of the file is skipped; a file that starts as UTF-16
// text is refused, and so is a line longer than kMaxLineBytes.
class LineReader {
public:
    // Opens `path` for reading; throws Error naming the file when it cannot, when it is no
    // regular file (NotARegularFile: refused before it is opened, and again if it turns
    // out to be one once open, without waiting for a FIFO's writer), or when the name holds
    // a NUL byte (which would open a shorter name).
    explicit LineReader(const std::string& path);
    // The file `other` reads, the very file it opened (not the file its name names now: a
    // file put in its place is not read), standing where `other` stands, read through a
    // handle of its own: for another thread. Throws Error naming the file when no handle is left.
    struct SameFile {};
    LineReader(SameFile, const LineReader& other);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Throws Error like ReadLine when the first block read shows the file is UTF-16.
    bool AtEnd() { return pos_ == end_ && !Fill(); }
    // The next line without its line break; valid until the next call. Throws Error
    // naming the file (and the line) when the file is at its end, cannot be read, is
    // UTF-16 text or the line is longer than kMaxLineBytes.
    std::string_view ReadLine()
    {
        // The usual line: its line break lies in the buffer, and a CR is not the buffer's
        // last byte (the LF that may follow it would be in the next block).
        const char* const data = buffer_.data();
        const char* const begin = data + pos_;
        const char* const stop = FindEitherPadded(begin, data + end_, '\r', '\n');
        const auto next = static_cast<std::size_t>(stop - data) + 1;
        if (stop != data + end_ && (*stop == '\n' || next != end_)) {
            ++lineNumber_;
            pos_ = next + (*stop == '\r' && data[next] == '\n' ? 1 : 0);
            return std::string_view(begin, static_cast<std::size_t>(stop - begin));
        }
        return ReadLineAcrossBlocks();
    }
    // The bytes read ahead that ReadLine has not yet returned, with kScanPaddingBytes
    // readable bytes after them: for a reader that finds whole lines in them itself. Empty
    // before the first AtEnd() or ReadLine().
    std::string_view Buffered() const { return std::string_view(buffer_.data() + pos_, end_ - pos_); }
    // Passes over the first `bytes` of Buffered(), `lines` whole lines with their line breaks
    // (a CR's LF included), as that many ReadLine() calls would.
    void PassBuffered(std::size_t bytes, long lines)
    {
        pos_ += bytes;
        lineNumber_ += lines;
    }
    // 1-based number of the line ReadLine returned last (0 before the first).
    long LineNumber() const { return lineNumber_; }
    // Bytes from the start of the file to the next line ReadLine returns.
    long long Offset() const { return bufferOffset_ + static_cast<long long>(pos_); }
    // Goes back (or on) to the line that starts `offset` bytes into the file, a place that
    // Offset() gave, as line `lineNumber` of the file.
    void Seek(long long offset, long lineNumber);
    const std::string& Path() const { return path_; }
    // The open file's size now, in bytes.
    long long Size() const;
    // The open file was written to since it was opened: its size or its time of change is
    // not what it was (a file put in its place under its name does not count: it is not read).
    bool Changed() const;

private:
    bool Fill();                             // false at the end of the file
    std::string_view ReadLineAcrossBlocks(); // ReadLine at the end of the buffer
    void CheckFirstBlock() const;
    [[noreturn]] void LineTooLong() const;

    struct FileStamp {
        long long Size = 0;
        long long Seconds = 0;
        long long Nanoseconds = 0;
    };
    std::string path_;
    int fd_ = -1;
    FileStamp opened_;           // the file when it was opened
    std::vector<char> buffer_;   // a block of the file, then kScanPaddingBytes
    long long bufferOffset_ = 0; // file offset of buffer_[0]
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool started_ = false;
    std::string spill_; // a line that crossed the end of the buffer
    long lineNumber_ = 0;
};

} // namespace tideplot
