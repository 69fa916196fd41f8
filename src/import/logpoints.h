#pragma once

#include "logreader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The points of a log as the import keeps them while it reads: each point's time and its
// track line "LAT,LON,YYYYMMDD,hhmmss" (without line end). They are kept in memory up to a
// budget; beyond it, each full batch is sorted by time and written to a temporary file, and
// the batches are merged when the points are read back. So a log of any length is sorted in
// bounded memory.
namespace tideplot {

class SpillFile;

class LogPoints {
public:
    // `memoryBytes`: the points held in memory at most (their times, places and lines).
    explicit LogPoints(std::int64_t memoryBytes);
    ~LogPoints();
    LogPoints(const LogPoints&) = delete;
    LogPoints& operator=(const LogPoints&) = delete;

    // Adds a point after those added before. Throws Error when a batch cannot be written to
    // its temporary file.
    void Add(LogSecond second, std::string_view line);
    // Adds the points of `later`, which come after this one's in the log, and empties it.
    void Append(LogPoints&& later);
    std::int64_t Count() const { return count_; }

    // Reads the points in time order; the points of one second in the order they were
    // added. Nothing may be added once reading has started.
    class Cursor {
    public:
        virtual ~Cursor() = default;
        // Moves to the next point; false when there is none.
        virtual bool Next() = 0;
        virtual LogSecond Second() const = 0;
        // Valid until the next call of Next().
        virtual std::string_view Line() const = 0;
    };
    std::unique_ptr<Cursor> Sorted();

    // A batch of points in memory, and one in a temporary file (sorted by time).
    struct Record {
        LogSecond Second;
        std::uint32_t Offset; // in the batch's text
        std::uint32_t Length;
    };
    struct Batch {
        std::vector<Record> Records;
        std::string Text;
        std::int64_t Bytes() const { return std::int64_t(Records.size() * sizeof(Record) + Text.size()); }
    };
    struct Run {
        Batch Memory; // when it is in memory
        std::shared_ptr<SpillFile> File;
        std::int64_t Begin = 0;
        std::int64_t End = 0;
    };

private:
    void SpillBatch(Batch& batch);
    void CloseBatch(bool spill);

    std::int64_t memoryBytes_;
    std::int64_t count_ = 0;
    Batch batch_;           // the points added last, in the order they were added
    std::vector<Run> runs_; // the batches before it, in the order they were added
    std::shared_ptr<SpillFile> spill_;
};

} // namespace tideplot
