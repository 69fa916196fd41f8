// The replay as a timeline: going to a step shows exactly what playing from Start to that
// step shows (the frame, everything drawn, the documents a Google Earth view receives),
// forward and back, across the session's checkpoints; playing on after a seek goes on as
// playing straight through; new settings keep the race clock; a race with a broken line
// can be sought up to it.
#include "core/coursefile.h"
#include "core/datetime.h"
#include "earth/recorder.h"
#include "replay/earthobserver.h"
#include "replay/generatedrace.h"
#include "replay/leaderboard.h"
#include "replay/replaysession.h"
#include "replay/valuetext.h"
#include "support/racefiles.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>

namespace tideplot {
namespace {

using testing::GeneratedRace;
using testing::Hms;
using testing::TempDir;

const std::string kSampleRace = TIDEPLOT_SOURCE_DIR "/examples/sample-race/race.TP1";

template <class A, class B> bool SamePieces(A aBegin, A aEnd, B bBegin, B bEnd)
{
    return std::equal(aBegin, aEnd, bBegin, bEnd, [](const DrawnPiece& p, const DrawnPiece& q) {
        return p.Step == q.Step && p.Boat == q.Boat && p.Width == q.Width && p.RaceClock == q.RaceClock &&
               p.From.Lat == q.From.Lat && p.From.Lon == q.From.Lon && p.To.Lat == q.To.Lat && p.To.Lon == q.To.Lon;
    });
}

bool SamePieces(const std::vector<DrawnPiece>& a, const std::vector<DrawnPiece>& b)
{
    return SamePieces(a.begin(), a.end(), b.begin(), b.end());
}

// Keeps the last frame shown and everything drawn, as a view would.
class Recorder : public FrameObserver {
public:
    void frame(const FleetFrame& f) override
    {
        last = f;
        AppendPieces(f, drawn);
        ++frames;
    }
    void raceStarted(const FleetInfo&) override { ++starts; }
    void rewound(const FleetFrame& f, const ReplaySeries& series, long long keptSteps) override
    {
        last = f;
        std::vector<DrawnPiece> pieces;
        series.forEachPiece(1, f.Step, [&](const DrawnPiece& p) { pieces.push_back(p); });
        // What a seek keeps must be what was shown, all of it.
        std::vector<DrawnPiece> kept, had;
        series.forEachPiece(1, keptSteps, [&](const DrawnPiece& p) { kept.push_back(p); });
        std::copy_if(drawn.begin(), drawn.end(), std::back_inserter(had),
                     [&](const DrawnPiece& p) { return p.Step <= keptSteps; });
        if ((keptSteps > 0 && had.size() != drawn.size()) || !SamePieces(kept, had))
            ADD_FAILURE() << "a seek keeps " << keptSteps << " steps of the " << drawn.size() << " pieces shown";
        drawn = std::move(pieces);
    }
    void reachedEnd() override { ended = true; }
    FleetFrame last;
    std::vector<DrawnPiece> drawn;
    long long frames = 0;
    int starts = 0;
    bool ended = false;
};

::testing::AssertionResult SameFrame(const FleetFrame& a, const FleetFrame& b)
{
    auto samePoint = [](const TrackPoint& p, const TrackPoint& q) { return p.Lat == q.Lat && p.Lon == q.Lon; };
    if (a.Step != b.Step || a.RaceClock != b.RaceClock || a.LineWidth != b.LineWidth || a.CameraSet != b.CameraSet ||
        a.Boats.size() != b.Boats.size())
        return ::testing::AssertionFailure()
               << "step " << a.Step << " against " << b.Step << ", clock " << a.RaceClock << " against " << b.RaceClock;
    if (a.CameraSet && (!samePoint(a.BoxMin, b.BoxMin) || !samePoint(a.BoxMax, b.BoxMax)))
        return ::testing::AssertionFailure() << "camera box at step " << a.Step;
    if (a.ViewBoxSet != b.ViewBoxSet ||
        (a.ViewBoxSet && (!samePoint(a.ViewBoxMin, b.ViewBoxMin) || !samePoint(a.ViewBoxMax, b.ViewBoxMax))))
        return ::testing::AssertionFailure() << "the view's box at step " << a.Step;
    for (std::size_t k = 0; k < a.Boats.size(); ++k) {
        const BoatStep &x = a.Boats[k], &y = b.Boats[k];
        if (x.Moved != y.Moved || x.HasPosition != y.HasPosition || !samePoint(x.Position, y.Position) ||
            x.HasDistance != y.HasDistance || x.DistanceNm != y.DistanceNm || x.Drawn != y.Drawn ||
            !samePoint(x.From, y.From) || !samePoint(x.To, y.To) || x.CourseDeg != y.CourseDeg ||
            x.SpeedKnots != y.SpeedKnots || x.TrackEnded != y.TrackEnded)
            return ::testing::AssertionFailure() << "boat " << k << " at step " << a.Step;
    }
    return ::testing::AssertionSuccess();
}

// The series holds what the frame of its step said: positions and pieces exactly, the rest
// to the precision it keeps.
::testing::AssertionResult SameAsKept(const FleetFrame& frame, const ReplaySeries& series)
{
    if (series.raceClock(frame.Step) != frame.RaceClock || series.lineWidth(frame.Step) != frame.LineWidth)
        return ::testing::AssertionFailure() << "clock or width of step " << frame.Step;
    for (std::size_t k = 0; k < frame.Boats.size(); ++k) {
        const BoatStep &x = frame.Boats[k], y = series.boatStep(static_cast<int>(k), frame.Step);
        const bool same = x.Moved == y.Moved && x.TrackEnded == y.TrackEnded && x.HasPosition == y.HasPosition &&
                          x.Position.Lat == y.Position.Lat && x.Position.Lon == y.Position.Lon && x.Drawn == y.Drawn &&
                          (!x.Drawn || (x.From.Lat == y.From.Lat && x.From.Lon == y.From.Lon)) &&
                          x.HasDistance == y.HasDistance &&
                          std::abs(x.DistanceNm - y.DistanceNm) < 1e-6 * (1 + x.DistanceNm) &&
                          std::abs(x.SpeedKnots - y.SpeedKnots) <= 0.005 &&
                          std::abs(std::remainder(x.CourseDeg - y.CourseDeg, 360.0)) <= 0.005;
        if (!same)
            return ::testing::AssertionFailure() << "boat " << k << " at step " << frame.Step;
    }
    return ::testing::AssertionSuccess();
}

struct Played {
    ReplaySession session;
    Recorder seen;
    RecordingApplication view;
    std::unique_ptr<GoogleEarthObserver> earth;
    Played(const std::string& race, const ReplaySettings& settings)
    {
        earth = std::make_unique<GoogleEarthObserver>(view);
        session.addObserver(&seen);
        session.addObserver(earth.get());
        session.start(race, settings);
    }
    // The documents the view holds now: everything loaded since it was last cleared.
    std::vector<std::string> documents() const
    {
        std::vector<std::string> held;
        for (const auto& call : view.calls) {
            if (call.kind == RecordingApplication::Call::ClearKmlData)
                held.clear();
            else if (call.kind == RecordingApplication::Call::LoadKmlData)
                held.push_back(call.kml);
        }
        return held;
    }
};

TEST(ReplaySession, GoingToAStepShowsWhatPlayingToItShowsForwardAndBack)
{
    TempDir dir;
    const std::pair<std::string, ReplaySettings> races[] = {{GeneratedRace(dir), ReplaySettings{3, 7}},
                                                            {kSampleRace, ReplaySettings{10, 90}}};
    for (const auto& [race, settings] : races) {
        SCOPED_TRACE(race);
        Played straight(race, settings);
        const long long count = straight.session.stepCount();
        ASSERT_GT(count, 3 * kCheckpointSteps);
        // Every step played straight through, kept at the steps the seeks go to.
        const long long targets[] = {count,
                                     1,
                                     0,
                                     kCheckpointSteps,
                                     kCheckpointSteps + 1,
                                     count / 2,
                                     kCheckpointSteps - 1,
                                     2 * kCheckpointSteps + 17,
                                     count - 1};
        std::map<long long, std::pair<FleetFrame, std::vector<DrawnPiece>>> expected;
        std::map<long long, std::vector<std::string>> documents;
        expected[0] = {straight.session.lastFrame(), {}};
        documents[0] = {};
        while (straight.session.step()) {
            const long long at = straight.session.position();
            EXPECT_TRUE(SameAsKept(straight.seen.last, straight.session.series()));
            if (std::find(std::begin(targets), std::end(targets), at) != std::end(targets)) {
                expected[at] = {straight.seen.last, straight.seen.drawn};
                documents[at] = straight.documents();
            }
        }
        EXPECT_EQ(straight.session.position(), count) << "the dry run counts the steps played";
        EXPECT_TRUE(straight.seen.ended);

        Played sought(race, settings);
        for (const long long target : targets) {
            sought.session.seek(target);
            EXPECT_EQ(sought.session.position(), target);
            EXPECT_TRUE(SameFrame(sought.seen.last, expected[target].first)) << "step " << target;
            EXPECT_TRUE(SamePieces(sought.seen.drawn, expected[target].second)) << "step " << target;
            EXPECT_EQ(sought.documents(), documents[target]) << "step " << target;
        }
        // Playing on after a seek goes on as playing straight through, to the same end.
        sought.session.seek(count / 2 - 3);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(sought.session.step());
        EXPECT_TRUE(SameFrame(sought.seen.last, expected[count / 2].first));
        EXPECT_TRUE(SamePieces(sought.seen.drawn, expected[count / 2].second));
        while (sought.session.step()) {
        }
        EXPECT_EQ(sought.session.position(), count);
        EXPECT_TRUE(SameFrame(sought.seen.last, expected[count].first));
    }
}

// The leaderboard after a seek, forward or back, across its snapshots (every
// kSnapshotSteps steps), and after new settings stands as after playing straight to that step.
TEST(Leaderboard, AfterASeekItStandsAsPlayedToTheStep)
{
    TempDir dir;
    const std::string race = GeneratedRace(dir);
    // Across the boats' way north, P1 east of P2: they cross it from its left half an hour in.
    const FinishLine line{57.03, 11.01, 57.03, 10.99};
    struct Watched : Played {
        Leaderboard board;
        Watched(const std::string& race, const ReplaySettings& settings, const FinishLine& line)
            : Played(race, settings)
        {
            board.setFinishLine(line);
            session.addObserver(&board);
        }
    };
    const auto same = [](const std::vector<LeaderboardRow>& a, const std::vector<LeaderboardRow>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const LeaderboardRow& x, const LeaderboardRow& y) {
            return x.Boat == y.Boat && x.Rank == y.Rank && x.Finished == y.Finished &&
                   x.CorrectedSeconds == y.CorrectedSeconds && x.DistanceNm == y.DistanceNm && x.HasGap == y.HasGap &&
                   x.AheadSeconds == y.AheadSeconds && x.GapNm == y.GapNm;
        });
    };
    Watched straight(race, ReplaySettings{1, 7}, line);
    const long long count = straight.session.stepCount();
    const long long every = Leaderboard::kSnapshotSteps;
    ASSERT_GT(count, 3 * every);
    std::map<long long, std::vector<LeaderboardRow>> expected{{0, straight.board.rows()}};
    while (straight.session.step())
        expected[straight.session.position()] = straight.board.rows();
    ASSERT_TRUE(std::any_of(expected[count].begin(), expected[count].end(),
                            [](const LeaderboardRow& row) { return row.Finished; }));

