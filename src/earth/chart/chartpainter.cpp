#include "earth/chart/chartpainter.h"

#include "earth/chart/chartmap.h"
#include "earth/map/mapsource.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tideplot {

namespace {

const QColor kSea(0xa4, 0xc3, 0xd8);
const QColor kGridLine(0xd9, 0xe6, 0xef); // white at 60 % on the sea, opaque: five times faster to draw
const QColor kGridLineOnMap(0x18, 0x28, 0x38, 72);
const QColor kLabelBox(255, 255, 255, 205);
const QColor kInk(0x18, 0x28, 0x38);
constexpr double kMinLatSpacingPx = 70;
constexpr double kMinLonSpacingPx = 110;
constexpr long long kMaxGridLines = 400;
constexpr double kMarginPx = 10;
constexpr double kAttributionMarginPx = 2;

struct GridLine {
    QLineF Line; // on the screen, clipped to it
    QString Label;
    bool Latitude = false;
};

// Liang-Barsky clipping (Y.-D. Liang, B. A. Barsky, "A new concept and method for line
// clipping", ACM Transactions on Graphics 3(1), 1984).
bool ClipToRect(QLineF& line, const QRectF& rect)
{
    double t0 = 0, t1 = 1;
    const double p[4] = {-line.dx(), line.dx(), -line.dy(), line.dy()};
    const double q[4] = {line.x1() - rect.left(), rect.right() - line.x1(), line.y1() - rect.top(),
                         rect.bottom() - line.y1()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    line = QLineF(line.pointAt(t0), line.pointAt(t1));
    return true;
}

std::vector<GridLine> ComputeGrid(const ChartViewport& viewport, const ChartGridSteps& steps)
{
    const QTransform toScreen = viewport.projectedToScreen();
    const QRectF screen(QPointF(0, 0), viewport.SizePx);
    const QRectF area = VisibleProjectedRect(viewport, 0);
    const double latLow = UnprojectPoint({0, area.top()}).LatDeg;
    const double latHigh = UnprojectPoint({0, area.bottom()}).LatDeg;
    const double lonLow = std::max(UnprojectPoint({area.left(), 0}).LonDeg, -180.0);
    const double lonHigh = std::min(UnprojectPoint({area.right(), 0}).LonDeg, 180.0);
    const double latStep = steps.LatMinutes;
    const double lonStep = steps.LonMinutes;

    std::vector<GridLine> lines;
    auto add = [&](const QPointF& a, const QPointF& b, const QString& label, bool latitude) {
        QLineF line(toScreen.map(a), toScreen.map(b));
        if (ClipToRect(line, screen))
            lines.push_back({line, label, latitude});
    };
    const auto latFirst = static_cast<long long>(std::ceil(latLow * 60 / latStep));
    const auto latLast = static_cast<long long>(std::floor(latHigh * 60 / latStep));
    for (long long k = latFirst; k <= latLast && latLast - latFirst < kMaxGridLines; ++k) {
        const double lat = static_cast<double>(k) * latStep / 60;
        if (std::abs(lat) > 89.5)
            continue;
        const double y = ProjectLatLon(lat, 0).y();
        add({area.left(), y}, {area.right(), y}, FormatLatitude(lat, latStep), true);
    }
    const auto lonFirst = static_cast<long long>(std::ceil(lonLow * 60 / lonStep));
    const auto lonLast = static_cast<long long>(std::floor(lonHigh * 60 / lonStep));
    for (long long k = lonFirst; k <= lonLast && lonLast - lonFirst < kMaxGridLines; ++k) {
        const double lon = static_cast<double>(k) * lonStep / 60;
        const double x = ProjectLatLon(0, lon).x();
        add({x, area.top()}, {x, area.bottom()}, FormatLongitude(lon, lonStep), false);
    }
    return lines;
}

QRectF Inside(QRectF box, const QRectF& bounds)
{
    box.moveLeft(std::clamp(box.left(), bounds.left(), std::max(bounds.left(), bounds.right() - box.width())));
    box.moveTop(std::clamp(box.top(), bounds.top(), std::max(bounds.top(), bounds.bottom() - box.height())));
    return box;
}

void DrawLabel(QPainter& painter, const QRectF& box, const QString& text)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLabelBox);
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(kInk);
    painter.drawText(box, Qt::AlignCenter, text);
}

QRectF LabelBox(const QFontMetricsF& metrics, const QString& text)
{
    return QRectF(0, 0, metrics.horizontalAdvance(text) + 8, metrics.height() + 2);
}

