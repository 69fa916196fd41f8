#pragma once

#include "core/throttle.h"
#include "models/analysismodels.h"
#include "replay/fleetframe.h"
#include "ui/boatcolours.h"

#include <QAbstractSlider>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;

// The Analysis window, opened from the replay control window: the speed (and, when the wind
// is known, the VMG) of the boats chosen over race time, from the replay's first step to its
// last, a vertical line at the replay's position that follows it; a click or drag on the
// graph takes the replay there, and its keys move it by the replay's steps (TimeGraph).
// Below it, in tabs: every boat's totals (as `tideplot analyse` prints them); the chosen
// boats' tacks, gybes and turns, where the row selected is ringed on the chart and
// activating a row (Enter, a double click) takes the replay to ten seconds before that
// manoeuvre and the chart to its place; two boats compared side by side. On top the wind,
// with where it comes from, which the user may give (Enter in its box) or have estimated
// again.
//
// The analysis is worked out in the background from Start on (AnalysisRun); until it is
// there the window says so and stays usable.
namespace tideplot {

class ReplaySession;
class GapGraph;
class SpeedGraph;
class UserDialogs;

class FrmAnalysis : public QWidget, public FrameObserver {
public:
    FrmAnalysis(ReplaySession& session, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~FrmAnalysis() override;

    // The analysis to show; null while it is worked out (`note` says so) or when it failed
    // (`note` says why). It must stay as it is while it is shown.
    void showAnalysis(const RaceAnalysis* analysis, const QString& note);

    // The user gave the wind's direction (degrees, where it comes from), or asked for it to be
    // estimated again (none).
    std::function<void(std::optional<double> windFromDeg)> onWindChanged;
    // A manoeuvre was activated: the replay went to ten seconds before it; the chart is to
    // show its place (degrees).
    std::function<void(double lat, double lon)> onShowPlace;
    // The manoeuvre selected in the table (null: none), of the boat `boat` (race file order):
    // the chart is to ring it.
    std::function<void(const Manoeuvre* manoeuvre, int boat)> onHighlight;

    void raceStarted(const FleetInfo& fleet) override;
    void seriesChanged(const ReplaySeries& series) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void makeControls();
    void makeWindControls();
    void makeBoatChoice();
    void makeManoeuvresTable();
    void makeTotalsTable();
    void makeComparison();
    QWidget* manoeuvresPage();
    QWidget* startPage();
    void makeStartAndLegs();
    void makeGraphs();
    QWidget* comparisonPage();
    void layOut();
    void connectControls();
    void txtWind_Enter();
    void cmdEstimate_Click();
    void lstManoeuvres_Activated(const QModelIndex& index);
    void highlightSelected();
    void compare();
    void chooseAll(bool chosen);
    void showChoice(); // the graph and the table for the boats chosen
    bool seekable();   // says why not when the replay cannot go to another moment
    void seekToRaceSeconds(double raceSeconds);
    void stepWithKey(QAbstractSlider::SliderAction action);
    void showPosition();
    std::vector<bool> chosenBoats() const;

    ReplaySession& session_;
    UserDialogs& dialogs_;
    const RaceAnalysis* analysis_ = nullptr;
    FleetInfo fleet_;
    double raceClockDays_ = 0; // where the replay stands
    long long keyStep_ = -1;   // the step the graph's keys asked for last, until the replay moves

    QLabel* lblWind;
    QLineEdit* txtWind;
    QPushButton* cmdEstimate;
    QLabel* lblWindSource;
    QListWidget* lstBoats;
    QPushButton* cmdAllBoats;
    QPushButton* cmdNoBoats;
    QCheckBox* chkVmg;
    QTabWidget* tabsGraphs;
    SpeedGraph* graphSpeed;
    GapGraph* graphGap;
    QLabel* lblLineBias;
    QTableView* lstStart;
    QTableView* lstLegs;
    QTabWidget* tabsAnalysis;
    QTableView* lstTotals;
    QTableView* lstManoeuvres;
    QCheckBox* chkBeforeStart;
    QComboBox* cboFirst;
    QComboBox* cboSecond;
    QTableView* lstCompare;
    QLabel* lblStatus;
    QPushButton* cmdClose;
    ManoeuvresModel manoeuvres_;
    SortedBoatColouredTable sorted_;
    BoatTotalsModel totals_;
    SortedBoatColouredTable sortedTotals_;
    BoatComparisonModel comparison_;
    StartModel start_;
    SortedBoatColouredTable sortedStart_;
    LegsModel legs_;
    SortedBoatColouredTable sortedLegs_;

    // The replay moves faster than anyone reads a graph: its line follows at most ten times
    // a second, and at once after the replay went elsewhere.
    static constexpr int kMinShowMs = 100;
    Throttle shows_{kMinShowMs, this, [this] { showPosition(); }};
    // The boats chosen change one check at a time ("All" checks every one): the graph and
    // the table are made anew once they have.
    QTimer choiceChanged_;
};

} // namespace tideplot
