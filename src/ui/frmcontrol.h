#pragma once

#include "core/replay.h"
#include "core/throttle.h"
#include "models/tablemodels.h"
#include "replay/fleetframe.h"
#include "ui/boatcolours.h"

#include <QRect>
#include <QSize>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QTableView;

// The replay control window: Play and Stop, the replay's settings, the race time, the
// position in the race (a slider to go to any moment), the tail the chart draws, the legend
// of the boats in their colours and each boat's distance to the first. Up to seven boats
// stand in the seven designed legend rows; a larger fleet in a scrolling list of the same
// rows. It stays above the other windows. Closing it ends the replay: the timer stops and
// the track files are closed; what was drawn stays in the view.
namespace tideplot {

class Leaderboard;
class ReplaySession;
class UserDialogs;

class FrmControl : public QWidget, public FrameObserver {
public:
    FrmControl(ReplaySession& session, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~FrmControl() override;

    ReplaySession& session() { return session_; }

    // Sizes the window for a fleet of `boats`: the designed window for up to seven, a list
    // of at least ten rows in a window that may be resized for more.
    void fitFleet(int boats);

    // Makes this the active window with the focus on Play, so that Space plays at once.
    void focusPlay();
    // The race time the window shows.
    QString raceTimeShown() const;
    // The settings as the boxes hold them now; nothing (and the user told why) when a box
    // holds no valid value.
    std::optional<ReplaySettings> typedSettings();

    // The play speed text read as the timer's interval: a number that rounds to a whole
    // number of milliseconds from 0 to 65535 (0: as fast as the program can); nothing
    // otherwise.
    static std::optional<int> PlayInterval(const QString& text);
    // The tail box read as minutes: a number of 0 or more (0: the whole track).
    static std::optional<double> TailMinutes(const QString& text);
    // The tail the box holds now (0 when it holds no valid number).
    double tailMinutes() const;

    // Called when the tail box holds a new valid number of minutes.
    std::function<void(double minutes)> onTailChanged;
    // Called by the Results button.
    std::function<void()> onResults;
    // Called by the Analysis button.
    std::function<void()> onAnalysis;
    // The leaderboard of the race, when it has a finish line: a fleet of more than seven
    // is listed in its order.
    const Leaderboard* leaderboard = nullptr;

    void raceStarted(const FleetInfo& fleet) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;
    void reachedEnd() override;
    void failed(const std::string& message) override;
    void buildingTimeline(double done) override;
    void timelineBuilt(const std::string& failure, const std::optional<TimelineVerdict>& overBudget) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeControls();
    void makeFleetList();
    void makePositionSlider();
    void layOut();
    void cmdPlay_Click();
    void cmdStop_Click();
    void sldPosition_Change(int value);
    void txtTail_Change();
    void Form_Unload();
    // The frame and its texts (race time, distances, step) for showTexts() to show.
    void setFrameToShow(const FleetFrame& frame);
    void showTexts();
    void showPosition();
    void layoutFleetList();
    void fitSlider();
    void tellEnd(); // that Play has nothing left to play // the slider's range and whether it moves, as the replay's
                    // timeline has them
    static constexpr int kMinShowMs = 15;

    ReplaySession& session_;
    UserDialogs& dialogs_;
    bool unloaded_ = false;

    QGroupBox* frameReplay;
    QPushButton* cmdPlay;
    QPushButton* cmdStop;
    QLabel* Label7;
    QLineEdit* txtPlayspeed;
    QLabel* Label9;
    QLineEdit* txtResolution;
    QLabel* Label1;
    QLineEdit* txtRaceTime;
    QLabel* Label2;
    QLineEdit* txtPointPlot;
    QLabel* Label3;
    QSlider* sldPosition;
    QProgressBar* prgCount = nullptr;
    QLabel* lblTail;
    QLineEdit* txtTail;
    QPushButton* cmdResults;
    QPushButton* cmdAnalysis;
    static constexpr int kLegendRows = 7;
    std::array<QLabel*, kLegendRows> lblTrackInfo{};
    std::array<QLabel*, kLegendRows> lblDst{}; // element 0 is not used
    QTableView* lstFleet = nullptr;            // the legend of a fleet of more than seven
    FleetTableModel fleetModel_;
    BoatColouredTable fleetColoured_; // the list's boats in their colours

    QSize designedSize_;
    QRect designedList_;
    std::vector<std::pair<QWidget*, QRect>> bottomRow_; // the controls under the frame, as designed
    FleetInfo fleet_;
    FleetFrame frame_;
    std::string raceTime_;
    std::vector<std::string> distance_;
    long long position_ = 0;
    bool movingSlider_ = false;
    bool playAsked_ = false; // Play was pressed while the timeline of new settings was built
    // The race time, the distances and the slider change at every step; the window shows
    // them at most every kMinShowMs, and at once when the replay stops or goes elsewhere.
    Throttle shows_{kMinShowMs, this, [this] { showTexts(); }};
};

} // namespace tideplot
