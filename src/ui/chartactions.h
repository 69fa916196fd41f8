#pragma once

#include "core/fleet.h"
#include "core/replay.h"
#include "core/results.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QActionGroup;
class QMenu;
class QSettings;

// The chart window's menus: Chart (a picture of the view, a video, the finish line, the
// manoeuvres marked, the boat the view follows) and Map, and what they do.
namespace tideplot {

class CourseEditor;
class ReplayView;
class ReplayWindows;
class UserDialogs;

class ChartActions : public QObject {
public:
    // Adds the menus to the view's window.
    ChartActions(ReplayWindows& windows, ReplayView& view, UserDialogs& dialogs, QSettings& settings);

    // The boats of the race started, offered by Chart > Follow boat.
    void setFleet(const FleetInfo& fleet);
    // The race analysis came or changed: the tacks and gybes marked anew when they are shown.
    void analysisChanged();

private:
    void makeMenus();
    void showManoeuvres();
    // Asks for the name of a file to write beside the race; `suffix` added to a name typed
    // without one.
    QString askOutputName(const QString& title, const QString& filter, const QString& suffix);
    // The replay's settings as the control window's boxes hold them.
    ReplaySettings shownSettings() const;
    // Runs `write` with a progress that can be cancelled, and says where it wrote or what failed.
    using Progress = std::function<bool(long long done, long long total)>;
    // `notes` (filled by `write`) follow the message that says where the file went.
    void writeWithProgress(const QString& what, const QString& name, const QString& written,
                           const std::function<bool(const Progress&)>& write,
                           const std::vector<std::string>* notes = nullptr);
    void savePicture();
    void exportVideo();
    void exportWebPage();
    // The chart takes two clicks for the ends of the finish line.
    void pickFinishLine();
    // The ends typed as coordinates, the current line shown to begin with.
    void typeFinishLine();
    // The finish line from now on: drawn, raced to and kept in the race's course file.
    void keepFinishLine(const FinishLine& line);
    // Chart > Course...: the course window, one at a time.
    void editCourse();

    ReplayWindows& windows_;
    ReplayView& view_;
    UserDialogs& dialogs_;
    QSettings& settings_;
    QAction* showManoeuvres_ = nullptr;
    QMenu* follow_ = nullptr;
    QActionGroup* followed_ = nullptr;
    QString note_; // what the status bar was told of the manoeuvres last
    QPointer<CourseEditor> courseEditor_;
};

} // namespace tideplot
