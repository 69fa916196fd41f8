#include "earth/map/mbtilessource.h"

#include "core/error.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace tideplot {

namespace {

constexpr qint64 kReadBudgetMs = 4; // reading per turn of the event loop

// The metadata's attribution may be HTML ("<a href=...>&copy; OpenStreetMap</a>"); the
// picture shows its text.
QString PlainText(QString html)
{
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    const std::pair<const char*, const char*> entities[] = {{"&copy;", "\u00a9"}, {"&#169;", "\u00a9"}, {"&lt;", "<"},
                                                            {"&gt;", ">"},        {"&quot;", "\""},     {"&nbsp;", " "},
                                                            {"&amp;", "&"}};
    for (const auto& [entity, text] : entities)
        html.replace(QString::fromUtf8(entity), QString::fromUtf8(text));
    return html.simplified();
}

int ReadZoom(const QString& text, bool& ok)
{
    const int zoom = text.trimmed().toInt(&ok);
    ok = ok && zoom >= 0 && zoom <= kMaxTileZoom;
    return zoom;
}

} // namespace

MbtilesTileSource::MbtilesTileSource(const QString& path)
    : path_(path), connection_(QStringLiteral("tideplot-mbtiles-%1").arg(reinterpret_cast<quintptr>(this)))
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("no such file"));
    if (!info.isFile())
        fail(QStringLiteral("it is no file"));
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        fail(QStringLiteral("Qt's SQLite driver is missing (Debian: install libqt6sql6-sqlite)"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            fail(db.lastError().text());
        query_ = std::make_unique<QSqlQuery>(db);
    }
    QSqlQuery& q = *query_;
    if (!q.exec(QStringLiteral("SELECT MIN(zoom_level), MAX(zoom_level) FROM tiles")) || !q.next())
        fail(QStringLiteral("it is no MBTiles file (%1)").arg(q.lastError().text()));
    if (q.value(0).isNull())
        fail(QStringLiteral("it holds no tiles"));
    bool minOk = false, maxOk = false;
    minZoom_ = ReadZoom(q.value(0).toString(), minOk);
    maxZoom_ = ReadZoom(q.value(1).toString(), maxOk);
    if (!minOk || !maxOk)
        fail(QStringLiteral("its zoom levels run from %1 to %2, beyond 0 to %3")
                 .arg(q.value(0).toString(), q.value(1).toString())
                 .arg(kMaxTileZoom));

    // The metadata is optional; what it says of the zoom levels narrows the table's.
    if (q.exec(QStringLiteral("SELECT name, value FROM metadata"))) {
        while (q.next()) {
            const QString name = q.value(0).toString().trimmed().toLower();
            const QString value = q.value(1).toString();
            bool ok = false;
            if (name == QLatin1String("attribution")) {
                attribution_ = PlainText(value);
            } else if (name == QLatin1String("format")) {
                format_ = value.trimmed().toLower().toLatin1();
            } else if (name == QLatin1String("minzoom")) {
                const int zoom = ReadZoom(value, ok);
                if (ok)
                    minZoom_ = std::clamp(zoom, minZoom_, maxZoom_);
            } else if (name == QLatin1String("maxzoom")) {
                const int zoom = ReadZoom(value, ok);
                if (ok)
                    maxZoom_ = std::clamp(zoom, minZoom_, maxZoom_);
            }
        }
    }
    if (format_ == "pbf" || format_ == "mvt")
        fail(QStringLiteral("it holds vector tiles (format %1), which the chart cannot draw; "
                            "use an MBTiles file of pictures (png, jpg or webp)")
                 .arg(QString::fromLatin1(format_)));
    if (format_ == "jpeg")
        format_ = "jpg";
    if (attribution_.isEmpty())
        attribution_ = QStringLiteral("Map: ") + info.fileName();

    if (!q.prepare(
            QStringLiteral("SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?")))
        fail(q.lastError().text());
    timer_.setSingleShot(true);
    timer_.callOnTimeout([this] { readWaiting(); });
}

QSqlDatabase MbtilesTileSource::database() const
{
    return QSqlDatabase::database(connection_, false);
}

MbtilesTileSource::~MbtilesTileSource()
{
    query_.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

void MbtilesTileSource::fail(const QString& reason) const
{
    throw Error("cannot read the MBTiles file \"" + path_.toStdString() + "\": " + reason.toStdString());
}

QString MbtilesTileSource::description() const
{
    return QFileInfo(path_).fileName();
}

void MbtilesTileSource::fetch(const TileKey& key, Done done)
{
    waiting_.emplace_back(key, std::move(done));
    if (!timer_.isActive())
        timer_.start(0);
}

void MbtilesTileSource::cancel(const TileKey& key)
{
    std::erase_if(waiting_, [&](const auto& w) { return w.first == key; });
}

TileBytes MbtilesTileSource::read(const TileKey& key)
{
    TileBytes tile;
    tile.Format = format_;
    QSqlQuery& q = *query_;
    q.bindValue(0, key.Z);
    q.bindValue(1, key.X);
    q.bindValue(2, TilesAcross(key.Z) - 1 - key.Y);
    if (!q.exec()) {
        tile.Error = q.lastError().text();
    } else if (q.next()) {
        tile.Bytes = q.value(0).toByteArray();
        tile.Missing = tile.Bytes.isEmpty();
    } else {
        tile.Missing = true;
    }
    q.finish();
    return tile;
}

void MbtilesTileSource::readWaiting()
{
    QElapsedTimer spent;
    spent.start();
    while (!waiting_.empty() && spent.elapsed() < kReadBudgetMs) {
        auto [key, done] = std::move(waiting_.front());
        waiting_.pop_front();
        done(read(key));
    }
    if (!waiting_.empty())
        timer_.start(0);
}

} // namespace tideplot
