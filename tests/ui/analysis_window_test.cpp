// The Analysis window and the chart's manoeuvre menus as a user meets them, on a race whose
// wind and manoeuvres are known (tools/racesim.h): the graph's line follows the replay, a
// click or a drag on the graph takes the replay there, a manoeuvre activated takes it to ten
// seconds before that manoeuvre and the chart to its place, the wind typed judges every turn
// anew; the chart marks the tacks and gybes reached and keeps a followed boat in its middle.
#include "analysedreplay.h"
#include "core/workpool.h"
#include "ui/analysisrun.h"
#include "ui/gapgraph.h"
#include "ui/speedgraph.h"

#include <QAccessible>
#include <QAction>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tideplot::testing {
namespace {

// The Analysis window opened over the replay, the analysis come.
class AnalysisOverTheReplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(r.control, nullptr);
        window = r.openAnalysis();
        ASSERT_NE(window, nullptr);
        table = window->findChild<QTableView*>("lstManoeuvres");
        graph = window->findChild<SpeedGraph*>("graphSpeed");
        wind = window->findChild<QLineEdit*>("txtWind");
        source = window->findChild<QLabel*>("lblWindSource");
        ASSERT_TRUE(table && graph && wind && source);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() > 0; }, 30000)) << "the analysis came";
    }

    // Whether the graph's line comes to stand at the replay's race time.
    bool lineAtReplay()
    {
        return QTest::qWaitFor(
            [&] {
                const double x = graph->positionLineX();
                return !std::isnan(x) && std::abs(graph->raceSecondsAt(x) - r.raceSeconds()) <
                                             (graph->raceSecondsAt(x + 1) - graph->raceSecondsAt(x)) + 1e-6;
            },
            2000);
    }

    // The boats chosen with the keyboard: Down, Space leaves the second out of the graph and
    // the table; All brings it back.
    void chooseBoatsWithTheKeyboard()
    {
        auto* boats = window->findChild<QListWidget*>("lstBoats");
        ASSERT_EQ(boats->count(), 3);
        const int rows = table->model()->rowCount();
        const qsizetype points = graph->pointCount();
        const auto listsBoat = [&](int k) {
            for (int row = 0; row < table->model()->rowCount(); ++row)
                if (table->model()->index(row, 0).data().toString() == boats->item(k)->text())
                    return true;
            return false;
        };
        ASSERT_TRUE(listsBoat(1));
        boats->setFocus();
        QTest::keyClick(boats, Qt::Key_Down);
        QTest::keyClick(boats, Qt::Key_Space);
        EXPECT_EQ(boats->item(1)->checkState(), Qt::Unchecked);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() < rows; }, 10000));
        EXPECT_FALSE(listsBoat(1));
        EXPECT_TRUE(listsBoat(0) && listsBoat(2));
        EXPECT_LT(graph->pointCount(), points);
        QTest::keyClick(window, Qt::Key_A, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() == rows; }, 10000));
        EXPECT_NEAR(graph->pointCount(), points, points / 50); // the legend's lines may take a pixel
    }

    // The line follows the replay: played, then sought with the replay position's keys.
    void followTheReplay()
    {
        r.playTo(60);
        EXPECT_TRUE(lineAtReplay()) << "played to " << r.raceSeconds() << " s";
        auto* slider = r.control->findChild<QSlider*>("sldPosition");
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageDown);
        QTest::keyClick(slider, Qt::Key_PageDown);
        EXPECT_TRUE(lineAtReplay()) << "sought to " << r.raceSeconds() << " s";
        const int redraws = graph->redraws();
        r.playTo(r.session().position() + 100);
        EXPECT_TRUE(lineAtReplay());
        EXPECT_LE(graph->redraws(), redraws + 1) << "the chart under the line is not drawn again as the replay plays";
    }

    // A click on the graph takes the replay there, the line to the click; so does a drag.
    void seekFromTheGraph()
    {
        const QRectF plot = graph->plotRect();
        const auto clickedTo = [&](double share) {
            const QPoint at(static_cast<int>(plot.left() + share * plot.width()), static_cast<int>(plot.center().y()));
            const double seconds = graph->raceSecondsAt(at.x());
            const bool there =
                QTest::qWaitFor([&] { return !r.session().playing() && StandsJustBefore(r.session(), seconds); }, 5000);
            return there ? ::testing::AssertionSuccess() : StandsJustBefore(r.session(), seconds);
        };
        const auto point = [&](double share) {
            return QPoint(static_cast<int>(plot.left() + share * plot.width()), static_cast<int>(plot.center().y()));
        };
        QTest::mouseClick(graph->viewport(), Qt::LeftButton, {}, point(0.6));
        EXPECT_TRUE(clickedTo(0.6));
        EXPECT_TRUE(lineAtReplay());
        QTest::mousePress(graph->viewport(), Qt::LeftButton, {}, point(0.2));
        QTest::mouseMove(graph->viewport(), point(0.3));
        QTest::mouseRelease(graph->viewport(), Qt::LeftButton, {}, point(0.3));
        EXPECT_TRUE(clickedTo(0.3));
        EXPECT_TRUE(graph->accessibleDescription().startsWith("Replay position: race time "));
    }

    // Sorted by loss, the numbers in order (not as text); Enter on a row takes the replay to
    // ten seconds before that manoeuvre and its place into the chart's view.
    void seekFromTheTable()
    {
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(table->horizontalHeader()->sectionViewportPosition(3) + 5, 5));
        std::vector<double> losses;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            if (const QString loss = table->model()->index(row, 3).data().toString(); !loss.isEmpty())
                losses.push_back(loss.toDouble());
        ASSERT_GT(losses.size(), 3u);
        EXPECT_TRUE(std::is_sorted(losses.begin(), losses.end()) || std::is_sorted(losses.rbegin(), losses.rend()));
        const int row = table->model()->rowCount() / 2;
        table->setFocus();
        table->selectRow(row);
        table->setCurrentIndex(table->model()->index(row, 0));
        const QString raceTime = table->model()->index(row, 2).data().toString();
        QTest::keyClick(table, Qt::Key_Return);
        const double middle = table->model()->index(row, 2).data(Qt::UserRole).toDouble() * kSecondsPerDay;
        EXPECT_NEAR(RaceTimeSeconds(raceTime), middle, 0.5) << raceTime.toStdString();
        EXPECT_TRUE(StandsJustBefore(r.session(), middle - 10)) << raceTime.toStdString();
        int boat = -1;
        for (int k = 0; k < 3; ++k)
            if (table->model()->index(row, 0).data().toString().startsWith(
                    QString::fromStdString(r.truth.Boats[k].File)))
                boat = k;
        ASSERT_GE(boat, 0);
        const auto fix = r.session().series().sample(boat, r.session().position());
        const QPointF place =
            r.chart->viewport(r.chart->size()).projectedToScreen().map(ProjectLatLon(fix.Lat, fix.Lon));
        EXPECT_TRUE(QRectF(QPointF(0, 0), QSizeF(r.chart->size())).contains(place)) << "the chart shows the boat there";
        EXPECT_TRUE(lineAtReplay());
        EXPECT_TRUE(r.dialogs.told.empty()) << r.dialogs.told.back().toStdString();
    }

    // The wind typed: every turn judged against it. From the opposite direction the tacks are
    // gybes and the gybes tacks; Estimate goes back to the fleet's wind.
    void typeTheWind()
    {
        const auto kinds = [&] {
            std::map<std::string, int> count;
            for (int i = 0; i < table->model()->rowCount(); ++i)
                ++count[table->model()->index(i, 1).data().toString().toStdString()];
            return count;
        };
        const auto estimated = kinds();
        ASSERT_GT(estimated.count("tack"), 0u);
        const double reverse = std::fmod(wind->text().toDouble() + 180, 360);
        AnalysedReplay::Type(wind, QString::number(reverse));
        QTest::keyClick(wind, Qt::Key_Return);
        EXPECT_TRUE(source->text().startsWith("given; ")) << source->text().toStdString();
        auto reversed = kinds();
        EXPECT_EQ(reversed["gybe"], estimated.at("tack"));
        EXPECT_EQ(reversed["tack"], estimated.count("gybe") ? estimated.at("gybe") : 0);
        AnalysedReplay::Type(wind, "north");
        QTest::keyClick(wind, Qt::Key_Return);
        ASSERT_FALSE(r.dialogs.told.empty());
        EXPECT_TRUE(r.dialogs.told.back().contains("\"north\"")) << r.dialogs.told.back().toStdString();
        QTest::mouseClick(window->findChild<QPushButton*>("cmdEstimate"), Qt::LeftButton);
        EXPECT_TRUE(source->text().startsWith("estimated from ")) << source->text().toStdString();
        EXPECT_EQ(kinds(), estimated);
    }

    // The wheel zooms the graph's time about the pointer, F fits the whole race again; the
    // pointer over it reads out each boat's speed there.
    void zoomTheTime()
    {
        QTest::qWait(300);
        const QRectF plot = graph->plotRect();
        const QPointF at(plot.left() + plot.width() / 2, plot.center().y());
        const double span = graph->lastShown() - graph->firstShown();
        const double underPointer = graph->raceSecondsAt(at.x());
        QWheelEvent wheel(at, graph->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(graph->viewport(), &wheel);
        EXPECT_NEAR(graph->lastShown() - graph->firstShown(), span / (1.25 * 1.25), 1);
        EXPECT_NEAR(graph->raceSecondsAt(at.x()), underPointer, 1) << "zoomed about the pointer";
        graph->setFocus();
        QTest::keyClick(graph, Qt::Key_F);
        EXPECT_NEAR(graph->lastShown() - graph->firstShown(), span, 1e-6);
        QMouseEvent move(QEvent::MouseMove, at, graph->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(graph->viewport(), &move);
        EXPECT_TRUE(graph->readout().contains(": ") && graph->readout().contains(" kn"))
            << graph->readout().toStdString();
    }

    AnalysedReplay r;
    QWidget* window = nullptr;
    QTableView* table = nullptr;
    SpeedGraph* graph = nullptr;
    QLineEdit* wind = nullptr;
    QLabel* source = nullptr;
};

TEST_F(AnalysisOverTheReplay, FollowsTheReplaySeeksFromGraphAndTableAndTakesTheWindTyped)
{
    EXPECT_EQ(AccessibleName(graph), "Speed graph");
    EXPECT_EQ(AccessibleName(table), "Manoeuvres");
    EXPECT_EQ(AccessibleName(wind), "Wind from (degrees)");
    QTest::qWait(300); // the lines made for the graph's width once the window is laid out

    // The wind estimated from the fleet, within 5 degrees of the truth; every boat's speed and
    // VMG drawn with at most two points a pixel column, not a point a second.
    EXPECT_TRUE(source->text().startsWith("estimated from ")) << source->text().toStdString();
    EXPECT_NEAR(wind->text().toDouble(), r.truth.WindFromDeg, 5) << wind->text().toStdString();
    const double columns = graph->plotRect().width();
    EXPECT_GT(graph->pointCount(), 6 * 100);
    EXPECT_LE(graph->pointCount(), 6 * 2 * std::max(columns, 100.0) + 6);

    ASSERT_NO_FATAL_FAILURE(chooseBoatsWithTheKeyboard());
    followTheReplay();
    seekFromTheGraph();
    ASSERT_NO_FATAL_FAILURE(seekFromTheTable());
    ASSERT_NO_FATAL_FAILURE(typeTheWind());

    // Closing the replay closes the window.
    QPointer<QWidget> closing = window;
    r.control->close();
    r.control = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&] { return closing.isNull(); }, 2000));
}