    Watched sought(race, ReplaySettings{1, 7}, line);
    for (const long long target : {count, 1LL, 0LL, every, every + 1, count / 2, every - 1, 2 * every + 17, count - 1,
                                   3 * every + 5, every + 2}) {
        sought.session.seek(target);
        EXPECT_TRUE(same(sought.board.rows(), expected[target])) << "step " << target;
    }
    for (int i = 0; i < 2000 && sought.session.step(); ++i)
        ASSERT_TRUE(same(sought.board.rows(), expected[sought.session.position()]))
            << "played on to step " << sought.session.position();

    sought.session.changeSettings(ReplaySettings{2, 7});
    Watched fresh(race, ReplaySettings{2, 7}, line);
    while (fresh.session.position() < sought.session.position())
        fresh.session.step();
    EXPECT_TRUE(same(sought.board.rows(), fresh.board.rows())) << "after new settings";
}

// The leaderboard of the sample race with a finish line, at any resolution: a boat shows as
// finished from the first step whose race clock reaches its corrected time in the results, and
// at the end the leaderboard ranks, times and spaces the boats as the results table does
// (where the steps cut the corners of a track, the piece drawn crosses the line a fraction of
// a second away from the fixes' crossing: 0.34 s for Elsa at 10 s a step).
TEST(Leaderboard, TakesEachFinishFromTheResultsOnceTheRaceClockReachesIt)
{
    const FinishLine line{57.598843, 11.502571, 57.601157, 11.497429};
    const std::vector<BoatResult> results = RaceResults(kSampleRace, line);
    ASSERT_EQ(results.size(), 4u);
    const std::pair<const char*, const char*> shown[] = {{"finished 0:50:52", ""},
                                                         {"finished 0:51:11", "+0:00:19"},
                                                         {"finished 0:52:09", "+0:01:17"},
                                                         {"finished 0:53:09", "+0:02:17"}};
    for (const double resolution : {1.0, 10.0, 60.0}) {
        ReplaySession session;
        Leaderboard board;
        board.setFinishLine(line);
        session.addObserver(&board);
        session.start(kSampleRace, ReplaySettings{resolution, 90});
        const auto resultOf = [&](int boat) {
            return *std::find_if(results.begin(), results.end(), [&](const BoatResult& r) {
                return r.EntryLine == session.fleet().Boats[static_cast<std::size_t>(boat)].EntryLine;
            });
        };
        while (session.step()) {
            const double clock = session.lastFrame().RaceClock * kSecondsPerDay;
            for (const LeaderboardRow& row : board.rows())
                ASSERT_EQ(row.Finished, clock >= resultOf(row.Boat).CorrectedSeconds)
                    << resolution << " s a step, race clock " << clock << " s, boat " << row.Boat;
        }
        const std::vector<LeaderboardRow> rows = board.rows();
        ASSERT_EQ(rows.size(), 4u);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(resultOf(rows[i].Boat).Rank, rows[i].Rank) << resolution << " s a step, row " << i;
            EXPECT_EQ(StandingText(rows[i]), "finished " + ResultTexts(results[i])[6]);
            EXPECT_EQ(StandingText(rows[i]), shown[i].first) << resolution << " s a step, row " << i;
            EXPECT_EQ(GapText(rows[i]), shown[i].second) << resolution << " s a step, row " << i;
        }
    }
}

