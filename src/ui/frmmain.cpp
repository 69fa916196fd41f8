#include "ui/frmmain.h"

#include "core/error.h"
#include "core/records.h"
#include "core/text.h"
#include "share/licences.h"
#include "ui/about.h"
#include "ui/artwork.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/frmcontrol.h"
#include "ui/handicappanel.h"
#include "ui/logimportaction.h"
#include "ui/racefilemenu.h"
#include "ui/replaywindows.h"
#include "ui/settings.h"
#include "ui/statusclock.h"
#include "ui/trackbrowser.h"
#include "ui/windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
    {"txtTrackFile", K::MultiLineTextBox, 2760, 3480, 8895, 6855, "", "Content in selected track file", 6},
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

std::string Bytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

std::string FileNameBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

QString FrmMain::AboutText()
{
    return tideplot::AboutText();
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
    RaceFileMenu::Window window;
    window.showRows = [this] { showRows(); };
    window.rowsOpened = [this] { showHighlightedRow(); };
    window.setStartEnabled = [this](bool enabled) { cmdStart->setEnabled(enabled); };
    window.browserFolder = [this] { return browser_->folderPath(); };
    window.saveBeside = [this](const std::string& path, const auto& before, const auto& saved) {
        return handicap_->save(path, before, saved);
    };
    window.besideModified = [this] { return handicap_ && handicap_->modified(); };
    window.rowsSaved = [this] {
        // Saving selects every row in turn: the last one ends selected and shown.
        if (boats_.size() > 0) {
            const QSignalBlocker quiet(lstBoats);
            lstBoats->setCurrentRow(boats_.size() - 1);
        }
        lstBoats_Click();
    };
    file_ = std::make_unique<RaceFileMenu>(boats_, dialogs_, std::move(window));
    makeControls();
    makeMenus();
    showTitle();
    ReplayWindows::Options replayOptions;
    replayOptions.createEarth = options_.createEarth;
    replayOptions.setupFrame = [this] { return frameGeometry(); };
    replayOptions.startRowBottom = [this] {
        return geometry().top() + cmdStart->geometry().bottom() + menuBar()->height();
    };
    replay_ = std::make_unique<ReplayWindows>(*this, dialogs_, settings_, std::move(replayOptions));
    Form_Load();
}

FrmMain::~FrmMain()
{
    Form_Unload(false);
}

FrmControl* FrmMain::controlWindow() const
{
    return replay_->controlWindow();
}

RaceState& FrmMain::raceState()
{
    return replay_->session().state();
}

ReplaySession& FrmMain::session()
{
    return replay_->session();
}

ApplicationGE* FrmMain::earth() const
{
    return replay_->earth();
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
    handicap_ = std::make_unique<HandicapPanel>(client_, dialogs_);
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
    new StatusClock(sbStatusBar);

    std::vector<ControlRow> rows(std::begin(kMainRows), std::end(kMainRows));
    const auto browserRows = TrackBrowser::Layout();
    rows.insert(rows.begin() + 8, browserRows.begin(), browserRows.end());
    rows.insert(rows.end(), HandicapPanel::Layout().begin(), HandicapPanel::Layout().end());
    const double dpi = LogicalDpi(this);
    BuildForm(client_, rows, dpi);
    for (QLineEdit* box : {txtStarttid, txtLYStal, txtColor, txtSepChar})
        box->setCursorPosition(0);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdStart, handicap_->lblHandicap, handicap_->cboHandicap})
        w->raise(); // they stand on the tool bar's strip
    // The window may grow, never shrink below the designed size: every control stays in view.
    client_->setMinimumSize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));
    WatchEvent(client_, QEvent::Resize, [this] { followClientSize(); });

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
    QAction* const toolBarActions[] = {fileNew, fileOpen, fileSave, fileSaveAs};
    for (std::size_t i = 0; i < std::size(kToolBarButtons); ++i) {
        QAction* action = toolBarActions[i];
        const auto& [key, picture] = kToolBarButtons[i];
        action->setIcon(QIcon(Artwork(QString::fromLatin1(picture), 16, devicePixelRatioF())));
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
    if (file_->raceFile().empty()) {
        setWindowTitle(title);
        setWindowModified(false);
        return;
    }
    setWindowTitle(title + QStringLiteral(" - ") + LocalText(FileLabel(file_->raceFile())) + QStringLiteral("[*]"));
    setWindowModified(file_->modified());
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
    if (restored_) {
        // The window system's record may put it off a screen that has since shrunk or gone.
        QTimer::singleShot(0, this, [this] { fitOnScreen(); });
        return;
    }
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
    KeepFrameOnScreen(*this);
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    if (!file_->maybeSave()) {
        event->ignore();
        return;
    }
    Form_Unload(true);
    QMainWindow::closeEvent(event);
}