// The graph's keys move the replay by its steps, as the replay's slider does: Left and Right
// one, Page Up and Page Down ten, Home to the first and End to the last, which the graph
// reaches (a step beyond the last fix).
TEST(AnalysisWindow, TheGraphsKeysMoveTheReplayByItsStepsAsTheSliderDoes)
{
    AnalysedReplay r;
    ASSERT_NE(r.control, nullptr);
    QWidget* window = r.openAnalysis();
    ASSERT_NE(window, nullptr);
    auto* graph = window->findChild<SpeedGraph*>("graphSpeed");
    auto* table = window->findChild<QTableView*>("lstManoeuvres");
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() > 0 && r.session().seekable(); }, 30000));
    const long long last = r.session().stepCount();
    ASSERT_GT(last, 100);
    graph->setFocus();
    const auto press = [&](Qt::Key key, int times, long long expected) -> ::testing::AssertionResult {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(graph, key);
        if (QTest::qWaitFor([&] { return r.session().position() == expected && !r.session().playing(); }, 5000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << times << " x " << QKeySequence(key).toString().toStdString()
                                             << ": step " << r.session().position() << ", not " << expected;
    };
    EXPECT_TRUE(press(Qt::Key_End, 1, last));
    const double x = graph->positionLineX();
    ASSERT_FALSE(std::isnan(x)) << "the last step lies inside the graph";
    EXPECT_NEAR(graph->raceSecondsAt(x), r.raceSeconds(), graph->raceSecondsAt(x + 1) - graph->raceSecondsAt(x));
    EXPECT_TRUE(press(Qt::Key_Left, 10, last - 10));
    EXPECT_TRUE(press(Qt::Key_Home, 1, 0));
    EXPECT_TRUE(press(Qt::Key_Right, 1, 1));
    EXPECT_TRUE(press(Qt::Key_PageDown, 1, 11));
    EXPECT_TRUE(press(Qt::Key_PageDown, 3, 41));
    EXPECT_TRUE(press(Qt::Key_Right, 1, 42));
    EXPECT_TRUE(press(Qt::Key_PageUp, 1, 32));
    EXPECT_TRUE(press(Qt::Key_Left, 1, 31));
    EXPECT_TRUE(press(Qt::Key_Home, 1, 0));
    EXPECT_TRUE(press(Qt::Key_Left, 1, 0)) << "no step before the first";
}

TEST(AnalysisChart, MarksTheManoeuvresReachedAndKeepsAFollowedBoatInTheMiddle)
{
    AnalysedReplay r;
    ASSERT_NE(r.control, nullptr);
    auto* marks = r.chartWindow->findChild<QAction*>("mnuChartShowManoeuvres");
    ASSERT_NE(marks, nullptr);
    marks->trigger();
    EXPECT_TRUE(marks->isChecked());

    // Followed: boat 2 in the middle of the chart after steps and after a seek, whatever the
    // user did to the view.
    auto* follow = r.chartWindow->findChild<QAction*>("mnuChartFollowBoat1");
    ASSERT_NE(follow, nullptr);
    EXPECT_TRUE(follow->text().startsWith(QString::fromStdString(r.truth.Boats[1].File)))
        << follow->text().toStdString();
    follow->trigger();
    const auto inTheMiddle = [&](int boat) -> ::testing::AssertionResult {
        const SeriesSample& s = r.session().series().sample(boat, r.session().position());
        const QPointF at = r.chart->viewport(r.chart->size()).projectedToScreen().map(ProjectLatLon(s.Lat, s.Lon));
        const QPointF middle(r.chart->width() / 2.0, r.chart->height() / 2.0);
        if ((at - middle).manhattanLength() < 1.5)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "boat " << boat << " at " << at.x() << "," << at.y() << ", the middle "
                                             << middle.x() << "," << middle.y() << ", step " << r.session().position();
    };
    r.playTo(60); // past the start
    EXPECT_TRUE(inTheMiddle(1));
    r.chart->panBy({40, 30});
    r.playTo(r.session().position() + 37);
    EXPECT_TRUE(inTheMiddle(1));
    auto* slider = r.control->findChild<QSlider*>("sldPosition");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.session().position() == slider->value(); }, 5000));
    EXPECT_TRUE(inTheMiddle(1));

    // The tacks and gybes marked are those up to the replay's race time.
    QTest::qWait(50);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !r.chart->manoeuvreMarks().empty(); }, 30000)) << "the analysis came";
    const double clock = r.session().lastFrame().RaceClock;
    std::size_t reached = 0;
    for (const ManoeuvreMark& m : r.chart->manoeuvreMarks())
        reached += m.RaceClockDays <= clock;
    EXPECT_GT(reached, 0u);
    EXPECT_LT(reached, r.chart->manoeuvreMarks().size());
    EXPECT_EQ(r.chart->manoeuvreMarksShown(), reached);

    // Following the fleet again: the camera framed on the fleet, as before.
    r.chartWindow->findChild<QAction*>("mnuChartFollowFleet")->trigger();
    const FleetFrame& frame = r.session().lastFrame();
    ASSERT_TRUE(frame.ViewBoxSet);
    const CameraInfoGE camera = r.chart->camera();
    EXPECT_NEAR(camera.FocusPointLatitude, (frame.ViewBoxMin.Lat + frame.ViewBoxMax.Lat) / 2, 1e-9);
    EXPECT_NEAR(camera.FocusPointLongitude, (frame.ViewBoxMin.Lon + frame.ViewBoxMax.Lon) / 2, 1e-9);
    marks->trigger();
    EXPECT_TRUE(r.chart->manoeuvreMarks().empty());
}

