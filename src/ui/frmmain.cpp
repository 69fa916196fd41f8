#include "ui/frmmain.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/racecheck.h"
#include "core/records.h"
#include "core/text.h"
#include "core/trackfixes.h"
#include "earth/replayview.h"
#include "import/logimport.h"
#include "replay/earthobserver.h"
#include "replay/viewobserver.h"
#include "share/licences.h"
#include "share/replayvideo.h"
#include "tideplot/version.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/frmcontrol.h"
#include "ui/frmresults.h"
#include "ui/racefile.h"
#include "ui/settings.h"
#include "ui/trackbrowser.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <vector>

namespace tideplot {

namespace {

constexpr int kClientWidthTwips = 11820;
constexpr int kClientHeightTwips = 10725;

using K = ControlKind;
// The controls, as designed, but for the row of four boxes: the start time box is wide enough
// for a whole "YYYY-MM-DD hh:mm:ss" and the colour box narrower. The tab order follows the screen: the track browser
// (its rows, tab 2 to 5, are in TrackBrowser::Layout()), the preview, the four boxes, the import button, Add, Change
// and Delete, the boat list, and Start.
constexpr ControlRow kMainRows[] = {
    {"sbStatusBar", K::StatusBar, 0, 10455, 11820, 270, "", "", 0},
    {"tbToolBar", K::ToolBar, 0, 0, 11820, 420, "", "", 1},
    {"cmdStart", K::CommandButton, 4800, 120, 2175, 329, "Start", "Start Google earth plot ", 16},
    {"lstBoats", K::ListBox, 120, 480, 11415, 1620, "", "", 15},
    {"cmdDelete", K::CommandButton, 9720, 2280, 855, 615, "Delete", "Delete selected track from plotsession", 14},
    {"cmdAdd", K::CommandButton, 7800, 2280, 855, 615, "Add", "Add track to plotsession", 12},
    {"cmdChange", K::CommandButton, 8760, 2280, 855, 615, "Change", "Change data in selected track", 13},
    {"cmdParse", K::PictureButton, 7080, 2280, 555, 570, "", "Parse KLM file", 11},
    {"txtStarttid", K::TextBox, 2760, 2520, 2040, 285, "2007-01-01 12:30:00", "Startime to be added", 7},
    {"txtLYStal", K::TextBox, 4860, 2520, 555, 285, "1.10", "LYS for selected track to be added", 8},
    {"txtTrackFile", K::MultiLineTextBox, 2760, 2880, 8895, 7455, "", "Content in selected track file", 6},
    {"txtColor", K::TextBox, 5535, 2520, 645, 285, "100", "Color of track (0-1300)", 9},
    {"txtSepChar", K::TextBox, 6240, 2520, 495, 285, ",", "Separation character between information in selected track",
     10},
    {"Label1", K::Label, 2760, 2280, 2040, 255, "Start tid", "", 17},
    {"Label2", K::Label, 4860, 2280, 615, 255, "LYS tal", "", 18},
    {"lblColor", K::Label, 5535, 2280, 495, 255, "Färg", "", 19},
    {"Label4", K::Label, 6240, 2280, 780, 255, "SepChar", "", 20},
    {"lblDrive", K::Label, 120, 2310, 480, 255, "Drive", "", 21},
};

// Tool bar buttons, left to right: key (also the tool tip) and picture.
constexpr std::pair<const char*, const char*> kToolBarButtons[] = {
    {"New", "new"},
    {"Open", "open"},
    {"Save", "save"},
    {"Save as", "save"},
};

const QString kRaceFileFilter = QStringLiteral("All Files (*.TP1)");
// Every log the import reads first; the classic filter stays in the list.
const QString kLogFilter =
    QString::fromLatin1(kImportFileFilterLogs) + QStringLiteral(";;") + QString::fromLatin1(kImportFileFilterKml);

std::string Bytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

std::string FileNameBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString FromBytes(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes);
}

// Calls `resized` whenever the watched widget changes size.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QWidget* watched, std::function<void()> resized) : QObject(watched), resized_(std::move(resized))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            resized_();
        return false;
    }

private:
    std::function<void()> resized_;
};

// The import of one log, with its progress shown.
LogImportResult RunLogImport(const QString& logPath, UserDialogs& dialogs, bool split)
{
    const std::unique_ptr<ProgressReport> progress =
        dialogs.showProgress(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(logPath)));
    const LogProgress shown = [&](std::int64_t done, std::int64_t total) { progress->setProgress(done, total); };
    return split ? ImportLogSplit(FileNameBytes(logPath), shown) : ImportLog(FileNameBytes(logPath), shown);
}

MessageKind ReportKind(const LogImportResult& result)
{
    return result.PointCount == 0 || !result.Warnings.empty() ? MessageKind::Warning : MessageKind::Information;
}

// The project's own pages: where the program is installed (`cmake --install` puts the README
// and the FAQ under share/doc), or the source tree's copy beside a program that runs from its
// build folder. Never a path that does not exist on this computer: nothing when none does.
QString DocumentUrl(const QString& name)
{
    const QString besideProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../" TIDEPLOT_DOC_DIR "/") + name;
    const QString installed = QStringLiteral(TIDEPLOT_INSTALLED_DOC_DIR "/") + name;
    const QString source = QStringLiteral(TIDEPLOT_SOURCE_DIR "/") + name;
    for (const QString& file : {besideProgram, installed, source})
        if (QFileInfo(file).isFile())
            return QUrl::fromLocalFile(QFileInfo(file).canonicalFilePath()).toString();
    return {};
}

} // namespace

