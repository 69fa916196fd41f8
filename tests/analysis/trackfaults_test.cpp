// What the analysis makes of tracks with faults: fixes no boat could sail to (glitches of the
// receiver, jumps), and manoeuvres before the boat's start.
#include "analysis/analysisfiles.h"
#include "analysis/raceanalysis.h"
#include "core/datetime.h"
#include "core/replay.h"
#include "racesim.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using testing::TempDir;

constexpr double kPi = 3.14159265358979323846;

RaceAnalysis Analyse(const std::string& raceFile)
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return AnalyseRace(boats);
}

// A boat sailing east at 5 knots along 60 N, one fix a second from 60 s before its start at
// 11:00 until 600 s after; `north(t)` moves the fix at second t that many metres north and
// `east(t)` east. Line t + 62 holds second t.
std::vector<std::string> East(double (*north)(int), double (*east)(int))
{
    std::vector<std::string> lines{"lat,lon,date,time"};
    for (int t = -60; t <= 600; ++t) {
        const double metres = 5 * kMetresPerKnotSecond * (t + 60) + east(t);
        const double lat = 60 + north(t) / (60 * 1852.0);
        char line[96];
        std::snprintf(line, sizeof line, "%.7f,%.7f,20080621,%s", lat,
                      11 + metres / (60 * 1852.0 * std::cos(lat * kPi / 180)), testing::Hms(39600 + t).c_str());
        lines.push_back(line);
    }
    return lines;
}

double None(int)
{
    return 0;
}

// A fix that jumps is left out of speed, distance and manoeuvres and counted, the first line
// named; a jump that stays splits the track, and nothing is measured across it. Every speed
// left is the boat's 5 knots, the distance 600 s of them.
TEST(AnalysisGlitches, LeftOutOfSpeedDistanceAndManoeuvres)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        long glitches, firstGlitchLine, jumps, firstJumpLine;
        const char* warning;
    };
    const std::vector<Case> cases{
        {"a fix 4,973 knots off", East([](int t) { return t == 150 ? 2558.0 : 0; }, None), 1, 212, 0, 0,
         "boat.txt: 1 fix out of reach at 50 knots of the track either side was left out of speed, distance and "
         "manoeuvres (line 212)"},
        {"five fixes of a reflection 300 m off", East(None, [](int t) { return t >= 200 && t < 205 ? 300.0 : 0; }), 5,
         262, 0, 0,
         "5 fixes out of reach at 50 knots of the track either side were left out of speed, distance and "
         "manoeuvres (the first on line 262)"},
        {"a receiver's first fixes 20 km away", East([](int t) { return t < -57 ? 20000.0 : 0; }, None), 3, 2, 0, 0,
         "(the first on line 2)"},
        {"its last fix 1 km away", East([](int t) { return t == 600 ? 1000.0 : 0; }, None), 1, 662, 0, 0, "(line 662)"},
        {"a jump of 50 km that stays", East([](int t) { return t >= 300 ? 50000.0 : 0; }, None), 0, 0, 1, 362,
         "boat.txt: the track jumps out of reach at 50 knots on line 362 and goes on there: nothing is measured "
         "across the jump"},
        {"a jump in its last minute, its first fix 2 km off again",
         East([](int t) { return t >= 540 ? 50000.0 + (t == 540 ? 2000 : 0) : 0; }, None), 1, 602, 1, 603,
         "(line 602); the track jumps out of reach at 50 knots on line 603"},
        {"50 km away for two minutes", East([](int t) { return t >= 300 && t < 420 ? 50000.0 : 0; }, None), 0, 0, 2,
         362, "the track jumps out of reach at 50 knots 2 times, the first on line 362, and goes on there each time"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("boat.txt", c.lines);
        const RaceAnalysis race = Analyse(dir.write("race.TP1", {"boat.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"}));
        const BoatAnalysis& boat = race.Boats.at(0);
        const TrackReading& r = boat.Reading;
        EXPECT_EQ(r.Glitches, c.glitches) << c.name;
        EXPECT_EQ(r.FirstGlitchLine, c.firstGlitchLine) << c.name;
        EXPECT_EQ(r.Jumps, c.jumps) << c.name;
        EXPECT_EQ(r.FirstJumpLine, c.firstJumpLine) << c.name;
        EXPECT_EQ(boat.Motion.Samples.size(), 661u - static_cast<std::size_t>(c.glitches)) << c.name;
        for (const MotionSample& s : boat.Motion.Samples)
            EXPECT_NEAR(s.SpeedKn, 5, 0.05) << c.name << " at " << s.Seconds;
        EXPECT_NEAR(boat.Summary.DistanceNm, 5.0 * 600 / 3600, 0.01) << c.name;
        EXPECT_NEAR(boat.Summary.MeanSpeedKn, 5, 0.05) << c.name;
        EXPECT_TRUE(boat.Manoeuvres.empty()) << c.name;
        const std::vector<std::string> warnings = AnalysisWarnings(race);
        ASSERT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << c.name << "\n" << warnings[0];
    }
}

