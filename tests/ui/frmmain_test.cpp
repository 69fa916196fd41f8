// The set-up window and the replay control window as a user meets them: what they show,
// the track browser, Start, Play and Stop, settings, About and closing.
#include "app/headless.h"
#include "earth/googleearth.h"
#include "ui/formlayout.h"
#include "ui/settings.h"
#include "ui/trackbrowser.h"
#include "ui_test_support.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

namespace tideplot::testing {
namespace {

const QString kSampleRace = QStringLiteral(TIDEPLOT_SOURCE_DIR "/examples/sample-race/race.TP1");

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

TEST(SetUpWindow, ShowsItsControlsWithTheirTextsToolTipsAndPlaces)
{
    Window w;
    EXPECT_EQ(w.main->windowTitle(), "Tideplot1.0");
    EXPECT_FALSE(w.main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.main->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.main->windowIcon().isNull());

    struct Expected {
        const char* name;
        const char* text;
        const char* toolTip;
    };
    const Expected controls[] = {
        {"cmdStart", "Start", "Start Google earth plot "},
        {"cmdDelete", "Delete", "Delete selected track from plotsession"},
        {"cmdAdd", "Add", "Add track to plotsession"},
        {"cmdChange", "Change", "Change data in selected track"},
        {"cmdParse", "", "Parse KLM file"},
        {"Drive1", nullptr, "Select track file"},
        {"File1", nullptr, "Select track file"},
        {"Dir1", nullptr, "Select track file"},
        {"txtStarttid", "2007-01-01 12:30:00", "Startime to be added"},
        {"txtLYStal", "1.10", "LYS for selected track to be added"},
        {"txtTrackFile", "", "Content in selected track file"},
        {"txtColor", "100", "Color of track (0-1300)"},
        {"txtSepChar", ",", "Separation character between information in selected track"},
        {"Label1", "Start tid", ""},
        {"Label2", "LYS tal", ""},
        {"lblColor", "Färg", ""},
        {"Label4", "SepChar", ""},
    };
    for (const auto& c : controls) {
        QWidget* widget = w.find(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->toolTip(), Utf8(c.toolTip)) << c.name;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(widget))
            text = b->text();
        else if (auto* e = qobject_cast<QLineEdit*>(widget))
            text = e->text();
        else if (auto* l = qobject_cast<QLabel*>(widget))
            text = l->text();
        else if (auto* p = qobject_cast<QPlainTextEdit*>(widget))
            text = p->toPlainText();
        if (c.text) {
            EXPECT_EQ(text, Utf8(c.text)) << c.name;
        }
    }
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    EXPECT_EQ(w.find<QListWidget>("lstBoats")->count(), 0);
    EXPECT_FALSE(w.find<QLabel>("lblColor")->autoFillBackground()) << "the swatch starts uncoloured";

    // Twips at the screen's resolution: Start at 4800, 120, 2175, 329 and the preview at
    // 2760, 2880, 8895, 7455, worked out by hand for 96 and for 144 dots an inch.
    const double dpi = LogicalDpi(w.main.get());
    auto px = [dpi](double twips) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
    EXPECT_EQ(w.find("cmdStart")->geometry(), QRect(px(4800), px(120), px(6975) - px(4800), px(449) - px(120)));
    EXPECT_EQ(w.find("txtTrackFile")->geometry(),
              QRect(px(2760), px(2880), px(11655) - px(2760), px(10335) - px(2880)));
    EXPECT_EQ(TwipsToPixels(ControlRow{"", ControlKind::CommandButton, 4800, 120, 2175, 329, "", "", 0}, 96.0),
              QRect(320, 8, 145, 22));
    EXPECT_EQ(TwipsToPixels(ControlRow{"", ControlKind::CommandButton, 4800, 120, 2175, 329, "", "", 0}, 144.0),
              QRect(480, 12, 218, 33));

