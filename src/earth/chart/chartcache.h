#pragma once

#include "earth/chart/chartpainter.h"
#include "earth/chart/chartseries.h"
#include "earth/chart/charttracks.h"
#include "earth/chart/chartview.h"
#include "earth/map/tilekey.h"

#include <QImage>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

// The chart's cached picture: the sea, the map, the grid lines and the tracks (without the
// series' pieces when a tail is drawn: those are drawn over it at each paint) drawn once
// onto a picture larger than the view, at the view's heading and a scale near the view's,
// then shown through a transform; segments that arrive later are drawn onto it, and where
// tiles of the map arrive that piece of it is drawn again. It is drawn whole again only
// when the view has turned, zoomed beyond kZoomDrift or moved past its margin.
//
// Copies of it at earlier steps of the series (all else on them as on the picture), its
// snapshots, are taken as it is drawn on past steps due (every kSnapshotPieces pieces,
// farther apart as more are taken, within the bytes allowed): a seek back goes to the last
// one before its step and draws on from there instead of drawing the whole race again.
// They are forgotten when the picture is drawn whole or tiles arrive on it.
namespace tideplot {

class MapSource;

// What the chart draws from: the documents' lines, the series' pieces up to its step shown
// (as the tail says) and the map under them.
struct ChartContent {
    ChartTracks Tracks;
    ChartSeries Series;
    ChartTail Tail;
    std::shared_ptr<MapSource> Map;

    // The widest line drawn, in pixels.
    double maxWidth() const;
};

class ChartCache {
public:
    bool valid() const { return layer_.Valid; }
    // Drawn whole at the next update.
    void invalidate() { layer_.Valid = false; }

    // Where the segments of lines added since the picture was drawn go (ChartTracks::add),
    // to be drawn onto it at the next update; null when it will be drawn whole anyway.
    std::vector<ChartSegment>* pendingSegments() { return layer_.Valid ? &pending_ : nullptr; }
    // After lines were added through pendingSegments(): the snapshots lack them.
    void linesAdded();
    // Forgets the lines added and the picture.
    void clearLines();
    // A new series: none of its steps are on the picture.
    void seriesSet();
    // The series shows another step (ChartSeries::setShownStep), `before` the one it
    // showed; `keptSteps` as in ReplayView::showStep.
    void stepShown(const ChartContent& content, long long before, long long keptSteps);
    // The most the snapshots may take, in bytes: those beyond it are forgotten at once.
    void setSnapshotBytes(std::size_t bytes);

    // A tile of the map arrived: true when a piece of the picture is to be drawn again at the
    // next update.
    bool tileArrived(const TileKey& key);
    // The map's zoom on the picture; -1 when none is drawn.
    int mapZoom() const { return layer_.MapZoom; }
    // The grid the labels over the picture follow.
    const ChartGridSteps& grid() const { return layer_.Grid; }
    // Called with the line when the picture leaves the map out, once until it is drawn again.
    void setMapLeftOutHandler(std::function<void(const QString&)> handler) { onMapLeftOut_ = std::move(handler); }

    // Brings the picture up to the content for this view on a device of `pixelRatio`:
    // drawn whole, or drawn on, or gone back to a snapshot.
    void update(const ChartContent& content, const ChartViewport& viewport, double pixelRatio);
    // Draws the picture as the view shows it.
    void drawOnto(QPainter& painter, const QTransform& toScreen) const;

    // How often the picture was drawn whole.
    int redraws() const { return redraws_; }
    // How often a piece of it was drawn again because tiles of the map arrived.
    int mapAreaRedraws() const { return mapAreaRedraws_; }

private:
    struct Layer {
        QImage Image;
        ChartViewport View; // the camera of the picture, on its size
        QTransform ProjectedToImage;
        double PixelsPerProjectedMetre = 0;
        double HeadingDeg = 0;
        ChartGridSteps Grid; // the labels over it follow its grid
        int MapZoom = -1;
        QRectF MapArrived; // where tiles arrived since it was drawn, on the picture
        bool Valid = false;
    };
    struct Snapshot {
        long long Step = 0;
        QImage Image;
    };
    static constexpr double kZoomDrift = 1.15;
    static constexpr double kLayerMargin = 0.25; // of the view's width and height on each side
    static constexpr std::size_t kMaxPendingSegments = 20000;
    static constexpr long long kSnapshotPieces = 400'000;
    static constexpr qsizetype kDefaultSnapshotBytes = qsizetype{40} << 20;

    bool serves(const ChartViewport& viewport, const QTransform& toScreen, double pixelRatio) const;
    void redraw(const ChartContent& content, const ChartViewport& viewport, const QTransform& toScreen,
                double pixelRatio);
    void redrawArea(const ChartContent& content, const QRectF& area);
    // Draws the series' steps `first` to `last` (and the documents' lines first when
    // `documents`) onto the picture, keeping the snapshots due on the way.
    void drawSteps(const ChartContent& content, const QRectF& area, bool documents, long long first, long long last);
    // The steps after `first` and before `last` due for a snapshot: every snapshotSteps_-th,
    // their spacing doubled (and every other snapshot kept forgotten) until they fit
    // snapshotBytes_ with those kept.
    std::vector<long long> snapshotsDue(const ChartContent& content, long long first, long long last);
    // The picture as it was at the last snapshot not after the step shown, when the replay
    // went back, or when that snapshot lies beyond the steps the picture holds; false when
    // there is none to go to.
    bool goToSnapshot(const ChartContent& content);
    // Draws onto the picture what reaches into `area` (projected metres): the documents'
    // lines when `documents`, and the series' pieces of steps `first` to `last` unless a
    // tail is drawn. Many pieces are drawn in horizontal bands of the picture, one per
    // processor: the same picture (where a line crosses from one band into the next, a
    // pixel may differ by a few levels) in a fraction of the time. Each of `snapshots` (by
    // step, within `first` to `last`) gets the picture as it is drawn up to its step.
    void drawTracks(const ChartContent& content, const QRectF& area, bool documents, long long first, long long last,
                    std::vector<Snapshot>& snapshots);

    Layer layer_;
    std::vector<ChartSegment> pending_;
    long long layerStep_ = 0;         // the series' steps drawn onto the picture
    bool layerAhead_ = false;         // the replay went back: the picture holds steps after the one shown
    std::vector<Snapshot> snapshots_; // by step
    long long snapshotSteps_ = 0;     // the steps from one snapshot to the next; 0: not known yet
    qsizetype snapshotBytes_ = kDefaultSnapshotBytes;
    int redraws_ = 0;
    int mapAreaRedraws_ = 0;
    std::function<void(const QString&)> onMapLeftOut_;
    QString mapLeftOutTold_;
};

} // namespace tideplot
