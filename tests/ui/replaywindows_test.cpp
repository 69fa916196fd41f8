// The replay's windows as a user meets them: failures and warnings shown, a race built by hand
// replayed through the control window as the command line replays it.
#include "ui/windowdriver.h"

namespace tideplot::testing {
namespace {

// A race of one boat whose track file's last line is broken, in a folder of its own.
class ReplayFailures : public ::testing::Test {
protected:
    ReplayFailures()
    {
        race.write("good.txt", {"57.1,11.2,20080621,110000", "57.1,11.2,20080621,110000", "57.2,11.3,20080621,110100",
                                "57.3,11.4,20080621,nonsense"});
    }

    // Writes the race file `name` of the one row `row` and opens it.
    void openRace(const std::string& name, const std::string& row) { w.open(Q(race.write(name, {row}))); }

    TempDir race;
    Window w;
};

// Start times two hours after the track: one warning, and the replay is ready to play.
TEST_F(ReplayFailures, StartTimesHoursAfterTheTrackWarnOfTheTimeZone)
{
    openRace("local.TP1", "good.txt , 2008-06-21 13:00:00 , 1 , 0 , ,");
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Warning);
    EXPECT_TRUE(w.dialogs.lastSays("time zone"));
    ASSERT_NE(w.main->controlWindow(), nullptr);
    w.main->controlWindow()->close();
    QTest::qWait(20);
}

// A race whose track file is missing says so when it is opened; Start stays disabled. A start
// that fails (the track file went away after Open): the message, no control window, and Start
// works again. Blank lines at the end of a race file (an editor's) are no rows.
TEST_F(ReplayFailures, AMissingTrackFileIsToldAndStartWorksAgain)
{
    openRace("missing.TP1", "nowhere.txt , 2008-06-21 11:00:00 , 1 , 0 , ,");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("row 1: the track file"));
    EXPECT_TRUE(w.dialogs.lastSays("nowhere.txt"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());

    const std::string gone = race.write("gone.txt", {"57.1,11.2,20080621,110000"});
    openRace("gone.TP1", "gone.txt , 2008-06-21 11:00:00 , 1 , 0 , ,");
    std::filesystem::remove(gone);
    w.dialogs.told.clear();
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("gone.txt"));
    EXPECT_EQ(w.dialogs.told.back().second, MessageKind::Error);
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);

    w.dialogs.told.clear();
    w.open(Q(race.write("blanks.TP1", {"good.txt , 2008-06-21 11:00:00 , 1 , 0 , ,", "", " "})));
    EXPECT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    EXPECT_EQ(w.listRows().size(), 1u);
    EXPECT_TRUE(w.find("cmdStart")->isEnabled());
}

