#include "ui/speedgraph.h"

#include <QChart>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace tideplot {

namespace {

constexpr double kHoursFromSeconds = 3 * 3600; // races longer than this are drawn in hours
constexpr double kTicksWanted = 8;
constexpr int kMinColumns = 100;
constexpr int kResizePauseMs = 150;
constexpr int kMostBoatsWithLegend = 8;
const QColor kPositionLine(0xd0, 0x20, 0x20);

// The boat's values from `first` to `last` seconds of race time: in each of `columns` equal
// columns its least and greatest value in the order the boat had them (the shape a line of
// every fix would draw at that width). x in `unit` seconds of race time, y in knots.
QList<QPointF> ColumnExtremes(const BoatAnalysis& boat, const WindEstimate* vmgWind, double first, double last,
                              int columns, double unit)
{
    QList<QPointF> points;
    const double lys = boat.Source.Lys;
    const double width = (last - first) / columns;
    if (!(width > 0))
        return points;
    struct Value {
        double X = 0, Y = 0;
    };
    Value low, high;
    bool any = false;
    int column = -1;
    const auto flush = [&] {
        if (!any)
            return;
        const Value& a = low.X <= high.X ? low : high;
        const Value& b = low.X <= high.X ? high : low;
        points.append(QPointF(a.X / unit, a.Y));
        if (b.X != a.X)
            points.append(QPointF(b.X / unit, b.Y));
        any = false;
    };
    for (const MotionSample& s : boat.Motion.Samples) {
        const double x = s.Seconds * lys;
        if (x < first)
            continue;
        if (x > last)
            break;
        const double y = vmgWind ? static_cast<double>(VmgKn(s, vmgWind->At(DateValueAt(boat.Source, s.Seconds))))
                                 : static_cast<double>(s.SpeedKn);
        if (!std::isfinite(y))
            continue;
        const int c = std::min(columns - 1, static_cast<int>((x - first) / width));
        if (c != column) {
            flush();
            column = c;
        }
        if (!any) {
            low = high = Value{x, y};
            any = true;
        } else if (y < low.Y) {
            low = Value{x, y};
        } else if (y > high.Y) {
            high = Value{x, y};
        }
    }
    flush();
    return points;
}

// The time between the labels of the time axis: the shortest of the usual steps of a clock
// that gives at most kTicksWanted intervals over `span` (in `unit` seconds).
double TickInterval(double span, double unit)
{
    static constexpr double kMinuteSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 240};
    static constexpr double kHourSteps[] = {0.25, 0.5, 1, 2, 3, 6, 12, 24, 48, 96, 168};
    const auto pick = [&](const auto& steps) {
        for (const double step : steps)
            if (span / step <= kTicksWanted)
                return step;
        return steps[std::size(steps) - 1];
    };
    return unit == 3600 ? pick(kHourSteps) : pick(kMinuteSteps);
}

} // namespace

SpeedGraph::SpeedGraph(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("graphSpeed"));
    setAccessibleName(QStringLiteral("Speed graph"));
    setToolTip(QStringLiteral("Click or drag to take the replay there; Left and Right move a step, Page Up and "
                              "Page Down ten, Home and End go to the start and the end"));
    setFocusPolicy(Qt::StrongFocus);
    setRenderHint(QPainter::Antialiasing, true);
    setMinimumSize(320, 200);
    QChart* graph = chart();
    graph->setAnimationOptions(QChart::NoAnimation);
    graph->legend()->setAlignment(Qt::AlignBottom);
    graph->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QValueAxis;
    speedAxis_ = new QValueAxis;
    speedAxis_->setTitleText(QStringLiteral("kn"));
    speedAxis_->setLabelFormat(QStringLiteral("%g"));
    timeAxis_->setLabelFormat(QStringLiteral("%g"));
    timeAxis_->setTickType(QValueAxis::TicksDynamic);
    timeAxis_->setTickAnchor(0); // the gun
    graph->addAxis(timeAxis_, Qt::AlignBottom);
    graph->addAxis(speedAxis_, Qt::AlignLeft);
    // Whatever changes in the chart draws its picture again.
    connect(scene(), &QGraphicsScene::changed, this, [this] {
        pictureValid_ = false;
        viewport()->update();
    });
    resized_.setSingleShot(true);
    resized_.setInterval(kResizePauseMs);
    connect(&resized_, &QTimer::timeout, this, [this] {
        const int columns = std::max(kMinColumns, static_cast<int>(plotRect().width()));
        if (linesWanted_ || columns != plotColumns_)
            makeLines();
    });
    // The plot's width also changes with the legend and the axes' labels (a boat left out, a
    // new range): the lines follow it once it has settled, a point pair a pixel column.
    connect(graph, &QChart::plotAreaChanged, this, [this] {
        if (!boats_.empty())
            resized_.start();
    });
}

