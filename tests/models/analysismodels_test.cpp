// The Analysis window's tables as models, without a window, over an analysis whose numbers
// are written here: each cell's text, the number it sorts by (a value not known below every
// other), the boats chosen, the manoeuvres before the start when asked for, and the boats'
// colours as numbers.
#include "models/analysismodels.h"
#include "models/tablemodels.h"

#include "tabletext.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cmath>
#include <limits>

using namespace tideplot;
using namespace tideplot::testing;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Manoeuvre Turned(ManoeuvreKind kind, double middle, double loss, bool beforeStart = false)
{
    Manoeuvre m;
    m.Kind = kind;
    m.MiddleSeconds = middle;
    m.LossMetres = loss;
    m.SpeedBeforeKn = 6.04;
    m.MinSpeedKn = 3.46;
    m.SpeedAfterKn = 5.95;
    m.DurationSeconds = 21.4;
    m.BeforeStart = beforeStart;
    return m;
}

LegAnalysis Leg(const char* from, const char* to, double seconds, double gap, int rank)
{
    LegAnalysis leg;
    leg.From = from;
    leg.To = to;
    leg.Kind = LegKind::Upwind;
    leg.EndSeconds = seconds;
    leg.DistanceNm = 1.234;
    leg.MeanSpeedKn = 5.5;
    leg.VmgKn = kNaN;
    leg.Tacks = 3;
    leg.GapSeconds = gap;
    leg.Rank = rank;
    return leg;
}

// Two boats, Saga (blue) and Elsa (yellow): Saga's two tacks, a gybe and a tack before its
// start; Elsa's one tack; Saga's start over the line; each boat's two legs.
struct Analysed {
    RaceAnalysis race;
    FleetInfo fleet;

    Analysed()
    {
        race.Wind.Known = true;
        BoatAnalysis saga;
        saga.Source.Caption = "Saga 1.05";
        saga.Source.Lys = 1.05;
        saga.Manoeuvres = {Turned(ManoeuvreKind::Tack, -70, 12.34, true), Turned(ManoeuvreKind::Tack, 125, 8.21),
                           Turned(ManoeuvreKind::Gybe, 600, 20.5), Turned(ManoeuvreKind::Tack, 900, kNaN)};
        saga.Summary = {9.876, 5.432, 2, 1, 10.275, 3661, 1800};
        saga.Start = StartReport{-3.25, 0.4, 5.1, kNaN, true, true};
        saga.Legs = {Leg("start", "W", 1200, 0, 1), Leg("W", "finish", 2500, 65, 2)};
        BoatAnalysis elsa;
        elsa.Source.Caption = "Elsa 1.10";
        elsa.Source.Lys = 1.1;
        elsa.Manoeuvres = {Turned(ManoeuvreKind::Tack, 300, 5)};
        elsa.Summary = {10.5, 5.8, 1, 0, kNaN, 60, 7200};
        elsa.Legs = {Leg("start", "W", 1250, 30, 2), Leg("W", "finish", 2400, 0, 1)};
        race.Boats = {saga, elsa};
        FleetBoat blue, yellow;
        blue.WindowColour = 0xFF8000;
        yellow.WindowColour = 0x00FFFF;
        fleet.Boats = {blue, yellow};
    }
};

} // namespace