struct ScaleBar {
    double LengthPx = 0;
    QString Text;
    QRectF Box;
};

ScaleBar MakeScaleBar(const ChartViewport& viewport, const QFontMetricsF& metrics)
{
    const double pxPerNm = kMetresPerNauticalMile / viewport.groundMetresPerPixel();
    const double maxPx = std::clamp(viewport.SizePx.width() / 4, 60.0, 240.0);
    const double nm = ScaleBarNauticalMiles(pxPerNm, maxPx);
    if (nm <= 0)
        return {};
    ScaleBar bar;
    bar.LengthPx = nm * pxPerNm;
    bar.Text = FormatNauticalMiles(nm);
    const double width = std::max(bar.LengthPx, metrics.horizontalAdvance(bar.Text)) + 16;
    const double height = metrics.height() + 18;
    bar.Box = QRectF(kMarginPx, viewport.SizePx.height() - kMarginPx - height, width, height);
    return bar;
}

void DrawScaleBar(QPainter& painter, const ScaleBar& bar)
{
    if (bar.LengthPx <= 0)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLabelBox);
    painter.drawRoundedRect(bar.Box, 3, 3);
    const double x0 = bar.Box.left() + 8;
    const double y = bar.Box.bottom() - 9;
    const double half = bar.LengthPx / 2;
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(kInk);
    painter.drawRect(QRectF(x0, y - 2, half, 4));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(x0 + half, y - 2, half, 4));
    painter.drawLine(QPointF(x0, y - 6), QPointF(x0, y + 2));
    painter.drawLine(QPointF(x0 + bar.LengthPx, y - 6), QPointF(x0 + bar.LengthPx, y + 2));
    painter.drawText(QRectF(bar.Box.left(), bar.Box.top() + 2, bar.Box.width(), y - 6 - bar.Box.top() - 2),
                     Qt::AlignCenter, bar.Text);
}

bool IsTurned(const ChartViewport& viewport)
{
    const double h = NormalizedHeading(viewport.HeadingDeg);
    return h > 1e-6 && h < 360 - 1e-6;
}

QRectF NorthArrowBox(const ChartViewport& viewport)
{
    constexpr double kSize = 64;
    return QRectF(viewport.SizePx.width() - kMarginPx - kSize, kMarginPx, kSize, kSize);
}

void DrawNorthArrow(QPainter& painter, const ChartViewport& viewport)
{
    const QRectF box = NorthArrowBox(viewport);
    const QPointF centre = box.center();
    const double h = viewport.HeadingDeg * std::numbers::pi / 180;
    const QPointF north(-std::sin(h), -std::cos(h)); // on the screen, y down
    const QPointF side(-north.y(), north.x());
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLabelBox);
    painter.drawEllipse(centre, box.width() / 2, box.height() / 2);
    constexpr double kNeedle = 18, kHalfWidth = 6;
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(QColor(0xd0, 0x20, 0x20));
    painter.drawPolygon(QPolygonF{centre + north * kNeedle, centre + side * kHalfWidth, centre - side * kHalfWidth});
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF{centre - north * kNeedle, centre + side * kHalfWidth, centre - side * kHalfWidth});
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QPointF letter = centre + north * (kNeedle + 8);
    painter.setPen(kInk);
    painter.drawText(QRectF(letter.x() - 8, letter.y() - 8, 16, 16), Qt::AlignCenter, QStringLiteral("N"));
}

void DrawGridLabels(QPainter& painter, const ChartViewport& viewport, const ChartGridSteps& steps,
                    std::vector<QRectF>& taken)
{
    const QFontMetricsF metrics(painter.font());
    const QRectF bounds = QRectF(QPointF(0, 0), viewport.SizePx).adjusted(2, 2, -2, -2);
    for (const GridLine& g : ComputeGrid(viewport, steps)) {
        // Latitudes are labelled at their left end, longitudes at their top end.
        const QPointF a = g.Line.p1(), b = g.Line.p2();
        QPointF end;
        if (g.Latitude)
            end = std::abs(a.x() - b.x()) > 0.5 ? (a.x() < b.x() ? a : b) : (a.y() > b.y() ? a : b);
        else
            end = std::abs(a.y() - b.y()) > 0.5 ? (a.y() < b.y() ? a : b) : (a.x() < b.x() ? a : b);
        QRectF box = LabelBox(metrics, g.Label);
        box.moveCenter(end);
        box = Inside(box, bounds);
        if (std::any_of(taken.begin(), taken.end(), [&](const QRectF& r) { return r.intersects(box); }))
            continue;
        taken.push_back(box);
        DrawLabel(painter, box, g.Label);
    }
}

