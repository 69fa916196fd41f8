#pragma once

#include "app/replaydriver.h"
#include "core/replay.h"
#include "core/throttle.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;

// The replay control window: Play and Stop, the replay's three settings, the race time,
// the legend of up to seven boats in their colours and each boat's distance to the first.
// It stays above the other windows without taking the focus. Closing it ends the replay:
// the timer stops and the track files are closed; what was drawn stays in the view.
namespace tideplot {

class UserDialogs;

class FrmControl : public QWidget, public ControlPanel {
public:
    FrmControl(RaceState& state, TrackPlotter& plotter, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~FrmControl() override;

    std::string PointPlotText() override;
    std::string ResolutionText() override;
    std::string TrackInfoCaption(int row) override;
    void SetTrackInfo(int row, const std::string& caption, std::uint32_t windowColour) override;
    void SetRaceTime(const std::string& text) override;
    void SetDistance(int row, const std::string& text) override;

    ReplayDriver& driver() { return driver_; }

    // Makes this the active window with the focus on Play, so that Space plays at once.
    void focusPlay();
    // The race time the window shows.
    QString raceTimeShown() const;

    // The play speed text read as the timer's interval: a number that rounds to a whole
    // number of milliseconds from 0 to 65535 (0: as fast as the program can); nothing
    // otherwise.
    static std::optional<int> PlayInterval(const QString& text);
    // The resolution text read as seconds of race time per step: a positive number;
    // nothing otherwise.
    static std::optional<double> ResolutionSeconds(const QString& text);

    // Called when the replay has reached its end (every track file at its end): the timer
    // has stopped and the last step's texts are shown.
    std::function<void()> onEnd;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdPlay_Click();
    void cmdStop_Click();
    void Form_Unload();
    void showTexts();
    static constexpr int kMinShowMs = 15;

    RaceState& state_;
    UserDialogs& dialogs_;
    ReplayDriver driver_;
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
    std::array<QLabel*, kMaxBoats> lblTrackInfo{};
    std::array<QLabel*, kMaxBoats> lblDst{}; // element 0 is not used
    std::array<std::string, kMaxBoats> trackInfoCaption_;
    std::string raceTime_;
    std::array<std::string, kMaxBoats> distance_;
    // The race time and the distances change at every step; the window shows them at most
    // every kMinShowMs, and at once when the replay stops.
    Throttle shows_{kMinShowMs, this, [this] { showTexts(); }};
};

} // namespace tideplot
