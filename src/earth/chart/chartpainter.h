#pragma once

#include "earth/chart/charttracks.h"
#include "earth/chart/chartview.h"

class QPainter;

// Drawing the chart in layers: the sea and the grid lines under the tracks; the grid
// labels, the boats' names, the scale bar and the north arrow over them.
namespace tideplot {

// The spacing of the grid's parallels and meridians, in minutes of arc.
struct ChartGridSteps {
    double LatMinutes = 60;
    double LonMinutes = 60;
};

// Steps that keep the grid's lines apart on this viewport, at its focus.
ChartGridSteps GridStepsFor(const ChartViewport& viewport);

void DrawChartUnderlay(QPainter& painter, const ChartViewport& viewport, const ChartGridSteps& steps);
// The labels are those of the grid lines drawn with `steps`.
void DrawChartOverlay(QPainter& painter, const ChartViewport& viewport, const ChartTracks& tracks,
                      const ChartGridSteps& steps);

// The whole chart at once, every track drawn afresh.
void DrawChart(QPainter& painter, const ChartViewport& viewport, const ChartTracks& tracks);

// The part of the projected plane that the viewport shows (the bounds of its turned
// rectangle), widened by `marginPx` pixels on every side.
QRectF VisibleProjectedRect(const ChartViewport& viewport, double marginPx);

} // namespace tideplot
