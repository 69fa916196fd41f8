#include "ui/chartactions.h"

#include "analysis/courseproposal.h"
#include "analysis/raceanalysis.h"
#include "core/coursefile.h"
#include "core/error.h"
#include "core/text.h"
#include "earth/chart/mapmenu.h"
#include "earth/map/mapchoice.h"
#include "earth/replayview.h"
#include "share/htmlpage.h"
#include "share/replayvideo.h"
#include "ui/courseeditor.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/replaywindows.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <cmath>
#include <exception>

namespace tideplot {

namespace {

QString RaceFolder(const ReplayWindows& windows)
{
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(windows.raceFile()))).absolutePath();
}

} // namespace

ChartActions::ChartActions(ReplayWindows& windows, ReplayView& view, UserDialogs& dialogs, QSettings& settings)
    : windows_(windows), view_(view), dialogs_(dialogs), settings_(settings)
{
    makeMenus();
}

void ChartActions::makeMenus()
{
    QMainWindow* window = view_.window();
    QMenu* chart = window->menuBar()->addMenu(QStringLiteral("&Chart"));
    chart->setObjectName(QStringLiteral("mnuChart"));
    QAction* picture = chart->addAction(QStringLiteral("Save &picture..."));
    picture->setObjectName(QStringLiteral("mnuChartSavePicture"));
    picture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(picture, &QAction::triggered, this, [this] { savePicture(); });
    QAction* video = chart->addAction(QStringLiteral("Export &video..."));
    video->setObjectName(QStringLiteral("mnuChartExportVideo"));
    connect(video, &QAction::triggered, this, [this] { exportVideo(); });
    QAction* page = chart->addAction(QStringLiteral("Export &web page..."));
    page->setObjectName(QStringLiteral("mnuChartExportWebPage"));
    connect(page, &QAction::triggered, this, [this] { exportWebPage(); });
    QAction* finish = chart->addAction(QStringLiteral("Set &finish line"));
    finish->setObjectName(QStringLiteral("mnuChartSetFinishLine"));
    finish->setShortcut(QKeySequence(Qt::Key_F));
    connect(finish, &QAction::triggered, this, [this] { pickFinishLine(); });
    QAction* typed = chart->addAction(QStringLiteral("Finish &line..."));
    typed->setObjectName(QStringLiteral("mnuChartFinishLine"));
    connect(typed, &QAction::triggered, this, [this] { typeFinishLine(); });
    QAction* course = chart->addAction(QStringLiteral("&Course..."));
    course->setObjectName(QStringLiteral("mnuChartCourse"));
    course->setToolTip(QStringLiteral("The start line, the marks and gates, the laps and the finish line"));
    connect(course, &QAction::triggered, this, [this] { editCourse(); });
    chart->addSeparator();
    showManoeuvres_ = chart->addAction(QStringLiteral("Show &manoeuvres"));
    showManoeuvres_->setObjectName(QStringLiteral("mnuChartShowManoeuvres"));
    showManoeuvres_->setCheckable(true);
    showManoeuvres_->setShortcut(QKeySequence(Qt::Key_M));
    showManoeuvres_->setToolTip(QStringLiteral("Tacks (triangles) and gybes (diamonds) marked on the tracks drawn"));
    connect(showManoeuvres_, &QAction::toggled, this, [this] { showManoeuvres(); });
    follow_ = chart->addMenu(QStringLiteral("F&ollow boat"));
    follow_->setObjectName(QStringLiteral("mnuChartFollow"));
    followed_ = new QActionGroup(follow_);
    followed_->setExclusive(true);
    setFleet({});
    // The chart's own context menu offers it too.
    QWidget* chartWidget = window->centralWidget();
    chartWidget->setContextMenuPolicy(Qt::ActionsContextMenu);
    chartWidget->addAction(finish);
    QMenu* map = view_.createMapMenu(settings_, window);
    map->setObjectName(QStringLiteral("mnuMap"));
    window->menuBar()->addMenu(map);
}

void ChartActions::setFleet(const FleetInfo& fleet)
{
    for (QAction* action : follow_->actions()) {
        follow_->removeAction(action);
        delete action;
    }
    QAction* all = follow_->addAction(QStringLiteral("Follow the &fleet"));
    all->setObjectName(QStringLiteral("mnuChartFollowFleet"));
    all->setCheckable(true);
    all->setChecked(true);
    all->setActionGroup(followed_);
    connect(all, &QAction::triggered, this, [this] { windows_.followBoat(std::nullopt); });
    follow_->addSeparator();
    for (std::size_t k = 0; k < fleet.Boats.size(); ++k) {
        // "&" in a name is shown, not taken for a key.
        QString caption = LocalText(fleet.Boats[k].Caption).replace(u'&', QStringLiteral("&&"));
        QAction* boat = follow_->addAction(caption);
        boat->setObjectName(QStringLiteral("mnuChartFollowBoat%1").arg(k));
        boat->setCheckable(true);
        boat->setActionGroup(followed_);
        const int index = static_cast<int>(k);
        connect(boat, &QAction::triggered, this, [this, index] { windows_.followBoat(index); });
    }
    windows_.followBoat(std::nullopt);
}

