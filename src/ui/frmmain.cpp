#include "ui/frmmain.h"

#include "core/error.h"
#include "import/logimport.h"
#include "core/racecheck.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "tideplot/version.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/frmcontrol.h"
#include "ui/racefile.h"
#include "ui/settings.h"
#include "ui/trackbrowser.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <cmath>
#include <exception>
#include <vector>

namespace tideplot {

namespace {

constexpr int kClientWidthTwips = 11820;
constexpr int kClientHeightTwips = 10725;

using K = ControlKind;
// In tab order. The track browser's lists (tab 8 to 10) are in TrackBrowser::Layout().
constexpr ControlRow kMainRows[] = {
    {"sbStatusBar", K::StatusBar, 0, 10455, 11820, 270, "", "", 0},
    {"tbToolBar", K::ToolBar, 0, 0, 11820, 420, "", "", 1},
    {"cmdStart", K::CommandButton, 4800, 120, 2175, 329, "Start", "Start Google earth plot ", 2},
    {"lstBoats", K::ListBox, 120, 480, 11415, 1620, "", "", 3},
    {"cmdDelete", K::CommandButton, 9720, 2280, 855, 615, "Delete", "Delete selected track from plotsession", 4},
    {"cmdAdd", K::CommandButton, 7800, 2280, 855, 615, "Add", "Add track to plotsession", 5},
    {"cmdChange", K::CommandButton, 8760, 2280, 855, 615, "Change", "Change data in selected track", 6},
    {"cmdParse", K::PictureButton, 7080, 2280, 555, 570, "", "Parse KLM file", 7},
    {"txtStarttid", K::TextBox, 2760, 2520, 1575, 285, "2007-01-01 12:30:00", "Startime to be added", 11},
    {"txtLYStal", K::TextBox, 4440, 2520, 615, 285, "1.10", "LYS for selected track to be added", 12},
    {"txtTrackFile", K::MultiLineTextBox, 2760, 2880, 8895, 7455, "", "Content in selected track file", 13},
    {"txtColor", K::TextBox, 5160, 2520, 1095, 285, "100", "Color of track (0-1300)", 14},
    {"txtSepChar", K::TextBox, 6360, 2520, 495, 285, ",", "Separation character between information in selected track",
     15},
    {"Label1", K::Label, 2760, 2280, 1815, 255, "Start tid", "", 16},
    {"Label2", K::Label, 4440, 2280, 615, 255, "LYS tal", "", 17},
    {"lblColor", K::Label, 5160, 2280, 495, 255, "Färg", "", 18},
    {"Label4", K::Label, 6360, 2280, 855, 255, "SepChar", "", 19},
};

// Tool bar buttons, left to right: key (also the tool tip) and picture.
constexpr std::pair<const char*, const char*> kToolBarButtons[] = {
    {"New", "new"},
    {"Open", "open"},
    {"Save", "save"},
    {"Save as", "save"},
};

const QString kRaceFileFilter = QStringLiteral("All Files (*.TP1)");
// The classic filter first, then every log the import reads.
const QString kLogFilter =
    QString::fromLatin1(kImportFileFilterKml) + QStringLiteral(";;") + QString::fromLatin1(kImportFileFilterLogs);

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

// The import of one log, with its progress shown; what to tell the user when it is done.
std::pair<QString, MessageKind> RunLogImport(const QString& logPath, UserDialogs& dialogs)
{
    const std::unique_ptr<ProgressReport> progress =
        dialogs.showProgress(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(logPath)));
    const LogImportResult result = ImportLog(
        FileNameBytes(logPath), [&](std::int64_t done, std::int64_t total) { progress->setProgress(done, total); });
    const QString trackFile = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(result.TrackFile)));
    if (result.PointCount == 0)
        return {QStringLiteral("Nothing was written to %1.\n\n%2").arg(trackFile, FromBytes(result.NoPointWarning)),
                MessageKind::Warning};
    QString text =
        QStringLiteral("%1 %2 written to %3.")
            .arg(QLocale().toString(static_cast<qlonglong>(result.PointCount)),
                 result.PointCount == 1 ? QStringLiteral("point was") : QStringLiteral("points were"), trackFile);
    if (result.SkippedWarning.empty())
        return {text, MessageKind::Information};
    return {text + QStringLiteral("\n\n") + FromBytes(result.SkippedWarning), MessageKind::Warning};
}

// The project's own pages: the README where the program is installed, or beside its sources.
QString ReadmeUrl()
{
    const QString besideProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../" TIDEPLOT_DOC_DIR "/README.md");
    for (const QString& readme : {besideProgram, QStringLiteral(TIDEPLOT_INSTALLED_README)})
        if (QFileInfo::exists(readme))
            return QUrl::fromLocalFile(QFileInfo(readme).canonicalFilePath()).toString();
    return QUrl::fromLocalFile(QStringLiteral(TIDEPLOT_SOURCE_README)).toString();
}

} // namespace

