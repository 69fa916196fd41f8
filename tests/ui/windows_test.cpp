// The windows as a user meets them, driven with clicks and keys: the set-up window, its
// track browser, assembling a race, the race file through the File menu and the tool bar,
// the import button, settings and About; a race built by hand replayed through the control
// window as the command line replays it.
#include "core/coursefile.h"
#include "core/results.h"
#include "core/text.h"
#include "core/trackfixes.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/earthfactory.h"
#include "earth/recorder.h"
#include "support/process.h"
#include "support/racefiles.h"
#include "ui/dialogs.h"
#include "ui/formlayout.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace tideplot::testing {
namespace {

// Answers the windows' questions from a script and keeps what they tell the user.
class ScriptedDialogs : public UserDialogs {
public:
    struct Question {
        QString title, filter;
        FileQuestion kind;
        QString folder;
    };
    QString askFileName(const QString& title, const QString& filter, FileQuestion kind, const QString& folder) override
    {
        asked.push_back({title, filter, kind, folder});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected file dialog " << title.toStdString();
            return {};
        }
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    SaveAnswer askToSave(const QString& question) override
    {
        questions.push_back(question);
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected question " << question.toStdString();
            return SaveAnswer::Cancel;
        }
        const SaveAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    QStringList askFileNames(const QString& title, const QString& filter, const QString& folder) override
    {
        if (filesAnswers.empty())
            return UserDialogs::askFileNames(title, filter, folder);
        asked.push_back({title, filter, FileQuestion::Open, folder});
        QStringList answer = filesAnswers.front();
        filesAnswers.pop_front();
        return answer;
    }
    std::optional<QStringList> askTexts(const QString& title, const QString&, const QStringList&,
                                        const QStringList& values) override
    {
        questions.push_back(title);
        shownTexts = values;
        if (textAnswers.empty()) {
            ADD_FAILURE() << "unexpected form " << title.toStdString();
            return std::nullopt;
        }
        const std::optional<QStringList> answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }
    bool askYesNo(const QString& question, const QString& yes, const QString&) override
    {
        questions.push_back(question);
        if (yesNoAnswers.empty()) {
            ADD_FAILURE() << "unexpected question " << question.toStdString();
            return false;
        }
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        lastYes = yes;
        return answer;
    }
    void tell(const QString& text, MessageKind kind) override { told.push_back({text, kind}); }
    std::unique_ptr<ProgressReport> showProgress(const QString&, ProgressKind kind) override
    {
        // A progress that can be cancelled is cancelled at once when the script says so.
        struct Silent : ProgressReport {
            bool cancel = false;
            void setProgress(std::int64_t, std::int64_t) override {}
            bool cancelled() const override { return cancel; }
        };
        ++progressShown;
        auto progress = std::make_unique<Silent>();
        progress->cancel = kind == ProgressKind::Cancellable && cancelProgress;
        return progress;
    }
    QString lastMessage() const { return told.empty() ? QString() : told.back().first; }
    ::testing::AssertionResult lastSays(const QString& text) const
    {
        if (lastMessage().contains(text))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the last message \"" << lastMessage().toStdString()
                                             << "\" does not say \"" << text.toStdString() << "\"";
    }