// On the sample race round its course (two laps, the start line its finish line): the boats
// finish in the order of the results from the track files, not at their first crossing of the
// line; and the course still to sail shrinks steadily, by no more than a boat sails in a step,
// also round the marks.
TEST(Leaderboard, RanksTheFleetByTheCourseStillToSail)
{
    const Course course = ReadCourse(kSampleRace);
    ASSERT_EQ(course.Sequence().size(), 6u);
    Played played(kSampleRace, ReplaySettings{10, 90});
    Leaderboard board;
    board.setCourse(course);
    played.session.addObserver(&board);
    std::vector<double> last(4, -1);
    double mostShrink = 0, mostGrowth = 0;
    while (played.session.step()) {
        for (const LeaderboardRow& row : board.rows()) {
            const auto k = static_cast<std::size_t>(row.Boat);
            if (!row.Finished && row.DistanceNm >= 0 && last[k] >= 0) {
                mostShrink = std::max(mostShrink, last[k] - row.DistanceNm);
                mostGrowth = std::max(mostGrowth, row.DistanceNm - last[k]);
            }
            last[k] = row.Finished ? -1 : row.DistanceNm;
        }
    }
    // Ten seconds of race time at up to 8 knots; tacking away from a mark adds a little.
    EXPECT_LT(mostShrink, 0.03);
    EXPECT_LT(mostGrowth, 0.03);
    const std::vector<BoatResult> results = RaceResults(kSampleRace, course);
    const std::vector<LeaderboardRow> rows = board.rows();
    ASSERT_EQ(rows.size(), results.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].Finished) << i;
        EXPECT_EQ(played.session.fleet().Boats[static_cast<std::size_t>(rows[i].Boat)].Name, results[i].Name) << i;
        EXPECT_EQ(rows[i].CorrectedSeconds, results[i].CorrectedSeconds) << results[i].Name;
        EXPECT_EQ(rows[i].Rank, results[i].Rank) << results[i].Name;
    }
}