// The manoeuvres of the boats chosen, those before a boat's start only when asked for; each
// cell's text and the number it sorts by.
TEST(ManoeuvresModel, ListsTheChosenBoatsManoeuvresWithTheNumbersTheySortBy)
{
    const Analysed a;
    ManoeuvresModel model;
    EXPECT_EQ(model.rowCount(), 0) << "no analysis, no rows";
    EXPECT_EQ(Headings(model),
              (QStringList{"Boat", "Kind", "Race time", "Loss m", "Least kn", "Before kn", "After kn", "Seconds"}));
    const struct {
        std::vector<bool> chosen;
        bool beforeStart;
        QStringList kinds; // the boat and kind of each row
    } cases[] = {
        {{}, false, {"Saga 1.05 tack", "Saga 1.05 gybe", "Saga 1.05 tack", "Elsa 1.10 tack"}},
        {{true, true},
         true,
         {"Saga 1.05 tack, before start", "Saga 1.05 tack", "Saga 1.05 gybe", "Saga 1.05 tack", "Elsa 1.10 tack"}},
        {{false, true}, true, {"Elsa 1.10 tack"}},
        {{true}, false, {"Saga 1.05 tack", "Saga 1.05 gybe", "Saga 1.05 tack", "Elsa 1.10 tack"}},
        {{false, false}, true, {}},
    };
    for (const auto& c : cases) {
        model.show(&a.race, a.fleet, c.chosen, c.beforeStart);
        QStringList kinds;
        for (int row = 0; row < model.rowCount(); ++row)
            kinds << Row(model, row)[0] + " " + Row(model, row)[1];
        EXPECT_EQ(kinds, c.kinds) << c.chosen.size() << c.beforeStart;
    }

    // The race time on the boat's corrected clock: 70 s before its start at LYS 1.05.
    model.show(&a.race, a.fleet, {}, true);
    EXPECT_EQ(Row(model, 0),
              (QStringList{"Saga 1.05", "tack, before start", "-00:01:14", "12.3", "3.5", "6.0", "6.0", "21"}));
    EXPECT_EQ(Row(model, 3), (QStringList{"Saga 1.05", "tack", "00:15:45", "", "3.5", "6.0", "6.0", "21"}))
        << "a loss not known: blank";
    const QStringList sorted = Row(model, 3, Qt::UserRole);
    EXPECT_EQ(sorted[0], "0") << "the boat";
    EXPECT_EQ(sorted[1], QString::number(static_cast<int>(ManoeuvreKind::Tack)));
    EXPECT_DOUBLE_EQ(model.index(3, 2).data(Qt::UserRole).toDouble(), RaceClockAt(a.race.Boats[0].Source, 900));
    EXPECT_EQ(model.index(3, 3).data(Qt::UserRole).toDouble(), -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(model.index(3, 4).data(Qt::UserRole).toDouble(), 3.46);
    int boat = -1;
    ASSERT_NE(model.manoeuvre(4, &boat), nullptr);
    EXPECT_EQ(boat, 1);
    EXPECT_EQ(model.manoeuvre(5), nullptr);
    EXPECT_EQ(model.index(4, 0).data(BoatColourRole).toUInt(), 0xFFFF00u);
    EXPECT_FALSE(model.index(4, 1).data(BoatColourRole).isValid());
}

// Each boat's totals as `analyse` prints them; those that need the wind "-" without it and
// below every value when sorted; the tacks and gybes those of the boat's race.
TEST(BoatTotalsModel, ShowsEachBoatsTotalsAndWhatNeedsTheWindOnlyWithIt)
{
    Analysed a;
    BoatTotalsModel model;
    model.show(&a.race, a.fleet);
    EXPECT_EQ(Headings(model), (QStringList{"Boat", "LYS", "Distance nm", "Mean kn", "Tacks", "Gybes", "Tack loss m",
                                            "Port", "Starboard"}));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Row(model, 0),
              (QStringList{"Saga 1.05", "1.05", "9.88", "5.43", "2", "1", "10.3", "1:01:01", "0:30:00"}));
    EXPECT_EQ(Row(model, 1), (QStringList{"Elsa 1.10", "1.1", "10.50", "5.80", "1", "0", "-", "0:01:00", "2:00:00"}));
    EXPECT_EQ(model.index(1, 6).data(Qt::UserRole).toDouble(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(model.index(0, 0).data(BoatColourRole).toUInt(), 0x0080FFu);

    a.race.Wind.Known = false;
    model.show(&a.race, a.fleet);
    EXPECT_EQ(Row(model, 0), (QStringList{"Saga 1.05", "1.05", "9.88", "5.43", "-", "-", "10.3", "-", "-"}));
    EXPECT_EQ(model.index(0, 4).data(Qt::UserRole).toDouble(), -std::numeric_limits<double>::infinity());
}

// Two boats side by side: the difference is the first's less the second's, with its sign;
// no rows until both boats are chosen.
TEST(BoatComparisonModel, TheDifferenceIsTheFirstsLessTheSeconds)
{
    const Analysed a;
    BoatComparisonModel model;
    model.show(&a.race, a.fleet, 0, -1);
    EXPECT_EQ(model.rowCount(), 0);
    model.show(&a.race, a.fleet, 0, 1);
    EXPECT_EQ(Headings(model), (QStringList{"", "Saga 1.05", "Elsa 1.10", "Difference"}));
    const QStringList rows[] = {
        {"LYS", "1.05", "1.1", "-0.05"},
        {"Distance nm", "9.88", "10.50", "-0.62"},
        {"Mean kn", "5.43", "5.80", "-0.37"},
        {"Tacks", "2", "1", "+1"},
        {"Gybes", "1", "0", "+1"},
        {"Tack loss m", "10.3", "-", "-"},
        {"Port", "1:01:01", "0:01:00", "+1:00:01"},
        {"Starboard", "0:30:00", "2:00:00", "-1:30:00"},
    };
    ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(rows)));
    for (int row = 0; row < model.rowCount(); ++row)
        EXPECT_EQ(Row(model, row), rows[row]) << row;
}

