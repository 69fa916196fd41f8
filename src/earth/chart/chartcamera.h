#pragma once

#include "earth/applicationge.h"
#include "earth/chart/chartview.h"

#include <QPointF>
#include <QSizeF>

// The camera the chart is seen by: a focus point, a range that sets the scale as in Google
// Earth (chartview.h) and the heading that points up. The chart looks straight down; the
// tilt and the focus's altitude are kept for whoever reads the camera back.
namespace tideplot {

class ChartCamera {
public:
    // Moves at once. Throws Error when a value is not a number; a range below 10 m or above
    // 40,000 km is taken as that limit.
    void set(const CameraInfoGE& camera);
    CameraInfoGE info() const;
    double headingDeg() const { return headingDeg_; }

    // The view on a picture of `sizePx`.
    ChartViewport viewport(const QSizeF& sizePx) const
    {
        return ChartViewport{focus_, rangeMetres_, headingDeg_, sizePx};
    }

    // On a picture of `sizePx`: zoom by `factor` (above 1 is closer) keeping the point at
    // `anchorPx` in place; turn so that the heading grows by `degrees`; move the chart by
    // `deltaPx`.
    void zoomBy(double factor, const QPointF& anchorPx, const QSizeF& sizePx);
    void turnBy(double degrees);
    void panBy(const QPointF& deltaPx, const QSizeF& sizePx);
    // Moves the focus to the position (degrees) when it lies outside the middle four fifths
    // of a picture of `sizePx`; the scale and heading are kept. False when it was in there.
    bool bringIntoView(double lat, double lon, const QSizeF& sizePx);

private:
    void moveFocusTo(const QPointF& projected);
    void setRange(double rangeMetres);

    QPointF focus_; // projected metres
    double rangeMetres_ = 1e7;
    double headingDeg_ = 0;
    double tiltDeg_ = 0;
    double focusAltitude_ = 0;
    int focusAltitudeMode_ = 1;
};

// `camera` with its focus and range changed so that a picture of `sizePx` shows the whole
// box from the south-west to the north-east corner (degrees) at its heading, with
// `marginFraction` of the picture to spare, in the chart's own projection: far-apart boats,
// north and south, at any heading, all land in the picture. Its range is never below 1000
// metres.
CameraInfoGE CameraShowing(CameraInfoGE camera, double southLat, double westLon, double northLat, double eastLon,
                           const QSizeF& sizePx, double marginFraction);

} // namespace tideplot
