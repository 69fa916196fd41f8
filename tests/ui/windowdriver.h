// Drives the windows as a user does, for the windows' tests: scripted dialogs that answer the
// windows' questions and keep what they tell, the set-up window with its own settings and a
// recording view (Window), the command line's replay of a race for comparison, and a race
// folder named with å, ä and ö.
#pragma once

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
// The set-up window drawing on the built-in chart, shown, with `raceFile` opened and Start
// pressed: into `main`.
inline void StartOnTheChart(std::unique_ptr<FrmMain>& main, QSettings& settings, UserDialogs& dialogs,
                            const QString& raceFile)
{
    FrmMain::Options options;
    options.settings = &settings;
    options.dialogs = &dialogs;
    options.createEarth = [] { return CreateApplicationGE(EarthChoice{EarthChoice::Kind::Chart, {}}); };
    main = std::make_unique<FrmMain>(std::move(options));
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    ASSERT_TRUE(main->openRaceFile(raceFile));
    QTest::mouseClick(main->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
}

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

inline const std::string kSample = TIDEPLOT_SOURCE_DIR "/examples/sample-race/";

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

inline QColor Swatch(Window& w)
{
    auto* label = w.find<QLabel>("lblColor");
    return label->autoFillBackground() ? label->palette().color(QPalette::Window) : QColor();
}
} // namespace tideplot::testing
