#include "ui/replaywindows.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/freedmemory.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "core/text.h"
#include "core/trackfixes.h"
#include "earth/replayview.h"
#include "replay/earthobserver.h"
#include "replay/viewobserver.h"
#include "ui/chartactions.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/frmanalysis.h"
#include "ui/frmcontrol.h"
#include "ui/frmresults.h"
#include "ui/settings.h"
#include "ui/timelinetext.h"
#include "ui/windowplacement.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>
#include <exception>

namespace tideplot {

namespace {

// The least the Analysis and results windows are made to fit beside the others.
constexpr QSize kLeastAnalysis(640, 400);
constexpr QSize kLeastResults(480, 300);

// The most of the replay's memory the chart's pictures of earlier steps may take.
constexpr std::size_t kMaxPictureMemoryBytes = std::size_t{40} << 20;

// What the graph shows of a race with more fixes than the analysis keeps ("" when it keeps
// every fix).
QString ThinnedNote(const RaceAnalysis& race)
{
    int every = 1;
    for (const BoatAnalysis& boat : race.Boats)
        every = std::max(every, boat.Motion.KeptEvery);
    if (every == 1)
        return {};
    return QStringLiteral("The graph shows the speed at one fix in %1 or more often (the memory the replay may use, "
                          "the setting Replay/MemoryMB, keeps no more); the tacks and gybes are found from every fix.")
        .arg(every);
}

// What the analysis left out of the tracks (AnalysisWarnings), and what the graph shows.
QString AnalysisNote(const RaceAnalysis& race)
{
    QStringList lines;
    for (const std::string& warning : AnalysisWarnings(race))
        lines += LocalText(warning) + QLatin1Char('.');
    if (const QString thinned = ThinnedNote(race); !thinned.isEmpty())
        lines += thinned;
    return lines.join(QLatin1Char('\n'));
}

// The boats of a race file, as its entries count them (0 when it cannot be read: the
// replay says why at Start).
int BoatCount(const std::string& raceFile)
{
    try {
        return static_cast<int>(ReadRaceFileEntries(raceFile, "a race can replay at most").size());
    } catch (const std::exception&) {
        return 0;
    }
}

void ToFront(QWidget* window)
{
    if (!window || !window->isVisible())
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

} // namespace

ReplayWindows::ReplayWindows(QMainWindow& setup, UserDialogs& dialogs, QSettings& settings, Options options)
    : setup_(setup), dialogs_(dialogs), settings_(settings), options_(std::move(options))
{
    chartDescription_.setInterval(1000);
    connect(&chartDescription_, &QTimer::timeout, this, [this] { describeChart(); });
    // Until the first step the chart shows the whole race, once its box has been read.
    raceBoxLook_.setInterval(20);
    connect(&raceBoxLook_, &QTimer::timeout, this, [this] { raceBoxRead(); });
    session_.addObserver(&leaderboard_);
    // The results window's leaderboard follows the replay four times a second.
    leaderboardShown_.setInterval(250);
    connect(&leaderboardShown_, &QTimer::timeout, this, [this] {
        if (frmResults_ && frmResults_->isVisible())
            frmResults_->showLeaderboard(leaderboard_.rows(), session_.fleet());
        else
            leaderboardShown_.stop();
    });
}

ReplayWindows::~ReplayWindows()
{
    close();
    session_.removeObserver(&leaderboard_);
}

void ReplayWindows::close()
{
    delete frmControl_; // closes the replay's track files, stops the analysis
    if (ReplayView* view = replayView())
        view->window()->close();
    if (frmResults_)
        frmResults_->close();
    chartDescription_.stop();
    endRaceBox();
}

ReplayView* ReplayWindows::replayView() const
{
    return earthApp_ ? earthApp_->replayView() : nullptr;
}

bool ReplayWindows::bringToFront()
{
    if (!frmControl_ || !frmControl_->isVisible())
        return false;
    // One replay at a time: Start shows the open one.
    if (ReplayView* view = replayView())
        ToFront(view->window());
    ToFront(frmResults_);
    ToFront(frmAnalysis_);
    frmControl_->focusPlay();
    return true;
}

void ReplayWindows::closePrevious()
{
    delete frmControl_; // closes the replay that was open, stops its analysis
    if (frmResults_)
        frmResults_->close(); // its table was the last race's
    if (ReplayView* view = replayView())
        if (view->window()->isVisible())
            viewGeometry_ = view->window()->geometry();
    chartDescription_.stop();
    for (FrameObserver* observer :
         {static_cast<FrameObserver*>(earthObserver_.get()), static_cast<FrameObserver*>(viewObserver_.get())})
        if (observer)
            session_.removeObserver(observer);
    chartActions_.reset();
    earthObserver_.reset();
    viewObserver_.reset();
    earthApp_.reset();
}

bool ReplayWindows::openView()
{
    try {
        earthApp_ = options_.createEarth();
    } catch (const std::exception& e) {
        dialogs_.tell(QStringLiteral("The view cannot be opened: %1").arg(LocalText(e.what())), MessageKind::Error);
        return false;
    }
    return true;
}

void ReplayWindows::observeView()
{
    // The chart reads the replay's series; any other view (Google Earth Pro, say) takes
    // the documents.
    if (ReplayView* view = replayView()) {
        viewObserver_ = std::make_unique<ReplayViewObserver>(*earthApp_, *view);
        session_.addObserver(viewObserver_.get());
        frmControl_->onTailChanged = [view](double minutes) { view->setTailMinutes(minutes); };
    } else {
        earthObserver_ = std::make_unique<GoogleEarthObserver>(*earthApp_);
        session_.addObserver(earthObserver_.get());
    }
}

void ReplayWindows::start(const std::string& raceFile)
{
    if (bringToFront())
        return;
    closePrevious();
    raceFile_ = raceFile;
    if (!openView())
        return;
    frmControl_ = new FrmControl(session_, dialogs_, &setup_);
    frmControl_->setAttribute(Qt::WA_DeleteOnClose);
    frmControl_->leaderboard = &leaderboard_;
    frmControl_->onResults = [this] { showResults(); };
    frmControl_->fitFleet(BoatCount(raceFile_));
    frmControl_->onAnalysis = [this] { showAnalysis(); };
    // Closing the control window ends the replay, and with it its analysis.
    connect(frmControl_, &QObject::destroyed, this, [this] { endAnalysis(); });
    observeView();
    showView();
    frmControl_->show();

    loadCourse();
    // Of the memory the replay may use, a sixteenth (at most 40 MB) is the chart's, for its
    // pictures of earlier steps, and a thirty-second the analysis's, for the speed and course at
    // the fixes of the tracks; the timeline has the rest.
    const ReplayMemorySetting memorySetting = ReadReplayMemory(settings_);
    const std::size_t memory = memorySetting.Bytes;
    std::size_t pictures = 0;
    if (ReplayView* view = replayView()) {
        pictures = std::min(memory / 16, kMaxPictureMemoryBytes);
        view->setPictureMemory(pictures);
    }
    const std::size_t analysis = memory / 32;
    session_.setMemoryBudget(memory, pictures + analysis);
    try {
        // Its steps are counted in the background: a long race holds no window.
        session_.start(raceFile_, ReplaySettings{}, true, true);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
        if (frmControl_)
            frmControl_->close(); // nothing was loaded to play
        return;
    }
    // The track files are open: the analysis reads them from the start on the pool, with the
    // course and the wind lines as the course file had them at Start.
    analysis_.start(
        BoatSources(session_.state()), [this] { analysisChanged(); }, analysis / sizeof(MotionSample),
        course_.Finish ? std::optional<Course>(course_) : std::nullopt, windLines_);
    if (chartActions_)
        chartActions_->setFleet(session_.fleet());
    showWholeRace();
    tellWarnings(memorySetting.Warning);
    // Space plays at once.
    if (frmControl_)
        frmControl_->focusPlay();
}

void ReplayWindows::showWholeRace()
{
    ReplayView* view = replayView();
    if (!view)
        return;
    // Every fix of every track is read: on the pool, so that a long race holds no
    // window. The chart shows the race's box when it is there, unless the replay has moved.
    endRaceBox();
    std::vector<std::pair<std::string, char>> tracks;
    for (const FleetBoat& boat : session_.fleet().Boats)
        tracks.emplace_back(boat.TrackFile, boat.SepChar);
    // At once: the box of every track's first fix (a line of each file).
    FixBox first;
    for (const auto& [path, sep] : tracks) {
        try {
            TrackFixReader reader(path, sep);
            if (TrackFix fix; reader.next(fix))
                first.add(fix.Lat, fix.Lon);
        } catch (const Error&) {
            // The replay reports a track it cannot read when it gets there.
        }
    }
    if (!first.empty())
        view->showBox(first);
    raceBox_ = StartJob<FixBox>(
        [tracks = std::move(tracks)](const std::atomic<bool>& cancel) {
            FixBox race;
            for (const auto& [path, sep] : tracks) {
                try {
                    race.add(TrackFixesBox(path, sep, &cancel));
                } catch (const Error&) {
                    // The replay reports a track it cannot read when it gets there.
                }
            }
            return race;
        },
        kBoxPriority);
    raceBoxLook_.start();
    describeChart();
    chartDescription_.start();
}

void ReplayWindows::endRaceBox()
{
    // Nothing waits: the job holds only its own copies and stops at its next fix.
    raceBoxLook_.stop();
    if (raceBox_)
        raceBox_->Cancel.store(true);
    raceBox_.reset();
}

void ReplayWindows::raceBoxRead()
{
    if (!raceBox_ || !raceBox_->ended())
        return;
    const std::shared_ptr<JobOutcome<FixBox>> box = std::move(raceBox_);
    raceBoxLook_.stop();
    ReplayView* view = replayView();
    if (!view || !frmControl_)
        return;
    // Anything but a track that cannot be read (the memory, say) is told, not lost.
    if (!box->Failure.empty()) {
        dialogs_.tell(QStringLiteral("The chart cannot show the whole race: %1").arg(LocalText(box->Failure)),
                      MessageKind::Warning);
        return;
    }
    if (session_.position() != 0 || !box->Result)
        return;
    view->showBox(*box->Result);
    describeChart();
}

void ReplayWindows::tellWarnings(const QString& memoryWarning)
{
    // What the view and the race have to say (start times in another time zone than the
    // tracks, a settings store that cannot keep the link's address, a race too long for
    // the memory set aside at this resolution) is said once; the replay stays ready to play.
    // A setting of the memory that cannot be taken is said at the first Start that meets it.
    QStringList warnings;
    if (memoryWarning != memoryWarningTold_ && !memoryWarning.isEmpty())
        warnings += memoryWarning;
    memoryWarningTold_ = memoryWarning;
    for (const std::string& warning : earthApp_->TakeWarnings())
        warnings += LocalText(warning);
    for (const std::string& warning : StartTimeWarnings(session_.state()))
        warnings += LocalText(warning);
    if (const std::optional<TimelineVerdict>& over = session_.timelineOverBudget())
        warnings += QStringLiteral("The replay cannot play at this resolution: %1.").arg(OverBudgetText(*over));
    if (!warnings.isEmpty())
        dialogs_.tell(warnings.join(QStringLiteral("\n\n")), MessageKind::Warning);
}

void ReplayWindows::showView()
{
    ReplayView* view = replayView();
    QMainWindow* window = view ? view->window() : nullptr;
    placeReplayWindows(window);
    if (!window)
        return;
    window->setWindowIcon(setup_.windowIcon());
    QWidget* chart = window->centralWidget();
    window->setAccessibleName(QStringLiteral("Chart"));
    chart->setAccessibleName(QStringLiteral("Chart"));
    chart->setToolTip(QStringLiteral("Drag to pan, Shift+drag to turn; wheel, + and - zoom; [ and ] turn by 15 "
                                     "degrees; arrow keys pan; N puts north up"));
    chartActions_ = std::make_unique<ChartActions>(*this, *view, dialogs_, settings_);
    // Closing the chart ends the replay, as closing the control window does.
    WatchEvent(window, QEvent::Close, [this] {
        chartDescription_.stop();
        if (frmControl_)
            frmControl_->close();
    });
    window->show();
}

void ReplayWindows::loadCourse()
{
    course_ = Course{};
    windLines_.clear();
    if (QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(CourseFilePath(raceFile_))))) {
        try {
            CourseFile file = ReadCourseFile(CourseFilePath(raceFile_));
            course_ = std::move(file.Plan);
            windLines_ = std::move(file.WindLines);
        } catch (const std::exception& e) {
            dialogs_.tell(LocalText(e.what()), MessageKind::Warning);
        }
    }
    leaderboard_.setCourse(course_.Finish ? std::optional<Course>(course_) : std::nullopt);
    if (earthApp_)
        earthApp_->SetCourse(course());
}

