#pragma once

#include "earth/recorder.h"
#include "support/process.h"
#include "support/racefiles.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tideplot::testing {

// Answers the windows' questions from a script and keeps what they tell the user.
class ScriptedDialogs : public UserDialogs {
public:
    struct Question {
        QString title, filter;
        FileQuestion kind;
    };
    QString askFileName(const QString& title, const QString& filter, FileQuestion kind) override
    {
        asked.push_back({title, filter, kind});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected file dialog " << title.toStdString();
            return {};
        }
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void tell(const QString& text, MessageKind kind) override { told.push_back({text, kind}); }
    std::unique_ptr<ProgressReport> showProgress(const QString&) override
    {
        struct Silent : ProgressReport {
            void setProgress(std::int64_t, std::int64_t) override {}
        };
        ++progressShown;
        return std::make_unique<Silent>();
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
        else if (word == "step")
            replay.raceTime = line.substr(line.rfind(' ') + 1);
        else if (word == "dst")
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

    // Replaces the text of a box as a user does: select all, type.
    static void type(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        else
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
    // What the view received: each document, and each camera without its speed.
    std::vector<std::string> drawn() const
    {
        std::vector<std::string> lines;
        for (const auto& call : recorder->calls) {
            const CameraInfoGE& c = call.camera;
            char camera[200];
            std::snprintf(camera, sizeof camera, "camera %.17g %.17g %.17g %.17g %.17g", c.FocusPointLatitude,
                          c.FocusPointLongitude, c.Range, c.Tilt, c.Azimuth);
            if (call.kind == RecordingApplication::Call::LoadKmlData)
                lines.push_back("kml " + call.kml);
            else if (call.kind == RecordingApplication::Call::SetCamera)
                lines.push_back(camera);
        }
        return lines;
    }
    int highlighted() const { return find<QListWidget>("lstBoats")->currentRow(); }
    QString text(const char* name) const { return find<QLineEdit>(name)->text(); }

    TempDir dir;
    QSettings settings;
    ScriptedDialogs dialogs;
    RecordingApplication* recorder = nullptr;
    int viewsMade = 0;
    std::unique_ptr<FrmMain> main;
};

} // namespace tideplot::testing