QString FrmMain::AboutText()
{
    const QString readme = ReadmeUrl();
    return QStringLiteral("Version %1.%2.%3\n%4\nFAQ and instructions: %4#faq")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision)
        .arg(readme);
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
    setWindowTitle(QStringLiteral("Tideplot1.0"));
    setWindowIcon(ArtworkIcon(QStringLiteral("globe")));
    makeControls();
    makeMenus();
    Form_Load();
}

FrmMain::~FrmMain()
{
    Form_Unload();
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

    Label1->setBuddy(txtStarttid);
    Label2->setBuddy(txtLYStal);
    lblColor->setBuddy(txtColor);
    Label4->setBuddy(txtSepChar);
    txtTrackFile->setAccessibleName(QStringLiteral("Content in selected track file"));
    txtTrackFile->setLineWrapMode(QPlainTextEdit::NoWrap);
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
    client_->setMinimumSize(0, 0);
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
    for (const auto& [key, picture] : kToolBarButtons) {
        QAction* button = tbToolBar->addAction(QIcon(Artwork(QString::fromLatin1(picture), 16, devicePixelRatioF())),
                                               QString::fromLatin1(key));
        button->setToolTip(QString::fromLatin1(key));
        button->setData(QString::fromLatin1(key));
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* button) { tbToolBar_ButtonClick(button->data().toString()); });
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

void FrmMain::makeMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    const struct {
        const char* name;
        const char* caption;
        void (FrmMain::*handler)();
    } fileItems[] = {
        {"mnuFileNew", "&New", &FrmMain::mnuFileNew_Click},
        {"mnuFileOpen", "&Open...", &FrmMain::mnuFileOpen_Click},
        {"mnuFileClose", "&Close", &FrmMain::mnuFileClose_Click},
        {"mnuFileSave", "&Save", &FrmMain::mnuFileSave_Click},
        {"mnuFileExit", "E&xit", &FrmMain::mnuFileExit_Click},
    };
    for (const auto& item : fileItems) {
        QAction* action = mnuFile->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this, [this, handler = item.handler] { (this->*handler)(); });
    }
    mnuFile->findChild<QAction*>(QStringLiteral("mnuFileNew"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
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

// ---- Window settings, About and exit ----

void FrmMain::Form_Load()
{
    const WindowPlacement p = ReadMainPlacement(settings_);
    const double dpi = LogicalDpi(this);
    placement_ = QRect(TwipsToPixels(p.Left, dpi), TwipsToPixels(p.Top, dpi), TwipsToPixels(p.Width, dpi),
                       TwipsToPixels(p.Height, dpi));
    move(placement_.topLeft());
    resize(placement_.size());
}

void FrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (placed_)
        return;
    placed_ = true;
    // The stored size is the outer frame's; once the frame is known the inside is set to fit.
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - size();
        if (!frame.isEmpty() && !isMinimized())
            resize(placement_.size() - frame);
    });
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QMainWindow::closeEvent(event);
}

void FrmMain::Form_Unload()
{
    delete frmControl_; // closes the replay's track files
    if (ChartWidget* view = chartView())
        view->close();
    if (!isMinimized() && placed_) {
        const double dpi = LogicalDpi(this);
        auto twips = [dpi](int px) { return static_cast<float>(std::lround(px * kTwipsPerInch / dpi)); };
        const QRect frame = frameGeometry();
        WriteMainPlacement(settings_,
                           {twips(frame.x()), twips(frame.y()), twips(frame.width()), twips(frame.height())});
    }
    placed_ = false;
}

void FrmMain::mnuFileExit_Click()
{
    close();
}

void FrmMain::mnuHelpAbout_Click()
{
    dialogs_.tell(AboutText(), MessageKind::Plain);
}

// ---- Start ----

void FrmMain::cmdStart_Click()
{
    if (frmControl_ && frmControl_->isVisible())
        return;
    delete frmControl_;
    if (ChartWidget* view = chartView())
        viewGeometry_ = view->geometry();
    output_.reset();
    earthApp_.reset();
    try {
        earthApp_ = options_.createEarth();
    } catch (const std::exception& e) {
        dialogs_.tell(QStringLiteral("The view cannot be opened: %1").arg(FromBytes(e.what())), MessageKind::Error);
        return;
    }
    output_ = std::make_unique<GoogleEarthOutput>(*earthApp_);
    showView();

    frmControl_ = new FrmControl(state_, *output_, dialogs_, this);
    frmControl_->setAttribute(Qt::WA_DeleteOnClose);
    const QRect screen = this->screen()->availableGeometry();
    const QRect besides = viewGeometry_.isValid() ? viewGeometry_ : frameGeometry();
    frmControl_->move(std::max(screen.left(),
                               std::min(besides.right() - frmControl_->width(), screen.right() - frmControl_->width())),
                      std::max(screen.top(), besides.top()));
    frmControl_->show();

    state_.RaceClock = kRaceClockAtStart;
    try {
        StartReplay(state_, *frmControl_);
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        if (frmControl_)
            frmControl_->close(); // nothing was loaded to play
        return;
    }
    // A race that cannot work as typed (start times in another time zone than the tracks)
    // is said once; the replay stays ready to play.
    QStringList warnings;
    for (const std::string& warning : StartTimeWarnings(state_))
        warnings += FromBytes(warning);
    if (!warnings.isEmpty())
        dialogs_.tell(warnings.join(QStringLiteral("\n\n")), MessageKind::Warning);
}