// Each boat's start, for those with one: metres to the line (negative over it), where along,
// its speed, the seconds late ("-" not known), OCS and whether it came back.
TEST(StartModel, ShowsTheBoatsWithAStart)
{
    const Analysed a;
    StartModel model;
    model.show(&a.race, a.fleet);
    EXPECT_EQ(Headings(model), (QStringList{"Boat", "Line m", "Along", "Speed kn", "Late s", "OCS", "Returned"}));
    ASSERT_EQ(model.rowCount(), 1) << "Elsa has no start";
    EXPECT_EQ(Row(model, 0), (QStringList{"Saga 1.05", "-3.3", "0.40", "5.1", "-", "yes", "yes"}));
    EXPECT_DOUBLE_EQ(model.index(0, 1).data(Qt::UserRole).toDouble(), -3.25);
    EXPECT_EQ(model.index(0, 4).data(Qt::UserRole).toDouble(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(model.index(0, 5).data(Qt::UserRole).toDouble(), 1.0);
}

// The chosen boats' legs; the seconds gained over a leg are the gap at its start less the gap
// at its end, the first leg starting level.
TEST(LegsModel, TheSecondsGainedAreTheGapBeforeLessTheGapAfter)
{
    const Analysed a;
    LegsModel model;
    model.show(&a.race, a.fleet, {true, true});
    EXPECT_EQ(Headings(model), (QStringList{"Boat", "Leg", "Lap", "Kind", "Time", "Distance nm", "Mean kn", "VMG kn",
                                            "Tacks", "Gybes", "Loss m", "Rank", "Gap", "Gained"}));
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(Row(model, 0), (QStringList{"Saga 1.05", "start - W", "1", "upwind", "0:20:00", "1.23", "5.50", "-", "3",
                                          "0", "-", "1", "0:00:00", "0:00:00"}));
    const struct {
        int row;
        const char* gained;
        double seconds;
    } gained[] = {{1, "-0:01:05", -65}, {2, "-0:00:30", -30}, {3, "+0:00:30", 30}};
    for (const auto& g : gained) {
        EXPECT_EQ(model.index(g.row, 13).data().toString(), g.gained) << g.row;
        EXPECT_DOUBLE_EQ(model.index(g.row, 13).data(Qt::UserRole).toDouble(), g.seconds) << g.row;
    }
    model.show(&a.race, a.fleet, {false, true});
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(0, 0).data().toString(), "Elsa 1.10");
}
