#pragma once

#include "core/results.h"

#include <QObject>

class QSettings;

// The chart window's menus: Chart (a picture of the view, a video, the finish line) and
// Map, and what they do.
namespace tideplot {

class ReplayView;
class ReplayWindows;
class UserDialogs;

class ChartActions : public QObject {
public:
    // Adds the menus to the view's window.
    ChartActions(ReplayWindows& windows, ReplayView& view, UserDialogs& dialogs, QSettings& settings);

private:
    void makeMenus();
    void savePicture();
    void exportVideo();
    void exportWebPage();
    // The chart takes two clicks for the ends of the finish line.
    void pickFinishLine();
    // The ends typed as coordinates, the current line shown to begin with.
    void typeFinishLine();
    // The finish line from now on: drawn, raced to and kept in the race's course file.
    void keepFinishLine(const FinishLine& line);

    ReplayWindows& windows_;
    ReplayView& view_;
    UserDialogs& dialogs_;
    QSettings& settings_;
};

} // namespace tideplot