// A FIFO where a track file or the race file should be is named at once, never read (it would
// wait for a writer): at Open, and at Start when it took the file's place after Open.
TEST_F(ReplayFailures, AFifoForAFileIsNamedAtOnce)
{
    ASSERT_EQ(::mkfifo(race.file("fifo.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(race.file("fifo.TP1").c_str(), 0600), 0);
    openRace("fifotrack.TP1", "fifo.txt , 2008-06-21 11:00:00 , 1 , 0 , ,");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("row 1: the track file cannot open")) << w.dialogs.lastMessage().toStdString();
    EXPECT_TRUE(w.dialogs.lastSays("fifo.txt\": it is a FIFO (a named pipe), not a file"));
    EXPECT_FALSE(w.find("cmdStart")->isEnabled());
    w.dialogs.told.clear();
    w.open(Q(race.file("fifo.TP1")));
    EXPECT_TRUE(w.dialogs.lastSays("it is a FIFO (a named pipe), not a file")) << w.dialogs.lastMessage().toStdString();
    const std::string swapped = race.write("swapped.txt", {"57.1,11.2,20080621,110000"});
    openRace("swapped.TP1", "swapped.txt , 2008-06-21 11:00:00 , 1 , 0 , ,");
    std::filesystem::remove(swapped);
    ASSERT_EQ(::mkfifo(swapped.c_str(), 0600), 0);
    w.dialogs.told.clear();
    w.click("cmdStart");
    ASSERT_EQ(w.dialogs.told.size(), 1u);
    EXPECT_TRUE(w.dialogs.lastSays("swapped.txt\" is a FIFO (a named pipe), not a file"))
        << w.dialogs.lastMessage().toStdString();
    QTest::qWait(20);
    EXPECT_EQ(w.main->controlWindow(), nullptr);
}

// A step that fails: the message names the file and line; the timer stops. Then a play speed
// that is no whole number from 0 to 65535, a resolution that is no positive number of seconds
// or a tail that is no sensible number of minutes (as --tail refuses it) is refused when Play
// is pressed; the timer keeps its state.
TEST_F(ReplayFailures, AFailingStepStopsTheTimerAndBadSettingsAreRefused)
{
    openRace("broken.TP1", "good.txt , 2008-06-21 11:00:00 , 1 , 0 , ,");
    w.click("cmdStart");
    ASSERT_NE(w.main->controlWindow(), nullptr);
    Window::type(w.control<QLineEdit>("txtResolution"), "60");
    w.clickControl("cmdPlay");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.dialogs.told.size() == 1; }, 20000));
    EXPECT_TRUE(w.dialogs.lastSays("good.txt"));
    EXPECT_TRUE(w.dialogs.lastSays("line 4"));
    EXPECT_FALSE(w.main->controlWindow()->session().playing());
    EXPECT_TRUE(w.main->controlWindow()->isVisible());

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
    Window::type(w.control<QLineEdit>("txtPlayspeed"), "10");
    Window::type(w.control<QLineEdit>("txtResolution"), "10");
    for (const char* tail : {"1e-300", "-1", "99999999999"}) {
        Window::type(w.control<QLineEdit>("txtTail"), tail);
        w.clickControl("cmdPlay");
        EXPECT_TRUE(w.dialogs.lastSays("give 0 (the whole track) or 0.1 to 1000000 minutes")) << tail;
        EXPECT_FALSE(w.main->controlWindow()->session().playing()) << tail;
    }
}

// The sample race's boats as typed into the set-up window, with their legends and colours.
const struct {
    const char *file, *start, *lys, *colour, *sep, *legend;
    QColor swatch;
} kBoats[] = {{"Elsa.txt", "2008-06-21 11:00:00", "1.00", "0", ",", "Elsa.txt 1", Qt::red},
              {"Saga.txt", "2008-06-21 11:03:30", "1.05", "1023", ",", "Saga.txt 1.05", Qt::blue},
              {"Svalan.txt", "2008-06-21 11:08:00", "1.12", "511", ";", "Svalan.txt 1.12", Qt::green},
              {"Vinga.txt", "2008-06-21 11:12:30", "1.20", "1279", ",", "Vinga.txt 1.2", Qt::magenta}};

