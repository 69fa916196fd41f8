// The chart drawing the replay's pieces from its series: as the documents draw them, a seek
// as play, in bands as in one pass, back to a snapshot, and the tail fading.
#include "chartfixture.h"

namespace tideplot {
namespace {

// ---- The replay's pieces, read from its series ----

// A chart of the test's size and camera.
struct Chart {
    Chart()
    {
        app.widget()->resize(kWidth, kHeight);
        app.SetCamera({.FocusPointLatitude = 57.503, .FocusPointLongitude = 11.75, .Range = 4000}, 10);
    }
    QImage window() { return app.widget()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage picture() const { return app.renderImage(QSize(kWidth, kHeight)).convertToFormat(QImage::Format_RGB32); }
    ChartApplication app;
};

const std::tuple<const char*, int> kBoats[] = {{"Elsa.txt 1", 0}, {"Saga.txt 1.05", 400}, {"A&B.txt 0.95", 900}};

std::vector<FleetBoat> Fleet()
{
    std::vector<FleetBoat> boats;
    for (const auto& [caption, colourNumber] : kBoats) {
        FleetBoat boat;
        boat.Caption = caption;
        boat.Colour = colourNumber;
        boats.push_back(boat);
    }
    return boats;
}

// A step of the series: where each boat is shown, and whether the piece to there from
// where it was at the step before is drawn.
struct SeriesStep {
    double Clock = 0;
    std::int16_t Width = 1;
    std::vector<std::pair<TrackPoint, bool>> Boats;
};

ReplaySeries SeriesOf(const std::vector<SeriesStep>& steps)
{
    ReplaySeries series;
    series.clear(static_cast<int>(steps.front().Boats.size()));
    for (const SeriesStep& step : steps) {
        StepOutcome outcome;
        outcome.RaceClock = step.Clock;
        outcome.LineWidth = step.Width;
        for (const auto& [at, drawn] : step.Boats) {
            BoatStep boat;
            boat.Moved = boat.HasPosition = true;
            boat.Position = at;
            boat.Drawn = drawn;
            outcome.Boats.push_back(boat);
        }
        series.append(outcome);
    }
    return series;
}

// One replay step a second of three boats sailing east, weaving, wide every 50th step;
// the second boat's log has a gap (steps 120 to 130 draw nothing of it). The points are
// those their document text reads back as.
std::vector<SeriesStep> RaceSteps(int steps)
{
    auto rounded = [](double v) { return QString::number(v, 'f', 7).toDouble(); };
    std::vector<SeriesStep> race;
    for (int step = 1; step <= steps; ++step) {
        SeriesStep& s = race.emplace_back();
        s.Clock = step / 86400.0;
        s.Width = step % 50 ? 1 : 5;
        for (int boat = 0; boat < static_cast<int>(std::size(kBoats)); ++boat)
            s.Boats.push_back({TrackPoint{rounded(57.5 + 0.003 * boat + 0.0003 * std::sin(step / 9.0 + boat)),
                                          rounded(11.735 + 0.0001 * step * (1 + 0.1 * boat)), 0},
                               step > 1 && !(boat == 1 && step >= 120 && step <= 130)});
    }
    return race;
}

// Played step by step from the series or as the documents the replay loads, the window
// painted every tenth step: the same picture drawn afresh, to the pixel.
TEST(ChartSeries, PlayedFromTheSeriesDrawsThePictureOfTheDocuments)
{
    Chart fromSeries, documents;
    const ReplaySeries series = SeriesOf(RaceSteps(300)); // longer than a run of 256 points
    fromSeries.app.setFleet(Fleet());
    fromSeries.app.setSeries(&series);
    for (long long s = 1; s <= series.stepCount(); ++s) {
        fromSeries.app.showStep(s, s - 1);
        for (int k = 0; k < series.boatCount(); ++k) {
            if (!series.sample(k, s).drawn())
                continue;
            const DrawnPiece p = series.piece(k, s);
            const auto& [caption, colourNumber] = kBoats[p.Boat];
            documents.app.LoadKmlData(TrackSegmentDocument(caption, p.From, p.To, colourNumber, p.Width));
        }
        if (s % 10 == 0) {
            fromSeries.window();
            documents.window();
        }
    }
    EXPECT_EQ(DifferingPixels(fromSeries.picture(), documents.picture()), 0);
    // The window drew each step's pieces onto its cached picture as they came: the same
    // within the joints of lines drawn a few at a time.
    EXPECT_LT(DifferingPixels(fromSeries.window(), fromSeries.picture(), 90), kWidth * kHeight / 1000);
    const FixBox box = fromSeries.app.drawnBox();
    EXPECT_DOUBLE_EQ(box.WestLon, series.sample(0, 1).Lon);
    EXPECT_DOUBLE_EQ(box.EastLon, series.sample(2, 300).Lon);
}

// A seek after playing (a step shown again from nothing), a fresh chart shown the step at
// once, and one that played only up to there show the same: to the pixel after a seek,
// within the joints of lines drawn one at a time when played; with the whole track and
// with a tail.
TEST(ChartSeries, SeekEqualsPlay)
{
    const ReplaySeries series = SeriesOf(RaceSteps(300));
    const long long shown = 180;
    for (const double tailMinutes : {0.0, 1.0}) {
        SCOPED_TRACE(testing::Message() << "tail " << tailMinutes << " min");
        Chart sought, fresh, played;
        for (Chart* c : {&sought, &fresh, &played}) {
            c->app.setFleet(Fleet());
            c->app.setSeries(&series);
            c->app.setTailMinutes(tailMinutes);
        }
        for (long long s = 1; s <= series.stepCount(); ++s) {
            sought.app.showStep(s, s - 1);
            if (s <= shown)
                played.app.showStep(s, s - 1);
            if (s % 10 == 0) {
                sought.window();
                played.window();
            }
        }
        sought.app.showStep(shown, 0);
        fresh.app.showStep(shown, 0);
        EXPECT_EQ(DifferingPixels(sought.window(), fresh.window()), 0);
        EXPECT_EQ(DifferingPixels(sought.picture(), fresh.picture()), 0);
        EXPECT_LT(DifferingPixels(played.window(), fresh.window(), 90), kWidth * kHeight / 1000);
        EXPECT_EQ(DifferingPixels(played.picture(), fresh.picture()), 0);
    }
}

// A race of many pieces (36,000 here) has its cached picture drawn in bands of rows, one
// thread each: the window shows every band, each piece where the picture drawn in one pass
// has it (a line that crosses from one band into the next may differ by a few levels in a
// pixel or two), after a seek back as after playing on.
TEST(ChartSeries, ManyPiecesAreDrawnInBandsAsInOnePass)
{
    const ReplaySeries series = SeriesOf(RaceSteps(12000));
    Chart chart;
    chart.app.setFleet(Fleet());
    chart.app.setSeries(&series);
    chart.app.SetCamera({.FocusPointLatitude = 57.503, .FocusPointLongitude = 11.95, .Range = 40000}, 10);
    for (const auto& [step, kept] : {std::pair{12000LL, 0LL}, {6000LL, 0LL}, {11000LL, 6000LL}}) {
        chart.app.showStep(step, kept);
        const QImage window = chart.window(), picture = chart.picture();
        EXPECT_EQ(DifferingPixels(window, picture, 8), 0) << "step " << step << " after step " << kept;
        EXPECT_GT(DifferingPixels(picture, Chart().picture(), 90), kWidth * kHeight / 50) << "pieces drawn";
    }
}

// A seek back in a long race (420,000 pieces) goes back to the snapshot of the cached
// picture taken on the way and draws on from there: the window as after drawing the race up
// to that step from nothing, to the pixel, without drawing it whole. Before the first
// snapshot, or with no memory for snapshots, the picture is drawn whole.
TEST(ChartSeries, ASeekBackGoesBackToASnapshotOfThePicture)
{
    const ReplaySeries series = SeriesOf(RaceSteps(140000));
    const auto chart = [&series] {
        auto c = std::make_unique<Chart>();
        c->app.setFleet(Fleet());
        c->app.setSeries(&series);
        c->app.SetCamera({.FocusPointLatitude = 57.503, .FocusPointLongitude = 26.5, .Range = 200000}, 10);
        return c;
    };
    const std::unique_ptr<Chart> sought = chart();
    sought->app.showStep(140000, 0);
    sought->window();
    const int redraws = sought->app.widget()->trackLayerRedraws();
    sought->app.showStep(135000, 0);
    const std::unique_ptr<Chart> fresh = chart();
    fresh->app.showStep(135000, 0);
    EXPECT_EQ(DifferingPixels(sought->window(), fresh->window()), 0);
    EXPECT_EQ(sought->app.widget()->trackLayerRedraws(), redraws) << "gone back to a snapshot";
    EXPECT_GT(DifferingPixels(fresh->window(), chart()->window(), 90), kWidth * kHeight / 100) << "pieces drawn";

    sought->app.showStep(1000, 0);
    const std::unique_ptr<Chart> early = chart();
    early->app.showStep(1000, 0);
    EXPECT_EQ(DifferingPixels(sought->window(), early->window()), 0);
    EXPECT_EQ(sought->app.widget()->trackLayerRedraws(), redraws + 1) << "drawn whole";

    // Without memory for them (the replay's budget given to its timeline) none is kept.
    sought->app.setPictureMemory(0);
    sought->app.showStep(140000, 0);
    sought->window();
    const int before = sought->app.widget()->trackLayerRedraws();
    sought->app.showStep(135000, 0);
    const std::unique_ptr<Chart> without = chart();
    without->app.setPictureMemory(0);
    without->app.showStep(135000, 0);
    EXPECT_EQ(DifferingPixels(sought->window(), without->window()), 0);
    EXPECT_EQ(sought->app.widget()->trackLayerRedraws(), before + 1) << "drawn whole";
}

// With a tail of 10 minutes a piece 20 minutes old is not drawn, one a minute old is, and
// one 8 minutes old is fainter; the boat's dot stands at its newest piece up to the step
// shown; another step moves the tail. A line loaded as a document is drawn whole. A tail
// that is no number of minutes is refused.
TEST_F(ChartViewTest, TheTailDrawsTheLastMinutesFading)
{
    const double now = 0.5, minute = 1.0 / 24 / 60;
    const QColor kDotRing(0x18, 0x28, 0x38);
    const double ages[] = {20, 8, 1}; // minutes, oldest first
    auto lat = [](int i) { return 57.5 + 0.001 * i; };
    const double west = 11.746, east = 11.754;
    auto at = [](double la, double lo) { return std::vector<std::pair<TrackPoint, bool>>{{{la, lo, 0}, false}}; };
    auto drawnAt = [](double la, double lo) { return std::vector<std::pair<TrackPoint, bool>>{{{la, lo, 0}, true}}; };
    // Each piece from the west to the east at its latitude, a step of no piece before it.
    const ReplaySeries series = SeriesOf({
        {now - 21 * minute, 5, at(lat(0), west)},
        {now - ages[0] * minute, 5, drawnAt(lat(0), east)},
        {now - 12 * minute, 5, at(lat(1), west)}, // step 3
        {now - ages[1] * minute, 5, drawnAt(lat(1), east)},
        {now - 1.5 * minute, 5, at(lat(2), west)},
        {now - ages[2] * minute, 5, drawnAt(lat(2), east)},
        {now, 5, at(lat(2), east)},               // step 7
        {now + 15 * minute, 5, at(lat(2), east)}, // step 8
    });
    FleetBoat red;
    red.Colour = 0; // red, no caption
    chart.setFleet({red});
    chart.setSeries(&series);
    line("Course", "ff00ff00", 5, east, 57.503, west, 57.503);
    frame(57.5015, 11.75, 2000);

    // How far a pixel has gone from the sea towards a colour: 0 the sea, 1 the colour.
    auto strength = [](const QImage& image, const QPointF& p, const QColor& colour) {
        const QColor sea(image.pixel(5, kHeight / 2));
        return 1 - static_cast<double>(Distance(image.pixel(p.toPoint()), colour)) / Distance(sea.rgb(), colour);
    };
    struct Case {
        long long step;
        double tailMinutes;
        std::array<double, 3> drawn; // the strength of each piece: 0 not drawn, 1 opaque
        int dotAt;                   // the piece at whose east end the boat's dot stands
    };
    const Case cases[] = {
        {7, 10, {0, 0.33, 1}, 2},
        {3, 10, {0.33, 0, 0}, 0}, // the step before two of the pieces
        {8, 10, {0, 0, 0}, 2},
        {8, 0, {1, 1, 1}, 2},
    };
    for (const Case& c : cases) {
        chart.showStep(c.step, 0);
        chart.setTailMinutes(c.tailMinutes);
        for (const QImage& image : {window(), picture()}) {
            SCOPED_TRACE(testing::Message() << "step " << c.step << ", tail " << c.tailMinutes);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(strength(image, onScreen(lat(i), 11.75), Qt::red), c.drawn[i], 0.1) << ages[i] << " min";
            EXPECT_GT(strength(image, onScreen(57.503, 11.75), Qt::green), 0.9) << "the document's line";
            for (int i = 0; i < 3; ++i) // the dot's dark ring, beyond the line's end
                EXPECT_EQ(HasColourNear(image, onScreen(lat(i), east) + QPointF(4, 0), kDotRing, 1), i == c.dotAt)
                    << "dot at " << ages[i] << " min";
        }
    }
    for (const double minutes : {-1.0, std::nan("")})
        EXPECT_THROW(chart.setTailMinutes(minutes), Error) << minutes;
}

} // namespace
} // namespace tideplot
