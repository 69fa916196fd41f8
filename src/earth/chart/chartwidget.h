#pragma once

#include "core/throttle.h"
#include "earth/applicationge.h"
#include "earth/chart/chartpicture.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The chart window: the loaded tracks on a sea with a latitude/longitude grid, over a map
// when one is set, seen by a camera that the replay moves and the user can pan, zoom and
// turn. It shows a ChartPicture (chartpicture.h), its camera and its renderer, and keeps
// the input: the keys and the mouse, the camera's gestures, picking positions, dragging
// buoys; it paints through the renderer.
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
    // The race course drawn over the tracks (chartcourse.h): its start line, marks, gates
    // and finish line; none: nothing. A course of a finish line alone is that finish line.
    void setCourse(const std::optional<Course>& course);
    const std::optional<Course>& course() const { return renderer().course(); }
    // While `moved` is set, a left press on a buoy of the course drags it (instead of
    // panning): the buoy follows the pointer and, on release, `moved` gets the buoy and
    // its new position (degrees); Escape while dragging puts it back. Null: buoys stay put.
    using BuoyMoved = std::function<void(const CourseBuoy& buoy, double lat, double lon)>;
    void setBuoyDragging(BuoyMoved moved);
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
    const std::vector<ManoeuvreMark>& manoeuvreMarks() const { return renderer().manoeuvreMarks(); }
    // One manoeuvre ringed wherever the replay stands (DrawHighlightedManoeuvre); none: none.
    void setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark);
    const std::optional<ManoeuvreMark>& highlightedManoeuvre() const { return renderer().highlightedManoeuvre(); }
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
    const ChartSeries& series() const { return renderer().series(); }
    // The tail: with `minutes` above 0 only the pieces of the last so many minutes of race
    // time up to the shown step are drawn, the older the fainter, each boat's label at its
    // newest piece; 0 (the default) draws every piece. Lines of documents are drawn whole
    // either way. Throws Error when the value is not a number of 0 or more.
    void setTailMinutes(double minutes);
    const ChartTail& tail() const { return renderer().tail(); }
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
    const std::shared_ptr<MapSource>& mapSource() const { return renderer().mapSource(); }
    // The tiles of the map that a picture of `sizePx` of the current view shows (none
    // without a map).
    std::vector<TileKey> mapTilesFor(const QSize& sizePx) const;
    // Called with one line when a tile of the map could not be loaded (for a status bar;
    // never a message box). mapMessage() is the last such line.
    void setMapMessageHandler(std::function<void(const QString&)> handler);
    const QString& mapMessage() const { return renderer().mapMessage(); }
    void reportMapMessage(const QString& message);
    // Why the map is left out of a picture of `sizePx` of the current view (ChartMap's
    // LeftOut); empty when it is drawn, or without a map.
    QString mapLeftOut(const QSize& sizePx) const;
    // Called with that line when the window's picture leaves the map out, once until it
    // is drawn again (for a status bar).
    void setMapLeftOutHandler(std::function<void(const QString&)> handler);

    const ChartTracks& tracks() const { return renderer().tracks(); }
    // The widest line drawn, in pixels.
    double maxWidth() const { return renderer().maxWidth(); }
    // How often the cached picture of the chart under the labels was drawn whole.
    int trackLayerRedraws() const { return renderer().cacheRedraws(); }
    // How often a piece of it was drawn again because tiles of the map arrived.
    int mapAreaRedraws() const { return renderer().mapAreaRedraws(); }

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

    // What the window shows: its camera and renderer, and the pictures of it.
    ChartPicture& picture() { return picture_; }
    const ChartPicture& picture() const { return picture_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    const ChartRenderer& renderer() const { return picture_.renderer(); }
    ChartRenderer& renderer() { return picture_.renderer(); }
    static constexpr int kMinRepaintMs = 15;

    ChartPicture picture_;

    enum class Drag { None, Pan, Turn, Buoy };
    Drag drag_ = Drag::None;
    BuoyMoved buoyMoved_;
    CourseBuoy draggedBuoy_;
    LatLon draggedFrom_;
    int pickCount_ = 0;
    std::vector<LatLon> picked_;
    std::function<void(std::vector<LatLon>)> pickDone_;
    QPointF lastMousePx_;
    // A repaint for what the replay loaded: at most one every kMinRepaintMs, however fast
    // the replay steps; the last one always follows.
    Throttle repaints_{kMinRepaintMs, this, [this] { update(); }};
};

} // namespace tideplot
