#pragma once

#include "analysis/raceanalysis.h"
#include "ui/timegraph.h"

#include <QColor>
#include <QString>

#include <vector>

class QLineSeries;

// The graph of the boats' speed over race time, and their VMG when the wind is known (a
// TimeGraph: the replay's position, seeking, zoom and the read-out as every graph of the
// Analysis window has them).
//
// A day logged every second has 86,400 fixes a boat: each line keeps the least and the
// greatest value of each pixel column of the plot (of fewer, wider columns when many lines
// share kMostPoints), so a boat draws at most two points a column.
namespace tideplot {

class SpeedGraph : public TimeGraph {
public:
    // The most points of all lines together: Qt Charts takes some microseconds a point to
    // lay out and to draw a line.
    static constexpr int kMostPoints = 40'000;

    explicit SpeedGraph(QWidget* parent = nullptr);
    ~SpeedGraph() override;

    struct Boat {
        const BoatAnalysis* Analysis = nullptr;
        QColor Colour;
        QString Caption;
    };
    // The boats' speed (solid) and, with a wind, their VMG (dashed, against the wind of each
    // moment) from `firstSeconds` to `lastSeconds` of race time (elapsed since each boat's
    // start x LYS). `vmgWind` (the analysis's, as the boats) lives as long as they do.
    void showBoats(std::vector<Boat> boats, const WindEstimate* vmgWind, double firstSeconds, double lastSeconds);

    // The points of every line shown.
    qsizetype pointCount() const { return points_; }

protected:
    void makeLines() override;
    QStringList valuesAt(double raceSeconds) const override;

private:
    std::vector<Boat> boats_;
    const WindEstimate* wind_ = nullptr; // the analysis's, as the boats
    struct Line {
        const BoatAnalysis* Boat = nullptr;
        bool Vmg = false;
        QLineSeries* Series = nullptr;
    };
    std::vector<Line> lines_;
    qsizetype points_ = 0;
    QValueAxis* speedAxis_ = nullptr;
};

} // namespace tideplot