ChartWidget* FrmMain::chartView() const
{
    auto* chart = dynamic_cast<ChartApplication*>(earthApp_.get());
    return chart ? chart->widget() : nullptr;
}

void FrmMain::showView()
{
    ChartWidget* view = chartView();
    if (!view)
        return;
    view->setWindowIcon(windowIcon());
    if (!viewGeometry_.isValid()) {
        // First chart: beside the set-up window when there is room, else over its right part.
        const QRect screen = this->screen()->availableGeometry();
        const QSize size = view->sizeHint().boundedTo(screen.size() * 0.9);
        const QRect frame = frameGeometry();
        const int left = std::min(frame.right() + 1, screen.right() + 1 - size.width());
        viewGeometry_ = QRect(QPoint(std::max(screen.left(), left), std::max(screen.top(), frame.top())), size);
    }
    view->setGeometry(viewGeometry_);
    view->show();
}

// ---- Boat list editing ----

void FrmMain::showRows()
{
    const QSignalBlocker quiet(lstBoats);
    lstBoats->clear();
    for (const std::string& row : boats_.rows())
        lstBoats->addItem(FromBytes(row));
    lstBoats->setCurrentRow(boats_.highlightedRow());
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

void FrmMain::cmdAdd_Click()
{
    if (boats_.add(FileNameBytes(browser_->folderPath()), FileNameBytes(browser_->selectedFileName()),
                   QDir::separator().toLatin1(), typedBoxes()))
        showRows();
}

void FrmMain::cmdChange_Click()
{
    if (boats_.change(typedBoxes()))
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
    return QFile::decodeName(QByteArray::fromStdString(state_.RaceFileName));
}

QString FrmMain::askRaceFileName(const QString& title, bool save)
{
    return dialogs_.askFileName(title, kRaceFileFilter, save ? FileQuestion::Save : FileQuestion::Open);
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

void FrmMain::mnuFileNew_Click()
{
    const QString name = askRaceFileName(QStringLiteral("New"), false);
    if (name.isEmpty())
        return;
    try {
        CreateRaceFileIfMissing(FileNameBytes(name));
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        return;
    }
    state_.RaceFileName = FileNameBytes(name);
    boats_.setRows({});
    showRows();
}

void FrmMain::mnuFileOpen_Click()
{
    const QString name = askRaceFileName(QStringLiteral("Open"), false);
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
    state_.RaceFileName = FileNameBytes(path);
    boats_.setRows(std::move(rows));
    showRows();
    cmdStart->setEnabled(boats_.size() > 0);
    return true;
}

void FrmMain::mnuFileClose_Click()
{
    // The race stays as it is: its list, its file and its name.
}

bool FrmMain::saveRaceFile(const std::string& path)
{
    try {
        WriteRaceFile(path, boats_.rows());
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
        return false;
    }
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
    std::string path = state_.RaceFileName;
    if (path.empty()) {
        const QString name = askRaceFileName(QStringLiteral("Save as"), true);
        if (name.isEmpty())
            return;
        path = FileNameBytes(name);
    }
    if (!saveRaceFile(path))
        return;
    state_.RaceFileName = path;
    cmdStart->setEnabled(boats_.size() > 0);
}

void FrmMain::SaveAs()
{
    const QString name = askRaceFileName(QStringLiteral("Save as"), true);
    if (name.isEmpty())
        return;
    if (saveRaceFile(FileNameBytes(name)))
        state_.RaceFileName = FileNameBytes(name);
}

// ---- KML log import ----

void FrmMain::cmdParse_Click()
{
    const QString log = dialogs_.askFileName(QStringLiteral("Parse .KML file"), kLogFilter, FileQuestion::Open);
    if (log.isEmpty())
        return;
    try {
        const auto [text, kind] = RunLogImport(log, dialogs_);
        dialogs_.tell(text, kind);
    } catch (const std::exception& e) {
        dialogs_.tell(FromBytes(e.what()), MessageKind::Error);
    }
}

} // namespace tideplot
