#pragma once

#include "earth/kmldocument.h"

#include <QHash>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class QPainter;
class QTransform;

// The lines of the KML documents loaded into the chart, kept in projected metres
// (chartview.h) as few long polylines: the replay sends each boat's track one segment at a
// time, each segment starting where the boat's last one ended, and those join into one run
// per boat, colour and width. (The windows' replay draws its pieces from the replay's
// series instead: chartseries.h.)
namespace tideplot {

// An unbroken polyline of one style, at most kMaxPoints long, with its bounds.
struct ChartRun {
    static constexpr std::size_t kMaxPoints = 256;
    KmlColour Colour = 0xffffffff;
    double Width = 1; // pixels
    std::vector<QPointF> Points;
    QRectF Bounds; // of Points; may have no width or height
};

// The lines loaded under one name (a boat's caption), or a boat's label.
struct ChartTrack {
    QString Name;
    KmlColour Colour = 0xffffffff; // of its newest line
    QPointF Newest;                // first point of its newest line (the boat's newest position)
    std::ptrdiff_t OpenRun = -1;   // the run its next segment may continue
};

// How much of the replay's pieces is drawn: with Minutes above 0, those of the last
// Minutes of race time up to RaceClockDays, older ones fainter; else all of them.
struct ChartTail {
    double Minutes = 0;
    double RaceClockDays = 0;
    bool whole() const { return !(Minutes > 0); }
};

// The share of its colour's opacity that a piece `ageDays` old keeps in a tail of
// `tailDays`: 1 for the newest, falling linearly to kChartTailOldestAlpha at the tail's start.
inline constexpr double kChartTailOldestAlpha = 0.15;
double ChartTailAlpha(double ageDays, double tailDays);

// One straight piece, in projected metres.
struct ChartSegment {
    QPointF From;
    QPointF To;
    KmlColour Colour = 0xffffffff;
    double Width = 1;
};

class ChartTracks {
public:
    // Adds every line of a document under its name, and appends its segments to
    // `added` when given. A piece whose ends lie on either side of the 180th meridian is
    // drawn the short way across it. Throws Error, adding nothing, when a point lies off
    // the globe.
    void add(const std::vector<KmlLineString>& lines, std::vector<ChartSegment>* added = nullptr);

    const std::vector<ChartRun>& runs() const { return runs_; }
    const std::vector<ChartTrack>& tracks() const { return tracks_; }
    std::size_t segmentCount() const { return segmentCount_; }
    double maxWidth() const { return maxWidth_; }

    // Draws the runs that reach into `clip` (projected metres) through `toScreen`,
    // leaving out points closer than `minStepPx` to the last one drawn. Where the clip
    // reaches past the 180th meridian, the tracks beyond it are drawn there too.
    void draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx) const;

private:
    void drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx) const;
    void addLine(const KmlLineString& line, std::vector<QPointF> points, std::vector<ChartSegment>* added);
    void append(ChartTrack& track, KmlColour colour, double width, std::span<const QPointF> points);

    std::vector<ChartRun> runs_;
    std::vector<ChartTrack> tracks_;
    QHash<QString, std::size_t> trackByName_;
    std::size_t segmentCount_ = 0;
    double maxWidth_ = 1;
};

// The widest a line is drawn, in pixels.
inline constexpr double kChartMaxPenWidth = 100;

// Whether `bounds` reaches into `clip` (touching counts; either may have no width or height).
bool ChartReaches(const QRectF& bounds, const QRectF& clip);

// The horizontal shifts by which the world's tracks are drawn into `clip` (projected
// metres): 0, and one world's width east or west where the clip reaches past the 180th
// meridian, so a fleet near it is seen on both of its sides.
std::vector<double> ChartWorldShifts(const QRectF& clip);

// Draws each segment as one line through `toScreen` (and beyond the 180th meridian, where
// the painter's device reaches past it).
void DrawChartSegments(QPainter& painter, const std::vector<ChartSegment>& segments, const QTransform& toScreen);

// The pen of a line: its KML colour and width, with round ends so that pieces drawn one
// at a time join as a polyline does.
QPen ChartLinePen(KmlColour colour, double width);

} // namespace tideplot
