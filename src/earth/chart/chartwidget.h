#pragma once

#include "core/throttle.h"
#include "earth/applicationge.h"
#include "earth/chart/chartpainter.h"
#include "earth/chart/chartseries.h"
#include "earth/chart/charttracks.h"
#include "earth/chart/chartview.h"
#include "earth/map/tilekey.h"

#include <QImage>
#include <QTransform>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The chart window: the loaded tracks on a sea with a latitude/longitude grid, over a map
// when one is set, seen by a camera that the replay moves and the user can pan, zoom and
// turn.
//
//   drag               pan
//   Shift+drag         turn the chart about its centre
//   wheel, + and -     zoom (the wheel about the pointer)
//   [ and ], Ctrl+Left and Ctrl+Right   turn by 15 degrees
//   arrow keys         pan by an eighth of the view
//   N                  north up
namespace tideplot {

class MapSource;

inline constexpr const char* kChartWindowTitle = "Tideplot1 Chart";

class ChartWidget : public QWidget {
public:
    explicit ChartWidget(QWidget* parent = nullptr);
    ~ChartWidget() override;

    // Adds the lines of one document. Throws Error, adding nothing, when a point lies
    // off the globe.
    void addLines(const std::vector<KmlLineString>& lines);

    // The finish line drawn over the tracks as a chequered segment (P1 to P2, degrees);
    // none: no line.
    struct FinishEnds {
        double Lat1, Lon1, Lat2, Lon2;
    };
    void setFinishLine(const std::optional<FinishEnds>& line);
    // Takes the next `count` left clicks on the chart as positions (latitude, longitude in
    // degrees) instead of panning, and hands them to `done`; Escape gives up. The pointer is
    // a cross meanwhile.
    void pickPositions(int count, std::function<void(std::vector<LatLon>)> done);
    bool picking() const { return pickCount_ > 0; }
    // Forgets every line loaded.
    void clearLines();

    // The tacks and gybes marked on the series' tracks, up to the shown step's race clock
    // (DrawManoeuvreMarks); none: no marks.
    void setManoeuvreMarks(std::vector<ManoeuvreMark> marks);
    const std::vector<ManoeuvreMark>& manoeuvreMarks() const { return marks_; }
    // One manoeuvre ringed wherever the replay stands (DrawHighlightedManoeuvre); none: none.
    void setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark);
    const std::optional<ManoeuvreMark>& highlightedManoeuvre() const { return highlighted_; }
    // How many marks the shown step shows (in view or not).
    std::size_t manoeuvreMarksShown() const;
    // Moves the focus to the position (degrees) when it lies outside the middle four fifths
    // of the view; the scale and heading are kept.
    void bringIntoView(double lat, double lon);

    // The replay's pieces, read from its series (chartseries.h). setFleet gives each boat
    // (by its index in the race file) the caption that labels its newest piece and its
    // track colour; setSeries the series to draw from (null: none), which must stay as it is
    // while it is set; showStep the step the replay stands at: every piece up to it is
    // drawn. When `keptSteps` is the step shown before and the replay went on from it, only
    // the new steps' pieces are drawn onto the cached picture; otherwise the chart is drawn
    // again. One repaint at most every kMinRepaintMs.
    void setFleet(const std::vector<FleetBoat>& boats);
    void setSeries(const ReplaySeries* series);
    void showStep(long long step, long long keptSteps);
    const ChartSeries& series() const { return series_; }
    // The tail: with `minutes` above 0 only the pieces of the last so many minutes of race
    // time up to the shown step are drawn, the older the fainter, each boat's label at its
    // newest piece; 0 (the default) draws every piece. Lines of documents are drawn whole
    // either way. Throws Error when the value is not a number of 0 or more.
    void setTailMinutes(double minutes);
    const ChartTail& tail() const { return tail_; }
    // The most the copies of the cached picture at earlier steps may take, in bytes (40 MB
    // unless set): those beyond it are forgotten at once.
    void setSnapshotBytes(std::size_t bytes);