// Below the graph, tabs the keyboard reaches: every boat's totals (their tacks those the
// manoeuvres table lists from the boat's start), the manoeuvres (those before the start only
// when asked for; the row selected ringed on the chart until the window closes) and two boats
// side by side. The graph's time zooms with the wheel and F fits it again; the pointer over
// it reads out each boat's speed there.
TEST_F(AnalysisOverTheReplay, TabsOfTotalsAndComparisonTheChosenManoeuvreRingedAndTheTimeZoomed)
{
    auto* tabs = window->findChild<QTabWidget*>("tabsAnalysis");
    auto* totals = window->findChild<QTableView*>("lstTotals");
    auto* before = window->findChild<QCheckBox*>("chkBeforeStart");
    ASSERT_TRUE(tabs && totals && before);
    EXPECT_EQ(AccessibleName(totals), "Totals");

    // Totals: a row a boat, its cell on its colour in the legend.
    QTest::keyClick(window, Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(tabs->currentWidget(), totals);
    ASSERT_EQ(totals->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const auto* legend = r.control->findChild<QLabel*>(QStringLiteral("lblTrackInfo%1").arg(row));
        ASSERT_NE(legend, nullptr);
        EXPECT_EQ(totals->model()->index(row, 0).data(Qt::BackgroundRole).value<QBrush>().color(),
                  legend->palette().color(QPalette::Window))
            << row;
        EXPECT_FALSE(totals->model()->index(row, 1).data(Qt::BackgroundRole).isValid()) << row;
    }

    // Before the start: listed when asked for, and only then.
    QTest::keyClick(window, Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(tabs->currentWidget()->isAncestorOf(table));
    const auto beforeStartRows = [&] {
        int n = 0;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            n += table->model()->index(row, 1).data().toString().endsWith(", before start");
        return n;
    };
    const int raceRows = table->model()->rowCount();
    EXPECT_EQ(beforeStartRows(), 0);
    QTest::keyClick(window, Qt::Key_B, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return before->isChecked(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() == raceRows + beforeStartRows(); }, 5000));
    QTest::keyClick(window, Qt::Key_B, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() == raceRows; }, 5000));

    // The row selected with the keyboard ringed on the chart, at that manoeuvre's place.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    const int selected = table->currentIndex().row();
    ASSERT_GE(selected, 0);
    ASSERT_TRUE(r.chart->highlightedManoeuvre().has_value());
    const double middle = table->model()->index(selected, 2).data(Qt::UserRole).toDouble();
    EXPECT_DOUBLE_EQ(r.chart->highlightedManoeuvre()->RaceClockDays, middle);
    EXPECT_EQ(r.chart->highlightedManoeuvre()->Gybe, table->model()->index(selected, 1).data().toString() == "gybe");

    // Two boats side by side, chosen with the keyboard.
    QTest::keyClick(window, Qt::Key_P, Qt::AltModifier);
    auto* second = window->findChild<QComboBox*>("cboSecond");
    auto* compared = window->findChild<QTableView*>("lstCompare");
    ASSERT_TRUE(second && compared);
    QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
    QTest::keyClick(second, Qt::Key_Down);
    EXPECT_EQ(second->currentIndex(), 2);
    EXPECT_EQ(compared->model()->headerData(2, Qt::Horizontal).toString(), second->currentText());

    zoomTheTime();

    // The ring goes with the window.
    window->close();
    EXPECT_FALSE(r.chart->highlightedManoeuvre().has_value());
}

