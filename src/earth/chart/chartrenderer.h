#pragma once

#include "earth/chart/chartcache.h"
#include "earth/chart/chartcourse.h"
#include "earth/chart/chartview.h"
#include "earth/kmldocument.h"
#include "earth/map/tilekey.h"
#include "earth/replayview.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

// The chart drawn onto any QPainter, for a camera's viewport: the sea, the map's tiles and
// the grid, the documents' lines and the series' pieces up to the step shown (or its tail),
// the course, the tacks and gybes, the captions, the scale and the attribution. The window
// paints through it, as do the picture and the video. It holds what is drawn and the
// cached picture under the labels (chartcache.h); it knows no window and no input.
namespace tideplot {

class MapSource;

class ChartRenderer {
public:
    ChartRenderer() = default;
    ~ChartRenderer();
    ChartRenderer(const ChartRenderer&) = delete;
    ChartRenderer& operator=(const ChartRenderer&) = delete;

    // Adds the lines of one document. Throws Error, adding nothing, when a point lies off
    // the globe.
    void addLines(const std::vector<KmlLineString>& lines);
    // Forgets every line loaded.
    void clearLines();
    const ChartTracks& tracks() const { return content_.Tracks; }

    // The race course drawn over the tracks (chartcourse.h); none: nothing.
    void setCourse(const std::optional<Course>& course) { course_ = course; }
    const std::optional<Course>& course() const { return course_; }
    // Moves one buoy of the course drawn.
    void moveBuoy(const CourseBuoy& buoy, double lat, double lon);

    // The tacks and gybes marked on the series' tracks up to the shown step's race clock
    // (DrawManoeuvreMarks), and one of them ringed wherever the replay stands.
    void setManoeuvreMarks(std::vector<ManoeuvreMark> marks);
    const std::vector<ManoeuvreMark>& manoeuvreMarks() const { return marks_; }
    void setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark) { highlighted_ = mark; }
    const std::optional<ManoeuvreMark>& highlightedManoeuvre() const { return highlighted_; }
    // How many marks the shown step shows.
    std::size_t manoeuvreMarksShown() const;

    // The replay's pieces, as ChartWidget::setFleet, setSeries, showStep and setTailMinutes
    // (chartwidget.h) say.
    void setFleet(const std::vector<FleetBoat>& boats);
    void setSeries(const ReplaySeries* series);
    void showStep(long long step, long long keptSteps);
    const ChartSeries& series() const { return content_.Series; }
    // Throws Error when the value is not a number of 0 or more.
    void setTailMinutes(double minutes);
    const ChartTail& tail() const { return content_.Tail; }
    void setSnapshotBytes(std::size_t bytes) { cache_.setSnapshotBytes(bytes); }
    // The widest line drawn, in pixels.
    double maxWidth() const { return content_.maxWidth(); }

    // The map under the chart; null for none. The renderer asks it for the tiles a picture
    // painted through the cache shows and draws them as they arrive (calling the changed
    // handler); nothing waits for them. A map serves one renderer at a time.
    void setMapSource(std::shared_ptr<MapSource> map);
    const std::shared_ptr<MapSource>& mapSource() const { return content_.Map; }
    // The tiles of the map that the viewport shows (none without a map).
    std::vector<TileKey> mapTilesFor(const ChartViewport& viewport) const;
    // Why the map is left out of the viewport's picture (ChartMap's LeftOut); empty when it
    // is drawn, or without a map.
    QString mapLeftOut(const ChartViewport& viewport) const;
    // Called with one line when a tile of the map could not be loaded; mapMessage() is the
    // last such line.
    void setMapMessageHandler(std::function<void(const QString&)> handler) { onMapMessage_ = std::move(handler); }
    const QString& mapMessage() const { return mapMessage_; }
    void reportMapMessage(const QString& message);
    // Called with that line when a picture painted through the cache leaves the map out,
    // once until it is drawn again.
    void setMapLeftOutHandler(std::function<void(const QString&)> handler);
    // Called when tiles arrived that the next paint draws.
    void setChangedHandler(std::function<void()> handler) { onChanged_ = std::move(handler); }

    // Paints the viewport through the cached picture, which it brings up to date first: the
    // same picture as draw(), many times faster frame after frame.
    void paint(QPainter& painter, const ChartViewport& viewport);
    // Draws the viewport with every track afresh, over the map's tiles in memory.
    void draw(QPainter& painter, const ChartViewport& viewport) const;
    // That picture on an image of the viewport's size (none for an empty size).
    QImage drawnImage(const ChartViewport& viewport) const;

    // The labels of the documents' tracks and of the series' boats.
    std::vector<ChartTrack> labels() const;
    // How often the cached picture was drawn whole, and how often a piece of it again
    // because tiles of the map arrived.
    int cacheRedraws() const { return cache_.redraws(); }
    int mapAreaRedraws() const { return cache_.mapAreaRedraws(); }

private:
    // Over the tracks and under the labels: the course, the tacks and gybes.
    void drawMarks(QPainter& painter, const ChartViewport& viewport) const;
    void requestMapTiles(const ChartViewport& viewport);

    ChartContent content_;
    ChartCache cache_;
    std::optional<Course> course_;
    std::vector<ManoeuvreMark> marks_; // in race clock order
    std::optional<ManoeuvreMark> highlighted_;
    std::vector<TileKey> mapRequested_;
    std::function<void(const QString&)> onMapMessage_;
    QString mapMessage_;
    std::function<void()> onChanged_;
};

} // namespace tideplot
