// The race analysis on simulated races whose wind and manoeuvres are known (tools/racesim.h),
// and on tracks made by hand for the edges.
#include "analysis/analysisfiles.h"
#include "analysis/raceanalysis.h"
#include "core/datetime.h"
#include "core/replay.h"
#include "racesim.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

// How an analysis compares with the truth.
struct Scores {
    int trueCount = 0;          // tacks and gybes
    int foundCount = 0;         // tacks and gybes found
    int matched = 0;            // found with the same kind and a middle within 10 s
    int atMarks = 0;            // roundings of marks after the start
    int roundingsFound = 0;     // of those, found as roundings (a middle within 10 s)
    int roundingsNamed = 0;     // of those, a tack or gybe found within 10 s
    double windError = 0;       // degrees, the most over the minutes from the first start to the end
    double windKnown = 0;       // the share of those minutes with a wind
    double medianLoss = 0;      // of the tacks matched, the true losses
    double medianLossError = 0; // and the errors of theirs found
    double speedError = 0;      // knots, 99th percentile over the fixes of steady stretches
    double courseError = 0;     // degrees, likewise

    double Recall() const { return trueCount ? static_cast<double>(matched) / trueCount : 0; }
    double Precision() const { return foundCount ? static_cast<double>(matched) / foundCount : 0; }
    std::string Text() const
    {
        char text[400];
        std::snprintf(text, sizeof text,
                      "wind error %.1f (known %.0f %%); recall %.3f, precision %.3f (%d true, %d found); median tack "
                      "loss %.1f m, median error %.1f m; steady stretches: speed within %.2f kn, course within %.1f "
                      "degrees (99 %%); %d roundings, %d found, %d named tack or gybe",
                      windError, 100 * windKnown, Recall(), Precision(), trueCount, foundCount, medianLoss,
                      medianLossError, speedError, courseError, atMarks, roundingsFound, roundingsNamed);
        return text;
    }
};

Scores Score(const racesim::TrueRace& truth, const RaceAnalysis& race)
{
    Scores s;
    double first = INFINITY, last = -INFINITY;
    for (const BoatAnalysis& boat : race.Boats) {
        first = std::min(first, boat.Source.StartTime);
        if (!boat.Motion.Samples.empty())
            last = std::max(last, DateValueAt(boat.Source, boat.Motion.Samples.back().Seconds));
    }
    int minutes = 0, known = 0;
    for (double t = first; t <= last; t += 60 / kSecondsPerDay, ++minutes) {
        const double wind = race.Wind.At(t);
        if (std::isnan(wind))
            continue;
        ++known;
        s.windError = std::max(s.windError, std::fabs(AngleDifference(wind, truth.WindAt(t))));
    }
    s.windKnown = minutes ? static_cast<double>(known) / minutes : 0;
    std::vector<double> losses, lossErrors, speedErrors, courseErrors;
    for (std::size_t k = 0; k < truth.Boats.size(); ++k) {
        const racesim::TrueBoat& trueBoat = truth.Boats[k];
        const BoatAnalysis& boat = race.Boats.at(k);
        std::vector<bool> used(boat.Manoeuvres.size(), false);
        for (const Manoeuvre& m : boat.Manoeuvres)
            s.foundCount += m.Kind == ManoeuvreKind::Tack || m.Kind == ManoeuvreKind::Gybe ? 1 : 0;
        for (const racesim::TrueManoeuvre& t : trueBoat.Manoeuvres) {
            const auto near = [&](const Manoeuvre& m) { return std::fabs(m.MiddleSeconds - t.MiddleSeconds) <= 10; };
            if (t.AtMark && t.MiddleSeconds > 0) {
                ++s.atMarks;
                s.roundingsFound +=
                    std::any_of(boat.Manoeuvres.begin(), boat.Manoeuvres.end(),
                                [&](const Manoeuvre& m) { return m.Kind == ManoeuvreKind::Rounding && near(m); });
                s.roundingsNamed +=
                    std::any_of(boat.Manoeuvres.begin(), boat.Manoeuvres.end(), [&](const Manoeuvre& m) {
                        return (m.Kind == ManoeuvreKind::Tack || m.Kind == ManoeuvreKind::Gybe) && near(m);
                    });
            }
            if (t.Kind == "turn" || t.AtMark)
                continue;
            ++s.trueCount;
            const ManoeuvreKind kind = t.Kind == "tack" ? ManoeuvreKind::Tack : ManoeuvreKind::Gybe;
            std::size_t best = used.size();
            const auto off = [&](std::size_t i) {
                return std::fabs(boat.Manoeuvres[i].MiddleSeconds - t.MiddleSeconds);
            };
            for (std::size_t i = 0; i < boat.Manoeuvres.size(); ++i)
                if (!used[i] && boat.Manoeuvres[i].Kind == kind && off(i) <= 10 &&
                    (best == used.size() || off(i) < off(best)))
                    best = i;
            if (best == used.size())
                continue;
            used[best] = true;
            ++s.matched;
            if (kind == ManoeuvreKind::Tack) {
                losses.push_back(t.LossMetres);
                lossErrors.push_back(std::fabs(boat.Manoeuvres[best].LossMetres - t.LossMetres));
            }
        }
        // Steady stretches: from 30 s before a manoeuvre's start to 75 s after its end is not steady.
        const std::vector<MotionSample>& samples = boat.Motion.Samples;
        std::size_t j = 0;
        for (const racesim::TrueFix& f : trueBoat.Fixes) {
            bool steady = true;
            for (const racesim::TrueManoeuvre& t : trueBoat.Manoeuvres)
                steady = steady && !(f.Seconds > t.StartSeconds - 30 && f.Seconds < t.EndSeconds + 75);
            while (j < samples.size() && samples[j].Seconds < f.Seconds)
                ++j;
            if (!steady || j >= samples.size() || samples[j].Seconds != f.Seconds)
                continue;
            speedErrors.push_back(std::fabs(samples[j].SpeedKn - f.SpeedKn));
            courseErrors.push_back(std::fabs(AngleDifference(samples[j].CourseDeg, f.CourseDeg)));
        }
    }
    s.medianLoss = Percentile(losses, 0.5);
    s.medianLossError = Percentile(lossErrors, 0.5);
    s.speedError = Percentile(speedErrors, 0.99);
    s.courseError = Percentile(courseErrors, 0.99);
    return s;
}

