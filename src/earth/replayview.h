#pragma once

#include "core/replay.h"
#include "core/results.h"
#include "core/trackfixes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QMainWindow;
class QMenu;
class QSettings;
class QWidget;

// A view that is a window of its own and draws the replay's pieces as values, with their
// step and race clock, so that it can be drawn again at once after the replay went to
// another moment and can show only the latest minutes (a tail): the built-in chart. The
// windows place it, show it and add their menus to it through this interface.
namespace tideplot {

class ReplayView {
public:
    struct Boat {
        std::string Caption;     // the legend caption, the label at the boat's newest piece
        std::int32_t Colour = 0; // colour number
    };

    virtual ~ReplayView() = default;

    // The view's window, with a menu bar and a status bar.
    virtual QMainWindow* window() = 0;

    // The boats of the race, in race file order (the pieces name them by index).
    virtual void setBoats(const std::vector<Boat>& boats) = 0;
    // Pieces drawn as the replay plays, in step order.
    virtual void addPieces(std::span<const DrawnPiece> pieces) = 0;
    // Everything drawn, in place of what the view showed (after the replay went to another moment).
    virtual void setPieces(std::span<const DrawnPiece> pieces) = 0;
    // The race clock of the step shown, in days: the end of the tail.
    virtual void setRaceClock(double days) = 0;
    // Only the pieces of the last `minutes` of race time are drawn, older ones fading out;
    // 0 draws the whole track.
    virtual void setTailMinutes(double minutes) = 0;

    // Moves the view so that the whole box is in view at the current heading, as the
    // picture of the whole race shows it.
    virtual void showBox(const FixBox& box) = 0;
    // The box of everything drawn; empty when nothing is.
    virtual FixBox drawnBox() const = 0;
    // The captions of the boats whose newest piece is in view.
    virtual std::vector<std::string> boatsInView() const = 0;

    // The view as it is, at the window's size, as PNG, whole or not at all. Throws Error
    // naming the file.
    virtual void saveView(const QString& path) const = 0;
    // The Map menu (none, OpenStreetMap, OpenSeaMap, an MBTiles file, a custom URL), the
    // choice kept in `settings`.
    virtual QMenu* createMapMenu(QSettings& settings, QWidget* parent) = 0;

    // Takes the next `count` clicks on the view as positions (latitude, longitude in
    // degrees) and hands them to `done`; Escape gives up (`done` is not called).
    virtual void pickPositions(int count, std::function<void(std::vector<std::pair<double, double>>)> done) = 0;
    // Draws the finish line as a chequered segment from P1 to P2; none: no line.
    virtual void setFinishLine(const std::optional<FinishLine>& line) = 0;
};

} // namespace tideplot