    // Controls keep their places when the window is resized; the bars follow its edges.
    const QRect start = w.find("cmdStart")->geometry();
    w.main->resize(w.main->width() + 150, w.main->height() + 90);
    QTest::qWait(20);
    EXPECT_EQ(w.find("cmdStart")->geometry(), start);
    auto* client = w.main->centralWidget();
    EXPECT_EQ(w.find("tbToolBar")->width(), client->width());
    EXPECT_EQ(w.find("sbStatusBar")->geometry().bottom(), client->height() - 1);
}

TEST(SetUpWindow, TabOrderRunsAsDesigned)
{
    Window w;
    QStringList order;
    QWidget* first = w.find("cmdStart");
    w.find("cmdStart")->setEnabled(true);
    for (QWidget* at = first; order.size() < 14; at = at->nextInFocusChain())
        if (at->focusPolicy() & Qt::TabFocus && at->isVisibleTo(w.main.get()) && !at->objectName().isEmpty() &&
            at->parentWidget() == w.main->centralWidget())
            order << at->objectName();
    EXPECT_EQ(order.join(u' '), "cmdStart lstBoats cmdDelete cmdAdd cmdChange cmdParse Drive1 File1 Dir1 "
                                "txtStarttid txtLYStal txtTrackFile txtColor txtSepChar");
}

TEST(SetUpWindow, MenusToolBarAndStatusBar)
{
    Window w;
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
    EXPECT_GT(w.find("cmdStart")->geometry().top(), -1);
    EXPECT_TRUE(w.find("tbToolBar")->geometry().contains(w.find("cmdStart")->geometry().center()))
        << "Start stands on the tool bar's strip";

    const auto labels = w.find<QStatusBar>("sbStatusBar")->findChildren<QLabel*>();
    QStringList texts;
    for (QLabel* l : labels)
        texts << l->text();
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(texts.value(0), "Status");
    EXPECT_EQ(texts.value(1), QLocale().toString(now.date(), QLocale::ShortFormat));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return texts.size() > 2 &&
                   labels[2]->text() == QLocale().toString(QTime::currentTime(), QLocale::ShortFormat);
        },
        3000))
        << "the clock is kept current";
}

TEST(Windows, AssistiveTechnologyFindsEveryControlByName)
{
    Window w;
    w.dialogs.answers = {kSampleRace};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    auto name = [](QWidget* widget) {
        QAccessibleInterface* a = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
        return a ? a->text(QAccessible::Name) : QStringLiteral("<none>");
    };
    const std::pair<const char*, const char*> mainNames[] = {
        {"txtStarttid", "Start tid"},   {"txtLYStal", "LYS tal"},
        {"txtColor", "Färg"},           {"txtSepChar", "SepChar"},
        {"cmdParse", "Parse KLM file"}, {"txtTrackFile", "Content in selected track file"},
    };
    for (const auto& [control, expected] : mainNames)
        EXPECT_EQ(name(w.find(control)), Utf8(expected)) << control;
    const std::pair<const char*, const char*> controlNames[] = {
        {"txtPlayspeed", "Playspeed "},
        {"txtResolution", "Resolution sec"},
        {"txtRaceTime", "Race time"},
        {"txtPointPlot", "Points"},
        {"cmdPlay", "Play"},
        {"cmdStop", "Stop"},
        {"lblTrackInfo0", "Elsa.txt 1"},
        {"Label3", "Dist nm"},
    };
    for (const auto& [control, expected] : controlNames)
        EXPECT_EQ(name(w.control(control)), Utf8(expected)) << control;
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
    files.writeBytes("empty.txt", "");
    std::filesystem::create_directories(files.path() / "sub");
    w.openFolder(Q(files.path().string()));

    auto* fileList = w.find<QListWidget>("File1");
    QStringList shown;
    for (int i = 0; i < fileList->count(); ++i)
        shown << fileList->item(i)->text();
    EXPECT_EQ(shown.join(u' '), "empty.txt long.txt TRACK.TXT");
    auto* dirs = w.find<QListWidget>("Dir1");
    EXPECT_EQ(dirs->item(dirs->count() - 1)->text(), "sub");
    EXPECT_EQ(dirs->currentItem()->text(), Q(files.path().filename().string()));

    auto* preview = w.find<QPlainTextEdit>("txtTrackFile");
    w.clickFile("long.txt");
    const QStringList previewLines = preview->toPlainText().split(u'\n');
    EXPECT_EQ(previewLines.size(), 42); // 41 lines, each ended
    EXPECT_EQ(previewLines.value(40), "57.1,11.2,20080621,100041");
    EXPECT_EQ(TrackPreview(files.file("TRACK.TXT")), "a\r\nb\r\nc\r\n");

    w.clickFile("empty.txt");
    EXPECT_TRUE(preview->toPlainText().isEmpty());
    EXPECT_TRUE(w.dialogs.lastMessage().contains("empty.txt")) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastMessage().contains("empty"));

    w.clickFile("TRACK.TXT");
    w.openFolder(Q((files.path() / "sub").string()));
    EXPECT_EQ(fileList->count(), 0);
    EXPECT_EQ(preview->toPlainText(), "a\nb\nc\n") << "changing the folder leaves the preview";
}

