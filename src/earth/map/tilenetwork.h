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
// A server cannot make it take more than a tile's worth: a reply larger than
// kMaxTileBytes (a Content-Length that says so, or a body that does not end) is cut off
// as it passes the limit and fails, kept neither in memory nor in the disk cache; a tile
// follows at most kMaxTileRedirects redirects; a reply that sends nothing for TimeoutMs
// fails ("timed out after 10 s"), one still coming after kMaxTileMs too. The disk cache
// stays within CacheBytes, the files of replies still arriving included (for a map of up
// to two servers, as the Map menu's are).
// Lives on the thread that made it; answers come from its event loop.
namespace tideplot {

// A map tile is some 10 to 50 KB; a reply this large is no tile.
inline constexpr qint64 kMaxTileBytes = 4LL * 1024 * 1024;
inline constexpr int kMaxTileRedirects = 5;
// A reply still coming after this long fails, however steadily it trickles in.
inline constexpr int kMaxTileMs = 60'000;

struct TileNetworkOptions {
    QString CacheDirectory; // empty: DefaultTileCacheDirectory()
    qint64 CacheBytes = 256LL * 1024 * 1024;
    int MaxRequestsPerHost = 4;
    int TimeoutMs = 10'000; // a request that has received nothing for this long fails
    qint64 MaxTileBytes = kMaxTileBytes;
};

// The size the disk cache itself is held to, so that its files stay within CacheBytes:
// less room for the largest tile it can add at once after making room, and for the
// replies still arriving (written to files in the cache's folder as they come).
qint64 DiskCacheLimitBytes(const TileNetworkOptions& options);

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

    int waiting() const;
    const TileNetworkOptions& options() const { return options_; }

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
    std::shared_ptr<QByteArray> limitReply(QNetworkReply* reply) const;
    void finished(QNetworkReply* reply, QByteArray& body, const Request& request, bool cacheOnly, const QString& host);
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
