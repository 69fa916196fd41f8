#include "earth/chart/chartwidget.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tideplot {

namespace {

constexpr double kZoomStep = 1.25;
constexpr double kTurnStepDeg = 15;
constexpr double kMinTurnRadiusPx = 20;

} // namespace

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(kChartWindowTitle));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    resize(sizeHint());
    renderer().setChangedHandler([this] { repaints_.request(); });
}

ChartWidget::~ChartWidget() = default;

void ChartWidget::addLines(const std::vector<KmlLineString>& lines)
{
    renderer().addLines(lines);
    repaints_.request();
}

void ChartWidget::setFinishLine(const std::optional<FinishEnds>& line)
{
    if (!line) {
        setCourse(std::nullopt);
        return;
    }
    Course course;
    course.Finish = FinishLine{line->Lat1, line->Lon1, line->Lat2, line->Lon2};
    setCourse(course);
}

void ChartWidget::setCourse(const std::optional<Course>& course)
{
    renderer().setCourse(course);
    if (drag_ == Drag::Buoy)
        drag_ = Drag::None;
    update();
}

void ChartWidget::setBuoyDragging(BuoyMoved moved)
{
    buoyMoved_ = std::move(moved);
    if (!buoyMoved_ && drag_ == Drag::Buoy)
        drag_ = Drag::None;
}

void ChartWidget::pickPositions(int count, std::function<void(std::vector<LatLon>)> done)
{
    pickCount_ = std::max(count, 0);
    picked_.clear();
    pickDone_ = std::move(done);
    setCursor(pickCount_ > 0 ? Qt::CrossCursor : Qt::ArrowCursor);
}

void ChartWidget::clearLines()
{
    renderer().clearLines();
    update();
}

void ChartWidget::setManoeuvreMarks(std::vector<ManoeuvreMark> marks)
{
    renderer().setManoeuvreMarks(std::move(marks));
    update();
}

void ChartWidget::setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark)
{
    renderer().setHighlightedManoeuvre(mark);
    update();
}

std::size_t ChartWidget::manoeuvreMarksShown() const
{
    return renderer().manoeuvreMarksShown();
}

void ChartWidget::bringIntoView(double lat, double lon)
{
    if (picture_.camera().bringIntoView(lat, lon, QSizeF(size())))
        update();
}

void ChartWidget::setFleet(const std::vector<FleetBoat>& boats)
{
    renderer().setFleet(boats);
    repaints_.request();
}

void ChartWidget::setSeries(const ReplaySeries* series)
{
    renderer().setSeries(series);
    repaints_.request();
}

void ChartWidget::showStep(long long step, long long keptSteps)
{
    renderer().showStep(step, keptSteps);
    repaints_.request();
}

void ChartWidget::setTailMinutes(double minutes)
{
    renderer().setTailMinutes(minutes);
    update();
}

void ChartWidget::setSnapshotBytes(std::size_t bytes)
{
    renderer().setSnapshotBytes(bytes);
}

void ChartWidget::setCamera(const CameraInfoGE& camera)
{
    picture_.camera().set(camera);
    repaints_.request();
}

CameraInfoGE ChartWidget::camera() const
{
    return picture_.camera().info();
}

ChartViewport ChartWidget::viewport(const QSizeF& sizePx) const
{
    return picture_.camera().viewport(sizePx);
}

QImage ChartWidget::renderImage(const QSize& sizePx) const
{
    return renderer().drawnImage(viewport(QSizeF(sizePx)));
}

void ChartWidget::setMapSource(std::shared_ptr<MapSource> map)
{
    renderer().setMapSource(std::move(map));
    update();
}

std::vector<TileKey> ChartWidget::mapTilesFor(const QSize& sizePx) const
{
    return renderer().mapTilesFor(viewport(QSizeF(sizePx)));
}

QString ChartWidget::mapLeftOut(const QSize& sizePx) const
{
    return renderer().mapLeftOut(viewport(QSizeF(sizePx)));
}

void ChartWidget::setMapMessageHandler(std::function<void(const QString&)> handler)
{
    picture_.setMapMessageHandler(std::move(handler));
}

void ChartWidget::reportMapMessage(const QString& message)
{
    renderer().reportMapMessage(message);
}

void ChartWidget::setMapLeftOutHandler(std::function<void(const QString&)> handler)
{
    renderer().setMapLeftOutHandler(std::move(handler));
}

void ChartWidget::zoomBy(double factor, const QPointF& anchorPx)
{
    picture_.camera().zoomBy(factor, anchorPx, QSizeF(size()));
    update();
}

void ChartWidget::turnBy(double degrees)
{
    picture_.camera().turnBy(degrees);
    update();
}

void ChartWidget::panBy(const QPointF& deltaPx)
{
    picture_.camera().panBy(deltaPx, QSizeF(size()));
    update();
}

QStringList ChartWidget::boatsNear(const QPointF& atPx) const
{
    constexpr double kNearPx = 10;
    const QTransform toScreen = viewport(size()).projectedToScreen();
    QStringList near;
    for (const ChartTrack& label : renderer().labels()) {
        const QPointF at = toScreen.map(label.Newest);
        if (!label.Name.isEmpty() && std::hypot(at.x() - atPx.x(), at.y() - atPx.y()) <= kNearPx)
            near << label.Name;
    }
    return near;
}

bool ChartWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const QStringList near = boatsNear(help->pos()); !near.isEmpty()) {
            QToolTip::showText(help->globalPos(), near.join(u'\n'), this);
            return true;
        }
    }
    return QWidget::event(event);
}