QColor TrackColour(KmlColour colour)
{
    return ChartLinePen(colour, 1).color();
}

void DrawTrackNames(QPainter& painter, const ChartViewport& viewport, const std::vector<ChartTrack>& tracks,
                    std::vector<QRectF>& taken)
{
    const QTransform toScreen = viewport.projectedToScreen();
    const QRectF screen(QPointF(0, 0), viewport.SizePx);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    // Every boat's dot first, so that no dot covers a caption.
    for (const ChartTrack& track : tracks) {
        const QPointF at = toScreen.map(track.Newest);
        if (!screen.contains(at))
            continue;
        painter.setPen(QPen(kInk, 1.5));
        painter.setBrush(TrackColour(track.Colour | 0xff000000u));
        painter.drawEllipse(at, 4, 4);
        taken.push_back(QRectF(at - QPointF(4, 4), QSizeF(8, 8)));
    }
    std::vector<QPointF> points;
    std::vector<QSizeF> sizes;
    std::vector<const ChartTrack*> named;
    for (const ChartTrack& track : tracks) {
        const QPointF at = toScreen.map(track.Newest);
        if (!screen.contains(at) || track.Name.isEmpty())
            continue;
        points.push_back(at);
        sizes.push_back(LabelBox(metrics, track.Name).size());
        named.push_back(&track);
    }
    const std::vector<QRectF> places = PlaceCaptions(points, sizes, taken);
    for (std::size_t i = 0; i < places.size(); ++i)
        if (!places[i].isNull())
            DrawLabel(painter, places[i], named[i]->Name);
}

// The map's credit in the bottom right corner, cut short with "..." when the picture is
// too narrow for it; returns its box.
QRectF DrawAttribution(QPainter& painter, const ChartViewport& viewport, const QString& attribution)
{
    const QFontMetricsF metrics(painter.font());
    const double maxWidth = std::max(viewport.SizePx.width() - 2 * kAttributionMarginPx - 8, 20.0);
    const QString text = metrics.elidedText(attribution, Qt::ElideRight, maxWidth);
    QRectF box = LabelBox(metrics, text);
    box.moveBottomRight(QPointF(viewport.SizePx.width(), viewport.SizePx.height()) -
                        QPointF(kAttributionMarginPx, kAttributionMarginPx));
    DrawLabel(painter, box, text);
    return box;
}

} // namespace

std::vector<QRectF> PlaceCaptions(const std::vector<QPointF>& atPx, const std::vector<QSizeF>& sizes,
                                  std::vector<QRectF>& taken)
{
    std::vector<QRectF> places(atPx.size());
    for (std::size_t i = 0; i < atPx.size(); ++i) {
        const QRectF box(QPointF(0, 0), sizes[i]);
        const QPointF offsets[] = {
            {8, -8 - box.height()}, {8, 8}, {-8 - box.width(), -8 - box.height()}, {-8 - box.width(), 8}};
        for (int attempt = 0; attempt < 12 && places[i].isNull(); ++attempt) {
            const QPointF offset = offsets[attempt % 4] + QPointF(0, (attempt / 4) * (box.height() + 2) *
                                                                         (offsets[attempt % 4].y() < 0 ? -1 : 1));
            const QRectF candidate = box.translated(atPx[i] + offset);
            if (std::none_of(taken.begin(), taken.end(), [&](const QRectF& r) { return r.intersects(candidate); }))
                places[i] = candidate;
        }
        if (!places[i].isNull())
            taken.push_back(places[i]);
    }
    return places;
}

QRectF VisibleProjectedRect(const ChartViewport& viewport, double marginPx)
{
    const QRectF screen = QRectF(QPointF(0, 0), viewport.SizePx).adjusted(-marginPx, -marginPx, marginPx, marginPx);
    return viewport.projectedToScreen().inverted().mapRect(screen);
}

ChartGridSteps GridStepsFor(const ChartViewport& viewport)
{
    const double metresPerPx = viewport.groundMetresPerPixel();
    const double focusLat = UnprojectPoint(viewport.Focus).LatDeg;
    const double lonMetresPerMinute = kMetresPerNauticalMile * std::cos(focusLat * std::numbers::pi / 180);
    return {GridStepMinutes(kMetresPerNauticalMile / metresPerPx, kMinLatSpacingPx),
            GridStepMinutes(lonMetresPerMinute / metresPerPx, kMinLonSpacingPx)};
}

