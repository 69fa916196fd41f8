#include "spillfile.h"

#include "core/error.h"

#include <QDir>
#include <QTemporaryFile>

#include <cstring>

namespace tideplot {

namespace {

constexpr std::size_t kLengthBytes = 4;
// Queued records are written to the file this many bytes at a time.
constexpr std::size_t kWriteBytes = std::size_t{1} << 20;

void PutLength(std::string& to, std::size_t length)
{
    const auto value = static_cast<std::uint32_t>(length);
    char bytes[kLengthBytes];
    std::memcpy(bytes, &value, kLengthBytes);
    to.append(bytes, kLengthBytes);
}

std::uint32_t GetLength(const char* from)
{
    std::uint32_t value = 0;
    std::memcpy(&value, from, kLengthBytes);
    return value;
}

} // namespace

SpillFile::SpillFile() : file_(std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/tideplot-XXXXXX")))
{
    // Qt makes the file without a name where the system can (O_TMPFILE), so nothing is
    // left behind by a process that dies.
    if (!file_->open())
        Fail("create");
}

SpillFile::~SpillFile() = default;

void SpillFile::Fail(const char* doing) const
{
    throw Error(std::string("cannot ") + doing + " a temporary file in \"" + QDir::tempPath().toStdString() +
                "\" for the points of the log: " + file_->errorString().toStdString());
}

std::int64_t SpillFile::Append(std::string_view bytes)
{
    const std::int64_t at = size_;
    if (!file_->seek(at) || file_->write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        Fail("write");
    size_ += std::int64_t(bytes.size());
    return at;
}

std::int64_t SpillFile::Read(std::int64_t offset, char* to, std::int64_t size)
{
    // Anything still in Qt's write buffer is written before the file is read.
    if (!file_->flush() || !file_->seek(offset))
        Fail("read");
    const qint64 n = file_->read(to, size);
    if (n < 0)
        Fail("read");
    return n;
}

RecordQueue::RecordQueue(std::int64_t memoryBytes) : memoryBytes_(memoryBytes) {}

RecordQueue::~RecordQueue() = default;

void RecordQueue::Push(std::string_view record)
{
    ++count_;
    if (fileCount_ == 0 && std::int64_t(memory_.size() - memoryRead_) < memoryBytes_) {
        PutLength(memory_, record.size());
        memory_.append(record);
        ++memoryCount_;
        return;
    }
    PutLength(writes_, record.size());
    writes_.append(record);
    ++fileCount_;
    if (writes_.size() >= kWriteBytes)
        FlushWrites();
}

void RecordQueue::FlushWrites()
{
    if (writes_.empty())
        return;
    if (!file_)
        file_ = std::make_unique<SpillFile>();
    file_->Append(writes_);
    writes_.clear();
}

std::string_view RecordQueue::Front()
{
    if (memoryCount_ > 0)
        return std::string_view(memory_).substr(memoryRead_ + kLengthBytes, GetLength(memory_.data() + memoryRead_));
    FlushWrites();
    char length[kLengthBytes];
    if (file_->Read(fileRead_, length, kLengthBytes) != std::int64_t(kLengthBytes))
        throw Error("the temporary file for the points of the log came out short");
    front_.resize(GetLength(length));
    if (file_->Read(fileRead_ + std::int64_t(kLengthBytes), front_.data(), std::int64_t(front_.size())) !=
        std::int64_t(front_.size()))
        throw Error("the temporary file for the points of the log came out short");
    return front_;
}

void RecordQueue::Pop()
{
    --count_;
    if (memoryCount_ > 0) {
        memoryRead_ += kLengthBytes + GetLength(memory_.data() + memoryRead_);
        if (--memoryCount_ == 0) {
            memory_.clear();
            memoryRead_ = 0;
        } else if (memoryRead_ >= kWriteBytes && memoryRead_ * 2 >= memory_.size()) {
            memory_.erase(0, memoryRead_); // what was read goes, so memory holds only what is queued
            memoryRead_ = 0;
        }
        return;
    }
    FlushWrites();
    char length[kLengthBytes];
    if (file_->Read(fileRead_, length, kLengthBytes) != std::int64_t(kLengthBytes))
        throw Error("the temporary file for the points of the log came out short");
    fileRead_ += std::int64_t(kLengthBytes + GetLength(length));
    if (--fileCount_ == 0) {
        // Empty again: the next records go to memory, and the file goes.
        file_.reset();
        fileRead_ = 0;
    }
}

void RecordQueue::Clear()
{
    count_ = memoryCount_ = fileCount_ = 0;
    memory_.clear();
    memoryRead_ = 0;
    writes_.clear();
    file_.reset();
    fileRead_ = 0;
}

} // namespace tideplot
