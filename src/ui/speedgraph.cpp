#include "ui/speedgraph.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace tideplot {

namespace {

// The boat's values from `first` to `last` seconds of race time: in each of `columns` equal
// columns its least and greatest value in the order the boat had them (the shape a line of
// every fix would draw at that width). x in `unit` seconds of race time, y in knots.
QList<QPointF> ColumnExtremes(const BoatAnalysis& boat, const WindEstimate* vmgWind, double first, double last,
                              int columns, double unit)
{
    QList<QPointF> points;
    const double lys = boat.Source.Lys;
    const double width = (last - first) / columns;
    if (!(width > 0))
        return points;
    struct Value {
        double X = 0, Y = 0;
    };
    Value low, high;
    bool any = false;
    int column = -1;
    const auto flush = [&] {
        if (!any)
            return;
        const Value& a = low.X <= high.X ? low : high;
        const Value& b = low.X <= high.X ? high : low;
        points.append(QPointF(a.X / unit, a.Y));
        if (b.X != a.X)
            points.append(QPointF(b.X / unit, b.Y));
        any = false;
    };
    for (const MotionSample& s : boat.Motion.Samples) {
        const double x = s.Seconds * lys;
        if (x < first)
            continue;
        if (x > last)
            break;
        const double y = vmgWind ? static_cast<double>(VmgKn(s, vmgWind->At(DateValueAt(boat.Source, s.Seconds))))
                                 : static_cast<double>(s.SpeedKn);
        if (!std::isfinite(y))
            continue;
        const int c = std::min(columns - 1, static_cast<int>((x - first) / width));
        if (c != column) {
            flush();
            column = c;
        }
        if (!any) {
            low = high = Value{x, y};
            any = true;
        } else if (y < low.Y) {
            low = Value{x, y};
        } else if (y > high.Y) {
            high = Value{x, y};
        }
    }
    flush();
    return points;
}

// The sample of `boat` nearest `raceSeconds` of race time; null without samples.
const MotionSample* SampleAt(const BoatAnalysis& boat, double raceSeconds)
{
    const std::vector<MotionSample>& samples = boat.Motion.Samples;
    if (samples.empty())
        return nullptr;
    const double seconds = raceSeconds / boat.Source.Lys;
    const auto after = std::lower_bound(samples.begin(), samples.end(), seconds,
                                        [](const MotionSample& s, double t) { return s.Seconds < t; });
    if (after == samples.begin())
        return &*after;
    if (after == samples.end() || seconds - std::prev(after)->Seconds < after->Seconds - seconds)
        return &*std::prev(after);
    return &*after;
}

} // namespace

SpeedGraph::SpeedGraph(QWidget* parent) : TimeGraph(parent)
{
    setObjectName(QStringLiteral("graphSpeed"));
    setAccessibleName(QStringLiteral("Speed graph"));
    setToolTip(QStringLiteral("Click or drag to take the replay there; Left and Right move a step, Page Up and "
                              "Page Down ten, Home and End go to the start and the end; the wheel, + and - zoom "
                              "the time, a right-button drag pans it, F fits the whole race"));
    QChart* graph = chart();
    graph->legend()->setAlignment(Qt::AlignBottom);
    speedAxis_ = new QValueAxis;
    speedAxis_->setTitleText(QStringLiteral("kn"));
    speedAxis_->setLabelFormat(QStringLiteral("%g"));
    graph->addAxis(speedAxis_, Qt::AlignLeft);
}

SpeedGraph::~SpeedGraph() = default;

void SpeedGraph::showBoats(std::vector<Boat> boats, const WindEstimate* vmgWind, double firstSeconds,
                           double lastSeconds)
{
    boats_ = std::move(boats);
    wind_ = vmgWind;
    setTimeRange(firstSeconds, lastSeconds);
    requestLines();
}

QStringList SpeedGraph::valuesAt(double raceSeconds) const
{
    QStringList values;
    for (const Boat& boat : boats_) {
        const MotionSample* s = SampleAt(*boat.Analysis, raceSeconds);
        if (!s || std::abs(s->Seconds * boat.Analysis->Source.Lys - raceSeconds) > 60)
            continue; // no fix within a minute: before its start or after its end
        QString line = QStringLiteral("%1: %2 kn").arg(boat.Caption).arg(static_cast<double>(s->SpeedKn), 0, 'f', 1);
        if (wind_) {
            const double vmg = VmgKn(*s, wind_->At(DateValueAt(boat.Analysis->Source, s->Seconds)));
            if (std::isfinite(vmg))
                line += QStringLiteral(", VMG %1 kn").arg(vmg, 0, 'f', 1);
        }
        values.push_back(line);
    }
    return values;
}

void SpeedGraph::makeLines()
{
    QChart* graph = chart();
    const double unit = unitSeconds();
    std::vector<Line> lines;
    for (const Boat& boat : boats_)
        for (const bool vmg : {false, true})
            if (!vmg || wind_)
                lines.push_back({boat.Analysis, vmg, nullptr});
    const int count = static_cast<int>(lines.size());
    const int columns = count > 0 ? std::clamp(kMostPoints / (2 * count), 1, plotColumns()) : plotColumns();
    std::vector<QList<QPointF>> points;
    points_ = 0;
    double low = 0, high = 1;
    for (const Line& line : lines) {
        points.push_back(
            ColumnExtremes(*line.Boat, line.Vmg ? wind_ : nullptr, firstShown(), lastShown(), columns, unit));
        for (const QPointF& p : points.back()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        points_ += points.back().size();
    }

    // The axes and the legend first: Qt Charts lays out every line again whenever they change.
    showTimeAxis();
    speedAxis_->setTitleText(wind_ ? QStringLiteral("Speed and VMG (dashed), kn") : QStringLiteral("Speed, kn"));
    speedAxis_->setRange(low, high * 1.05);
    speedAxis_->applyNiceNumbers();
    // The boat list beside the graph shows every boat's colour; the legend only for a few.
    graph->legend()->setVisible(!boats_.empty() && boats_.size() <= kMostBoatsWithLegend);

    // The same lines as before take their new points; other lines are made anew.
    const bool same = std::equal(lines.begin(), lines.end(), lines_.begin(), lines_.end(),
                                 [](const Line& a, const Line& b) { return a.Boat == b.Boat && a.Vmg == b.Vmg; });
    if (same) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            lines_[i].Series->replace(points[i]);
    } else {
        graph->removeAllSeries();
        lines_.clear();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            const Boat& boat = boats_[i / (wind_ ? 2 : 1)];
            auto* series = new QLineSeries;
            series->setName(line.Vmg ? boat.Caption + QStringLiteral(" VMG") : boat.Caption);
            // One pixel wide: the painter's fast lines, many times quicker than wider ones.
            QPen pen(boat.Colour, 1);
            if (line.Vmg)
                pen.setStyle(Qt::DashLine);
            series->setPen(pen);
            series->replace(points[i]);
            graph->addSeries(series);
            series->attachAxis(timeAxis());
            series->attachAxis(speedAxis_);
            if (line.Vmg) // the legend names each boat once; the axis says the dashed lines are VMG
                for (QLegendMarker* marker : graph->legend()->markers(series))
                    marker->setVisible(false);
            lines_.push_back({line.Boat, line.Vmg, series});
        }
    }
}

} // namespace tideplot
