// The results from a finish line: the crossing geometry, a race of hand-checked crossings,
// the ranking and the CSV, and the input that is refused.
#include "core/courseprogress.h"
#include "core/error.h"
#include "core/replay.h"
#include "core/results.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>

#include <sys/stat.h>

namespace tideplot {
namespace {

using testing::Hms;
using testing::TempDir;

// The finish line of these tests: 1.2 miles along the meridian 11.5 E, laid northwards, so
// boats finish sailing from west (left) to east (right).
const FinishLine kLine{57.60, 11.50, 57.62, 11.50};

std::string Text(const std::optional<double>& value)
{
    return value ? std::to_string(*value) : "none";
}

TEST(FinishLineGeometry, CrossesOnlyFromLeftToRightWithinTheSegment)
{
    struct Case {
        const char* what;
        FinishLine line;
        double lat0, lon0, lat1, lon1;
        std::optional<double> fraction;
    };
    const FinishLine antimeridian{10.0, -180, 10.1, 180}; // north along 180 degrees
    const FinishLine greenwich{10.0, 0, 10.1, 0};
    const Case cases[] = {
        {"left to right, halfway", kLine, 57.61, 11.499, 57.61, 11.501, 0.5},
        {"right to left (the start)", kLine, 57.61, 11.501, 57.61, 11.499, std::nullopt},
        {"left to a fix on the line", kLine, 57.61, 11.499, 57.61, 11.5, 1.0},
        {"from a fix on the line to the right", kLine, 57.61, 11.5, 57.61, 11.501, std::nullopt},
        {"along the line", kLine, 57.605, 11.5, 57.615, 11.5, std::nullopt},
        {"left to right past the end P2", kLine, 57.63, 11.499, 57.63, 11.501, std::nullopt},
        {"left to right past the end P1", kLine, 57.59, 11.499, 57.59, 11.501, std::nullopt},
        {"left onto the end P2", kLine, 57.62, 11.499, 57.62, 11.5, 1.0},
        {"left to right, a quarter of the way", kLine, 57.61, 11.4995, 57.61, 11.5015, 0.25},
        {"across the 180th meridian eastwards", antimeridian, 10.05, 179.999, 10.05, -179.999, 0.5},
        {"across the 180th meridian westwards", antimeridian, 10.05, -179.999, 10.05, 179.999, std::nullopt},
        {"a short step across 180 degrees, far from a line at 0", greenwich, 10.05, -179.999, 10.05, 179.999,
         std::nullopt},
    };
    for (const Case& c : cases) {
        const FinishLineGeometry geometry(c.line);
        const auto fraction = geometry.CrossingFraction(c.lat0, c.lon0, c.lat1, c.lon1);
        ASSERT_EQ(fraction.has_value(), c.fraction.has_value()) << c.what << ": " << Text(fraction);
        if (fraction) {
            EXPECT_NEAR(*fraction, *c.fraction, 1e-9) << c.what;
        }
    }
}

TEST(FinishLineGeometry, SidesDistancesAndTimes)
{
    const FinishLineGeometry line(kLine);
    EXPECT_EQ(line.Side(57.61, 11.49), 1);
    EXPECT_EQ(line.Side(57.61, 11.51), -1);
    EXPECT_EQ(line.Side(57.70, 11.50), 0); // on the line's direction, beyond its end

    struct Case {
        double lat, lon, nm;
    };
    const double west = 60 * 0.01 * std::cos(57.61 * std::numbers::pi / 180); // 0.01 degrees of longitude at 57.61 N
    const Case cases[] = {
        {57.61, 11.50, 0},
        {57.61, 11.49, west},
        {57.63, 11.50, 0.6},
        {57.59, 11.50, 0.6},
        {57.62, 11.51, 60 * 0.01 * std::cos(57.62 * std::numbers::pi / 180)}, // level with P2, east of it
        {57.63, 11.51, 60 * std::hypot(0.01, 0.01 * std::cos(57.625 * std::numbers::pi / 180))}, // north-east of P2
    };
    for (const Case& c : cases)
        EXPECT_NEAR(line.DistanceNm(c.lat, c.lon), c.nm, 1e-9) << c.lat << " " << c.lon;

    // Times: the crossing interpolated, and only after `after`.
    const TimedPosition left{57.61, 11.499, -10}, right{57.61, 11.501, 10}, rightLater{57.61, 11.501, 30};
    EXPECT_EQ(Text(line.CrossingTime(left, right, -100)), Text(0.0));
    EXPECT_EQ(Text(line.CrossingTime(left, right, 0)), "none"); // at the gun: the start, no finish
    EXPECT_EQ(Text(line.CrossingTime(left, rightLater, 0)), Text(10.0));
    EXPECT_EQ(Text(line.CrossingTime(right, left, -100)), "none");
}

// The live check on the race clock with a finish line alone: a crossing at or before race
// clock 0 is no finish, a lost position breaks the piece, and a finished boat stays finished.
TEST(CourseWatch, FinishLineAloneFinishesAtTheFirstCrossingAfterTheGun)
{
    const double second = 1.0 / 86400;
    Course course;
    course.Finish = kLine;
    CourseWatch watch(std::make_shared<const CourseGeometry>(course), 2);
    EXPECT_FALSE(watch.Observe(0, 57.61, 11.499, -10 * second));
    EXPECT_FALSE(watch.Observe(0, 57.61, 11.501, 10 * second)); // crossed at race clock 0
    EXPECT_FALSE(watch.Observe(0, 57.61, 11.499, 20 * second)); // the wrong way
    EXPECT_TRUE(watch.Observe(0, 57.61, 11.501, 40 * second));
    EXPECT_TRUE(watch.Finished(0));
    EXPECT_NEAR(watch.FinishRaceClock(0) / second, 30, 1e-6);
    EXPECT_FALSE(watch.Observe(0, 57.61, 11.499, 50 * second));
    EXPECT_FALSE(watch.Observe(0, 57.61, 11.501, 60 * second));
    EXPECT_NEAR(watch.FinishRaceClock(0) / second, 30, 1e-6);

    EXPECT_LT(watch.DistanceNm(1), 0);
    EXPECT_FALSE(watch.Observe(1, 57.61, 11.499, 10 * second));
    watch.NoPosition(1);
    EXPECT_FALSE(watch.Observe(1, 57.61, 11.501, 20 * second));
    EXPECT_FALSE(watch.Finished(1));
    EXPECT_NEAR(watch.DistanceNm(1), 60 * 0.001 * std::cos(57.61 * std::numbers::pi / 180), 1e-9);

    watch.Reset();
    EXPECT_FALSE(watch.Finished(0));
    EXPECT_LT(watch.DistanceNm(0), 0);
}

// A track line at `seconds` after 12:00 on 2008-06-21.
std::string Fix(double lat, double lon, int seconds)
{
    char line[96];
    std::snprintf(line, sizeof line, "%.7f,%.7f,20080621,%s", lat, lon, Hms(12 * 3600 + seconds).c_str());
    return line;
}
std::string Fix(double lon, int seconds)
{
    return Fix(57.61, lon, seconds);
}

// Seconds after 12:00 of hh:mm:ss.
constexpr int At(int h, int m, int s)
{
    return (h - 12) * 3600 + m * 60 + s;
}

// A race of seven boats, each with one rule to keep, their crossings worked out by hand
// (the line is kLine: west of 11.5 E is its left).
class RaceOfRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string header = "lat,lon,date,time";
        // Starts on the finish line the wrong way (east to west, at 12:00:00), finishes
        // halfway between 13:00:00 and 13:00:10.
        dir.write("wrongway.txt", {header, Fix(11.501, -10), Fix(11.499, 10), Fix(11.49, At(12, 30, 0)),
                                   Fix(11.499, At(13, 0, 0)), Fix(11.501, At(13, 0, 10))});
        // Starts at 12:10: crosses the right way at 12:00:10 and at 12:09:55 (on a piece that
        // ends after its start, a quarter of the way along it), both before its start; finishes
        // at 13:20:10.
        dir.write("early.txt", {header, Fix(11.499, 0), Fix(11.501, 20), Fix(11.499, At(12, 5, 0)),
                                Fix(11.4995, At(12, 9, 50)), Fix(11.5015, At(12, 10, 10)), Fix(11.499, At(12, 30, 0)),
                                Fix(11.499, At(13, 20, 0)), Fix(11.501, At(13, 20, 20))});
        // Passes the line's northern end on its left-to-right way: did not finish.
        dir.write("dnf.txt", {header, Fix(11.49, 0), Fix(57.63, 11.49, At(13, 0, 0)), Fix(57.63, 11.51, At(13, 0, 10)),
                              Fix(11.51, At(13, 10, 0))});
        // 0:50:00.25 at LYS 1.2: corrected 1:00:00.3, the same second as tie1's 1:00:00.
        dir.write("tie2.txt", {header, Fix(11.49, 0), Fix(11.4999, At(12, 50, 0)), Fix(11.5039, At(12, 50, 10))});
        // Reaches the line at a fix at 13:00:00 and leaves it eastwards.
        dir.write("tie1.txt", {header, Fix(11.49, 0), Fix(11.499, At(12, 59, 50)), Fix(11.5, At(13, 0, 0)),
                               Fix(11.501, At(13, 0, 10))});
        // The fixes either side of the line hold a line without a fix between them.
        dir.write("latzero.txt", {header, Fix(11.49, 0), Fix(11.499, At(12, 59, 50)),
                                  "0.0000000,11.5000000,20080621,130000", Fix(11.501, At(13, 0, 10))});
        // A repeat of 12:40:00 east of the line is passed over: the crossing lies between
        // 12:40:00 and 12:40:40.
        dir.write("repeat.txt", {header, Fix(11.49, 0), Fix(11.499, At(12, 40, 0)), Fix(11.502, At(12, 40, 0)),
                                 Fix(11.501, At(12, 40, 40))});
        race = dir.write("race.TP1", {
                                         "wrongway.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,",
                                         "early.txt , 2008-06-21 12:10:00 , 1 , 0 , ,",
                                         "dnf.txt , 2008-06-21 12:00:00 , 1.0 , 0 , ,",
                                         "tie2.txt , 2008-06-21 12:00:00 , 1.2 , 0 , ,",
                                         "tie1.txt , 2008-06-21 12:00:00 , 1.0 , 0 , ,",
                                         "latzero.txt , 2008-06-21 12:00:00 , 1.1 , 0 , ,",
                                         "repeat.txt   , 2008-06-21 12:00:00 , 1.05 , 0 , ,",
                                     });
    }
    TempDir dir;
    std::string race;
};

