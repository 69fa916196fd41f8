#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tideplot {

// Reads a text file front to back, one line at a time, through a fixed buffer: the
// file is never loaded whole. Lines may end in CR LF, LF or CR; the last line may end
// without a line break. AtEnd() is true as soon as the last line has been read. A UTF-8
// byte order mark at the start of the file is skipped.
class LineReader {
public:
    // Opens `path` for reading; throws Error naming the file when it cannot.
    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool AtEnd();
    // The next line without its line break; valid until the next call. Throws Error
    // when the file is at its end or cannot be read.
    std::string_view ReadLine();
    // 1-based number of the line ReadLine returned last (0 before the first).
    long LineNumber() const { return lineNumber_; }
    const std::string& Path() const { return path_; }

private:
    bool Fill(); // false at the end of the file

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool started_ = false;
    std::string spill_; // a line that crossed the end of the buffer
    long lineNumber_ = 0;
};

// Reads every line of a small text file (a race file) with the same line rules.
std::vector<std::string> ReadAllLines(const std::string& path);

} // namespace tideplot
