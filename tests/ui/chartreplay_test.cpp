// The replay drawn on the chart as a user meets it: the chart's whole race at Start and at the
// end, its menus, and a fleet ranked from a finish line clicked on the chart.
#include "ui/coursetable.h"
#include "ui/windowdriver.h"

#include <QAction>
#include <QTableWidget>

namespace tideplot::testing {
namespace {

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

::testing::AssertionResult ShowsBox(ChartWidget* view, const FixBox& box)
{
    return ShowsBox(view, box.SouthLat, box.WestLon, box.NorthLat, box.EastLon);
}

// The set-up window with the chart as its view, its own settings (no map: no test reaches the
// internet) and scripted dialogs.
class ChartReplay : public ::testing::Test {
protected:
    ChartReplay() : settings(Q(dir.file("settings.ini")), QSettings::IniFormat)
    {
        settings.setValue("Map/Source", "none");
    }

    // Opens the race file and presses Start.
    void start(const std::string& raceFile)
    {
        StartOnTheChart(main, settings, dialogs, Q(raceFile));
        ASSERT_FALSE(HasFatalFailure());
        control = main->controlWindow();
        ASSERT_NE(control, nullptr);
        view = dynamic_cast<ChartApplication*>(main->earth())->widget();
        chartWindow = main->earth()->replayView()->window();
    }

    // Play at the play speed 0 until the timer stops at the end.
    void playToTheEnd(int timeoutMs)
    {
        Window::type(control->findChild<QLineEdit*>("txtPlayspeed"), "0");
        QTest::mouseClick(control->findChild<QWidget*>("cmdPlay"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !control->session().playing(); }, timeoutMs));
    }

    TempDir dir;
    QSettings settings;
    ScriptedDialogs dialogs;
    std::unique_ptr<FrmMain> main;
    FrmControl* control = nullptr;
    ChartWidget* view = nullptr;
    QWidget* chartWindow = nullptr;
};

// The sample race started on the chart.
class SampleOnTheChart : public ChartReplay {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start(kSample + "race.TP1"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chartWindow));
        EXPECT_TRUE(dialogs.told.empty()) << dialogs.lastMessage().toStdString();
    }

    // The windows inside the screen, apart from each other and from Start; Play in focus.
    void expectPlacedApart()
    {
        const QRect screen = main->screen()->availableGeometry();
        const QRect start(main->findChild<QPushButton*>("cmdStart")->mapToGlobal(QPoint(0, 0)),
                          main->findChild<QPushButton*>("cmdStart")->size());
        for (QWidget* window : {chartWindow, static_cast<QWidget*>(control)}) {
            EXPECT_TRUE(screen.contains(window->frameGeometry())) << window->windowTitle().toStdString();
            EXPECT_FALSE(window->frameGeometry().intersects(start)) << window->windowTitle().toStdString();
        }
        EXPECT_FALSE(chartWindow->frameGeometry().intersects(control->frameGeometry()));
        EXPECT_EQ(QApplication::focusWidget(), control->findChild<QWidget*>("cmdPlay")) << "Space plays at once";
    }

    // Before the first step: every fix of the race in view, once its box has been read; the
    // chart named and described for assistive technology.
    void expectWholeRaceShown()
    {
        FixBox race;
        for (const char* boat : {"Elsa.txt", "Saga.txt", "Vinga.txt"})
            race.add(TrackFixesBox(kSample + boat, ','));
        race.add(TrackFixesBox(kSample + "Svalan.txt", ';'));
        const bool shown = QTest::qWaitFor([&] { return bool(ShowsBox(view, race)); }, 10000);
        EXPECT_TRUE(shown) << ShowsBox(view, race).message();
        EXPECT_EQ(AccessibleName(view), "Chart");
        EXPECT_EQ(AccessibleName(chartWindow), "Chart");
        EXPECT_TRUE(view->toolTip().contains("wheel"));
        EXPECT_TRUE(view->accessibleDescription().startsWith("Chart of the race race.TP1"))
            << view->accessibleDescription().toStdString();
    }

    // The chart window's menus: Chart (a picture of the view, a video, the finish line) and
    // Map. The picture with its world file, a video cancelled, the web page of the race as the
    // windows show it, each said where it went.
    void expectMenusWrite()
    {
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
        dialogs.answers = {Q(out.file("race"))};
        dialogs.cancelProgress = false;
        chartWindow->findChild<QAction*>("mnuChartExportWebPage")->trigger();
        EXPECT_TRUE(dialogs.lastSays("race.html")) << dialogs.lastMessage().toStdString();
        EXPECT_NE(Slurp(out.file("race.html")).find("aria-label=\"Replay position\""), std::string::npos);
        dialogs.told.clear();
    }
};

