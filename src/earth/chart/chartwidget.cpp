#include "earth/chart/chartwidget.h"

#include "core/error.h"
#include "earth/chart/chartmap.h"
#include "earth/map/mapsource.h"

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

constexpr double kMinRangeMetres = 10;
constexpr double kMaxRangeMetres = 4e7;
constexpr double kZoomStep = 1.25;
constexpr double kTurnStepDeg = 15;
constexpr double kMinTurnRadiusPx = 20;

void CheckNumber(double value, const char* what)
{
    if (!std::isfinite(value))
        throw Error(std::string("the chart cannot move the camera: its ") + what + " is not a number");
}

} // namespace

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(kChartWindowTitle));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    resize(sizeHint());
}

ChartWidget::~ChartWidget()
{
    if (map_) { // a map that outlives the chart calls it back no more
        map_->setTileHandler(nullptr);
        map_->setFailureHandler(nullptr);
    }
}

void ChartWidget::addLines(const std::vector<KmlLineString>& lines)
{
    if (layer_.Valid) {
        tracks_.add(lines, &pending_);
        snapshots_.clear(); // they would lack the new lines
        if (pending_.size() > kMaxPendingSegments) {
            pending_ = {};
            layer_.Valid = false;
        }
    } else {
        tracks_.add(lines);
    }
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
    course_ = course;
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
    tracks_ = ChartTracks{};
    pending_.clear();
    layer_.Valid = false;
    update();
}

void ChartWidget::setManoeuvreMarks(std::vector<ManoeuvreMark> marks)
{
    std::stable_sort(marks.begin(), marks.end(),
                     [](const ManoeuvreMark& a, const ManoeuvreMark& b) { return a.RaceClockDays < b.RaceClockDays; });
    marks_ = std::move(marks);
    update();
}

void ChartWidget::setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark)
{
    highlighted_ = mark;
    update();
}

std::size_t ChartWidget::manoeuvreMarksShown() const
{
    return ManoeuvreMarksShown(marks_, tail_).size();
}

void ChartWidget::bringIntoView(double lat, double lon)
{
    const QSizeF size = this->size();
    const QPointF projected = ProjectLatLon(lat, lon);
    const QPointF at = viewport(size).projectedToScreen().map(projected);
    const QRectF middle = QRectF(QPointF(0, 0), size)
                              .adjusted(size.width() / 10, size.height() / 10, -size.width() / 10, -size.height() / 10);
    if (middle.contains(at))
        return;
    moveFocusTo(projected);
    update();
}

double ChartWidget::maxWidth() const
{
    return std::max(tracks_.maxWidth(), series_.maxWidth());
}

void ChartWidget::setFleet(const std::vector<FleetBoat>& boats)
{
    series_.setFleet(boats);
    layer_.Valid = false;
    repaints_.request();
}

void ChartWidget::setSeries(const ReplaySeries* series)
{
    series_.setSeries(series);
    tail_.RaceClockDays = series_.raceClock();
    layerStep_ = 0;
    layer_.Valid = false;
    repaints_.request();
}

void ChartWidget::showStep(long long step, long long keptSteps)
{
    const long long before = series_.shownStep();
    series_.setShownStep(step);
    tail_.RaceClockDays = series_.raceClock();
    // The cached picture holds the pieces up to layerStep_: it takes the new ones at the
    // next paint when the replay went on from there, goes back to a snapshot when the replay
    // went back, else it is drawn again.
    const bool wentOn = keptSteps == before && series_.shownStep() >= layerStep_;
    if (tail_.whole() && !wentOn) {
        if (series_.shownStep() < layerStep_ && !snapshots_.empty())
            layerAhead_ = true;
        else
            layer_.Valid = false;
    }
    repaints_.request();
}

void ChartWidget::setTailMinutes(double minutes)
{
    if (!(minutes >= 0) || !std::isfinite(minutes))
        throw Error("the chart cannot draw a tail of " + QString::number(minutes).toStdString() +
                    " minutes: the tail is a number of minutes from 0 (0: the whole track)");
    const bool wasWhole = tail_.whole();
    tail_.Minutes = minutes;
    if (tail_.whole() != wasWhole)
        layer_.Valid = false;
    update();
}