ChartMap ChartMapFor(const MapSource* map, const ChartViewport& viewport)
{
    if (!map)
        return {};
    const int best = MapZoomFor(viewport.pixelsPerProjectedMetre(), map->minZoom(), map->maxZoom());
    const int zoom =
        MapZoomFitting(viewport.projectedToScreen(), QRectF(QPointF(0, 0), viewport.SizePx), best, map->minZoom());
    if (zoom >= 0)
        return {map, zoom, {}};
    return {map, -1,
            QStringLiteral("The map is left out: this picture needs more than %1 of its tiles even at zoom %2, the "
                           "coarsest of %3 (zoom out, or make the picture smaller)")
                .arg(kMaxMapTilesPerPicture)
                .arg(std::max(map->minZoom(), 0))
                .arg(map->description())};
}

void DrawChartUnderlay(QPainter& painter, const ChartViewport& viewport, const ChartGridSteps& steps,
                       const ChartMap& map)
{
    const QRectF picture(QPointF(0, 0), viewport.SizePx);
    painter.fillRect(picture, kSea);
    if (map.Map && map.Zoom >= 0) {
        const QRectF area = painter.hasClipping() ? painter.clipBoundingRect().intersected(picture) : picture;
        DrawMapTiles(painter, *map.Map, map.Zoom, viewport.projectedToScreen(), area);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(map.Map ? kGridLineOnMap : kGridLine, 1));
    for (const GridLine& g : ComputeGrid(viewport, steps))
        painter.drawLine(g.Line);
}

void DrawChartOverlay(QPainter& painter, const ChartViewport& viewport, const std::vector<ChartTrack>& labels,
                      const ChartGridSteps& steps, const QString& attribution)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const ScaleBar bar = MakeScaleBar(viewport, metrics);
    const bool turned = IsTurned(viewport);
    std::vector<QRectF> taken;
    if (!attribution.isEmpty())
        taken.push_back(DrawAttribution(painter, viewport, attribution));
    if (bar.LengthPx > 0)
        taken.push_back(bar.Box);
    if (turned)
        taken.push_back(NorthArrowBox(viewport));
    DrawGridLabels(painter, viewport, steps, taken);
    DrawScaleBar(painter, bar);
    if (turned)
        DrawNorthArrow(painter, viewport);
    painter.setFont(font);
    DrawTrackNames(painter, viewport, labels, taken);
    painter.restore();
}

std::span<const ManoeuvreMark> ManoeuvreMarksShown(std::span<const ManoeuvreMark> marks, const ChartTail& tail)
{
    const auto byClock = [](const ManoeuvreMark& m, double clock) { return m.RaceClockDays < clock; };
    const auto byClockAfter = [](double clock, const ManoeuvreMark& m) { return clock < m.RaceClockDays; };
    const auto last = std::upper_bound(marks.begin(), marks.end(), tail.RaceClockDays, byClockAfter);
    auto first = marks.begin();
    if (!tail.whole())
        first = std::lower_bound(marks.begin(), last, tail.RaceClockDays - tail.Minutes / (24 * 60), byClock);
    return {first, last};
}

namespace {

constexpr double kMarkRadiusPx = 4.5;

// A tack's triangle or a gybe's diamond, `r` pixels from its middle, in the painter's pen.
void DrawManoeuvreSymbol(QPainter& painter, QPointF at, const ManoeuvreMark& mark, const ChartSeries& series, double r)
{
    painter.setBrush(TrackColour(series.colour(mark.Boat) | 0xff000000u));
    if (mark.Gybe)
        painter.drawPolygon(
            QPolygonF{at + QPointF(0, -r), at + QPointF(r, 0), at + QPointF(0, r), at + QPointF(-r, 0)});
    else
        painter.drawPolygon(
            QPolygonF{at + QPointF(0, -r), at + QPointF(r * 0.9, r * 0.6), at + QPointF(-r * 0.9, r * 0.6)});
}

} // namespace