// The replay of a generated race at a resolution of 3 seconds, 7 steps a wide plot, with an
// observer of its builds in the background, under an event loop.
class BackgroundBuild : public ::testing::Test {
protected:
    struct BuildWatch : FrameObserver {
        void buildingTimeline(double done) override { told.push_back(done); }
        void timelineBuilt(const std::string& failure, const std::optional<TimelineVerdict>& over) override
        {
            ended.push_back(over ? "over its budget" : failure);
        }
        void failed(const std::string& message) override { failures.push_back(message); }
        std::vector<double> told;
        std::vector<std::string> ended;
        std::vector<std::string> failures;
    };

    BackgroundBuild() { played.session.addObserver(&watch); }
    ~BackgroundBuild() override { played.session.removeObserver(&watch); }

    static bool waitForBuild(ReplaySession& session)
    {
        for (int turns = 0; session.buildingTimeline() && turns < 100000; ++turns)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !session.buildingTimeline();
    }

    // As the slider asks: a moment later, a failure told to the observers.
    void slide(ReplaySession& session, long long step)
    {
        session.requestSeek(step);
        for (int turns = 0; watch.failures.empty() && session.position() != step && turns < 100; ++turns)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }

    int argc = 1;
    char name[19] = "replaysession_test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    BuildWatch watch;
    TempDir dir;
    const std::string race = GeneratedRace(dir);
    Played played{race, ReplaySettings{3, 7}};
};

