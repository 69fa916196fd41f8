#include "models/tablemodels.h"

#include "core/colour.h"
#include "core/text.h"
#include "replay/valuetext.h"

namespace tideplot {

bool Valid(const QModelIndex& index, std::size_t rows, int columns)
{
    return index.isValid() && index.row() >= 0 && static_cast<std::size_t>(index.row()) < rows && index.column() >= 0 &&
           index.column() < columns;
}

QVariant Header(const QStringList& columns, int section, Qt::Orientation orientation, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns.size())
        return {};
    return columns[section];
}

namespace {

const QStringList kLeaderboardColumns{QStringLiteral("Pos"), QStringLiteral("Boat"), QStringLiteral("Status"),
                                      QStringLiteral("Gap")};
const QStringList kResultColumnsShown{QStringLiteral("Rank"),      QStringLiteral("Boat"),   QStringLiteral("LYS"),
                                      QStringLiteral("Start"),     QStringLiteral("Finish"), QStringLiteral("Elapsed"),
                                      QStringLiteral("Corrected"), QStringLiteral("File"),   QStringLiteral("Status")};

} // namespace

QVariant BoatCellColour(const FleetBoat& boat, int role)
{
    const std::uint32_t c = boat.WindowColour;
    const int red = WindowColourRed(c), green = WindowColourGreen(c), blue = WindowColourBlue(c);
    if (role == BoatColourRole)
        return static_cast<unsigned>(red << 16 | green << 8 | blue);
    if (role == BoatTextColourRole) {
        const int luma = (299 * red + 587 * green + 114 * blue) / 1000;
        return luma < 128 ? 0xFFFFFFu : 0x000000u;
    }
    return {};
}

void FleetTableModel::setFleet(const FleetInfo& fleet)
{
    beginResetModel();
    fleet_ = fleet;
    rows_.clear();
    for (std::size_t k = 0; k < fleet_.Boats.size(); ++k)
        rows_.push_back({static_cast<int>(k), fleet_.Boats[k].Caption, {}, fleet_.Boats[k].Caption + ": no distance"});
    ranked_ = false;
    endResetModel();
}

void FleetTableModel::show(std::vector<Row> rows, bool ranked)
{
    if (ranked != ranked_) {
        ranked_ = ranked;
        emit headerDataChanged(Qt::Horizontal, 1, 1);
    }
    if (rows.size() != rows_.size()) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    // The rows that changed are told at once: the view lays out its columns (sized to their
    // contents) once per change it is told, and a list of 64 changes most of its rows at
    // every step.
    int first = -1, last = -1, firstColumn = 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& now = rows[i];
        Row& was = rows_[i];
        const bool boatChanged = now.Boat != was.Boat || now.Caption != was.Caption;
        const bool valueChanged = now.Value != was.Value;
        if (!boatChanged && !valueChanged)
            continue;
        was = now;
        last = static_cast<int>(i);
        if (first < 0)
            first = last;
        if (boatChanged)
            firstColumn = 0;
    }
    if (first >= 0)
        emit dataChanged(index(first, firstColumn), index(last, 1));
}

void FleetTableModel::showDistances(const FleetFrame& frame)
{
    std::vector<Row> rows;
    for (std::size_t k = 0; k < fleet_.Boats.size(); ++k) {
        const std::string caption = fleet_.Boats[k].Caption;
        const std::string distance = k < frame.Boats.size() && k > 0 ? BoatDistanceText(frame.Boats[k]) : "";
        rows.push_back({static_cast<int>(k), caption, distance,
                        caption + (distance.empty() ? ": no distance" : ": " + distance + " nm")});
    }
    show(std::move(rows), false);
}

void FleetTableModel::showStandings(const std::vector<LeaderboardRow>& standings)
{
    std::vector<Row> rows;
    for (const LeaderboardRow& row : standings) {
        if (row.Boat < 0 || static_cast<std::size_t>(row.Boat) >= fleet_.Boats.size())
            continue;
        const std::string caption =
            std::to_string(row.Rank) + ". " + fleet_.Boats[static_cast<std::size_t>(row.Boat)].Caption;
        const std::string gap = GapText(row);
        const std::string status = gap.empty() ? StandingText(row) : StandingText(row) + " " + gap;
        rows.push_back({row.Boat, caption, status, caption + ": " + status});
    }
    show(std::move(rows), true);
}

int FleetTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FleetTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant FleetTableModel::data(const QModelIndex& index, int role) const
{
    if (!Valid(index, rows_.size(), 2))
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return LocalText(index.column() == 0 ? row.Caption : row.Value);
    if (role == Qt::AccessibleTextRole && index.column() == 1)
        return LocalText(row.Spoken);
    if (index.column() == 0)
        return BoatCellColour(fleet_.Boats[static_cast<std::size_t>(row.Boat)], role);
    return {};
}

QVariant FleetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return Header({QStringLiteral("Boat"), ranked_ ? QStringLiteral("To finish") : QStringLiteral("Dist nm")}, section,
                  orientation, role);
}

void LeaderboardModel::show(const std::vector<LeaderboardRow>& rows, const FleetInfo& fleet)
{
    if (rows.size() != rows_.size()) {
        beginResetModel();
        rows_ = rows;
        fleet_ = fleet;
        endResetModel();
        return;
    }
    rows_ = rows;
    fleet_ = fleet;
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int LeaderboardModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LeaderboardModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kLeaderboardColumns.size());
}

QVariant LeaderboardModel::data(const QModelIndex& index, int role) const
{
    if (!Valid(index, rows_.size(), columnCount()))
        return {};
    const LeaderboardRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (row.Boat < 0 || static_cast<std::size_t>(row.Boat) >= fleet_.Boats.size())
        return {};
    const FleetBoat& boat = fleet_.Boats[static_cast<std::size_t>(row.Boat)];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0:
            return QString::number(row.Rank);
        case 1:
            return LocalText(boat.Caption);
        case 2:
            return LocalText(StandingText(row));
        default:
            return LocalText(GapText(row));
        }
    }
    return index.column() == 1 ? BoatCellColour(boat, role) : QVariant();
}

QVariant LeaderboardModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return Header(kLeaderboardColumns, section, orientation, role);
}

void ResultsModel::show(const std::vector<BoatResult>& results)
{
    beginResetModel();
    results_ = results;
    endResetModel();
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kResultColumnsShown.size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!Valid(index, results_.size(), columnCount()) || role != Qt::DisplayRole)
        return {};
    const auto texts = ResultTexts(results_[static_cast<std::size_t>(index.row())]);
    return QString::fromUtf8(texts[static_cast<std::size_t>(index.column())]);
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 2 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ratingHeading_;
    return Header(kResultColumnsShown, section, orientation, role);
}

} // namespace tideplot