    std::deque<QString> answers; // file names, "" for cancel
    std::deque<SaveAnswer> saveAnswers;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<QStringList>> textAnswers;
    std::deque<QStringList> filesAnswers; // several files at once; one of `answers` when empty
    QStringList shownTexts;               // what the last form held to begin with
    bool cancelProgress = false;
    QString lastYes;
    std::vector<QString> questions;
    std::vector<Question> asked;
    std::vector<std::pair<QString, MessageKind>> told;
    int progressShown = 0;
};

inline QString Q(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// What a screen reader reads out for a widget.
inline QString AccessibleName(QWidget* widget)
{
    QAccessibleInterface* a = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return a ? a->text(QAccessible::Name) : QStringLiteral("<none>");
}

// What the command line's replay of a race file traced for a number of steps: the documents
// and cameras it sent to the view (as Window::drawn) and the race time and distances it showed last.
struct TracedReplay {
    long long steps = 0;
    std::vector<std::string> drawn;
    std::string raceTime;
    std::map<int, std::string> distance; // by legend row
};

inline TracedReplay ReplayOnTheCommandLine(const std::string& race, long long steps)
{
    TempDir dir;
    const std::string trace = dir.file("trace.txt");
    const auto run = RunCommand(std::string(TIDEPLOT_EXE) + " replay " + Quote(race) + " --max-steps " +
                                std::to_string(steps) + " --trace " + Quote(trace));
    EXPECT_EQ(run.status, 0) << run.output;
    TracedReplay replay;
    std::ifstream in(trace, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const std::string word = line.substr(0, line.find(' '));
        if (word == "kml")
            replay.drawn.push_back(line);
        else if (word == "camera")
            replay.drawn.push_back(line.substr(0, line.rfind(' '))); // the speed is the view's
        else if (word == "step") {
            replay.raceTime = line.substr(line.rfind(' ') + 1);
            ++replay.steps;
        } else if (word == "dst")
            replay.distance[std::stoi(line.substr(4))] = line.substr(line.find(' ', 4) + 1);
    }
    return replay;
}

// The set-up window with scripted dialogs, its own settings file and the recorder as view.
class Window {
public:
    Window() : settings(Q(dir.file("settings.ini")), QSettings::IniFormat) { make(); }

    void make()
    {
        FrmMain::Options options;
        options.settings = &settings;
        options.dialogs = &dialogs;
        options.createEarth = [this] {
            auto view = std::make_unique<RecordingApplication>();
            recorder = view.get();
            ++viewsMade;
            return view;
        };
        main = std::make_unique<FrmMain>(std::move(options));
        main->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    }

    template <class W = QWidget> W* find(const char* name) const
    {
        W* w = main->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    template <class W = QWidget> W* control(const QString& name) const
    {
        EXPECT_NE(main->controlWindow(), nullptr);
        return main->controlWindow() ? main->controlWindow()->findChild<W*>(name) : nullptr;
    }

    void click(const char* name) { QTest::mouseClick(find(name), Qt::LeftButton); }
    void clickControl(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton); }
    void toolBar(const char* key)
    {
        auto* bar = find<QToolBar>("tbToolBar");
        for (QAction* a : bar->actions())
            if (a->data().toString() == QString::fromLatin1(key))
                return QTest::mouseClick(bar->widgetForAction(a), Qt::LeftButton);
        ADD_FAILURE() << "no tool bar button " << key;
    }
    void menu(const char* name) { find<QAction>(name)->trigger(); }
    void open(const QString& race)
    {
        dialogs.answers = {race};
        menu("mnuFileOpen");
    }

    // Replaces the text of a box as a user does: select all, delete, type.
    static void type(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    void type(const char* name, const QString& text) { type(find<QLineEdit>(name), text); }

    static void clickRow(QListWidget* list, int row, bool twice = false)
    {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr) << "row " << row;
        list->scrollToItem(item);
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at); // a double click's first press
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    void clickRow(const char* list, int row) { clickRow(find<QListWidget>(list), row); }
    void clickItem(const char* listName, const QString& text, bool twice = false)
    {
        auto* list = find<QListWidget>(listName);
        const auto found = list->findItems(text, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        clickRow(list, list->row(found.back()), twice);
    }
    void clickFile(const QString& name) { clickItem("File1", name); }
    // Double clicks down the folder list from the root.
    void openFolder(const QString& path)
    {
        clickItem("Dir1", QStringLiteral("/"), true);
        for (const QString& part : QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts))
            clickItem("Dir1", part, true);
    }

    std::vector<std::string> listRows(const char* name = "lstBoats") const
    {
        std::vector<std::string> rows;
        auto* list = find<QListWidget>(name);
        for (int i = 0; i < list->count(); ++i)
            rows.push_back(list->item(i)->text().toStdString());
        return rows;
    }
    // What the view received since it was last cleared: each document, and each camera
    // without its speed.
    std::vector<std::string> drawn() const
    {
        std::vector<std::string> lines;
        for (const auto& call : recorder->calls) {
            const CameraInfoGE& c = call.camera;
            if (call.kind == RecordingApplication::Call::ClearKmlData)
                lines.clear();
            else if (call.kind == RecordingApplication::Call::LoadKmlData)
                lines.push_back("kml " + call.kml);
            else if (call.kind == RecordingApplication::Call::SetCamera)
                lines.push_back(QString::asprintf("camera %.17g %.17g %.17g %.17g %.17g", c.FocusPointLatitude,
                                                  c.FocusPointLongitude, c.Range, c.Tilt, c.Azimuth)
                                    .toStdString());
        }
        return lines;
    }
    // Twips to pixels at the window's resolution.
    int px(double twips) const { return static_cast<int>(std::lround(twips * LogicalDpi(main.get()) / 1440)); }
    int highlighted() const { return find<QListWidget>("lstBoats")->currentRow(); }
    QString text(const char* name) const { return find<QLineEdit>(name)->text(); }

    TempDir dir;
    QSettings settings;
    ScriptedDialogs dialogs;
    RecordingApplication* recorder = nullptr;
    int viewsMade = 0;
    std::unique_ptr<FrmMain> main;
};

TEST(SetUpWindow, ShowsItsControlsMenusBarsAndAboutAsDesignedInTabOrder)
{
    Window w;
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0");
    EXPECT_FALSE(w.main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.main->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.main->windowIcon().isNull());

    // Each control's name, text, tool tip and name for assistive technology, in tab order:
    // the track browser, the preview, the four boxes, the name and rating, the import button,
    // Add, Change, Delete, the handicap system, the boat list and Start, as they stand on the
    // screen.
    const std::tuple<const char*, const char*, const char*, const char*> controls[] = {
        {"Drive1", nullptr, "Select track file", "Drives"},
        {"Dir1", nullptr, "Select track file", "Folders"},
        {"File1", nullptr, "Select track file", "Track files"},
        {"txtTrackFile", "", "Content in selected track file", "Content in selected track file"},
        {"txtStarttid", "2007-01-01 12:30:00", "Startime to be added", "Start tid"},
        {"txtLYStal", "1.10", "LYS for selected track to be added", "LYS tal"},
        {"txtColor", "100", "Color of track (0-1300)", "Färg"},
        {"txtSepChar", ",", "Separation character between information in selected track", "SepChar"},
        {"txtName", "", "The boat's name as the tables and the legend show it", "Name"},
        {"txtRating", "",
         "The boat's rating under the race's handicap system (PLT PLD under ORC's performance line)", "Rating"},
        {"cmdParse", "", "Parse KLM file", "Parse KLM file"},
        {"cmdAdd", "Add", "Add track to plotsession", "Add"},
        {"cmdChange", "Change", "Change data in selected track", "Change"},
        {"cmdDelete", "Delete", "Delete selected track from plotsession", "Delete"},
        {"cboHandicap", nullptr, "The handicap system the race is scored by", "Handicap system"},
        {"lstBoats", nullptr, "", "Boats"},
        {"cmdStart", "Start", "Start Google earth plot ", "Start"},
        {"Label1", "Start tid", "", nullptr},
        {"Label2", "LYS tal", "", nullptr},
        {"lblColor", "Färg", "", nullptr},
        {"Label4", "SepChar", "", nullptr},
        {"lblDrive", "Drive", "", nullptr},
        {"lblHandicap", "Hand&icap", "", nullptr},
        {"lblName", "&Name", "", nullptr},
        {"lblRating", "&Rating", "", nullptr},
    };
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "no race yet";
    w.find("cmdStart")->setEnabled(true); // for the tab order
    QStringList tabOrder, expectedTabOrder;
    for (QWidget* at = w.find("Drive1"); tabOrder.size() < 17; at = at->nextInFocusChain()) {
        if (at->focusPolicy() & Qt::TabFocus && at->isVisibleTo(w.main.get()) && !at->objectName().isEmpty() &&
            at->parentWidget() == w.main->centralWidget())
            tabOrder << at->objectName();
    }
    for (const auto& [name, text, toolTip, accessibleName] : controls) {
        QWidget* widget = w.find(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->toolTip(), QString::fromUtf8(toolTip)) << name;
        if (text) {
            const char* property = qobject_cast<QPlainTextEdit*>(widget) ? "plainText" : "text";
            EXPECT_EQ(widget->property(property).toString(), QString::fromUtf8(text)) << name;
        }
        if (accessibleName) {
            // On Linux a combo box is read out by its current item; its own name is set all the same.
            const QString spoken = qobject_cast<QComboBox*>(widget) ? widget->accessibleName() : AccessibleName(widget);
            EXPECT_EQ(spoken, QString::fromUtf8(accessibleName)) << name;
            expectedTabOrder << name;
        }
    }
    EXPECT_EQ(tabOrder.join(u' ').toStdString(), expectedTabOrder.join(u' ').toStdString());
    EXPECT_EQ(w.find<QLabel>("lblDrive")->buddy(), w.find("Drive1"));

    // The preview only shows: typing changes nothing, and Tab moves on to the start time.
    auto* preview = w.find<QPlainTextEdit>("txtTrackFile");
    preview->setFocus();
    QTest::keyClicks(preview, "typed");
    EXPECT_TRUE(preview->toPlainText().isEmpty());
    QTest::keyClick(preview, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.find("txtStarttid"));

    EXPECT_FALSE(w.find<QLabel>("lblColor")->autoFillBackground()) << "the swatch starts uncoloured";

    // Twips at the screen's resolution: Start at 4800, 120, 2175, 329 and the preview at
    // 2760, 3480, 8895, 6855 (below the name and rating boxes); worked out by hand for 96 and for 144 dots an inch. The start
    // time box shows a whole date and time.
    EXPECT_EQ(w.find("cmdStart")->geometry(),
              QRect(w.px(4800), w.px(120), w.px(6975) - w.px(4800), w.px(449) - w.px(120)));
    EXPECT_EQ(w.find("txtTrackFile")->geometry(),
              QRect(w.px(2760), w.px(3480), w.px(11655) - w.px(2760), w.px(10335) - w.px(3480)));
    const ControlRow start{"", ControlKind::CommandButton, 4800, 120, 2175, 329, "", "", 0};
    EXPECT_EQ(TwipsToPixels(start, 96.0), QRect(320, 8, 145, 22));
    EXPECT_EQ(TwipsToPixels(start, 144.0), QRect(480, 12, 218, 33));
    auto* startTime = w.find<QLineEdit>("txtStarttid");
    EXPECT_GE(startTime->contentsRect().width() - 6,
              startTime->fontMetrics().horizontalAdvance(QStringLiteral("2007-01-01 12:30:00")));

    // Controls keep their places when the window is resized; the bars follow its edges.
    const QRect startPlace = w.find("cmdStart")->geometry();
    w.main->resize(w.main->width() + 150, w.main->height() + 90);
    QTest::qWait(20);
    EXPECT_EQ(w.find("cmdStart")->geometry(), startPlace);
    EXPECT_EQ(w.find("tbToolBar")->width(), w.main->centralWidget()->width());
    EXPECT_EQ(w.find("sbStatusBar")->geometry().bottom(), w.main->centralWidget()->height() - 1);

    QStringList menus;
    for (QAction* top : w.main->menuBar()->actions()) {
        QStringList items;
        for (QAction* item : top->menu()->actions())
            items << item->objectName() + "=" + item->text() + "=" + item->shortcut().toString();
        menus << top->text() + ": " + items.join(u", ");
    }
    EXPECT_EQ(menus.join(u" | ").toStdString(),
              "&File: mnuFileNew=&New=Ctrl+N, mnuFileOpen=&Open...=Ctrl+O, mnuFileClose=&Close=, "
              "mnuFileSave=&Save=Ctrl+S, mnuFileSaveAs=Save &As...=Ctrl+Shift+S, mnuFileExit=E&xit=Ctrl+Q | "
              "&Help: mnuHelpAbout=&About =");
    // Every tool bar button is an item of the File menu.
    QStringList buttons;
    for (QAction* a : w.find<QToolBar>("tbToolBar")->actions()) {
        buttons << a->data().toString() + "/" + a->toolTip() + "/" + a->objectName();
        EXPECT_FALSE(a->icon().isNull());
    }
    EXPECT_EQ(buttons.join(u", ").toStdString(), "New/New/mnuFileNew, Open/Open/mnuFileOpen, Save/Save/mnuFileSave, "
                                                 "Save as/Save as/mnuFileSaveAs");

    const auto labels = w.find<QStatusBar>("sbStatusBar")->findChildren<QLabel*>();
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels[0]->text(), "Status");
    EXPECT_EQ(labels[1]->text(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return labels[2]->text() == QLocale().toString(QTime::currentTime(), QLocale::ShortFormat); }, 3000))
        << "the clock is kept current";

    // Help > About: the version and the project's pages, which exist on this computer.
    w.menu("mnuHelpAbout");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_EQ(w.dialogs.told[0].second, MessageKind::Plain);
    const QStringList lines = w.dialogs.told[0].first.split(u'\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Version 1.0.10");
    EXPECT_TRUE(lines[1].endsWith("README.md")) << lines[1].toStdString();
    EXPECT_TRUE(QFile::exists(QUrl(lines[1]).toLocalFile())) << lines[1].toStdString();
    ASSERT_TRUE(lines[2].startsWith("FAQ and instructions: ")) << lines[2].toStdString();
    const QUrl faq(lines[2].mid(22));
    EXPECT_TRUE(faq.toLocalFile().endsWith("FAQ.md") && QFile::exists(faq.toLocalFile())) << lines[2].toStdString();
}

TEST(TrackBrowser, ListsTxtFilesOfTheFolderAndPreviewsTheFirst41Lines)
{
    Window w;
    EXPECT_EQ(w.find<QListWidget>("Dir1")->currentItem()->data(Qt::UserRole).toString(), QDir::currentPath());

    TempDir files;
    std::vector<std::string> lines;
    for (int i = 1; i <= 100; ++i)
        lines.push_back("57.1,11.2,20080621," + std::to_string(100000 + i));
    files.write("long.txt", lines, "\n");
    files.write("TRACK.TXT", {"a", "b", "c"});
    files.write("other.csv", {"x"});
    files.write("log.nmea.wind.txt", {"Date,Time,TWD,TWS,AWA,AWS,HDG,BSP"}); // an instruments' wind, no track
    files.writeBytes("nothing.txt", "");
    std::filesystem::create_directories(files.path() / "sub");
    w.openFolder(Q(files.path().string()));

    EXPECT_EQ(w.listRows("File1"), (std::vector<std::string>{"long.txt", "nothing.txt", "TRACK.TXT"}));
    auto* dirs = w.find<QListWidget>("Dir1");
    EXPECT_EQ(dirs->item(dirs->count() - 1)->text(), "sub");
    EXPECT_EQ(dirs->currentItem()->text(), Q(files.path().filename().string()));

    auto* preview = w.find<QPlainTextEdit>("txtTrackFile");
    w.clickFile("long.txt");
    const QStringList previewLines = preview->toPlainText().split(u'\n');
    EXPECT_EQ(previewLines.size(), 42); // 41 lines, each ended
    EXPECT_EQ(previewLines.value(40), "57.1,11.2,20080621,100041");

    w.clickFile("nothing.txt");
    EXPECT_TRUE(preview->toPlainText().isEmpty());
    EXPECT_TRUE(w.dialogs.lastSays("nothing.txt"));
    EXPECT_TRUE(w.dialogs.lastSays("empty"));

    w.clickFile("TRACK.TXT");
    w.openFolder(Q((files.path() / "sub").string()));
    EXPECT_TRUE(w.listRows("File1").empty());
    EXPECT_EQ(preview->toPlainText(), "a\nb\nc\n") << "changing the folder leaves the preview";
}

TEST(Replay, FailuresAndWarningsAreShownAndLeaveTheWindowsUsable)
{
    Window w;
    TempDir race;
    race.write("good.txt", {"57.1,11.2,20080621,110000", "57.1,11.2,20080621,110000", "57.2,11.3,20080621,110100",
                            "57.3,11.4,20080621,nonsense"});
    const std::string broken = race.write("broken.TP1", {"good.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"});
    const std::string missing = race.write("missing.TP1", {"nowhere.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"});
    const std::string local = race.write("local.TP1", {"good.txt , 2008-06-21 13:00:00 , 1 , 0 , ,"});

    // Start times two hours after the track: one warning, and the replay is ready to play.
    w.open(Q(local));
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);
    EXPECT_TRUE(w.dialogs.lastSays("time zone"));
    ASSERT_NE(w.main->controlWindow(), nullptr);
    w.main->controlWindow()->close();
    QTest::qWait(20);
    w.dialogs.told.clear();

