#include "earth/chart/chartseries.h"

#include "core/colour.h"
#include "core/geometry.h"
#include "earth/chart/chartview.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tideplot {

namespace {

constexpr int kTailAlphaLevels = 24;
constexpr double kMinutesPerDay = 24 * 60;
// Race clocks a hundredth of a second apart are the same moment.
constexpr double kClockToleranceDays = 0.01 / 86400;
constexpr double kRadiansPerDegree = std::numbers::pi / 180;

/* The Mercator y of latitudes near a reference latitude p0, from its Taylor series:
 *   y(p0 + d) = y(p0) + R sec(p0) d + R sec(p0) tan(p0) d^2 / 2 + O(d^3)
 * (the derivatives of y = R ln tan(pi/4 + p/2): y' = R sec p, y'' = R sec p tan p; Snyder,
 * Map Projections: A Working Manual, eqs. 7-2 and 7-3). Within kNearDeg of p0 at latitudes
 * below kMaxLatDeg the third-order term stays under a centimetre; farther off the exact
 * projection is used. The pieces of a block of steps lie well within it, and a replay
 * redraw projects millions of them. */
class NearbyMercator {
public:
    static constexpr double kNearDeg = 0.05;
    static constexpr double kMaxLatDeg = 80;

    explicit NearbyMercator(double latDeg) : latDeg_(latDeg)
    {
        const double p = latDeg * kRadiansPerDegree;
        y0_ = ProjectLatLon(latDeg, 0).y();
        const double sec = 1 / std::cos(p);
        first_ = kChartEarthRadiusMetres * sec * kRadiansPerDegree;
        second_ = kChartEarthRadiusMetres * sec * std::tan(p) * kRadiansPerDegree * kRadiansPerDegree / 2;
        usable_ = std::abs(latDeg) < kMaxLatDeg;
    }
    double y(double latDeg) const
    {
        const double d = latDeg - latDeg_;
        if (usable_ && std::abs(d) < kNearDeg)
            return y0_ + d * (first_ + d * second_);
        return ProjectLatLon(latDeg, 0).y();
    }

private:
    double latDeg_;
    double y0_ = 0, first_ = 0, second_ = 0;
    bool usable_ = false;
};

double ProjectedX(double lonDeg)
{
    return kChartEarthRadiusMetres * lonDeg * kRadiansPerDegree;
}

// A transform without perspective (the chart's projected metres to pixels), applied as
// QTransform::map applies it, without a call and a switch on its type per point: a redraw
// maps millions of them.
class AffineMap {
public:
    explicit AffineMap(const QTransform& t)
        : m11_(t.m11()), m12_(t.m12()), m21_(t.m21()), m22_(t.m22()), dx_(t.dx()), dy_(t.dy()), t_(t),
          affine_(t.type() != QTransform::TxProject)
    {
    }
    QPointF operator()(double x, double y) const
    {
        if (!affine_)
            return t_.map(QPointF(x, y));
        return QPointF(m11_ * x + m21_ * y + dx_, m12_ * x + m22_ * y + dy_);
    }

private:
    double m11_, m12_, m21_, m22_, dx_, dy_;
    const QTransform& t_;
    bool affine_;
};

// A polyline of one boat gathered in screen pixels: the newest point stands in for those
// since the last one kept until it lies `minStepPx` from it, so a line ends at its newest
// point and leaves out no more than a fraction of a pixel.
class Polyline {
public:
    explicit Polyline(double minStepPx) : minStep_(minStepPx) { points_.reserve(256); }
    bool open() const { return !points_.empty(); }
    void start(const QPointF& from, const QPointF& to) { points_.assign({from, to}); }
    void add(const QPointF& p)
    {
        const std::size_t n = points_.size();
        const QPointF kept = points_[n - 2], newest = points_[n - 1];
        if (std::abs(newest.x() - kept.x()) + std::abs(newest.y() - kept.y()) < minStep_)
            points_.back() = p;
        else
            points_.push_back(p);
    }
    void flush(QPainter& painter)
    {
        if (points_.size() >= 2)
            painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        points_.clear();
    }

private:
    std::vector<QPointF> points_;
    double minStep_;
};

} // namespace

