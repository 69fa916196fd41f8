#pragma once

#include "core/fleet.h"
#include "core/replayseries.h"
#include "core/trackfixes.h"
#include "earth/chart/charttracks.h"

#include <QRectF>
#include <QString>

#include <vector>

class QPainter;
class QTransform;

// The replay's pieces as the chart draws them: read from the replay's series up to the
// step the replay stands at, never copied. An index of each boat's steps in blocks of
// kBlockSteps (their box, projected and in degrees, and whether a piece was drawn in them)
// lets a picture skip what lies outside it, so a redraw costs what it shows.
namespace tideplot {

class ChartSeries {
public:
    static constexpr long long kBlockSteps = 256;

    // The boats, in race file order: the captions that label their newest pieces and
    // their track colours.
    void setFleet(const std::vector<FleetBoat>& boats);
    // The series to draw from (null: nothing); it is read up to the shown step and must
    // stay as it is while it is set. Shows step 0.
    void setSeries(const ReplaySeries* series);
    // The step the replay stands at: its pieces and those before it are drawn.
    void setShownStep(long long step);

    const ReplaySeries* series() const { return series_; }
    long long shownStep() const { return shown_; }
    // The race clock of the shown step (days); that of Start at step 0.
    double raceClock() const;
    // The widest line of the series, in pixels.
    double maxWidth() const { return maxWidth_; }
    // The track colour of boat `boat` (race file order); white for a boat it does not know.
    KmlColour colour(int boat) const
    {
        return boat >= 0 && static_cast<std::size_t>(boat) < styles_.size()
                   ? styles_[static_cast<std::size_t>(boat)].Colour
                   : KmlColour{0xffffffff};
    }

    // Draws the pieces of steps `first` to `last` (up to the shown step) that reach into
    // `clip` (projected metres) through `toScreen`: each boat's pieces that follow on one
    // another with one width as one polyline, points closer than `minStepPx` to the last
    // one kept left out. Where the clip reaches past the 180th meridian, the tracks beyond
    // it are drawn there too.
    void draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx, long long first,
              long long last) const;
    void draw(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx) const
    {
        draw(painter, toScreen, clip, minStepPx, 1, shown_);
    }
    // Draws the pieces of the tail's minutes up to the shown step, older ones fainter
    // (ChartTailAlpha); nothing when the tail is whole.
    void drawTail(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                  double minStepPx) const;

    // Each boat that has drawn a piece up to the shown step, labelled at its newest one.
    std::vector<ChartTrack> labels() const;
    // The box of every piece drawn up to the shown step (longitudes may reach past 180
    // across the meridian); empty when none is.
    FixBox drawnBox() const;

private:
    struct Block {
        bool Drawn = false; // a piece was drawn in one of its steps
        QRectF Projected;   // of the pieces' ends, projected
        FixBox Degrees;     // the same in degrees
    };
    struct Style {
        QString Caption;
        KmlColour Colour = 0xffffffff;
    };

    void buildIndex();
    void drawShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, double minStepPx,
                     long long first, long long last) const;
    void drawTailShifted(QPainter& painter, const QTransform& toScreen, const QRectF& clip, const ChartTail& tail,
                         long long first, double minStepPx) const;
    // The newest step up to `step` and not before `floor` in which the boat drew a piece, or 0.
    long long newestDrawn(int boat, long long step, long long floor) const;
    const Block* block(int boat, long long step) const;

    std::vector<Style> styles_;
    const ReplaySeries* series_ = nullptr;
    long long shown_ = 0;
    std::vector<std::vector<Block>> blocks_; // by boat, then block
    std::vector<long long> newest_;          // by boat: its newest drawn step up to the shown one (0: none)
    double maxWidth_ = 1;
};

} // namespace tideplot