struct RaceCase {
    const char* name;
    racesim::RaceOptions options;
};

racesim::RaceOptions Race(int seed, double windFrom, int interval)
{
    racesim::RaceOptions o;
    o.Boats = 5;
    o.Hours = 1.2;
    o.Seed = static_cast<std::uint64_t>(seed);
    o.WindFromDeg = windFrom;
    o.IntervalMin = o.IntervalMax = interval;
    return o;
}

// Logged every 1 or 2 s with metre-level noise: tacks and gybes found with recall and precision
// of 95 % or more (the middle within 10 s of the true one), the wind within 5 degrees, the
// median error of the tack losses a third of the median loss or less, and speed and course on
// steady stretches within 0.3 knots and 4 degrees.
TEST(RaceAnalysis, MeetsItsTargetsOnSimulatedRaces)
{
    std::vector<RaceCase> cases;
    cases.push_back({"1 s, jitter and wander of 2 m", Race(1, 220, 1)});
    cases.push_back({"2 s, wind from 40", Race(2, 40, 2)});
    {
        RaceCase c{"1 s, jitter of 3 m, fast boats, wind from 310", Race(3, 310, 1)};
        c.options.NoiseMetres = 3;
        c.options.DriftMetres = 0;
        c.options.SpeedScale = 1.5;
        cases.push_back(c);
    }
    {
        RaceCase c{"1 s, slow boats round a wing mark, wind from 100", Race(4, 100, 1)};
        c.options.SpeedScale = 0.6;
        c.options.WingMark = true;
        cases.push_back(c);
    }
    {
        RaceCase c{"2 s, a logger's wander of 3 m, wind from 355", Race(5, 355, 2)};
        c.options.NoiseMetres = 0.25;
        c.options.DriftMetres = 3;
        cases.push_back(c);
    }
    {
        RaceCase c{"1 s, asymmetric spinnakers gybing through 70-100 degrees, wind from 130", Race(6, 130, 1)};
        c.options.DownwindMinDeg = 35;
        c.options.DownwindMaxDeg = 50;
        cases.push_back(c);
    }
    // The wind shifting over the race, linearly or in steps of six minutes.
    const auto shifting = [&](const char* name, int seed, double from, int interval, double shift, int steps) {
        RaceCase c{name, Race(seed, from, interval)};
        c.options.Hours = 2;
        c.options.WindShiftDeg = shift;
        c.options.WindShiftSteps = steps;
        cases.push_back(c);
    };
    shifting("1 s, veering 40 degrees linearly from 200", 11, 200, 1, 40, 0);
    shifting("2 s, backing 30 degrees linearly from 15", 12, 15, 2, -30, 0);
    shifting("1 s, veering 30 degrees in three steps from 340", 13, 340, 1, 30, 3);
    shifting("1 s, backing 20 degrees in one step from 90", 14, 90, 1, -20, 1);
    for (RaceCase& c : cases) {
        TempDir dir;
        c.options.Out = dir.path();
        const racesim::TrueRace truth = racesim::WriteRace(c.options);
        const RaceAnalysis race = Analyse(truth.RaceFile.string());
        ASSERT_TRUE(race.Wind.Known) << c.name;
        EXPECT_FALSE(race.Wind.Given) << c.name;
        const Scores s = Score(truth, race);
        const std::string text = std::string(c.name) + ": " + s.Text();
        if (std::getenv("ANALYSIS_SCORES"))
            std::printf("%s\n", text.c_str());
        EXPECT_LE(s.windError, 5) << text;
        EXPECT_GE(s.Recall(), 0.95) << text;
        EXPECT_GE(s.Precision(), 0.95) << text;
        EXPECT_LE(s.medianLossError, s.medianLoss / 3) << text;
        EXPECT_LE(s.speedError, 0.3) << text;
        EXPECT_LE(s.courseError, 4) << text;
        EXPECT_EQ(race.Wind.Tacks + race.Wind.Gybes > 3 * static_cast<int>(truth.Boats.size()), true) << text;
        // Without a course the roundings are told from the wind: those that end a beat or a run
        // never a tack or a gybe, and most of them found (a gybe at a wing mark, between a
        // reach and a run, stays a gybe).
        if (!c.options.WingMark) {
            EXPECT_EQ(s.roundingsNamed, 0) << text;
            EXPECT_GE(s.roundingsFound, 0.5 * s.atMarks) << text;
        }
    }
}

