// The chart window's cached picture of the sea, the map, the grid and the tracks (see
// ChartWidget::TrackLayer): drawn whole, drawn on as the replay goes on, drawn again where
// tiles arrive, and gone back to a snapshot of itself when the replay goes back.
#include "earth/chart/chartwidget.h"

#include "earth/chart/chartmap.h"

#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <system_error>
#include <vector>

namespace tideplot {

namespace {

// Below this many pieces a picture's tracks are drawn in one pass: threads cost more than
// they save.
constexpr long long kBandPieces = 20000;

// Calls `draw` with a painter on each of `bands` horizontal bands of `image` (rows of its
// pixels), each on a thread of its own but the first, drawn on this one: the painter draws
// in the image's coordinates, clipped to its band, which `draw` also gets (in image
// coordinates). Bands for which the system has no thread are drawn here too.
void PaintInBands(QImage& image, int bands, const std::function<void(QPainter&, const QRectF&)>& draw)
{
    const double dpr = image.devicePixelRatio();
    uchar* const bits = image.bits();
    const int rows = image.height();
    const auto paint = [&](int top, int bottom) {
        QImage part(bits + static_cast<qsizetype>(top) * image.bytesPerLine(), image.width(), bottom - top,
                    image.bytesPerLine(), image.format());
        part.setDevicePixelRatio(dpr);
        QPainter painter(&part);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(0, -top / dpr);
        draw(painter, QRectF(0, top / dpr, image.width() / dpr, (bottom - top) / dpr));
    };
    const auto row = [&](int band) { return rows * band / bands; };
    std::vector<std::future<void>> others;
    int threaded = 1; // bands 1 up to this one are drawn on threads
    try {
        for (; threaded < bands; ++threaded)
            others.push_back(std::async(std::launch::async, paint, row(threaded), row(threaded + 1)));
    } catch (const std::system_error&) {
        if (threaded < bands)
            paint(row(threaded), rows);
    }
    paint(0, row(1));
    for (std::future<void>& band : others)
        band.get();
}

} // namespace

void ChartWidget::updateTrackLayer(const ChartViewport& viewport, const QTransform& toScreen)
{
    if (!trackLayerServes(viewport, toScreen)) {
        redrawTrackLayer(viewport, toScreen);
        return;
    }
    // Back to the last snapshot before the step shown when the replay went back, or on to
    // it when it lies beyond the steps the picture holds.
    const bool back = layerAhead_;
    if (!goToSnapshot() && back) {
        redrawTrackLayer(viewport, toScreen);
        return;
    }
    if (!pending_.empty()) {
        QPainter painter(&layer_.Image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        DrawChartSegments(painter, pending_, layer_.ProjectedToImage);
        pending_.clear();
    }
    if (tail_.whole() && layerStep_ < series_.shownStep()) {
        const QRectF image(QPointF(0, 0), layer_.Image.deviceIndependentSize());
        drawLayerSteps(layer_.ProjectedToImage.inverted().mapRect(image), false, layerStep_ + 1, series_.shownStep());
    }
    if (!layer_.MapArrived.isEmpty()) {
        redrawLayerArea(layer_.MapArrived);
        layer_.MapArrived = {};
    }
}

void ChartWidget::redrawLayerArea(const QRectF& area)
{
    // The piece drawn as the whole picture is: everything under the clip, tracks included.
    const QRect clip = area.toAlignedRect().adjusted(-1, -1, 1, 1);
    QPainter painter(&layer_.Image);
    painter.setClipRect(clip);
    DrawChartUnderlay(painter, layer_.View, layer_.Grid, {map_.get(), layer_.MapZoom, {}});
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double marginPx = maxWidth() + 2;
    const QRectF tracksArea =
        layer_.ProjectedToImage.inverted().mapRect(QRectF(clip).adjusted(-marginPx, -marginPx, marginPx, marginPx));
    const double minStepPx = 0.5 / layer_.Image.devicePixelRatio();
    tracks_.draw(painter, layer_.ProjectedToImage, tracksArea, minStepPx);
    if (tail_.whole())
        series_.draw(painter, layer_.ProjectedToImage, tracksArea, minStepPx, 1, layerStep_);
    ++mapAreaRedraws_;
    snapshots_.clear(); // they lack the tiles
}

bool ChartWidget::trackLayerServes(const ChartViewport& viewport, const QTransform& toScreen) const
{
    if (!layer_.Valid || layer_.HeadingDeg != viewport.HeadingDeg ||
        layer_.Image.devicePixelRatio() != devicePixelRatioF())
        return false;
    const double zoom = viewport.pixelsPerProjectedMetre() / layer_.PixelsPerProjectedMetre;
    if (zoom > kZoomDrift || zoom < 1 / kZoomDrift)
        return false;
    const QTransform screenToImage = toScreen.inverted() * layer_.ProjectedToImage;
    const QRectF shown = screenToImage.mapRect(QRectF(QPointF(0, 0), viewport.SizePx));
    return QRectF(QPointF(0, 0), layer_.Image.deviceIndependentSize()).contains(shown);
}

void ChartWidget::redrawTrackLayer(const ChartViewport& viewport, const QTransform& toScreen)
{
    const double dpr = devicePixelRatioF();
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
    const ChartMap map = ChartMapFor(map_.get(), layerView);
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
    drawLayerSteps(VisibleProjectedRect(layerView, maxWidth() + 2), true, 1, series_.shownStep());
    layer_.Valid = true;
    ++trackLayerRedraws_;
}

void ChartWidget::drawLayerSteps(const QRectF& area, bool documents, long long first, long long last)
{
    // Up to each step due for a snapshot on the way, the snapshot, then on.
    const int boats = series_.series() ? series_.series()->boatCount() : 0;
    if (tail_.whole() && boats > 0 && snapshotSteps_ == 0)
        snapshotSteps_ = std::max<long long>(kSnapshotPieces / boats, 1);
    while (tail_.whole() && snapshotSteps_ > 0) {
        const long long due = (first - 1) / snapshotSteps_ * snapshotSteps_ + snapshotSteps_;
        if (due >= last)
            break;
        drawLayerTracks(area, documents, first, due);
        documents = false;
        first = due + 1;
        layerStep_ = due;
        keepSnapshot();
    }
    drawLayerTracks(area, documents, first, last);
    layerStep_ = last;
}

void ChartWidget::keepSnapshot()
{
    const qsizetype bytes = layer_.Image.sizeInBytes();
    const auto most = static_cast<std::size_t>(bytes > 0 ? kSnapshotBytes / bytes : 0);
    if (most == 0)
        return;
    const auto at = std::lower_bound(snapshots_.begin(), snapshots_.end(), layerStep_,
                                     [](const LayerSnapshot& s, long long step) { return s.Step < step; });
    if (at != snapshots_.end() && at->Step == layerStep_)
        return;
    snapshots_.insert(at, LayerSnapshot{layerStep_, layer_.Image.copy()});
    if (snapshots_.size() <= most)
        return;
    // Too many: every other one goes, the rest twice as far apart.
    snapshotSteps_ *= 2;
    std::erase_if(snapshots_, [this](const LayerSnapshot& s) { return s.Step % snapshotSteps_ != 0; });
}

bool ChartWidget::goToSnapshot()
{
    const bool back = layerAhead_;
    layerAhead_ = false;
    if (!tail_.whole())
        return false;
    const long long shown = series_.shownStep();
    const auto after = std::upper_bound(snapshots_.begin(), snapshots_.end(), shown,
                                        [](long long step, const LayerSnapshot& s) { return step < s.Step; });
    if (after == snapshots_.begin())
        return false;
    const LayerSnapshot& snapshot = *std::prev(after);
    if ((!back && snapshot.Step <= layerStep_) || snapshot.Image.size() != layer_.Image.size() ||
        snapshot.Image.format() != layer_.Image.format())
        return false;
    std::memcpy(layer_.Image.bits(), snapshot.Image.constBits(),
                static_cast<std::size_t>(snapshot.Image.sizeInBytes()));
    layerStep_ = snapshot.Step;
    return true;
}

void ChartWidget::drawLayerTracks(const QRectF& area, bool documents, long long first, long long last)
{
    const double minStepPx = 0.5 / layer_.Image.devicePixelRatio();
    const bool pieces = tail_.whole() && first <= last;
    const auto draw = [&](QPainter& painter, const QRectF& bandArea) {
        if (documents)
            tracks_.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx);
        if (pieces)
            series_.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx, first, last);
    };
    const long long count = (documents ? static_cast<long long>(tracks_.segmentCount()) : 0) +
                            (pieces && series_.series() ? (last - first + 1) * series_.series()->boatCount() : 0);
    const int bands = count < kBandPieces ? 1 : std::clamp(QThread::idealThreadCount(), 1, 8);
    if (bands == 1) {
        QPainter painter(&layer_.Image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        draw(painter, area);
        return;
    }
    // Each band draws what reaches into it: its part of the area, as wide as a line's pen
    // reaches beyond it.
    const double marginPx = maxWidth() + 2;
    const QTransform imageToProjected = layer_.ProjectedToImage.inverted();
    PaintInBands(layer_.Image, bands, [&](QPainter& painter, const QRectF& band) {
        draw(painter, imageToProjected.mapRect(band.adjusted(-marginPx, -marginPx, marginPx, marginPx)) & area);
    });
}

} // namespace tideplot
