// The replay's windows as a user meets them: failures and warnings shown, a race built by hand
// replayed through the control window as the command line replays it, the chart's whole race
// and a fleet ranked from a finish line clicked on the chart.
#include "ui/coursetable.h"
#include "ui/windowdriver.h"

#include <QAction>
#include <QTableWidget>

namespace tideplot::testing {
namespace {

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
    EXPECT_TRUE(control->session().buildingTimeline());
    EXPECT_TRUE(w.control<QProgressBar>("prgCount")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().buildingTimeline(); }, 20000));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().buildingTimeline(); }, 20000));
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
        entries.push_back(track(k) + " , 2008-06-21 10:00:00 , " + std::to_string(1 + k / 100.0) + " , " +
                          std::to_string(k * 140) + " , ,");
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
    // A line set while Chart > Course... is open shows in its table's finish row.
    chart->window()->findChild<QAction*>("mnuChartCourse")->trigger();
    auto* courseTable = chart->window()->findChild<QTableWidget*>("tblCourse");
    ASSERT_NE(courseTable, nullptr);
    dialogs.textAnswers = {QStringList{"57.01", "11.03", "57.01", "10.99"}};
    typed->trigger();
    line = ReadCourseFinishLine(race);
    EXPECT_EQ(line, (FinishLine{57.01, 11.03, 57.01, 10.99}));
    const int finishRow = courseTable->rowCount() - 1;
    EXPECT_EQ(courseTable->item(finishRow, kCourseLon1)->text().toStdString(), "11.03");
    EXPECT_EQ(courseTable->item(finishRow, kCourseLon2)->text().toStdString(), "10.99");
    courseTable->window()->close();
    EXPECT_TRUE(dialogs.questions.empty() || dialogs.questions.back() != "Save the changes to the course of race.TP1?")
        << "the line set in the chart is no unsaved change";

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
