#include "ui/timegraph.h"

#include "core/datetime.h"

#include <QChart>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace tideplot {

namespace {

constexpr double kHoursFromSeconds = 3 * 3600; // parts longer than this are drawn in hours
constexpr double kTicksWanted = 8;
constexpr int kMinColumns = 100;
constexpr int kResizePauseMs = 150;
constexpr double kLeastShownSeconds = 60; // zoomed in no further than a minute
constexpr double kZoomStep = 1.25;        // a notch of the wheel, a press of + or -
const QColor kPositionLine(0xd0, 0x20, 0x20);

// The time between the labels of the time axis: the shortest of the usual steps of a clock
// that gives at most kTicksWanted intervals over `span` (in `unit` seconds).
double TickInterval(double span, double unit)
{
    static constexpr double kMinuteSteps[] = {0.25, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 240};
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

TimeGraph::TimeGraph(QWidget* parent) : QChartView(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setRenderHint(QPainter::Antialiasing, true);
    setMinimumSize(320, 140);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    QChart* graph = chart();
    graph->setAnimationOptions(QChart::NoAnimation);
    graph->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QValueAxis;
    timeAxis_->setLabelFormat(QStringLiteral("%g"));
    timeAxis_->setTickType(QValueAxis::TicksDynamic);
    timeAxis_->setTickAnchor(0); // the gun
    graph->addAxis(timeAxis_, Qt::AlignBottom);
    // Whatever changes in the chart draws its picture again.
    connect(scene(), &QGraphicsScene::changed, this, [this] { chartChanged(); });
    resized_.setSingleShot(true);
    resized_.setInterval(kResizePauseMs);
    connect(&resized_, &QTimer::timeout, this, [this] {
        const int columns = std::max(kMinColumns, static_cast<int>(plotRect().width()));
        if (linesWanted_ || columns != plotColumns_)
            requestLines();
    });
    // The plot's width also changes with the legend and the axes' labels (a line left out, a
    // new range): the lines follow it once it has settled, a point pair a pixel column.
    connect(graph, &QChart::plotAreaChanged, this, [this] { resized_.start(); });
}

TimeGraph::~TimeGraph() = default;

void TimeGraph::chartChanged()
{
    pictureValid_ = false;
    viewport()->update();
}

double TimeGraph::unitSeconds() const
{
    return shownLast_ - shownFirst_ > kHoursFromSeconds ? 3600.0 : 60.0;
}

void TimeGraph::setTimeRange(double firstSeconds, double lastSeconds)
{
    lastSeconds = std::max(lastSeconds, firstSeconds + kLeastShownSeconds);
    const bool whole = shownFirst_ <= firstSeconds_ && shownLast_ >= lastSeconds_;
    firstSeconds_ = firstSeconds;
    lastSeconds_ = lastSeconds;
    if (whole || shownFirst_ < firstSeconds_ || shownLast_ > lastSeconds_) {
        shownFirst_ = firstSeconds_;
        shownLast_ = lastSeconds_;
    }
}

void TimeGraph::showPart(double first, double last)
{
    const double span = std::clamp(last - first, kLeastShownSeconds, lastSeconds_ - firstSeconds_);
    first = std::clamp(first, firstSeconds_, lastSeconds_ - span);
    if (first == shownFirst_ && first + span == shownLast_)
        return;
    shownFirst_ = first;
    shownLast_ = first + span;
    requestLines();
    if (pointerX_ >= 0)
        pointAt(pointerX_);
}

void TimeGraph::zoom(double factor, double aboutSeconds)
{
    const double share = (aboutSeconds - shownFirst_) / (shownLast_ - shownFirst_);
    const double span = (shownLast_ - shownFirst_) / factor;
    showPart(aboutSeconds - share * span, aboutSeconds - share * span + span);
}

void TimeGraph::requestLines()
{
    linesWanted_ = !isVisible();
    if (linesWanted_)
        return;
    plotColumns_ = std::max(kMinColumns, static_cast<int>(plotRect().width()));
    makeLines();
    chartChanged();
}

void TimeGraph::showTimeAxis()
{
    const double unit = unitSeconds();
    timeAxis_->setTitleText(unit == 3600 ? QStringLiteral("Race time, hours") : QStringLiteral("Race time, minutes"));
    timeAxis_->setRange(shownFirst_ / unit, shownLast_ / unit);
    timeAxis_->setTickInterval(TickInterval((shownLast_ - shownFirst_) / unit, unit));
}

void TimeGraph::showEvent(QShowEvent* event)
{
    QChartView::showEvent(event);
    if (linesWanted_)
        resized_.start(); // once the window is laid out
}

QRectF TimeGraph::plotRect() const
{
    const QRectF plot = chart()->plotArea(); // in the chart's coordinates
    const QPolygonF inScene = chart()->mapToScene(plot);
    return mapFromScene(inScene).boundingRect();
}

double TimeGraph::positionLineX() const
{
    const QRectF plot = plotRect();
    if (!(shownLast_ > shownFirst_) || positionSeconds_ < shownFirst_ || positionSeconds_ > shownLast_)
        return std::numeric_limits<double>::quiet_NaN();
    return plot.left() + (positionSeconds_ - shownFirst_) / (shownLast_ - shownFirst_) * plot.width();
}

double TimeGraph::raceSecondsAt(double x) const
{
    const QRectF plot = plotRect();
    const double share = plot.width() > 0 ? std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0) : 0.0;
    return shownFirst_ + share * (shownLast_ - shownFirst_);
}

void TimeGraph::showPosition(double raceSeconds)
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

void TimeGraph::repaintLine(double x)
{
    if (std::isnan(x))
        return;
    const QRectF plot = plotRect();
    viewport()->update(QRect(static_cast<int>(std::floor(x)) - 2, static_cast<int>(std::floor(plot.top())) - 1, 5,
                             static_cast<int>(std::ceil(plot.height())) + 3));
}

void TimeGraph::paintEvent(QPaintEvent* event)
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
    const QRectF plot = plotRect();
    if (!std::isnan(x)) {
        painter.setPen(QPen(kPositionLine, 1.5));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    drawReadout(painter);
}

// A thin line at the pointer and a box of the values there, on the side of the pointer
// with more room.
void TimeGraph::drawReadout(QPainter& painter) const
{
    if (pointerX_ < 0 || readout_.isEmpty())
        return;
    const QRectF plot = plotRect();
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DotLine));
    painter.drawLine(QPointF(pointerX_, plot.top()), QPointF(pointerX_, plot.bottom()));
    const QFontMetrics metrics(font());
    const QRect text = metrics.boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft, readout_);
    QRectF box(0, plot.top() + 4, text.width() + 10, text.height() + 6);
    box.moveLeft(pointerX_ + 8 + box.width() < plot.right() ? pointerX_ + 8 : pointerX_ - 8 - box.width());
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    painter.setBrush(QColor(255, 255, 255, 235));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.drawText(box.adjusted(5, 3, -5, -3), Qt::AlignLeft, readout_);
}