    // A race whose track file is missing says so when it is opened; Start stays disabled.
    w.open(Q(missing));
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("row 1: the track file"));
    EXPECT_TRUE(w.dialogs.lastSays("nowhere.txt"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());

    // A start that fails (the track file went away after Open): the message, no control
    // window, and Start works again.
    const std::string gone = race.write("gone.txt", {"57.1,11.2,20080621,110000"});
    w.open(Q(race.write("gone.TP1", {"gone.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"})));
    std::filesystem::remove(gone);
    w.dialogs.told.clear();
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("gone.txt"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    // A FIFO where a track file or the race file should be is named at once, never read
    // (it would wait for a writer): at Open, and at Start when it took the file's place
    // after Open.
    ASSERT_EQ(::mkfifo(race.file("fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(race.file("fifo.TP1").c_str(), 0600), 0);
    w.dialogs.told.clear();
    w.open(Q(race.write("fifotrack.TP1", {"fifo.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"})));
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("row 1: the track file cannot open")) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastSays("fifo.txt\": it is a FIFO (a named pipe), not a file"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.dialogs.told.clear();
    w.open(Q(race.file("fifo.TP1")));
    EXPECT_TRUE(w.dialogs.lastSays("it is a FIFO (a named pipe), not a file")) << w.dialogs.lastMessage().toStdString();
    const std::string swapped = race.write("swapped.txt", {"57.1,11.2,20080621,110000"});
    w.open(Q(race.write("swapped.TP1", {"swapped.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"})));
    std::filesystem::remove(swapped);
    ASSERT_EQ(::mkfifo(swapped.c_str(), 0600), 0);
    w.dialogs.told.clear();
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("swapped.txt\" is a FIFO (a named pipe), not a file"))
        << w.dialogs.lastMessage().toStdString();
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    // Blank lines at the end of a race file (an editor's) are no rows.
    w.dialogs.told.clear();
    w.open(Q(race.write("blanks.TP1", {"good.txt , 2008-06-21 11:00:00 , 1 , 0 , ,", "", " "})));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_EQ(w.listRows().size(), 1u);
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());

    // A step that fails: the message names the file and line; the timer stops.
    w.open(Q(broken));
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    Window::type(w.control<QLineEdit>("txtResolution"), "60");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.dialogs.told.size() == 1; }, 20000));
    EXPECT_TRUE(w.dialogs.lastSays("good.txt"));
    EXPECT_TRUE(w.dialogs.lastSays("line 4"));
    EXPECT_FALSE(w.main->controlWindow()->session().playing());
    EXPECT_TRUE(w.main->controlWindow()->isVisible());

    // A play speed that is no whole number from 0 to 65535, or a resolution that is no
    // positive number of seconds, is refused when Play is pressed; the timer keeps its state.
    w.clickControl("cmdStop");
    const std::tuple<const char*, const char*, const char*> refused[] = {
        {"abc", "10", "play speed"}, {"-1", "10", "play speed"},  {"65536", "10", "play speed"},
        {"", "10", "play speed"},    {"1e9", "10", "play speed"}, {"10", "0", "resolution"},
        {"10", "-60", "resolution"}, {"10", "abc", "resolution"}, {"0", "", "resolution"}};
    for (const auto& [speed, resolution, told] : refused) {
        Window::type(w.control<QLineEdit>("txtPlayspeed"), speed);
        Window::type(w.control<QLineEdit>("txtResolution"), resolution);
        w.clickControl("cmdPlay");
        EXPECT_TRUE(w.dialogs.lastSays(told)) << speed << " " << resolution;
        EXPECT_FALSE(w.main->controlWindow()->session().playing()) << speed << " " << resolution;
    }
    // A tail that is no sensible number of minutes, as --tail refuses it.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "10");
    Window::type(w.control<QLineEdit>("txtResolution"), "10");
    for (const char* tail : {"1e-300", "-1", "99999999999"}) {
        Window::type(w.control<QLineEdit>("txtTail"), tail);
        w.clickControl("cmdPlay");
        EXPECT_TRUE(w.dialogs.lastSays("give 0 (the whole track) or 0.1 to 1000000 minutes")) << tail;
        EXPECT_FALSE(w.main->controlWindow()->session().playing()) << tail;
    }
}

TEST(Settings, FirstStartShowsEveryControlAndTheWindowComesBackAsItWasLeft)
{
    Window w;
    // Nothing stored: the designed size, every control in view, inside the screen as far as
    // it goes; the window never gets smaller than that.
    const QSize designed(w.px(11820), w.px(10725));
    EXPECT_EQ(w.main->centralWidget()->size(), designed);
    const QRect screen = w.main->screen()->availableGeometry();
    EXPECT_EQ(w.main->frameGeometry().left(),
              std::max(screen.left(), std::min(w.px(1000), screen.right() + 1 - w.main->frameGeometry().width())));
    w.main->resize(300, 200);
    EXPECT_EQ(w.main->centralWidget()->size(), designed);

    w.main->move(w.px(1500), w.px(1200));
    w.main->resize(QSize(w.px(12000), w.px(11550)) - (w.main->frameGeometry().size() - w.main->size()));
    const QRect left = w.main->frameGeometry();
    w.menu("mnuFileExit");
    EXPECT_FALSE(w.main->isVisible());
    w.settings.sync();
    QStringList stored;
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        stored << w.settings.value(QStringLiteral("Settings/") + key).toString();
    EXPECT_EQ(stored.join(u' '), "1500 1200 12000 11550");
    EXPECT_FALSE(w.settings.value("Settings/MainGeometry").toByteArray().isEmpty());

    // Ten starts in a row: the window comes back where it was left, kept inside the screen,
    // every time.
    QRect back = left;
    back.moveTo(std::max(screen.left(), std::min(left.left(), screen.right() + 1 - left.width())),
                std::max(screen.top(), std::min(left.top(), screen.bottom() + 1 - left.height())));
    for (int run = 0; run < 10; ++run) {
        w.make();
        QTest::qWait(20);
        EXPECT_EQ(w.main->frameGeometry(), back) << "start " << run + 1;
        w.main->close();
    }

    // Minimised at closing: nothing is stored. Without the window record, the four values
    // place it, and a value that is no number gives its default.
    const QString storedLeft = w.settings.value("Settings/MainLeft").toString();
    w.make();
    w.main->showMinimized();
    w.main->close();
    EXPECT_EQ(w.settings.value("Settings/MainLeft").toString(), storedLeft);
    w.settings.remove("Settings/MainGeometry");
    w.settings.setValue("Settings/MainLeft", "left");
    w.settings.setValue("Settings/MainTop", "1e400");
    w.make();
    EXPECT_EQ(w.main->frameGeometry(), QRect(w.px(1000), w.px(1000), w.px(12000), w.px(11550)));
    w.main->close();
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
}

TEST(Settings, ASettingsStoreThatCannotBeWrittenIsToldOnce)
{
    TempDir dir;
    dir.write("file", {"not a folder"});
    QSettings unwritable(Q(dir.file("file") + "/settings.ini"), QSettings::IniFormat);
    ScriptedDialogs dialogs;
    FrmMain::Options options;
    options.settings = &unwritable;
    options.dialogs = &dialogs;
    options.createEarth = [] { return std::make_unique<RecordingApplication>(); };
    FrmMain main(std::move(options));
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    main.close();
    ASSERT_EQ(dialogs.told.size(), 1u);
    EXPECT_TRUE(dialogs.lastSays("cannot be written")) << dialogs.lastMessage().toStdString();
    EXPECT_EQ(dialogs.told.back().second, MessageKind::Warning);
}

// A memory setting the replay cannot take (Replay/MemoryMB out of 16 to 65536, or no whole
// number) is said at the first Start that meets it, with what the replay uses instead; not
// again at the next Start, and not at all for a setting it takes.
TEST(Settings, AReplayMemoryItCannotTakeIsToldOnceWithWhatIsUsed)
{
    Window w;
    TempDir race;
    race.write("boat.txt", {"57.1,11.2,20080621,110000", "57.2,11.3,20080621,110100"});
    w.open(Q(race.write("race.TP1", {"boat.txt , 2008-06-21 11:00:00 , 1 , 0 , ,"})));
    const std::pair<const char*, const char*> cases[] = {
        {"15", "The setting Replay/MemoryMB is 15, out of its range of 16 to 65536 megabytes: the replay uses 256 MB."},
        {"abc", "The setting Replay/MemoryMB is \"abc\", not a whole number of megabytes from 16 to 65536: the "
                "replay uses 256 MB."},
        {"-1", "The setting Replay/MemoryMB is -1, out of its range of 16 to 65536 megabytes: the replay uses 256 MB."},
        {"65537",
         "The setting Replay/MemoryMB is 65537, out of its range of 16 to 65536 megabytes: the replay uses 256 MB."},
        {"16", ""},
        {"65536", ""},
    };
    for (const auto& [value, said] : cases) {
        w.settings.setValue("Replay/MemoryMB", value);
        for (const char* start : {"first", "second"}) {
            w.dialogs.told.clear();
            w.click("cmdStart");
            ASSERT_NE(w.main->controlWindow(), nullptr) << value;
            if (*said != '\0' && std::string(start) == "first") {
                ASSERT_EQ(w.dialogs.told.size(), 1u) << value;
                EXPECT_EQ(w.dialogs.told[0].first.toStdString(), said);
                EXPECT_EQ(w.dialogs.told[0].second, MessageKind::Warning);
            } else {
                EXPECT_TRUE(w.dialogs.told.empty()) << value << ", " << start << " Start: " << w.dialogs.lastMessage().toStdString();
            }
            w.main->controlWindow()->close();
            QTest::qWait(20);
        }
    }
}