QString FrmMain::AboutText()
{
    const QString readme = DocumentUrl(QStringLiteral("README.md"));
    const QString faq = DocumentUrl(QStringLiteral("FAQ.md"));
    const QString missing = QStringLiteral("(the documentation is not installed on this computer)");
    return QStringLiteral("Version %1.%2.%3\n%4\nFAQ and instructions: %5")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision)
        .arg(readme.isEmpty() ? missing : readme, faq.isEmpty() ? missing : faq);
}

FrmMain::FrmMain(Options options)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)), ownSettings_(options_.settings ? nullptr : OpenUserSettings()),
      ownDialogs_(options_.dialogs ? nullptr : std::make_unique<WidgetDialogs>(this)),
      dialogs_(options_.dialogs ? *options_.dialogs : *ownDialogs_),
      settings_(options_.settings ? *options_.settings : *ownSettings_)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(ArtworkIcon(QStringLiteral("globe")));
    makeControls();
    makeMenus();
    showTitle();
    chartDescription_.setInterval(1000);
    connect(&chartDescription_, &QTimer::timeout, this, [this] { describeChart(); });
    session_.addObserver(&leaderboard_);
    // The results window's leaderboard follows the replay four times a second.
    leaderboardShown_.setInterval(250);
    connect(&leaderboardShown_, &QTimer::timeout, this, [this] {
        if (frmResults_ && frmResults_->isVisible())
            frmResults_->showLeaderboard(leaderboard_.rows(), session_.fleet());
        else
            leaderboardShown_.stop();
    });
    Form_Load();
}

FrmMain::~FrmMain()
{
    Form_Unload(false);
    session_.removeObserver(&leaderboard_);
}

FrmControl* FrmMain::controlWindow() const
{
    return frmControl_.data();
}

void FrmMain::makeControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);

    tbToolBar = MakeControl<QToolBar>(client_, "tbToolBar");
    sbStatusBar = MakeControl<QStatusBar>(client_, "sbStatusBar");
    cmdStart = MakeControl<QPushButton>(client_, "cmdStart");
    lstBoats = MakeControl<QListWidget>(client_, "lstBoats");
    cmdDelete = MakeControl<QPushButton>(client_, "cmdDelete");
    cmdAdd = MakeControl<QPushButton>(client_, "cmdAdd");
    cmdChange = MakeControl<QPushButton>(client_, "cmdChange");
    cmdParse = MakeControl<QPushButton>(client_, "cmdParse");
    txtStarttid = MakeControl<QLineEdit>(client_, "txtStarttid");
    txtLYStal = MakeControl<QLineEdit>(client_, "txtLYStal");
    txtTrackFile = MakeControl<QPlainTextEdit>(client_, "txtTrackFile");
    txtColor = MakeControl<QLineEdit>(client_, "txtColor");
    txtSepChar = MakeControl<QLineEdit>(client_, "txtSepChar");
    Label1 = MakeControl<QLabel>(client_, "Label1");
    Label2 = MakeControl<QLabel>(client_, "Label2");
    lblColor = MakeControl<QLabel>(client_, "lblColor");
    Label4 = MakeControl<QLabel>(client_, "Label4");
    browser_ = std::make_unique<TrackBrowser>(client_, txtTrackFile, dialogs_);
    lblDrive = MakeControl<QLabel>(client_, "lblDrive");

    Label1->setBuddy(txtStarttid);
    Label2->setBuddy(txtLYStal);
    lblColor->setBuddy(txtColor);
    Label4->setBuddy(txtSepChar);
    lblDrive->setBuddy(browser_->Drive1);
    txtTrackFile->setAccessibleName(QStringLiteral("Content in selected track file"));
    txtTrackFile->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The preview only shows the file: Tab moves on instead of typing into it.
    txtTrackFile->setReadOnly(true);
    txtTrackFile->setTabChangesFocus(true);
    txtTrackFile->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lstBoats->setSelectionMode(QAbstractItemView::SingleSelection);
    lstBoats->setAccessibleName(QStringLiteral("Boats"));
    cmdParse->setIcon(QIcon(Artwork(QStringLiteral("kmlimport"), 16, devicePixelRatioF())));
    cmdParse->setIconSize(QSize(16, 16));
    cmdParse->setAccessibleName(QStringLiteral("Parse KLM file"));
    cmdStart->setEnabled(false);
    makeToolBar();
    makeStatusBar();

    std::vector<ControlRow> rows(std::begin(kMainRows), std::end(kMainRows));
    const auto browserRows = TrackBrowser::Layout();
    rows.insert(rows.begin() + 8, browserRows.begin(), browserRows.end());
    const double dpi = LogicalDpi(this);
    BuildForm(client_, rows, dpi);
    for (QLineEdit* box : {txtStarttid, txtLYStal, txtColor, txtSepChar})
        box->setCursorPosition(0);
    cmdStart->raise(); // it stands on the tool bar's strip
    // The window may grow, never shrink below the designed size: every control stays in view.
    client_->setMinimumSize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));
    new ResizeWatcher(client_, [this] { followClientSize(); });

    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdChange, &QPushButton::clicked, this, [this] { cmdChange_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdParse, &QPushButton::clicked, this, [this] { cmdParse_Click(); });
    connect(lstBoats, &QListWidget::itemSelectionChanged, this, [this] { lstBoats_Click(); });
    connect(lstBoats, &QListWidget::itemClicked, this, [this] { lstBoats_Click(); });
    connect(txtColor, &QLineEdit::textChanged, this, [this] { txtColor_Change(); });
}

