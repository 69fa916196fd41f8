#pragma once

#include "core/replay.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What the replay layer hands to every part of the program that shows or records a replay:
// the fleet once, when a race is loaded, and a frame of numbers at every step.
namespace tideplot {

// One boat of the race as its legend shows it.
struct FleetBoat {
    std::string Name;               // display name
    double Lys = 1;                 // LYS number
    std::int32_t Colour = 0;        // colour number
    std::string Caption;            // legend caption: name and LYS number, the name its pieces are drawn under
    std::uint32_t WindowColour = 0; // 0x00BBGGRR, the legend's background
    std::string TrackFile;          // the track file's path
    double StartTime = 0;           // date value
};

struct FleetInfo {
    std::string RaceFileName;
    std::vector<FleetBoat> Boats;
};

// The fleet of a race loaded by StartReplay.
FleetInfo FleetOf(const RaceState& state);

// One step of the replay: its number (steps played since Start, from 1) and what it did.
// Step 0 is the replay before its first step: no boat moved, nothing drawn.
struct FleetFrame : StepOutcome {
    long long Step = 0;
};

// A part of the program that shows or records the replay.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // A race was loaded (before its first step).
    virtual void raceStarted(const FleetInfo&) {}
    // A step was played.
    virtual void frame(const FleetFrame& frame) = 0;
    // The replay went to another moment (a seek): `frame` is the step it stands at now, and
    // `pieces` everything drawn from Start up to and including that step, in step order.
    // The first `kept` of them are those the observer was shown before (the replay went on
    // from where it stood), so only the rest are new; with `kept` 0 what was shown before
    // is to be forgotten.
    virtual void rewound(const FleetFrame& frame, std::span<const DrawnPiece> pieces, std::size_t kept) = 0;
    // The replay reached the end of the race: every track file is at its end.
    virtual void reachedEnd() {}
};

// The pieces a frame drew, in boat order.
void AppendPieces(const FleetFrame& frame, std::vector<DrawnPiece>& pieces);

} // namespace tideplot