TEST_F(RaceOfRules, ResultsTable)
{
    const std::vector<BoatResult> results = RaceResults(race, kLine);
    struct Row {
        std::array<std::string, 9> texts;
        double elapsedSeconds;
    };
    const Row expected[] = {
        {{"1", "repeat.txt", "1.05", "2008-06-21 12:00:00", "2008-06-21 12:40:20", "0:40:20", "0:42:21", "repeat.txt",
          "finished"},
         2420},
        {{"2", "tie2.txt", "1.2", "2008-06-21 12:00:00", "2008-06-21 12:50:00", "0:50:00", "1:00:00", "tie2.txt",
          "finished"},
         3000.25},
        {{"2", "tie1.txt", "1", "2008-06-21 12:00:00", "2008-06-21 13:00:00", "1:00:00", "1:00:00", "tie1.txt",
          "finished"},
         3600},
        {{"4", "wrongway.txt", "1", "2008-06-21 12:00:00", "2008-06-21 13:00:05", "1:00:05", "1:00:05", "wrongway.txt",
          "finished"},
         3605},
        {{"5", "latzero.txt", "1.1", "2008-06-21 12:00:00", "2008-06-21 13:00:00", "1:00:00", "1:06:00", "latzero.txt",
          "finished"},
         3600},
        {{"6", "early.txt", "1", "2008-06-21 12:10:00", "2008-06-21 13:20:10", "1:10:10", "1:10:10", "early.txt",
          "finished"},
         4210},
        {{"", "dnf.txt", "1", "2008-06-21 12:00:00", "DNF", "DNF", "DNF", "dnf.txt", "DNF"}, 0},
    };
    ASSERT_EQ(results.size(), std::size(expected));
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(ResultTexts(results[i]), expected[i].texts) << "row " << i << ": " << results[i].Boat;
        EXPECT_NEAR(results[i].ElapsedSeconds, expected[i].elapsedSeconds, 1e-6) << results[i].Boat;
        EXPECT_NEAR(results[i].CorrectedSeconds, expected[i].elapsedSeconds * results[i].Lys, 1e-6) << results[i].Boat;
        EXPECT_EQ(results[i].Rank, i + 1 == std::size(expected) ? 0 : std::stoi(expected[i].texts[0]));
    }
    EXPECT_EQ(results[0].EntryLine, 7);
    EXPECT_EQ(results[0].Name, "repeat.txt");
}

