// Where the replay's windows go, as rectangles: on a table of screens (the common 1366x768
// and 1920x1080, and a small one), the set-up window where the window manager put it, the
// chart and the control window placed at Start, then the Analysis and results windows in
// either order. Every window lies inside the screen, none under the control window (which
// stays on top), and none over a menu or a button of a window opened before it. The windows'
// frames and controls are those of the real windows under openbox (scripts/screenshots.sh).
#include "ui/windowplacement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tideplot {
namespace {

const QMargins kFrame(1, 20, 1, 5); // openbox's title bar and borders

std::string Text(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// The title bar of a frame, and rectangles placed from its top-left corner (x, y >= 0) or its
// bottom-right corner (x, y < 0: that far left and up of it).
std::vector<QRect> Controls(const QRect& frame, std::initializer_list<QRect> inside)
{
    std::vector<QRect> controls{QRect(frame.topLeft(), QSize(frame.width(), kFrame.top()))};
    for (const QRect& c : inside) {
        const int x = c.x() >= 0 ? frame.left() + c.x() : frame.right() + 1 + c.x();
        const int y = c.y() >= 0 ? frame.top() + c.y() : frame.bottom() + 1 + c.y();
        controls.emplace_back(QPoint(x, y), c.size());
    }
    return controls;
}

ScreenWindow SetupWindow(const QRect& frame)
{
    // Menu bar, tool bar, Start, and the import picture, Add, Change and Delete buttons.
    return {frame,
            Controls(frame, {{1, 20, 788, 19},
                             {1, 39, 788, 28},
                             {321, 47, 145, 22},
                             {473, 191, 37, 38},
                             {521, 191, 57, 41},
                             {585, 191, 57, 41},
                             {649, 191, 57, 41}}),
            false, true};
}

ScreenWindow ChartWindow(const QRect& frame)
{
    return {frame, Controls(frame, {{1, 20, frame.width() - 2, 19}}), false, false};
}

ScreenWindow AnalysisWindow(const QRect& frame)
{
    // Estimate; All, None and VMG under the boat list; Close.
    return {frame, Controls(frame, {{228, 31, 80, 22}, {12, -240, 220, 48}, {-92, -38, 80, 22}}), false, false};
}

ScreenWindow ResultsWindow(const QRect& frame)
{
    // The tabs; Save CSV... and Close.
    return {frame, Controls(frame, {{12, 65, 168, 26}, {-178, -38, 166, 22}}), false, false};
}

QSize Outer(QSize contents)
{
    return contents + QSize(kFrame.left() + kFrame.right(), kFrame.top() + kFrame.bottom());
}

// `place` inside the screen, of at least `least`, under no window on top and over no control.
::testing::AssertionResult PlacedClear(const QRect& screen, const QRect& place, QSize least,
                                       const std::vector<ScreenWindow>& before)
{
    if (!screen.contains(place))
        return ::testing::AssertionFailure() << Text(place) << " runs off the screen " << Text(screen);
    if (place.width() < least.width() || place.height() < least.height())
        return ::testing::AssertionFailure() << Text(place) << " is smaller than its least size";
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i].OnTop && place.intersects(before[i].Frame))
            return ::testing::AssertionFailure() << Text(place) << " lies under window " << i << " on top";
        for (const QRect& control : before[i].Controls)
            if (place.intersects(control))
                return ::testing::AssertionFailure()
                       << Text(place) << " covers " << Text(control) << " of window " << i;
    }
    return ::testing::AssertionSuccess();
}

