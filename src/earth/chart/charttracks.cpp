#include "earth/chart/charttracks.h"

#include "core/error.h"
#include "core/geometry.h"
#include "earth/chart/chartview.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tideplot {

namespace {

bool SamePoint(const QPointF& a, const QPointF& b)
{
    return a.x() == b.x() && a.y() == b.y();
}

void Extend(ChartRun& run, const QPointF& p)
{
    if (run.Points.empty()) {
        run.Bounds = QRectF(p, QSizeF(0, 0));
    } else {
        const double left = std::min(run.Bounds.left(), p.x());
        const double top = std::min(run.Bounds.top(), p.y());
        const double right = std::max(run.Bounds.right(), p.x());
        const double bottom = std::max(run.Bounds.bottom(), p.y());
        run.Bounds = QRectF(left, top, right - left, bottom - top);
    }
    run.Points.push_back(p);
}

void CheckOnGlobe(const KmlLineString& line)
{
    for (const KmlCoordinate& c : line.Points) {
        if (std::abs(c.Lat) <= 90 && std::abs(c.Lon) <= 180)
            continue;
        throw Error(QStringLiteral("the chart cannot show the line \"%1\": its point %2,%3 lies off the globe "
                                   "(longitude -180 to 180, latitude -90 to 90)")
                        .arg(line.Name, KmlNumberText(c.Lon), KmlNumberText(c.Lat))
                        .toStdString());
    }
}

} // namespace

bool ChartReaches(const QRectF& bounds, const QRectF& clip)
{
    return bounds.left() <= clip.right() && bounds.right() >= clip.left() && bounds.top() <= clip.bottom() &&
           bounds.bottom() >= clip.top();
}

std::vector<double> ChartWorldShifts(const QRectF& clip)
{
    const double halfWorld = ProjectLatLon(0, 180).x();
    std::vector<double> shifts{0};
    if (clip.right() > halfWorld)
        shifts.push_back(2 * halfWorld);
    if (clip.left() < -halfWorld)
        shifts.push_back(-2 * halfWorld);
    return shifts;
}

QPen ChartLinePen(KmlColour colour, double width)
{
    const QColor c(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                   static_cast<int>((colour >> 16) & 0xff), static_cast<int>(colour >> 24));
    return QPen(c, std::min(width, kChartMaxPenWidth), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void ChartTracks::add(const std::vector<KmlLineString>& lines, std::vector<ChartSegment>* added)
{
    for (const KmlLineString& line : lines)
        CheckOnGlobe(line);
    for (const KmlLineString& line : lines) {
        std::vector<QPointF> points;
        points.reserve(line.Points.size());
        // Each piece the short way, as Google Earth draws it: a point more than 180 degrees
        // of longitude from the one before it is taken across the 180th meridian.
        double lonBefore = 0;
        for (const KmlCoordinate& c : line.Points) {
            const double lon = points.empty() ? c.Lon : UnwrapLongitude(c.Lon, lonBefore);
            points.push_back(ProjectLatLon(c.Lat, lon));
            lonBefore = lon;
        }
        addLine(line, std::move(points), added);
    }
}

void ChartTracks::addLine(const KmlLineString& line, std::vector<QPointF> points, std::vector<ChartSegment>* added)
{
    if (points.empty())
        return;
    auto it = trackByName_.constFind(line.Name);
    if (it == trackByName_.constEnd()) {
        it = trackByName_.insert(line.Name, tracks_.size());
        tracks_.push_back(ChartTrack{line.Name, line.Colour, points.front(), -1});
    }
    ChartTrack& track = tracks_[*it];
    track.Colour = line.Colour;
    track.Newest = points.front();
    maxWidth_ = std::max(maxWidth_, std::min(line.Width, kChartMaxPenWidth));
    if (points.size() < 2)
        return;
    segmentCount_ += points.size() - 1;
    if (added) {
        for (std::size_t i = 1; i < points.size(); ++i)
            added->push_back(ChartSegment{points[i], points[i - 1], line.Colour, line.Width});
    }
    append(track, line.Colour, line.Width, points);
}

// The newest point of a line is its first one (the replay writes each segment from the
// boat's new position back to its previous one), so runs keep points oldest first and
// a segment that ends where the open run ends continues it.
void ChartTracks::append(ChartTrack& track, KmlColour colour, double width, std::span<const QPointF> points)
{
    const std::size_t n = points.size();
    bool reversed = true;
    std::size_t skip = 0;
    if (track.OpenRun >= 0) {
        const ChartRun& open = runs_[static_cast<std::size_t>(track.OpenRun)];
        if (open.Colour == colour && open.Width == width) {
            if (SamePoint(open.Points.back(), points.back())) {
                skip = 1;
            } else if (SamePoint(open.Points.back(), points.front())) {
                skip = 1;
                reversed = false;
            }
        }
    }
    if (skip == 0) {
        runs_.push_back(ChartRun{colour, width, {}, {}});
        track.OpenRun = static_cast<std::ptrdiff_t>(runs_.size() - 1);
    }
    for (std::size_t i = skip; i < n; ++i) {
        const QPointF& p = reversed ? points[n - 1 - i] : points[i];
        ChartRun* run = &runs_[static_cast<std::size_t>(track.OpenRun)];
        if (run->Points.size() >= ChartRun::kMaxPoints) {
            const QPointF last = run->Points.back();
            runs_.push_back(ChartRun{colour, width, {}, {}});
            track.OpenRun = static_cast<std::ptrdiff_t>(runs_.size() - 1);
            run = &runs_.back();
            Extend(*run, last);
        }
        Extend(*run, p);
    }
}

void ChartTracks::draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx) const
{
    for (const double shift : ChartWorldShifts(clip))
        drawShifted(painter, QTransform::fromTranslate(shift, 0) * toScreen, clip.translated(-shift, 0), minStepPx);
}

void ChartTracks::drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx) const
{
    std::vector<QPointF> screen;
    screen.reserve(ChartRun::kMaxPoints);
    for (const ChartRun& run : runs_) {
        if (!ChartReaches(run.Bounds, clip))
            continue;
        screen.clear();
        QPointF last = toScreen.map(run.Points.front());
        screen.push_back(last);
        const std::size_t n = run.Points.size();
        for (std::size_t i = 1; i < n; ++i) {
            const QPointF q = toScreen.map(run.Points[i]);
            if (i + 1 == n || std::abs(q.x() - last.x()) + std::abs(q.y() - last.y()) >= minStepPx) {
                screen.push_back(q);
                last = q;
            }
        }
        painter.setPen(ChartLinePen(run.Colour, run.Width));
        painter.drawPolyline(screen.data(), static_cast<int>(screen.size()));
    }
}

void DrawChartSegments(QPainter& painter, const std::vector<ChartSegment>& segments, const QTransform& toScreen)
{
    const QRectF device(0, 0, painter.device()->width(), painter.device()->height());
    for (const double shift : ChartWorldShifts(toScreen.inverted().mapRect(device))) {
        const QTransform shifted = QTransform::fromTranslate(shift, 0) * toScreen;
        const ChartSegment* previous = nullptr;
        for (const ChartSegment& s : segments) {
            if (!previous || previous->Colour != s.Colour || previous->Width != s.Width)
                painter.setPen(ChartLinePen(s.Colour, s.Width));
            painter.drawLine(shifted.map(s.From), shifted.map(s.To));
            previous = &s;
        }
    }
}

} // namespace tideplot
