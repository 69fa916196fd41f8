#include "earth/chart/chartcamera.h"

#include "core/error.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace tideplot {

namespace {

constexpr double kMinRangeMetres = 10;
constexpr double kMaxRangeMetres = 4e7;

void CheckNumber(double value, const char* what)
{
    if (!std::isfinite(value))
        throw Error(std::string("the chart cannot move the camera: its ") + what + " is not a number");
}

} // namespace

void ChartCamera::set(const CameraInfoGE& camera)
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
}

CameraInfoGE ChartCamera::info() const
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

void ChartCamera::zoomBy(double factor, const QPointF& anchorPx, const QSizeF& sizePx)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const QPointF anchor = viewport(sizePx).projectedToScreen().inverted().map(anchorPx);
    setRange(rangeMetres_ / factor);
    const QPointF moved = viewport(sizePx).projectedToScreen().inverted().map(anchorPx);
    moveFocusTo(focus_ + anchor - moved);
}

void ChartCamera::turnBy(double degrees)
{
    headingDeg_ = NormalizedHeading(headingDeg_ + degrees);
}

void ChartCamera::panBy(const QPointF& deltaPx, const QSizeF& sizePx)
{
    const QPointF centre(sizePx.width() / 2, sizePx.height() / 2);
    moveFocusTo(viewport(sizePx).projectedToScreen().inverted().map(centre - deltaPx));
}

bool ChartCamera::bringIntoView(double lat, double lon, const QSizeF& sizePx)
{
    const QPointF projected = ProjectLatLon(lat, lon);
    const QPointF at = viewport(sizePx).projectedToScreen().map(projected);
    const QRectF middle =
        QRectF(QPointF(0, 0), sizePx)
            .adjusted(sizePx.width() / 10, sizePx.height() / 10, -sizePx.width() / 10, -sizePx.height() / 10);
    if (middle.contains(at))
        return false;
    moveFocusTo(projected);
    return true;
}

void ChartCamera::moveFocusTo(const QPointF& projected)
{
    const QPointF corner = ProjectLatLon(90, 180);
    focus_ =
        QPointF(std::clamp(projected.x(), -corner.x(), corner.x()), std::clamp(projected.y(), -corner.y(), corner.y()));
}

void ChartCamera::setRange(double rangeMetres)
{
    rangeMetres_ = std::clamp(rangeMetres, kMinRangeMetres, kMaxRangeMetres);
}

CameraInfoGE CameraShowing(CameraInfoGE camera, double southLat, double westLon, double northLat, double eastLon,
                           const QSizeF& sizePx, double marginFraction)
{
    const QPointF southWest = ProjectLatLon(southLat, westLon);
    const QPointF northEast = ProjectLatLon(northLat, eastLon);
    const LatLon focus = UnprojectPoint((southWest + northEast) / 2);
    camera.FocusPointLatitude = focus.LatDeg;
    camera.FocusPointLongitude = focus.LonDeg;
    // Half the box in projected metres, turned by the heading: the half it needs across
    // the picture and down it.
    const double halfEast = std::abs(northEast.x() - southWest.x()) / 2;
    const double halfNorth = std::abs(northEast.y() - southWest.y()) / 2;
    const double heading = camera.Azimuth * std::numbers::pi / 180;
    const double c = std::abs(std::cos(heading)), s = std::abs(std::sin(heading));
    const double halfAcross = halfEast * c + halfNorth * s;
    const double halfDown = halfEast * s + halfNorth * c;
    // A picture W pixels wide shows kChartGroundWidthPerRange * range / cos(focus
    // latitude) projected metres across (ChartViewport::pixelsPerProjectedMetre).
    const double width = std::max(sizePx.width(), 1.0), height = std::max(sizePx.height(), 1.0);
    const double across = std::max(2 * halfAcross, 2 * halfDown * width / height) * (1 + marginFraction);
    camera.Range =
        std::max(across * std::cos(focus.LatDeg * std::numbers::pi / 180) / kChartGroundWidthPerRange, 1000.0);
    return camera;
}

} // namespace tideplot