void ChartActions::analysisChanged()
{
    if (showManoeuvres_->isChecked())
        showManoeuvres();
}

void ChartActions::showManoeuvres()
{
    std::vector<ManoeuvreMark> marks;
    const RaceAnalysis* race = windows_.analysis().result();
    if (showManoeuvres_->isChecked()) {
        QString note;
        if (windows_.analysis().running())
            note = QStringLiteral("The tacks and gybes are being found; they are marked once they are.");
        else if (!windows_.analysis().failure().empty())
            note = QStringLiteral("No tacks or gybes: the analysis stopped: %1")
                       .arg(LocalText(windows_.analysis().failure()));
        else if (race && !race->Wind.Known)
            note = QStringLiteral("No tacks or gybes without the wind: give its direction in the Analysis window "
                                  "(Analysis... in the control window).");
        QStatusBar* status = view_.window()->statusBar();
        if (!note.isEmpty())
            status->showMessage(note, 10'000);
        else if (status->currentMessage() == note_)
            status->clearMessage(); // what it said before is over
        note_ = note;
        for (std::size_t k = 0; race && k < race->Boats.size(); ++k) {
            const BoatAnalysis& boat = race->Boats[k];
            for (const Manoeuvre& m : boat.Manoeuvres)
                if (m.Kind == ManoeuvreKind::Tack || m.Kind == ManoeuvreKind::Gybe)
                    marks.push_back({m.Lat, m.Lon, RaceClockAt(boat.Source, m.MiddleSeconds), static_cast<int>(k),
                                     m.Kind == ManoeuvreKind::Gybe});
        }
    }
    view_.setManoeuvreMarks(std::move(marks));
}

QString ChartActions::askOutputName(const QString& title, const QString& filter, const QString& suffix)
{
    QString name = dialogs_.askFileName(title, filter, FileQuestion::Save, RaceFolder(windows_));
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += suffix;
    return name;
}

ReplaySettings ChartActions::shownSettings() const
{
    if (FrmControl* control = windows_.controlWindow())
        if (const std::optional<ReplaySettings> typed = control->typedSettings())
            return *typed;
    return windows_.session().settings();
}

void ChartActions::writeWithProgress(const QString& what, const QString& name, const QString& written,
                                     const std::function<bool(const Progress&)>& write,
                                     const std::vector<std::string>* notes)
{
    const std::unique_ptr<ProgressReport> progress = dialogs_.showProgress(
        QStringLiteral("Writing %1 %2").arg(what, QDir::toNativeSeparators(name)), ProgressKind::Cancellable);
    try {
        if (write([&](long long done, long long total) {
                progress->setProgress(done, total);
                return !progress->cancelled();
            })) {
            QString message = written.arg(QDir::toNativeSeparators(name));
            for (const std::string& note : notes ? *notes : std::vector<std::string>{})
                message += QStringLiteral("\n\n") + LocalText(note);
            dialogs_.tell(message, MessageKind::Information);
        }
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
    }
}

void ChartActions::savePicture()
{
    const QString name =
        askOutputName(QStringLiteral("Save picture"), QStringLiteral("PNG picture (*.png)"), QStringLiteral(".png"));
    if (name.isEmpty())
        return;
    try {
        const QStringList written = view_.saveView(name);
        dialogs_.tell(QStringLiteral("The picture of the chart was saved to %1, and its world file (for GIS "
                                     "programs) to %2.")
                          .arg(QDir::toNativeSeparators(written.value(0)), QDir::toNativeSeparators(written.value(1))),
                      MessageKind::Information);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Error);
    }
}

void ChartActions::exportVideo()
{
    if (windows_.raceFile().empty())
        return;
    const QString name =
        askOutputName(QStringLiteral("Export video"), QStringLiteral("MP4 video (*.mp4)"), QStringLiteral(".mp4"));
    if (name.isEmpty())
        return;
    ReplayVideoOptions options;
    options.settings = shownSettings();
    // The chart's map (a map of its own: the window's keeps drawing) and course.
    options.course = windows_.course();
    try {
        options.map = OpenMap(ReadMapChoice(settings_));
    } catch (const std::exception& e) {
        dialogs_.tell(QStringLiteral("The video is made without a map: %1").arg(LocalText(e.what())),
                      MessageKind::Warning);
    }
    writeWithProgress(
        QStringLiteral("the video"), name, QStringLiteral("The video was written to %1."),
        [&](const Progress& progress) { return ExportReplayVideo(windows_.raceFile(), name, options, progress); });
}