const std::string kSample = TIDEPLOT_SOURCE_DIR "/examples/sample-race/";

// A folder whose name holds å, ä and ö, with one track file.
struct RaceFolder {
    TempDir dir;
    std::string folder = dir.file("Seglingar åäö");
    RaceFolder()
    {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/boat1.txt") << "57.1,11.2,20070101,123000\r\n";
    }
    std::string file(const std::string& name) const { return folder + "/" + name; }
};

QColor Swatch(Window& w)
{
    auto* label = w.find<QLabel>("lblColor");
    return label->autoFillBackground() ? label->palette().color(QPalette::Window) : QColor();
}

TEST(Editing, AddSelectChangeAndDeleteAsTheUserSeesThem)
{
    Window w;
    RaceFolder race;
    w.openFolder(Q(race.folder));
    w.click("cmdAdd");
    EXPECT_TRUE(w.listRows().empty()) << "no file selected: nothing added";

    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    const std::string row = race.folder + "/boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,";
    ASSERT_EQ(w.main->boats().rows(), std::vector<std::string>{row});
    EXPECT_EQ(w.highlighted(), 0) << "Delete would remove the first row: it is highlighted";

    // The swatch shows the colour of the number typed, rounded half to even, on the scale from
    // red (0) through yellow (255) to green (511); white off the scale.
    const std::pair<const char*, QColor> swatches[] = {
        {"300", QColor(211, 255, 0)},   {"abc", Qt::red},    {"100.5", QColor(255, 100, 0)},
        {"101.5", QColor(255, 102, 0)}, {"1e20", Qt::white}, {"2000", Qt::white}};
    for (const auto& [text, colour] : swatches) {
        w.type("txtColor", text);
        EXPECT_EQ(Swatch(w), colour) << text;
    }
    w.type("txtLYStal", "1.20");
    w.click("cmdAdd");
    w.type("txtLYStal", "1.30");
    w.click("cmdAdd");
    ASSERT_EQ(w.listRows().size(), 3u);

    // Selecting a row shows its fields; the swatch follows.
    w.clickRow("lstBoats", 0);
    EXPECT_EQ(Swatch(w), QColor(255, 100, 0));

    // Change keeps the track file as it is and moves the row to the end.
    w.type("txtColor", "511");
    w.click("cmdChange");
    w.clickRow("lstBoats", 2);
    w.click("cmdChange");
    EXPECT_EQ(w.main->boats().rows().back(), race.folder + "/boat1.txt , 2007-01-01 12:30:00 ,   1.10   ,  511  , ,");

    // Delete twice removes the highlighted row and then the one that moved up; the boxes stay.
    w.clickRow("lstBoats", 1);
    const QString lys = w.text("txtLYStal");
    w.click("cmdDelete");
    EXPECT_EQ(w.highlighted(), 1);
    EXPECT_EQ(w.text("txtLYStal"), lys);
    w.click("cmdDelete");
    EXPECT_EQ(w.highlighted(), -1);
    w.click("cmdDelete");
    ASSERT_EQ(w.listRows().size(), 1u);
    EXPECT_NE(w.main->boats().rows()[0].find(" 1.20 "), std::string::npos);
}

