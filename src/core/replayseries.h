#pragma once

#include "core/replay.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

// The replay remembered as numbers: for every step its race clock and line width, and for
// every boat what the step showed of it (position, course and speed over ground, distance
// to the first boat, whether a piece was drawn). Whoever shows the replay reads it up to
// the step the replay stands at: the chart draws from it, the leaderboard and the graphs
// compute from it, after a seek as after playing.
//
// A boat's step costs 24 bytes: its position exactly as the replay placed it (so that a
// piece drawn again after a seek is the same piece, to the last digit), the distance as
// a float (a few centimetres in a hundred miles), course and speed in hundredths. A step
// costs 10 bytes more for its clock and width. Storage grows in blocks of 4096 steps, so
// a race never holds more than one block a boat beyond what it uses.
namespace tideplot {

// One boat at one step.
struct SeriesSample {
    double Lat = 0; // where the boat is shown; 0 and 0: nowhere (before its track has a position)
    double Lon = 0;
    float DistanceNm = std::numeric_limits<float>::quiet_NaN(); // to the first boat; NaN: none
    std::uint16_t CourseCentiDeg = 0;                           // hundredths of a degree, 0 to 35999
    std::uint16_t SpeedBits = 0; // bits 0 to 14: hundredths of a knot; bit 15: a piece was drawn

    static constexpr std::uint16_t kDrawnBit = 0x8000;
    static constexpr double kMaxSpeedKnots = 327.67;

    bool hasPosition() const { return Lat * Lon != 0; }
    bool drawn() const { return (SpeedBits & kDrawnBit) != 0; }
    bool hasDistance() const { return !std::isnan(DistanceNm); }
    double courseDeg() const { return CourseCentiDeg / 100.0; }
    double speedKnots() const { return (SpeedBits & ~kDrawnBit) / 100.0; }
};
static_assert(sizeof(SeriesSample) == 24);

class ReplaySeries {
public:
    static constexpr std::size_t kBlockSteps = 4096;
    static constexpr std::size_t kBytesPerBoatStep = sizeof(SeriesSample);
    static constexpr std::size_t kBytesPerStep = sizeof(double) + sizeof(std::int16_t);

    // The bytes a series of `steps` steps of `boats` boats holds.
    static std::size_t BytesFor(int boats, long long steps);

    // Forgets every step; the next step appended is step 1 of `boats` boats.
    void clear(int boats);
    // Appends what the next step showed (its boats in race file order).
    void append(const StepOutcome& step);

    int boatCount() const { return static_cast<int>(boats_.size()); }
    long long stepCount() const { return steps_; }
    std::size_t bytes() const;

    // Steps count from 1 to stepCount().
    double raceClock(long long step) const { return clocks_[index(step)]; }
    std::int16_t lineWidth(long long step) const { return widths_[index(step)]; }
    const SeriesSample& sample(int boat, long long step) const
    {
        return boats_[static_cast<std::size_t>(boat)].Samples[index(step)];
    }
    // The first step after which the boat's track file is at its end (it is not moved in
    // the steps after it), or a step beyond stepCount() when its track has not ended.
    long long endStep(int boat) const { return boats_[static_cast<std::size_t>(boat)].EndStep; }

    // What the step did for the boat, as its frame said it (distance, course and speed to
    // the precision kept).
    BoatStep boatStep(int boat, long long step) const;
    // The piece the boat drew in the step: from where it was at the step before to where
    // it is. Only for a step whose sample is drawn().
    DrawnPiece piece(int boat, long long step) const;

    // Calls `f(const DrawnPiece&)` for every piece drawn in steps `first` to `last`, in step
    // order and, within a step, in boat order: as the replay drew them.
    template <class F> void forEachPiece(long long first, long long last, F&& f) const
    {
        for (long long s = std::max(first, 2LL); s <= last; ++s)
            for (int k = 0; k < boatCount(); ++k)
                if (sample(k, s).drawn())
                    f(piece(k, s));
    }

private:
    template <class T> class BlockArray {
    public:
        void put(std::size_t i, const T& value)
        {
            if (i / kBlockSteps >= blocks_.size())
                blocks_.push_back(std::make_unique<T[]>(kBlockSteps));
            blocks_[i / kBlockSteps][i % kBlockSteps] = value;
        }
        const T& operator[](std::size_t i) const { return blocks_[i / kBlockSteps][i % kBlockSteps]; }
        std::size_t blockCount() const { return blocks_.size(); }

    private:
        std::vector<std::unique_ptr<T[]>> blocks_;
    };
    struct BoatSeries {
        BlockArray<SeriesSample> Samples;
        long long EndStep = std::numeric_limits<long long>::max();
    };

    static std::size_t index(long long step) { return static_cast<std::size_t>(step - 1); }

    std::vector<BoatSeries> boats_;
    BlockArray<double> clocks_;
    BlockArray<std::int16_t> widths_;
    long long steps_ = 0;
};

// The last step whose race clock is at or before `raceClockDays` (the step that shows that
// moment, or the one before it between steps): 0 before the first step's clock, the last
// step after it. Steps' clocks never fall, so it is a binary search.
long long StepAtRaceClock(const ReplaySeries& series, double raceClockDays);

} // namespace tideplot