void ChartSeries::setFleet(const std::vector<FleetBoat>& boats)
{
    styles_.clear();
    for (const FleetBoat& boat : boats) {
        // The colour of the boat's KML documents: opaque, then its blue, green and red.
        Style style{QString::fromLocal8Bit(boat.Caption), 0xffffffff};
        ParseKmlColour(QStringLiteral("ff") + QString::fromLatin1(ColourHex(boat.Colour)), style.Colour);
        styles_.push_back(std::move(style));
    }
}

void ChartSeries::setSeries(const ReplaySeries* series)
{
    series_ = series;
    shown_ = 0;
    buildIndex();
}

void ChartSeries::buildIndex()
{
    blocks_.clear();
    newest_.clear();
    maxWidth_ = 1;
    if (!series_)
        return;
    const int boats = series_->boatCount();
    const long long steps = series_->stepCount();
    for (long long s = 1; s <= steps; ++s)
        maxWidth_ = std::max(maxWidth_, std::min<double>(series_->lineWidth(s), kChartMaxPenWidth));
    blocks_.assign(static_cast<std::size_t>(boats),
                   std::vector<Block>(static_cast<std::size_t>((steps + kBlockSteps - 1) / kBlockSteps)));
    newest_.assign(static_cast<std::size_t>(boats), 0);
    for (int k = 0; k < boats; ++k) {
        std::vector<Block>& blocks = blocks_[static_cast<std::size_t>(k)];
        for (long long s = 2; s <= steps; ++s) {
            const SeriesSample& to = series_->sample(k, s);
            if (!to.drawn())
                continue;
            const SeriesSample& from = series_->sample(k, s - 1);
            Block& b = blocks[static_cast<std::size_t>((s - 1) / kBlockSteps)];
            b.Drawn = true;
            const double fromLon = UnwrapLongitude(from.Lon, to.Lon);
            b.Degrees.SouthLat = std::min({b.Degrees.SouthLat, from.Lat, to.Lat});
            b.Degrees.NorthLat = std::max({b.Degrees.NorthLat, from.Lat, to.Lat});
            b.Degrees.WestLon = std::min({b.Degrees.WestLon, fromLon, to.Lon});
            b.Degrees.EastLon = std::max({b.Degrees.EastLon, fromLon, to.Lon});
        }
        for (Block& b : blocks) {
            if (!b.Drawn)
                continue;
            const QPointF southWest = ProjectLatLon(b.Degrees.SouthLat, b.Degrees.WestLon);
            const QPointF northEast = ProjectLatLon(b.Degrees.NorthLat, b.Degrees.EastLon);
            b.Projected = QRectF(southWest, northEast).normalized();
        }
    }
}

double ChartSeries::raceClock() const
{
    return series_ && shown_ > 0 ? series_->raceClock(shown_) : kRaceClockAtStart;
}

const ChartSeries::Block* ChartSeries::block(int boat, long long step) const
{
    return &blocks_[static_cast<std::size_t>(boat)][static_cast<std::size_t>((step - 1) / kBlockSteps)];
}

long long ChartSeries::newestDrawn(int boat, long long step, long long floor) const
{
    for (long long s = step; s >= std::max(floor, 2LL);) {
        if (!block(boat, s)->Drawn) {
            s = (s - 1) / kBlockSteps * kBlockSteps; // the last step of the block before
            continue;
        }
        if (series_->sample(boat, s).drawn())
            return s;
        --s;
    }
    return 0;
}