// A Start in the background builds the same steps; the replay waits for them.
TEST_F(BackgroundBuild, AStartInTheBackgroundBuildsTheSameSteps)
{
    ReplaySession background;
    background.start(race, ReplaySettings{3, 7}, true, true);
    EXPECT_TRUE(background.buildingTimeline());
    EXPECT_FALSE(background.seekable());
    ASSERT_TRUE(waitForBuild(background));
    EXPECT_EQ(background.stepCount(), played.session.stepCount());
    EXPECT_EQ(background.position(), 0);
    background.close();
}

// The timeline of new settings is built on a worker thread while the replay goes on at the
// old ones; then they keep the race clock the replay stands at, on the new steps, and the
// state is that of playing from Start with them. A newer request cancels an older one, and a
// Play asked for meanwhile waits for the build.
TEST_F(BackgroundBuild, NewSettingsAreBuiltInTheBackgroundAndKeepTheRaceClock)
{
    played.session.seek(600);
    played.session.changeSettingsInBackground(ReplaySettings{1, 7});
    played.session.changeSettingsInBackground(ReplaySettings{10, 4});
    ASSERT_TRUE(played.session.buildingTimeline());
    EXPECT_EQ(played.session.comingSettings().ResolutionSeconds, 10);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(played.session.step()); // at the old settings
    EXPECT_EQ(played.session.settings().ResolutionSeconds, 3);
    played.session.play(0);
    EXPECT_TRUE(played.session.playingAfterBuild());
    EXPECT_TRUE(played.session.playing()) << "it will, when the build ends";
    played.session.stop();
    EXPECT_FALSE(played.session.playingAfterBuild());
    const double clock = played.seen.last.RaceClock;
    ASSERT_TRUE(waitForBuild(played.session));
    EXPECT_EQ(watch.ended, std::vector<std::string>{""});
    ASSERT_FALSE(watch.told.empty());
    EXPECT_EQ(watch.told.front(), 0);
    EXPECT_FALSE(played.session.playing());
    EXPECT_EQ(played.session.settings().StepsPerWidePlot, 4);
    EXPECT_LE(played.seen.last.RaceClock, clock + 1e-9);
    EXPECT_GT(played.seen.last.RaceClock, clock - 10.0 / 86400);

    Played fresh(race, ReplaySettings{10, 4});
    EXPECT_EQ(played.session.stepCount(), fresh.session.stepCount());
    for (long long i = 0; i < played.session.position(); ++i)
        fresh.session.step();
    EXPECT_TRUE(SameFrame(played.seen.last, fresh.seen.last));
    EXPECT_TRUE(SamePieces(played.seen.drawn, fresh.seen.drawn));
}