std::optional<Course> ReplayWindows::course() const
{
    if (course_ == Course{})
        return std::nullopt;
    return course_;
}

void ReplayWindows::setFinishLine(const FinishLine& line)
{
    course_.Finish = line;
    useCourse();
}

void ReplayWindows::setCourse(const Course& course)
{
    course_ = course;
    useCourse();
}

void ReplayWindows::useCourse()
{
    if (earthApp_)
        earthApp_->SetCourse(course());
    // The leaderboard of the new course, as if it had been there from the start.
    leaderboard_.setCourse(course_.Finish ? std::optional<Course>(course_) : std::nullopt);
    leaderboard_.rewound(session_.lastFrame(), session_.series(), 0);
    if (frmResults_ && frmResults_->isVisible())
        showResults();
}

void ReplayWindows::showResults()
{
    if (raceFile_.empty())
        return;
    const std::optional<Course>& course = leaderboard_.course();
    if (!course) {
        dialogs_.tell(
            QStringLiteral("The race has no finish line yet: set one in the chart (Chart > Set finish line, "
                           "or F in the chart), or with \"tideplot results %1 --finish LAT1,LON1,LAT2,LON2\".")
                .arg(LocalText(FileLabel(raceFile_))),
            MessageKind::Information);
        return;
    }
    const bool opened = !frmResults_;
    if (opened) {
        frmResults_ = new FrmResults(dialogs_, &setup_);
        frmResults_->setAttribute(Qt::WA_DeleteOnClose);
        frmResults_->setWindowIcon(setup_.windowIcon());
    }
    frmResults_->showResults(raceFile_, *course, LocalText(FileLabel(CourseFilePath(raceFile_))));
    frmResults_->showLeaderboard(leaderboard_.rows(), session_.fleet());
    if (opened)
        placeWindow(*frmResults_, kLeastResults); // as wide as its table
    frmResults_->show();
    frmResults_->raise();
    frmResults_->activateWindow();
    leaderboardShown_.start();
}

