#pragma once

#include "core/replay.h"
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

// The lines loaded into the chart, kept in projected metres (chartview.h) as few long
// polylines: the replay sends each boat's track one segment at a time, each segment
// starting where the boat's last one ended, and those join into one run per boat,
// colour and width. The segments come either as KML documents (a line under a name) or
// as the replay's pieces (a boat, a step and its race clock); the pieces are kept in
// step order as well, so that the last minutes of the race can be drawn on their own.
namespace tideplot {

// An unbroken polyline of one style, at most kMaxPoints long, with its bounds.
struct ChartRun {
    static constexpr std::size_t kMaxPoints = 256;
    KmlColour Colour = 0xffffffff;
    double Width = 1; // pixels
    std::vector<QPointF> Points;
    QRectF Bounds;      // of Points; may have no width or height
    bool Timed = false; // made of the replay's pieces (which a tail draws on its own)
};

// The lines loaded under one name, or the pieces of one boat.
struct ChartTrack {
    QString Name;
    KmlColour Colour = 0xffffffff; // of its newest line
    QPointF Newest;                // first point of its newest line (the boat's newest position)
    std::ptrdiff_t OpenRun = -1;   // the run its next segment may continue
};

// How a boat's pieces look: its caption in the legend ("Elsa.txt 1"), which labels the
// boat's newest position, and its track colour in KML's order (ff + ColourHex).
struct ChartBoat {
    QString Caption;
    KmlColour Colour = 0xffffffff;
};

// A piece the replay drew, in projected metres.
struct ChartPiece {
    QPointF From;
    QPointF To;
    double RaceClock = 0; // days
    std::int16_t Boat = 0;
    std::int16_t Width = 1;
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

    // How the boats of the pieces look, by their index in the race file. The boats' labels
    // take the new captions and colours at once; their lines keep theirs until drawn again.
    void setBoats(std::vector<ChartBoat> boats);
    const std::vector<ChartBoat>& boats() const { return boats_; }
    // Adds the replay's pieces (in step order, as it drew them), joined per boat as the
    // documents of the same segments are, and appends their segments to `added` when
    // given. A piece whose ends lie on either side of the 180th meridian is drawn the
    // short way. Throws Error, adding nothing, when a piece's boat has no style, a point
    // lies off the globe, a width is below 0, or a race clock is not a number or comes
    // before that of a piece added earlier.
    void addPieces(std::span<const DrawnPiece> pieces, std::vector<ChartSegment>* added = nullptr);
    // Puts `pieces` in the place of every piece added before; the lines of documents stay.
    // Throws Error as addPieces does, changing nothing.
    void replacePieces(std::span<const DrawnPiece> pieces);

    const std::vector<ChartRun>& runs() const { return runs_; }
    const std::vector<ChartTrack>& tracks() const { return tracks_; }
    const std::vector<ChartPiece>& pieces() const { return pieces_; }
    std::size_t segmentCount() const { return segmentCount_; }
    double maxWidth() const { return maxWidth_; }

    // Draws the runs that reach into `clip` (projected metres) through `toScreen`,
    // leaving out points closer than `minStepPx` to the last one drawn; those made of
    // pieces only when `timed`. Where the clip reaches past the 180th meridian, the
    // tracks beyond it are drawn there too.
    void draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
              bool timed = true) const;
    // Draws the pieces of the tail (none when it is whole), each boat's consecutive pieces
    // of one width and about one age as one polyline, the older ones fainter
    // (ChartTailAlpha); the rest as draw() does.
    void drawTail(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                  double minStepPx) const;
    // The tracks as their labels stand under `tail`: a boat at its newest piece up to the
    // tail's race clock (however old), and left out before its first one; as tracks()
    // when the tail is whole.
    std::vector<ChartTrack> labels(const ChartTail& tail) const;

private:
    // Where the boat's pieces have got to.
    struct BoatTrail {
        std::ptrdiff_t Track = -1; // in tracks_
        double NewestClock = 0;
        double LastLat = 0; // of its newest piece's end, and that latitude projected
        double LastY = 0;
        bool HasLast = false;
    };

    void drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                     bool timed) const;
    void drawTailShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                         std::size_t first, std::size_t last, double minStepPx) const;
    void checkPieces(std::span<const DrawnPiece> pieces, double clockBefore) const;
    void clearPieces();
    void addCheckedPieces(std::span<const DrawnPiece> pieces, std::vector<ChartSegment>* added);
    void addPiece(const DrawnPiece& piece, std::vector<ChartSegment>* added);
    void addLine(const KmlLineString& line, std::vector<QPointF> points, std::vector<ChartSegment>* added);
    void append(ChartTrack& track, KmlColour colour, double width, bool timed, std::span<const QPointF> points);

    std::vector<ChartRun> runs_;
    std::vector<ChartTrack> tracks_;
    QHash<QString, std::size_t> trackByName_; // the tracks of documents
    std::vector<ChartBoat> boats_;
    std::vector<BoatTrail> trails_; // by boat
    std::vector<ChartPiece> pieces_;
    std::size_t segmentCount_ = 0;
    double maxWidth_ = 1;
};

// Draws each segment as one line through `toScreen` (and beyond the 180th meridian, where
// the painter's device reaches past it).
void DrawChartSegments(QPainter& painter, const std::vector<ChartSegment>& segments, const QTransform& toScreen);

// The pen of a line: its KML colour and width, with round ends so that pieces drawn one
// at a time join as a polyline does.
QPen ChartLinePen(KmlColour colour, double width);

} // namespace tideplot