TEST(RaceFileMenu, SaveOpenRoundTripRowsInTheBoxesAndStartFollowsTheFile)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race åäö.TP1");
    // Each row and its boxes when selected: the start time in full when it reads as one, the
    // separator as the row's last character (a blank too).
    const struct {
        std::string row;
        std::vector<std::string> boxes;
    } rows[] = {{race.folder + "/boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,",
                 {"2007-01-01 12:30:00", " 1.10 ", " 100 ", ","}},
                {"b.txt , 2007-1-1 9:05 , 1 , 2 , ;", {"2007-01-01 09:05:00", " 1 ", " 2 ", ";"}},
                {"b.txt , tomorrow , 1 , 2 , ;", {" tomorrow ", " 1 ", " 2 ", ";"}},
                {"", {"", "", "", ""}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 ,  ", {"2008-06-21 11:00:00", " 1 ", " 2 ", " "}},
                {"b.txt , 2008-06-21 11:00:00 , 1 , 2 , \t", {"2008-06-21 11:00:00", " 1 ", " 2 ", "\t"}}};
    w.openFolder(Q(race.folder));

    // Save with no race file asks for one in the browser's folder; a cancelled dialog changes nothing.
    w.dialogs.answers = {""};
    w.menu("mnuFileSave");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Save as");
    EXPECT_EQ(w.dialogs.asked[0].filter, "All Files (*.TP1)");
    EXPECT_EQ(w.dialogs.asked[0].kind, FileQuestion::Save);
    EXPECT_EQ(w.dialogs.asked[0].folder, QDir::toNativeSeparators(Q(race.folder)));
    EXPECT_TRUE(w.main->raceFileName().isEmpty());

    // A file with a byte order mark and every kind of line end, the last line without one,
    // opens row by row; the rows that will not replay are named in one message and Start
    // stays disabled. Save as writes CR LF.
    std::string mixed = "\xEF\xBB\xBF", text;
    const char* ends[] = {"\r\n", "\r", "\n", "\r\n", "\n", ""};
    for (int row = 0; row < 6; ++row) {
        mixed += rows[row].row + ends[row];
        text += rows[row].row + "\r\n";
    }
    w.dialogs.answers = {Q(race.file("mixed.TP1")), Q(path)};
    std::ofstream(race.file("mixed.TP1"), std::ios::binary) << mixed;
    w.toolBar("Open");
    EXPECT_EQ(w.dialogs.asked.back().title, "Open");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    for (const char* said : {"5 of the 6 rows of mixed.TP1 will not replay", "row 2: the track file",
                             "row 3: the start", "row 4: the start", "row 6: the track file"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said;
    EXPECT_FALSE(w.dialogs.lastSays("row 1:"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    EXPECT_EQ(w.listRows().size(), 6u) << "shown all the same, to be mended";
    EXPECT_EQ(w.highlighted(), 0);
    w.toolBar("Save as");
    // A track in the race file's folder is written relative to it: the folder can move.
    const std::string inFolder = race.folder + "/";
    ASSERT_EQ(text.rfind(inFolder, 0), 0u);
    EXPECT_EQ(Slurp(path), text.substr(inFolder.size()));
    EXPECT_EQ(w.listRows().front(), rows[0].row.substr(inFolder.size())) << "the list shows it so";
    EXPECT_EQ(w.main->raceFileName(), Q(path));
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0 - race åäö.TP1[*]");
    EXPECT_EQ(w.highlighted(), 5) << "the last row ends selected and shown";
    EXPECT_EQ(w.text("txtSepChar"), "\t");
    for (int row = 0; row < 6; ++row) {
        w.clickRow("lstBoats", row);
        std::vector<std::string> boxes;
        for (const char* box : {"txtStarttid", "txtLYStal", "txtColor", "txtSepChar"})
            boxes.push_back(w.text(box).toStdString());
        EXPECT_EQ(boxes, rows[row].boxes) << rows[row].row;
    }
    // Change keeps a blank separator.
    w.clickRow("lstBoats", 4);
    w.click("cmdChange");
    EXPECT_EQ(w.main->boats().rows().back().back(), ' ');

    // An empty race file: an empty list and Start disabled. A name typed without an
    // extension is given the race file's; Save as leaves Start as it was, Save enables it.
    std::ofstream(race.file("empty.TP1"));
    w.dialogs.told.clear();
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.dialogs.answers = {Q(race.file("empty.TP1"))};
    w.toolBar("Open");
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    w.dialogs.answers = {Q(race.file("other"))};
    w.toolBar("Save as");
    EXPECT_EQ(w.main->raceFileName(), Q(race.file("other.TP1")));
    EXPECT_TRUE(std::filesystem::exists(race.file("other.TP1")));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "Save as leaves Start as it was";
    w.toolBar("Save");
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
    w.click("cmdDelete");
    w.toolBar("Save");
    EXPECT_EQ(Slurp(race.file("other.TP1")), "");
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
}

TEST(RaceFileMenu, NewMakesAMissingFileLeavesAnExistingOneUntilSaveAndFailuresAreTold)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race.TP1");
    const std::string old = "boat1.txt , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n";
    std::ofstream(path, std::ios::binary) << old;
    w.openFolder(Q(race.folder));
    w.open(Q(path));
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
    w.dialogs.answers = {Q(path)};
    QTest::keyClick(w.main.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(w.dialogs.asked.back().title, "New");
    EXPECT_EQ(w.dialogs.asked.back().kind, FileQuestion::Create);
    EXPECT_EQ(w.dialogs.asked.back().folder, QDir::toNativeSeparators(Q(race.folder)));
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_EQ(Slurp(path), old);
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "an empty list has nothing to start";
    w.dialogs.saveAnswers = {SaveAnswer::Discard, SaveAnswer::Discard};
    w.dialogs.answers = {""};
    w.toolBar("New"); // cancelled
    EXPECT_EQ(w.main->raceFileName(), Q(path));
    w.dialogs.answers = {Q(race.file("no/such/folder.TP1"))};
    w.toolBar("New");
    EXPECT_TRUE(w.dialogs.lastSays("folder.TP1"));
    EXPECT_EQ(w.main->raceFileName(), Q(path));

    // A file that cannot be read: the message names it; nothing changes.
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.dialogs.answers = {Q(race.file("missing.TP1"))};
    w.toolBar("Open");
    EXPECT_TRUE(w.dialogs.lastSays("missing.TP1"));
    EXPECT_EQ(w.listRows().size(), 1u);
    EXPECT_EQ(w.main->raceFileName(), Q(path));

    // A save that fails part way (files may grow to 16 bytes only): the old file stays whole.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small = limit;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    w.toolBar("Save");
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_TRUE(w.dialogs.lastSays("race.TP1"));
    EXPECT_EQ(Slurp(path), old);

    // Close puts the race away: an empty list and a title without a race.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.menu("mnuFileClose");
    EXPECT_TRUE(w.listRows().empty());
    EXPECT_TRUE(w.main->raceFileName().isEmpty());
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0");
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.dialogs.answers = {Q(race.file("new"))};
    w.toolBar("New");
    EXPECT_TRUE(std::filesystem::exists(race.file("new.TP1"))) << "New makes the file, with the race file's extension";
    EXPECT_TRUE(w.dialogs.saveAnswers.empty());
}

TEST(RaceFileMenu, UnsavedRowsAreAskedForBeforeClosingNewOpenAndClose)
{
    Window w;
    RaceFolder race;
    const std::string path = race.file("race.TP1"), other = race.file("other.TP1");
    const std::string row = "boat1.txt , 2007-01-01 12:30:00 , 1 , 2 , ,\r\n";
    std::ofstream(path, std::ios::binary) << row;
    std::ofstream(other, std::ios::binary) << row << row;
    w.openFolder(Q(race.folder));
    w.open(Q(path));
    EXPECT_FALSE(w.main->isWindowModified());
    w.clickFile("boat1.txt");
    w.click("cmdAdd");
    EXPECT_TRUE(w.main->isWindowModified());
    EXPECT_TRUE(w.main->hasUnsavedChanges());

    // Cancel: the operation does not happen.
    const std::size_t dialogsBefore = w.dialogs.asked.size();
    for (auto operation :
         std::vector<std::function<void()>>{[&] { w.toolBar("Open"); }, [&] { w.toolBar("New"); },
                                            [&] { w.menu("mnuFileClose"); }, [&] { w.main->close(); }}) {
        w.dialogs.saveAnswers = {SaveAnswer::Cancel};
        operation();
        EXPECT_EQ(w.dialogs.questions.back(), "Save the changes to race.TP1?");
        EXPECT_TRUE(w.dialogs.saveAnswers.empty());
    }
    EXPECT_EQ(w.dialogs.asked.size(), dialogsBefore) << "no file dialog after Cancel";
    EXPECT_TRUE(w.main->isVisible());
    EXPECT_EQ(w.listRows().size(), 2u);

    // Discard: the operation goes on and the file stays as it was.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.open(Q(other));
    EXPECT_EQ(w.listRows().size(), 2u);
    EXPECT_EQ(Slurp(path), row);

    // Save: the rows are written first. A list that matches its file asks nothing.
    w.click("cmdDelete");
    w.dialogs.saveAnswers = {SaveAnswer::Save};
    w.menu("mnuFileClose");
    EXPECT_EQ(Slurp(other), row);
    EXPECT_TRUE(w.listRows().empty());
    w.open(Q(other));
    w.dialogs.answers = {Q(path)};
    w.toolBar("Open");
    EXPECT_TRUE(w.dialogs.saveAnswers.empty());

    // Unsaved rows of no race file yet: Save asks for a name when closing.
    w.dialogs.saveAnswers = {SaveAnswer::Discard};
    w.menu("mnuFileClose");
    w.click("cmdAdd");
    w.dialogs.saveAnswers = {SaveAnswer::Save};
    w.dialogs.answers = {Q(race.file("kept"))};
    w.menu("mnuFileExit");
    EXPECT_EQ(w.dialogs.questions.back(), "Save the changes to a new race file?");
    EXPECT_FALSE(w.main->isVisible());
    EXPECT_NE(Slurp(race.file("kept.TP1")).find("boat1.txt"), std::string::npos);
}

// A race opened shows its highlighted row in the boxes, so Change keeps the boat as it is
// (and so does the next Change, on the row highlighted after it). Saved, the race names its
// tracks relative to its folder: the folder copied elsewhere replays, and Save As into
// another folder names each track so that it is found from there.
TEST(RaceFileMenu, ARaceOpenedKeepsItsRowsOnChangeAndMovesWithItsFolder)
{
    Window w;
    RaceFolder race;
    std::filesystem::create_directories(race.file("tracks"));
    for (const char* boat : {"Elsa.txt", "Saga.txt"})
        std::filesystem::copy_file(kSample + boat, race.file("tracks/") + boat);
    const std::string path = race.file("race.TP1");
    std::ofstream(path, std::ios::binary)
        << race.file("tracks/Elsa.txt") << " , 2008-06-21 11:00:00 , 1.00 , 0 , ,\r\n"
        << race.file("tracks/Saga.txt") << " , 2008-06-21 11:03:30 , 1.05 , 1023 , ,\r\n";
    w.open(Q(path));
    EXPECT_EQ(w.text("txtStarttid"), "2008-06-21 11:00:00");
    EXPECT_EQ(w.text("txtColor"), " 0 ");
    w.click("cmdChange");
    w.click("cmdChange");
    std::vector<std::string> kept;
    for (const std::string& row : w.main->boats().rows())
        kept.push_back(std::string(TrimSpaces(GetField(row, 1, ','))) + "|" +
                       std::string(TrimSpaces(GetField(row, 3, ','))));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"2008-06-21 11:00:00|0", "2008-06-21 11:03:30|1023"}))
        << "no boat took another's values";

    w.toolBar("Save");
    const std::string saved = Slurp(path);
    EXPECT_NE(saved.find("tracks/Elsa.txt , 2008-06-21"), std::string::npos) << saved;
    EXPECT_EQ(saved.find(race.folder), std::string::npos) << "no full path: " << saved;

    TempDir elsewhere;
    std::filesystem::copy(race.folder, elsewhere.file("copy"), std::filesystem::copy_options::recursive);
    w.dialogs.told.clear();
    w.open(Q(elsewhere.file("copy/race.TP1")));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.find("cmdStart")->isEnabled()) << "the copied folder replays";

    std::filesystem::create_directories(elsewhere.file("other"));
    w.dialogs.answers = {Q(elsewhere.file("other/moved.TP1"))};
    w.toolBar("Save as");
    w.open(Q(elsewhere.file("other/moved.TP1")));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.find("cmdStart")->isEnabled()) << "Save As into another folder replays";
    EXPECT_NE(Slurp(elsewhere.file("other/moved.TP1")).find(elsewhere.file("copy/tracks/Saga.txt")), std::string::npos);
}

TEST(ImportButton, WritesTheLogsPointsBesideItSaysHowManyAndShowsTheTrackFile)
{
    Window w;
    RaceFolder race;
    const std::string log = race.file("dag 1.kml");
    std::ofstream(log) << "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n"
                          "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp>"
                          "<Point><coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>\n"
                          "<Placemark><TimeStamp><when/></TimeStamp>"
                          "<Point><coordinates>18.0714,59.3253,0</coordinates></Point></Placemark>\n"
                          "</Document></kml>\n";
    const std::string broken = race.file("broken.KML");
    std::ofstream(broken) << "<kml><Placemark>";

    w.dialogs.answers = {Q(log), Q(broken), ""};
    w.click("cmdParse");
    ASSERT_EQ(w.dialogs.asked.size(), 1u);
    EXPECT_EQ(w.dialogs.asked[0].title, "Parse .KML file");
    EXPECT_EQ(w.dialogs.asked[0].filter, "GPS logs: KML, KMZ, GPX, NMEA 0183, FIT (*.kml *.kmz *.gpx *.nmea *.nma *.log "
                                         "*.txt *.fit);;All Files (*.KML)");
    EXPECT_EQ(w.dialogs.progressShown, 1);
    EXPECT_EQ(Slurp(log + ".txt"), "Latitude,Longitude,Date,Time\r\n59.3251,18.0710,20070818,102345\r\n");
    // The point without a time is skipped, and the report says so; the browser shows the new
    // track file, selected and previewed.
    EXPECT_TRUE(w.dialogs.lastMessage().startsWith("1 point was written to " + Q(log) + ".txt."))
        << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastSays("1 point skipped"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);
    EXPECT_EQ(w.find<QListWidget>("File1")->currentItem()->text(), "dag 1.kml.txt");
    EXPECT_TRUE(w.find<QPlainTextEdit>("txtTrackFile")->toPlainText().contains("59.3251,18.0710"));

    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    EXPECT_TRUE(w.dialogs.lastSays("broken.KML"));
    EXPECT_FALSE(QFile::exists(Q(broken + ".txt")));
    w.click("cmdParse"); // cancelled
    EXPECT_EQ(w.dialogs.told.size(), 2u);
    EXPECT_TRUE(w.listRows().empty());

    // A log of two days: the report offers one track file per day; the browser shows the first.
    const std::string regatta = race.file("regatta.gpx");
    std::ofstream(regatta)
        << "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
           "<trk><trkseg><trkpt lat=\"57.1\" lon=\"11.2\"><time>2008-07-12T10:00:00Z</time></trkpt>\n"
           "<trkpt lat=\"57.2\" lon=\"11.3\"><time>2008-07-12T10:00:05Z</time></trkpt></trkseg></trk>\n"
           "<trk><trkseg><trkpt lat=\"57.3\" lon=\"11.4\"><time>2008-07-13T10:00:00Z</time></trkpt>\n"
           "<trkpt lat=\"57.4\" lon=\"11.5\"><time>2008-07-13T10:00:05Z</time></trkpt></trkseg></trk>\n"
           "</gpx>\n";
    w.dialogs.answers = {Q(regatta)};
    w.dialogs.yesNoAnswers = {true};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.lastYes, "Split");
    EXPECT_TRUE(w.dialogs.questions.back().contains("2 tracks")) << w.dialogs.questions.back().toStdString();
    EXPECT_TRUE(w.dialogs.questions.back().contains("regatta.gpx.1.txt ... regatta.gpx.2.txt"));
    EXPECT_EQ(Slurp(regatta + ".2.txt"), "Latitude,Longitude,Date,Time\r\n57.3,11.4,20080713,100000\r\n"
                                         "57.4,11.5,20080713,100005\r\n");
    EXPECT_TRUE(QFile::exists(Q(regatta + ".txt")));
    EXPECT_EQ(w.find<QListWidget>("File1")->currentItem()->text(), "regatta.gpx.1.txt");

    // Several logs at once: each imported (the one of two days split when the sailor says
    // so, asked once), a log that cannot be read named, and one report of them all.
    std::filesystem::remove(regatta + ".txt");
    std::filesystem::remove(regatta + ".2.txt");
    w.dialogs.told.clear();
    w.dialogs.filesAnswers = {QStringList{Q(log), Q(regatta), Q(broken)}};
    w.dialogs.yesNoAnswers = {true};
    w.click("cmdParse");
    ASSERT_EQ(w.dialogs.told.size(), 1u) << "one report";
    for (const char* said : {"3 logs imported", "dag 1.kml.txt", "regatta.gpx.2.txt", "broken.KML"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said << ": " << w.dialogs.lastMessage().toStdString();
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error) << "a log could not be read";
    EXPECT_TRUE(QFile::exists(Q(regatta + ".2.txt")));
}

