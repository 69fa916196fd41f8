#pragma once

#include <QColor>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

// The replay control window's texts drawn over a corner of the chart, for pictures of
// the replay (the video's frames, the --screenshot picture).
namespace tideplot {

struct ReplayLegendRow {
    QString Caption;  // the boat's name and LYS number, as the legend shows them
    QColor Colour;    // the boat's track colour, behind the caption
    QString Distance; // nautical miles to the first boat ("0.125"), empty when none
};

// Draws a box in the bottom-right corner of `picture` (free of the scale bar, the north
// arrow and the grid's labels): "Race time" with `raceTimeText`, then one row per boat,
// its caption on its colour and its distance to the first boat ("0.125 nm") right of
// it. The text grows with the picture's height; rows that do not fit end in a row
// "and N more".
void DrawReplayLegend(QPainter& painter, const QRect& picture, const QString& raceTimeText,
                      const std::vector<ReplayLegendRow>& rows);

} // namespace tideplot