void ChartActions::exportWebPage()
{
    if (windows_.raceFile().empty())
        return;
    const QString name =
        askOutputName(QStringLiteral("Export web page"), QStringLiteral("Web page (*.html)"), QStringLiteral(".html"));
    if (name.isEmpty())
        return;
    // The race and the settings as the windows show them: the control window's boxes, its
    // tail, the chart's map and finish line.
    ReplayPageOptions options;
    options.settings = shownSettings();
    if (FrmControl* control = windows_.controlWindow())
        options.page.TailMinutes = control->tailMinutes();
    options.page.Map = ReadMapChoice(settings_);
    options.page.RaceCourse = windows_.leaderboard().course();
    std::vector<std::string> notes;
    writeWithProgress(
        QStringLiteral("the web page"), name,
        QStringLiteral("The web page was written to %1. It opens in any browser, with no server."),
        [&](const Progress& progress) {
            return ExportReplayPage(windows_.raceFile(), name, options, progress, &notes);
        },
        &notes);
}

void ChartActions::editCourse()
{
    if (windows_.raceFile().empty())
        return;
    if (courseEditor_ && courseEditor_->isVisible()) {
        courseEditor_->raise();
        courseEditor_->activateWindow();
        return;
    }
    delete courseEditor_.data();
    CourseEditor::Hooks hooks;
    hooks.propose = [this] {
        const AnalysisRun& analysis = windows_.analysis();
        if (!analysis.result())
            throw Error(analysis.running() ? std::string("The tracks are still being analysed: try again in a moment.")
                                           : "The tracks could not be analysed: " + analysis.failure());
        Course proposal = ProposeCourse(*analysis.result()).Plan;
        if (proposal.Marks.empty())
            throw Error("No turns of more than 60 degrees cluster in the tracks: there is no mark to propose.");
        return proposal;
    };
    hooks.saved = [this](const Course& course) { windows_.setCourse(course); };
    courseEditor_ = new CourseEditor(windows_.raceFile(), windows_.course().value_or(Course{}), windows_.earth(),
                                     dialogs_, std::move(hooks), view_.window());
    courseEditor_->setAttribute(Qt::WA_DeleteOnClose);
    courseEditor_->show();
}

void ChartActions::keepFinishLine(const FinishLine& line)
{
    const std::string& race = windows_.raceFile();
    try {
        CheckFinishLine(line);
        SaveCourseFinishLine(race, line);
    } catch (const std::exception& e) {
        dialogs_.tell(LocalText(e.what()), MessageKind::Warning);
        return;
    }
    windows_.setFinishLine(line);
    if (courseEditor_)
        courseEditor_->finishLineKept(line);
    view_.window()->statusBar()->showMessage(
        QStringLiteral("The finish line is kept in %1.")
            .arg(QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(CourseFilePath(race))))),
        10'000);
}

void ChartActions::typeFinishLine()
{
    if (windows_.raceFile().empty())
        return;
    QStringList values;
    if (const std::optional<FinishLine> line = windows_.leaderboard().finishLine())
        for (const double value : {line->Lat1, line->Lon1, line->Lat2, line->Lon2})
            values << QString::number(value, 'f', 6);
    const std::optional<QStringList> typed = dialogs_.askTexts(
        QStringLiteral("Finish line"),
        QStringLiteral("The two ends of the finish line in decimal degrees (north and east positive). Boats finish "
                       "crossing it from the left of the first end towards the second to its right."),
        {QStringLiteral("First end, latitude"), QStringLiteral("First end, longitude"),
         QStringLiteral("Second end, latitude"), QStringLiteral("Second end, longitude")},
        values);
    if (!typed)
        return;
    double ends[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string text = typed->value(i).toLocal8Bit().toStdString();
        bool number = false;
        try {
            number = TryNumberOfText(text, ends[i]);
        } catch (const std::exception&) {
        }
        if (!number || !std::isfinite(ends[i])) {
            dialogs_.tell(
                QStringLiteral("\"%1\" is no number of degrees: the finish line stays as it was.").arg(typed->value(i)),
                MessageKind::Warning);
            return;
        }
    }
    keepFinishLine(FinishLine{ends[0], ends[1], ends[2], ends[3]});
}

void ChartActions::pickFinishLine()
{
    if (windows_.raceFile().empty())
        return;
    view_.window()->statusBar()->showMessage(
        QStringLiteral("Click the first end of the finish line, then the second: boats finish crossing it from the "
                       "left of the first end towards the second to its right. Esc gives up."));
    view_.pickPositions(2, [this](std::vector<std::pair<double, double>> ends) {
        view_.window()->statusBar()->clearMessage();
        keepFinishLine(FinishLine{ends.at(0).first, ends.at(0).second, ends.at(1).first, ends.at(1).second});
    });
}

} // namespace tideplot
