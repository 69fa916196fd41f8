#include "earth/map/mapsource.h"

#include "core/error.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QSet>

namespace tideplot {

namespace {

constexpr qint64 kEmptyTileCost = 64;

// Decodes a tile's bytes; a null image with `error` set when they are no picture.
QImage Decode(const TileBytes& bytes, QString& error)
{
    QBuffer buffer;
    buffer.setData(bytes.Bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) {
        error = QStringLiteral("its %1 bytes are no picture (%2)").arg(bytes.Bytes.size()).arg(reader.errorString());
        return {};
    }
    // Opaque tiles (most base maps) draw fastest without an alpha channel.
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

} // namespace

MapSource::MapSource(std::vector<std::unique_ptr<TileSource>> layers, QString attribution, qint64 memoryBytes)
    : layers_(std::move(layers)), attribution_(std::move(attribution)), memory_(memoryBytes)
{
    if (layers_.empty())
        throw Error("a map needs at least one source of tiles");
    clock_.start();
}

MapSource::~MapSource()
{
    // The sources go first, so that none of their fetches calls back into a map half gone.
    layers_.clear();
}

QString MapSource::description() const
{
    return layers_.front()->description();
}

int MapSource::minZoom() const
{
    return layers_.front()->minZoom();
}

int MapSource::maxZoom() const
{
    return layers_.front()->maxZoom();
}

QImage MapSource::tile(const TileKey& key) const
{
    const QImage* image = memory_.object(key);
    return image ? *image : QImage();
}

void MapSource::request(const std::vector<TileKey>& keys)
{
    const QSet<TileKey> wanted(keys.begin(), keys.end());
    // Fetches for tiles no longer wanted, not yet begun by any layer, are dropped.
    for (auto it = loading_.begin(); it != loading_.end();) {
        const TileKey key = it.key();
        const bool begun = std::any_of(layers_.begin(), layers_.end(), [&](const auto& l) { return l->started(key); });
        if (wanted.contains(key) || begun) {
            ++it;
            continue;
        }
        for (const auto& layer : layers_)
            layer->cancel(key);
        it = loading_.erase(it);
    }
    const qint64 now = clock_.elapsed();
    for (const TileKey& key : keys) {
        if (memory_.contains(key) || loading_.contains(key))
            continue;
        const auto failed = failedAtMs_.find(key);
        if (failed != failedAtMs_.end()) {
            if (now - *failed < kRetryAfterMs)
                continue;
            failedAtMs_.erase(failed);
        }
        Loading& loading = loading_[key];
        loading.Layers.resize(layers_.size());
        for (std::size_t i = 0; i < layers_.size(); ++i) {
            TileSource& layer = *layers_[i];
            // An overlay beyond its zoom levels has nothing to add.
            if (i > 0 && (key.Z < layer.minZoom() || key.Z > layer.maxZoom())) {
                TileBytes nothing;
                nothing.Missing = true;
                loading.Layers[i] = nothing;
                continue;
            }
            layer.fetch(key, [this, key, i](const TileBytes& bytes) { layerDone(key, i, bytes); });
        }
    }
}

bool MapSource::loading(const std::vector<TileKey>& keys) const
{
    return std::any_of(keys.begin(), keys.end(), [&](const TileKey& key) { return loading_.contains(key); });
}

void MapSource::layerDone(const TileKey& key, std::size_t layer, const TileBytes& bytes)
{
    const auto at = loading_.find(key);
    if (at == loading_.end())
        return;
    at->Layers[layer] = bytes;
    if (std::any_of(at->Layers.begin(), at->Layers.end(), [](const auto& l) { return !l.has_value(); }))
        return;
    const Loading loading = std::move(*at);
    loading_.erase(at);
    settle(key, loading);
}

void MapSource::settle(const TileKey& key, const Loading& loading)
{
    const TileBytes& base = *loading.Layers.front();
    QImage picture;
    if (!base.Error.isEmpty()) {
        report(key, 0, base.Error);
        return;
    }
    if (!base.Missing) {
        QString error;
        picture = Decode(base, error);
        if (picture.isNull()) {
            report(key, 0, error);
            return;
        }
    }
    for (std::size_t i = 1; i < loading.Layers.size(); ++i) {
        const TileBytes& overlay = *loading.Layers[i];
        if (overlay.Missing)
            continue;
        QString error = overlay.Error;
        const QImage image = error.isEmpty() ? Decode(overlay, error) : QImage();
        if (image.isNull()) {
            report(key, i, error); // the base map still shows
            continue;
        }
        if (picture.isNull()) {
            picture = QImage(image.size(), QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::transparent);
        }
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(picture.rect(), image);
    }
    const qint64 cost = picture.isNull() ? kEmptyTileCost : picture.sizeInBytes();
    memory_.insert(key, new QImage(std::move(picture)), cost);
    if (onTile_)
        onTile_(key);
}

void MapSource::report(const TileKey& key, std::size_t layer, const QString& reason)
{
    if (layer == 0)
        failedAtMs_.insert(key, clock_.elapsed());
    if (onFailure_)
        onFailure_(QStringLiteral("Map tile %1 from %2 could not be loaded: %3")
                       .arg(TileName(key), layers_[layer]->description(), reason));
}

} // namespace tideplot
