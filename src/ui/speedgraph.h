#pragma once

#include "analysis/raceanalysis.h"

#include <QAbstractSlider>
#include <QChartView>
#include <QColor>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QLineSeries;
class QValueAxis;

// The graph of the boats' speed over race time, and their VMG when the wind is known, drawn
// by Qt Charts; a vertical line at the replay's position. A click or a drag on the graph asks
// for another moment; the keys move the replay by its steps, as its slider does (Left and
// Right one step, Page Up and Page Down ten, Home and End the first and the last).
//
// A day logged every second has 86,400 fixes a boat: each line keeps the least and the
// greatest value of each pixel column of the plot (of fewer, wider columns when many lines
// share kMostPoints), so a boat draws at most two points a column. The lines are made when
// the graph is shown, and made anew only when what they show or the plot's width changed. The
// chart is drawn once onto a picture whenever its lines change; the position's line moves
// over that picture, so following the replay repaints a strip of it, never the chart.
namespace tideplot {

class SpeedGraph : public QChartView {
public:
    // The most points of all lines together: Qt Charts takes some microseconds a point to
    // lay out and to draw a line.
    static constexpr int kMostPoints = 40'000;

    explicit SpeedGraph(QWidget* parent = nullptr);
    ~SpeedGraph() override;

    struct Boat {
        const BoatAnalysis* Analysis = nullptr;
        QColor Colour;
        QString Caption;
    };
    // The boats' speed (solid) and, with a wind, their VMG (dashed, against the wind of each
    // moment) from `firstSeconds` to `lastSeconds` of race time (elapsed since each boat's
    // start x LYS). `vmgWind` (the analysis's, as the boats) lives as long as they do.
    void showBoats(std::vector<Boat> boats, const WindEstimate* vmgWind, double firstSeconds, double lastSeconds);
    // The replay stands at `raceSeconds` of race time.
    void showPosition(double raceSeconds);
    double positionSeconds() const { return positionSeconds_; }

    // Where the position's line stands, in the view's pixels from its left; NaN when it is
    // outside the graph.
    double positionLineX() const;
    // The race time at `x` pixels from the view's left, within the graph's range.
    double raceSecondsAt(double x) const;
    // The graph's plot area, in the view's pixels.
    QRectF plotRect() const;
    // The points of every line shown, and how often the chart was drawn onto its picture.
    qsizetype pointCount() const { return points_; }
    int redraws() const { return redraws_; }

    // Asked for another moment of the race: a click, a drag.
    std::function<void(double raceSeconds)> onSeek;
    // Asked to move the replay by its steps with a key, as the slider of the replay's
    // position moves it (one step, ten, to the first or the last).
    std::function<void(QAbstractSlider::SliderAction action)> onStepKey;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void makeLines();
    void seekAt(double x);
    void repaintLine(double x);
    double unitSeconds() const;

    std::vector<Boat> boats_;
    const WindEstimate* wind_ = nullptr; // the analysis's, as the boats
    double firstSeconds_ = -300;
    double lastSeconds_ = 3600;
    bool linesWanted_ = false; // the lines are to be made (anew) once the graph is shown
    int plotColumns_ = 0;      // the plot's pixel columns when the lines were made
    struct Line {
        const BoatAnalysis* Boat = nullptr;
        bool Vmg = false;
        QLineSeries* Series = nullptr;
    };
    std::vector<Line> lines_;
    qsizetype points_ = 0;
    QValueAxis* timeAxis_ = nullptr;
    QValueAxis* speedAxis_ = nullptr;

    double positionSeconds_ = 0;
    QPixmap picture_;
    bool pictureValid_ = false;
    int redraws_ = 0;
    bool dragging_ = false;
    QTimer resized_; // the lines made anew for the new width once resizing pauses
};

} // namespace tideplot
