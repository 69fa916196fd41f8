#include "logpoints.h"

#include "spillfile.h"

#include "core/error.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace tideplot {

namespace {

// A batch's lines take up to this share of its memory, the records the rest.
constexpr std::int64_t kTextShareNum = 2;
constexpr std::int64_t kTextShareDen = 3;
// In a temporary file a point is [8-byte time][4-byte length][line].
constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kWriteBytes = std::size_t{1} << 20;
constexpr std::int64_t kMinReadBytes = std::int64_t{64} << 10;
constexpr std::int64_t kMaxReadBytes = std::int64_t{1} << 20;

bool EarlierSecond(const LogPoints::Record& a, const LogPoints::Record& b)
{
    return a.Second < b.Second;
}

void SortBatch(LogPoints::Batch& batch)
{
    if (!std::is_sorted(batch.Records.begin(), batch.Records.end(), EarlierSecond))
        std::stable_sort(batch.Records.begin(), batch.Records.end(), EarlierSecond);
}

// Grows a vector or string to at most `limit` elements, doubling; false when it is full.
template <typename Container> bool Room(Container& c, std::size_t more, std::size_t limit)
{
    if (c.size() + more <= c.capacity())
        return true;
    if (c.size() + more > limit)
        return false;
    c.reserve(std::min(limit, std::max({c.size() + more, c.capacity() * 2, std::size_t{4096}})));
    return true;
}

class EmptyCursor : public LogPoints::Cursor {
public:
    bool Next() override { return false; }
    LogSecond Second() const override { return 0; }
    std::string_view Line() const override { return {}; }
};

class MemoryCursor : public LogPoints::Cursor {
public:
    explicit MemoryCursor(LogPoints::Batch batch) : batch_(std::move(batch)) {}
    bool Next() override { return ++next_ <= batch_.Records.size(); }
    LogSecond Second() const override { return batch_.Records[next_ - 1].Second; }
    std::string_view Line() const override
    {
        const LogPoints::Record& r = batch_.Records[next_ - 1];
        return std::string_view(batch_.Text).substr(r.Offset, r.Length);
    }

private:
    LogPoints::Batch batch_;
    std::size_t next_ = 0;
};

class FileCursor : public LogPoints::Cursor {
public:
    FileCursor(const LogPoints::Run& run, std::int64_t bufferBytes)
        : file_(run.File), offset_(run.Begin), end_(run.End), bufferBytes_(bufferBytes)
    {
    }
    bool Next() override
    {
        pos_ += line_.size();
        if (!Have(kHeaderBytes))
            return false;
        std::uint32_t length = 0;
        std::memcpy(&second_, buffer_.data() + pos_, 8);
        std::memcpy(&length, buffer_.data() + pos_ + 8, 4);
        pos_ += kHeaderBytes;
        if (!Have(length))
            throw Error("the temporary file for the points of the log came out short");
        line_ = std::string_view(buffer_).substr(pos_, length);
        return true;
    }
    LogSecond Second() const override { return second_; }
    std::string_view Line() const override { return line_; }

private:
    // True when `bytes` bytes are in the buffer from pos_ on (reading more when not).
    bool Have(std::size_t bytes)
    {
        if (buffer_.size() - pos_ >= bytes)
            return true;
        buffer_.erase(0, pos_);
        pos_ = 0;
        line_ = {};
        const std::size_t want = std::max<std::size_t>(bytes, std::size_t(bufferBytes_));
        while (buffer_.size() < want && offset_ < end_) {
            const std::size_t have = buffer_.size();
            const auto n = std::min<std::int64_t>(std::int64_t(want - have), end_ - offset_);
            buffer_.resize(have + std::size_t(n));
            const std::int64_t read = file_->Read(offset_, buffer_.data() + have, n);
            buffer_.resize(have + std::size_t(std::max<std::int64_t>(read, 0)));
            if (read <= 0)
                throw Error("the temporary file for the points of the log came out short");
            offset_ += read;
        }
        return buffer_.size() >= bytes;
    }

    std::shared_ptr<SpillFile> file_;
    std::int64_t offset_;
    std::int64_t end_;
    std::int64_t bufferBytes_;
    std::string buffer_;
    std::size_t pos_ = 0;
    LogSecond second_ = 0;
    std::string_view line_;
};

// Merges sorted runs; on a tie the earlier run goes first, so the points of one second
// keep the order they were added in.
class MergeCursor : public LogPoints::Cursor {
public:
    explicit MergeCursor(std::vector<std::unique_ptr<LogPoints::Cursor>> runs) : runs_(std::move(runs))
    {
        for (std::size_t i = 0; i < runs_.size(); ++i)
            if (runs_[i]->Next())
                heap_.push(i);
    }
    bool Next() override
    {
        if (current_ != kNone && runs_[current_]->Next())
            heap_.push(current_);
        if (heap_.empty())
            return false;
        current_ = heap_.top();
        heap_.pop();
        return true;
    }
    LogSecond Second() const override { return runs_[current_]->Second(); }
    std::string_view Line() const override { return runs_[current_]->Line(); }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    struct Later {
        const std::vector<std::unique_ptr<LogPoints::Cursor>>* runs;
        bool operator()(std::size_t a, std::size_t b) const
        {
            const LogSecond sa = (*runs)[a]->Second();
            const LogSecond sb = (*runs)[b]->Second();
            return sa != sb ? sa > sb : a > b;
        }
    };
    std::vector<std::unique_ptr<LogPoints::Cursor>> runs_;
    std::priority_queue<std::size_t, std::vector<std::size_t>, Later> heap_{Later{&runs_}};
    std::size_t current_ = kNone;
};

} // namespace

