#pragma once

#include "core/replay.h"
#include "earth/applicationge.h"
#include "earth/googleearth.h"
#include "replay/replaysession.h"
#include "ui/boatlist.h"
#include "ui/dialogs.h"

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QKeySequence;
class QLabel;
class QMenu;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QStatusBar;
class QToolBar;

// The set-up window: the boat list and its four edit boxes, the track browser with its
// preview, Start, the KML import button, the File and Help menus, the tool bar and the
// status bar. It owns the race state; each Start opens the replay control window afresh
// over a new view.
namespace tideplot {

class FrmControl;
class HandicapPanel;
class RaceFileMenu;
class ReplayWindows;
class TrackBrowser;
class UserDialogs;

class FrmMain : public QMainWindow {
public:
    struct Options {
        // Makes the view of a replay; called by every Start.
        std::function<std::unique_ptr<ApplicationGE>()> createEarth;
        // Where the window's place and size are kept; the user's own store when null.
        QSettings* settings = nullptr;
        // The dialogs and messages; real ones when null.
        UserDialogs* dialogs = nullptr;
    };

    explicit FrmMain(Options options);
    ~FrmMain() override;

    // Opens the race file at `path` as File > Open does when that name is chosen; tells
    // the user and changes nothing when it cannot be read. Rows that will not replay are
    // shown all the same, and one message names them.
    bool openRaceFile(const QString& path);

    // What the window holds, for the program's own checks.
    const BoatList& boats() const { return boats_; }
    QString raceFileName() const;
    RaceState& raceState();
    ReplaySession& session();
    FrmControl* controlWindow() const;
    ApplicationGE* earth() const;

    static QString AboutText();

    // Whether the boat list differs from the race file on disk (or holds rows that were
    // never saved): closing, New, Open and Close ask before dropping them.
    bool hasUnsavedChanges() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void cmdAdd_Click();
    void cmdChange_Click();
    void cmdDelete_Click();
    void lstBoats_Click();
    void txtColor_Change();
    void cmdStart_Click();
    void cmdParse_Click();
    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    void mnuFileClose_Click();
    void mnuFileSave_Click();
    void SaveAs();
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void tbToolBar_ButtonClick(const QString& key);
    void Form_Load();
    void Form_Unload(bool tellProblems);

    void showTitle();
    void fitOnScreen();

    void makeControls();
    void makeMenus();
    void makeToolBar();
    QAction* makeFileAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& keys);
    void followClientSize();
    void showRows();
    // The highlighted row's fields in the boxes (after Open and Change, as after a click).
    void showHighlightedRow();
    void showBoxes(const EntryBoxes& boxes);
    EntryBoxes typedBoxes() const;
    // The typed boxes, or nothing when they hold a "," that would split the entry (told).
    std::optional<EntryBoxes> checkedBoxes();

    Options options_;
    std::unique_ptr<QSettings> ownSettings_;
    std::unique_ptr<UserDialogs> ownDialogs_;
    UserDialogs& dialogs_;
    QSettings& settings_;

    BoatList boats_;
    std::unique_ptr<RaceFileMenu> file_;
    std::unique_ptr<ReplayWindows> replay_;
    QRect placement_; // the outer frame read from the settings, in pixels
    bool placed_ = false;
    bool restored_ = false; // placed by the window system's own record of the last run

    QWidget* client_ = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QToolBar* tbToolBar = nullptr;
    QPushButton* cmdStart = nullptr;
    QListWidget* lstBoats = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdChange = nullptr;
    QPushButton* cmdParse = nullptr;
    std::unique_ptr<TrackBrowser> browser_;
    std::unique_ptr<HandicapPanel> handicap_; // the race's system, each row's rating and name
    QLineEdit* txtStarttid = nullptr;
    QLineEdit* txtLYStal = nullptr;
    QPlainTextEdit* txtTrackFile = nullptr;
    QLineEdit* txtColor = nullptr;
    QLineEdit* txtSepChar = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblColor = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblDrive = nullptr;
};

} // namespace tideplot