void ChartWidget::setCamera(const CameraInfoGE& camera)
{
    CheckNumber(camera.FocusPointLatitude, "latitude");
    CheckNumber(camera.FocusPointLongitude, "longitude");
    CheckNumber(camera.Range, "range");
    CheckNumber(camera.Azimuth, "azimuth");
    CheckNumber(camera.Tilt, "tilt");
    moveFocusTo(ProjectLatLon(camera.FocusPointLatitude, camera.FocusPointLongitude));
    setRange(camera.Range);
    headingDeg_ = NormalizedHeading(camera.Azimuth);
    tiltDeg_ = camera.Tilt;
    focusAltitude_ = camera.FocusPointAltitude;
    focusAltitudeMode_ = camera.FocusPointAltitudeMode;
    repaints_.request();
}

CameraInfoGE ChartWidget::camera() const
{
    const LatLon focus = UnprojectPoint(focus_);
    CameraInfoGE camera;
    camera.FocusPointLatitude = focus.LatDeg;
    camera.FocusPointLongitude = focus.LonDeg;
    camera.FocusPointAltitude = focusAltitude_;
    camera.FocusPointAltitudeMode = focusAltitudeMode_;
    camera.Range = rangeMetres_;
    camera.Tilt = tiltDeg_;
    camera.Azimuth = headingDeg_;
    return camera;
}

ChartViewport ChartWidget::viewport(const QSizeF& sizePx) const
{
    return ChartViewport{focus_, rangeMetres_, headingDeg_, sizePx};
}

QImage ChartWidget::renderImage(const QSize& sizePx) const
{
    if (sizePx.isEmpty())
        return {};
    QImage image(sizePx, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    // The course between the tracks and the labels, as the window paints it.
    DrawChart(painter, viewport(sizePx), tracks_, &series_, map_.get(), tail_, [this, &sizePx](QPainter& p) {
        if (course_)
            DrawCourse(p, viewport(sizePx), *course_);
    });
    return image;
}

void ChartWidget::setMapSource(std::shared_ptr<MapSource> map)
{
    if (map_) {
        map_->setTileHandler(nullptr);
        map_->setFailureHandler(nullptr);
    }
    map_ = std::move(map);
    mapRequested_.clear();
    if (map_) {
        map_->setTileHandler([this](const TileKey& key) { mapTileArrived(key); });
        map_->setFailureHandler([this](const QString& message) { reportMapMessage(message); });
    }
    layer_.Valid = false;
    update();
}

std::vector<TileKey> ChartWidget::mapTilesFor(const QSize& sizePx) const
{
    if (!map_ || sizePx.isEmpty())
        return {};
    const ChartViewport vp = viewport(sizePx);
    const ChartMap map = ChartMapFor(map_.get(), vp);
    return MapTilesToLoad(vp.projectedToScreen(), QRectF(QPointF(0, 0), vp.SizePx), map.Zoom);
}

QString ChartWidget::mapLeftOut(const QSize& sizePx) const
{
    if (!map_ || sizePx.isEmpty())
        return {};
    return ChartMapFor(map_.get(), viewport(sizePx)).LeftOut;
}

void ChartWidget::setMapMessageHandler(std::function<void(const QString&)> handler)
{
    onMapMessage_ = std::move(handler);
}

void ChartWidget::reportMapMessage(const QString& message)
{
    mapMessage_ = message;
    if (onMapMessage_)
        onMapMessage_(message);
}

void ChartWidget::mapTileArrived(const TileKey& key)
{
    // A tile drawn on the cached picture at its zoom, or a coarser one that stands in for
    // tiles not there yet: that piece of the picture is drawn again at the next repaint.
    if (!layer_.Valid || layer_.MapZoom < 0 || key.Z > layer_.MapZoom || key.Z < layer_.MapZoom - kMapParentLevels)
        return;
    const QRectF image(QPointF(0, 0), layer_.View.SizePx);
    const int n = TilesAcross(key.Z);
    for (int copy = -1; copy <= 1; ++copy) {
        const QRectF area =
            layer_.ProjectedToImage.mapRect(MapTileProjectedRect({key.Z, key.X + copy * n, key.Y})).intersected(image);
        if (!area.isEmpty())
            layer_.MapArrived |= area;
    }
    if (!layer_.MapArrived.isEmpty())
        repaints_.request();
}

void ChartWidget::requestMapTiles(const ChartViewport& viewport)
{
    if (!map_ || layer_.MapZoom < 0)
        return;
    std::vector<TileKey> keys =
        MapTilesToLoad(viewport.projectedToScreen(), QRectF(QPointF(0, 0), viewport.SizePx), layer_.MapZoom);
    if (keys == mapRequested_)
        return;
    map_->request(keys);
    mapRequested_ = std::move(keys);
}

void ChartWidget::zoomBy(double factor, const QPointF& anchorPx)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const QSizeF size = this->size();
    const QPointF anchor = viewport(size).projectedToScreen().inverted().map(anchorPx);
    setRange(rangeMetres_ / factor);
    const QPointF moved = viewport(size).projectedToScreen().inverted().map(anchorPx);
    moveFocusTo(focus_ + anchor - moved);
    update();
}

