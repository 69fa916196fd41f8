#pragma once

#include "analysis/raceanalysis.h"
#include "ui/speedgraph.h"
#include "ui/timegraph.h"

#include <vector>

class QLineSeries;

// The graph of each chosen boat's corrected-time gap to the leader over race time (the
// analysis's gap series: how far behind the boat first at the same point of the course, or
// of the wind's axis, it was), in minutes; a TimeGraph, so linked to the replay as the speed
// graph is. Each boat's line stands at its own race time (elapsed since its start x LYS).
namespace tideplot {

class GapGraph : public TimeGraph {
public:
    explicit GapGraph(QWidget* parent = nullptr);
    ~GapGraph() override;

    // The boats' gaps from `race` (which lives as long as they do), from `firstSeconds` to
    // `lastSeconds` of race time.
    void showBoats(std::vector<SpeedGraph::Boat> boats, const RaceAnalysis* race, double firstSeconds,
                   double lastSeconds);
    // The points of every line shown.
    qsizetype pointCount() const { return points_; }

protected:
    void makeLines() override;
    QStringList valuesAt(double raceSeconds) const override;

private:
    // The race time (seconds) of the gap series' point `i` for a boat.
    double raceSecondsOf(const BoatAnalysis& boat, std::size_t i) const;

    std::vector<SpeedGraph::Boat> boats_;
    const RaceAnalysis* race_ = nullptr;
    qsizetype points_ = 0;
    QValueAxis* gapAxis_ = nullptr;
};

} // namespace tideplot
