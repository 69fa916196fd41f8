// The chart window's cached picture of the sea, the map, the grid and the tracks (see
// ChartWidget::TrackLayer): drawn whole, drawn on as the replay goes on, drawn again where
// tiles arrive, and gone back to a snapshot of itself when the replay goes back.
#include "earth/chart/chartwidget.h"

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
    // The snapshots due on the way, each taken as the picture is drawn up to its step.
    const int boats = series_.series() ? series_.series()->boatCount() : 0;
    if (tail_.whole() && boats > 0 && snapshotSteps_ == 0)
        snapshotSteps_ = std::max<long long>(kSnapshotPieces / boats, 1);
    std::vector<LayerSnapshot> due;
    for (const long long step : snapshotsDue(first, last)) {
        due.push_back(LayerSnapshot{step, QImage(layer_.Image.size(), layer_.Image.format())});
        due.back().Image.setDevicePixelRatio(layer_.Image.devicePixelRatio());
    }
    drawLayerTracks(area, documents, first, last, due);
    for (LayerSnapshot& snapshot : due) {
        const auto at = std::lower_bound(snapshots_.begin(), snapshots_.end(), snapshot.Step,
                                         [](const LayerSnapshot& s, long long step) { return s.Step < step; });
        snapshots_.insert(at, std::move(snapshot));
    }
    layerStep_ = last;
}

void ChartWidget::setSnapshotBytes(std::size_t bytes)
{
    snapshotBytes_ = static_cast<qsizetype>(std::min<std::size_t>(bytes, std::numeric_limits<qsizetype>::max()));
    // Those beyond it go, the last first.
    qsizetype kept = 0;
    std::erase_if(snapshots_, [&kept, this](const LayerSnapshot& s) {
        kept += s.Image.sizeInBytes();
        return kept > snapshotBytes_;
    });
}

std::vector<long long> ChartWidget::snapshotsDue(long long first, long long last)
{
    const qsizetype bytes = layer_.Image.sizeInBytes();
    const auto most = static_cast<std::size_t>(bytes > 0 ? snapshotBytes_ / bytes : 0);
    if (!tail_.whole() || snapshotSteps_ <= 0 || most == 0)
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
        std::erase_if(snapshots_, [this](const LayerSnapshot& s) { return s.Step % snapshotSteps_ != 0; });
    }
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

void ChartWidget::drawLayerTracks(const QRectF& area, bool documents, long long first, long long last,
                                  std::vector<LayerSnapshot>& snapshots)
{
    const double minStepPx = 0.5 / layer_.Image.devicePixelRatio();
    const bool pieces = tail_.whole() && first <= last;
    // The pixels the bands copy from and into, taken before any band starts (taking a
    // picture's pixels to write copies them when the picture is shared: no work for the
    // bands; the picture's own are taken so, as PaintInBands takes them next).
    const uchar* const layerBits = layer_.Image.bits();
    const qsizetype line = layer_.Image.bytesPerLine();
    std::vector<uchar*> snapshotBits;
    for (LayerSnapshot& snapshot : snapshots)
        snapshotBits.push_back(snapshot.Image.bits());
    // Up to each snapshot's step, its rows of the picture copied, then on to the next.
    const auto draw = [&](QPainter& painter, const QRectF& bandArea, int top, int bottom) {
        if (documents)
            tracks_.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx);
        long long from = first;
        for (std::size_t i = 0; i < snapshots.size(); ++i) {
            if (pieces)
                series_.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx, from, snapshots[i].Step);
            CopyRows(layerBits, snapshotBits[i], line, top, bottom);
            from = snapshots[i].Step + 1;
        }
        if (pieces)
            series_.draw(painter, layer_.ProjectedToImage, bandArea, minStepPx, from, last);
    };
    const long long count = (documents ? static_cast<long long>(tracks_.segmentCount()) : 0) +
                            (pieces && series_.series() ? (last - first + 1) * series_.series()->boatCount() : 0);
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
    const double marginPx = maxWidth() + 2;
    const QTransform imageToProjected = layer_.ProjectedToImage.inverted();
    PaintInBands(layer_.Image, bands, [&](QPainter& painter, const QRectF& band, int top, int bottom) {
        draw(painter, imageToProjected.mapRect(band.adjusted(-marginPx, -marginPx, marginPx, marginPx)) & area, top,
             bottom);
    });
}

} // namespace tideplot