LogPoints::LogPoints(std::int64_t memoryBytes) : memoryBytes_(std::max<std::int64_t>(memoryBytes, 1024)) {}

LogPoints::~LogPoints() = default;

void LogPoints::Add(LogSecond second, std::string_view line)
{
    const auto textLimit = std::size_t(memoryBytes_ * kTextShareNum / kTextShareDen);
    const auto recordLimit =
        std::size_t(memoryBytes_ * (kTextShareDen - kTextShareNum) / kTextShareDen) / sizeof(Record);
    if (!Room(batch_.Text, line.size(), std::max(textLimit, line.size())) ||
        !Room(batch_.Records, 1, std::max<std::size_t>(recordLimit, 1))) {
        SpillBatch(batch_);
        Room(batch_.Text, line.size(), std::max(textLimit, line.size()));
        Room(batch_.Records, 1, std::max<std::size_t>(recordLimit, 1));
    }
    batch_.Records.push_back(Record{second, std::uint32_t(batch_.Text.size()), std::uint32_t(line.size())});
    batch_.Text.append(line);
    ++count_;
}

void LogPoints::SpillBatch(Batch& batch)
{
    if (batch.Records.empty())
        return;
    SortBatch(batch);
    if (!spill_)
        spill_ = std::make_shared<SpillFile>();
    Run run;
    run.File = spill_;
    run.Begin = spill_->Size();
    std::string bytes;
    bytes.reserve(kWriteBytes + kHeaderBytes);
    for (const Record& r : batch.Records) {
        char header[kHeaderBytes];
        std::memcpy(header, &r.Second, 8);
        std::memcpy(header + 8, &r.Length, 4);
        bytes.append(header, kHeaderBytes);
        bytes.append(batch.Text, r.Offset, r.Length);
        if (bytes.size() >= kWriteBytes) {
            spill_->Append(bytes);
            bytes.clear();
        }
    }
    spill_->Append(bytes);
    run.End = spill_->Size();
    runs_.push_back(std::move(run));
    batch = Batch{};
}

void LogPoints::CloseBatch(bool spill)
{
    if (batch_.Records.empty())
        return;
    if (spill) {
        SpillBatch(batch_);
        return;
    }
    SortBatch(batch_);
    Run run;
    run.Memory = std::move(batch_);
    runs_.push_back(std::move(run));
    batch_ = Batch{};
}

void LogPoints::Append(LogPoints&& later)
{
    later.CloseBatch(!later.runs_.empty());
    if (later.runs_.empty()) {
        // nothing
    } else if (later.runs_.size() == 1 && !later.runs_[0].File) {
        // All in memory: its points join this batch, or are this batch when it is empty.
        Batch& theirs = later.runs_[0].Memory;
        if (runs_.empty() && batch_.Records.empty()) {
            batch_ = std::move(theirs);
        } else {
            for (const Record& r : theirs.Records) {
                Add(r.Second, std::string_view(theirs.Text).substr(r.Offset, r.Length));
                --count_;
            }
        }
    } else {
        CloseBatch(true);
        for (Run& run : later.runs_)
            runs_.push_back(std::move(run));
    }
    count_ += later.count_;
    later.runs_.clear();
    later.batch_ = Batch{};
    later.count_ = 0;
}

std::unique_ptr<LogPoints::Cursor> LogPoints::Sorted()
{
    CloseBatch(false);
    if (runs_.empty())
        return std::make_unique<EmptyCursor>();
    if (runs_.size() == 1 && !runs_[0].File) {
        auto cursor = std::make_unique<MemoryCursor>(std::move(runs_[0].Memory));
        runs_.clear();
        return cursor;
    }
    std::int64_t fileRuns = 0;
    for (const Run& run : runs_)
        fileRuns += run.File ? 1 : 0;
    const std::int64_t readBytes =
        std::clamp(memoryBytes_ / std::max<std::int64_t>(fileRuns, 1), kMinReadBytes, kMaxReadBytes);
    std::vector<std::unique_ptr<Cursor>> cursors;
    for (Run& run : runs_) {
        if (run.File)
            cursors.push_back(std::make_unique<FileCursor>(run, readBytes));
        else
            cursors.push_back(std::make_unique<MemoryCursor>(std::move(run.Memory)));
    }
    runs_.clear();
    return std::make_unique<MergeCursor>(std::move(cursors));
}

} // namespace tideplot
