#pragma once

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
    // The chart takes two clicks for the ends of the finish line.
    void pickFinishLine();

    ReplayWindows& windows_;
    ReplayView& view_;
    UserDialogs& dialogs_;
    QSettings& settings_;
};

} // namespace tideplot
