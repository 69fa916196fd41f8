#include "models/analysismodels.h"

#include "analysis/analysisfiles.h"
#include "analysis/analysistext.h"
#include "core/results.h"
#include "core/text.h"
#include "models/tablemodels.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace tideplot {

namespace {

constexpr double kUnknown = -std::numeric_limits<double>::infinity(); // sorts below every value

const QStringList kManoeuvreColumns{QStringLiteral("Boat"),     QStringLiteral("Kind"),     QStringLiteral("Race time"),
                                    QStringLiteral("Loss m"),   QStringLiteral("Least kn"), QStringLiteral("Before kn"),
                                    QStringLiteral("After kn"), QStringLiteral("Seconds")};

// A boat's number of the totals; how it is written: decimals, or a duration (kDuration) or
// a short number (kShort). Those that need the wind are "-" without it, as `analyse` prints.
constexpr int kDuration = -1;
constexpr int kShort = -2;
struct Metric {
    const char* Heading;
    int Decimals;
    bool NeedsWind;
    double (*Value)(const BoatAnalysis&);
};
const Metric kMetrics[] = {
    {"LYS", kShort, false, [](const BoatAnalysis& b) { return b.Source.Lys; }},
    {"Distance nm", 2, false, [](const BoatAnalysis& b) { return b.Summary.DistanceNm; }},
    {"Mean kn", 2, false, [](const BoatAnalysis& b) { return b.Summary.MeanSpeedKn; }},
    {"Tacks", 0, true, [](const BoatAnalysis& b) { return static_cast<double>(b.Summary.Tacks); }},
    {"Gybes", 0, true, [](const BoatAnalysis& b) { return static_cast<double>(b.Summary.Gybes); }},
    {"Tack loss m", 1, false, [](const BoatAnalysis& b) { return b.Summary.MeanTackLossMetres; }},
    {"Port", kDuration, true, [](const BoatAnalysis& b) { return b.Summary.PortSeconds; }},
    {"Starboard", kDuration, true, [](const BoatAnalysis& b) { return b.Summary.StarboardSeconds; }},
};
constexpr int kMetricCount = static_cast<int>(std::size(kMetrics));

// The metric's value for a boat; NaN where it is not known.
double MetricValue(const Metric& metric, const RaceAnalysis& race, const BoatAnalysis& boat)
{
    if (metric.NeedsWind && !race.Wind.Known)
        return std::numeric_limits<double>::quiet_NaN();
    return metric.Value(boat);
}

// A value (or a difference, with its sign) as the metric is written; "-" when not known.
QString MetricText(const Metric& metric, double value, bool signed_ = false)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    const std::string sign = signed_ ? (value > 0 ? "+" : value < 0 ? "-" : "") : "";
    const double shown = signed_ ? std::abs(value) : value;
    switch (metric.Decimals) {
    case kDuration:
        return LocalText(sign + DurationText(shown));
    case kShort:
        return LocalText(sign + ShortNumberText(shown));
    default:
        return LocalText(sign + FixedText(shown, metric.Decimals));
    }
}

QVariant SortValue(double value)
{
    return std::isfinite(value) ? value : kUnknown;
}

QVariant RightAligned()
{
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

const QStringList kStartColumns{QStringLiteral("Boat"),     QStringLiteral("Line m"), QStringLiteral("Along"),
                                QStringLiteral("Speed kn"), QStringLiteral("Late s"), QStringLiteral("OCS"),
                                QStringLiteral("Returned")};
const QStringList kLegColumns{QStringLiteral("Boat"),    QStringLiteral("Leg"),    QStringLiteral("Lap"),
                              QStringLiteral("Kind"),    QStringLiteral("Time"),   QStringLiteral("Distance nm"),
                              QStringLiteral("Mean kn"), QStringLiteral("VMG kn"), QStringLiteral("Tacks"),
                              QStringLiteral("Gybes"),   QStringLiteral("Loss m"), QStringLiteral("Rank"),
                              QStringLiteral("Gap"),     QStringLiteral("Gained")};

// A number with `decimals`, "-" when not known.
QString NumberText(double value, int decimals)
{
    return std::isfinite(value) ? LocalText(FixedText(value, decimals)) : QStringLiteral("-");
}

// Seconds as a duration ("0:02:05"), with a sign when asked; "-" when not known.
QString SecondsText(double seconds, bool withSign = false)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("-");
    const std::string sign = withSign ? (seconds > 0 ? "+" : seconds < 0 ? "-" : "") : "";
    return LocalText(sign + DurationText(withSign ? std::abs(seconds) : seconds));
}