void ReplayWindows::showAnalysis()
{
    if (!frmControl_ || !session_.loaded())
        return;
    if (!frmAnalysis_) {
        frmAnalysis_ = new FrmAnalysis(session_, dialogs_, &setup_);
        frmAnalysis_->setAttribute(Qt::WA_DeleteOnClose);
        frmAnalysis_->setWindowIcon(setup_.windowIcon());
        frmAnalysis_->onWindChanged = [this](std::optional<double> wind) { setWind(wind); };
        frmAnalysis_->onShowPlace = [this](double lat, double lon) {
            if (ReplayView* view = replayView())
                view->bringIntoView(lat, lon);
        };
        frmAnalysis_->onHighlight = [this](const Manoeuvre* m, int boat) {
            ReplayView* view = replayView();
            const RaceAnalysis* race = analysis_.result();
            if (!view)
                return;
            if (!m || !race || boat < 0 || static_cast<std::size_t>(boat) >= race->Boats.size()) {
                view->setHighlightedManoeuvre(std::nullopt);
                return;
            }
            const BoatSource& source = race->Boats[static_cast<std::size_t>(boat)].Source;
            view->setHighlightedManoeuvre(ManoeuvreMark{m->Lat, m->Lon, RaceClockAt(source, m->MiddleSeconds), boat,
                                                        m->Kind == ManoeuvreKind::Gybe});
        };
        analysisChanged();
        placeWindow(*frmAnalysis_, kLeastAnalysis);
    }
    frmAnalysis_->show();
    frmAnalysis_->raise();
    frmAnalysis_->activateWindow();
}

