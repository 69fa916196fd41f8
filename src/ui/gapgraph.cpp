#include "ui/gapgraph.h"

#include "core/results.h"
#include "core/text.h"

#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tideplot {

GapGraph::GapGraph(QWidget* parent) : TimeGraph(parent)
{
    setObjectName(QStringLiteral("graphGap"));
    setAccessibleName(QStringLiteral("Gap graph"));
    setToolTip(QStringLiteral("Each boat's corrected time behind the first at the same point of the race; click or "
                              "drag to take the replay there, the wheel, + and - zoom the time, F fits it"));
    QChart* graph = chart();
    graph->legend()->setAlignment(Qt::AlignBottom);
    gapAxis_ = new QValueAxis;
    gapAxis_->setTitleText(QStringLiteral("Gap to the first, minutes (corrected)"));
    gapAxis_->setLabelFormat(QStringLiteral("%g"));
    graph->addAxis(gapAxis_, Qt::AlignLeft);
}

GapGraph::~GapGraph() = default;

void GapGraph::showBoats(std::vector<SpeedGraph::Boat> boats, const RaceAnalysis* race, double firstSeconds,
                         double lastSeconds)
{
    boats_ = std::move(boats);
    race_ = race;
    setTimeRange(firstSeconds, lastSeconds);
    requestLines();
}

double GapGraph::raceSecondsOf(const BoatAnalysis& boat, std::size_t i) const
{
    const double date = race_->GapFirstTime + static_cast<double>(i) * race_->GapStepSeconds / 86400.0;
    return (date - boat.Source.StartTime) * 86400.0 * boat.Source.Lys;
}

void GapGraph::makeLines()
{
    QChart* graph = chart();
    graph->removeAllSeries();
    points_ = 0;
    double high = 1;
    std::vector<QList<QPointF>> lines;
    for (const SpeedGraph::Boat& boat : boats_) {
        QList<QPointF> points;
        const std::vector<float>& gaps = boat.Analysis->GapSeconds;
        for (std::size_t i = 0; race_ && race_->GapStepSeconds > 0 && i < gaps.size(); ++i) {
            const double x = raceSecondsOf(*boat.Analysis, i);
            if (!std::isfinite(gaps[i]) || x < firstShown() || x > lastShown())
                continue;
            points.append(QPointF(x / unitSeconds(), gaps[i] / 60.0));
            high = std::max(high, gaps[i] / 60.0);
        }
        points_ += points.size();
        lines.push_back(std::move(points));
    }
    showTimeAxis();
    gapAxis_->setRange(0, high * 1.05);
    gapAxis_->applyNiceNumbers();
    graph->legend()->setVisible(!boats_.empty() && boats_.size() <= kMostBoatsWithLegend);
    for (std::size_t i = 0; i < boats_.size(); ++i) {
        auto* series = new QLineSeries;
        series->setName(boats_[i].Caption);
        series->setPen(QPen(boats_[i].Colour, 1.5));
        series->replace(lines[i]);
        graph->addSeries(series);
        series->attachAxis(timeAxis());
        series->attachAxis(gapAxis_);
    }
}

QStringList GapGraph::valuesAt(double raceSeconds) const
{
    QStringList values;
    if (!race_ || !(race_->GapStepSeconds > 0))
        return values;
    for (const SpeedGraph::Boat& boat : boats_) {
        const std::vector<float>& gaps = boat.Analysis->GapSeconds;
        const double first = raceSecondsOf(*boat.Analysis, 0);
        const double step = race_->GapStepSeconds * boat.Analysis->Source.Lys;
        const double at = std::round((raceSeconds - first) / step);
        if (at < 0 || at >= static_cast<double>(gaps.size()) || !std::isfinite(gaps[static_cast<std::size_t>(at)]))
            continue;
        values.push_back(boat.Caption + QStringLiteral(": ") +
                         LocalText(DurationText(gaps[static_cast<std::size_t>(at)])));
    }
    return values;
}

} // namespace tideplot