QVariant Cell(int role, const QString& text, double sortValue, bool right = true)
{
    if (role == Qt::DisplayRole)
        return text;
    if (role == Qt::UserRole)
        return SortValue(sortValue);
    if (role == Qt::TextAlignmentRole && right)
        return RightAligned();
    return {};
}

QVariant BoatCell(const FleetInfo& fleet, const BoatSource& source, int boat, int role)
{
    if (role == Qt::DisplayRole)
        return LocalText(source.Caption);
    if (role == Qt::UserRole)
        return boat;
    return static_cast<std::size_t>(boat) < fleet.Boats.size()
               ? BoatCellColour(fleet.Boats[static_cast<std::size_t>(boat)], role)
               : QVariant();
}

} // namespace

void ManoeuvresModel::show(const RaceAnalysis* race, const FleetInfo& fleet, const std::vector<bool>& chosen,
                           bool beforeStart)
{
    beginResetModel();
    race_ = race;
    fleet_ = fleet;
    rows_.clear();
    for (std::size_t k = 0; race_ && k < race_->Boats.size(); ++k) {
        if (k < chosen.size() && !chosen[k])
            continue;
        const std::vector<Manoeuvre>& manoeuvres = race_->Boats[k].Manoeuvres;
        for (std::size_t i = 0; i < manoeuvres.size(); ++i)
            if (beforeStart || !manoeuvres[i].BeforeStart)
                rows_.push_back({static_cast<int>(k), i});
    }
    endResetModel();
}

const Manoeuvre* ManoeuvresModel::manoeuvre(int row, int* boat) const
{
    if (!race_ || row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return nullptr;
    const Row& r = rows_[static_cast<std::size_t>(row)];
    if (boat)
        *boat = r.Boat;
    return &race_->Boats[static_cast<std::size_t>(r.Boat)].Manoeuvres[r.Index];
}

int ManoeuvresModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ManoeuvresModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kManoeuvreColumns.size());
}

QVariant ManoeuvresModel::data(const QModelIndex& index, int role) const
{
    if (!Valid(index, rows_.size(), columnCount()))
        return {};
    int k = 0;
    const Manoeuvre& m = *manoeuvre(index.row(), &k);
    const BoatSource& boat = race_->Boats[static_cast<std::size_t>(k)].Source;
    if (index.column() == 0)
        return BoatCell(fleet_, boat, k, role);
    const double speeds[] = {m.MinSpeedKn, m.SpeedBeforeKn, m.SpeedAfterKn};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 1:
            return QString::fromLatin1(ManoeuvreKindName(m.Kind)) +
                   (m.BeforeStart ? QStringLiteral(", before start") : QString());
        case 2:
            return LocalText(ManoeuvreRaceTimeText(boat, m));
        case 3:
            return LocalText(LossMetresText(m.LossMetres));
        case 7:
            return QString::number(m.DurationSeconds, 'f', 0);
        default:
            return LocalText(KnotsText(speeds[index.column() - 4]));
        }
    }
    if (role == Qt::UserRole) {
        switch (index.column()) {
        case 1:
            return static_cast<int>(m.Kind);
        case 2:
            return RaceClockAt(boat, m.MiddleSeconds);
        case 3:
            return SortValue(m.LossMetres);
        case 7:
            return SortValue(m.DurationSeconds);
        default:
            return SortValue(speeds[index.column() - 4]);
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() >= 2)
        return RightAligned();
    return {};
}