// The build reads the very files the replay opened: a track put in one's place under its name
// (the same fixes with more decimals: every line stands elsewhere) is not read, and seeking
// and playing on say nothing of it. Closing the replay ends a build under way.
TEST_F(BackgroundBuild, ReadsTheFilesTheReplayOpenedAndEndsWithIt)
{
    std::ifstream in(dir.path() / "boat1.txt", std::ios::binary);
    const std::string boat1(std::istreambuf_iterator<char>(in), {});
    dir.writeBytes("new.txt", std::regex_replace(boat1, std::regex("(\\.[0-9]+)"), "$0000"));
    std::filesystem::rename(dir.path() / "new.txt", dir.path() / "boat1.txt");
    played.session.changeSettingsInBackground(ReplaySettings{5, 4});
    ASSERT_TRUE(waitForBuild(played.session));
    EXPECT_EQ(watch.ended.back(), "");
    Played atFive(race, ReplaySettings{5, 4});
    for (const long long step : {played.session.stepCount() - 3, 17LL, 300LL}) {
        slide(played.session, step);
        atFive.session.seek(step);
        EXPECT_TRUE(SameFrame(played.seen.last, atFive.seen.last)) << step;
        ASSERT_TRUE(played.session.step());
    }
    EXPECT_EQ(watch.failures, std::vector<std::string>{});
    // A file written over where it stands is told as changed, not as a line that is wrong.
    {
        Played inPlace(race, ReplaySettings{5, 4});
        inPlace.session.addObserver(&watch);
        dir.writeBytes("boat1.txt", boat1);
        slide(inPlace.session, 900);
        ASSERT_EQ(watch.failures.size(), 1u);
        EXPECT_NE(watch.failures[0].find("\"boat1.txt\" was changed while the replay had it open"), std::string::npos)
            << watch.failures[0];
        inPlace.session.removeObserver(&watch);
    }

    // Closing the replay ends a build under way.
    played.session.changeSettingsInBackground(ReplaySettings{2, 4});
    played.session.close();
    EXPECT_FALSE(played.session.buildingTimeline());
}

// New settings whose timeline would not fit beside the old one in the budget: the old one
// goes at once (the replay stands still, and cannot be sought, until the build ends), and
// the new one comes at the race clock the replay stood at. With room for both the old one stays.
TEST(ReplaySession, TheOldTimelineGoesWhenTheNewOneWouldNotFitBesideIt)
{
    int argc = 1;
    char name[] = "replaysession_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    TempDir dir;
    const std::string race = GeneratedRace(dir);
    const long long steps = Played(race, ReplaySettings{3, 7}).session.stepCount();
    for (const bool room : {false, true}) {
        ReplaySession session;
        session.setMemoryBudget(TimelineBytes(3, (room ? 4 : 2) * steps));
        Recorder seen;
        session.addObserver(&seen);
        session.start(race, ReplaySettings{3, 7});
        session.seek(steps / 2);
        const double clock = seen.last.RaceClock;
        session.changeSettingsInBackground(ReplaySettings{2, 7});
        EXPECT_EQ(session.seekable(), room);
        EXPECT_EQ(session.series().stepCount() > 0, room);
        if (!room) {
            EXPECT_THROW(session.seek(1), Error);
        }
        for (int turns = 0; session.buildingTimeline() && turns < 100000; ++turns)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_TRUE(session.seekable()) << room;
        EXPECT_GT(session.stepCount(), steps);
        EXPECT_LE(TimelineBytes(3, session.stepCount()), session.memoryBudget());
        EXPECT_LE(seen.last.RaceClock, clock + 1e-9);
        EXPECT_GT(seen.last.RaceClock, clock - 2.0 / 86400);
        session.removeObserver(&seen);
    }
}

