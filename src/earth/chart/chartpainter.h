#pragma once

#include "earth/chart/chartseries.h"
#include "earth/chart/charttracks.h"
#include "earth/chart/chartview.h"
#include "earth/replayview.h"

#include <span>

#include <QString>

class QPainter;

// Drawing the chart in layers: the sea, the map's tiles and the grid lines under the
// tracks; the grid labels, the boats' names, the scale bar, the north arrow and the map's
// attribution over them.
namespace tideplot {

class MapSource;

// The map under a picture: its tiles at one zoom.
struct ChartMap {
    const MapSource* Map = nullptr; // none: the sea only
    int Zoom = -1;
    QString LeftOut; // why a map is not drawn (Zoom -1), in one line; empty when it is
};

// The map's tiles at the zoom that best fits the viewport's scale, or a coarser one when
// the picture would need more than kMaxMapTilesPerPicture of them (MapZoomFitting); when
// even the map's coarsest zoom needs more, no zoom, and LeftOut says so.
ChartMap ChartMapFor(const MapSource* map, const ChartViewport& viewport);

// The spacing of the grid's parallels and meridians, in minutes of arc.
struct ChartGridSteps {
    double LatMinutes = 60;
    double LonMinutes = 60;
};

// Steps that keep the grid's lines apart on this viewport, at its focus.
ChartGridSteps GridStepsFor(const ChartViewport& viewport);

// The map's tiles are those in memory; where the painter clips, only the tiles inside the
// clip are drawn.
void DrawChartUnderlay(QPainter& painter, const ChartViewport& viewport, const ChartGridSteps& steps,
                       const ChartMap& map = {});
// The labels are those of the grid lines drawn with `steps` and the tracks' names at their
// newest points (ChartLabels); the attribution, when there is one, goes in the
// bottom right corner.
void DrawChartOverlay(QPainter& painter, const ChartViewport& viewport, const std::vector<ChartTrack>& labels,
                      const ChartGridSteps& steps, const QString& attribution = {});

// Where the captions of boats at `atPx` (in that order, the first the most wanted) go: beside
// each point, in the first of a few places around it that overlaps nothing in `taken`
// (which each placed caption joins); none (a null rectangle) for a caption that has no
// free place, so that captions are never drawn over one another or over a boat's dot.
std::vector<QRectF> PlaceCaptions(const std::vector<QPointF>& atPx, const std::vector<QSizeF>& sizes,
                                  std::vector<QRectF>& taken);

// The finish line (P1 to P2, degrees) as a chequered segment of black and white squares,
// P1's end marked with a small circle.
void DrawFinishLine(QPainter& painter, const ChartViewport& viewport, double lat1, double lon1, double lat2,
                    double lon2);

// The tacks and gybes of `marks` (in race clock order) up to the tail's race clock, and not
// older than its minutes when the tail is not whole: a tack as a triangle, a gybe as a diamond,
// in the boat's track colour (the series') with a dark rim. Returns how many it drew.
std::size_t DrawManoeuvreMarks(QPainter& painter, const ChartViewport& viewport, std::span<const ManoeuvreMark> marks,
                               const ChartSeries& series, const ChartTail& tail);
// One manoeuvre's mark, larger and ringed in black and white, whatever the race clock.
void DrawHighlightedManoeuvre(QPainter& painter, const ChartViewport& viewport, const ManoeuvreMark& mark,
                              const ChartSeries& series);
// The marks of `marks` (in race clock order) that DrawManoeuvreMarks takes.
std::span<const ManoeuvreMark> ManoeuvreMarksShown(std::span<const ManoeuvreMark> marks, const ChartTail& tail);

// The labels of the documents' tracks and of the series' boats.
std::vector<ChartTrack> ChartLabels(const ChartTracks& tracks, const ChartSeries& series);

// The whole chart at once, every track drawn afresh (the series' pieces, when given, as
// `tail` says), over the map's tiles in memory.
void DrawChart(QPainter& painter, const ChartViewport& viewport, const ChartTracks& tracks,
               const ChartSeries* series = nullptr, const MapSource* map = nullptr, const ChartTail& tail = {});

// The part of the projected plane that the viewport shows (the bounds of its turned
// rectangle), widened by `marginPx` pixels on every side.
QRectF VisibleProjectedRect(const ChartViewport& viewport, double marginPx);

} // namespace tideplot