QMargins ReplayWindows::frameMargins() const
{
    const QRect setup = options_.setupFrame();
    const QRect inner = setup_.geometry();
    return QMargins(inner.left() - setup.left(), inner.top() - setup.top(), setup.right() - inner.right(),
                    setup.bottom() - inner.bottom());
}

void ReplayWindows::placeWindow(QWidget& window, QSize least)
{
    const QMargins frame = frameMargins();
    const auto outer = [&](const QWidget& w) {
        // A window that has its frame from the window manager, or one as thick as the set-up window's.
        return w.frameGeometry() != w.geometry() ? w.frameGeometry() : w.geometry().marginsAdded(frame);
    };
    std::vector<ScreenWindow> others{WindowOnScreen(setup_, options_.setupFrame(), true)};
    QWidget* const replay[] = {replayView() ? replayView()->window() : nullptr, frmControl_, frmResults_, frmAnalysis_};
    for (QWidget* other : replay)
        if (other && other != &window && other->isVisible())
            others.push_back(WindowOnScreen(*other, outer(*other), false));
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect place = PlaceWindow(setup_.screen()->availableGeometry(), window.size() + extra, least + extra, others);
    window.setGeometry(place.marginsRemoved(frame));
}

void ReplayWindows::setWind(std::optional<double> windFromDeg)
{
    analysis_.setWind(windFromDeg);
    analysisChanged();
}