// An NMEA log whose sentences give no date: the import button asks for it (again when what
// is typed is no date) and imports with it, wind file and all; cancelled, it says why
// nothing was written.
TEST(ImportButton, AsksForTheDateOfAnNmeaLogThatGivesNone)
{
    Window w;
    RaceFolder race;
    const std::string log = race.file("passage.nmea");
    std::ofstream(log, std::ios::binary) << "$GPGLL,6005.071,N,02332.346,E,095559,A,D*43\r\n"
                                            "$IIMWV,313,T,08.16,N,A*2B\r\n";
    w.dialogs.answers = {Q(log)};
    w.dialogs.textAnswers = {QStringList{"1.7.2019"}, QStringList{"2019-07-01"}};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.questions, (std::vector<QString>{"Date of passage.nmea", "Date of passage.nmea"}));
    EXPECT_EQ(Slurp(log + ".txt"), "Latitude,Longitude,Date,Time\r\n60.0845167,23.5391000,20190701,095559\r\n");
    EXPECT_EQ(Slurp(log + ".wind.txt"), "Date,Time,TWD,TWS,AWA,AWS,HDG,BSP\r\n20190701,095559,,8.16,,,,\r\n");
    for (const char* said : {"1 point was written to", "1 second of wind, heading and boat speed went to",
                             "its first time is dated 2019-07-01 as given"})
        EXPECT_TRUE(w.dialogs.lastSays(said)) << said << ": " << w.dialogs.lastMessage().toStdString();

    const std::string other = race.file("other.nmea");
    std::filesystem::copy_file(log, other);
    w.dialogs.answers = {Q(other)};
    w.dialogs.textAnswers = {std::nullopt};
    w.click("cmdParse");
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    EXPECT_TRUE(w.dialogs.lastSays("gives the time of day of its positions but no date"));
    EXPECT_FALSE(QFile::exists(Q(other + ".txt")));
}

// The sample race built by hand from its track files in a folder named with å, ä and ö, saved
// and started: the control window, its legend, Play and Stop; after as many steps the race
// time, the distances and what the view received are what the command line's replay traces.
// Then Start again, closing the control window, and Exit.
TEST(EndToEnd, ARaceBuiltInTheWindowPlaysLikeTheCommandLineAndStartsAfreshAfterClosing)
{
    Window w;
    RaceFolder race;
    const struct {
        const char *file, *start, *lys, *colour, *sep, *legend;
        QColor swatch;
    } boats[] = {{"Elsa.txt", "2008-06-21 11:00:00", "1.00", "0", ",", "Elsa.txt 1", Qt::red},
                 {"Saga.txt", "2008-06-21 11:03:30", "1.05", "1023", ",", "Saga.txt 1.05", Qt::blue},
                 {"Svalan.txt", "2008-06-21 11:08:00", "1.12", "511", ";", "Svalan.txt 1.12", Qt::green},
                 {"Vinga.txt", "2008-06-21 11:12:30", "1.20", "1279", ",", "Vinga.txt 1.2", Qt::magenta}};
    for (const auto& b : boats)
        std::filesystem::copy_file(kSample + b.file, race.file(b.file));
    w.openFolder(Q(race.folder));
    for (const auto& b : boats) {
        w.clickFile(b.file);
        w.type("txtStarttid", b.start);
        w.type("txtLYStal", b.lys);
        w.type("txtColor", b.colour);
        w.type("txtSepChar", b.sep);
        w.click("cmdAdd");
    }
    const std::string path = race.file("race.TP1");
    w.dialogs.answers = {Q(path)};
    w.toolBar("Save");
    ASSERT_TRUE(w.find("cmdStart")->isEnabled());
    w.click("cmdStart");
    FrmControl* control = w.main->controlWindow();
    ASSERT_NE(control, nullptr);
    // The race's steps are counted in the background, the progress in the slider's place.
    EXPECT_TRUE(control->session().counting());
    EXPECT_TRUE(w.control<QProgressBar>("prgCount")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().counting(); }, 20000));
    ASSERT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->windowTitle(), "Play");
    EXPECT_TRUE(control->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(control->testAttribute(Qt::WA_ShowWithoutActivating));
    // Each box's text and each control's name for assistive technology.
    const std::tuple<const char*, const char*, const char*> controls[] = {{"txtPlayspeed", "10", "Playspeed "},
                                                                          {"txtResolution", "10", "Resolution sec"},
                                                                          {"txtRaceTime", "", "Race time"},
                                                                          {"txtPointPlot", "90", "Points"},
                                                                          {"cmdPlay", nullptr, "Play"},
                                                                          {"cmdStop", nullptr, "Stop"},
                                                                          {"Label3", nullptr, "Dist nm"},
                                                                          {"txtTail", "0", "Tail min"},
                                                                          {"sldPosition", nullptr, "Replay position"}};
    for (const auto& [name, text, accessible] : controls) {
        if (text) {
            EXPECT_EQ(w.control<QLineEdit>(name)->text(), text) << name;
        }
        EXPECT_EQ(AccessibleName(w.control(name)), accessible) << name;
    }
    // The legend: each track file's name (without its folder) and its LYS number, in the
    // track's colour, named for assistive technology too.
    for (int row = 0; row < 4; ++row) {
        auto* label = w.control<QLabel>(QStringLiteral("lblTrackInfo%1").arg(row));
        EXPECT_EQ(label->text().toStdString(), boats[row].legend);
        EXPECT_EQ(AccessibleName(label).toStdString(), boats[row].legend);
        EXPECT_EQ(label->palette().color(QPalette::Window), boats[row].swatch) << row;
    }

    // Tab follows the screen: Play, Stop, the replay position, Results, Analysis, then the
    // boxes left to right and top to bottom.
    std::vector<QString> tabbed;
    QWidget* at = w.control("cmdPlay");
    for (int i = 0; i < 10; ++i, at = at->nextInFocusChain()) {
        while (!(at->focusPolicy() & Qt::TabFocus) || !at->isVisibleTo(control))
            at = at->nextInFocusChain();
        tabbed.push_back(at->objectName());
    }
    EXPECT_EQ(tabbed,
              (std::vector<QString>{"cmdPlay", "cmdStop", "sldPosition", "cmdResults", "cmdAnalysis", "txtPlayspeed",
                                    "txtResolution", "txtRaceTime", "txtPointPlot", "txtTail"}));
    // The race time shows where the replay is: it takes no typing.
    auto* raceTimeBox = w.control<QLineEdit>("txtRaceTime");
    EXPECT_TRUE(raceTimeBox->isReadOnly());
    QTest::keyClicks(raceTimeBox, "12:00:00");
    EXPECT_EQ(raceTimeBox->text(), "");

    // Play with the play speed 40: the race time starts at -00:05:00.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "40");
    w.clickControl("cmdPlay");
    auto* raceTime = w.control<QLineEdit>("txtRaceTime");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime->text().isEmpty(); }, 10000));
    EXPECT_EQ(raceTime->text(), "-00:05:00");
    w.clickControl("cmdStop");
    const long long steps = control->session().position();
    QTest::qWait(150);
    EXPECT_EQ(control->session().position(), steps) << "Stop halts the timer";
    EXPECT_FALSE(control->session().playing());

    // Play again continues.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "1");
    w.clickControl("cmdPlay");
    w.clickControl("cmdPlay"); // twice: one timer
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() >= 400; }, 60000));
    w.clickControl("cmdStop");
    TracedReplay commandLine = ReplayOnTheCommandLine(path, control->session().position());
    EXPECT_EQ(raceTime->text().toStdString(), commandLine.raceTime);
    for (int row = 1; row < 4; ++row)
        EXPECT_EQ(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row))->text().toStdString(),
                  commandLine.distance[row])
            << row;
    ASSERT_FALSE(commandLine.drawn.empty());
    EXPECT_EQ(w.drawn(), commandLine.drawn);

    // The replay position follows; its keys go to any step, everything then as if played
    // from Start to there: Home to Start, Right one step, Page Up ten, End to the end. The
    // view is drawn again from the start: the same documents, and the camera of that step.
    auto* position = w.control<QSlider>("sldPosition");
    EXPECT_EQ(position->value(), control->session().position());
    const long long count = ReplayOnTheCommandLine(path, 1000000).steps;
    EXPECT_EQ(position->maximum(), count) << "the dry run at Start counts the steps";
    position->setFocus();
    const auto key = [&](Qt::Key k, long long expected) {
        QTest::keyClick(position, k);
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() == expected; }, 5000))
            << control->session().position() << " for " << expected;
        commandLine = ReplayOnTheCommandLine(path, expected);
        EXPECT_EQ(raceTime->text().toStdString(), commandLine.raceTime);
        const auto documents = [](const std::vector<std::string>& lines) {
            std::vector<std::string> kml;
            std::copy_if(lines.begin(), lines.end(), std::back_inserter(kml),
                         [](const std::string& line) { return line.rfind("kml ", 0) == 0; });
            return kml;
        };
        const auto lastCamera = [](const std::vector<std::string>& lines) {
            const auto camera = std::find_if(lines.rbegin(), lines.rend(),
                                             [](const std::string& line) { return line.rfind("camera ", 0) == 0; });
            return camera == lines.rend() ? std::string() : *camera;
        };
        const std::vector<std::string> shown = w.drawn();
        EXPECT_EQ(documents(shown), documents(commandLine.drawn)) << "at step " << expected;
        EXPECT_EQ(lastCamera(shown), lastCamera(commandLine.drawn)) << "at step " << expected;
    };
    key(Qt::Key_Home, 0);
    key(Qt::Key_Right, 1);
    key(Qt::Key_Right, 2);
    key(Qt::Key_PageUp, 12);
    key(Qt::Key_End, count);
    key(Qt::Key_PageDown, count - 10);
    key(Qt::Key_Left, count - 11);
    key(Qt::Key_Home, 0);
    // A click on the groove goes to the place clicked, not ten steps towards it.
    QTest::mouseClick(position, Qt::LeftButton, {}, QPoint(position->width() * 3 / 4, position->height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() > count / 2; }, 5000))
        << control->session().position();
    EXPECT_NEAR(static_cast<double>(control->session().position()), count * 0.75, count * 0.1);
    key(Qt::Key_Home, 0);

    // The play speed 0 plays as fast as the program can, to the end of the race, where the
    // timer stops by itself with the last step's texts shown, as the command line ends.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "0");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().playing(); }, 60000));
    commandLine = ReplayOnTheCommandLine(path, 1000000);
    EXPECT_EQ(raceTime->text().toStdString(), commandLine.raceTime);
    EXPECT_EQ(w.drawn(), commandLine.drawn);
    for (int row = 1; row < 4; ++row)
        EXPECT_EQ(AccessibleName(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row))).toStdString(),
                  std::string(boats[row].legend) + ": " + commandLine.distance[row] + " nm")
            << "a distance is read out with its boat";
    const long long atEnd = control->session().position();
    w.clickControl("cmdPlay");
    QTest::qWait(50);
    EXPECT_EQ(control->session().position(), atEnd);
    EXPECT_TRUE(w.dialogs.lastSays("end of the race"));
    w.dialogs.told.clear();

    // New settings are counted in the background, a progress bar in the slider's place
    // meanwhile; the replay then stands at the same race clock, here the end, which Play says.
    Window::type(w.control<QLineEdit>("txtResolution"), "5");
    w.clickControl("cmdPlay");
    auto* counted = w.control<QProgressBar>("prgCount");
    EXPECT_TRUE(counted->isVisible());
    EXPECT_FALSE(position->isVisible());
    EXPECT_FALSE(counted->accessibleName().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().counting(); }, 20000));
    EXPECT_FALSE(counted->isVisible());
    EXPECT_TRUE(position->isVisible());
    EXPECT_GT(control->session().stepCount(), count);
    EXPECT_EQ(position->maximum(), control->session().stepCount());
    EXPECT_EQ(position->value(), control->session().stepCount());
    EXPECT_TRUE(w.dialogs.lastSays("end of the race"));
    w.dialogs.told.clear();

    // Start while a replay is open starts nothing: it brings the replay's windows to the
    // front, Play in focus. Closing the control window during play closes the track files,
    // and Start then replays afresh on a clear view; Exit closes the replay first.
    w.clickControl("cmdPlay");
    w.main->activateWindow();
    w.click("cmdStart");
    EXPECT_EQ(w.main->controlWindow(), control);
    EXPECT_EQ(w.viewsMade, 1);
    EXPECT_EQ(QApplication::focusWidget(), w.control("cmdPlay"));
    control->close();
    QTest::qWait(30);
    EXPECT_EQ(w.main->controlWindow(), nullptr);
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr) << "closing the control window closes the track files";
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    EXPECT_EQ(w.viewsMade, 2);
    EXPECT_TRUE(w.recorder->calls.empty()) << "the new replay draws on a clear view";
    EXPECT_EQ(w.control<QLineEdit>("txtPlayspeed")->text(), "10");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.control<QLineEdit>("txtRaceTime")->text().isEmpty(); }, 10000));
    EXPECT_EQ(w.control<QLineEdit>("txtRaceTime")->text(), "-00:05:00") << "the race starts anew";
    QPointer<FrmControl> second = w.main->controlWindow();
    w.menu("mnuFileExit");
    EXPECT_TRUE(second.isNull() || !second->isVisible());
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr) << "Exit closes the replay first";
}

