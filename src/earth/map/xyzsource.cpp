#include "earth/map/xyzsource.h"

#include "earth/map/mapchoice.h"

namespace tideplot {

XyzTileSource::XyzTileSource(Options options, std::shared_ptr<TileNetwork> network)
    : options_(std::move(options)), network_(std::move(network))
{
    CheckTileUrlTemplate(options_.UrlTemplate);
    if (options_.Attribution.isEmpty())
        options_.Attribution = QStringLiteral("Map tiles: ") + description();
}

XyzTileSource::~XyzTileSource()
{
    for (const quint64 id : std::as_const(requests_))
        network_->cancel(id);
}

QString XyzTileSource::description() const
{
    return TileServerName(options_.UrlTemplate);
}

QUrl XyzTileSource::tileUrl(const TileKey& key) const
{
    QString url = options_.UrlTemplate;
    url.replace(QLatin1String("{z}"), QString::number(key.Z));
    url.replace(QLatin1String("{x}"), QString::number(key.X));
    url.replace(QLatin1String("{y}"), QString::number(key.Y));
    url.replace(QLatin1String("{s}"), TileSubdomain(key.X, key.Y));
    return QUrl(url);
}

void XyzTileSource::fetch(const TileKey& key, Done done)
{
    const bool overlay = options_.Overlay;
    const quint64 id =
        network_->get(tileUrl(key), [this, key, overlay, done = std::move(done)](const TileReply& reply) {
            requests_.remove(key);
            TileBytes tile;
            if (reply.Error.isEmpty())
                tile.Bytes = reply.Bytes;
            else if (overlay && reply.HttpStatus == 404)
                tile.Missing = true;
            else
                tile.Error = reply.Error;
            done(tile);
        });
    requests_.insert(key, id);
}

bool XyzTileSource::started(const TileKey& key) const
{
    const auto at = requests_.find(key);
    return at != requests_.end() && network_->sent(*at);
}

void XyzTileSource::cancel(const TileKey& key)
{
    const auto at = requests_.find(key);
    if (at == requests_.end())
        return;
    network_->cancel(*at);
    requests_.erase(at);
}

} // namespace tideplot
