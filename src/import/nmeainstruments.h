#pragma once

// The boat's instruments in an NMEA 0183 log made into the lines of its wind file (see
// core/windfile.h), one a second. Internal to the NMEA reader.

#include "logpoints.h"
#include "logreader.h"
#include "nmeasentence.h"

#include "core/windfile.h"

#include <optional>

namespace tideplot::nmea {

// How long a heading, a boat speed or a course and speed over ground stays the one "at
// that moment" for a wind reading of a later second, in seconds.
constexpr LogSecond kCurrentSeconds = 10;
// Below this speed over ground (knots) the course over ground tells no direction.
constexpr double kCourseMinKnots = 1.0;

// Reads the sentences of the instruments, in the order of the log, each at the log's time
// then (the time of the last sentence that gave one):
//   heading     HDT (true), HDG (magnetic, with its deviation and variation), HDM (magnetic);
//               a magnetic heading is made true with the variation the log gives (HDG,
//               RMC), or taken as true when it gives none
//   boat speed  VHW (through the water)
//   wind        MWV (R relative, T true), VWR (relative), VWT (true), MWD (true direction)
//   ground      RMC and VTG (course and speed over ground, RMC the variation)
// Each second's line holds the first reading of each value in that second. The true wind:
//   - MWD's direction as it stands;
//   - else a true angle (MWV T, VWT) turned into a direction with the heading at that
//     moment, or the course over ground when there is none;
//   - else the apparent wind (MWV R, VWR) less the wind of the boat's own motion, through
//     the water (VHW) or else over the ground (RMC, VTG), as a true angle as above.
class InstrumentSeconds {
public:
    // The lines go to `lines` (the second and the text), nowhere when it is null.
    explicit InstrumentSeconds(LogPoints* lines);

    // The log's clock now stands at `second`: the readings after this belong to it.
    void At(LogSecond second);
    // Takes the sentence when it is one of the instruments' (or RMC, VTG).
    void Take(const Sentence& sentence);
    // Writes the last second's line.
    void Finish();

    const WindSummary& Summary() const { return summary_; }

private:
    struct Reading {
        double Value = 0;
        bool MagneticAsTrue = false;
    };
    struct Slot {
        std::optional<Reading> Heading;
        std::optional<double> BoatSpeed;
        std::optional<double> Awa, Aws;
        std::optional<double> Twa, TwaSpeed;
        std::optional<Reading> Twd;
        std::optional<double> TwdSpeed;
        bool Any = false;
    };
    struct Latest {
        double Value = 0;
        LogSecond Second = 0;
        bool MagneticAsTrue = false;
        bool Known = false;
        bool Current(LogSecond now) const { return Known && now - Second <= kCurrentSeconds && now >= Second; }
    };

    void Heading(double deg, bool magnetic, std::optional<double> variation);
    void Wind(const Sentence& s);
    std::optional<Reading> Direction(std::optional<double> trueDeg, std::optional<double> magneticDeg);
    void Flush();
    // The direction the boat points at this second: its heading, else its course over ground.
    std::optional<Reading> Reference(bool& fromCourse) const;
    void TrueWind(WindFileLine& line);

    LogPoints* lines_;
    bool timed_ = false;
    LogSecond second_ = 0;
    Slot slot_;
    Latest heading_, boatSpeed_, course_, groundSpeed_;
    std::optional<double> variation_;
    WindSummary summary_;
    // The date of the last line written, as "YYYYMMDD", and its first second.
    std::string date_;
    LogSecond dayStart_ = 0;
    bool haveDay_ = false;
};

} // namespace tideplot::nmea
