#pragma once

#include <QAbstractSlider>
#include <QChartView>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstddef>
#include <functional>

class QValueAxis;

// A graph of values over race time drawn by Qt Charts, with what every such graph of the
// Analysis window does alike: a vertical line at the replay's position that follows it; a
// click or a drag on the plot asks for another moment; the keys move the replay by its steps,
// as its slider does (Left and Right one step, Page Up and Page Down ten, Home and End the
// first and the last); the wheel zooms the time axis about the pointer, a drag with the right
// button (or Shift and the left) pans it, + and - zoom about the replay's position and F fits
// the whole race again; and with the pointer over the plot a read-out of the values at that
// moment.
//
// The chart is drawn once onto a picture whenever its lines change; the position's line and
// the read-out are drawn over that picture, so following the replay repaints a strip of it,
// never the chart. The lines are made (makeLines) for the part of the race shown, when the
// graph is shown and anew only when that part or the plot's width changed.
namespace tideplot {

class TimeGraph : public QChartView {
public:
    explicit TimeGraph(QWidget* parent = nullptr);
    ~TimeGraph() override;

    // The replay stands at `raceSeconds` of race time.
    void showPosition(double raceSeconds);

    // Where the position's line stands, in the view's pixels from its left; NaN when it is
    // outside the part shown.
    double positionLineX() const;
    // The race time at `x` pixels from the view's left, within the part shown.
    double raceSecondsAt(double x) const;
    // The graph's plot area, in the view's pixels.
    QRectF plotRect() const;
    int redraws() const { return redraws_; }

    // The part of the race's time the axis shows (seconds of race time); the whole race
    // unless zoomed.
    double firstShown() const { return shownFirst_; }
    double lastShown() const { return shownLast_; }
    // What the read-out says for the moment under the pointer; empty with the pointer away.
    const QString& readout() const { return readout_; }

    // Asked for another moment of the race: a click, a drag.
    std::function<void(double raceSeconds)> onSeek;
    // Asked to move the replay by its steps with a key, as the slider of the replay's
    // position moves it (one step, ten, to the first or the last).
    std::function<void(QAbstractSlider::SliderAction action)> onStepKey;

protected:
    // The boats' captions show in a legend under the graph for a few; for more the list beside
    // the graph shows their colours.
    static constexpr std::size_t kMostBoatsWithLegend = 8;
    // The race's whole time range. The part shown stays where it was when it lies inside.
    void setTimeRange(double firstSeconds, double lastSeconds);
    // The lines for the part shown, `columns` pixel columns wide; called by the graph.
    virtual void makeLines() = 0;
    // The values at a moment, a line each (a boat, its values), for the read-out.
    virtual QStringList valuesAt(double raceSeconds) const = 0;
    // makeLines, once the graph is shown (at once when it is).
    void requestLines();
    int plotColumns() const { return plotColumns_; }
    // The time axis's unit (60 or 3600 s), and the axis set for the part shown.
    double unitSeconds() const;
    QValueAxis* timeAxis() const { return timeAxis_; }
    void showTimeAxis();
    // The chart changed: its picture is drawn again.
    void chartChanged();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showPart(double first, double last);
    void zoom(double factor, double aboutSeconds);
    void seekAt(double x);
    void repaintLine(double x);
    void pointAt(double x);
    void drawReadout(QPainter& painter) const;

    double firstSeconds_ = -300;
    double lastSeconds_ = 3600;
    double shownFirst_ = -300;
    double shownLast_ = 3600;
    bool linesWanted_ = false; // the lines are to be made (anew) once the graph is shown
    int plotColumns_ = 0;      // the plot's pixel columns when the lines were made
    QValueAxis* timeAxis_ = nullptr;

    double positionSeconds_ = 0;
    QPixmap picture_;
    bool pictureValid_ = false;
    int redraws_ = 0;
    bool dragging_ = false;
    bool panning_ = false;
    double panFromX_ = 0;
    double pointerX_ = -1; // the pointer over the plot, for the read-out; -1: away
    QString readout_;
    QTimer resized_; // the lines made anew for the new width once resizing pauses
};

} // namespace tideplot