    // Moves the view at once: centred on the focus point, the range setting the scale as
    // in Google Earth (chartview.h), the azimuth pointing up. Throws Error when a value
    // is not a number; a range below 10 m or above 40,000 km is taken as that limit.
    void setCamera(const CameraInfoGE& camera);
    // The view as it is now, with the user's pan, zoom and turn.
    CameraInfoGE camera() const;

    // The current view on a picture of `sizePx`: same focus, range and heading.
    ChartViewport viewport(const QSizeF& sizePx) const;
    // The chart as the window would show it on a picture of `sizePx`, drawn afresh.
    QImage renderImage(const QSize& sizePx) const;

    // The map under the chart; null for none (the sea and the grid only). The window asks
    // the map for the tiles it shows and draws them as they arrive; nothing waits for them.
    // A map serves one chart at a time (it calls back the chart it was set on last).
    void setMapSource(std::shared_ptr<MapSource> map);
    const std::shared_ptr<MapSource>& mapSource() const { return map_; }
    // The tiles of the map that a picture of `sizePx` of the current view shows (none
    // without a map).
    std::vector<TileKey> mapTilesFor(const QSize& sizePx) const;
    // Called with one line when a tile of the map could not be loaded (for a status bar;
    // never a message box). mapMessage() is the last such line.
    void setMapMessageHandler(std::function<void(const QString&)> handler);
    const QString& mapMessage() const { return mapMessage_; }
    void reportMapMessage(const QString& message);
    // Why the map is left out of a picture of `sizePx` of the current view (ChartMap's
    // LeftOut); empty when it is drawn, or without a map.
    QString mapLeftOut(const QSize& sizePx) const;
    // Called with that line when the window's picture leaves the map out, once until it
    // is drawn again (for a status bar).
    void setMapLeftOutHandler(std::function<void(const QString&)> handler) { onMapLeftOut_ = std::move(handler); }

    const ChartTracks& tracks() const { return tracks_; }
    // The widest line drawn, in pixels.
    double maxWidth() const;
    // How often the cached picture of the chart under the labels was drawn whole.
    int trackLayerRedraws() const { return trackLayerRedraws_; }
    // How often a piece of it was drawn again because tiles of the map arrived.
    int mapAreaRedraws() const { return mapAreaRedraws_; }

    // What the keys and the mouse do: zoom by `factor` (above 1 is closer) keeping the
    // point at `anchorPx` in place; turn so that the heading grows by `degrees`; move the
    // chart by `deltaPx` on the screen.
    void zoomBy(double factor, const QPointF& anchorPx);
    void turnBy(double degrees);
    void panBy(const QPointF& deltaPx);

    QSize sizeHint() const override { return {1000, 750}; }