TEST_F(RaceOfRules, Csv)
{
    std::vector<BoatResult> results = RaceResults(race, kLine);
    results.resize(2);
    results.push_back(results.back());
    results.back() = BoatResult{};
    results.back().Name = "Saga \"II\", Öckerö"; // a comma and quotes: quoted
    results.back().Boat = "boats/saga.txt";
    results.back().Lys = 1.05;
    results.back().StartTime = results[0].StartTime;
    EXPECT_EQ(ResultsCsv(results),
              "rank,boat,lys,start,finish,elapsed,corrected,file,status\r\n"
              "1,repeat.txt,1.05,2008-06-21 12:00:00,2008-06-21 12:40:20,0:40:20,0:42:21,repeat.txt,finished\r\n"
              "2,tie2.txt,1.2,2008-06-21 12:00:00,2008-06-21 12:50:00,0:50:00,1:00:00,tie2.txt,finished\r\n"
              ",\"Saga \"\"II\"\", Öckerö\",1.05,2008-06-21 12:00:00,DNF,DNF,DNF,boats/saga.txt,DNF\r\n");
    results.back().Name = "\xD6"
                          "cker\xF6"; // Latin-1 bytes: written as UTF-8
    EXPECT_EQ(ResultTexts(results.back())[1], "Öckerö");
}