void TimeGraph::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    pictureValid_ = false;
    resized_.start();
}

void TimeGraph::seekAt(double x)
{
    if (onSeek)
        onSeek(raceSecondsAt(x));
}

void TimeGraph::pointAt(double x)
{
    const QRectF plot = plotRect();
    if (x < plot.left() || x > plot.right()) {
        pointerX_ = -1;
        readout_.clear();
    } else {
        pointerX_ = x;
        const double seconds = raceSecondsAt(x);
        QStringList lines{QString::fromStdString(RaceClockText(seconds / kSecondsPerDay))};
        lines += valuesAt(seconds);
        readout_ = lines.join(u'\n');
    }
    viewport()->update();
}

void TimeGraph::mousePressEvent(QMouseEvent* event)
{
    const bool inPlot = plotRect().adjusted(-4, 0, 4, 0).contains(event->position());
    const bool pan = event->button() == Qt::RightButton ||
                     (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (inPlot && pan) {
        panning_ = true;
        panFromX_ = event->position().x();
        event->accept();
        return;
    }
    if (inPlot && event->button() == Qt::LeftButton) {
        dragging_ = true;
        seekAt(event->position().x());
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TimeGraph::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (panning_) {
        const double width = std::max(1.0, plotRect().width());
        const double seconds = (panFromX_ - x) / width * (shownLast_ - shownFirst_);
        panFromX_ = x;
        showPart(shownFirst_ + seconds, shownLast_ + seconds);
        event->accept();
        return;
    }
    if (dragging_) {
        seekAt(x);
        event->accept();
        return;
    }
    pointAt(x);
    QChartView::mouseMoveEvent(event);
}

void TimeGraph::mouseReleaseEvent(QMouseEvent* event)
{
    if (panning_ || dragging_) {
        panning_ = dragging_ = false;
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TimeGraph::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !plotRect().contains(event->position())) {
        QChartView::wheelEvent(event);
        return;
    }
    zoom(std::pow(kZoomStep, notches), raceSecondsAt(event->position().x()));
    event->accept();
}

void TimeGraph::leaveEvent(QEvent* event)
{
    pointAt(-1);
    QChartView::leaveEvent(event);
}

void TimeGraph::keyPressEvent(QKeyEvent* event)
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
    // Zoomed about the replay's position while it is in view, else about the middle.
    const double about = std::isnan(positionLineX()) ? (shownFirst_ + shownLast_) / 2 : positionSeconds_;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(kZoomStep, about);
        break;
    case Qt::Key_Minus:
        zoom(1 / kZoomStep, about);
        break;
    case Qt::Key_F:
    case Qt::Key_0:
        showPart(firstSeconds_, lastSeconds_);
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace tideplot
