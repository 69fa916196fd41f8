#pragma once

#include <QString>

#include <memory>

// Which map the chart draws under the race: chosen in the chart window's Map menu, or with
// `--map SOURCE` on the command line.
namespace tideplot {

class MapSource;
class TileNetwork;

inline constexpr const char* kOpenStreetMapUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr const char* kOpenSeaMapSeamarkUrl = "https://tiles.openseamap.org/seamark/{z}/{x}/{y}.png";
inline constexpr const char* kOpenStreetMapAttribution = "\u00a9 OpenStreetMap contributors";
inline constexpr const char* kOpenSeaMapAttribution = "\u00a9 OpenStreetMap contributors, \u00a9 OpenSeaMap";

struct MapChoice {
    enum class Kind {
        None,
        OpenStreetMap,
        OpenSeaMap, // OpenSeaMap's seamarks over OpenStreetMap
        Mbtiles,
        UrlTemplate,
    };
    Kind kind = Kind::None;
    QString text; // the MBTiles file or the URL template

    bool operator==(const MapChoice&) const = default;
};

// Reads the text of `--map`:
//   none                                        no map;
//   an http or https URL with {z}, {x} and {y}  a tile server, e.g. kOpenStreetMapUrl;
//   a path ending in .mbtiles                   an MBTiles file;
//   openstreetmap, openseamap                   the named maps of the Map menu.
// Throws Error saying what the text lacks.
MapChoice ParseMapChoice(const QString& text);

// The text that ParseMapChoice reads back into the same choice.
QString MapChoiceText(const MapChoice& choice);

// Throws Error unless `urlTemplate` is an http or https URL that holds each of {z}, {x} and
// {y} and no other {...} field.
void CheckTileUrlTemplate(const QString& urlTemplate);

// The map for a choice, its tiles fetched through `network` (made when null): null for
// none. Throws Error when an MBTiles file cannot be read or a URL template is unusable.
std::shared_ptr<MapSource> OpenMap(const MapChoice& choice, std::shared_ptr<TileNetwork> network = nullptr);

} // namespace tideplot
