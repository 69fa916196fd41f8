// The wind over time: typed (the course file's wind lines), measured (a boat's wind file),
// and how the analysis takes and writes it.
#include "analysis/analysisfiles.h"
#include "analysis/raceanalysis.h"
#include "analysis/windseries.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/replay.h"
#include "core/windfile.h"
#include "core/windline.h"
#include "racesim.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using testing::TempDir;

RaceAnalysis Analyse(const std::string& raceFile, AnalysisOptions options = {})
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return AnalyseRace(boats, options);
}

TEST(WindLine, ReadsTheRaceClockOrUtcAndADirection)
{
    struct Case {
        const char* text;
        double seconds;
        bool utc;
        double deg;
    };
    const Case cases[] = {
        {"00:25:00 245", 1500, false, 245},  {"-00:04:00 240.5", -240, false, 240.5},
        {"14:30:00Z 250", 52200, true, 250}, {"  14:30:00   UTC   0  ", 52200, true, 0},
        {"26:00:10 360", 93610, false, 360}, {"0:05:00 10", 300, false, 10},
        {" 245 ", 0, false, 245}, // the whole race's
    };
    for (const Case& c : cases) {
        TypedWind wind;
        ASSERT_NO_THROW(wind = TypedWindFromText(c.text)) << c.text;
        EXPECT_EQ(wind.Seconds, c.seconds) << c.text;
        EXPECT_EQ(wind.Utc, c.utc) << c.text;
        EXPECT_EQ(wind.FromDeg, c.deg) << c.text;
    }
    for (const char* bad :
         {"", "north", "00:25:00", "00:60:00 245", "00:25:61 245", "24:00:00Z 245", "-00:01:00Z 245", "00:25:00 361",
          "00:25:00 -1", "00:25:00 NE", "00:25 245", "00:25:00 UTC", "00:25:00Z UTC 9", "00:25:00 245 250"}) {
        try {
            TypedWindFromText(bad);
            ADD_FAILURE() << "read: \"" << bad << "\"";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("the wind line"), std::string::npos) << bad << ": " << e.what();
        }
    }
}

// The typed moments straight between them the short way round, the first before them and the
// last after them; race clock times from the first start, UTC times on its day.
TEST(WindLine, TheSeriesIsStraightBetweenTheMoments)
{
    const double start = DateValueFromText("2008-06-21 23:00:00");
    const WindEstimate wind = TypedWindSeries({{600, false, 350}, {0, false, 340}, {1800, true, 20}}, start);
    ASSERT_TRUE(wind.Known);
    EXPECT_EQ(wind.Source, WindSource::Given);
    const auto at = [&](double seconds) { return wind.At(start + seconds / kSecondsPerDay); };
    EXPECT_NEAR(at(-3600), 340, 1e-3);
    EXPECT_NEAR(at(300), 345, 1e-3);
    EXPECT_NEAR(at(3000), 5, 1e-3) << "half way from 350 at 23:10 to 20 at 00:30 UTC the next day, the short way";
    EXPECT_NEAR(at(86400), 20, 1e-3);
    EXPECT_FALSE(TypedWindSeries({}, start).Known);
}

// Writes a wind file beside `track` from the race's true wind, one line every 5 s, TWD only;
// `broken` spoils its tenth line.
void WriteWindFile(const racesim::TrueRace& truth, const std::string& track, bool broken = false)
{
    std::ofstream out(WindFilePath(track), std::ios::binary);
    out << kWindHeaderLine;
    int line = 2;
    for (const racesim::TrueWind& w : truth.Wind) {
        for (int s = 0; s < 10; s += 5, ++line) {
            const std::string text = DateText(w.Time + s / kSecondsPerDay);
            WindFileLine values;
            values.TwdDeg = truth.WindAt(w.Time + s / kSecondsPerDay);
            out << WindLineText(text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2),
                                text.substr(11, 2) + text.substr(14, 2) + text.substr(17, 2), values);
            out << (broken && line == 10 ? ",x\r\n" : "\r\n");
        }
    }
}

racesim::RaceOptions ShiftingRace(const TempDir& dir)
{
    racesim::RaceOptions o;
    o.Out = dir.path();
    o.Boats = 3;
    o.Hours = 1.5;
    o.Seed = 21;
    o.WindFromDeg = 250;
    o.WindShiftDeg = 40;
    return o;
}