QVariant ManoeuvresModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return Header(kManoeuvreColumns, section, orientation, role);
}

void BoatTotalsModel::show(const RaceAnalysis* race, const FleetInfo& fleet)
{
    beginResetModel();
    race_ = race;
    fleet_ = fleet;
    endResetModel();
}

int BoatTotalsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !race_ ? 0 : static_cast<int>(race_->Boats.size());
}

int BoatTotalsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1 + kMetricCount;
}

QVariant BoatTotalsModel::data(const QModelIndex& index, int role) const
{
    if (!race_ || !Valid(index, race_->Boats.size(), columnCount()))
        return {};
    const BoatAnalysis& boat = race_->Boats[static_cast<std::size_t>(index.row())];
    if (index.column() == 0)
        return BoatCell(fleet_, boat.Source, index.row(), role);
    const Metric& metric = kMetrics[index.column() - 1];
    const double value = MetricValue(metric, *race_, boat);
    if (role == Qt::DisplayRole)
        return MetricText(metric, value);
    if (role == Qt::UserRole)
        return SortValue(value);
    if (role == Qt::TextAlignmentRole)
        return RightAligned();
    return {};
}

QVariant BoatTotalsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > kMetricCount)
        return {};
    return section == 0 ? QStringLiteral("Boat") : QString::fromLatin1(kMetrics[section - 1].Heading);
}

void StartModel::show(const RaceAnalysis* race, const FleetInfo& fleet)
{
    beginResetModel();
    race_ = race;
    fleet_ = fleet;
    boats_.clear();
    for (std::size_t k = 0; race_ && k < race_->Boats.size(); ++k)
        if (race_->Boats[k].Start)
            boats_.push_back(static_cast<int>(k));
    endResetModel();
}

int StartModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(boats_.size());
}

int StartModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kStartColumns.size());
}

QVariant StartModel::data(const QModelIndex& index, int role) const
{
    if (!race_ || !Valid(index, boats_.size(), columnCount()))
        return {};
    const int k = boats_[static_cast<std::size_t>(index.row())];
    const BoatAnalysis& boat = race_->Boats[static_cast<std::size_t>(k)];
    const StartReport& start = *boat.Start;
    const auto yesNo = [&](bool yes) { return Cell(role, yes ? QStringLiteral("yes") : QStringLiteral("no"), yes); };
    switch (index.column()) {
    case 0:
        return BoatCell(fleet_, boat.Source, k, role);
    case 1:
        return Cell(role, NumberText(start.LineDistanceMetres, 1), start.LineDistanceMetres);
    case 2:
        return Cell(role, NumberText(start.LinePosition, 2), start.LinePosition);
    case 3:
        return Cell(role, NumberText(start.SpeedKn, 1), start.SpeedKn);
    case 4:
        return Cell(role, NumberText(start.SecondsLate, 1), start.SecondsLate);
    case 5:
        return yesNo(start.Ocs);
    default:
        return yesNo(start.Returned);
    }
}

QVariant StartModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return Header(kStartColumns, section, orientation, role);
}

void LegsModel::show(const RaceAnalysis* race, const FleetInfo& fleet, const std::vector<bool>& chosen)
{
    beginResetModel();
    race_ = race;
    fleet_ = fleet;
    rows_.clear();
    for (std::size_t k = 0; race_ && k < race_->Boats.size(); ++k)
        if (k >= chosen.size() || chosen[k])
            for (std::size_t i = 0; i < race_->Boats[k].Legs.size(); ++i)
                rows_.push_back({static_cast<int>(k), i});
    endResetModel();
}

int LegsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LegsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kLegColumns.size());
}

QVariant LegsModel::data(const QModelIndex& index, int role) const
{
    if (!race_ || !Valid(index, rows_.size(), columnCount()))
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const BoatAnalysis& boat = race_->Boats[static_cast<std::size_t>(row.Boat)];
    const LegAnalysis& leg = boat.Legs[row.Leg];
    // The first leg starts level: its gap at the start is none.
    const double gapBefore = row.Leg == 0 ? 0.0 : boat.Legs[row.Leg - 1].GapSeconds;
    switch (index.column()) {
    case 0:
        return BoatCell(fleet_, boat.Source, row.Boat, role);
    case 1:
        return Cell(role, LocalText(leg.From + " - " + leg.To), static_cast<double>(leg.Place), false);
    case 2:
        return Cell(role, QString::number(leg.Lap), leg.Lap);
    case 3:
        return Cell(role, QString::fromLatin1(LegKindName(leg.Kind)), static_cast<double>(leg.Kind), false);
    case 4:
        return Cell(role, SecondsText(leg.Seconds()), leg.Seconds());
    case 5:
        return Cell(role, NumberText(leg.DistanceNm, 2), leg.DistanceNm);
    case 6:
        return Cell(role, NumberText(leg.MeanSpeedKn, 2), leg.MeanSpeedKn);
    case 7:
        return Cell(role, NumberText(leg.VmgKn, 2), leg.VmgKn);
    case 8:
        return Cell(role, QString::number(leg.Tacks), leg.Tacks);
    case 9:
        return Cell(role, QString::number(leg.Gybes), leg.Gybes);
    case 10:
        return Cell(role, NumberText(leg.MeanLossMetres, 1), leg.MeanLossMetres);
    case 11:
        return Cell(role, leg.Rank > 0 ? QString::number(leg.Rank) : QStringLiteral("-"),
                    leg.Rank > 0 ? leg.Rank : kUnknown);
    case 12:
        return Cell(role, SecondsText(leg.GapSeconds), leg.GapSeconds);
    default:
        return Cell(role, SecondsText(gapBefore - leg.GapSeconds, true), gapBefore - leg.GapSeconds);
    }
}

QVariant LegsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return Header(kLegColumns, section, orientation, role);
}

void BoatComparisonModel::show(const RaceAnalysis* race, const FleetInfo& fleet, int first, int second)
{
    beginResetModel();
    race_ = race;
    fleet_ = fleet;
    first_ = first;
    second_ = second;
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

const BoatAnalysis* BoatComparisonModel::boat(int column) const
{
    const int k = column == 1 ? first_ : second_;
    if (!race_ || k < 0 || static_cast<std::size_t>(k) >= race_->Boats.size())
        return nullptr;
    return &race_->Boats[static_cast<std::size_t>(k)];
}

int BoatComparisonModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !boat(1) || !boat(2) ? 0 : kMetricCount;
}

int BoatComparisonModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant BoatComparisonModel::data(const QModelIndex& index, int role) const
{
    if (!Valid(index, static_cast<std::size_t>(rowCount()), columnCount()))
        return {};
    const Metric& metric = kMetrics[index.row()];
    if (index.column() == 0)
        return role == Qt::DisplayRole ? QString::fromLatin1(metric.Heading) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return RightAligned();
    if (role != Qt::DisplayRole)
        return {};
    const double a = MetricValue(metric, *race_, *boat(1));
    const double b = MetricValue(metric, *race_, *boat(2));
    if (index.column() == 3)
        return MetricText(metric, a - b, true);
    return MetricText(metric, index.column() == 1 ? a : b);
}

QVariant BoatComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QString();
    case 1:
    case 2:
        return boat(section) ? LocalText(boat(section)->Source.Caption) : QVariant();
    case 3:
        return QStringLiteral("Difference");
    default:
        return {};
    }
}

} // namespace tideplot