// With a course: each boat's start against the line, its legs (the seconds gained over each
// the difference of the gaps at its ends) and the gap graph, whose read-out names each boat.
TEST(AnalysisWindow, TheStartTheLegsAndTheGapOfARaceWithACourse)
{
    AnalysedReplay r(false, true);
    ASSERT_NE(r.control, nullptr);
    QWidget* window = r.openAnalysis();
    ASSERT_NE(window, nullptr);
    auto* start = window->findChild<QTableView*>("lstStart");
    auto* legs = window->findChild<QTableView*>("lstLegs");
    auto* bias = window->findChild<QLabel*>("lblLineBias");
    auto* gap = window->findChild<GapGraph*>("graphGap");
    ASSERT_TRUE(start && legs && bias && gap);
    ASSERT_TRUE(QTest::qWaitFor([&] { return legs->model()->rowCount() > 0; }, 30000)) << "the analysis came";
    QTest::keyClick(window, Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(start->isVisible());
    EXPECT_EQ(start->model()->rowCount(), 3);
    EXPECT_TRUE(bias->text().startsWith("Start line: ")) << bias->text().toStdString();
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(std::isfinite(start->model()->index(row, 1).data(Qt::UserRole).toDouble())) << "metres to the line";

    QTest::keyClick(window, Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(legs->isVisible());
    std::map<QString, double> gapBefore;
    legs->sortByColumn(1, Qt::AscendingOrder); // each boat's legs in the order sailed
    legs->sortByColumn(0, Qt::AscendingOrder);
    for (int row = 0; row < legs->model()->rowCount(); ++row) {
        const QString boat = legs->model()->index(row, 0).data().toString();
        const QString kind = legs->model()->index(row, 3).data().toString();
        EXPECT_TRUE(kind == "upwind" || kind == "downwind" || kind == "reach") << kind.toStdString();
        const double gapAfter = legs->model()->index(row, 12).data(Qt::UserRole).toDouble();
        const double gained = legs->model()->index(row, 13).data(Qt::UserRole).toDouble();
        EXPECT_NEAR(gained, gapBefore[boat] - gapAfter, 1e-6) << boat.toStdString() << " row " << row;
        gapBefore[boat] = gapAfter;
    }
    EXPECT_EQ(gapBefore.size(), 3u) << "every boat's legs";

    auto* graphs = window->findChild<QTabWidget*>("tabsGraphs");
    QTest::keyClick(window, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(graphs->currentWidget(), gap);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gap->pointCount() > 0; }, 2000));
    const QRectF plot = gap->plotRect();
    const QPointF at(plot.left() + plot.width() * 0.8, plot.center().y());
    QMouseEvent move(QEvent::MouseMove, at, gap->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(gap->viewport(), &move);
    EXPECT_EQ(gap->readout().count(u'\n'), 3) << "the time and the three boats: " << gap->readout().toStdString();
}

// The instruments' wind is the race's, and the window says so; a direction typed is given,
// and Estimate goes back to the instruments'.
TEST(AnalysisWindow, ShowsWhereTheWindComesFrom)
{
    AnalysedReplay r(true);
    ASSERT_NE(r.control, nullptr);
    QWidget* window = r.openAnalysis();
    ASSERT_NE(window, nullptr);
    auto* table = window->findChild<QTableView*>("lstManoeuvres");
    auto* wind = window->findChild<QLineEdit*>("txtWind");
    auto* source = window->findChild<QLabel*>("lblWindSource");
    ASSERT_TRUE(table && wind && source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() > 0; }, 30000)) << "the analysis came";
    EXPECT_TRUE(source->text().startsWith("measured by the instruments of 1 boat (the estimate "))
        << source->text().toStdString();
    EXPECT_NEAR(wind->text().toDouble(), r.truth.WindFromDeg, 3) << wind->text().toStdString();
    AnalysedReplay::Type(wind, "90");
    QTest::keyClick(wind, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return source->text().startsWith("given; "); }, 5000))
        << source->text().toStdString();
    QTest::mouseClick(window->findChild<QPushButton*>("cmdEstimate"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return source->text().startsWith("measured by "); }, 5000))
        << source->text().toStdString();
}