// At Start the windows are placed apart, the chart shows the whole race and is named, and its
// menus write a picture, a video and a web page.
TEST_F(SampleOnTheChart, AtStartTheChartShowsTheWholeRaceAndItsMenusWriteWhatItShows)
{
    expectPlacedApart();
    expectWholeRaceShown();
    expectMenusWrite();
}

// Played to the end: the timer stops and the chart shows everything drawn; Results... shows
// the race by its course file, the leaderboard and the table in one order; closing the chart
// ends the replay as closing the control window does.
TEST_F(SampleOnTheChart, PlayedToTheEndItShowsAllDrawnAndTheResultsAndClosingItEndsTheReplay)
{
    ASSERT_NO_FATAL_FAILURE(playToTheEnd(60000));
    const FixBox drawn = view->series().drawnBox();
    ASSERT_FALSE(drawn.empty());
    EXPECT_TRUE(ShowsBox(view, drawn));
    QTest::qWait(1100);
    EXPECT_TRUE(view->accessibleDescription().contains("boats in view: Elsa"))
        << view->accessibleDescription().toStdString();

    QTest::mouseClick(control->findChild<QPushButton*>("cmdResults"), Qt::LeftButton);
    auto* results = main->findChild<QWidget*>("frmResults");
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

    QPointer<FrmControl> closing = control;
    chartWindow->close();
    QTest::qWait(30);
    EXPECT_TRUE(closing.isNull() || !closing->isVisible());
    for (const auto& file : main->raceState().TrackFile)
        EXPECT_EQ(file, nullptr);
}

QString Cell(QTableView* table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

// A fleet of nine racing north across a finish line, started on the chart. Boat k sails north
// from 57.00 N at 10 + k/2 knots a tenth of a mile apart, LYS 1 + k/100: the line at 57.01 N
// (0.6 nm on) is crossed first by the fastest, on corrected time too.
class FleetOfNine : public ChartReplay {
protected:
    void SetUp() override
    {
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
        race = dir.write("race.TP1", entries);
        ASSERT_NO_FATAL_FAILURE(start(race));
        fleet = control->findChild<QTableView*>("lstFleet");
    }

    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    static std::string track(int k) { return std::string("b").append(std::to_string(k)).append(".txt"); }

    // F, then the two ends: the first east, the second west, so that boats sailing north come
    // from the left of the line (once the chart shows the whole race, read in the background).
    void clickTheFinishLine()
    {
        FixBox whole;
        for (int k = 0; k < 9; ++k)
            whole.add(TrackFixesBox(dir.file(track(k)), ','));
        ASSERT_TRUE(QTest::qWaitFor([&] { return bool(ShowsBox(view, whole)); }, 10000));
        view->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view->window()));
        QTest::keyClick(view, Qt::Key_F);
        const auto at = [&](double lat, double lon) {
            return view->viewport(view->size()).projectedToScreen().map(ProjectLatLon(lat, lon)).toPoint();
        };
        QTest::mouseClick(view, Qt::LeftButton, {}, at(57.01, 11.03));
        QTest::mouseClick(view, Qt::LeftButton, {}, at(57.01, 10.99));
    }

    // Chart > Finish line... shows the line's ends and takes them typed; a text that is no
    // number leaves the line as it was. A line set while Chart > Course... is open shows in its
    // table's finish row, and is no unsaved change of the course.
    void typeTheFinishLine(const FinishLine& clicked)
    {
        QAction* typed = view->window()->findChild<QAction*>("mnuChartFinishLine");
        dialogs.textAnswers = {QStringList{"57.01", "abc", "57.01", "10.99"}};
        typed->trigger();
        EXPECT_EQ(dialogs.shownTexts.value(1), QString::number(clicked.Lon1, 'f', 6));
        EXPECT_TRUE(dialogs.lastSays("\"abc\" is no number of degrees")) << dialogs.lastMessage().toStdString();
        EXPECT_EQ(ReadCourseFinishLine(race), clicked);
        view->window()->findChild<QAction*>("mnuChartCourse")->trigger();
        auto* courseTable = view->window()->findChild<QTableWidget*>("tblCourse");
        ASSERT_NE(courseTable, nullptr);
        dialogs.textAnswers = {QStringList{"57.01", "11.03", "57.01", "10.99"}};
        typed->trigger();
        EXPECT_EQ(ReadCourseFinishLine(race), (FinishLine{57.01, 11.03, 57.01, 10.99}));
        const int finishRow = courseTable->rowCount() - 1;
        EXPECT_EQ(courseTable->item(finishRow, kCourseLon1)->text().toStdString(), "11.03");
        EXPECT_EQ(courseTable->item(finishRow, kCourseLon2)->text().toStdString(), "10.99");
        courseTable->window()->close();
        EXPECT_TRUE(dialogs.questions.empty() ||
                    dialogs.questions.back() != "Save the changes to the course of race.TP1?")
            << "the line set in the chart is no unsaved change";
    }

    // The results window, from the control window: the table and its CSV.
    void expectResultsWindow(const std::vector<BoatResult>& results)
    {
        QTest::mouseClick(control->findChild<QPushButton*>("cmdResults"), Qt::LeftButton);
        auto* window = main->findChild<QWidget*>("frmResults");
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        auto* table = window->findChild<QTableView*>("lstResults");
        ASSERT_EQ(table->model()->rowCount(), 9);
        EXPECT_EQ(Cell(table, 0, 0), "1");
        EXPECT_EQ(Cell(table, 0, 1), QString::fromStdString(results[0].Name)) << "named as the legend names it";
        EXPECT_EQ(Cell(table, 0, 7), QString::fromStdString(results[0].Boat)) << "the file";
        EXPECT_EQ(table->model()->headerData(8, Qt::Horizontal).toString(), "Status");
        EXPECT_EQ(Cell(table, 0, 8), "finished") << "then the status";
        EXPECT_EQ(AccessibleName(table), "Results");
        dialogs.answers = {Q(dir.file("results"))};
        QTest::mouseClick(window->findChild<QPushButton*>("cmdSave"), Qt::LeftButton);
        EXPECT_EQ(Slurp(dir.file("results.csv")), ResultsCsv(results));
    }

    std::string race;
    QTableView* fleet = nullptr;
};

