#pragma once

#include "core/fleet.h"
#include "core/replayseries.h"
#include "core/results.h"
#include "core/trackfixes.h"

#include <QString>
#include <QStringList>

#include <cstddef>
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

// A view that is a window of its own and draws the replay's pieces from its series, so
// that it can be drawn again at once after the replay went to another moment and can show
// only the latest minutes (a tail): the built-in chart. The
// windows place it, show it and add their menus to it through this interface.
namespace tideplot {

// A tack or a gybe of a boat, marked where it sailed it.
struct ManoeuvreMark {
    double Lat = 0; // degrees
    double Lon = 0;
    double RaceClockDays = 0; // its middle on the race clock
    int Boat = 0;             // in race file order
    bool Gybe = false;        // a tack otherwise
};

class ReplayView {
public:
    virtual ~ReplayView() = default;

    // The view's window, with a menu bar and a status bar.
    virtual QMainWindow* window() = 0;

    // The boats of the race, in race file order (the series names them by index).
    virtual void setFleet(const std::vector<FleetBoat>& boats) = 0;
    // The replay's series, drawn from up to the step shown (null: nothing to draw). It must
    // stay as it is while it is set.
    virtual void setSeries(const ReplaySeries* series) = 0;
    // The replay stands at `step`: every piece of the series up to it is drawn. Steps 1 to
    // `keptSteps` are those shown before when the replay went on from there (then only
    // the later pieces are new); 0 when what was shown is to be drawn again.
    virtual void showStep(long long step, long long keptSteps) = 0;
    // Only the pieces of the last `minutes` of race time are drawn, older ones fading out;
    // 0 draws the whole track.
    virtual void setTailMinutes(double minutes) = 0;
    // The most the view keeps of pictures of earlier steps to go back to quickly, in bytes;
    // part of the replay's memory budget. A view that keeps none ignores it.
    virtual void setPictureMemory(std::size_t /*bytes*/) {}

    // Moves the view so that the whole box is in view at the current heading, as the
    // picture of the whole race shows it.
    virtual void showBox(const FixBox& box) = 0;
    // The box of everything drawn; empty when nothing is.
    virtual FixBox drawnBox() const = 0;
    // The captions of the boats whose newest piece is in view.
    virtual std::vector<std::string> boatsInView() const = 0;

    // The view exactly as the window shows it (map, tracks, finish line, labels), at the
    // window's size, as PNG, and its world file beside it; both whole or neither. Returns
    // the files written. Throws Error naming the file.
    virtual QStringList saveView(const QString& path) = 0;
    // The Map menu (none, OpenStreetMap, OpenSeaMap, an MBTiles file, a custom URL), the
    // choice kept in `settings`.
    virtual QMenu* createMapMenu(QSettings& settings, QWidget* parent) = 0;

    // Takes the next `count` clicks on the view as positions (latitude, longitude in
    // degrees) and hands them to `done`; Escape gives up (`done` is not called).
    virtual void pickPositions(int count, std::function<void(std::vector<std::pair<double, double>>)> done) = 0;
    // Draws the finish line as a chequered segment from P1 to P2; none: no line.
    virtual void setFinishLine(const std::optional<FinishLine>& line) = 0;

    // Marks the tacks and gybes on the tracks drawn: those up to the race clock of the step
    // shown (and within the tail's minutes when a tail is drawn), a tack as a triangle and a
    // gybe as a diamond in the boat's track colour. None: no marks.
    virtual void setManoeuvreMarks(std::vector<ManoeuvreMark> marks) = 0;
    // Marks one manoeuvre (the one chosen in the Analysis window) wherever the replay stands,
    // ringed to stand out; none: no such mark. A view that cannot ring one leaves it.
    virtual void setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark) { (void)mark; }
    // Moves the view, its scale and heading kept, so that the position (degrees) lies well
    // inside it; a position already there leaves the view as it is.
    virtual void bringIntoView(double lat, double lon) = 0;
};

} // namespace tideplot
