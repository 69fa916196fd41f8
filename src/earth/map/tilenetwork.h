#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;

// The one way the map reaches tile servers, with the manners their usage policies ask for:
// - one QNetworkAccessManager with a disk cache (QNetworkDiskCache) of at most CacheBytes;
//   the server's cache headers decide when a cached tile is used as it is and when it is
//   checked with the server again;
// - every request names the program and its version: "User-Agent: Tideplot/1.0.10";
// - at most MaxRequestsPerHost requests in flight to one host; the others wait in line, in
//   the order asked for, and a request still waiting can be cancelled (a tile the view no
//   longer shows);
// - when the server cannot be reached (no network, a refused connection, a time-out), the
//   tile is taken from the disk cache if it is there, however old: offline, the cached
//   tiles still show.
// Lives on the thread that made it; answers come from its event loop.
namespace tideplot {

struct TileNetworkOptions {
    QString CacheDirectory; // empty: DefaultTileCacheDirectory()
    qint64 CacheBytes = 256LL * 1024 * 1024;
    int MaxRequestsPerHost = 4;
    int TimeoutMs = 20'000; // a request that has received nothing for this long fails
};

// "<cache folder>/Tideplot1/tiles", e.g. ~/.cache/Tideplot1/tiles: the user's cache folder
// (QStandardPaths' GenericCacheLocation, which follows XDG_CACHE_HOME) under the program's
// own name, the same for the windows and the command line.
QString DefaultTileCacheDirectory();

// "Tideplot/1.0.10".
QByteArray TileUserAgent();

struct TileReply {
    QByteArray Bytes;
    int HttpStatus = 0; // 0 when no answer came from a server
    bool FromCache = false;
    QString Error; // empty when Bytes hold the answer
};

class TileNetwork {
public:
    explicit TileNetwork(TileNetworkOptions options = {});
    ~TileNetwork();
    TileNetwork(const TileNetwork&) = delete;
    TileNetwork& operator=(const TileNetwork&) = delete;

    using Done = std::function<void(const TileReply&)>;
    // Asks for `url` (http or https); `done` is called once, later, unless cancelled.
    // Returns the request's number for cancel().
    quint64 get(const QUrl& url, Done done);
    // Whether the request has gone out to its server (or has been answered).
    bool sent(quint64 id) const;
    // A waiting request is dropped; one in flight is let finish into the disk cache, but
    // its `done` is not called.
    void cancel(quint64 id);

    int inFlight() const;
    int waiting() const;
    const TileNetworkOptions& options() const { return options_; }
    QNetworkDiskCache& diskCache() const { return *cache_; }

private:
    struct Request {
        quint64 Id = 0;
        QUrl Url;
    };
    struct Host {
        std::deque<Request> Queue;
        int InFlight = 0;
    };
    void startWaiting(const QString& host);
    void send(const Request& request, bool cacheOnly, const QString& host);
    void finished(QNetworkReply* reply, const Request& request, bool cacheOnly, const QString& host);
    void deliver(quint64 id, const TileReply& reply);

    TileNetworkOptions options_;
    std::unique_ptr<QNetworkAccessManager> manager_;
    QNetworkDiskCache* cache_ = nullptr; // owned by manager_
    QHash<QString, Host> hosts_;
    QHash<quint64, Done> callbacks_; // of the requests neither answered nor cancelled
    QHash<quint64, bool> sent_;
    QHash<quint64, QString> pendingErrors_; // the server's failure, while the disk cache is asked
    quint64 nextId_ = 1;
    bool closing_ = false;
};

} // namespace tideplot
