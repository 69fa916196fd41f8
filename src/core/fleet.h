#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The boats of a race as every part of the program that shows or writes a replay knows
// them: the replay, the chart, the legend, the video, the animated KML and the web page.
namespace tideplot {

struct RaceState;
struct RaceHandicap;

// One boat of a loaded race.
struct FleetBoat {
    std::string Name;        // display name (the last 20 characters of the track file's name)
    std::string Caption;     // legend caption: name and LYS number (or rating), the name its pieces are drawn under
    std::int32_t Colour = 0; // colour number
    std::uint32_t WindowColour = 0; // 0x00BBGGRR, the legend's background
    double Lys = 1;                 // LYS number
    std::string Rating;             // its rating under the race's handicap system as shown; empty: LYS alone
    // The race's handicap (null: LYS alone) and the boat's index in it: its race clock.
    std::shared_ptr<const RaceHandicap> Handicap;
    int Index = 0;
    double StartTime = 0;  // date value
    std::string TrackFile; // the track file's path
    char SepChar = ',';    // the separator of its track lines
    long EntryLine = 0;    // its entry's line in the race file (from 1)
};

struct FleetInfo {
    std::string RaceFileName;
    std::vector<FleetBoat> Boats;
    // The race's handicap (racehandicap.h); null: every boat on its LYS number.
    std::shared_ptr<const RaceHandicap> Handicap;
};

// The fleet of a race loaded by StartReplay.
FleetInfo FleetOf(const RaceState& state);

} // namespace tideplot