void ChartSeries::setShownStep(long long step)
{
    step = series_ ? std::clamp(step, 0LL, series_->stepCount()) : 0;
    if (step == shown_)
        return;
    for (int k = 0; k < static_cast<int>(newest_.size()); ++k) {
        long long& newest = newest_[static_cast<std::size_t>(k)];
        if (step > shown_) {
            if (const long long found = newestDrawn(k, step, shown_ + 1))
                newest = found;
        } else {
            newest = newestDrawn(k, step, 1);
        }
    }
    shown_ = step;
}

void ChartSeries::draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                       long long first, long long last) const
{
    if (!series_)
        return;
    first = std::max(first, 2LL); // the first step has no piece: nothing was drawn before it
    last = std::min(last, shown_);
    if (first > last)
        return;
    for (const double shift : ChartWorldShifts(clip))
        drawShifted(painter, QTransform::fromTranslate(shift, 0) * toScreen, clip.translated(-shift, 0), minStepPx,
                    first, last);
}

void ChartSeries::drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                              long long first, long long last) const
{
    const AffineMap screen(toScreen);
    Polyline line(minStepPx);
    for (int k = 0; k < series_->boatCount() && k < static_cast<int>(styles_.size()); ++k) {
        const KmlColour colour = styles_[static_cast<std::size_t>(k)].Colour;
        std::int16_t width = -1;
        double endLon = 0; // of the open line's last piece
        const auto flush = [&] {
            if (line.open()) {
                painter.setPen(ChartLinePen(colour, width));
                line.flush(painter);
            }
        };
        for (long long blockFirst = (first - 1) / kBlockSteps * kBlockSteps + 1; blockFirst <= last;
             blockFirst += kBlockSteps) {
            const Block& b = *block(k, blockFirst);
            if (!b.Drawn || !ChartReaches(b.Projected, clip)) {
                flush();
                continue;
            }
            const NearbyMercator mercator((b.Degrees.SouthLat + b.Degrees.NorthLat) / 2);
            const long long end = std::min(last, blockFirst + kBlockSteps - 1);
            for (long long s = std::max(first, blockFirst); s <= end; ++s) {
                const SeriesSample& to = series_->sample(k, s);
                if (!to.drawn()) {
                    flush();
                    continue;
                }
                const std::int16_t pieceWidth = series_->lineWidth(s);
                const QPointF toPx = screen(ProjectedX(to.Lon), mercator.y(to.Lat));
                const SeriesSample& from = series_->sample(k, s - 1);
                // The piece the short way, as its document is read: its start taken across the
                // 180th meridian when it lies more than 180 degrees of longitude from its end.
                const double fromLon = UnwrapLongitude(from.Lon, to.Lon);
                if (line.open() && pieceWidth == width && fromLon == endLon) {
                    line.add(toPx);
                } else {
                    flush();
                    width = pieceWidth;
                    line.start(screen(ProjectedX(fromLon), mercator.y(from.Lat)), toPx);
                }
                endLon = to.Lon;
            }
        }
        flush();
    }
}

double ChartTailAlpha(double ageDays, double tailDays)
{
    if (!(tailDays > 0))
        return 1;
    return std::clamp(1 - (1 - kChartTailOldestAlpha) * ageDays / tailDays, kChartTailOldestAlpha, 1.0);
}

void ChartSeries::drawTail(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                           double minStepPx) const
{
    if (tail.whole() || !series_ || shown_ < 2)
        return;
    // The first step of the tail: the first whose clock is within its minutes.
    const double from = tail.RaceClockDays - tail.Minutes / kMinutesPerDay - kClockToleranceDays;
    long long low = 1, high = shown_;
    while (low < high) {
        const long long middle = low + (high - low) / 2;
        if (series_->raceClock(middle) < from)
            low = middle + 1;
        else
            high = middle;
    }
    for (const double shift : ChartWorldShifts(clip))
        drawTailShifted(painter, QTransform::fromTranslate(shift, 0) * toScreen, clip.translated(-shift, 0), tail,
                        std::max(low, 2LL), minStepPx);
}