// More than seven boats: the control window lists them all, with room for ten rows at once,
// and the window may be made larger still, the list taking the room.
TEST_F(FleetOfNine, TheControlWindowListsThemAllWithRoomForTen)
{
    ASSERT_TRUE(fleet->isVisible()) << "more than seven boats: a list";
    EXPECT_EQ(fleet->model()->rowCount(), 9);
    EXPECT_EQ(Cell(fleet, 8, 0), "b8.txt 1.08");
    EXPECT_FALSE(AccessibleName(fleet).isEmpty());
    EXPECT_GE(fleet->viewport()->height(), 10 * fleet->verticalHeader()->defaultSectionSize());
    EXPECT_NE(control->minimumSize(), control->maximumSize());
    const int listHeight = fleet->height();
    control->resize(control->width() + 100, control->height() + 100);
    EXPECT_LE(control->findChild<QSlider*>("sldPosition")->geometry().bottom(), control->height());
    EXPECT_EQ(fleet->height(), listHeight + 100) << "the list takes the room";
}

// The chart takes the line from two clicks and keeps it in the course file; played to the end,
// the list stands in the order of the results, and the results window shows the table from the
// line and saves it as CSV. The next Start does not leave the last replay's results open.
TEST_F(FleetOfNine, AreRankedFromTheFinishLineClickedOnTheChart)
{
    ASSERT_NO_FATAL_FAILURE(clickTheFinishLine());
    const FinishLine clicked = ReadCourseFinishLine(race);
    EXPECT_NEAR(clicked.Lat1, 57.01, 0.001);
    EXPECT_NEAR(clicked.Lon1, 11.03, 0.002);
    EXPECT_NEAR(clicked.Lon2, 10.99, 0.002);
    ASSERT_NO_FATAL_FAILURE(typeTheFinishLine(clicked));
    const FinishLine line = ReadCourseFinishLine(race);

    ASSERT_NO_FATAL_FAILURE(playToTheEnd(30000));
    QTest::qWait(50);
    const std::vector<BoatResult> results = RaceResults(race, line);
    ASSERT_EQ(results.size(), 9u);
    for (int row = 0; row < 9; ++row) {
        EXPECT_TRUE(
            Cell(fleet, row, 0).startsWith(QString::number(row + 1) + ". " + QString::fromStdString(results[row].Name)))
            << Cell(fleet, row, 0).toStdString();
        EXPECT_TRUE(Cell(fleet, row, 1).startsWith("finished")) << Cell(fleet, row, 1).toStdString();
    }
    ASSERT_NO_FATAL_FAILURE(expectResultsWindow(results));

    QPointer<QWidget> lastResults = main->findChild<QWidget*>("frmResults");
    control->close();
    QTest::qWait(20);
    QTest::mouseClick(main->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    EXPECT_TRUE(lastResults.isNull() || !lastResults->isVisible());
    main->controlWindow()->close();
}

} // namespace
} // namespace tideplot::testing