void ChartWidget::turnBy(double degrees)
{
    headingDeg_ = NormalizedHeading(headingDeg_ + degrees);
    update();
}

void ChartWidget::panBy(const QPointF& deltaPx)
{
    const QSizeF size = this->size();
    const QPointF centre(size.width() / 2, size.height() / 2);
    moveFocusTo(viewport(size).projectedToScreen().inverted().map(centre - deltaPx));
    update();
}

void ChartWidget::moveFocusTo(const QPointF& projected)
{
    const QPointF corner = ProjectLatLon(90, 180);
    focus_ =
        QPointF(std::clamp(projected.x(), -corner.x(), corner.x()), std::clamp(projected.y(), -corner.y(), corner.y()));
}

void ChartWidget::setRange(double rangeMetres)
{
    rangeMetres_ = std::clamp(rangeMetres, kMinRangeMetres, kMaxRangeMetres);
}

QStringList ChartWidget::boatsNear(const QPointF& atPx) const
{
    constexpr double kNearPx = 10;
    const QTransform toScreen = viewport(size()).projectedToScreen();
    QStringList near;
    for (const ChartTrack& label : ChartLabels(tracks_, series_)) {
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
    const ChartViewport vp = viewport(size());
    const QTransform toScreen = vp.projectedToScreen();
    updateTrackLayer(vp, toScreen);
    requestMapTiles(vp);

    QPainter painter(this);
    const QTransform imageToScreen = layer_.ProjectedToImage.inverted() * toScreen;
    if (imageToScreen.type() <= QTransform::TxTranslate) {
        painter.drawImage(QPointF(std::round(imageToScreen.dx()), std::round(imageToScreen.dy())), layer_.Image);
    } else {
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setTransform(imageToScreen, true);
        painter.drawImage(QPointF(0, 0), layer_.Image);
        painter.restore();
    }
    if (!tail_.whole()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        series_.drawTail(painter, toScreen, VisibleProjectedRect(vp, maxWidth() + 2), tail_, 0.5);
        painter.restore();
    }
    if (course_)
        DrawCourse(painter, vp, *course_);
    if (!marks_.empty())
        DrawManoeuvreMarks(painter, vp, marks_, series_, tail_);
    if (highlighted_)
        DrawHighlightedManoeuvre(painter, vp, *highlighted_, series_);
    DrawChartOverlay(painter, vp, ChartLabels(tracks_, series_), layer_.Grid, map_ ? map_->attribution() : QString());
}

void ChartWidget::keyPressEvent(QKeyEvent* event)
{
    if (pickCount_ > 0 && event->key() == Qt::Key_Escape) {
        pickPositions(0, {});
        event->accept();
        return;
    }
    if (drag_ == Drag::Buoy && event->key() == Qt::Key_Escape) {
        MoveCourseBuoy(*course_, draggedBuoy_, draggedFrom_.LatDeg, draggedFrom_.LonDeg);
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
        turnBy(-headingDeg_);
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
    if (buoyMoved_ && course_) {
        if (const auto buoy = CourseBuoyAt(viewport(size()), *course_, event->position())) {
            const CourseMark& mark = course_->Marks[buoy->Mark];
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
        MoveCourseBuoy(*course_, draggedBuoy_, to.LatDeg, to.LonDeg);
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
        MoveCourseBuoy(*course_, draggedBuoy_, to.LatDeg, to.LonDeg);
        update();
        const CourseMark& mark = course_->Marks[draggedBuoy_.Mark];
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