// The work of a Start (the count of the steps, the analysis, the race's box) with every
// thread of the pool held by other work: the chart's bands are drawn on the window's thread,
// and closing the windows waits for none of the work and leaves nothing behind; the next
// Start counts, analyses and boxes the race afresh. An analysis cancelled at any moment is let
// go of: its result never comes, and the next run's is whole.
TEST(AnalysisWindow, ClosingWhileTheWorkRunsWaitsForNoneAndAnAnalysisCancelledIsLetGoOf)
{
    std::atomic<bool> release{false};
    std::vector<std::shared_ptr<JobOutcome<int>>> holders;
    for (int i = 0; i < WorkPool::Program().threads(); ++i)
        holders.push_back(StartJob<int>(
            [&release](const std::atomic<bool>&) {
                while (!release.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return 0;
            },
            kTimelinePriority + 1));
    AnalysedReplay r;
    ASSERT_NE(r.control, nullptr);
    EXPECT_TRUE(r.session().buildingTimeline());
    QTest::mouseClick(r.control->findChild<QPushButton*>("cmdAnalysis"), Qt::LeftButton);
    auto* status = r.main->findChild<QLabel*>("lblStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->text().startsWith("Finding every boat's tacks")) << status->text().toStdString();
    QElapsedTimer closing;
    closing.start();
    r.control->close();
    r.control = nullptr;
    QTest::qWait(20);
    EXPECT_LT(closing.elapsed(), 1000) << "closing waited for the work";
    EXPECT_EQ(r.main->findChild<QWidget*>("frmAnalysis"), nullptr);
    release = true;
    for (const auto& holder : holders)
        ASSERT_TRUE(QTest::qWaitFor([&] { return holder->ended(); }, 10000));
    QTest::qWait(50); // the cancelled work sees its flags
    EXPECT_TRUE(r.dialogs.told.empty()) << r.dialogs.told.front().toStdString();

    QTest::mouseClick(r.main->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    r.control = r.main->controlWindow();
    ASSERT_NE(r.control, nullptr);
    QTest::mouseClick(r.control->findChild<QPushButton*>("cmdAnalysis"), Qt::LeftButton);
    auto* table = r.main->findChild<QTableView*>("lstManoeuvres");
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return table->model()->rowCount() > 0; }, 30000)) << "the analysis came";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !r.session().buildingTimeline(); }, 30000)) << "the build ended";

    // Cancelled at once, a little later, later still: no result, no call; then a whole one.
    const std::vector<BoatSource> boats = BoatSources(r.session().state());
    const RaceAnalysis whole = AnalyseRace(boats);
    AnalysisRun run;
    int done = 0;
    for (const int afterMs : {0, 2, 10}) {
        run.start(boats, [&done] { ++done; });
        QTest::qWait(afterMs);
        if (!run.running())
            continue; // it ended first: nothing to cancel
        run.cancel();
        EXPECT_FALSE(run.running());
        EXPECT_EQ(run.result(), nullptr);
    }
    const int before = done;
    QTest::qWait(100);
    EXPECT_EQ(done, before) << "a cancelled run called back";
    run.start(boats, [&done] { ++done; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.running(); }, 30000));
    ASSERT_NE(run.result(), nullptr) << run.failure();
    ASSERT_EQ(run.result()->Boats.size(), whole.Boats.size());
    for (std::size_t k = 0; k < whole.Boats.size(); ++k)
        EXPECT_EQ(run.result()->Boats[k].Summary.Tacks, whole.Boats[k].Summary.Tacks) << k;
}

} // namespace
} // namespace tideplot::testing