// Logs 5 to 7 s apart with a tenth of the fixes lost, as phone apps write them: most tacks and
// gybes are still found, and the wind within 15 degrees.
TEST(RaceAnalysis, FindsMostManoeuvresInSparseLogs)
{
    for (const double windFrom : {170.0, 20.0}) {
        TempDir dir;
        racesim::RaceOptions o = Race(windFrom > 100 ? 7 : 8, windFrom, 5);
        o.IntervalMax = 7;
        o.LostShare = 0.1;
        o.NoiseMetres = 2;
        o.DriftMetres = 3;
        o.Out = dir.path();
        const racesim::TrueRace truth = racesim::WriteRace(o);
        const Scores s = Score(truth, Analyse(truth.RaceFile.string()));
        EXPECT_LE(s.windError, 15) << s.Text();
        EXPECT_GE(s.Recall(), 0.8) << s.Text();
        EXPECT_GE(s.Precision(), 0.9) << s.Text();
    }
}

// With fewer than three tacks and gybes in the race there is no estimate, whatever the turns;
// a wind given is taken as it is, and its tacks and gybes counted.
TEST(RaceAnalysis, EstimatesNoWindFromTooFewTacksAndGybes)
{
    TempDir dir;
    racesim::RaceOptions o = Race(1, 130, 1);
    o.Boats = 1;
    o.Hours = 0.15;
    o.BeatNm = 0.3;
    o.Out = dir.path();
    const racesim::TrueRace truth = racesim::WriteRace(o);
    int tacksAndGybes = 0;
    for (const racesim::TrueManoeuvre& m : truth.Boats[0].Manoeuvres)
        tacksAndGybes += m.Kind != "turn" && !m.AtMark ? 1 : 0;
    ASSERT_LT(tacksAndGybes, 3) << "the simulated race should have fewer than three tacks and gybes";
    RaceAnalysis race = Analyse(truth.RaceFile.string());
    EXPECT_FALSE(race.Wind.Known);
    for (const Manoeuvre& m : race.Boats[0].Manoeuvres)
        EXPECT_EQ(m.Kind, ManoeuvreKind::Turn) << m.MiddleSeconds;
    EXPECT_EQ(race.Boats[0].Summary.Tacks + race.Boats[0].Summary.Gybes, 0);

    SetWind(race, 130.0);
    EXPECT_TRUE(race.Wind.Known && race.Wind.Given);
    EXPECT_EQ(race.Wind.FromDeg, 130.0);
    EXPECT_EQ(race.Wind.Tacks + race.Wind.Gybes, tacksAndGybes);
    for (const Manoeuvre& m : race.Boats[0].Manoeuvres)
        EXPECT_EQ(std::isfinite(m.LossMetres), m.Kind == ManoeuvreKind::Tack || m.Kind == ManoeuvreKind::Gybe)
            << m.MiddleSeconds;
    EXPECT_GT(race.Boats[0].Summary.PortSeconds + race.Boats[0].Summary.StarboardSeconds, 0.9 * 0.15 * 3600);
}

