#pragma once

#include "analysis/raceanalysis.h"
#include "core/fleet.h"

#include <QAbstractTableModel>

#include <vector>

// The race analysis as the Analysis window's tables show it. Each cell's Qt::UserRole holds
// the number it sorts by, so that a sorting proxy sorts by value; a value not known sorts
// below every other.
namespace tideplot {

// The manoeuvres of the boats chosen: boat (its caption on its colour), kind, race time of
// the middle, loss in metres, least speed, speed before and after in knots, seconds. Those
// before a boat's start only when asked for ("before start" in their kind).
class ManoeuvresModel : public QAbstractTableModel {
public:
    // `race` stays as it is while it is shown (null: no rows); `chosen` says which boats (in
    // race file order) are listed, all when it is shorter.
    void show(const RaceAnalysis* race, const FleetInfo& fleet, const std::vector<bool>& chosen,
              bool beforeStart = false);
    // The boat (race file order) and manoeuvre of a row; null for no row.
    const Manoeuvre* manoeuvre(int row, int* boat = nullptr) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        int Boat = 0;
        std::size_t Index = 0; // in the boat's manoeuvres
    };
    const RaceAnalysis* race_ = nullptr;
    FleetInfo fleet_;
    std::vector<Row> rows_;
};

// Each boat's numbers from its own start, as `tideplot analyse` prints them: boat, LYS,
// distance, mean speed, tacks, gybes, mean tack loss, time on port and on starboard tack.
class BoatTotalsModel : public QAbstractTableModel {
public:
    void show(const RaceAnalysis* race, const FleetInfo& fleet);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const RaceAnalysis* race_ = nullptr;
    FleetInfo fleet_;
};

// Each boat's start against the start line (with one): boat, its distance to the line at its
// gun in metres (negative over it), where along the line (0 at its first end, 1 at the
// second), its speed then, the seconds late, OCS and whether it came back.
class StartModel : public QAbstractTableModel {
public:
    void show(const RaceAnalysis* race, const FleetInfo& fleet);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const RaceAnalysis* race_ = nullptr;
    FleetInfo fleet_;
    std::vector<int> boats_; // those with a start
};

// The legs of the boats chosen: boat, leg ("start - W"), lap, kind, time, distance, mean
// speed, VMG (VMC on a reach), tacks, gybes, mean loss, rank and gap to the first at its end,
// and the seconds the boat gained on the first over the leg (the gap before less the gap
// after), so the leg where a race was won or lost shows at a glance.
class LegsModel : public QAbstractTableModel {
public:
    void show(const RaceAnalysis* race, const FleetInfo& fleet, const std::vector<bool>& chosen);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        int Boat = 0;
        std::size_t Leg = 0;
    };
    const RaceAnalysis* race_ = nullptr;
    FleetInfo fleet_;
    std::vector<Row> rows_;
};

// Two boats side by side: a row for each of the totals' numbers, the first boat's value,
// the second's and the difference (the first's less the second's).
class BoatComparisonModel : public QAbstractTableModel {
public:
    void show(const RaceAnalysis* race, const FleetInfo& fleet, int first, int second);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const BoatAnalysis* boat(int column) const;

    const RaceAnalysis* race_ = nullptr;
    FleetInfo fleet_;
    int first_ = -1;
    int second_ = -1;
};

} // namespace tideplot
