#pragma once

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTransform>

// Where a latitude and longitude land on the chart, for a camera that looks straight
// down at a focus point from some range, as Google Earth's camera does.
namespace tideplot {

/* Spherical Mercator, the projection of nautical charts: straight rhumb lines, true
 * angles, and a scale that is the same in every direction at a point:
 *   x = R lon,  y = R ln tan(pi/4 + lat/2)          forward (Snyder eqs. 7-1, 7-2)
 *   lat = pi/2 - 2 atan(exp(-y/R)),  lon = x/R      inverse (eqs. 7-4, 7-5)
 *   one ground metre at latitude lat is sec(lat) projected metres (eq. 7-3)
 * (J. P. Snyder, Map Projections: A Working Manual, USGS Professional Paper 1395, 1987.)
 * R is the radius on which one minute of latitude is one nautical mile (1852 m), so the
 * chart agrees with the plane sailing of the replay. Latitudes are clamped to +-89.5
 * degrees, where y is still finite. */
inline constexpr double kChartEarthRadiusMetres = 1852.0 * 60.0 * 180.0 / 3.14159265358979323846;
inline constexpr double kMetresPerNauticalMile = 1852.0;

struct LatLon {
    double LatDeg = 0;
    double LonDeg = 0;
};

QPointF ProjectLatLon(double latDeg, double lonDeg); // projected metres, y to the north
LatLon UnprojectPoint(const QPointF& projected);

// Google Earth's camera sees 60 degrees across the width of its view, so from a range r
// the width shows 2 tan(30 deg) r of ground.
inline constexpr double kChartGroundWidthPerRange = 1.1547005383792515;

// One picture of the chart: a camera looking down at Focus, turned so that HeadingDeg
// points up, on SizePx pixels.
struct ChartViewport {
    QPointF Focus; // projected metres
    double RangeMetres = 1000;
    double HeadingDeg = 0; // clockwise from north
    QSizeF SizePx{640, 480};

    double groundMetresPerPixel() const; // at the focus
    double pixelsPerProjectedMetre() const;
    // Projected metres to pixels (x right, y down).
    QTransform projectedToScreen() const;
};

// The grid spacing, in minutes of arc: the smallest of 0.1', 0.2', 0.5', 1', 2', 5', 10',
// 15', 30', 1, 2, 5, 10, 15, 30 and 45 degrees whose lines lie at least `minSpacingPx`
// apart when one minute spans `pixelsPerMinute`.
double GridStepMinutes(double pixelsPerMinute, double minSpacingPx);

// Degrees and minutes for grid labels, with a decimal of the minute when the grid step
// is below one minute: "57°30'N", "11°45.5'E", "0°00'".
QString FormatLatitude(double latDeg, double stepMinutes);
QString FormatLongitude(double lonDeg, double stepMinutes);

// The longest scale bar of 1, 2 or 5 times a power of ten nautical miles that is at
// most `maxPx` long; 0 when even 0.001 NM is longer.
double ScaleBarNauticalMiles(double pixelsPerNauticalMile, double maxPx);
// "0.5 NM", "20 NM".
QString FormatNauticalMiles(double nauticalMiles);

// Degrees folded into 0 up to 360.
double NormalizedHeading(double degrees);

} // namespace tideplot