// Times are kept to the tenth of a second and shown to the second by one rule: the nearest
// tenth, then the nearest second of it; gaps are the difference of the times shown, and ranks
// are shared by the times that show the same second.
TEST(Results, TimesShowTheirTenthRoundedToTheSecond)
{
    const std::pair<double, const char*> times[] = {
        {0, "0:00:00"},         {59.44, "0:00:59"},    {59.45, "0:01:00"},     {59.6, "0:01:00"},
        {4001, "1:06:41"},      {97200, "27:00:00"},   {-0.04, "0:00:00"},     {-59.45, "-0:01:00"},
        {3070.4499, "0:51:10"}, {3070.451, "0:51:11"}, {3070.6990, "0:51:11"},
    };
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(DurationText(seconds), text) << seconds;

    const struct {
        double ahead, behind;
        const char* gap;
    } gaps[] = {{3052.049, 3070.699, "+0:00:19"}, {10.46, 20.44, "+0:00:09"}, {10.44, 20.46, "+0:00:11"}};
    for (const auto& g : gaps)
        EXPECT_EQ(GapDurationText(g.ahead, g.behind), g.gap) << g.ahead << " to " << g.behind;

    const struct {
        double first, second;
        int secondRank;
    } ranks[] = {{100.46, 100.96, 1}, {100.44, 100.96, 2}, {100.96, 100.46, 1}};
    for (const auto& r : ranks) {
        std::vector<BoatResult> results(2);
        for (BoatResult& result : results)
            result.Finished = true;
        results[0].CorrectedSeconds = r.first;
        results[1].CorrectedSeconds = r.second;
        RankResults(results);
        EXPECT_EQ(results[0].Rank, 1) << r.first << " and " << r.second;
        EXPECT_EQ(results[1].Rank, r.secondRank) << r.first << " and " << r.second;
    }
}

