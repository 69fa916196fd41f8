// The set-up window and the replay control window as a user meets them: what they show,
// the track browser, Start, Play and Stop, settings, About and closing.
#include "ui/formlayout.h"
#include "ui_test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>

namespace tideplot::testing {
namespace {

// Twips to pixels at the window's resolution.
int Px(QWidget* window, double twips)
{
    return static_cast<int>(std::lround(twips * LogicalDpi(window) / 1440));
}

TEST(SetUpWindow, ShowsItsControlsMenusAndBarsAsDesignedInTabOrder)
{
    Window w;
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0");
    EXPECT_FALSE(w.main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.main->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.main->windowIcon().isNull());

    struct Expected {
        const char *name, *text, *toolTip, *accessibleName;
    };
    const Expected controls[] = {
        {"cmdStart", "Start", "Start Google earth plot ", "Start"},
        {"lstBoats", nullptr, "", "Boats"},
        {"cmdDelete", "Delete", "Delete selected track from plotsession", "Delete"},
        {"cmdAdd", "Add", "Add track to plotsession", "Add"},
        {"cmdChange", "Change", "Change data in selected track", "Change"},
        {"cmdParse", "", "Parse KLM file", "Parse KLM file"},
        {"Drive1", nullptr, "Select track file", "Drives"},
        {"File1", nullptr, "Select track file", "Track files"},
        {"Dir1", nullptr, "Select track file", "Folders"},
        {"txtStarttid", "2007-01-01 12:30:00", "Startime to be added", "Start tid"},
        {"txtLYStal", "1.10", "LYS for selected track to be added", "LYS tal"},
        {"txtTrackFile", "", "Content in selected track file", "Content in selected track file"},
        {"txtColor", "100", "Color of track (0-1300)", "Färg"},
        {"txtSepChar", ",", "Separation character between information in selected track", "SepChar"},
        {"Label1", "Start tid", "", nullptr},
        {"Label2", "LYS tal", "", nullptr},
        {"lblColor", "Färg", "", nullptr},
        {"Label4", "SepChar", "", nullptr},
    };
    EXPECT_FALSE(w.find("cmdStart")->isEnabled()) << "no race yet";
    w.find("cmdStart")->setEnabled(true); // for the tab order
    QStringList tabOrder, expectedTabOrder;
    for (QWidget* at = w.find("cmdStart"); tabOrder.size() < 14; at = at->nextInFocusChain()) {
        if (at->focusPolicy() & Qt::TabFocus && at->isVisibleTo(w.main.get()) && !at->objectName().isEmpty() &&
            at->parentWidget() == w.main->centralWidget())
            tabOrder << at->objectName();
    }
    for (const auto& c : controls) {
        QWidget* widget = w.find(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->toolTip(), QString::fromUtf8(c.toolTip)) << c.name;
        if (c.text) {
            const char* property = qobject_cast<QPlainTextEdit*>(widget) ? "plainText" : "text";
            EXPECT_EQ(widget->property(property).toString(), QString::fromUtf8(c.text)) << c.name;
        }
        if (c.accessibleName) {
            // On Linux a combo box is read out by its current item; its own name is set all the same.
            const QString name = qobject_cast<QComboBox*>(widget) ? widget->accessibleName() : AccessibleName(widget);
            EXPECT_EQ(name, QString::fromUtf8(c.accessibleName)) << c.name;
            expectedTabOrder << c.name;
        }
    }
    EXPECT_EQ(tabOrder, expectedTabOrder);
    EXPECT_EQ(w.find<QListWidget>("lstBoats")->count(), 0);
    EXPECT_FALSE(w.find<QLabel>("lblColor")->autoFillBackground()) << "the swatch starts uncoloured";

    // Twips at the screen's resolution: Start at 4800, 120, 2175, 329 and the preview at
    // 2760, 2880, 8895, 7455; worked out by hand for 96 and for 144 dots an inch.
    auto px = [&](double twips) { return Px(w.main.get(), twips); };
    EXPECT_EQ(w.find("cmdStart")->geometry(), QRect(px(4800), px(120), px(6975) - px(4800), px(449) - px(120)));
    EXPECT_EQ(w.find("txtTrackFile")->geometry(),
              QRect(px(2760), px(2880), px(11655) - px(2760), px(10335) - px(2880)));
    const ControlRow start{"", ControlKind::CommandButton, 4800, 120, 2175, 329, "", "", 0};
    EXPECT_EQ(TwipsToPixels(start, 96.0), QRect(320, 8, 145, 22));
    EXPECT_EQ(TwipsToPixels(start, 144.0), QRect(480, 12, 218, 33));
    EXPECT_TRUE(w.find("tbToolBar")->geometry().contains(w.find("cmdStart")->geometry().center()))
        << "Start stands on the tool bar's strip";

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
    EXPECT_EQ(menus.join(u" | "), "&File: mnuFileNew=&New=Ctrl+N, mnuFileOpen=&Open...=, mnuFileClose=&Close=, "
                                  "mnuFileSave=&Save=, mnuFileExit=E&xit= | &Help: mnuHelpAbout=&About =");
    QStringList buttons;
    for (QAction* a : w.find<QToolBar>("tbToolBar")->actions()) {
        buttons << a->data().toString() + "/" + a->toolTip();
        EXPECT_FALSE(a->icon().isNull());
    }
    EXPECT_EQ(buttons.join(u", "), "New/New, Open/Open, Save/Save, Save as/Save as");

    const auto labels = w.find<QStatusBar>("sbStatusBar")->findChildren<QLabel*>();
    ASSERT_GE(labels.size(), 3);
    EXPECT_EQ(labels[0]->text(), "Status");
    EXPECT_EQ(labels[1]->text(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return labels[2]->text() == QLocale().toString(QTime::currentTime(), QLocale::ShortFormat); }, 3000))
        << "the clock is kept current";
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
    EXPECT_TRUE(w.main->controlWindow()->isVisible());
    w.main->controlWindow()->close();
    QTest::qWait(20);
    w.dialogs.told.clear();

