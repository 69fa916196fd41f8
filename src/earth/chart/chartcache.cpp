// The chart's cached picture (chartcache.h): drawn whole, drawn on as the replay goes on,
// drawn again where tiles arrive, and gone back to a snapshot of itself when the replay
// goes back.
#include "earth/chart/chartcache.h"

#include "core/workpool.h"
#include "earth/chart/chartmap.h"

#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace tideplot {

namespace {

// Below this many pieces a picture's tracks are drawn in one pass: threads cost more than
// they save.
constexpr long long kBandPieces = 20000;

// Calls `draw` with a painter on each of `bands` horizontal bands of `image` (rows of its
// pixels), on this thread and on the threads of the program's pool that are free (WorkPool,
// RunParts): the painter draws in the image's coordinates, clipped to its band, which `draw`
// also gets (in image coordinates), with the band's first row and the row after its last.
// The image's pixels are taken here, before any band starts: a band touches only its own
// rows of them, through an image of its own.
using BandDraw = std::function<void(QPainter&, const QRectF&, int top, int bottom)>;
void PaintInBands(QImage& image, int bands, const BandDraw& draw)
{
    const double dpr = image.devicePixelRatio();
    uchar* const bits = image.bits();
    const int rows = image.height();
    const int width = image.width();
    const qsizetype line = image.bytesPerLine();
    const QImage::Format format = image.format();
    RunParts(bands, bands, [&](int band) {
        const int top = rows * band / bands;
        const int bottom = rows * (band + 1) / bands;
        QImage part(bits + static_cast<qsizetype>(top) * line, width, bottom - top, line, format);
        part.setDevicePixelRatio(dpr);
        QPainter painter(&part);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(0, -top / dpr);
        draw(painter, QRectF(0, top / dpr, width / dpr, (bottom - top) / dpr), top, bottom);
    });
}

// Rows `top` to `bottom` (not included) of the pixels `from` copied onto the same rows of
// `to`, pixels of a picture of the same size and format, `line` bytes a row.
void CopyRows(const uchar* from, uchar* to, qsizetype line, int top, int bottom)
{
    std::memcpy(to + top * line, from + top * line, static_cast<std::size_t>((bottom - top) * line));
}

} // namespace

double ChartContent::maxWidth() const
{
    return std::max(Tracks.maxWidth(), Series.maxWidth());
}

void ChartCache::linesAdded()
{
    snapshots_.clear(); // they would lack the new lines
    if (pending_.size() > kMaxPendingSegments) {
        pending_ = {};
        layer_.Valid = false;
    }
}

void ChartCache::clearLines()
{
    pending_.clear();
    layer_.Valid = false;
}

void ChartCache::seriesSet()
{
    layerStep_ = 0;
    layer_.Valid = false;
}

void ChartCache::stepShown(const ChartContent& content, long long before, long long keptSteps)
{
    // The picture holds the pieces up to layerStep_: it takes the new ones at the next update
    // when the replay went on from there, goes back to a snapshot when the replay went back,
    // else it is drawn again.
    const long long shown = content.Series.shownStep();
    const bool wentOn = keptSteps == before && shown >= layerStep_;
    if (content.Tail.whole() && !wentOn) {
        if (shown < layerStep_ && !snapshots_.empty())
            layerAhead_ = true;
        else
            layer_.Valid = false;
    }
}

bool ChartCache::tileArrived(const TileKey& key)
{
    // A tile drawn on the picture at its zoom, or a coarser one that stands in for tiles not
    // there yet: that piece of the picture is drawn again at the next update.
    if (!layer_.Valid || layer_.MapZoom < 0 || key.Z > layer_.MapZoom || key.Z < layer_.MapZoom - kMapParentLevels)
        return false;
    const QRectF image(QPointF(0, 0), layer_.View.SizePx);
    const int n = TilesAcross(key.Z);
    for (int copy = -1; copy <= 1; ++copy) {
        const QRectF area =
            layer_.ProjectedToImage.mapRect(MapTileProjectedRect({key.Z, key.X + copy * n, key.Y})).intersected(image);
        if (!area.isEmpty())
            layer_.MapArrived |= area;
    }
    return !layer_.MapArrived.isEmpty();
}