// The sample race built by hand from its track files in a folder named with å, ä and ö, saved
// and started: its steps counted, the control window shown.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& b : kBoats)
            std::filesystem::copy_file(kSample + b.file, race.file(b.file));
        w.openFolder(Q(race.folder));
        for (const auto& b : kBoats) {
            w.clickFile(b.file);
            w.type("txtStarttid", b.start);
            w.type("txtLYStal", b.lys);
            w.type("txtColor", b.colour);
            w.type("txtSepChar", b.sep);
            w.click("cmdAdd");
        }
        path = race.file("race.TP1");
        w.dialogs.answers = {Q(path)};
        w.toolBar("Save");
        ASSERT_TRUE(w.find("cmdStart")->isEnabled());
        w.click("cmdStart");
        control = w.main->controlWindow();
        ASSERT_NE(control, nullptr);
        // The race's steps are counted in the background, the progress in the slider's place.
        EXPECT_TRUE(control->session().buildingTimeline());
        EXPECT_TRUE(w.control<QProgressBar>("prgCount")->isVisible());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().buildingTimeline(); }, 20000));
        ASSERT_TRUE(w.dialogs.told.empty()) << w.dialogs.lastMessage().toStdString();
    }

    QLineEdit* raceTime() { return w.control<QLineEdit>("txtRaceTime"); }

    // Play with the play speed 40: the race time starts at -00:05:00; Stop halts the timer.
    // Play again continues: after as many steps the race time, the distances and what the
    // view received are what the command line's replay traces.
    void playStopAndPlayAgain()
    {
        Window::type(w.control<QLineEdit>("txtPlayspeed"), "40");
        w.clickControl("cmdPlay");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime()->text().isEmpty(); }, 10000));
        EXPECT_EQ(raceTime()->text(), "-00:05:00");
        w.clickControl("cmdStop");
        const long long steps = control->session().position();
        QTest::qWait(150);
        EXPECT_EQ(control->session().position(), steps) << "Stop halts the timer";
        EXPECT_FALSE(control->session().playing());

        Window::type(w.control<QLineEdit>("txtPlayspeed"), "1");
        w.clickControl("cmdPlay");
        w.clickControl("cmdPlay"); // twice: one timer
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() >= 400; }, 60000));
        w.clickControl("cmdStop");
        TracedReplay commandLine = ReplayOnTheCommandLine(path, control->session().position());
        EXPECT_EQ(raceTime()->text().toStdString(), commandLine.raceTime);
        for (int row = 1; row < 4; ++row)
            EXPECT_EQ(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row))->text().toStdString(),
                      commandLine.distance[row])
                << row;
        ASSERT_FALSE(commandLine.drawn.empty());
        EXPECT_EQ(w.drawn(), commandLine.drawn);
    }

    // A key on the replay position, the replay then at `expected` as if played from Start to
    // there: the race time, the view drawn again from the start (the same documents) and the
    // camera of that step.
    void key(Qt::Key k, long long expected)
    {
        QTest::keyClick(w.control<QSlider>("sldPosition"), k);
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() == expected; }, 5000))
            << control->session().position() << " for " << expected;
        const TracedReplay commandLine = ReplayOnTheCommandLine(path, expected);
        EXPECT_EQ(raceTime()->text().toStdString(), commandLine.raceTime);
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
    }

    // The replay position follows; its keys go to any step: Home to Start, Right one step, Page
    // Up ten, End to the end. A click on the groove goes to the place clicked, not ten steps
    // towards it.
    void seekWithThePosition()
    {
        auto* position = w.control<QSlider>("sldPosition");
        EXPECT_EQ(position->value(), control->session().position());
        count = ReplayOnTheCommandLine(path, 1000000).steps;
        EXPECT_EQ(position->maximum(), count) << "the dry run at Start counts the steps";
        position->setFocus();
        for (const auto& [k, expected] : std::vector<std::pair<Qt::Key, long long>>{{Qt::Key_Home, 0},
                                                                                    {Qt::Key_Right, 1},
                                                                                    {Qt::Key_Right, 2},
                                                                                    {Qt::Key_PageUp, 12},
                                                                                    {Qt::Key_End, count},
                                                                                    {Qt::Key_PageDown, count - 10},
                                                                                    {Qt::Key_Left, count - 11},
                                                                                    {Qt::Key_Home, 0}})
            ASSERT_NO_FATAL_FAILURE(key(k, expected));
        QTest::mouseClick(position, Qt::LeftButton, {}, QPoint(position->width() * 3 / 4, position->height() / 2));
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->session().position() > count / 2; }, 5000))
            << control->session().position();
        EXPECT_NEAR(static_cast<double>(control->session().position()), count * 0.75, count * 0.1);
        key(Qt::Key_Home, 0);
    }

    // The play speed 0 plays as fast as the program can, to the end of the race, where the
    // timer stops by itself with the last step's texts shown, as the command line ends.
    void playToTheEnd()
    {
        Window::type(w.control<QLineEdit>("txtPlayspeed"), "0");
        w.clickControl("cmdPlay");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().playing(); }, 60000));
        TracedReplay commandLine = ReplayOnTheCommandLine(path, 1000000);
        EXPECT_EQ(raceTime()->text().toStdString(), commandLine.raceTime);
        EXPECT_EQ(w.drawn(), commandLine.drawn);
        for (int row = 1; row < 4; ++row)
            EXPECT_EQ(AccessibleName(w.control<QLabel>(QStringLiteral("lblDst%1").arg(row))).toStdString(),
                      std::string(kBoats[row].legend) + ": " + commandLine.distance[row] + " nm")
                << "a distance is read out with its boat";
        const long long atEnd = control->session().position();
        w.clickControl("cmdPlay");
        QTest::qWait(50);
        EXPECT_EQ(control->session().position(), atEnd);
        EXPECT_TRUE(w.dialogs.lastSays("end of the race"));
        w.dialogs.told.clear();
    }

    // New settings are counted in the background, a progress bar in the slider's place
    // meanwhile; the replay then stands at the same race clock, here the end, which Play says.
    void countNewSettings()
    {
        auto* position = w.control<QSlider>("sldPosition");
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
    }

    // Start while a replay is open starts nothing: it brings the replay's windows to the
    // front, Play in focus. Closing the control window during play closes the track files,
    // and Start then replays afresh on a clear view; Exit closes the replay first.
    void startAgainCloseAndExit()
    {
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
        ASSERT_TRUE(QTest::qWaitFor([&] { return !raceTime()->text().isEmpty(); }, 10000));
        EXPECT_EQ(raceTime()->text(), "-00:05:00") << "the race starts anew";
        QPointer<FrmControl> second = w.main->controlWindow();
        w.menu("mnuFileExit");
        EXPECT_TRUE(second.isNull() || !second->isVisible());
        for (const auto& file : w.main->raceState().TrackFile)
            EXPECT_EQ(file, nullptr) << "Exit closes the replay first";
    }

    Window w;
    RaceFolder race;
    std::string path;
    FrmControl* control = nullptr;
    long long count = 0; // the steps of the race at the first settings
};

