#pragma once

#include "earth/map/mapchoice.h"

#include <QString>

#include <memory>

class QMenu;
class QSettings;
class QWidget;

// The Map menu of the chart window: which map the chart draws under the race.
//
//   None                                   the sea and the grid only
//   OpenStreetMap                          tile.openstreetmap.org
//   OpenSeaMap seamarks over OpenStreetMap
//   MBTiles file...                        a file of tiles for use offline
//   Custom URL...                          any tile server, by its URL template
//
// The choice takes effect at once and is kept in the settings (group "Map"); the first
// start shows OpenStreetMap.
namespace tideplot {

class ChartWidget;
class TileNetwork;

inline constexpr const char* kMapSettingsGroup = "Map";
inline constexpr const char* kMapSourceKey = "Source";           // none, openstreetmap, openseamap, mbtiles, url
inline constexpr const char* kMapMbtilesFileKey = "MbtilesFile"; // the last MBTiles file chosen
inline constexpr const char* kMapUrlTemplateKey = "UrlTemplate"; // the last custom URL template
inline constexpr MapChoice::Kind kDefaultMapKind = MapChoice::Kind::OpenStreetMap;

// The choice kept in `settings` (kDefaultMapKind when none is kept), and keeping one.
MapChoice ReadMapChoice(QSettings& settings);
void WriteMapChoice(QSettings& settings, const MapChoice& choice);

// The dialogs behind the menu, which a test answers instead of a user.
class MapMenuDialogs {
public:
    virtual ~MapMenuDialogs() = default;
    // The MBTiles file to open (`current` is the last one); empty when cancelled.
    virtual QString askMbtilesFile(QWidget* parent, const QString& current) = 0;
    // A tile server's URL template (`current` is the last one); empty when cancelled.
    virtual QString askUrlTemplate(QWidget* parent, const QString& current) = 0;
    // Why the map chosen cannot be shown.
    virtual void showError(QWidget* parent, const QString& message) = 0;
};

// A file dialog, an input dialog and a message box titled "Tideplot1".
std::shared_ptr<MapMenuDialogs> StandardMapMenuDialogs();

struct MapMenuOptions {
    std::shared_ptr<MapMenuDialogs> Dialogs; // null: StandardMapMenuDialogs()
    std::shared_ptr<TileNetwork> Network;    // null: one of the menu's own (the default disk cache)
};

// Makes the Map menu (a child of `parent`) for `chart` and sets the choice kept in
// `settings` on the chart. A kept choice that cannot be shown now (an MBTiles file that is
// gone) leaves the chart without a map and says why through the chart's map message line,
// keeping the choice for the next start. Choosing from the menu writes the choice to the
// same settings file (the QSettings object itself need not outlive the call). The chart
// must outlive the menu.
QMenu* CreateMapMenu(ChartWidget* chart, QSettings& settings, QWidget* parent, MapMenuOptions options = {});

} // namespace tideplot