void ReplayWindows::followBoat(std::optional<int> boat)
{
    if (viewObserver_)
        viewObserver_->followBoat(boat);
}

void ReplayWindows::analysisChanged()
{
    if (!analysis_.running())
        ReturnFreedMemory(); // what the analysis's threads used on the way
    if (frmAnalysis_) {
        QString note;
        if (analysis_.running())
            note = QStringLiteral("Finding every boat's tacks and gybes and the wind...");
        else if (!analysis_.failure().empty())
            note = QStringLiteral("The analysis stopped: %1").arg(LocalText(analysis_.failure()));
        else if (const RaceAnalysis* race = analysis_.result())
            note = AnalysisNote(*race);
        frmAnalysis_->showAnalysis(analysis_.result(), note);
    }
    if (chartActions_)
        chartActions_->analysisChanged();
}

void ReplayWindows::endAnalysis()
{
    analysis_.cancel();
    if (ReplayView* view = frmAnalysis_ ? replayView() : nullptr)
        view->setHighlightedManoeuvre(std::nullopt);
    delete frmAnalysis_; // it observes the replay
}

void ReplayWindows::placeReplayWindows(QWidget* view)
{
    ReplayPlacement at;
    at.Screen = setup_.screen()->availableGeometry();
    at.Setup = options_.setupFrame();
    at.Frame = frameMargins();
    at.StartRowBottom = options_.startRowBottom();
    at.Control = frmControl_->size();
    at.HasChart = view != nullptr;
    if (view) {
        at.ChartHint = view->sizeHint();
        at.ChartLeast = view->minimumSizeHint();
        at.ChartBefore = viewGeometry_;
    }
    const ReplayPlaces places = PlaceReplayWindows(at);
    if (!places.SetupMove.isNull())
        setup_.move(setup_.pos() + places.SetupMove);
    if (view) {
        view->setGeometry(places.Chart);
        viewGeometry_ = places.Chart;
    }
    frmControl_->move(places.Control.topLeft());
}

void ReplayWindows::describeChart()
{
    ReplayView* view = replayView();
    if (!view)
        return;
    // For a screen reader: the race, the race time and the boats in view.
    QStringList inView;
    for (const std::string& caption : view->boatsInView())
        inView << LocalText(caption);
    const QString raceTime = frmControl_ ? frmControl_->raceTimeShown() : QString();
    const QString description =
        QStringLiteral("Chart of the race %1%2; %3")
            .arg(LocalText(FileLabel(raceFile_)),
                 raceTime.isEmpty() ? QString() : QStringLiteral(" at race time ") + raceTime,
                 inView.isEmpty() ? QStringLiteral("no boat in view")
                                  : QStringLiteral("boats in view: ") + inView.join(QStringLiteral(", ")));
    view->window()->setAccessibleDescription(description);
    view->window()->centralWidget()->setAccessibleDescription(description);
}

} // namespace tideplot