std::size_t DrawManoeuvreMarks(QPainter& painter, const ChartViewport& viewport, std::span<const ManoeuvreMark> marks,
                               const ChartSeries& series, const ChartTail& tail)
{
    const std::span<const ManoeuvreMark> shown = ManoeuvreMarksShown(marks, tail);
    const QTransform toScreen = viewport.projectedToScreen();
    const QRectF screen =
        QRectF(QPointF(0, 0), viewport.SizePx).adjusted(-kMarkRadiusPx, -kMarkRadiusPx, kMarkRadiusPx, kMarkRadiusPx);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // A white rim: the boats' own dots, at their newest pieces, have a dark one.
    painter.setPen(QPen(Qt::white, 1.5));
    std::size_t drawn = 0;
    for (const ManoeuvreMark& mark : shown) {
        const QPointF at = toScreen.map(ProjectLatLon(mark.Lat, mark.Lon));
        if (!screen.contains(at))
            continue;
        DrawManoeuvreSymbol(painter, at, mark, series, kMarkRadiusPx * 1.2);
        ++drawn;
    }
    painter.restore();
    return drawn;
}

void DrawHighlightedManoeuvre(QPainter& painter, const ChartViewport& viewport, const ManoeuvreMark& mark,
                              const ChartSeries& series)
{
    const QPointF at = viewport.projectedToScreen().map(ProjectLatLon(mark.Lat, mark.Lon));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    // Black inside white: a ring that stands out on the sea, a map and the tracks alike.
    const double ring = kMarkRadiusPx * 3;
    painter.setPen(QPen(Qt::white, 4));
    painter.drawEllipse(at, ring, ring);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(at, ring, ring);
    painter.setPen(QPen(Qt::white, 1.5));
    DrawManoeuvreSymbol(painter, at, mark, series, kMarkRadiusPx * 1.8);
    painter.restore();
}

std::vector<ChartTrack> ChartLabels(const ChartTracks& tracks, const ChartSeries& series)
{
    std::vector<ChartTrack> labels = tracks.tracks();
    for (ChartTrack& label : series.labels())
        labels.push_back(std::move(label));
    return labels;
}

void DrawChart(QPainter& painter, const ChartViewport& viewport, const ChartTracks& tracks, const ChartSeries* series,
               const MapSource* map, const ChartTail& tail, const std::function<void(QPainter&)>& overTracks)
{
    const ChartGridSteps steps = GridStepsFor(viewport);
    DrawChartUnderlay(painter, viewport, steps, ChartMapFor(map, viewport));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double marginPx = std::max(tracks.maxWidth(), series ? series->maxWidth() : 1.0) + 2;
    const QTransform toScreen = viewport.projectedToScreen();
    const QRectF clip = VisibleProjectedRect(viewport, marginPx);
    tracks.draw(painter, toScreen, clip, 0.5);
    if (series) {
        if (tail.whole())
            series->draw(painter, toScreen, clip, 0.5);
        else
            series->drawTail(painter, toScreen, clip, tail, 0.5);
    }
    painter.restore();
    if (overTracks)
        overTracks(painter);
    const std::vector<ChartTrack> labels = series ? ChartLabels(tracks, *series) : tracks.tracks();
    DrawChartOverlay(painter, viewport, labels, steps, map ? map->attribution() : QString());
}

void DrawFinishLine(QPainter& painter, const ChartViewport& viewport, double lat1, double lon1, double lat2,
                    double lon2)
{
    DrawChequeredLine(painter, viewport, lat1, lon1, lat2, lon2, Qt::black);
}

void DrawChequeredLine(QPainter& painter, const ChartViewport& viewport, double lat1, double lon1, double lat2,
                       double lon2, const QColor& squares)
{
    const QTransform toScreen = viewport.projectedToScreen();
    const QPointF a = toScreen.map(ProjectLatLon(lat1, lon1));
    // The second end the short way across the 180-degree meridian from the first.
    double lon = lon2;
    while (lon - lon1 > 180)
        lon -= 360;
    while (lon - lon1 < -180)
        lon += 360;
    const QPointF b = toScreen.map(ProjectLatLon(lat2, lon));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    constexpr double kSquarePx = 6;
    painter.setPen(QPen(Qt::white, kSquarePx, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(a, b);
    QPen coloured(squares, kSquarePx, Qt::CustomDashLine, Qt::FlatCap);
    coloured.setDashPattern({1, 1}); // in pen widths: coloured squares between the white ones
    painter.setPen(coloured);
    painter.drawLine(a, b);
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(a, kSquarePx * 0.8, kSquarePx * 0.8);
    painter.restore();
}

} // namespace tideplot
