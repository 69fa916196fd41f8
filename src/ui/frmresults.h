#pragma once

#include "core/course.h"
#include "core/results.h"
#include "models/tablemodels.h"
#include "replay/leaderboard.h"
#include "ui/boatcolours.h"

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

// The results window, opened from the replay control window: the live leaderboard of the
// replay that plays, and the results table of the race by its course (with a finish line
// alone, the first crossing of each boat after its own start), ranked by corrected time,
// which it saves as CSV.
namespace tideplot {

class UserDialogs;

class FrmResults : public QWidget {
public:
    FrmResults(UserDialogs& dialogs, QWidget* parent = nullptr);

    // Works out the results of the race file by its course (read from the track files: a few
    // seconds for a large fleet) and shows them; `source` says where the course comes from.
    // Tells the user and shows none when they cannot be worked out.
    void showResults(const std::string& raceFile, const Course& course, const QString& source);
    // The leaderboard as the replay stands; the fleet gives the boats' captions and colours.
    void showLeaderboard(const std::vector<LeaderboardRow>& rows, const FleetInfo& fleet);

    const std::vector<BoatResult>& results() const { return results_.results(); }

private:
    void cmdSave_Click();

    UserDialogs& dialogs_;
    std::string raceFile_;
    LeaderboardModel leaderboard_;
    BoatColouredTable leaderboardColoured_; // the leaderboard's boats in their colours
    ResultsModel results_;
    QLabel* lblLine;
    QTabWidget* tabs;
    QTableView* lstLeaderboard;
    QTableView* lstResults;
    QPushButton* cmdSave;
    QPushButton* cmdClose;
};

} // namespace tideplot
