#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QTemporaryFile;

// Where the import keeps what does not fit in its memory while it reads a log: an unnamed
// temporary file in the system's temporary folder, gone when it is closed (also when the
// process dies), and a first-in first-out queue of records kept in memory up to a limit and
// in such a file beyond it. Internal to the log import.
namespace tideplot {

class SpillFile {
public:
    SpillFile();
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Writes `bytes` at the end; returns the offset they start at. Throws Error naming the
    // temporary folder when the file cannot be created or written (a full disk).
    std::int64_t Append(std::string_view bytes);
    // Reads up to `size` bytes at `offset` into `to`; returns how many (0 at the end).
    // Throws Error when the file cannot be read.
    std::int64_t Read(std::int64_t offset, char* to, std::int64_t size);
    std::int64_t Size() const { return size_; }

private:
    [[noreturn]] void Fail(const char* doing) const;

    std::unique_ptr<QTemporaryFile> file_;
    std::int64_t size_ = 0;
};

// Records (byte strings) in the order they are pushed: the first ones in memory, up to
// `memoryBytes`; once that is full, the following ones in a SpillFile until the queue is
// empty again.
class RecordQueue {
public:
    explicit RecordQueue(std::int64_t memoryBytes);
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    void Push(std::string_view record);
    bool Empty() const { return count_ == 0; }
    std::int64_t Count() const { return count_; }
    // The first record; valid until the next call. The queue must not be empty.
    std::string_view Front();
    void Pop();
    void Clear();

private:
    void FlushWrites();

    std::int64_t memoryBytes_;
    std::int64_t count_ = 0;
    // In memory: [4-byte length][bytes] records from memoryRead_ on.
    std::string memory_;
    std::size_t memoryRead_ = 0;
    std::int64_t memoryCount_ = 0;
    // In the file: the same layout from fileRead_ to the end, then the bytes in writes_.
    std::unique_ptr<SpillFile> file_;
    std::int64_t fileRead_ = 0;
    std::int64_t fileCount_ = 0;
    std::string writes_;
    std::string front_;
};

} // namespace tideplot