void FrmMain::makeToolBar()
{
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(16, 16));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbToolBar->setFocusPolicy(Qt::NoFocus);
}

void FrmMain::makeStatusBar()
{
    statusText_ = new QLabel(QStringLiteral("Status"), sbStatusBar);
    statusDate_ = new QLabel(sbStatusBar);
    statusTime_ = new QLabel(sbStatusBar);
    sbStatusBar->addWidget(statusText_, 1);
    sbStatusBar->addPermanentWidget(statusDate_);
    sbStatusBar->addPermanentWidget(statusTime_);
    clock_.setSingleShot(true);
    connect(&clock_, &QTimer::timeout, this, [this] { showClock(); });
    showClock();
}

void FrmMain::showClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    statusDate_->setText(locale.toString(now.date(), QLocale::ShortFormat));
    statusTime_->setText(locale.toString(now.time(), QLocale::ShortFormat));
    // Again just after the next full second.
    clock_.start(1000 - now.time().msec() + 20);
}

QAction* FrmMain::makeFileAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& keys)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    return action;
}

void FrmMain::makeMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    // The standard keys of the platform, or the usual ones where it has none.
    const auto standard = [](QKeySequence::StandardKey key, const QKeySequence& usual) {
        const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
        return bindings.isEmpty() ? usual : bindings.constFirst();
    };
    QAction* fileNew =
        makeFileAction(mnuFile, "mnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction* fileOpen = makeFileAction(mnuFile, "mnuFileOpen", QStringLiteral("&Open..."),
                                       standard(QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O)));
    QAction* fileClose = makeFileAction(mnuFile, "mnuFileClose", QStringLiteral("&Close"), {});
    QAction* fileSave = makeFileAction(mnuFile, "mnuFileSave", QStringLiteral("&Save"),
                                       standard(QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_S)));
    QAction* fileSaveAs =
        makeFileAction(mnuFile, "mnuFileSaveAs", QStringLiteral("Save &As..."),
                       standard(QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
    QAction* fileExit = makeFileAction(mnuFile, "mnuFileExit", QStringLiteral("E&xit"),
                                       standard(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));
    // The tool bar's buttons are the menu's own items: one action each, run by the tool bar's
    // key whether the menu, the tool bar or a shortcut triggers it.
    const std::pair<QAction*, const char*> toolBarItems[] = {
        {fileNew, "New"}, {fileOpen, "Open"}, {fileSave, "Save"}, {fileSaveAs, "Save as"}};
    for (const auto& [action, key] : toolBarItems) {
        action->setIcon(QIcon(Artwork(QString::fromLatin1(key == std::string_view("Open")  ? "open"
                                                          : key == std::string_view("New") ? "new"
                                                                                           : "save"),
                                      16, devicePixelRatioF())));
        action->setToolTip(QString::fromLatin1(key));
        action->setData(QString::fromLatin1(key));
        action->setIconVisibleInMenu(false);
        tbToolBar->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, key = QString::fromLatin1(key)] { tbToolBar_ButtonClick(key); });
    }
    connect(fileClose, &QAction::triggered, this, [this] { mnuFileClose_Click(); });
    connect(fileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* about = mnuHelp->addAction(QStringLiteral("&About "));
    about->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(about, &QAction::triggered, this, [this] { mnuHelpAbout_Click(); });
}

void FrmMain::followClientSize()
{
    // The tool bar and the status bar run along the top and bottom edges; every other
    // control keeps its place and size.
    const int width = client_->width();
    tbToolBar->resize(width, tbToolBar->height());
    sbStatusBar->setGeometry(0, client_->height() - sbStatusBar->height(), width, sbStatusBar->height());
}

void FrmMain::showTitle()
{
    const QString title = QStringLiteral("Tideplot1.0");
    if (raceFileName_.empty()) {
        setWindowTitle(title);
        setWindowModified(false);
        return;
    }
    setWindowTitle(title + QStringLiteral(" - ") + FromBytes(FileLabel(raceFileName_)) + QStringLiteral("[*]"));
    setWindowModified(boats_.rows() != savedRows_);
}

// ---- Window settings, About and exit ----

void FrmMain::Form_Load()
{
    // The window system's record of the last run puts the window back exactly as it was.
    const QByteArray geometry = ReadMainGeometry(settings_);
    if (!geometry.isEmpty() && restoreGeometry(geometry)) {
        restored_ = true;
        return;
    }
    const WindowPlacement p = ReadMainPlacement(settings_);
    const double dpi = LogicalDpi(this);
    placement_ = QRect(TwipsToPixels(p.Left, dpi), TwipsToPixels(p.Top, dpi), TwipsToPixels(p.Width, dpi),
                       TwipsToPixels(p.Height, dpi));
    if (!HasStoredMainSize(settings_)) {
        // A first start: every control in view, the window at its designed size.
        placement_.setSize(QSize());
        resize(client_->minimumSize() + QSize(0, menuBar()->sizeHint().height()));
    } else {
        resize(placement_.size());
    }
    move(placement_.topLeft());
}

void FrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (placed_)
        return;
    placed_ = true;
    if (restored_)
        return;
    // The stored size is the outer frame's; once the frame is known the inside is set to fit.
    // A first start keeps the designed size and is moved inside the screen, again once the
    // window manager has put its frame around the window.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            return;
        if (!placement_.size().isValid())
            return fitOnScreen();
        const QSize frame = frameGeometry().size() - size();
        if (!frame.isEmpty())
            resize(placement_.size() - frame);
    });
    if (!placement_.size().isValid())
        QTimer::singleShot(300, this, [this] { fitOnScreen(); });
}

void FrmMain::fitOnScreen()
{
    if (isMinimized() || !isVisible())
        return;
    const QRect screen = this->screen()->availableGeometry();
    const QRect outer = frameGeometry();
    const QPoint at(std::max(screen.left(), std::min(outer.left(), screen.right() + 1 - outer.width())),
                    std::max(screen.top(), std::min(outer.top(), screen.bottom() + 1 - outer.height())));
    if (at != outer.topLeft())
        move(at);
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    Form_Unload(true);
    QMainWindow::closeEvent(event);
}

void FrmMain::Form_Unload(bool tellProblems)
{
    delete frmControl_; // closes the replay's track files
    if (ReplayView* view = replayView())
        view->window()->close();
    chartDescription_.stop();
    if (!isMinimized() && placed_) {
        const double dpi = LogicalDpi(this);
        auto twips = [dpi](int px) { return static_cast<float>(std::lround(px * kTwipsPerInch / dpi)); };
        const QRect frame = frameGeometry();
        const QString problem = WriteMainPlacement(
            settings_, {twips(frame.x()), twips(frame.y()), twips(frame.width()), twips(frame.height())},
            saveGeometry());
        if (!problem.isEmpty() && tellProblems)
            dialogs_.tell(problem, MessageKind::Warning);
    }
    placed_ = false;
}

void FrmMain::mnuFileExit_Click()
{
    close();
}

void FrmMain::mnuHelpAbout_Click()
{
    // The licence and the libraries the program is built from, behind "Show Details...".
    dialogs_.tellWithDetails(AboutText(), ThirdPartyLicencesText());
}

// ---- Start ----

namespace {

// Calls `closed` when the watched window closes.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* watched, std::function<void()> closed) : QObject(watched), closed_(std::move(closed))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            closed_();
        return false;
    }

private:
    std::function<void()> closed_;
};

} // namespace

void FrmMain::cmdStart_Click()
{
    if (frmControl_ && frmControl_->isVisible())
        return;
    delete frmControl_; // closes the replay that was open
    if (ReplayView* view = replayView())
        if (view->window()->isVisible())
            viewGeometry_ = view->window()->geometry();
    chartDescription_.stop();
    for (FrameObserver* observer :
         {static_cast<FrameObserver*>(earthObserver_.get()), static_cast<FrameObserver*>(viewObserver_.get())})
        if (observer)
            session_.removeObserver(observer);
    earthObserver_.reset();
    viewObserver_.reset();
    earthApp_.reset();
    try {
        earthApp_ = options_.createEarth();
    } catch (const std::exception& e) {
        dialogs_.tell(QStringLiteral("The view cannot be opened: %1").arg(FromBytes(e.what())), MessageKind::Error);
        return;
    }

    frmControl_ = new FrmControl(session_, dialogs_, this);
    frmControl_->setAttribute(Qt::WA_DeleteOnClose);
    frmControl_->leaderboard = &leaderboard_;
    frmControl_->onResults = [this] { showResults(); };
    // The view observes the replay: the chart takes the pieces as values, any other view
    // (Google Earth Pro, say) the documents.
    if (ReplayView* view = earthApp_->replayView()) {
        viewObserver_ = std::make_unique<ReplayViewObserver>(*earthApp_, *view);
        session_.addObserver(viewObserver_.get());
        frmControl_->onTailChanged = [view](double minutes) { view->setTailMinutes(minutes); };
    } else {
        earthObserver_ = std::make_unique<GoogleEarthObserver>(*earthApp_);
        session_.addObserver(earthObserver_.get());
    }
    showView();
    frmControl_->show();

    loadFinishLine();
    try {
        session_.start(raceFileName_, ReplaySettings{}, true);
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        if (frmControl_)
            frmControl_->close(); // nothing was loaded to play
        return;
    }
    if (ReplayView* view = replayView()) {
        // Until the first step the chart shows the whole race.
        FixBox race;
        const RaceState& state = session_.state();
        for (int k = 0; k < state.BoatCount; ++k) {
            try {
                race.add(TrackFixesBox(session_.fleet().Boats[static_cast<std::size_t>(k)].TrackFile,
                                       state.SepChar[static_cast<std::size_t>(k)]));
            } catch (const Error&) {
                // The replay reports a track it cannot read when it gets there.
            }
        }
        view->showBox(race);
        describeChart();
        chartDescription_.start();
    }
    // What the view and the race have to say (start times in another time zone than the
    // tracks, a settings store that cannot keep the link's address) is said once; the
    // replay stays ready to play.
    QStringList warnings;
    for (const std::string& warning : earthApp_->TakeWarnings())
        warnings += FromBytes(warning);
    for (const std::string& warning : StartTimeWarnings(session_.state()))
        warnings += FromBytes(warning);
    if (!warnings.isEmpty())
        dialogs_.tell(warnings.join(QStringLiteral("\n\n")), MessageKind::Warning);
    // Space plays at once.
    if (frmControl_)
        frmControl_->focusPlay();
}