// The race file with the legend and distances the engine gives for the same steps.
struct EngineSteps {
    HeadlessControlPanel panel;
    RecordingApplication view;
    explicit EngineSteps(const QString& race, int steps)
    {
        RaceState state;
        state.RaceFileName = race.toStdString();
        state.RaceClock = kRaceClockAtStart;
        StartReplay(state, panel);
        GoogleEarthOutput output(view);
        for (int i = 0; i < steps; ++i)
            ReplayStep(state, panel, output);
        CloseTrackFiles(state);
    }
};

TEST(Replay, StartOpensTheControlWindowAndPlayStepsTheRaceLikeTheEngine)
{
    Window w;
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.dialogs.answers = {kSampleRace};
    w.menu("mnuFileOpen");
    ASSERT_TRUE(w.find("cmdStart")->isEnabled());
    w.click("cmdStart");
    FrmControl* control = w.main->controlWindow();
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->windowTitle(), "Play");
    EXPECT_TRUE(control->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(control->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(w.control<QLineEdit>("txtPlayspeed")->text(), "10");
    EXPECT_EQ(w.control<QLineEdit>("txtResolution")->text(), "10");
    EXPECT_EQ(w.control<QLineEdit>("txtPointPlot")->text(), "90");
    EXPECT_EQ(w.control<QLineEdit>("txtRaceTime")->text(), "");

    // The legend: the boats in their track colours.
    const std::pair<const char*, QColor> legend[] = {{"Elsa.txt 1", QColor(255, 0, 0)},
                                                     {"Saga.txt 1.05", QColor(0, 0, 255)},
                                                     {"Svalan.txt 1.12", QColor(0, 255, 0)},
                                                     {"Vinga.txt 1.2", QColor(255, 0, 255)}};
    for (int row = 0; row < 4; ++row) {
        auto* label = w.control<QLabel>(QStringLiteral("lblTrackInfo%1").arg(row).toLatin1().constData());
        EXPECT_EQ(label->text(), legend[row].first);
        EXPECT_EQ(label->palette().color(QPalette::Window), legend[row].second) << row;
    }

    // Play with the play speed 40; the race time counts down from 00:05:00.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "40");
    w.clickControl("cmdPlay");
    auto* raceTime = w.control<QLineEdit>("txtRaceTime");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime->text().isEmpty(); }, 10000));
    EXPECT_EQ(raceTime->text(), "00:05:00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return raceTime->text() == "00:04:40"; }, 10000));
    w.clickControl("cmdStop");
    const long long steps = control->driver().steps();
    QTest::qWait(150);
    EXPECT_EQ(control->driver().steps(), steps) << "Stop halts the timer";
    EXPECT_FALSE(control->driver().playing());

    // Play again continues; then the distances are those of the engine after as many steps.
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "0");
    w.clickControl("cmdPlay");
    QTest::qWait(100);
    EXPECT_EQ(control->driver().steps(), steps) << "an interval of 0 is silent";
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "1");
    w.clickControl("cmdPlay");
    w.clickControl("cmdPlay"); // twice: one timer
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->driver().steps() >= 400; }, 60000));
    w.clickControl("cmdStop");
    const EngineSteps engine(kSampleRace, static_cast<int>(control->driver().steps()));
    EXPECT_EQ(raceTime->text().toStdString(), engine.panel.raceTime);
    for (int row = 1; row < 4; ++row)
        EXPECT_EQ(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row).toLatin1().constData())->text().toStdString(),
                  engine.panel.distance[row])
            << row;
    EXPECT_EQ(w.recorder->documents(), engine.view.documents());
    EXPECT_FALSE(w.recorder->documents().empty());
}