TEST(WindowPlacement, EveryWindowOfAReplayKeepsTheMenusAndButtonsOfTheOthersClear)
{
    const QSize analysisWanted = Outer({960, 680}), analysisLeast = Outer({640, 400});
    const QSize resultsWanted = Outer({1250, 420}), resultsLeast = Outer({480, 300});
    const struct Case {
        const char* what;
        QRect screen;
        QRect setup;   // where the window manager put the set-up window
        bool allClear; // the screen has room to keep every menu and button clear
    } cases[] = {
        {"1366x768", {0, 0, 1366, 768}, {66, 9, 790, 759}, true},
        {"1920x1080", {0, 0, 1920, 1080}, {67, 67, 790, 759}, true},
        {"1920x1080, the set-up window in the middle", {0, 0, 1920, 1080}, {565, 160, 790, 759}, true},
        {"1920x1080 under a panel", {0, 32, 1920, 1048}, {67, 99, 790, 759}, true},
        {"1024x600", {0, 0, 1024, 600}, {0, 0, 790, 600}, false},
    };
    for (const Case& c : cases) {
        ReplayPlacement at;
        at.Screen = c.screen;
        at.Setup = c.setup;
        at.Frame = kFrame;
        at.StartRowBottom = c.setup.top() + 69;
        at.Control = {449, 152};
        at.HasChart = true;
        at.ChartHint = {1000, 772};
        at.ChartLeast = {200, 150};
        ReplayPlaces places = PlaceReplayWindows(at);
        const QRect setup = c.setup.translated(places.SetupMove);
        const QRect chart = places.Chart.marginsAdded(kFrame);
        ASSERT_TRUE(c.screen.contains(chart)) << c.what << ": the chart at " << Text(chart);
        ASSERT_TRUE(c.screen.contains(places.Control)) << c.what << ": the control window at " << Text(places.Control);
        EXPECT_FALSE(chart.intersects(places.Control)) << c.what;
        const ScreenWindow control{places.Control, {}, true, false};
        const std::vector<ScreenWindow> atStart{SetupWindow(setup), ChartWindow(chart), control};
        // Beside the set-up window; on a screen too narrow for that, over its lower part, the
        // Start row in view.
        const QRect start = SetupWindow(setup).Controls[3];
        for (const ScreenWindow& window : {ChartWindow(chart), control}) {
            if (c.allClear)
                EXPECT_TRUE(PlacedClear(c.screen, window.Frame, {}, {SetupWindow(setup)})) << c.what;
            else
                EXPECT_FALSE(window.Frame.intersects(start)) << c.what << ": " << Text(window.Frame);
        }

        for (const bool resultsFirst : {false, true}) {
            std::vector<ScreenWindow> open = atStart;
            for (int i = 0; i < 2; ++i) {
                const bool analysis = (i == 0) != resultsFirst;
                const QSize least = analysis ? analysisLeast : resultsLeast;
                const QRect place = PlaceWindow(c.screen, analysis ? analysisWanted : resultsWanted, least, open);
                const std::string what = std::string(c.what) +
                                         (analysis ? ": the Analysis window" : ": the results window") +
                                         (resultsFirst ? ", the results window opened first" : "");
                const ScreenWindow opened = analysis ? AnalysisWindow(place) : ResultsWindow(place);
                if (c.allClear) {
                    EXPECT_TRUE(PlacedClear(c.screen, place, least, open)) << what;
                } else {
                    // No room for that: still on the screen, its own buttons clear of the control window.
                    EXPECT_TRUE(c.screen.contains(place)) << what << " at " << Text(place);
                    for (const QRect& control : opened.Controls)
                        EXPECT_FALSE(control.intersects(places.Control)) << what << " at " << Text(place);
                }
                open.push_back(opened);
            }
        }
    }
}

// Where there is room, a window goes where it covers none of the replay's windows, as large as
// the room allows; where there is none, it covers as little of them as it can. The set-up
// window's lists may be covered; on a screen smaller than the window's least size, the window
// takes the whole screen.
TEST(WindowPlacement, ARoomOfItsOwnFirstThenAsLittleOfTheReplayAsItCan)
{
    const QRect screen(0, 0, 1000, 800);
    const ScreenWindow chart{{500, 0, 500, 400}, {{500, 0, 500, 40}}, false, false};
    const ScreenWindow setup{{0, 0, 500, 800}, {{0, 0, 500, 100}}, false, true};
    const struct Case {
        const char* what;
        std::vector<ScreenWindow> others;
        QSize wanted, least;
        QRect place;
    } cases[] = {
        {"the free lower right, at the wanted size", {chart, setup}, {400, 300}, {200, 200}, {500, 400, 400, 300}},
        {"the largest room, over the set-up window's lists",
         {chart, setup},
         {600, 500},
         {200, 200},
         {0, 100, 500, 500}},
        {"over the set-up window's lists rather than the chart",
         {chart, setup},
         {600, 700},
         {450, 450},
         {0, 100, 500, 700}},
        {"over as little of the chart as it must, at the least size",
         {chart, ScreenWindow{{0, 0, 500, 800}, {}, false, false}},
         {600, 700},
         {450, 450},
         {500, 350, 450, 450}},
        {"a screen smaller than the least size", {}, {1200, 900}, {1100, 850}, {0, 0, 1000, 800}},
        {"an empty screen: top left", {}, {300, 200}, {100, 100}, {0, 0, 300, 200}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(PlaceWindow(screen, c.wanted, c.least, c.others)), Text(c.place)) << c.what;
}

} // namespace
} // namespace tideplot
