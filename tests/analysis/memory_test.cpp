// The analysis's memory follows the race, not the length of its tracks: the heap this test
// binary takes is counted by its own operator new.
#include "analysis/analysisfiles.h"
#include "analysis/raceanalysis.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/replay.h"
#include "racesim.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long long> gLiveBytes{0};
std::atomic<long long> gPeakBytes{0};

void CountBytes(long long bytes)
{
    const long long live = gLiveBytes += bytes;
    long long peak = gPeakBytes.load();
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
    }
}

} // namespace

void* operator new(std::size_t size)
{
    void* p = std::malloc(size > 0 ? size : 1);
    if (!p)
        throw std::bad_alloc();
    CountBytes(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

void operator delete(void* p) noexcept
{
    if (!p)
        return;
    CountBytes(-static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}

// The nothrow form too (std::stable_sort's buffer takes it), so that every block the plain
// delete frees came from this malloc.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(size > 0 ? size : 1);
    if (p)
        CountBytes(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    operator delete(p);
}

namespace tideplot {
namespace {

using testing::TempDir;

constexpr double kPi = 3.14159265358979323846;

std::vector<BoatSource> Boats(const std::string& raceFile)
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return boats;
}

// A boat reaching to and fro at 5 knots, 40 and 140 degrees in turn every five minutes, one
// fix a second for `seconds` from 2008-06-01 00:00.
std::string ZigzagTrack(int seconds)
{
    std::string text = "lat,lon,date,time\r\n";
    double east = 0, north = 0;
    for (int t = 0; t < seconds; ++t) {
        const double course = (t / 300 % 2 == 0 ? 40 : 140) * kPi / 180;
        east += 5 * kMetresPerKnotSecond * std::sin(course);
        north += 5 * kMetresPerKnotSecond * std::cos(course);
        char line[96];
        std::snprintf(line, sizeof line, "%.7f,%.7f,200806%02d,%02d%02d%02d\r\n", 57 + north / (60 * 1852.0),
                      11 + east / (60 * 1852.0 * std::cos(57 * kPi / 180)), 1 + t / 86400, t / 3600 % 24, t / 60 % 60,
                      t % 60);
        text += line;
    }
    return text;
}

// The most heap the analysis of the race takes at once, on one thread, keeping 10,000
// samples a boat.
long long PeakBytes(const std::vector<BoatSource>& boats)
{
    AnalysisOptions options;
    options.Threads = 1;
    options.MostSamplesKept = 10000 * boats.size();
    gPeakBytes = gLiveBytes.load();
    const long long before = gLiveBytes.load();
    const RaceAnalysis race = AnalyseRace(boats, options);
    EXPECT_EQ(race.Boats.size(), boats.size());
    return gPeakBytes.load() - before;
}

// A race of three entries of a track of 360,000 fixes (four days logged every second) takes
// no more memory than one of 120,000: pieces of the tracks at a time, and the samples kept,
// within 30 MB.
TEST(AnalysisMemory, FollowsTheRaceNotTheLengthOfItsTracks)
{
    TempDir dir;
    dir.writeBytes("short.txt", ZigzagTrack(120000));
    dir.writeBytes("long.txt", ZigzagTrack(360000));
    const std::string entry = " , 2008-06-01 00:10:00 , 1 , 0 , ,";
    const long long one = PeakBytes(Boats(dir.write("short.TP1", {"short.txt" + entry})));
    const long long three =
        PeakBytes(Boats(dir.write("long.TP1", {"long.txt" + entry, "long.txt" + entry, "long.txt" + entry})));
    EXPECT_LT(three, one * 5 / 4) << "one entry of 120,000 fixes: " << one << " bytes; three of 360,000: " << three;
    EXPECT_LT(three, 30 << 20) << three << " bytes";
}

// A boat with more turns than its share of what the race keeps is refused, naming its track.
TEST(AnalysisMemory, ATrackWithMoreTurnsThanItsShareIsRefused)
{
    TempDir dir;
    const std::string track = dir.writeBytes("zigzag.txt", ZigzagTrack(6 * 3600));
    TrackAnalysisOptions options;
    options.MostTurns = 50;
    TrackReading reading;
    EXPECT_GT(AnalyseTrack(track, ',', DateValueFromText("2008-06-01 00:10:00"), {}, reading).Turns.size(), 50u);
    try {
        AnalyseTrack(track, ',', DateValueFromText("2008-06-01 00:10:00"), options, reading);
        ADD_FAILURE() << "a track of more than 50 turns taken where 50 are kept";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("zigzag.txt: the track has more than 50 turns"), std::string::npos)
            << e.what();
    }
}

// A race whose result keeps only every n-th fix still writes every fix to the series, with
// the numbers of a result that kept them all.
TEST(AnalysisMemory, SeriesOfAThinnedRaceHasEveryFix)
{
    TempDir dir;
    racesim::RaceOptions o;
    o.Boats = 3;
    o.Hours = 0.5;
    o.Seed = 4;
    o.Out = dir.path();
    const std::vector<BoatSource> boats = Boats(racesim::WriteRace(o).RaceFile.string());
    AnalysisOptions all, few;
    all.MostSamplesKept = 0;
    few.MostSamplesKept = 3 * 300;
    const RaceAnalysis every = AnalyseRace(boats, all), thinned = AnalyseRace(boats, few);
    ASSERT_GT(thinned.Boats[0].Motion.KeptEvery, 1);
    std::string a, b;
    WriteSeriesCsv(every, [&a](std::string_view piece) { a += piece; });
    WriteSeriesCsv(thinned, [&b](std::string_view piece) { b += piece; });
    EXPECT_GT(std::count(a.begin(), a.end(), '\n'), 3 * 1800);
    EXPECT_TRUE(a == b) << a.size() << " bytes of every fix against " << b.size() << " of the thinned race";
}

// A track analysed in pieces of 2,000 fixes is the track analysed whole: the same turns, the
// same speeds and courses, the same distance.
TEST(AnalysisMemory, ATrackInPiecesIsTheTrackWhole)
{
    TempDir dir;
    racesim::RaceOptions o;
    o.Boats = 1;
    o.Hours = 2.5;
    o.Seed = 7;
    o.WingMark = true;
    o.Out = dir.path();
    const BoatSource boat = Boats(racesim::WriteRace(o).RaceFile.string()).at(0);
    TrackAnalysisOptions pieces;
    pieces.PieceFixes = 2000;
    TrackReading reading;
    const BoatMotion whole = AnalyseTrack(boat.TrackPath, boat.Sep, boat.StartTime, {}, reading);
    const BoatMotion pieced = AnalyseTrack(boat.TrackPath, boat.Sep, boat.StartTime, pieces, reading);
    ASSERT_GT(whole.Samples.size(), 4 * pieces.PieceFixes);
    EXPECT_NEAR(pieced.Character.NoiseMetres, whole.Character.NoiseMetres, 1e-9);
    ASSERT_EQ(pieced.Turns.size(), whole.Turns.size());
    for (std::size_t i = 0; i < whole.Turns.size(); ++i) {
        EXPECT_NEAR(pieced.Turns[i].StartSeconds, whole.Turns[i].StartSeconds, 1e-6) << i;
        EXPECT_NEAR(pieced.Turns[i].TurnDeg, whole.Turns[i].TurnDeg, 1e-6) << i;
        EXPECT_NEAR(pieced.Turns[i].ShortfallEast, whole.Turns[i].ShortfallEast, 1e-6) << i;
    }
    ASSERT_EQ(pieced.Samples.size(), whole.Samples.size());
    for (std::size_t i = 0; i < whole.Samples.size(); ++i) {
        const MotionSample &p = pieced.Samples[i], &w = whole.Samples[i];
        ASSERT_EQ(std::isnan(p.SpeedKn), std::isnan(w.SpeedKn)) << w.Seconds;
        if (std::isnan(w.SpeedKn))
            continue;
        ASSERT_NEAR(p.SpeedKn, w.SpeedKn, 1e-4) << w.Seconds;
        ASSERT_NEAR(AngleDifference(p.CourseDeg, w.CourseDeg), 0, 1e-3) << w.Seconds;
    }
    EXPECT_NEAR(pieced.DistanceNm, whole.DistanceNm, 1e-6);
    EXPECT_EQ(pieced.SailingSeconds, whole.SailingSeconds);
}

} // namespace
} // namespace tideplot
