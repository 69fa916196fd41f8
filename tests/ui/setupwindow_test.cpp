// The set-up window as a user meets it, driven with clicks and keys: its controls, menus and
// About, its track browser, assembling a race, and its settings.
#include "ui/windowdriver.h"

#include <QAction>

namespace tideplot::testing {
namespace {

// The set-up window at a first start.
class SetUpWindow : public ::testing::Test {
protected:
    Window w;
};

// Its title and frame; each control's name, text, tool tip and name for assistive technology in
// tab order; the preview that only shows.
TEST_F(SetUpWindow, ShowsItsControlsAsDesignedInTabOrder)
{
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
        {"txtRating", "", "The boat's rating under the race's handicap system (PLT PLD under ORC's performance line)",
         "Rating"},
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
}

TEST_F(SetUpWindow, PlacesItsControlsAsDesignedAndKeepsThemThereWhenResized)
{
    // Twips at the screen's resolution: Start at 4800, 120, 2175, 329 and the preview at
    // 2760, 3480, 8895, 6855 (below the name and rating boxes); worked out by hand for 96 and for 144 dots an inch. The
    // start time box shows a whole date and time.
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
}

// The menus, the tool bar's buttons (each an item of the File menu) and the status bar with
// its date and clock.
TEST_F(SetUpWindow, ShowsItsMenusToolBarAndStatusBar)
{
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
}

TEST_F(SetUpWindow, AboutNamesTheVersionAndTheProjectsPages)
{
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
                EXPECT_TRUE(w.dialogs.told.empty())
                    << value << ", " << start << " Start: " << w.dialogs.lastMessage().toStdString();
            }
            w.main->controlWindow()->close();
            QTest::qWait(20);
        }
    }
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

} // namespace
} // namespace tideplot::testing
