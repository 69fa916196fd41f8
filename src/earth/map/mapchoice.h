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
//   an http or https URL with {z}, {x} and {y}  a tile server, e.g. kOpenStreetMapUrl
//   (and {s}, see CheckTileUrlTemplate);
//   a path ending in .mbtiles                   an MBTiles file;
//   openstreetmap, openseamap                   the named maps of the Map menu.
// Throws Error saying what the text lacks.
MapChoice ParseMapChoice(const QString& text);

// The text that ParseMapChoice reads back into the same choice.
QString MapChoiceText(const MapChoice& choice);

// Throws Error unless `urlTemplate` is an http or https URL that holds each of {z}, {x} and
// {y}, and no other {...} field but {s}; with no user name or password (the template is
// kept in the settings and written into web pages) and none of {z}, {x} and {y} in its
// host (a tile's host is a server's name, not a number).
void CheckTileUrlTemplate(const QString& urlTemplate);

// The subdomains that a template's {s} stands for (https://{s}.tile.example.org/...), as
// tile clients take them: in turn, the tile in column x and row y from the (x + y) mod 3-th.
inline constexpr const char* kTileSubdomains = "abc";
QString TileSubdomain(int x, int y);

// The tile server of a template as its credit names it ("Map tiles: NAME"): its host, the
// {s} left out (tile.example.org for https://{s}.tile.example.org/{z}/{x}/{y}.png).
QString TileServerName(const QString& urlTemplate);

// The map for a choice, its tiles fetched through `network` (made when null): null for
// none. Defined with the maps themselves (openmap.cpp, which needs Qt Gui). Throws Error when an MBTiles file cannot be
// read or a URL template is unusable.
std::shared_ptr<MapSource> OpenMap(const MapChoice& choice, std::shared_ptr<TileNetwork> network = nullptr);

} // namespace tideplot
