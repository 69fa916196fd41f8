#include "ui/windowplacement.h"

#include <QAbstractButton>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QToolBar>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <tuple>

namespace tideplot {

namespace {

int Clamp(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}

long long Area(const QRect& r)
{
    return r.isEmpty() ? 0 : static_cast<long long>(r.width()) * r.height();
}

// The rooms of the screen that meet none of `blocked` and take a window of `least`: for every
// top-left corner where a room can begin (the screen's edge, or just past a blocked rectangle)
// and every right edge where it can end, the room as tall as it can be; of these, those that
// no other room holds. Every largest empty rectangle is one of them.
std::vector<QRect> Rooms(const QRect& screen, const std::vector<QRect>& blocked, QSize least)
{
    std::vector<int> lefts{screen.left()}, tops{screen.top()};
    for (const QRect& b : blocked) {
        lefts.push_back(b.right() + 1);
        tops.push_back(b.bottom() + 1);
    }
    std::vector<QRect> rooms;
    for (const int x : lefts) {
        std::vector<int> rights{screen.right()};
        for (const QRect& b : blocked)
            if (b.left() > x && b.left() - 1 < screen.right())
                rights.push_back(b.left() - 1);
        for (const int y : tops) {
            if (!screen.contains(QPoint(x, y)))
                continue;
            for (const int right : rights) {
                if (right - x + 1 < least.width())
                    continue;
                int bottom = screen.bottom();
                for (const QRect& b : blocked)
                    if (b.left() <= right && b.right() >= x && b.bottom() >= y)
                        bottom = std::min(bottom, b.top() - 1);
                if (bottom - y + 1 >= least.height())
                    rooms.emplace_back(QPoint(x, y), QPoint(right, bottom));
            }
        }
    }
    const auto order = [](const QRect& a, const QRect& b) {
        return std::tuple(a.left(), a.top(), a.right(), a.bottom()) <
               std::tuple(b.left(), b.top(), b.right(), b.bottom());
    };
    std::sort(rooms.begin(), rooms.end(), order);
    rooms.erase(std::unique(rooms.begin(), rooms.end()), rooms.end());
    std::vector<QRect> largest;
    for (const QRect& room : rooms)
        if (std::none_of(rooms.begin(), rooms.end(),
                         [&](const QRect& other) { return other != room && other.contains(room); }))
            largest.push_back(room);
    return largest;
}

// What a place hides: of the windows on top (which would hide it), of the others' controls, of
// the windows that show the replay, and of every other window.
struct Cover {
    long long UnderTop = 0;
    long long Controls = 0;
    long long Replay = 0;
    long long All = 0;
};

Cover Covered(const QRect& place, const std::vector<ScreenWindow>& others)
{
    Cover cover;
    for (const ScreenWindow& other : others) {
        const long long area = Area(place.intersected(other.Frame));
        cover.All += area;
        cover.Replay += other.Idle ? 0 : area;
        cover.UnderTop += other.OnTop ? area : 0;
        for (const QRect& control : other.Controls)
            cover.Controls += Area(place.intersected(control));
    }
    return cover;
}

// Of the places in the rooms, each room taking a window as large as it can (up to `wanted`)
// or of the least size, against the room's edges or beside an edge of another window or
// control: the one that lies least under a window on top, then covers least of the controls,
// then of the windows that show the replay, then the largest, then the one that covers least
// of the others, then the highest, then the leftmost.
std::optional<QRect> BestPlace(const std::vector<QRect>& rooms, QSize wanted, QSize least,
                               const std::vector<ScreenWindow>& others)
{
    std::optional<QRect> best;
    Cover bestCover;
    const auto key = [](const QRect& place, const Cover& cover) {
        return std::tuple(cover.UnderTop, cover.Controls, cover.Replay, -Area(place), cover.All, place.top(),
                          place.left());
    };
    std::vector<QRect> edges;
    for (const ScreenWindow& other : others) {
        edges.push_back(other.Frame);
        edges.insert(edges.end(), other.Controls.begin(), other.Controls.end());
    }
    for (const QRect& room : rooms) {
        for (const QSize size : {wanted.boundedTo(room.size()), least}) {
            std::vector<int> xs{room.left(), room.right() + 1 - size.width()};
            std::vector<int> ys{room.top(), room.bottom() + 1 - size.height()};
            for (const QRect& edge : edges) {
                xs.insert(xs.end(), {edge.left() - size.width(), edge.right() + 1});
                ys.insert(ys.end(), {edge.top() - size.height(), edge.bottom() + 1});
            }
            for (const int x : xs) {
                for (const int y : ys) {
                    const QRect place(QPoint(x, y), size);
                    if (!room.contains(place))
                        continue;
                    const Cover cover = Covered(place, others);
                    if (!best || key(place, cover) < key(*best, bestCover)) {
                        best = place;
                        bestCover = cover;
                    }
                }
            }
        }
    }
    return best;
}

} // namespace

ScreenWindow WindowOnScreen(const QWidget& window, const QRect& frame, bool idle)
{
    ScreenWindow on{frame, {}, window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), idle};
    const QRect inner = window.geometry();
    if (inner.top() > frame.top())
        on.Controls.emplace_back(frame.topLeft(), QPoint(frame.right(), inner.top() - 1));
    for (const QWidget* child : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<const QAbstractButton*>(child) || qobject_cast<const QMenuBar*>(child) ||
                             qobject_cast<const QToolBar*>(child) || qobject_cast<const QTabBar*>(child);
        if (control && child->isVisibleTo(&window) && child->window() == &window)
            on.Controls.emplace_back(child->mapTo(&window, QPoint(0, 0)) + inner.topLeft(), child->size());
    }
    return on;
}

