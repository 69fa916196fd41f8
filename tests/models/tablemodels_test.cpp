// The replay's tables as models, without a window: the control window's list of a large
// fleet, the leaderboard and the results, their texts, their boats' colours as numbers and
// what a view is told when they change.
#include "models/tablemodels.h"

#include "tabletext.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <utility>
#include <vector>

using namespace tideplot;
using namespace tideplot::testing;

namespace {

FleetBoat Boat(const std::string& caption, std::uint32_t windowColour)
{
    FleetBoat boat;
    boat.Caption = caption;
    boat.WindowColour = windowColour;
    return boat;
}

// Blue (0x00BBGGRR 0xFF8000: red 0, green 0x80, blue 0xFF), yellow and white.
FleetInfo Fleet()
{
    FleetInfo fleet;
    fleet.Boats = {Boat("Saga 1.05", 0xFF8000), Boat("Elsa 1.10", 0x00FFFF), Boat("Ulla 0.98", 0xFFFFFF)};
    return fleet;
}

// The rows and columns a model tells its views changed, each change as "first-last:column-column".
class Changes {
public:
    explicit Changes(QAbstractItemModel& model)
    {
        QObject::connect(&model, &QAbstractItemModel::dataChanged, [this](const QModelIndex& a, const QModelIndex& b) {
            told << QStringLiteral("%1-%2:%3-%4").arg(a.row()).arg(b.row()).arg(a.column()).arg(b.column());
        });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { told << QStringLiteral("reset"); });
        QObject::connect(&model, &QAbstractItemModel::headerDataChanged, [this] { told << QStringLiteral("header"); });
    }
    QStringList told;
};

FleetFrame Distances(std::vector<std::pair<bool, double>> boats)
{
    FleetFrame frame;
    for (const auto& [has, nm] : boats) {
        BoatStep step;
        step.HasDistance = has;
        step.DistanceNm = nm;
        frame.Boats.push_back(step);
    }
    return frame;
}

LeaderboardRow Standing(int boat, int rank, double toGo, bool hasGap = false, double gapNm = 0)
{
    LeaderboardRow row;
    row.Boat = boat;
    row.Rank = rank;
    row.DistanceNm = toGo;
    row.HasGap = hasGap;
    row.GapNm = gapNm;
    return row;
}

LeaderboardRow Finished(int boat, int rank, double corrected, bool hasGap = false, double ahead = 0)
{
    LeaderboardRow row = Standing(boat, rank, 0, hasGap);
    row.Finished = true;
    row.CorrectedSeconds = corrected;
    row.AheadSeconds = ahead;
    return row;
}

} // namespace

// A boat's cell: its colour as an RGB number and its text in white or black, whichever reads
// on it; no colour for another role.
TEST(TableModels, ABoatsCellIsItsColourWithTheTextThatReadsOnIt)
{
    const struct {
        std::uint32_t windowColour; // 0x00BBGGRR
        unsigned background;        // 0xRRGGBB
        unsigned text;
    } cases[] = {
        {0xFF8000, 0x0080FF, 0xFFFFFF}, {0x00FFFF, 0xFFFF00, 0x000000}, {0x000000, 0x000000, 0xFFFFFF},
        {0xFFFFFF, 0xFFFFFF, 0x000000}, {0x808080, 0x808080, 0x000000}, {0x7F7F7F, 0x7F7F7F, 0xFFFFFF},
    };
    for (const auto& c : cases) {
        const FleetBoat boat = Boat("b", c.windowColour);
        EXPECT_EQ(BoatCellColour(boat, BoatColourRole).toUInt(), c.background) << std::hex << c.windowColour;
        EXPECT_EQ(BoatCellColour(boat, BoatTextColourRole).toUInt(), c.text) << std::hex << c.windowColour;
        EXPECT_FALSE(BoatCellColour(boat, Qt::DisplayRole).isValid());
        EXPECT_FALSE(BoatCellColour(boat, Qt::BackgroundRole).isValid()) << "the brush is the window's";
    }
}

// The fleet's list: each boat's distance to the first boat in race file order, read out with
// the boat; once the race has a finish line, the boats in leaderboard order with where each
// stands, the heading saying so.
TEST(FleetTableModel, DistancesInRaceFileOrderThenStandingsInLeaderboardOrder)
{
    FleetTableModel model;
    model.setFleet(Fleet());
    EXPECT_EQ(Headings(model), (QStringList{"Boat", "Dist nm"}));
    EXPECT_EQ(Column(model, 0), (QStringList{"Saga 1.05", "Elsa 1.10", "Ulla 0.98"}));
    EXPECT_EQ(Column(model, 1, Qt::AccessibleTextRole),
              (QStringList{"Saga 1.05: no distance", "Elsa 1.10: no distance", "Ulla 0.98: no distance"}));

    model.showDistances(Distances({{false, 0}, {true, 0.2014}, {false, 0}}));
    EXPECT_EQ(Column(model, 1), (QStringList{"", "0.201", ""}));
    EXPECT_EQ(Column(model, 1, Qt::AccessibleTextRole),
              (QStringList{"Saga 1.05: no distance", "Elsa 1.10: 0.201 nm", "Ulla 0.98: no distance"}));
    EXPECT_EQ(Column(model, 0, BoatColourRole), (QStringList{"33023", "16776960", "16777215"}));
    EXPECT_FALSE(model.index(1, 1).data(BoatColourRole).isValid()) << "only the boat's cell is coloured";

    model.showStandings({Finished(1, 1, 5025), Standing(2, 2, 0.412, true, 0.12), Standing(0, 3, -1)});
    EXPECT_EQ(Headings(model), (QStringList{"Boat", "To finish"}));
    EXPECT_EQ(Column(model, 0), (QStringList{"1. Elsa 1.10", "2. Ulla 0.98", "3. Saga 1.05"}));
    EXPECT_EQ(Column(model, 1), (QStringList{"finished 1:23:45", "0.412 nm to go +0.120 nm", "not started"}));
    EXPECT_EQ(Column(model, 1, Qt::AccessibleTextRole),
              (QStringList{"1. Elsa 1.10: finished 1:23:45", "2. Ulla 0.98: 0.412 nm to go +0.120 nm",
                           "3. Saga 1.05: not started"}));
    EXPECT_EQ(Column(model, 0, BoatColourRole), (QStringList{"16776960", "16777215", "33023"})) << "with its boat";
}

