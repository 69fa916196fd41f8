#pragma once

#include "earth/recorder.h"
#include "support/racefiles.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QAbstractButton>
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

inline std::string ReadBytes(const std::string& path)
{
    QFile f(Q(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
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
    template <class W = QWidget> W* control(const char* name) const
    {
        EXPECT_NE(main->controlWindow(), nullptr);
        return main->controlWindow() ? main->controlWindow()->findChild<W*>(QString::fromLatin1(name)) : nullptr;
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

    static void clickRow(QListWidget* list, int row)
    {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr) << "row " << row;
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }
    void clickRow(const char* list, int row) { clickRow(find<QListWidget>(list), row); }
    void clickFile(const QString& name)
    {
        auto* files = find<QListWidget>("File1");
        const auto found = files->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        clickRow(files, files->row(found.front()));
    }
    void openFolder(const QString& path)
    {
        // Double clicks down the folder list from the root.
        auto* dirs = find<QListWidget>("Dir1");
        const QStringList parts = QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts);
        auto open = [&](const QString& name) {
            const auto found = dirs->findItems(name, Qt::MatchExactly);
            ASSERT_FALSE(found.isEmpty()) << name.toStdString();
            QListWidgetItem* item = found.back();
            dirs->scrollToItem(item);
            const QPoint at = dirs->visualItemRect(item).center();
            QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, at); // a double click's first press
            QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, dirs->visualItemRect(item).center());
        };
        open(QStringLiteral("/"));
        for (const QString& part : parts)
            open(part);
    }

    std::vector<std::string> listRows() const
    {
        std::vector<std::string> rows;
        auto* list = find<QListWidget>("lstBoats");
        for (int i = 0; i < list->count(); ++i)
            rows.push_back(list->item(i)->text().toStdString());
        return rows;
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