bool SameSamples(const std::vector<MotionSample>& a, const std::vector<MotionSample>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MotionSample& x, const MotionSample& y) {
        return x.Seconds == y.Seconds && x.Lat7 == y.Lat7 && x.Lon7 == y.Lon7 &&
               (x.SpeedKn == y.SpeedKn || (std::isnan(x.SpeedKn) && std::isnan(y.SpeedKn))) &&
               (x.CourseDeg == y.CourseDeg || (std::isnan(x.CourseDeg) && std::isnan(y.CourseDeg)));
    });
}

// The boats are analysed on as many threads as asked, with the same result; a cancel stops it.
// Memory stays bounded: the result keeps no more samples than it is given, the same turns
// found from every fix; a track longer than a boat may have is refused, naming it.
TEST(RaceAnalysis, SameOnAnyNumberOfThreadsCancelsAndKeepsWhatItIsGiven)
{
    TempDir dir;
    racesim::RaceOptions o = Race(9, 250, 2);
    o.Hours = 0.5;
    o.Out = dir.path();
    const racesim::TrueRace truth = racesim::WriteRace(o);
    AnalysisOptions one, four;
    one.Threads = 1;
    four.Threads = 4;
    const RaceAnalysis a = Analyse(truth.RaceFile.string(), one);
    const RaceAnalysis b = Analyse(truth.RaceFile.string(), four);
    EXPECT_EQ(a.Wind.FromDeg, b.Wind.FromDeg);
    ASSERT_EQ(a.Boats.size(), b.Boats.size());
    for (std::size_t k = 0; k < a.Boats.size(); ++k) {
        EXPECT_TRUE(SameSamples(a.Boats[k].Motion.Samples, b.Boats[k].Motion.Samples)) << k;
        ASSERT_EQ(a.Boats[k].Manoeuvres.size(), b.Boats[k].Manoeuvres.size()) << k;
        for (std::size_t i = 0; i < a.Boats[k].Manoeuvres.size(); ++i)
            EXPECT_EQ(a.Boats[k].Manoeuvres[i].MiddleSeconds, b.Boats[k].Manoeuvres[i].MiddleSeconds) << k;
    }
    // Without the gap over time (as the web page asks) the rest is the same to the byte.
    AnalysisOptions noGaps;
    noGaps.GapOverTime = false;
    const RaceAnalysis d = Analyse(truth.RaceFile.string(), noGaps);
    RaceAnalysis gapsLeftOut = a;
    gapsLeftOut.GapFirstTime = gapsLeftOut.GapStepSeconds = 0;
    bool anyGap = false;
    for (BoatAnalysis& boat : gapsLeftOut.Boats) {
        anyGap = anyGap || !boat.GapSeconds.empty();
        boat.GapSeconds.clear();
    }
    EXPECT_TRUE(anyGap);
    for (const BoatAnalysis& boat : d.Boats)
        EXPECT_TRUE(boat.GapSeconds.empty());
    EXPECT_EQ(AnalysisJson(d), AnalysisJson(gapsLeftOut));

    std::atomic<bool> cancel{true};
    AnalysisOptions cancelled;
    cancelled.Cancel = &cancel;
    EXPECT_THROW(Analyse(truth.RaceFile.string(), cancelled), AnalysisCancelled);

    AnalysisOptions frugal;
    frugal.MostSamplesKept = a.Boats.size() * 200;
    const RaceAnalysis c = Analyse(truth.RaceFile.string(), frugal);
    for (std::size_t k = 0; k < a.Boats.size(); ++k) {
        const std::vector<MotionSample>&all = a.Boats[k].Motion.Samples, &kept = c.Boats[k].Motion.Samples;
        ASSERT_LE(kept.size(), 200u) << k;
        ASSERT_GT(c.Boats[k].Motion.KeptEvery, 1) << k;
        EXPECT_EQ(kept.front().Seconds, all.front().Seconds);
        EXPECT_EQ(kept.back().Seconds, all.back().Seconds);
        EXPECT_EQ(kept[1].Seconds, all[static_cast<std::size_t>(c.Boats[k].Motion.KeptEvery)].Seconds);
        ASSERT_EQ(a.Boats[k].Manoeuvres.size(), c.Boats[k].Manoeuvres.size()) << k;
        for (std::size_t i = 0; i < a.Boats[k].Manoeuvres.size(); ++i) {
            const Manoeuvre &m = a.Boats[k].Manoeuvres[i], &n = c.Boats[k].Manoeuvres[i];
            EXPECT_EQ(m.Kind, n.Kind);
            EXPECT_EQ(m.MiddleSeconds, n.MiddleSeconds);
            EXPECT_LT(std::hypot(m.Lat - n.Lat, (m.Lon - n.Lon) * std::cos(m.Lat * 3.14159265358979 / 180)),
                      20.0 / 1852 / 60)
                << "within 20 m, told from the fixes kept";
        }
    }
    EXPECT_EQ(c.Wind.FromDeg, a.Wind.FromDeg);

    RaceState state;
    state.RaceFileName = truth.RaceFile.string();
    StartReplay(state);
    const BoatSource boat = BoatSources(state).front();
    CloseTrackFiles(state);
    try {
        TrackAnalysisOptions few;
        few.MostFixes = 100;
        TrackReading reading;
        AnalyseTrack(boat.TrackPath, boat.Sep, boat.StartTime, few, reading);
        ADD_FAILURE() << "a track longer than a boat may have was read";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("more than 100 fixes"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(std::filesystem::path(boat.TrackPath).filename().string()),
                  std::string::npos)
            << e.what();
    }
}

