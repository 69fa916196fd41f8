// The chart tests' tools: the picture's size, plane sailing, how near a pixel is to a colour,
// and a chart window of the test's own with the documents the replay loads.
#pragma once

#include "core/colour.h"
#include "core/error.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartpainter.h"
#include "earth/chart/chartview.h"
#include "earth/chart/chartwidget.h"
#include "earth/googleearth.h"
#include "earth/kmldocument.h"

#include <QApplication>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <span>
#include <tuple>

namespace tideplot {

inline constexpr int kWidth = 800, kHeight = 600;
inline const QPointF kCentre(kWidth / 2.0, kHeight / 2.0);

// The latitude and longitude `metres` of ground from a point on `bearingDeg`, by plane
// sailing (one minute of latitude is one nautical mile).
inline std::pair<double, double> Sail(double lat, double lon, double bearingDeg, double metres)
{
    const double minutes = metres / 1852, b = bearingDeg * std::numbers::pi / 180;
    return {lat + minutes * std::cos(b) / 60,
            lon + minutes * std::sin(b) / 60 / std::cos(lat * std::numbers::pi / 180)};
}

// How far a pixel is from a colour, summed over the channels.
inline int Distance(QRgb pixel, const QColor& colour)
{
    return std::abs(qRed(pixel) - colour.red()) + std::abs(qGreen(pixel) - colour.green()) +
           std::abs(qBlue(pixel) - colour.blue());
}

// Whether a pixel near `at` is at least 40 % of the way from the sea (the commonest colour)
// to `colour`, as a line one pixel wide is where it crosses a pixel.
inline bool HasColourNear(const QImage& image, const QPointF& at, const QColor& colour, int radius = 2)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7)
            ++counts[image.pixel(x, y)];
    }
    const auto sea = std::max_element(counts.keyValueBegin(), counts.keyValueEnd(),
                                      [](const auto& a, const auto& b) { return a.second < b.second; });
    const int tolerance = Distance((*sea).first, colour) * 6 / 10;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(static_cast<int>(std::lround(at.x())) + dx, static_cast<int>(std::lround(at.y())) + dy);
            if (image.valid(p) && Distance(image.pixel(p), colour) <= tolerance)
                return true;
        }
    }
    return false;
}

// How many pixels of two pictures of one size differ by more than `tolerance`.
inline int DifferingPixels(const QImage& a, const QImage& b, int tolerance = 0)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += Distance(a.pixel(x, y), QColor(b.pixel(x, y))) > tolerance;
    }
    return differing;
}

class ChartViewTest : public testing::Test {
public:
    void SetUp() override { widget.resize(kWidth, kHeight); }

    void frame(double lat, double lon, double range, double azimuth = 0)
    {
        chart.SetCamera({.FocusPointLatitude = lat, .FocusPointLongitude = lon, .Range = range, .Azimuth = azimuth},
                        10);
    }

    // Loads the document the replay loads for one segment of a boat's track, from its
    // previous position to its new one (written new position first).
    void line(const std::string& name, const std::string& colour, int width, double lon1, double lat1, double lon0,
              double lat0)
    {
        auto n = [](double v) { return KmlNumberText(v).toStdString(); };
        chart.LoadKmlData(
            "<Document><name>" + name + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" +
            std::to_string(width) + "</width><color>" + colour +
            "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" + n(lon1) +
            "," + n(lat1) + ",0," + n(lon0) + "," + n(lat0) + ",0</coordinates></LineString></Placemark></Document>");
    }

    QTransform toScreen() const { return widget.viewport(QSizeF(kWidth, kHeight)).projectedToScreen(); }
    QPointF onScreen(double lat, double lon) const { return toScreen().map(ProjectLatLon(lat, lon)); }

    QImage window() { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage picture() const { return chart.renderImage(QSize(kWidth, kHeight)).convertToFormat(QImage::Format_RGB32); }

    ChartApplication chart;
    ChartWidget& widget = *chart.widget();
};

} // namespace tideplot