TEST(Replay, StartTwiceDoesNothingAndClosingTheControlWindowLetsStartReplayAfresh)
{
    Window w;
    w.dialogs.answers = {kSampleRace};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    FrmControl* first = w.main->controlWindow();
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "1");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->driver().steps() >= 40; }, 20000));
    w.click("cmdStart");
    EXPECT_EQ(w.main->controlWindow(), first);
    EXPECT_EQ(w.viewsMade, 1);

    first->close(); // while playing
    QTest::qWait(30);
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr) << "closing the control window closes the track files";
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    EXPECT_EQ(w.viewsMade, 2);
    EXPECT_TRUE(w.recorder->calls.empty()) << "the new replay draws on a clear view";
    EXPECT_EQ(w.control<QLineEdit>("txtPlayspeed")->text(), "10");
    w.clickControl("cmdPlay");
    auto* raceTime = w.control<QLineEdit>("txtRaceTime");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime->text().isEmpty(); }, 10000));
    EXPECT_EQ(raceTime->text(), "00:05:00");
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
    w.dialogs.answers = {Q(local)};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);
    EXPECT_TRUE(w.dialogs.lastMessage().contains("time zone")) << w.dialogs.lastMessage().toStdString();
    ASSERT_NE(w.main->controlWindow(), nullptr);
    EXPECT_TRUE(w.main->controlWindow()->isVisible());
    w.main->controlWindow()->close();
    QTest::qWait(20);
    w.dialogs.told.clear();

    // A start that fails: the message, no control window, and Start works again.
    w.dialogs.answers = {Q(missing)};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastMessage().contains("nowhere.txt")) << w.dialogs.lastMessage().toStdString();
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    // A step that fails: the message names the file and line; the timer stops.
    w.dialogs.answers = {Q(broken)};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    Window::type(w.control<QLineEdit>("txtResolution"), "60");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.dialogs.told.size() == 2; }, 20000));
    EXPECT_TRUE(w.dialogs.lastMessage().contains("good.txt")) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastMessage().contains("line 4")) << w.dialogs.lastMessage().toStdString();
    EXPECT_FALSE(w.main->controlWindow()->driver().playing());
    EXPECT_TRUE(w.main->controlWindow()->isVisible());

    // A play speed that is no whole number from 0 to 65535 is refused; the timer keeps its state.
    w.clickControl("cmdStop");
    for (const char* speed : {"abc", "-1", "65536", "", "1e9"}) {
        Window::type(w.control<QLineEdit>("txtPlayspeed"), speed);
        w.clickControl("cmdPlay");
        EXPECT_TRUE(w.dialogs.lastMessage().contains("play speed")) << speed;
        EXPECT_FALSE(w.main->controlWindow()->driver().playing()) << speed;
    }
    EXPECT_EQ(FrmControl::PlayInterval("65535.4"), 65535);
    EXPECT_EQ(FrmControl::PlayInterval(" 10 "), 10);
    EXPECT_EQ(FrmControl::PlayInterval("0.5"), 0);
}

TEST(Settings, PlaceIsStoredOnClosingAndRestoredOnOpening)
{
    Window w;
    const double dpi = LogicalDpi(w.main.get());
    const auto px = [dpi](double twips) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
    // Nothing stored: 1000 twips from the left and top, 6500 twips square.
    EXPECT_EQ(w.main->frameGeometry().topLeft(), QPoint(px(1000), px(1000)));
    EXPECT_EQ(w.main->frameGeometry().size(), QSize(px(6500), px(6500)));

    w.main->move(px(1500), px(1200));
    w.main->resize(QSize(px(9000), px(8100)) - (w.main->frameGeometry().size() - w.main->size()));
    w.menu("mnuFileExit");
    EXPECT_FALSE(w.main->isVisible());
    w.settings.sync();
    auto stored = [&](const char* key) { return w.settings.value(QStringLiteral("Settings/") + key).toString(); };
    EXPECT_EQ(stored("MainLeft"), "1500");
    EXPECT_EQ(stored("MainTop"), "1200");
    EXPECT_EQ(stored("MainWidth"), "9000");
    EXPECT_EQ(stored("MainHeight"), "8100");

    w.make();
    EXPECT_EQ(w.main->frameGeometry(), QRect(px(1500), px(1200), px(9000), px(8100)));

    // Minimised at closing: nothing is stored. A value that is no number gives its default.
    w.main->showMinimized();
    w.main->close();
    EXPECT_EQ(stored("MainLeft"), "1500");
    w.settings.setValue("Settings/MainLeft", "left");
    w.settings.setValue("Settings/MainTop", "1e400");
    const WindowPlacement read = ReadMainPlacement(w.settings);
    EXPECT_EQ(read.Left, 1000);
    EXPECT_EQ(read.Top, 1000);
    EXPECT_EQ(read.Width, 9000);
    EXPECT_EQ(SettingText(1234.5f), "1234.5");
    EXPECT_EQ(SettingText(-15.f), "-15");
}

TEST(Settings, AboutShowsTheVersionAndTheProjectPagesAndExitClosesTheReplayFirst)
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

    w.dialogs.answers = {kSampleRace};
    w.menu("mnuFileOpen");
    w.click("cmdStart");
    w.clickControl("cmdPlay");
    QPointer<FrmControl> control = w.main->controlWindow();
    w.menu("mnuFileExit");
    EXPECT_TRUE(control.isNull() || !control->isVisible());
    for (const auto& file : w.main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr);
}

} // namespace
} // namespace tideplot::testing