// A race sailed for an hour, its tracks from before the start: its boat entered with the
// start `laterMinutes` later.
struct LateStart {
    TempDir dir;
    racesim::TrueRace truth;
    std::string race;

    explicit LateStart(int laterMinutes)
    {
        racesim::RaceOptions o;
        o.Boats = 2;
        o.Hours = 1;
        o.Seed = 12;
        o.WindFromDeg = 200;
        o.Out = dir.path();
        truth = racesim::WriteRace(o);
        std::vector<std::string> entries;
        for (const racesim::TrueBoat& boat : truth.Boats)
            entries.push_back(boat.File + " , " +
                              DateText(DateValueFromText(boat.StartText) + laterMinutes * 60 / kSecondsPerDay) +
                              " , 1 , 0 , ,");
        race = dir.write("late.TP1", entries);
    }
};

// A boat's totals count from its own start: the tacks and gybes before it are listed, marked
// as before the start, and never counted, nor in its mean tack loss; a boat whose track ends
// before its start has none. The JSON says which are before the start.
TEST(AnalysisBeforeStart, TotalsCountFromTheBoatsOwnStart)
{
    for (const int later : {0, 25, 24 * 60}) {
        LateStart late(later);
        RaceAnalysis race = Analyse(late.race);
        SetWind(race, 200.0);
        const std::string json = AnalysisJson(race);
        int beforeInJson = 0;
        for (std::size_t at = json.find("\"before_start\": true"); at != std::string::npos;
             at = json.find("\"before_start\": true", at + 1))
            ++beforeInJson;
        int before = 0;
        for (const BoatAnalysis& boat : race.Boats) {
            int tacks = 0, gybes = 0;
            double loss = 0;
            for (const Manoeuvre& m : boat.Manoeuvres) {
                EXPECT_EQ(m.BeforeStart, m.MiddleSeconds < 0) << later << " " << m.MiddleSeconds;
                before += m.BeforeStart ? 1 : 0;
                if (m.BeforeStart)
                    continue;
                tacks += m.Kind == ManoeuvreKind::Tack ? 1 : 0;
                gybes += m.Kind == ManoeuvreKind::Gybe ? 1 : 0;
                loss += m.Kind == ManoeuvreKind::Tack ? m.LossMetres : 0;
            }
            const std::string text = "start " + std::to_string(later) + " minutes later, " + boat.Source.Name;
            EXPECT_EQ(boat.Summary.Tacks, tacks) << text;
            EXPECT_EQ(boat.Summary.Gybes, gybes) << text;
            if (tacks > 0) {
                EXPECT_NEAR(boat.Summary.MeanTackLossMetres, loss / tacks, 1e-9) << text;
            } else {
                EXPECT_TRUE(std::isnan(boat.Summary.MeanTackLossMetres)) << text;
            }
            if (later > 60) {
                EXPECT_EQ(boat.Summary.DistanceNm, 0) << text;
                EXPECT_EQ(tacks + gybes, 0) << text;
                EXPECT_FALSE(boat.Manoeuvres.empty()) << text;
            }
        }
        EXPECT_EQ(beforeInJson, before) << later;
        EXPECT_TRUE(later == 0 || before > 2) << before << " manoeuvres before a start " << later << " minutes later";
        EXPECT_EQ(json.find("\"before_start\": false") != std::string::npos, later <= 60) << later;
    }
}

} // namespace
} // namespace tideplot