ReplayView* FrmMain::replayView() const
{
    return earthApp_ ? earthApp_->replayView() : nullptr;
}

void FrmMain::showView()
{
    ReplayView* view = replayView();
    QMainWindow* window = view ? view->window() : nullptr;
    placeReplayWindows(window);
    if (!window)
        return;
    window->setWindowIcon(windowIcon());
    QWidget* chart = window->centralWidget();
    window->setAccessibleName(QStringLiteral("Chart"));
    chart->setAccessibleName(QStringLiteral("Chart"));
    chart->setToolTip(QStringLiteral("Drag to pan, Shift+drag to turn; wheel, + and - zoom; [ and ] turn by 15 "
                                     "degrees; arrow keys pan; N puts north up"));
    makeChartMenus(*view);
    // Closing the chart ends the replay, as closing the control window does.
    new CloseWatcher(window, [this] {
        chartDescription_.stop();
        if (frmControl_)
            frmControl_->close();
    });
    window->show();
}

void FrmMain::makeChartMenus(ReplayView& view)
{
    QMainWindow* window = view.window();
    QMenu* chart = window->menuBar()->addMenu(QStringLiteral("&Chart"));
    chart->setObjectName(QStringLiteral("mnuChart"));
    QAction* picture = chart->addAction(QStringLiteral("Save &picture..."));
    picture->setObjectName(QStringLiteral("mnuChartSavePicture"));
    picture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(picture, &QAction::triggered, this, [this] { savePicture(); });
    QAction* video = chart->addAction(QStringLiteral("Export &video..."));
    video->setObjectName(QStringLiteral("mnuChartExportVideo"));
    connect(video, &QAction::triggered, this, [this] { exportVideo(); });
    QAction* finish = chart->addAction(QStringLiteral("Set &finish line"));
    finish->setObjectName(QStringLiteral("mnuChartSetFinishLine"));
    finish->setShortcut(QKeySequence(Qt::Key_F));
    connect(finish, &QAction::triggered, this, [this] { setFinishLine(); });
    // The chart's own context menu offers it too.
    QWidget* chartWidget = window->centralWidget();
    chartWidget->setContextMenuPolicy(Qt::ActionsContextMenu);
    chartWidget->addAction(finish);
    QMenu* map = view.createMapMenu(settings_, window);
    map->setObjectName(QStringLiteral("mnuMap"));
    window->menuBar()->addMenu(map);
}

void FrmMain::savePicture()
{
    ReplayView* view = replayView();
    if (!view)
        return;
    QString name = dialogs_.askFileName(QStringLiteral("Save picture"), QStringLiteral("PNG picture (*.png)"),
                                        FileQuestion::Save, QFileInfo(raceFileName()).absolutePath());
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".png");
    try {
        view->saveView(name);
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
    }
}

void FrmMain::exportVideo()
{
    if (raceFileName_.empty())
        return;
    QString name = dialogs_.askFileName(QStringLiteral("Export video"), QStringLiteral("MP4 video (*.mp4)"),
                                        FileQuestion::Save, QFileInfo(raceFileName()).absolutePath());
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".mp4");
    ReplayVideoOptions options;
    options.settings = session_.settings();
    if (frmControl_)
        if (const std::optional<ReplaySettings> typed = frmControl_->typedSettings())
            options.settings = *typed;
    const std::unique_ptr<ProgressReport> progress = dialogs_.showProgress(
        QStringLiteral("Writing the video %1").arg(QDir::toNativeSeparators(name)), ProgressKind::Cancellable);
    try {
        const bool written = ExportReplayVideo(raceFileName_, name, options, [&](long long done, long long total) {
            progress->setProgress(done, total);
            return !progress->cancelled();
        });
        if (written)
            dialogs_.tell(QStringLiteral("The video was written to %1.").arg(QDir::toNativeSeparators(name)),
                          MessageKind::Information);
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
    }
}

void FrmMain::loadFinishLine()
{
    std::optional<FinishLine> line;
    if (QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(CourseFilePath(raceFileName_))))) {
        try {
            line = ReadCourseFinishLine(raceFileName_);
        } catch (const std::exception& e) {
            dialogs_.tell(FromBytes(e.what()), MessageKind::Warning);
        }
    }
    leaderboard_.setFinishLine(line);
    if (ReplayView* view = replayView())
        view->setFinishLine(line);
}

