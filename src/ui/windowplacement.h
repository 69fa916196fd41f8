#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

// Where the replay's windows go on the screen, worked out from rectangles alone: the screen's
// available area, the frames of the windows already there and the menus and buttons in them.
// Every rectangle is in screen pixels; a frame is a window's outer edge, title bar and
// borders included.
namespace tideplot {

// A window on the screen, as a new window is to keep clear of it.
struct ScreenWindow {
    QRect Frame;
    // What must stay in view and reachable: its title bar, menus, tool bars and buttons.
    std::vector<QRect> Controls;
    // It stays above the others (the replay control window): nothing may go under it.
    bool OnTop = false;
    // It waits while the replay runs (the set-up window): its lists may be covered sooner
    // than a window of the replay.
    bool Idle = false;
};

// A window as it stands on the screen, its frame `frame` (the window manager's, or one
// estimated for a window not yet shown): its title bar and every menu bar, tool bar, tab bar
// and button shown in it are its controls; a window that stays on top is OnTop.
ScreenWindow WindowOnScreen(const QWidget& window, const QRect& frame, bool idle);

// The place of a new window of outer size `wanted` (at least `least`), inside the screen.
// Where it can, it covers no control of another window, lies under no window on top and
// covers none of the replay's windows (those not Idle), taking the largest room there is up
// to `wanted`; where it cannot, it keeps the controls clear and covers as little of the
// replay's windows as it can (at its least size, mostly); where no place does, it lies as
// little under a window on top and over controls as it can. Of the places that do as well,
// the largest, then the one that covers least of the idle windows, then the highest, then the
// leftmost. A screen smaller than `least` takes a window of its own size.
QRect PlaceWindow(const QRect& screen, QSize wanted, QSize least, const std::vector<ScreenWindow>& others);

// The replay's first windows, placed at Start: the chart and the control window go where they
// cover neither each other nor the set-up window, beside it on the side with more room (the
// chart at its size hint as far as the room allows, the control window under it, or beside
// the Start row when there is no room under it); where neither side has room for a chart
// (kMinChartWidth), the set-up window moves to the screen's left edge to make some, and on a
// screen too narrow for both the replay's windows go over its lower part, its Start row in
// view.
struct ReplayPlacement {
    QRect Screen;           // the screen's available area
    QRect Setup;            // the set-up window's frame
    QMargins Frame;         // a window's frame around its contents (taken from the set-up window)
    int StartRowBottom = 0; // the lowest line of the set-up window's Start row
    QSize Control;          // the control window's contents
    bool HasChart = false;  // the view is a window of its own (the chart)
    QSize ChartHint;        // the chart's contents: as it would be, and at least
    QSize ChartLeast;
    QRect ChartBefore; // the chart's contents where the last replay's chart was (none: not valid)
};
struct ReplayPlaces {
    QPoint SetupMove; // how far the set-up window moves (0, 0 mostly)
    QRect Chart;      // the chart's contents (not valid without a chart)
    QRect Control;    // the control window's frame
};
inline constexpr int kMinChartWidth = 360;
ReplayPlaces PlaceReplayWindows(const ReplayPlacement& at);

// Moves a shown window so that its outer frame lies wholly on its screen's available area when
// it fits; a window larger than the screen keeps its title bar and its top left corner on it.
void KeepFrameOnScreen(QWidget& window);

} // namespace tideplot
