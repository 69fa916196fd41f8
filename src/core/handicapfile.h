#pragma once

#include "handicap.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The handicap's lines of the course file (coursefile.h), in any order among its others:
//
//     handicap phrf-tot 650 550         the race's system (handicap.h), A and B for phrf-tot
//     distance 6.4                      the course's distance in nautical miles
//     rating Elsa.txt 1.025             a boat's rating, by its track file as the race file
//     rating "My boat.txt" 1.0377 623.4 writes it (in double quotes when it holds a blank)
//     name Elsa.txt SWE 123 Elsa        a boat's name, the rest of the line
//
// Without a handicap line the system is lys. Ratings are checked against the system wherever
// its line stands. The same lines, read from a file of their own, override the course file's
// for one run (the command line's --ratings).
namespace tideplot {

inline constexpr std::string_view kHandicapKeys[] = {"handicap", "distance", "rating", "name"};

struct HandicapLines {
    struct Boat {
        std::string TrackFile;
        Rating Value; // Count 0: no rating line
        long RatingLine = 0;
        std::string RatingLabel; // the file of the rating line
        std::optional<std::string> Name;
        long NameLine = 0;
    };
    std::string Label; // the file, for messages ("race.TP1.course")
    std::optional<Handicap> Rule;
    long RuleLine = 0;
    std::optional<double> DistanceNm;
    long DistanceLine = 0;
    std::vector<Boat> Boats; // in the order of their first line

    // Nothing of the handicap is said: the race is scored by LYS as the race file gives it.
    bool Empty() const { return !Rule && !DistanceNm && Boats.empty(); }
    // Nothing that changes a race: LYS, no rating and no name (a "handicap lys" line, a
    // distance): the race is scored and shown as without them.
    bool Neutral() const
    {
        return Effective().System == HandicapSystem::Lys &&
               std::none_of(Boats.begin(), Boats.end(), [](const Boat& b) { return b.Value.Count != 0 || b.Name; });
    }
    // The system and its numbers (lys without a handicap line), with the distance.
    Handicap Effective() const
    {
        Handicap handicap = Rule.value_or(Handicap{});
        handicap.DistanceNm = DistanceNm;
        return handicap;
    }
    const Boat* Find(std::string_view trackFile) const;
    Boat& Entry(std::string_view trackFile);
};

// Reads the handicap's lines from a file's lines; the other lines are passed over. Throws
// Error naming `label` and the line: a system that is none of HandicapSystemNames(), A or B
// that are no numbers (or only one of them), a distance that is no number above 0, a rating
// that is no number or not the system's count of numbers or outside its range
// (RatingProblem), a name line without a name, a second handicap or distance line, a second
// rating or name line for one track file.
// `checkRatings` false leaves the ratings unchecked: lines that override others are checked
// against the system once they are taken over them (OverrideHandicapLines).
HandicapLines ReadHandicapLines(const std::vector<std::string>& lines, const std::string& label,
                                bool checkRatings = true);

// The lines of `over` taken in place of those of `base`: its handicap line (and distance),
// and each boat's rating and name it gives. Checks the ratings against the system again
// (a --handicap that changes the system of a course file's ratings), naming the line.
void OverrideHandicapLines(HandicapLines& base, const HandicapLines& over);

// The handicap's lines of a race's course file (none when it has no course file), or those
// set for the race by SetRunHandicapLines.
HandicapLines ReadRaceHandicapLines(const std::string& raceFileName);
// The lines every reading of the race's handicap takes in this run of the program in place of
// its course file's (the command line's --handicap and --ratings, RunHandicapLines); null
// lines: the course file's again.
void SetRunHandicapLines(const std::string& raceFileName, std::shared_ptr<const HandicapLines> lines);
// A file of handicap lines (--ratings FILE), its ratings unchecked until they are taken over
// a race's (OverrideHandicapLines). Throws Error as ReadHandicapLines and naming the file
// when it cannot be read.
HandicapLines ReadHandicapFile(const std::string& path);

// The handicap lines of one run of the command line: the course file's, those of a ratings
// file (`ratingsFile`, none when empty) over them, and the system `system` over both (the
// values of a handicap line: "portsmouth", "phrf-tot 600 500"; none when empty). Throws Error
// as ReadHandicapLines, naming "--handicap" for the system.
HandicapLines RunHandicapLines(const std::string& raceFileName, const std::string& ratingsFile,
                               const std::string& system);

// The lines as the course file writes them: the handicap line (when not lys without one),
// the distance, then each boat's rating and name.
std::vector<std::string> HandicapTextLines(const HandicapLines& lines);

// A track file as a rating or name line writes it: as it is, or in double quotes (a quote
// doubled) when it holds a blank or a quote or is empty.
std::string TrackFileWord(std::string_view trackFile);

// Saves the handicap's lines into the race's course file: the lines of every key of
// kHandicapKeys replaced by HandicapTextLines, where the first of them stood (at the end
// when there was none), every other line kept in its place. Throws Error naming the file.
void SaveHandicapLines(const std::string& raceFileName, const HandicapLines& lines);

} // namespace tideplot