SpeedGraph::~SpeedGraph() = default;

double SpeedGraph::unitSeconds() const
{
    return lastSeconds_ - firstSeconds_ > kHoursFromSeconds ? 3600.0 : 60.0;
}

void SpeedGraph::showBoats(std::vector<Boat> boats, const WindEstimate* vmgWind, double firstSeconds,
                           double lastSeconds)
{
    boats_ = std::move(boats);
    wind_ = vmgWind;
    firstSeconds_ = firstSeconds;
    lastSeconds_ = std::max(lastSeconds, firstSeconds + 60);
    makeLines();
}

void SpeedGraph::showEvent(QShowEvent* event)
{
    QChartView::showEvent(event);
    if (linesWanted_)
        resized_.start(); // once the window is laid out
}

void SpeedGraph::makeLines()
{
    linesWanted_ = !isVisible();
    if (linesWanted_)
        return;
    QChart* graph = chart();
    const double unit = unitSeconds();
    plotColumns_ = std::max(kMinColumns, static_cast<int>(plotRect().width()));
    std::vector<Line> lines;
    for (const Boat& boat : boats_)
        for (const bool vmg : {false, true})
            if (!vmg || wind_)
                lines.push_back({boat.Analysis, vmg, nullptr});
    const int count = static_cast<int>(lines.size());
    const int columns = count > 0 ? std::clamp(kMostPoints / (2 * count), 1, plotColumns_) : plotColumns_;
    std::vector<QList<QPointF>> points;
    points_ = 0;
    double low = 0, high = 1;
    for (const Line& line : lines) {
        points.push_back(
            ColumnExtremes(*line.Boat, line.Vmg ? wind_ : nullptr, firstSeconds_, lastSeconds_, columns, unit));
        for (const QPointF& p : points.back()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        points_ += points.back().size();
    }

    // The axes and the legend first: Qt Charts lays out every line again whenever they change.
    timeAxis_->setTitleText(unit == 3600 ? QStringLiteral("Race time, hours") : QStringLiteral("Race time, minutes"));
    timeAxis_->setRange(firstSeconds_ / unit, lastSeconds_ / unit);
    timeAxis_->setTickInterval(TickInterval((lastSeconds_ - firstSeconds_) / unit, unit));
    speedAxis_->setTitleText(wind_ ? QStringLiteral("Speed and VMG (dashed), kn") : QStringLiteral("Speed, kn"));
    speedAxis_->setRange(low, high * 1.05);
    speedAxis_->applyNiceNumbers();
    // The boat list beside the graph shows every boat's colour; the legend only for a few.
    graph->legend()->setVisible(!boats_.empty() && boats_.size() <= kMostBoatsWithLegend);

    // The same lines as before take their new points; other lines are made anew.
    const bool same = std::equal(lines.begin(), lines.end(), lines_.begin(), lines_.end(),
                                 [](const Line& a, const Line& b) { return a.Boat == b.Boat && a.Vmg == b.Vmg; });
    if (same) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            lines_[i].Series->replace(points[i]);
    } else {
        graph->removeAllSeries();
        lines_.clear();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            const Boat& boat = boats_[i / (wind_ ? 2 : 1)];
            auto* series = new QLineSeries;
            series->setName(line.Vmg ? boat.Caption + QStringLiteral(" VMG") : boat.Caption);
            // One pixel wide: the painter's fast lines, many times quicker than wider ones.
            QPen pen(boat.Colour, 1);
            if (line.Vmg)
                pen.setStyle(Qt::DashLine);
            series->setPen(pen);
            series->replace(points[i]);
            graph->addSeries(series);
            series->attachAxis(timeAxis_);
            series->attachAxis(speedAxis_);
            if (line.Vmg) // the legend names each boat once; the axis says the dashed lines are VMG
                for (QLegendMarker* marker : graph->legend()->markers(series))
                    marker->setVisible(false);
            lines_.push_back({line.Boat, line.Vmg, series});
        }
    }
    pictureValid_ = false;
    viewport()->update();
}