QRect PlaceWindow(const QRect& screen, QSize wanted, QSize least, const std::vector<ScreenWindow>& others)
{
    least = least.boundedTo(screen.size());
    wanted = wanted.boundedTo(screen.size()).expandedTo(least);
    // Clear of the replay's windows if it can be, else clear of every control; else where it
    // hides least.
    std::vector<QRect> keepClear, clearOfReplay;
    for (const ScreenWindow& other : others) {
        if (other.OnTop)
            keepClear.push_back(other.Frame);
        for (const QRect& control : other.Controls)
            if (!control.isEmpty())
                keepClear.push_back(control);
        if (!other.Idle)
            clearOfReplay.push_back(other.Frame);
    }
    clearOfReplay.insert(clearOfReplay.end(), keepClear.begin(), keepClear.end());
    for (const std::vector<QRect>& blocked : {clearOfReplay, keepClear, std::vector<QRect>{}})
        if (const auto place = BestPlace(Rooms(screen, blocked, least), wanted, least, others))
            return *place;
    return QRect(screen.topLeft(), least); // not reached: the screen itself is a room
}

ReplayPlaces PlaceReplayWindows(const ReplayPlacement& at)
{
    const QRect& screen = at.Screen;
    const QRect& setup = at.Setup;
    const QSize frameExtra(at.Frame.left() + at.Frame.right(), at.Frame.top() + at.Frame.bottom());
    const QSize controlOuter = at.Control + frameExtra;
    ReplayPlaces places;

    // Where the chart and the control window go, outer frames.
    const int roomRight = screen.right() - setup.right();
    const int roomLeft = setup.left() - screen.left();
    QRect area;
    if (roomRight >= kMinChartWidth && roomRight >= roomLeft) {
        area = QRect(QPoint(setup.right() + 1, screen.top()), screen.bottomRight());
    } else if (roomLeft >= kMinChartWidth) {
        area = QRect(screen.topLeft(), QPoint(setup.left() - 1, screen.bottom()));
    } else if (setup.width() + kMinChartWidth <= screen.width()) {
        places.SetupMove = QPoint(screen.left() - setup.left(), 0);
        area = QRect(QPoint(screen.left() + setup.width(), screen.top()), screen.bottomRight());
    } else {
        area = QRect(QPoint(screen.left(), std::max(screen.top(), at.StartRowBottom + 8)), screen.bottomRight());
    }
    const auto controlLeft = [&](int left) {
        return Clamp(left, screen.left(), screen.right() + 1 - controlOuter.width());
    };
    if (!at.HasChart) {
        places.Control = QRect(QPoint(controlLeft(area.left()),
                                      Clamp(area.top(), screen.top(), screen.bottom() + 1 - controlOuter.height())),
                               controlOuter);
        return places;
    }
    QRect chart = at.ChartBefore;
    if (!chart.isValid()) {
        const QSize room(area.width() - frameExtra.width(),
                         area.height() - controlOuter.height() - frameExtra.height());
        const QSize size = at.ChartHint.boundedTo(room).expandedTo(at.ChartLeast);
        chart = QRect(area.topLeft() + QPoint(at.Frame.left(), at.Frame.top()), size.boundedTo(room));
    }
    places.Chart = chart;
    const QRect chartOuter = chart.marginsAdded(at.Frame);
    int top = chartOuter.bottom() + 1;
    if (top + controlOuter.height() > screen.bottom() + 1)
        top = std::max(screen.top(), chartOuter.top()); // no room under it: beside Start's row
    places.Control = QRect(QPoint(controlLeft(chartOuter.left()), top), controlOuter);
    return places;
}

void KeepFrameOnScreen(QWidget& window)
{
    if (window.isMinimized() || !window.isVisible())
        return;
    const QRect screen = window.screen()->availableGeometry();
    const QRect outer = window.frameGeometry();
    constexpr int kKeptPx = 100;
    const int right = outer.width() <= screen.width() ? screen.right() + 1 - outer.width() : screen.right() - kKeptPx;
    const int bottom =
        outer.height() <= screen.height() ? screen.bottom() + 1 - outer.height() : screen.bottom() - kKeptPx;
    const QPoint at(std::max(screen.left(), std::min(outer.left(), right)),
                    std::max(screen.top(), std::min(outer.top(), bottom)));
    if (at != outer.topLeft())
        window.move(at);
}

} // namespace tideplot
