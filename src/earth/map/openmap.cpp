#include "earth/map/mapchoice.h"
#include "earth/map/mapsource.h"
#include "earth/map/mbtilessource.h"
#include "earth/map/tilenetwork.h"
#include "earth/map/xyzsource.h"

namespace tideplot {

std::shared_ptr<MapSource> OpenMap(const MapChoice& choice, std::shared_ptr<TileNetwork> network)
{
    if (choice.kind == MapChoice::Kind::None)
        return nullptr;
    std::vector<std::unique_ptr<TileSource>> layers;
    if (choice.kind == MapChoice::Kind::Mbtiles) {
        layers.push_back(std::make_unique<MbtilesTileSource>(choice.text));
        const QString attribution = layers.front()->attribution();
        return std::make_shared<MapSource>(std::move(layers), attribution);
    }
    if (!network)
        network = std::make_shared<TileNetwork>();
    QString attribution;
    if (choice.kind == MapChoice::Kind::UrlTemplate) {
        XyzTileSource::Options options;
        options.UrlTemplate = choice.text;
        layers.push_back(std::make_unique<XyzTileSource>(options, network));
        attribution = layers.front()->attribution();
    } else {
        layers.push_back(std::make_unique<XyzTileSource>(
            XyzTileSource::Options{.UrlTemplate = QString::fromLatin1(kOpenStreetMapUrl),
                                   .Attribution = QString::fromUtf8(kOpenStreetMapAttribution),
                                   .MaxZoom = 19},
            network));
        attribution = QString::fromUtf8(kOpenStreetMapAttribution);
        if (choice.kind == MapChoice::Kind::OpenSeaMap) {
            layers.push_back(std::make_unique<XyzTileSource>(
                XyzTileSource::Options{.UrlTemplate = QString::fromLatin1(kOpenSeaMapSeamarkUrl),
                                       .Attribution = QString::fromUtf8(kOpenSeaMapAttribution),
                                       .MaxZoom = 18,
                                       .Overlay = true},
                network));
            attribution = QString::fromUtf8(kOpenSeaMapAttribution);
        }
    }
    return std::make_shared<MapSource>(std::move(layers), attribution);
}

} // namespace tideplot