QRectF SpeedGraph::plotRect() const
{
    const QRectF plot = chart()->plotArea(); // in the chart's coordinates
    const QPolygonF inScene = chart()->mapToScene(plot);
    return mapFromScene(inScene).boundingRect();
}

double SpeedGraph::positionLineX() const
{
    const QRectF plot = plotRect();
    if (!(lastSeconds_ > firstSeconds_) || positionSeconds_ < firstSeconds_ || positionSeconds_ > lastSeconds_)
        return std::numeric_limits<double>::quiet_NaN();
    return plot.left() + (positionSeconds_ - firstSeconds_) / (lastSeconds_ - firstSeconds_) * plot.width();
}

double SpeedGraph::raceSecondsAt(double x) const
{
    const QRectF plot = plotRect();
    const double share = plot.width() > 0 ? std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0) : 0.0;
    return firstSeconds_ + share * (lastSeconds_ - firstSeconds_);
}

void SpeedGraph::showPosition(double raceSeconds)
{
    if (raceSeconds == positionSeconds_)
        return;
    const double before = positionLineX();
    positionSeconds_ = raceSeconds;
    const double now = positionLineX();
    if (std::isnan(before) && std::isnan(now))
        return;
    if (std::lround(before) == std::lround(now))
        return; // the same pixel column
    repaintLine(before);
    repaintLine(now);
}

void SpeedGraph::repaintLine(double x)
{
    if (std::isnan(x))
        return;
    const QRectF plot = plotRect();
    viewport()->update(QRect(static_cast<int>(std::floor(x)) - 2, static_cast<int>(std::floor(plot.top())) - 1, 5,
                             static_cast<int>(std::ceil(plot.height())) + 3));
}

void SpeedGraph::paintEvent(QPaintEvent* event)
{
    const double ratio = viewport()->devicePixelRatioF();
    const QSize size = viewport()->size();
    const QSize pixels(static_cast<int>(std::ceil(size.width() * ratio)),
                       static_cast<int>(std::ceil(size.height() * ratio)));
    if (!pictureValid_ || picture_.size() != pixels) {
        picture_ = QPixmap(pixels);
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::white);
        QPainter painter(&picture_);
        painter.setRenderHints(renderHints());
        render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), viewport()->rect());
        pictureValid_ = true;
        ++redraws_;
    }
    QPainter painter(viewport());
    const QRect area = event->rect();
    painter.drawPixmap(QRectF(area), picture_,
                       QRectF(area.left() * ratio, area.top() * ratio, area.width() * ratio, area.height() * ratio));
    const double x = positionLineX();
    if (!std::isnan(x)) {
        const QRectF plot = plotRect();
        painter.setPen(QPen(kPositionLine, 1.5));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
}

void SpeedGraph::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    pictureValid_ = false;
    if (!boats_.empty() || linesWanted_)
        resized_.start();
}

void SpeedGraph::seekAt(double x)
{
    if (onSeek)
        onSeek(raceSecondsAt(x));
}

void SpeedGraph::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && plotRect().adjusted(-4, 0, 4, 0).contains(event->position())) {
        dragging_ = true;
        seekAt(event->position().x());
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void SpeedGraph::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_) {
        seekAt(event->position().x());
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void SpeedGraph::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void SpeedGraph::keyPressEvent(QKeyEvent* event)
{
    static constexpr std::pair<int, QAbstractSlider::SliderAction> kKeys[] = {
        {Qt::Key_Left, QAbstractSlider::SliderSingleStepSub}, {Qt::Key_Right, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_PageUp, QAbstractSlider::SliderPageStepSub}, {Qt::Key_PageDown, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Home, QAbstractSlider::SliderToMinimum},     {Qt::Key_End, QAbstractSlider::SliderToMaximum}};
    for (const auto& [key, action] : kKeys) {
        if (event->key() == key) {
            if (onStepKey)
                onStepKey(action);
            event->accept();
            return;
        }
    }
    QChartView::keyPressEvent(event);
}

} // namespace tideplot