// A view is told each step once, of the rows from the first to the last that changed, and of
// the boats' column only when a boat moved; the heading when the list turns to standings.
TEST(FleetTableModel, TellsItsViewOnceAStepOfTheRowsThatChanged)
{
    const struct {
        const char* what;
        FleetFrame frame;
        QStringList told;
    } steps[] = {
        {"first distances", Distances({{false, 0}, {true, 0.2}, {true, 0.3}}), {"1-2:1-1"}},
        {"the same", Distances({{false, 0}, {true, 0.2}, {true, 0.3}}), {}},
        {"one boat", Distances({{false, 0}, {true, 0.2}, {true, 0.4}}), {"2-2:1-1"}},
        {"both", Distances({{false, 0}, {true, 0.1}, {true, 0.5}}), {"1-2:1-1"}},
    };
    FleetTableModel model;
    model.setFleet(Fleet());
    Changes changes(model);
    for (const auto& step : steps) {
        changes.told.clear();
        model.showDistances(step.frame);
        EXPECT_EQ(changes.told, step.told) << step.what;
    }
    changes.told.clear();
    model.showStandings({Standing(0, 1, 2), Standing(1, 2, 2.5, true, 0.5), Standing(2, 3, 3, true, 1)});
    EXPECT_EQ(changes.told, (QStringList{"header", "0-2:0-1"})) << "the boats and the heading";
    changes.told.clear();
    model.showStandings({Standing(0, 1, 2), Standing(1, 2, 2.5, true, 0.5)});
    EXPECT_EQ(changes.told, (QStringList{"reset"})) << "a row fewer";
    EXPECT_EQ(model.rowCount(), 2);
}

// The leaderboard: position, boat (on its colour), where it stands, its gap; a row of a boat
// the fleet does not have shows nothing.
TEST(LeaderboardModel, ShowsEachBoatsPlaceStandingAndGap)
{
    LeaderboardModel model;
    model.show(
        {Finished(1, 1, 5025), Finished(0, 2, 5090, true, 5025), Standing(2, 3, 0.4, true, 0.12), Standing(7, 4, 1)},
        Fleet());
    EXPECT_EQ(Headings(model), (QStringList{"Pos", "Boat", "Status", "Gap"}));
    EXPECT_EQ(Column(model, 0), (QStringList{"1", "2", "3", ""}));
    EXPECT_EQ(Column(model, 1), (QStringList{"Elsa 1.10", "Saga 1.05", "Ulla 0.98", ""}));
    EXPECT_EQ(Column(model, 2), (QStringList{"finished 1:23:45", "finished 1:24:50", "0.400 nm to go", ""}));
    EXPECT_EQ(Column(model, 3), (QStringList{"", "+0:01:05", "+0.120 nm", ""}));
    EXPECT_EQ(Column(model, 1, BoatTextColourRole), (QStringList{"0", "16777215", "0", ""}));
    EXPECT_FALSE(model.index(0, 2).data(BoatColourRole).isValid());

    Changes changes(model);
    model.show({Finished(1, 1, 5025), Finished(0, 2, 5090, true, 5025), Standing(2, 3, 0.3), Standing(7, 4, 1)},
               Fleet());
    EXPECT_EQ(changes.told, (QStringList{"0-3:0-3"})) << "the same rows, told at once";
}

// The results: the CSV's columns, the third headed by the handicap system's rating.
TEST(ResultsModel, ShowsTheResultsColumnsUnderTheRatingsHeading)
{
    BoatResult saga;
    saga.Rank = 1;
    saga.Finished = true;
    saga.Status = RaceStatus::Finished;
    saga.Name = "Saga";
    saga.Boat = "Saga.txt";
    saga.Lys = 1.05;
    saga.ElapsedSeconds = 4000;
    saga.CorrectedSeconds = 4200;
    ResultsModel model;
    model.show({saga, BoatResult{}});
    EXPECT_EQ(Headings(model),
              (QStringList{"Rank", "Boat", "LYS", "Start", "Finish", "Elapsed", "Corrected", "File", "Status"}));
    EXPECT_EQ(model.rowCount(), 2);
    for (int column = 0; column < model.columnCount(); ++column)
        EXPECT_EQ(model.index(0, column).data().toString().toStdString(),
                  ResultTexts(saga)[static_cast<std::size_t>(column)])
            << column;
    EXPECT_EQ(model.index(0, 1).data().toString(), "Saga");
    EXPECT_FALSE(model.index(0, 1).data(BoatColourRole).isValid());
    model.setRatingHeading(QStringLiteral("Rating"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Rating");
    EXPECT_FALSE(model.index(2, 0).data().isValid()) << "no third row";
}