void ChartWidget::paintEvent(QPaintEvent*)
{
    repaints_.ran();
    QPainter painter(this);
    renderer().paint(painter, viewport(QSizeF(size())));
}

void ChartWidget::keyPressEvent(QKeyEvent* event)
{
    if (pickCount_ > 0 && event->key() == Qt::Key_Escape) {
        pickPositions(0, {});
        event->accept();
        return;
    }
    if (drag_ == Drag::Buoy && event->key() == Qt::Key_Escape) {
        renderer().moveBuoy(draggedBuoy_, draggedFrom_.LatDeg, draggedFrom_.LonDeg);
        drag_ = Drag::None;
        update();
        event->accept();
        return;
    }
    const QPointF centre(width() / 2.0, height() / 2.0);
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(kZoomStep, centre);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoomBy(1 / kZoomStep, centre);
        break;
    case Qt::Key_BracketLeft:
        turnBy(-kTurnStepDeg);
        break;
    case Qt::Key_BracketRight:
        turnBy(kTurnStepDeg);
        break;
    case Qt::Key_Left:
        ctrl ? turnBy(-kTurnStepDeg) : panBy({width() / 8.0, 0});
        break;
    case Qt::Key_Right:
        ctrl ? turnBy(kTurnStepDeg) : panBy({-width() / 8.0, 0});
        break;
    case Qt::Key_Up:
        panBy({0, height() / 8.0});
        break;
    case Qt::Key_Down:
        panBy({0, -height() / 8.0});
        break;
    case Qt::Key_N:
        turnBy(-picture_.camera().headingDeg());
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ChartWidget::mousePressEvent(QMouseEvent* event)
{
    if (pickCount_ > 0 && event->button() == Qt::LeftButton) {
        const QTransform toScreen = viewport(size()).projectedToScreen();
        picked_.push_back(UnprojectPoint(toScreen.inverted().map(event->position())));
        event->accept();
        if (static_cast<int>(picked_.size()) < pickCount_)
            return;
        pickCount_ = 0;
        setCursor(Qt::ArrowCursor);
        std::vector<LatLon> positions = std::move(picked_);
        picked_.clear();
        if (auto done = std::move(pickDone_))
            done(std::move(positions));
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    lastMousePx_ = event->position();
    if (const std::optional<Course>& course = renderer().course(); buoyMoved_ && course) {
        if (const auto buoy = CourseBuoyAt(viewport(size()), *course, event->position())) {
            const CourseMark& mark = course->Marks[buoy->Mark];
            draggedBuoy_ = *buoy;
            draggedFrom_ = buoy->End == 1 ? LatLon{mark.Lat2, mark.Lon2} : LatLon{mark.Lat, mark.Lon};
            drag_ = Drag::Buoy;
            event->accept();
            return;
        }
    }
    drag_ = event->modifiers().testFlag(Qt::ShiftModifier) ? Drag::Turn : Drag::Pan;
    event->accept();
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    if (drag_ == Drag::Pan) {
        panBy(at - lastMousePx_);
    } else if (drag_ == Drag::Buoy) {
        const LatLon to = UnprojectPoint(viewport(size()).projectedToScreen().inverted().map(at));
        renderer().moveBuoy(draggedBuoy_, to.LatDeg, to.LonDeg);
        update();
    } else if (drag_ == Drag::Turn) {
        // The chart turns with the pointer about its centre; turning it clockwise by an
        // angle brings up the heading that was that angle anticlockwise of up.
        const QPointF centre(width() / 2.0, height() / 2.0);
        const QPointF from = lastMousePx_ - centre, to = at - centre;
        double clockwiseDeg = 0;
        if (std::hypot(from.x(), from.y()) >= kMinTurnRadiusPx && std::hypot(to.x(), to.y()) >= kMinTurnRadiusPx) {
            clockwiseDeg = (std::atan2(to.y(), to.x()) - std::atan2(from.y(), from.x())) * 180 / std::numbers::pi;
            clockwiseDeg = std::remainder(clockwiseDeg, 360.0);
        } else {
            clockwiseDeg = (at.x() - lastMousePx_.x()) * 0.5;
        }
        turnBy(-clockwiseDeg);
    } else {
        QWidget::mouseMoveEvent(event);
        return;
    }
    lastMousePx_ = at;
    event->accept();
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && drag_ == Drag::Buoy) {
        drag_ = Drag::None;
        const LatLon to = UnprojectPoint(viewport(size()).projectedToScreen().inverted().map(event->position()));
        renderer().moveBuoy(draggedBuoy_, to.LatDeg, to.LonDeg);
        update();
        const CourseMark& mark = renderer().course()->Marks[draggedBuoy_.Mark];
        const LatLon at = draggedBuoy_.End == 1 ? LatLon{mark.Lat2, mark.Lon2} : LatLon{mark.Lat, mark.Lon};
        event->accept();
        if (at.LatDeg != draggedFrom_.LatDeg || at.LonDeg != draggedFrom_.LonDeg) {
            if (auto moved = buoyMoved_) // it may set another course
                moved(draggedBuoy_, at.LatDeg, at.LonDeg);
        }
        return;
    }
    if (event->button() == Qt::LeftButton && drag_ != Drag::None) {
        drag_ = Drag::None;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ChartWidget::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    zoomBy(std::pow(kZoomStep, notches), event->position());
    event->accept();
}

} // namespace tideplot
