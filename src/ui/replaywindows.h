#pragma once

#include "core/course.h"
#include "core/results.h"
#include "core/trackfixes.h"
#include "core/workpool.h"
#include "earth/applicationge.h"
#include "replay/leaderboard.h"
#include "replay/replaysession.h"
#include "ui/analysisrun.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QMainWindow;
class QSettings;

// The windows of one replay, opened by the set-up window's Start: the view (the chart or
// Google Earth), the replay control window, the results window and the Analysis window,
// over the replay that they show, the leaderboard that follows it and the race analysis
// worked out in the background from Start on. The set-up window only says which race
// to start; the replay and its windows live here.
namespace tideplot {

class ChartActions;
class FrmAnalysis;
class FrmControl;
class FrmResults;
class GoogleEarthObserver;
class ReplayView;
class ReplayViewObserver;
class UserDialogs;

class ReplayWindows : public QObject {
public:
    struct Options {
        // Makes the view of a replay; called by every Start.
        std::function<std::unique_ptr<ApplicationGE>()> createEarth;
        // Where the replay windows may not go: the set-up window's frame, and the lowest
        // line of its Start row, which stays in view when they cannot go beside it.
        std::function<QRect()> setupFrame;
        std::function<int()> startRowBottom;
    };

    ReplayWindows(QMainWindow& setup, UserDialogs& dialogs, QSettings& settings, Options options);
    ~ReplayWindows() override;

    // Replays `raceFile` in new windows; when a replay is open its windows come to the
    // front instead. Tells the user and opens nothing when the race cannot be loaded.
    void start(const std::string& raceFile);
    // Closes the replay's windows (and with them its track files).
    void close();

    ReplaySession& session() { return session_; }
    FrmControl* controlWindow() const { return frmControl_.data(); }
    ApplicationGE* earth() const { return earthApp_.get(); }
    // The view of the replay when it is a window of its own (the chart), else null.
    ReplayView* replayView() const;
    const std::string& raceFile() const { return raceFile_; }
    Leaderboard& leaderboard() { return leaderboard_; }

    // The results window: the leaderboard and the results by the course.
    void showResults();
    // The race's finish line from now on: drawn, raced to, kept in its course file.
    void setFinishLine(const FinishLine& line);
    // The race's course from now on (as saved in its course file): drawn, raced to.
    void setCourse(const Course& course);
    // The course as the view draws it: the course file's (with the finish line set in the
    // chart); none when it says nothing.
    std::optional<Course> course() const;

    // The race analysis of the replay: started at Start, cancelled when the replay closes.
    const AnalysisRun& analysis() const { return analysis_; }
    // The Analysis window: speed and VMG over race time, the manoeuvres, the wind.
    void showAnalysis();
    // Every turn judged anew against the wind given (degrees, where it comes from), or against
    // the wind estimated from the fleet (none); the windows show the new judgement.
    void setWind(std::optional<double> windFromDeg);
    // The chart keeps that boat (race file order) in the middle of its view; none: the
    // camera follows the fleet, as Google Earth's does.
    void followBoat(std::optional<int> boat);

private:
    bool bringToFront();
    void closePrevious();
    bool openView();
    void observeView();
    void showView();
    void showWholeRace();
    // `memoryWarning`: what the setting of the replay's memory has to say (said once).
    void tellWarnings(const QString& memoryWarning);
    // The course file's course, drawn and raced to (none when there is no course file).
    void loadCourse();
    // course_ drawn, and raced to from the start of the race.
    void useCourse();
    void placeReplayWindows(QWidget* view);
    void describeChart();
    // A window of the replay, first shown (the Analysis window, the results window): where it
    // covers no menu or button of another window and the control window covers none of its
    // own (windowplacement.h), at least `least` inside its frame.
    void placeWindow(QWidget& window, QSize least);
    // The thickness of a window's frame, taken to be the set-up window's.
    QMargins frameMargins() const;
    // The analysis came, failed or was judged anew: the windows show it.
    void analysisChanged();
    // The replay closed: its analysis stops and its window closes.
    void endAnalysis();
    void endRaceBox();  // the read of the race's box cancelled (not waited for)
    void raceBoxRead(); // the race's box, or why it could not be read, shown

    QMainWindow& setup_;
    UserDialogs& dialogs_;
    QSettings& settings_;
    Options options_;

    std::string raceFile_;
    ReplaySession session_;
    Course course_;                    // the course file's, with the finish line set in the chart
    std::vector<TypedWind> windLines_; // the course file's wind lines, for the analysis
    Leaderboard leaderboard_;
    std::unique_ptr<ApplicationGE> earthApp_;
    std::unique_ptr<GoogleEarthObserver> earthObserver_;
    std::unique_ptr<ReplayViewObserver> viewObserver_;
    std::unique_ptr<ChartActions> chartActions_;
    QPointer<FrmControl> frmControl_;
    QPointer<FrmResults> frmResults_;
    AnalysisRun analysis_;
    QPointer<FrmAnalysis> frmAnalysis_;
    QTimer leaderboardShown_;
    QTimer chartDescription_;
    // The box of every fix of the race, read on the pool at Start, and looked at until it
    // is there.
    std::shared_ptr<JobOutcome<FixBox>> raceBox_;
    QTimer raceBoxLook_;
    QRect viewGeometry_; // where the chart window was, kept for the next replay's chart
    QString memoryWarningTold_;
};

} // namespace tideplot