// Tracks at the edges: none, one or two fixes, a gap, the 180th meridian, time going back
// (fixes that jump: trackfaults_test.cpp).
TEST(RaceAnalysis, TracksAtTheEdges)
{
    // A boat sailing east at 5 knots from 60 s before its start, one fix a second.
    const auto eastward = [](double lon0, int from, int to, int step = 1) {
        std::vector<std::string> lines{"lat,lon,date,time"};
        for (int t = from; t <= to; t += step) {
            const double metres = 5 * kMetresPerKnotSecond * (t + 60);
            double lon = lon0 + metres / (60 * 1852.0 * std::cos(60 * 3.14159265358979323846 / 180));
            if (lon > 180)
                lon -= 360;
            char line[96];
            std::snprintf(line, sizeof line, "60.0000000,%.7f,20080621,%s", lon, testing::Hms(39600 + t).c_str());
            lines.push_back(line);
        }
        return lines;
    };
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::size_t samples;
        long passedOver;
    };
    std::vector<Case> cases{
        {"no fix", {"lat,lon,date,time"}, 0, 0},
        {"one fix", eastward(11, 0, 0), 1, 0},
        {"two fixes", eastward(11, 0, 1), 2, 0},
        {"across the 180th meridian", eastward(179.99, -60, 600), 661, 0},
        {"a gap of five minutes", eastward(11, -60, 200), 261, 0},
    };
    {
        std::vector<std::string> gap = eastward(11, -60, 100);
        const std::vector<std::string> later = eastward(11, 400, 700);
        gap.insert(gap.end(), later.begin() + 1, later.end());
        cases[4].lines = gap;
        cases[4].samples = gap.size() - 1;
    }
    {
        std::vector<std::string> back = eastward(11, -60, 300);
        back.insert(back.begin() + 101, back[50]); // a fix 50 s back in time
        back.insert(back.begin() + 102, back[51]);
        cases.push_back({"time going back", back, 361, 2});
    }
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("boat.txt", c.lines);
        const std::string race = dir.write("race.TP1", {"boat.txt , 2008-06-21 11:00:00 , 1.05 , 0 , ,"});
        RaceAnalysis analysis;
        ASSERT_NO_THROW(analysis = Analyse(race)) << c.name;
        const BoatAnalysis& boat = analysis.Boats.at(0);
        EXPECT_EQ(boat.Motion.Samples.size(), c.samples) << c.name;
        EXPECT_EQ(boat.Reading.PassedOver, c.passedOver) << c.name;
        EXPECT_FALSE(analysis.Wind.Known) << c.name;
        EXPECT_TRUE(boat.Manoeuvres.empty()) << c.name;
        for (const MotionSample& s : boat.Motion.Samples) {
            if (c.samples < 2) {
                EXPECT_TRUE(std::isnan(s.SpeedKn)) << c.name;
                continue;
            }
            EXPECT_NEAR(s.SpeedKn, 5, 0.01) << c.name << " at " << s.Seconds;
            EXPECT_NEAR(s.CourseDeg, 90, 0.1) << c.name << " at " << s.Seconds;
        }
        if (c.samples > 100) {
            EXPECT_NEAR(boat.Summary.DistanceNm / (boat.Motion.SailingSeconds / 3600), 5, 0.01) << c.name;
        }
    }
}

} // namespace
} // namespace tideplot