    // A start that fails: the message, no control window, and Start works again.
    w.open(Q(missing));
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("nowhere.txt"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    // A step that fails: the message names the file and line; the timer stops.
    w.open(Q(broken));
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    Window::type(w.control<QLineEdit>("txtResolution"), "60");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.dialogs.told.size() == 2; }, 20000));
    EXPECT_TRUE(w.dialogs.lastSays("good.txt"));
    EXPECT_TRUE(w.dialogs.lastSays("line 4"));
    EXPECT_FALSE(w.main->controlWindow()->driver().playing());
    EXPECT_TRUE(w.main->controlWindow()->isVisible());

    // A play speed that is no whole number from 0 to 65535 is refused; the timer keeps its state.
    w.clickControl("cmdStop");
    for (const char* speed : {"abc", "-1", "65536", "", "1e9"}) {
        Window::type(w.control<QLineEdit>("txtPlayspeed"), speed);
        w.clickControl("cmdPlay");
        EXPECT_TRUE(w.dialogs.lastSays("play speed")) << speed;
        EXPECT_FALSE(w.main->controlWindow()->driver().playing()) << speed;
    }
    EXPECT_EQ(FrmControl::PlayInterval("65535.4"), 65535);
    EXPECT_EQ(FrmControl::PlayInterval(" 10 "), 10);
    EXPECT_EQ(FrmControl::PlayInterval("0.5"), 0);
}

TEST(Settings, PlaceIsStoredOnClosingAndRestoredOnOpening)
{
    Window w;
    auto px = [&](double twips) { return Px(w.main.get(), twips); };
    // Nothing stored: 1000 twips from the left and top, 6500 twips square.
    EXPECT_EQ(w.main->frameGeometry(), QRect(px(1000), px(1000), px(6500), px(6500)));

    w.main->move(px(1500), px(1200));
    w.main->resize(QSize(px(9000), px(8100)) - (w.main->frameGeometry().size() - w.main->size()));
    w.menu("mnuFileExit");
    EXPECT_FALSE(w.main->isVisible());
    w.settings.sync();
    QStringList stored;
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        stored << w.settings.value(QStringLiteral("Settings/") + key).toString();
    EXPECT_EQ(stored.join(u' '), "1500 1200 9000 8100");

    w.make();
    EXPECT_EQ(w.main->frameGeometry(), QRect(px(1500), px(1200), px(9000), px(8100)));

    // Minimised at closing: nothing is stored. A value that is no number gives its default.
    w.main->showMinimized();
    w.main->close();
    EXPECT_EQ(w.settings.value("Settings/MainLeft").toString(), "1500");
    w.settings.setValue("Settings/MainLeft", "left");
    w.settings.setValue("Settings/MainTop", "1e400");
    w.make();
    EXPECT_EQ(w.main->frameGeometry(), QRect(px(1000), px(1000), px(9000), px(8100)));
}

TEST(Settings, AboutShowsTheVersionAndTheProjectPages)
{
    Window w;
    w.menu("mnuHelpAbout");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_EQ(w.dialogs.told[0].second, MessageKind::Plain);
    const QStringList lines = w.dialogs.told[0].first.split(u'\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Version 1.0.10");
    EXPECT_TRUE(lines[1].endsWith("README.md")) << lines[1].toStdString();
    EXPECT_TRUE(QFile::exists(QUrl(lines[1]).toLocalFile())) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "FAQ and instructions: " + lines[1] + "#faq");
}

} // namespace
} // namespace tideplot::testing