void ChartCache::drawOnto(QPainter& painter, const QTransform& toScreen) const
{
    const QTransform imageToScreen = layer_.ProjectedToImage.inverted() * toScreen;
    if (imageToScreen.type() <= QTransform::TxTranslate) {
        painter.drawImage(QPointF(std::round(imageToScreen.dx()), std::round(imageToScreen.dy())), layer_.Image);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setTransform(imageToScreen, true);
    painter.drawImage(QPointF(0, 0), layer_.Image);
    painter.restore();
}

void ChartCache::update(const ChartContent& content, const ChartViewport& viewport, double pixelRatio)
{
    const QTransform toScreen = viewport.projectedToScreen();
    if (!serves(viewport, toScreen, pixelRatio)) {
        redraw(content, viewport, toScreen, pixelRatio);
        return;
    }
    // Back to the last snapshot before the step shown when the replay went back, or on to
    // it when it lies beyond the steps the picture holds.
    const bool back = layerAhead_;
    if (!goToSnapshot(content) && back) {
        redraw(content, viewport, toScreen, pixelRatio);
        return;
    }
    if (!pending_.empty()) {
        QPainter painter(&layer_.Image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        DrawChartSegments(painter, pending_, layer_.ProjectedToImage);
        pending_.clear();
    }
    const long long shown = content.Series.shownStep();
    if (content.Tail.whole() && layerStep_ < shown) {
        const QRectF image(QPointF(0, 0), layer_.Image.deviceIndependentSize());
        drawSteps(content, layer_.ProjectedToImage.inverted().mapRect(image), false, layerStep_ + 1, shown);
    }
    if (!layer_.MapArrived.isEmpty()) {
        redrawArea(content, layer_.MapArrived);
        layer_.MapArrived = {};
    }
}

void ChartCache::redrawArea(const ChartContent& content, const QRectF& area)
{
    // The piece drawn as the whole picture is: everything under the clip, tracks included.
    const QRect clip = area.toAlignedRect().adjusted(-1, -1, 1, 1);
    QPainter painter(&layer_.Image);
    painter.setClipRect(clip);
    DrawChartUnderlay(painter, layer_.View, layer_.Grid, {content.Map.get(), layer_.MapZoom, {}});
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double marginPx = content.maxWidth() + 2;
    const QRectF tracksArea =
        layer_.ProjectedToImage.inverted().mapRect(QRectF(clip).adjusted(-marginPx, -marginPx, marginPx, marginPx));
    const double minStepPx = 0.5 / layer_.Image.devicePixelRatio();
    content.Tracks.draw(painter, layer_.ProjectedToImage, tracksArea, minStepPx);
    if (content.Tail.whole())
        content.Series.draw(painter, layer_.ProjectedToImage, tracksArea, minStepPx, 1, layerStep_);
    ++mapAreaRedraws_;
    snapshots_.clear(); // they lack the tiles
}

bool ChartCache::serves(const ChartViewport& viewport, const QTransform& toScreen, double pixelRatio) const
{
    if (!layer_.Valid || layer_.HeadingDeg != viewport.HeadingDeg || layer_.Image.devicePixelRatio() != pixelRatio)
        return false;
    const double zoom = viewport.pixelsPerProjectedMetre() / layer_.PixelsPerProjectedMetre;
    if (zoom > kZoomDrift || zoom < 1 / kZoomDrift)
        return false;
    const QTransform screenToImage = toScreen.inverted() * layer_.ProjectedToImage;
    const QRectF shown = screenToImage.mapRect(QRectF(QPointF(0, 0), viewport.SizePx));
    return QRectF(QPointF(0, 0), layer_.Image.deviceIndependentSize()).contains(shown);
}

void ChartCache::redraw(const ChartContent& content, const ChartViewport& viewport, const QTransform& toScreen,
                        double pixelRatio)
{
    const double dpr = pixelRatio;
    const QSizeF layerSize = viewport.SizePx * (1 + 2 * kLayerMargin);
    const QSize pixels(static_cast<int>(std::ceil(layerSize.width() * dpr)),
                       static_cast<int>(std::ceil(layerSize.height() * dpr)));
    if (layer_.Image.size() != pixels)
        layer_.Image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    layer_.Image.setDevicePixelRatio(dpr);
    layer_.ProjectedToImage = toScreen * QTransform::fromTranslate(kLayerMargin * viewport.SizePx.width(),
                                                                   kLayerMargin * viewport.SizePx.height());
    layer_.PixelsPerProjectedMetre = viewport.pixelsPerProjectedMetre();
    layer_.HeadingDeg = viewport.HeadingDeg;
    layer_.Grid = GridStepsFor(viewport);

    // The same camera on the larger picture: the same pixels per metre about the same centre.
    const ChartViewport layerView{viewport.Focus, viewport.RangeMetres * layerSize.width() / viewport.SizePx.width(),
                                  viewport.HeadingDeg, layerSize};
    layer_.View = layerView;
    const ChartMap map = ChartMapFor(content.Map.get(), layerView);
    layer_.MapZoom = map.Zoom;
    if (map.LeftOut != mapLeftOutTold_) {
        mapLeftOutTold_ = map.LeftOut;
        if (!map.LeftOut.isEmpty() && onMapLeftOut_)
            onMapLeftOut_(map.LeftOut);
    }
    layer_.MapArrived = {};
    {
        QPainter painter(&layer_.Image);
        DrawChartUnderlay(painter, layerView, layer_.Grid, map);
    }
    pending_.clear();
    snapshots_.clear();
    snapshotSteps_ = 0;
    layerAhead_ = false;
    layerStep_ = 0;
    drawSteps(content, VisibleProjectedRect(layerView, content.maxWidth() + 2), true, 1, content.Series.shownStep());
    layer_.Valid = true;
    ++redraws_;
}

void ChartCache::drawSteps(const ChartContent& content, const QRectF& area, bool documents, long long first,
                           long long last)
{
    // The snapshots due on the way, each taken as the picture is drawn up to its step.
    const int boats = content.Series.series() ? content.Series.series()->boatCount() : 0;
    if (content.Tail.whole() && boats > 0 && snapshotSteps_ == 0)
        snapshotSteps_ = std::max<long long>(kSnapshotPieces / boats, 1);
    std::vector<Snapshot> due;
    for (const long long step : snapshotsDue(content, first, last)) {
        due.push_back(Snapshot{step, QImage(layer_.Image.size(), layer_.Image.format())});
        due.back().Image.setDevicePixelRatio(layer_.Image.devicePixelRatio());
    }
    drawTracks(content, area, documents, first, last, due);
    for (Snapshot& snapshot : due) {
        const auto at = std::lower_bound(snapshots_.begin(), snapshots_.end(), snapshot.Step,
                                         [](const Snapshot& s, long long step) { return s.Step < step; });
        snapshots_.insert(at, std::move(snapshot));
    }
    layerStep_ = last;
}

void ChartCache::setSnapshotBytes(std::size_t bytes)
{
    snapshotBytes_ = static_cast<qsizetype>(std::min<std::size_t>(bytes, std::numeric_limits<qsizetype>::max()));
    // Those beyond it go, the last first.
    qsizetype kept = 0;
    std::erase_if(snapshots_, [&kept, this](const Snapshot& s) {
        kept += s.Image.sizeInBytes();
        return kept > snapshotBytes_;
    });
}

std::vector<long long> ChartCache::snapshotsDue(const ChartContent& content, long long first, long long last)
{
    const qsizetype bytes = layer_.Image.sizeInBytes();
    const auto most = static_cast<std::size_t>(bytes > 0 ? snapshotBytes_ / bytes : 0);
    if (!content.Tail.whole() || snapshotSteps_ <= 0 || most == 0)
        return {};
    for (;;) {
        std::vector<long long> due;
        for (long long step = (first - 1) / snapshotSteps_ * snapshotSteps_ + snapshotSteps_; step < last;
             step += snapshotSteps_)
            due.push_back(step);
        if (snapshots_.size() + due.size() <= most)
            return due;
        // Too many: every other one goes, the rest twice as far apart.
        snapshotSteps_ *= 2;
        std::erase_if(snapshots_, [this](const Snapshot& s) { return s.Step % snapshotSteps_ != 0; });
    }
}

bool ChartCache::goToSnapshot(const ChartContent& content)
{
    const bool back = layerAhead_;
    layerAhead_ = false;
    if (!content.Tail.whole())
        return false;
    const long long shown = content.Series.shownStep();
    const auto after = std::upper_bound(snapshots_.begin(), snapshots_.end(), shown,
                                        [](long long step, const Snapshot& s) { return step < s.Step; });
    if (after == snapshots_.begin())
        return false;
    const Snapshot& snapshot = *std::prev(after);
    if ((!back && snapshot.Step <= layerStep_) || snapshot.Image.size() != layer_.Image.size() ||
        snapshot.Image.format() != layer_.Image.format())
        return false;
    std::memcpy(layer_.Image.bits(), snapshot.Image.constBits(),
                static_cast<std::size_t>(snapshot.Image.sizeInBytes()));
    layerStep_ = snapshot.Step;
    return true;
}

void ChartCache::drawTracks(const ChartContent& content, const QRectF& area, bool documents, long long first,
                            long long last, std::vector<Snapshot>& snapshots)
{
    const double minStepPx = 0.5 / layer_.Image.devicePixelRatio();
    const bool pieces = content.Tail.whole() && first <= last;
    // The pixels the bands copy from and into, taken before any band starts (taking a
    // picture's pixels to write copies them when the picture is shared: no work for the
    // bands; the picture's own are taken so, as PaintInBands takes them next).
    const uchar* const layerBits = layer_.Image.bits();
    const qsizetype line = layer_.Image.bytesPerLine();
    std::vector<uchar*> snapshotBits;
    for (Snapshot& snapshot : snapshots)
        snapshotBits.push_back(snapshot.Image.bits());
    // Up to each snapshot's step, its rows of the picture copied, then on to the next.
    const auto draw = [&](QPainter& painter, const QRectF& bandArea, int top, int bottom) {
        if (documents)
            content.Tracks.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx);
        long long from = first;
        for (std::size_t i = 0; i < snapshots.size(); ++i) {
            if (pieces)
                content.Series.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx, from, snapshots[i].Step);
            CopyRows(layerBits, snapshotBits[i], line, top, bottom);
            from = snapshots[i].Step + 1;
        }
        if (pieces)
            content.Series.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx, from, last);
    };
    const ChartSeries& series = content.Series;
    const long long count = (documents ? static_cast<long long>(content.Tracks.segmentCount()) : 0) +
                            (pieces && series.series() ? (last - first + 1) * series.series()->boatCount() : 0);
    const int bands = count < kBandPieces ? 1 : std::clamp(QThread::idealThreadCount(), 1, 8);
    if (bands == 1) {
        QPainter painter(&layer_.Image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        draw(painter, area, 0, layer_.Image.height());
        return;
    }
    // Each band draws what reaches into it: its part of the area, as wide as a line's pen
    // reaches beyond it. Each copies its own rows onto the snapshots: the bands never wait
    // for one another.
    const double marginPx = content.maxWidth() + 2;
    const QTransform imageToProjected = layer_.ProjectedToImage.inverted();
    PaintInBands(layer_.Image, bands, [&](QPainter& painter, const QRectF& band, int top, int bottom) {
        draw(painter, imageToProjected.mapRect(band.adjusted(-marginPx, -marginPx, marginPx, marginPx)) & area, top,
             bottom);
    });
}

} // namespace tideplot