// One boat of a fleet has a wind file: its wind, smoothed over a minute, is the race's, the
// other boats' turns judged against it too; the estimate lies beside it, and both go into
// the JSON with the difference. A broken wind file is left out with a warning.
TEST(MeasuredWind, OneBoatsInstrumentsGiveTheFleetsWind)
{
    TempDir dir;
    const racesim::TrueRace truth = racesim::WriteRace(ShiftingRace(dir));
    WriteWindFile(truth, dir.file(truth.Boats[1].File));
    RaceAnalysis race = Analyse(truth.RaceFile.string());
    ASSERT_EQ(race.Wind.Source, WindSource::Measured);
    EXPECT_TRUE(race.Boats[0].MeasuredWind.empty());
    ASSERT_FALSE(race.Boats[1].MeasuredWind.empty());
    double worst = 0;
    for (const WindPoint& p : race.Wind.Series)
        if (p.Support > 0)
            worst = std::max(worst, std::fabs(AngleDifference(p.FromDeg, truth.WindAt(p.Time))));
    EXPECT_LT(worst, 1.5) << "a minute's mean of a wind that turns 40 degrees in 90 minutes";
    EXPECT_TRUE(race.Estimate.Known && race.Estimate.Source == WindSource::Estimated);
    const WindDifference difference = CompareWinds(race.Estimate, race.Wind);
    EXPECT_GT(difference.Moments, 60);
    EXPECT_LT(difference.MeanAbsoluteDeg, 3);
    EXPECT_GT(race.Wind.Tacks, 3 * 10);

    const std::string json = AnalysisJson(race);
    for (const char* key : {"\"source\": \"measured\"", "\"measured\": true",
                            "\"estimate\": {\"difference_deg\": ", "\"source\": \"estimated\"", "\"turns\": "})
        EXPECT_NE(json.find(key), std::string::npos) << key;

    SetWind(race, 200.0);
    EXPECT_EQ(race.Wind.Source, WindSource::Given);
    SetWind(race, std::nullopt);
    EXPECT_EQ(race.Wind.Source, WindSource::Measured) << "back to the race's own wind";

    WriteWindFile(truth, dir.file(truth.Boats[1].File), true);
    race = Analyse(truth.RaceFile.string());
    EXPECT_EQ(race.Wind.Source, WindSource::Estimated);
    const std::vector<std::string> warnings = AnalysisWarnings(race);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("boat2.wind.txt, line 10"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("its wind was left out"), std::string::npos) << warnings[0];
}

// A wind that turns 40 degrees over the race: the course file's wind lines, every 15 minutes,
// judge the tacks and gybes as the truth does; one direction typed for the whole race does not.
TEST(MeasuredWind, WindLinesFollowAShiftThatOneDirectionCannot)
{
    TempDir dir;
    const racesim::TrueRace truth = racesim::WriteRace(ShiftingRace(dir));
    AnalysisOptions lines;
    const double first = DateValueFromText(truth.Boats[0].StartText);
    for (int minutes = -10; minutes <= 100; minutes += 15)
        lines.WindLines.push_back({minutes * 60.0, false, truth.WindAt(first + minutes / 1440.0)});
    AnalysisOptions one;
    one.WindFromDeg = truth.WindAt(first);
    const auto wrong = [&](const RaceAnalysis& race) {
        int wrongKinds = 0;
        for (std::size_t k = 0; k < truth.Boats.size(); ++k)
            for (const racesim::TrueManoeuvre& t : truth.Boats[k].Manoeuvres) {
                if (t.Kind == "turn" || t.AtMark)
                    continue;
                bool found = false;
                for (const Manoeuvre& m : race.Boats[k].Manoeuvres)
                    found = found ||
                            (std::fabs(m.MiddleSeconds - t.MiddleSeconds) <= 10 && ManoeuvreKindName(m.Kind) == t.Kind);
                wrongKinds += found ? 0 : 1;
            }
        return wrongKinds;
    };
    const RaceAnalysis typed = Analyse(truth.RaceFile.string(), lines);
    EXPECT_EQ(typed.Wind.Source, WindSource::Given);
    EXPECT_EQ(typed.Wind.Series.size(), lines.WindLines.size());
    EXPECT_LE(wrong(typed), 2);
    EXPECT_GT(wrong(Analyse(truth.RaceFile.string(), one)), 10);
}

} // namespace
} // namespace tideplot