// The control window: on top, each box's text and each control's name for assistive
// technology, the legend, the order of Tab, the race time that takes no typing.
TEST_F(EndToEnd, TheControlWindowOfARaceBuiltInTheWindowIsNamedAndInTabOrder)
{
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->windowTitle(), "Play");
    EXPECT_TRUE(control->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(control->testAttribute(Qt::WA_ShowWithoutActivating));
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
        EXPECT_EQ(label->text().toStdString(), kBoats[row].legend);
        EXPECT_EQ(AccessibleName(label).toStdString(), kBoats[row].legend);
        EXPECT_EQ(label->palette().color(QPalette::Window), kBoats[row].swatch) << row;
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
    EXPECT_TRUE(raceTime()->isReadOnly());
    QTest::keyClicks(raceTime(), "12:00:00");
    EXPECT_EQ(raceTime()->text(), "");
}

// Played, stopped, sought and played to the end, the replay is at every step what the command
// line's replay traces; then Start again, closing the control window, and Exit.
TEST_F(EndToEnd, ARaceBuiltInTheWindowPlaysLikeTheCommandLineAndStartsAfreshAfterClosing)
{
    ASSERT_NO_FATAL_FAILURE(playStopAndPlayAgain());
    ASSERT_NO_FATAL_FAILURE(seekWithThePosition());
    ASSERT_NO_FATAL_FAILURE(playToTheEnd());
    ASSERT_NO_FATAL_FAILURE(countNewSettings());
    startAgainCloseAndExit();
}

} // namespace
} // namespace tideplot::testing