// A line that cannot be read ends the timeline before the step that meets it; playing on
// meets it and says what is wrong.
TEST(ReplaySession, ARaceWithABrokenLineIsSoughtUpToIt)
{
    TempDir dir;
    std::vector<std::string> lines{"lat,lon,date,time"};
    for (int s = -300; s <= 600; s += 10)
        lines.push_back("57.1,11.2,20080621," + Hms(36000 + s + (s == 300 ? 1 : 0)));
    lines[40] = "57.2,11.3,20080621,nonsense";
    dir.write("a.txt", lines);
    const std::string race = dir.write("race.TP1", {"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    Played played(race, ReplaySettings{10, 90});
    ASSERT_TRUE(played.session.seekable());
    const long long count = played.session.stepCount();
    EXPECT_GT(count, 0);
    played.session.seek(count);
    try {
        played.session.step();
        ADD_FAILURE() << "the broken line was played";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("a.txt, line 41"), std::string::npos) << e.what();
    }
}

// The timeline never holds more than its budget: a race whose steps would not fit at the
// chosen resolution is loaded but not played, and says how many steps it takes and the
// finest resolution that fits, which then plays; finer settings are refused changing
// nothing. An observer added to a loaded race is told where it stands.
TEST(ReplaySession, TheTimelineStaysWithinItsBudgetAndSaysWhichResolutionFits)
{
    TempDir dir;
    const std::string race = GeneratedRace(dir);
    Played played(race, ReplaySettings{3, 7});
    const long long steps = played.session.stepCount();
    ReplaySession tight;
    // A part of the budget left to the views is not the timeline's.
    const std::size_t forViews = std::size_t{10} << 20;
    const std::size_t budget = TimelineBytes(3, steps / 3);
    tight.setMemoryBudget(budget + forViews, forViews);
    EXPECT_EQ(tight.memoryBudget(), budget);
    tight.start(race, ReplaySettings{3, 7});
    EXPECT_FALSE(tight.seekable());
    EXPECT_LT(tight.series().bytes(), 1024u) << "nothing of the race kept";
    ASSERT_TRUE(tight.timelineOverBudget());
    const TimelineVerdict over = *tight.timelineOverBudget();
    EXPECT_EQ(over.Steps, steps);
    EXPECT_EQ(over.ResolutionSeconds, 3);
    EXPECT_GT(over.NeededBytes, budget);
    EXPECT_EQ(over.BudgetBytes, budget);
    EXPECT_EQ(over.WholeBytes, budget + forViews);
    EXPECT_THROW(tight.play(10), TimelineOverBudget);
    EXPECT_THROW(tight.seek(1), TimelineOverBudget);

    const double fits = over.FinestSeconds;
    EXPECT_GT(fits, 3.0 * 2.5);
    EXPECT_LT(fits, 3.0 * 3.5);
    tight.changeSettings(ReplaySettings{fits, 7});
    ASSERT_TRUE(tight.seekable());
    EXPECT_FALSE(tight.timelineOverBudget());
    EXPECT_LE(TimelineBytes(3, tight.stepCount()), tight.memoryBudget());
    tight.seek(tight.stepCount() / 2);
    const long long at = tight.position();
    try {
        tight.changeSettings(ReplaySettings{1, 7});
        ADD_FAILURE() << "a resolution that does not fit was taken";
    } catch (const TimelineOverBudget& e) {
        EXPECT_NEAR(e.verdict().FinestSeconds, fits, fits * 0.05);
        EXPECT_EQ(e.verdict().ResolutionSeconds, 1);
    }
    EXPECT_EQ(tight.settings().ResolutionSeconds, fits);
    EXPECT_EQ(tight.position(), at);
    EXPECT_TRUE(tight.seekable());

    Recorder late;
    tight.addObserver(&late);
    EXPECT_EQ(late.starts, 1);
    EXPECT_EQ(late.last.Step, at);
    std::vector<DrawnPiece> pieces;
    tight.series().forEachPiece(1, at, [&](const DrawnPiece& p) { pieces.push_back(p); });
    EXPECT_TRUE(SamePieces(late.drawn, pieces));
    tight.removeObserver(&late);
}

} // namespace
} // namespace tideplot