    // The captions of the boats whose newest position lies within a few pixels of `atPx`
    // (the tool tip there: captions that had no room on the chart are left out of it).
    QStringList boatsNear(const QPointF& atPx) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The sea, the map, the grid lines and the tracks (without the series' pieces when a
    // tail is drawn: those are drawn over it at each paint) drawn once onto a picture larger than
    // the window, at the view's heading and a scale near the view's, then shown through a
    // transform; segments that arrive later are drawn onto it, and where tiles of the map
    // arrive that piece of it is drawn again. It is drawn whole again only when the view
    // has turned, zoomed beyond kZoomDrift or moved past its margin.
    struct TrackLayer {
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
    static constexpr double kZoomDrift = 1.15;
    static constexpr double kLayerMargin = 0.25; // of the window's width and height on each side
    static constexpr std::size_t kMaxPendingSegments = 20000;

    // Copies of the cached picture at earlier steps of the series (all else on them as on
    // the picture), taken as the picture is drawn on past steps due (every kSnapshotPieces
    // pieces, farther apart as more are taken, at most snapshotBytes_ of them): a seek back
    // goes to the last one before its step and draws on from there instead of drawing the
    // whole race again. Forgotten when the picture is drawn whole or tiles arrive on it.
    struct LayerSnapshot {
        long long Step = 0;
        QImage Image;
    };
    static constexpr long long kSnapshotPieces = 400'000;
    static constexpr qsizetype kDefaultSnapshotBytes = qsizetype{40} << 20;

    void updateTrackLayer(const ChartViewport& viewport, const QTransform& toScreen);
    bool trackLayerServes(const ChartViewport& viewport, const QTransform& toScreen) const;
    void redrawTrackLayer(const ChartViewport& viewport, const QTransform& toScreen);
    // Draws the series' steps `first` to `last` (and the documents' lines first when
    // `documents`) onto the cached picture, keeping the snapshots due on the way.
    void drawLayerSteps(const QRectF& area, bool documents, long long first, long long last);
    // The steps after `first` and before `last` due for a snapshot: every snapshotSteps_-th,
    // their spacing doubled (and every other snapshot kept forgotten) until they fit
    // snapshotBytes_ with those kept.
    std::vector<long long> snapshotsDue(long long first, long long last);
    // The picture as it was at the last snapshot not after the step shown, when the replay
    // went back, or when that snapshot lies beyond the steps the picture holds; false when
    // there is none to go to.
    bool goToSnapshot();
    // Draws onto the cached picture what reaches into `area` (projected metres): the
    // documents' lines when `documents`, and the series' pieces of steps `first` to `last`
    // unless a tail is drawn. Many pieces are drawn in horizontal bands of the picture, one
    // per processor: the same picture (where a line crosses from one band into the next, a
    // pixel may differ by a few levels) in a fraction of the time.
    // Each of `snapshots` (by step, within `first` to `last`) gets the picture as it is drawn
    // up to its step.
    void drawLayerTracks(const QRectF& area, bool documents, long long first, long long last,
                         std::vector<LayerSnapshot>& snapshots);
    void redrawLayerArea(const QRectF& area);
    void mapTileArrived(const TileKey& key);
    void requestMapTiles(const ChartViewport& viewport);
    static constexpr int kMinRepaintMs = 15;

    void moveFocusTo(const QPointF& projected);
    void setRange(double rangeMetres);

    ChartTracks tracks_;
    ChartSeries series_;
    ChartTail tail_;
    std::vector<ChartSegment> pending_;
    long long layerStep_ = 0; // the series' steps drawn onto the cached picture
    TrackLayer layer_;
    bool layerAhead_ = false;              // the replay went back: the picture holds steps after the one shown
    std::vector<LayerSnapshot> snapshots_; // by step
    long long snapshotSteps_ = 0;          // the steps from one snapshot to the next; 0: not known yet
    qsizetype snapshotBytes_ = kDefaultSnapshotBytes;
    int trackLayerRedraws_ = 0;
    int mapAreaRedraws_ = 0;

    std::shared_ptr<MapSource> map_;
    std::vector<TileKey> mapRequested_;
    std::function<void(const QString&)> onMapMessage_;
    QString mapMessage_;
    std::function<void(const QString&)> onMapLeftOut_;
    QString mapLeftOutTold_;

    QPointF focus_; // projected metres
    double rangeMetres_ = 1e7;
    double headingDeg_ = 0;
    double tiltDeg_ = 0;
    double focusAltitude_ = 0;
    int focusAltitudeMode_ = 1;

    enum class Drag { None, Pan, Turn };
    Drag drag_ = Drag::None;
    std::optional<FinishEnds> finish_;
    std::vector<ManoeuvreMark> marks_; // in race clock order
    std::optional<ManoeuvreMark> highlighted_;
    int pickCount_ = 0;
    std::vector<LatLon> picked_;
    std::function<void(std::vector<LatLon>)> pickDone_;
    QPointF lastMousePx_;
    // A repaint for what the replay loaded: at most one every kMinRepaintMs, however fast
    // the replay steps; the last one always follows.
    Throttle repaints_{kMinRepaintMs, this, [this] { update(); }};
};

} // namespace tideplot