TEST(Results, RefusedInput)
{
    TempDir dir;
    const std::string header = "lat,lon,date,time";
    dir.write("a.txt", {header, Fix(11.49, 0)});
    dir.writeBytes("log.txt", "<?xml version=\"1.0\"?>\r\n<gpx>\r\n");
    dir.writeBytes("empty.txt", "");
    std::vector<std::string> fleet(64, "a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,");
    dir.write("fleet64.TP1", fleet);
    fleet.push_back(fleet.back());
    dir.write("fleet65.TP1", fleet);
    dir.write("badentry.TP1", {"a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,", "a.txt , 21.6.2008 12:00 , 1 , 0 , ,"});
    dir.write("notrack.TP1", {"a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,", "gone.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("log.TP1", {"log.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("empty.TP1", {"empty.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.writeBytes("none.TP1", "");

    EXPECT_EQ(RaceResults(dir.file("fleet64.TP1"), kLine).size(), 64u);
    struct Case {
        std::string race;
        FinishLine line;
        std::string message;
    };
    const Case cases[] = {
        {"fleet65.TP1", kLine, "fleet65.TP1, line 65: a 65th boat entry; a race can replay at most 64 boats"},
        {"badentry.TP1", kLine, "badentry.TP1, line 2: the start time \"21.6.2008 12:00\" is not a valid date"},
        {"notrack.TP1", kLine, "notrack.TP1, line 2: the track file"},
        {"log.TP1", kLine, "log.TP1, line 1: the track file"},
        {"empty.TP1", kLine, "is empty"},
        {"none.TP1", kLine, "none.TP1 holds no boat entry"},
        {"missing.TP1", kLine, "the race file cannot be read"},
        {"fleet64.TP1", FinishLine{57.6, 11.5, 57.6, 11.5}, "the finish line has zero length"},
        {"fleet64.TP1", FinishLine{57.6, 11.5, 57.6, 11.500005}, "the finish line has zero length"}, // 0.3 m
        {"fleet64.TP1", FinishLine{90, 0, 90, 90}, "the finish line has zero length"},               // the pole
        {"fleet64.TP1", FinishLine{57.6, 11.5, 90.5, 11.5}, "the finish line's P2 latitude 90.5 is off the globe"},
        {"fleet64.TP1", FinishLine{57.6, -180.5, 57.6, 11.5}, "the finish line's P1 longitude -180.5 is off the globe"},
        {"fleet64.TP1", FinishLine{NAN, 11.5, 57.6, 11.5}, "the finish line's P1 latitude is not a number"},
    };
    for (const Case& c : cases) {
        try {
            RaceResults(dir.file(c.race), c.line);
            ADD_FAILURE() << c.race << ": no error, expected " << c.message;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.race << ": " << e.what() << "\nexpected: " << c.message;
        }
    }
}

// The replay's whole verdict on a race, "" when it replays to the end.
std::string ReplayVerdict(const std::string& race)
{
    RaceState state;
    state.RaceFileName = race;
    state.RaceClock = kRaceClockAtStart;
    try {
        StartReplay(state);
        StepOutcome outcome;
        while (!AllTrackFilesAtEnd(state))
            ReplayStep(state, ReplaySettings{60, 90}, outcome);
    } catch (const Error& e) {
        CloseTrackFiles(state);
        return e.what();
    }
    CloseTrackFiles(state);
    return {};
}

// The results read a race as the replay does: what the replay refuses (a start a week
// before its track, a broken line after the finish, a last line that is no point, track
// and race files that are FIFOs, devices or folders, a blank line between entries) they
// refuse with the replay's own message, and what it replays (blank lines at the end of the
// race file, which are no entries) they rank. The replay's warnings come to them too.
TEST(Results, ReadTheRaceAsTheReplayReadsIt)
{
    TempDir dir;
    const std::string header = "lat,lon,date,time";
    dir.write("a.txt", {header, Fix(11.49, 0), Fix(11.51, At(13, 0, 0))});
    dir.write("broken.txt", {header, Fix(11.49, 0), Fix(11.51, At(13, 0, 0)), "57.61,11.52,2008062x,131000",
                             Fix(11.53, At(13, 20, 0))});
    dir.write("lastline.txt", {header, Fix(11.49, 0), Fix(11.51, At(13, 0, 0)), "0,11.52,2008062x,131000"});
    ASSERT_EQ(::mkfifo(dir.file("fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo.TP1").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path() / "folder.txt");
    const std::string entry = "a.txt , 2008-06-21 12:00:00 , 1 , 0 , ,";
    std::vector<std::string> fleet(64, entry);
    fleet.insert(fleet.end(), {"", "  \t"});
    dir.write("fleet64blanks.TP1", fleet);
    dir.write("week.TP1", {entry, "a.txt , 2008-06-14 11:59:59 , 1 , 0 , ,"});
    dir.write("broken.TP1", {entry, "broken.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("lastline.TP1", {"lastline.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("fifotrack.TP1", {entry, "fifo.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("device.TP1", {"/dev/zero , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("folder.TP1", {"folder.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.write("blank.TP1", {entry, "", entry});
    dir.write("zone.TP1", {entry, "a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});

    const std::pair<const char*, const char*> cases[] = {
        {"fleet64blanks.TP1", ""},
        {"zone.TP1", ""},
        {"week.TP1", "week.TP1, line 2: boat \"a.txt\" starts at 2008-06-14 11:59:59, 7 days before the first fix"},
        {"broken.TP1", "broken.txt, line 4: the date \"2008062x\" is not eight digits"},
        {"lastline.TP1", "lastline.txt, line 4: "},
        {"fifotrack.TP1", "fifotrack.TP1, line 2: the track file \""},
        {"device.TP1", "device.TP1, line 1: the track file \"/dev/zero\" is a device, not a file"},
        {"folder.TP1", "is a folder, not a file"},
        {"blank.TP1", "blank.TP1, line 2: "},
        {"fifo.TP1", "the race file \""},
    };
    for (const auto& [race, message] : cases) {
        const std::string replay = ReplayVerdict(dir.file(race));
        EXPECT_NE(replay.find(message), std::string::npos) << race << ": the replay says " << replay;
        std::string results;
        std::vector<std::string> warnings;
        try {
            const auto ranked =
                RaceResults(dir.file(race), kLine, [&](const std::string& w) { warnings.push_back(w); });
            EXPECT_EQ(ranked.size(), std::string(race) == "zone.TP1" ? 2u : 64u) << race;
        } catch (const Error& e) {
            results = e.what();
        }
        EXPECT_EQ(results, replay) << race;
        if (std::string(race) == "fifotrack.TP1" || std::string(race) == "fifo.TP1") {
            EXPECT_NE(replay.find("is a FIFO (a named pipe), not a file"), std::string::npos) << replay;
        }
        if (std::string(race) == "zone.TP1") {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_NE(warnings[0].find("boat \"a.txt\" (zone.TP1, line 2) starts at 2008-06-21 10:00:00"),
                      std::string::npos)
                << warnings[0];
        }
    }
}

} // namespace
} // namespace tideplot