// The pieces of a boat that follow on one another with one width and one step of
// opacity are drawn as one polyline: a tail of thousands of pieces is a few hundred
// polylines, whose overlaps are not darkened as those of single lines would be.
void ChartSeries::drawTailShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip,
                                  const ChartTail& tail, long long first, double minStepPx) const
{
    const double tailDays = tail.Minutes / kMinutesPerDay;
    Polyline line(minStepPx);
    for (int k = 0; k < series_->boatCount() && k < static_cast<int>(styles_.size()); ++k) {
        const KmlColour colour = styles_[static_cast<std::size_t>(k)].Colour;
        int level = -1;
        std::int16_t width = -1;
        double endLon = 0;
        const auto flush = [&] {
            if (!line.open())
                return;
            const double alpha = std::round((colour >> 24) * static_cast<double>(level) / kTailAlphaLevels);
            painter.setPen(ChartLinePen((colour & 0x00ffffffu) | (static_cast<KmlColour>(alpha) << 24), width));
            line.flush(painter);
        };
        for (long long s = first; s <= shown_; ++s) {
            const Block& b = *block(k, s);
            if (!b.Drawn || !ChartReaches(b.Projected, clip)) {
                flush();
                s = ((s - 1) / kBlockSteps + 1) * kBlockSteps; // on to the next block
                continue;
            }
            const SeriesSample& to = series_->sample(k, s);
            if (!to.drawn()) {
                flush();
                continue;
            }
            const int pieceLevel = static_cast<int>(
                std::lround(ChartTailAlpha(tail.RaceClockDays - series_->raceClock(s), tailDays) * kTailAlphaLevels));
            const std::int16_t pieceWidth = series_->lineWidth(s);
            const QPointF toPx = toScreen.map(ProjectLatLon(to.Lat, to.Lon));
            const SeriesSample& from = series_->sample(k, s - 1);
            const double fromLon = UnwrapLongitude(from.Lon, to.Lon);
            if (line.open() && pieceLevel == level && pieceWidth == width && fromLon == endLon) {
                line.add(toPx);
            } else {
                flush();
                level = pieceLevel;
                width = pieceWidth;
                line.start(toScreen.map(ProjectLatLon(from.Lat, fromLon)), toPx);
            }
            endLon = to.Lon;
        }
        flush();
    }
}

std::vector<ChartTrack> ChartSeries::labels() const
{
    // The first boat first, then the others by their distance to it, those without one last:
    // where captions crowd, those nearest the front are the ones shown.
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t k = 0; k < newest_.size() && k < styles_.size(); ++k) {
        if (newest_[k] == 0)
            continue;
        const SeriesSample& now = series_->sample(static_cast<int>(k), shown_);
        const double rank = k == 0 ? -1 : now.hasDistance() ? now.DistanceNm : std::numeric_limits<double>::infinity();
        order.emplace_back(rank, k);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ChartTrack> labels;
    for (const auto& [rank, k] : order) {
        const SeriesSample& at = series_->sample(static_cast<int>(k), newest_[k]);
        labels.push_back(ChartTrack{styles_[k].Caption, styles_[k].Colour, ProjectLatLon(at.Lat, at.Lon), -1});
    }
    return labels;
}

FixBox ChartSeries::drawnBox() const
{
    FixBox box;
    if (!series_)
        return box;
    for (int k = 0; k < series_->boatCount(); ++k) {
        const long long whole = shown_ / kBlockSteps * kBlockSteps; // blocks wholly up to the shown step
        for (long long s = 1; s <= whole; s += kBlockSteps)
            box.add(block(k, s)->Degrees);
        for (long long s = std::max(whole + 1, 2LL); s <= shown_; ++s) {
            if (!series_->sample(k, s).drawn())
                continue;
            const SeriesSample& from = series_->sample(k, s - 1);
            const SeriesSample& to = series_->sample(k, s);
            box.add(from.Lat, from.Lon);
            box.add(to.Lat, to.Lon);
        }
    }
    return box;
}

} // namespace tideplot