void FrmMain::setFinishLine()
{
    ReplayView* view = replayView();
    if (!view || raceFileName_.empty())
        return;
    view->window()->statusBar()->showMessage(
        QStringLiteral("Click the first end of the finish line, then the second: boats finish crossing it from the "
                       "left of the first end towards the second to its right. Esc gives up."));
    view->pickPositions(2, [this, view](std::vector<std::pair<double, double>> ends) {
        view->window()->statusBar()->clearMessage();
        const FinishLine line{ends.at(0).first, ends.at(0).second, ends.at(1).first, ends.at(1).second};
        try {
            CheckFinishLine(line);
            SaveCourseFinishLine(raceFileName_, line);
        } catch (const std::exception& e) {
            dialogs_.tell(FromBytes(e.what()), MessageKind::Warning);
            return;
        }
        view->setFinishLine(line);
        // The leaderboard of the new line, as if it had been there from the start.
        leaderboard_.setFinishLine(line);
        leaderboard_.rewound(session_.lastFrame(), session_.series(), 0);
        view->window()->statusBar()->showMessage(QStringLiteral("The finish line is kept in %1.")
                                                     .arg(QDir::toNativeSeparators(QFile::decodeName(
                                                         QByteArray::fromStdString(CourseFilePath(raceFileName_))))),
                                                 10'000);
        if (frmResults_ && frmResults_->isVisible())
            showResults();
    });
}

void FrmMain::showResults()
{
    if (raceFileName_.empty())
        return;
    std::optional<FinishLine> line = leaderboard_.finishLine();
    if (!line) {
        dialogs_.tell(
            QStringLiteral("The race has no finish line yet: set one in the chart (Chart > Set finish line, "
                           "or F in the chart), or with \"tideplot results %1 --finish LAT1,LON1,LAT2,LON2\".")
                .arg(FromBytes(FileLabel(raceFileName_))),
            MessageKind::Information);
        return;
    }
    if (!frmResults_) {
        frmResults_ = new FrmResults(dialogs_, this);
        frmResults_->setAttribute(Qt::WA_DeleteOnClose);
        frmResults_->setWindowIcon(windowIcon());
    }
    frmResults_->showResults(raceFileName_, *line, FromBytes(FileLabel(CourseFilePath(raceFileName_))));
    frmResults_->showLeaderboard(leaderboard_.rows(), session_.fleet());
    frmResults_->show();
    frmResults_->raise();
    frmResults_->activateWindow();
    leaderboardShown_.start();
}

void FrmMain::placeReplayWindows(QWidget* view)
{
    // The chart and the control window go where they cover neither each other nor the
    // set-up window: beside it when there is room, the control window under the chart, all
    // inside the screen's available area. Frames are taken to be as thick as this window's.
    const QRect screen = this->screen()->availableGeometry();
    const QRect setup = frameGeometry();
    const QMargins frame(geometry().left() - setup.left(), geometry().top() - setup.top(),
                         setup.right() - geometry().right(), setup.bottom() - geometry().bottom());
    const QSize frameExtra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize controlOuter = frmControl_->size() + frameExtra;
    constexpr int kMinChartWidth = 360;

    QRect area; // where the chart and the control window go, outer frames
    if (screen.right() - setup.right() >= kMinChartWidth)
        area = QRect(QPoint(setup.right() + 1, screen.top()), screen.bottomRight());
    else if (setup.left() - screen.left() >= kMinChartWidth)
        area = QRect(screen.topLeft(), QPoint(setup.left() - 1, screen.bottom()));
    else // over the set-up window's lower part: its Start button and tool bar stay in view
        area = QRect(QPoint(screen.left(), std::max(screen.top(), geometry().top() + cmdStart->geometry().bottom() +
                                                                      menuBar()->height() + 8)),
                     screen.bottomRight());

    if (view) {
        QRect chart = viewGeometry_;
        if (!chart.isValid()) {
            const QSize room(area.width() - frameExtra.width(),
                             area.height() - controlOuter.height() - frameExtra.height());
            const QSize size = view->sizeHint().boundedTo(room).expandedTo(view->minimumSizeHint());
            chart = QRect(area.topLeft() + QPoint(frame.left(), frame.top()), size.boundedTo(room));
            viewGeometry_ = chart;
        }
        view->setGeometry(chart);
        const QRect chartOuter = chart.marginsAdded(frame);
        int top = chartOuter.bottom() + 1;
        if (top + controlOuter.height() > screen.bottom() + 1)
            top = std::max(screen.top(), chartOuter.top()); // no room under it: beside Start's row
        frmControl_->move(std::clamp(chartOuter.left(), screen.left(), screen.right() + 1 - controlOuter.width()), top);
    } else {
        frmControl_->move(std::clamp(area.left(), screen.left(), screen.right() + 1 - controlOuter.width()),
                          std::clamp(area.top(), screen.top(), screen.bottom() + 1 - controlOuter.height()));
    }
}

void FrmMain::describeChart()
{
    ReplayView* view = replayView();
    if (!view)
        return;
    // For a screen reader: the race, the race time and the boats in view.
    QStringList inView;
    for (const std::string& caption : view->boatsInView())
        inView << FromBytes(caption);
    const QString raceTime = frmControl_ ? frmControl_->raceTimeShown() : QString();
    const QString description =
        QStringLiteral("Chart of the race %1%2; %3")
            .arg(FromBytes(FileLabel(raceFileName_)),
                 raceTime.isEmpty() ? QString() : QStringLiteral(" at race time ") + raceTime,
                 inView.isEmpty() ? QStringLiteral("no boat in view")
                                  : QStringLiteral("boats in view: ") + inView.join(QStringLiteral(", ")));
    view->window()->setAccessibleDescription(description);
    view->window()->centralWidget()->setAccessibleDescription(description);
}

// ---- Boat list editing ----

void FrmMain::showRows()
{
    const QSignalBlocker quiet(lstBoats);
    lstBoats->clear();
    for (const std::string& row : boats_.rows())
        lstBoats->addItem(FromBytes(row));
    lstBoats->setCurrentRow(boats_.highlightedRow());
    showTitle();
}

EntryBoxes FrmMain::typedBoxes() const
{
    return {Bytes(txtStarttid->text()), Bytes(txtLYStal->text()), Bytes(txtColor->text()), Bytes(txtSepChar->text())};
}

void FrmMain::showBoxes(const EntryBoxes& boxes)
{
    const std::pair<QLineEdit*, const std::string*> shown[] = {{txtStarttid, &boxes.StartTime},
                                                               {txtLYStal, &boxes.Lys},
                                                               {txtColor, &boxes.Colour},
                                                               {txtSepChar, &boxes.SepChar}};
    for (const auto& [box, text] : shown) {
        box->setText(FromBytes(*text));
        box->setCursorPosition(0); // a text wider than its box shows its start
    }
}

std::optional<EntryBoxes> FrmMain::checkedBoxes()
{
    // A decimal comma in the LYS box becomes a point; any other "," would split the entry.
    const QString lys = FromBytes(LysBoxText(Bytes(txtLYStal->text())));
    if (lys != txtLYStal->text())
        txtLYStal->setText(lys);
    EntryBoxes boxes = typedBoxes();
    const std::string problem = EntryBoxesCommaProblem(boxes.StartTime, boxes.Lys, boxes.Colour);
    if (!problem.empty()) {
        dialogs_.tell(FromBytes(problem), MessageKind::Warning);
        return std::nullopt;
    }
    return boxes;
}

void FrmMain::cmdAdd_Click()
{
    if (browser_->selectedFileName().isEmpty())
        return;
    const std::optional<EntryBoxes> boxes = checkedBoxes();
    if (boxes && boats_.add(FileNameBytes(browser_->folderPath()), FileNameBytes(browser_->selectedFileName()),
                            QDir::separator().toLatin1(), *boxes))
        showRows();
}

void FrmMain::cmdChange_Click()
{
    if (boats_.highlightedRow() < 0)
        return;
    const std::optional<EntryBoxes> boxes = checkedBoxes();
    if (boxes && boats_.change(*boxes))
        showRows();
}

void FrmMain::cmdDelete_Click()
{
    if (boats_.remove())
        showRows();
}

void FrmMain::lstBoats_Click()
{
    const QList<QListWidgetItem*> selected = lstBoats->selectedItems();
    EntryBoxes shown;
    if (boats_.select(selected.isEmpty() ? -1 : lstBoats->row(selected.constFirst()), shown))
        showBoxes(shown);
}

void FrmMain::txtColor_Change()
{
    SetLabelWindowColour(lblColor, SwatchColour(Bytes(txtColor->text())));
}

// ---- The race file ----

QString FrmMain::raceFileName() const
{
    return QFile::decodeName(QByteArray::fromStdString(raceFileName_));
}

QString FrmMain::askRaceFileName(const QString& title, FileQuestion question)
{
    // Open starts in the current race's folder; a new race beside the track files shown.
    QString folder = browser_->folderPath();
    if (question == FileQuestion::Open && !raceFileName_.empty())
        folder = QFileInfo(raceFileName()).absolutePath();
    QString name = dialogs_.askFileName(title, kRaceFileFilter, question, folder);
    // A name typed without an extension gets the race file's, so that the Open dialog lists it.
    if (!name.isEmpty() && question != FileQuestion::Open && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".TP1");
    return name;
}

void FrmMain::tbToolBar_ButtonClick(const QString& key)
{
    if (key == u"New")
        mnuFileNew_Click();
    else if (key == u"Open")
        mnuFileOpen_Click();
    else if (key == u"Save")
        mnuFileSave_Click();
    else if (key == u"Save as")
        SaveAs();
}

bool FrmMain::hasUnsavedChanges() const
{
    if (raceFileName_.empty())
        return !boats_.rows().empty();
    try {
        return ReadRaceFile(raceFileName_) != boats_.rows();
    } catch (const Error&) {
        return !boats_.rows().empty(); // the file is gone: the rows are only here
    }
}

bool FrmMain::maybeSave()
{
    if (!hasUnsavedChanges())
        return true;
    const QString race =
        raceFileName_.empty() ? QStringLiteral("a new race file") : FromBytes(FileLabel(raceFileName_));
    switch (dialogs_.askToSave(QStringLiteral("Save the changes to %1?").arg(race))) {
    case SaveAnswer::Save:
        mnuFileSave_Click();
        return !hasUnsavedChanges();
    case SaveAnswer::Discard:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

void FrmMain::setRaceFile(const std::string& path, std::vector<std::string> rows)
{
    raceFileName_ = path;
    savedRows_ = rows;
    boats_.setRows(std::move(rows));
    showRows();
}

bool FrmMain::checkRows()
{
    const std::vector<std::string> problems = RaceRowProblems(raceFileName_, boats_.rows());
    if (problems.empty())
        return true;
    constexpr std::size_t kShown = 10;
    QStringList lines;
    for (std::size_t i = 0; i < std::min(problems.size(), kShown); ++i)
        lines << FromBytes(problems[i]);
    if (problems.size() > kShown)
        lines << QStringLiteral("and %1 more.").arg(problems.size() - kShown);
    dialogs_.tell(QStringLiteral("%1 of the %2 rows of %3 will not replay; mend them in the list and save:\n\n%4")
                      .arg(problems.size())
                      .arg(boats_.size())
                      .arg(FromBytes(FileLabel(raceFileName_)), lines.join(u'\n')),
                  MessageKind::Warning);
    return false;
}

void FrmMain::enableStart()
{
    cmdStart->setEnabled(boats_.size() > 0 && checkRows());
}

void FrmMain::mnuFileNew_Click()
{
    if (!maybeSave())
        return;
    const QString name = askRaceFileName(QStringLiteral("New"), FileQuestion::Create);
    if (name.isEmpty())
        return;
    try {
        CreateRaceFileIfMissing(FileNameBytes(name));
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        return;
    }
    // The list starts empty; an existing file keeps its rows until the next Save.
    std::vector<std::string> onDisk;
    try {
        onDisk = ReadRaceFile(FileNameBytes(name));
    } catch (const Error&) {
    }
    setRaceFile(FileNameBytes(name), {});
    savedRows_ = std::move(onDisk);
    showTitle();
    cmdStart->setEnabled(false);
}

void FrmMain::mnuFileOpen_Click()
{
    if (!maybeSave())
        return;
    const QString name = askRaceFileName(QStringLiteral("Open"), FileQuestion::Open);
    if (!name.isEmpty())
        openRaceFile(name);
}

bool FrmMain::openRaceFile(const QString& path)
{
    std::vector<std::string> rows;
    try {
        rows = ReadRaceFile(FileNameBytes(path));
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        return false;
    }
    setRaceFile(FileNameBytes(path), std::move(rows));
    enableStart();
    return true;
}

void FrmMain::mnuFileClose_Click()
{
    if (!maybeSave())
        return;
    setRaceFile({}, {});
    cmdStart->setEnabled(false);
}

bool FrmMain::saveRaceFile(const std::string& path)
{
    try {
        WriteRaceFile(path, boats_.rows());
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        return false;
    }
    savedRows_ = boats_.rows();
    // Saving selects every row in turn: the last one ends selected and shown.
    if (boats_.size() > 0) {
        const QSignalBlocker quiet(lstBoats);
        lstBoats->setCurrentRow(boats_.size() - 1);
    }
    lstBoats_Click();
    return true;
}

void FrmMain::mnuFileSave_Click()
{
    std::string path = raceFileName_;
    if (path.empty()) {
        const QString name = askRaceFileName(QStringLiteral("Save as"), FileQuestion::Save);
        if (name.isEmpty())
            return;
        path = FileNameBytes(name);
    }
    if (!saveRaceFile(path))
        return;
    raceFileName_ = path;
    showTitle();
    enableStart();
}

void FrmMain::SaveAs()
{
    const QString name = askRaceFileName(QStringLiteral("Save as"), FileQuestion::Save);
    if (name.isEmpty())
        return;
    if (!saveRaceFile(FileNameBytes(name)))
        return;
    raceFileName_ = FileNameBytes(name);
    showTitle();
}

// ---- KML log import ----

void FrmMain::cmdParse_Click()
{
    const QString log =
        dialogs_.askFileName(QStringLiteral("Parse .KML file"), kLogFilter, FileQuestion::Open, browser_->folderPath());
    if (log.isEmpty())
        return;
    try {
        LogImportResult result = RunLogImport(log, dialogs_, false);
        const QString report = FromBytes(ImportReportText(result));
        // A log of several tracks or days: one track file each as well, if the sailor wants.
        if (result.CanSplit() &&
            dialogs_.askYesNo(report + QStringLiteral("\n\nWrite one track file per track as well (%1 ... %2)?")
                                           .arg(FromBytes(FileLabel(PieceTrackFilePath(FileNameBytes(log), 1))),
                                                FromBytes(FileLabel(PieceTrackFilePath(
                                                    FileNameBytes(log), static_cast<int>(result.Pieces.size()))))),
                              QStringLiteral("Split"), QStringLiteral("Keep one file"))) {
            result = RunLogImport(log, dialogs_, true);
            dialogs_.tell(FromBytes(ImportReportText(result)), ReportKind(result));
        } else if (!result.CanSplit()) {
            dialogs_.tell(report, ReportKind(result));
        }
        // The browser shows the new track file, ready to be added.
        for (const std::string& file : result.TrackFiles)
            if (QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(file)))) {
                browser_->showFile(QFile::decodeName(QByteArray::fromStdString(file)));
                break;
            }
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
    }
}

} // namespace tideplot