// Whether the chart shows the whole box, south-west to north-east corner, in degrees.
::testing::AssertionResult ShowsBox(ChartWidget* view, double south, double west, double north, double east)
{
    const QTransform toScreen = view->viewport(view->size()).projectedToScreen();
    const QRectF shown(QPointF(0, 0), QSizeF(view->size()));
    for (const QPointF& corner : {ProjectLatLon(south, west), ProjectLatLon(north, east)})
        if (!shown.contains(toScreen.map(corner)))
            return ::testing::AssertionFailure()
                   << "a corner lies at " << toScreen.map(corner).x() << "," << toScreen.map(corner).y() << " outside "
                   << shown.width() << "x" << shown.height();
    return ::testing::AssertionSuccess();
}

// The sample race in the chart view: the windows placed apart, the whole race shown at
// Start and at the end, the chart described for assistive technology, and closing the
// chart ends the replay.
TEST(ReplayWindows, TheChartShowsTheWholeRaceAtStartAndAtTheEndAndClosingItEndsTheReplay)
{
    TempDir dir;
    QSettings settings(Q(dir.file("settings.ini")), QSettings::IniFormat);
    settings.setValue("Map/Source", "none"); // no test reaches the internet
    ScriptedDialogs dialogs;
    FrmMain::Options options;
    options.settings = &settings;
    options.dialogs = &dialogs;
    options.createEarth = [] { return CreateApplicationGE(EarthChoice{EarthChoice::Kind::Chart, {}}); };
    FrmMain main(std::move(options));
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(main.openRaceFile(Q(kSample + "race.TP1")));
    QTest::mouseClick(main.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    FrmControl* control = main.controlWindow();
    ASSERT_NE(control, nullptr);
    ChartWidget* view = dynamic_cast<ChartApplication*>(main.earth())->widget();
    QWidget* chartWindow = main.earth()->replayView()->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chartWindow));
    EXPECT_TRUE(dialogs.told.empty()) << dialogs.lastMessage().toStdString();

    // Inside the screen, apart from each other and from Start.
    const QRect screen = main.screen()->availableGeometry();
    const QRect start(main.findChild<QPushButton*>("cmdStart")->mapToGlobal(QPoint(0, 0)),
                      main.findChild<QPushButton*>("cmdStart")->size());
    for (QWidget* window : {chartWindow, static_cast<QWidget*>(control)}) {
        EXPECT_TRUE(screen.contains(window->frameGeometry())) << window->windowTitle().toStdString();
        EXPECT_FALSE(window->frameGeometry().intersects(start)) << window->windowTitle().toStdString();
    }
    EXPECT_FALSE(chartWindow->frameGeometry().intersects(control->frameGeometry()));
    EXPECT_EQ(QApplication::focusWidget(), control->findChild<QWidget*>("cmdPlay")) << "Space plays at once";

    // Before the first step: every fix of the race in view, once its box has been read.
    FixBox race;
    for (const char* boat : {"Elsa.txt", "Saga.txt", "Vinga.txt"})
        race.add(TrackFixesBox(kSample + boat, ','));
    race.add(TrackFixesBox(kSample + "Svalan.txt", ';'));
    const bool shown = QTest::qWaitFor(
        [&] { return bool(ShowsBox(view, race.SouthLat, race.WestLon, race.NorthLat, race.EastLon)); }, 10000);
    EXPECT_TRUE(shown) << ShowsBox(view, race.SouthLat, race.WestLon, race.NorthLat, race.EastLon).message();
    EXPECT_EQ(AccessibleName(view), "Chart");
    EXPECT_EQ(AccessibleName(chartWindow), "Chart");
    EXPECT_TRUE(view->toolTip().contains("wheel"));
    EXPECT_TRUE(view->accessibleDescription().startsWith("Chart of the race race.TP1"))
        << view->accessibleDescription().toStdString();

    // The chart window's menus: Chart (a picture of the view, a video, the finish line) and Map.
    QStringList menus;
    for (QAction* menu : static_cast<QMainWindow*>(chartWindow)->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus.join(u' '), "&Chart &Map");
    TempDir out;
    dialogs.answers = {Q(out.file("view"))};
    chartWindow->findChild<QAction*>("mnuChartSavePicture")->trigger();
    EXPECT_EQ(QImage(Q(out.file("view.png"))).size(), view->size() * view->devicePixelRatio());
    ASSERT_EQ(dialogs.told.size(), 1u);
    EXPECT_TRUE(dialogs.lastMessage().contains("view.png") && dialogs.lastMessage().contains("view.pgw"))
        << "says where it wrote: " << dialogs.lastMessage().toStdString();
    EXPECT_TRUE(QFile::exists(Q(out.file("view.pgw"))));
    dialogs.told.clear();
    dialogs.answers = {Q(out.file("race"))};
    dialogs.cancelProgress = true;
    chartWindow->findChild<QAction*>("mnuChartExportVideo")->trigger();
    EXPECT_FALSE(QFile::exists(Q(out.file("race.mp4")))) << "a cancelled export leaves no video";
    EXPECT_TRUE(dialogs.told.empty()) << dialogs.lastMessage().toStdString();
    // The web page of the race as the windows show it, said where it went.
    dialogs.answers = {Q(out.file("race"))};
    dialogs.cancelProgress = false;
    chartWindow->findChild<QAction*>("mnuChartExportWebPage")->trigger();
    EXPECT_TRUE(dialogs.lastSays("race.html")) << dialogs.lastMessage().toStdString();
    EXPECT_NE(Slurp(out.file("race.html")).find("aria-label=\"Replay position\""), std::string::npos);
    dialogs.told.clear();

    // Played to the end: the timer stops and the chart shows everything drawn.
    Window::type(control->findChild<QLineEdit*>("txtPlayspeed"), "0");
    QTest::mouseClick(control->findChild<QWidget*>("cmdPlay"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().playing(); }, 60000));
    const FixBox drawn = view->series().drawnBox();
    ASSERT_FALSE(drawn.empty());
    EXPECT_TRUE(ShowsBox(view, drawn.SouthLat, drawn.WestLon, drawn.NorthLat, drawn.EastLon));
    QTest::qWait(1100);
    EXPECT_TRUE(view->accessibleDescription().contains("boats in view: Elsa"))
        << view->accessibleDescription().toStdString();

    // Results...: the race by its course file, the leaderboard and the table in one order.
    QTest::mouseClick(control->findChild<QPushButton*>("cmdResults"), Qt::LeftButton);
    auto* results = main.findChild<QWidget*>("frmResults");
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->findChild<QLabel*>("lblLine")->text().startsWith(
        "Course from race.TP1.course: the start line, W, Wing, L (2 laps), then the finish line"))
        << results->findChild<QLabel*>("lblLine")->text().toStdString();
    const QAbstractItemModel* table = results->findChild<QTableView*>("lstResults")->model();
    const QAbstractItemModel* board = results->findChild<QTableView*>("lstLeaderboard")->model();
    ASSERT_EQ(table->rowCount(), 4);
    ASSERT_EQ(board->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(table->index(row, 8).data().toString(), "finished") << row;
        EXPECT_TRUE(board->index(row, 1).data().toString().startsWith(table->index(row, 1).data().toString()))
            << row << ": " << board->index(row, 1).data().toString().toStdString();
    }
    EXPECT_EQ(table->index(0, 1).data().toString(), "Saga.txt");
    results->close();

    // Closing the chart ends the replay as closing the control window does.
    QPointer<FrmControl> closing = control;
    chartWindow->close();
    QTest::qWait(30);
    EXPECT_TRUE(closing.isNull() || !closing->isVisible());
    for (const auto& file : main.raceState().TrackFile)
        EXPECT_EQ(file, nullptr);
}