void FrmMain::Form_Unload(bool tellProblems)
{
    replay_->close(); // closes the replay's track files
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

void FrmMain::cmdStart_Click()
{
    replay_->start(file_->raceFile());
}

// ---- Boat list editing ----

void FrmMain::showRows()
{
    const QSignalBlocker quiet(lstBoats);
    lstBoats->clear();
    if (handicap_->loadedRace() != file_->raceFile())
        handicap_->load(file_->raceFile());
    for (const std::string& row : boats_.rows())
        lstBoats->addItem(handicap_->rowText(row));
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
        box->setText(LocalText(*text));
        box->setCursorPosition(0); // a text wider than its box shows its start
    }
}

std::optional<EntryBoxes> FrmMain::checkedBoxes()
{
    // A decimal comma in the LYS box becomes a point; any other "," would split the entry.
    const QString lys = LocalText(LysBoxText(Bytes(txtLYStal->text())));
    if (lys != txtLYStal->text())
        txtLYStal->setText(lys);
    EntryBoxes boxes = typedBoxes();
    const std::string problem = EntryBoxesCommaProblem(boxes.StartTime, boxes.Lys, boxes.Colour);
    if (!problem.empty()) {
        dialogs_.tell(LocalText(problem), MessageKind::Warning);
        return std::nullopt;
    }
    return boxes;
}

void FrmMain::cmdAdd_Click()
{
    if (browser_->selectedFileName().isEmpty())
        return;
    const std::optional<EntryBoxes> boxes = checkedBoxes();
    if (boxes && handicap_->checkTyped() &&
        boats_.add(FileNameBytes(browser_->folderPath()), FileNameBytes(browser_->selectedFileName()),
                   QDir::separator().toLatin1(), *boxes)) {
        handicap_->takeRow(boats_.rows().back());
        showRows();
    }
}

void FrmMain::cmdChange_Click()
{
    if (boats_.highlightedRow() < 0)
        return;
    const std::optional<EntryBoxes> boxes = checkedBoxes();
    if (boxes && handicap_->checkTyped() && boats_.change(*boxes)) {
        handicap_->takeRow(boats_.rows().back());
        showRows();
        // The row now highlighted shows its fields: a second Change keeps it as it is.
        showHighlightedRow();
    }
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
    const int row = selected.isEmpty() ? -1 : lstBoats->row(selected.constFirst());
    if (boats_.select(row, shown))
        showBoxes(shown);
    handicap_->showRow(boats_.rows(), row);
}

void FrmMain::showHighlightedRow()
{
    EntryBoxes shown;
    if (boats_.select(boats_.highlightedRow(), shown))
        showBoxes(shown);
    handicap_->showRow(boats_.rows(), boats_.highlightedRow());
}

void FrmMain::txtColor_Change()
{
    SetLabelWindowColour(lblColor, SwatchColour(Bytes(txtColor->text())));
}

// ---- The race file ----

QString FrmMain::raceFileName() const
{
    return file_->raceFileName();
}

bool FrmMain::hasUnsavedChanges() const
{
    return file_->hasUnsavedChanges();
}

bool FrmMain::openRaceFile(const QString& path)
{
    return file_->openFile(path);
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
    file_->newRace();
}

void FrmMain::mnuFileOpen_Click()
{
    file_->open();
}

void FrmMain::mnuFileClose_Click()
{
    file_->close();
}

void FrmMain::mnuFileSave_Click()
{
    file_->save();
}

void FrmMain::SaveAs()
{
    file_->saveAs();
}

// ---- KML log import ----

void FrmMain::cmdParse_Click()
{
    // The browser shows the new track file, ready to be added.
    const QString trackFile = ImportLogs(dialogs_, browser_->folderPath());
    if (!trackFile.isEmpty())
        browser_->showFile(trackFile);
}

} // namespace tideplot
