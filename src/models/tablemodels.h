#pragma once

#include "core/fleet.h"
#include "core/results.h"
#include "replay/fleetframe.h"
#include "replay/leaderboard.h"

#include <QAbstractTableModel>

#include <vector>

// The replay's numbers as the windows' tables show them: the control window's list of a
// large fleet, the leaderboard and the results table. Each model takes numbers and makes its
// texts with the program's formatting functions (replay/valuetext.h), the same as the trace,
// the video and the web page write. The models need Qt Core alone: they are tested, and
// could be shown, without a window.
namespace tideplot {

// `index` lies inside a table of `rows` rows and `columns` columns.
bool Valid(const QModelIndex& index, std::size_t rows, int columns);
// The heading of a column of `columns` for QAbstractItemModel::headerData.
QVariant Header(const QStringList& columns, int section, Qt::Orientation orientation, int role);

// The roles of the tables' cells beyond Qt's own (a cell's Qt::UserRole, where it has one,
// is the number it sorts by). The models need no drawing: a view draws a boat's cell from
// these numbers (ui/boatcolours.h).
enum CellRole {
    // A boat's cell: the colour of its background, an RGB number (0xRRGGBB)...
    BoatColourRole = Qt::UserRole + 1,
    // ...and of its text, white or black, whichever reads on the boat's colour.
    BoatTextColourRole,
};

// A boat's caption on its colour: BoatColourRole and BoatTextColourRole; nothing for another role.
QVariant BoatCellColour(const FleetBoat& boat, int role);

// The control window's list of a fleet of more than seven: each boat's caption on its
// colour and its distance to the first boat, in race file order; or, once the race has a
// finish line, in leaderboard order with where each stands.
class FleetTableModel : public QAbstractTableModel {
public:
    void setFleet(const FleetInfo& fleet);
    // Each boat's distance to the first boat as the frame shows it.
    void showDistances(const FleetFrame& frame);
    // The boats in leaderboard order.
    void showStandings(const std::vector<LeaderboardRow>& rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        int Boat = 0;
        std::string Caption;
        std::string Value;  // the distance, or where it stands and its gap
        std::string Spoken; // the value as a screen reader says it with the boat
    };
    void show(std::vector<Row> rows, bool ranked);

    FleetInfo fleet_;
    std::vector<Row> rows_;
    bool ranked_ = false;
};

// The leaderboard: position, boat, where it stands, its gap.
class LeaderboardModel : public QAbstractTableModel {
public:
    void show(const std::vector<LeaderboardRow>& rows, const FleetInfo& fleet);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<LeaderboardRow> rows_;
    FleetInfo fleet_;
};

// The results table by the course, its columns those of the CSV.
class ResultsModel : public QAbstractTableModel {
public:
    void show(const std::vector<BoatResult>& results);
    const std::vector<BoatResult>& results() const { return results_; }
    // The heading of the third column: "LYS", or "Rating" under another handicap system.
    void setRatingHeading(const QString& heading) { ratingHeading_ = heading; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<BoatResult> results_;
    QString ratingHeading_ = QStringLiteral("LYS");
};

} // namespace tideplot