// A fleet of nine racing north across a finish line: the control window lists them all; the
// chart takes the line from two clicks and keeps it in the course file; played to the end,
// the list stands in the order of the results, and the results window shows the table from
// the line and saves it as CSV.
TEST(ReplayWindows, AFleetOfNineIsRankedFromTheFinishLineClickedOnTheChart)
{
    TempDir dir;
    QSettings settings(Q(dir.file("settings.ini")), QSettings::IniFormat);
    settings.setValue("Map/Source", "none");
    ScriptedDialogs dialogs;
    FrmMain::Options options;
    options.settings = &settings;
    options.dialogs = &dialogs;
    options.createEarth = [] { return CreateApplicationGE(EarthChoice{EarthChoice::Kind::Chart, {}}); };
    // Boat k sails north from 57.00 N at 10 + k/2 knots a tenth of a mile apart, LYS 1 + k/100:
    // the line at 57.01 N (0.6 nm on) is crossed first by the fastest, on corrected time too.
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    const auto track = [](int k) { return std::string("b").append(std::to_string(k)).append(".txt"); };
    std::vector<std::string> entries;
    for (int k = 0; k < 9; ++k) {
        std::vector<std::string> lines{"lat,lon,date,time"};
        for (int s = 0; s <= 600; s += 10) {
            const double knots = 10 + k / 2.0;
            lines.push_back(std::to_string(57.0 + knots * s / 3600 / 60) + "," + std::to_string(11.0 + k * 0.002) +
                            ",20080621," + Hms(36000 + s));
        }
        dir.write(track(k), lines);
        entries.push_back(track(k) + " , 2008-06-21 10:00:00 , " + std::to_string(1 + k / 100.0) +
                          " , " + std::to_string(k * 140) + " , ,");
    }
    const std::string race = dir.write("race.TP1", entries);
    FrmMain main(std::move(options));
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(main.openRaceFile(Q(race)));
    QTest::mouseClick(main.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    FrmControl* control = main.controlWindow();
    ASSERT_NE(control, nullptr);
    auto* fleet = control->findChild<QTableView*>("lstFleet");
    ASSERT_TRUE(fleet->isVisible()) << "more than seven boats: a list";
    const auto cell = [](QTableView* table, int row, int column) {
        return table->model()->index(row, column).data().toString();
    };
    EXPECT_EQ(fleet->model()->rowCount(), 9);
    EXPECT_EQ(cell(fleet, 8, 0), "b8.txt 1.08");
    EXPECT_FALSE(AccessibleName(fleet).isEmpty());
    // Room for ten rows at once, and the window may be made larger still.
    EXPECT_GE(fleet->viewport()->height(), 10 * fleet->verticalHeader()->defaultSectionSize());
    EXPECT_NE(control->minimumSize(), control->maximumSize());
    const int listHeight = fleet->height();
    control->resize(control->width() + 100, control->height() + 100);
    EXPECT_LE(control->findChild<QSlider*>("sldPosition")->geometry().bottom(), control->height());
    EXPECT_EQ(fleet->height(), listHeight + 100) << "the list takes the room";

    // F, then the two ends: the first east, the second west, so that boats sailing north
    // come from the left of the line (once the chart shows the whole race, read in the
    // background).
    ChartWidget* chart = dynamic_cast<ChartApplication*>(main.earth())->widget();
    FixBox whole;
    for (int k = 0; k < 9; ++k)
        whole.add(TrackFixesBox(dir.file(track(k)), ','));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bool(ShowsBox(chart, whole.SouthLat, whole.WestLon, whole.NorthLat, whole.EastLon)); }, 10000));
    chart->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(chart->window()));
    QTest::keyClick(chart, Qt::Key_F);
    const auto at = [&](double lat, double lon) {
        return chart->viewport(chart->size()).projectedToScreen().map(ProjectLatLon(lat, lon)).toPoint();
    };
    QTest::mouseClick(chart, Qt::LeftButton, {}, at(57.01, 11.03));
    QTest::mouseClick(chart, Qt::LeftButton, {}, at(57.01, 10.99));
    FinishLine line = ReadCourseFinishLine(race);
    EXPECT_NEAR(line.Lat1, 57.01, 0.001);
    EXPECT_NEAR(line.Lon1, 11.03, 0.002);
    EXPECT_NEAR(line.Lon2, 10.99, 0.002);
    // Chart > Finish line... shows the line's ends and takes them typed; a text that is no
    // number leaves the line as it was.
    QAction* typed = chart->window()->findChild<QAction*>("mnuChartFinishLine");
    dialogs.textAnswers = {QStringList{"57.01", "abc", "57.01", "10.99"}};
    typed->trigger();
    EXPECT_EQ(dialogs.shownTexts.value(1), QString::number(line.Lon1, 'f', 6));
    EXPECT_TRUE(dialogs.lastSays("\"abc\" is no number of degrees")) << dialogs.lastMessage().toStdString();
    EXPECT_EQ(ReadCourseFinishLine(race), line);
    dialogs.textAnswers = {QStringList{"57.01", "11.03", "57.01", "10.99"}};
    typed->trigger();
    line = ReadCourseFinishLine(race);
    EXPECT_EQ(line, (FinishLine{57.01, 11.03, 57.01, 10.99}));

    Window::type(control->findChild<QLineEdit*>("txtPlayspeed"), "0");
    QTest::mouseClick(control->findChild<QWidget*>("cmdPlay"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().playing(); }, 30000));
    QTest::qWait(50);
    const std::vector<BoatResult> results = RaceResults(race, line);
    ASSERT_EQ(results.size(), 9u);
    for (int row = 0; row < 9; ++row) {
        EXPECT_TRUE(
            cell(fleet, row, 0).startsWith(QString::number(row + 1) + ". " + QString::fromStdString(results[row].Name)))
            << cell(fleet, row, 0).toStdString();
        EXPECT_TRUE(cell(fleet, row, 1).startsWith("finished")) << cell(fleet, row, 1).toStdString();
    }

    // The results window, from the control window: the table and its CSV.
    QTest::mouseClick(control->findChild<QPushButton*>("cmdResults"), Qt::LeftButton);
    auto* window = main.findChild<QWidget*>("frmResults");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    auto* table = window->findChild<QTableView*>("lstResults");
    ASSERT_EQ(table->model()->rowCount(), 9);
    EXPECT_EQ(cell(table, 0, 0), "1");
    EXPECT_EQ(cell(table, 0, 1), QString::fromStdString(results[0].Name)) << "named as the legend names it";
    EXPECT_EQ(cell(table, 0, 7), QString::fromStdString(results[0].Boat)) << "the file";
    EXPECT_EQ(table->model()->headerData(8, Qt::Horizontal).toString(), "Status");
    EXPECT_EQ(cell(table, 0, 8), "finished") << "then the status";
    EXPECT_EQ(AccessibleName(table), "Results");
    dialogs.answers = {Q(dir.file("results"))};
    QTest::mouseClick(window->findChild<QPushButton*>("cmdSave"), Qt::LeftButton);
    EXPECT_EQ(Slurp(dir.file("results.csv")), ResultsCsv(results));

    // The next Start does not leave the last replay's results open.
    control->close();
    QTest::qWait(20);
    QPointer<QWidget> lastResults = window;
    QTest::mouseClick(main.findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    EXPECT_TRUE(lastResults.isNull() || !lastResults->isVisible());
    main.controlWindow()->close();
}

} // namespace
} // namespace tideplot::testing
