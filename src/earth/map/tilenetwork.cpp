#include "earth/map/tilenetwork.h"

#include "tideplot/version.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace tideplot {

QString DefaultTileCacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Tideplot1/tiles");
}

QByteArray TileUserAgent()
{
    return QByteArrayLiteral("Tideplot/") + kVersionText;
}

namespace {

// Why the program cut a reply off, kept on the reply for finished().
constexpr const char* kCutOff = "tideplotCutOff";
// The reply's own buffer: the network is read no faster than the body is taken from it.
constexpr qint64 kReadBufferBytes = 256 * 1024;

QString Seconds(int ms)
{
    return QString::number(ms / 1000.0) + QStringLiteral(" s");
}

} // namespace

qint64 DiskCacheLimitBytes(const TileNetworkOptions& options)
{
    const qint64 room = options.MaxTileBytes * (1 + 2 * std::max(options.MaxRequestsPerHost, 1));
    return std::max(options.CacheBytes - room, options.CacheBytes / 4);
}

TileNetwork::TileNetwork(TileNetworkOptions options)
    : options_(std::move(options)), manager_(std::make_unique<QNetworkAccessManager>())
{
    if (options_.CacheDirectory.isEmpty())
        options_.CacheDirectory = DefaultTileCacheDirectory();
    options_.MaxRequestsPerHost = std::max(options_.MaxRequestsPerHost, 1);
    cache_ = new QNetworkDiskCache(manager_.get());
    cache_->setCacheDirectory(options_.CacheDirectory);
    cache_->setMaximumCacheSize(DiskCacheLimitBytes(options_));
    manager_->setCache(cache_);
}

TileNetwork::~TileNetwork()
{
    // The replies go with their manager; any that finishes on the way out is let be.
    closing_ = true;
    callbacks_.clear();
    hosts_.clear();
    manager_.reset();
}

quint64 TileNetwork::get(const QUrl& url, Done done)
{
    const quint64 id = nextId_++;
    callbacks_.insert(id, std::move(done));
    sent_.insert(id, false);
    const QString host = url.host();
    hosts_[host].Queue.push_back({id, url});
    startWaiting(host);
    return id;
}

bool TileNetwork::sent(quint64 id) const
{
    return sent_.value(id, true);
}

void TileNetwork::cancel(quint64 id)
{
    callbacks_.remove(id);
    if (sent_.value(id, true))
        return;
    sent_.remove(id);
    for (Host& host : hosts_) {
        const auto at =
            std::find_if(host.Queue.begin(), host.Queue.end(), [&](const Request& r) { return r.Id == id; });
        if (at != host.Queue.end()) {
            host.Queue.erase(at);
            return;
        }
    }
}

int TileNetwork::waiting() const
{
    int n = 0;
    for (const Host& host : hosts_)
        n += static_cast<int>(host.Queue.size());
    return n;
}

void TileNetwork::startWaiting(const QString& hostName)
{
    Host& host = hosts_[hostName];
    while (host.InFlight < options_.MaxRequestsPerHost && !host.Queue.empty()) {
        const Request request = host.Queue.front();
        host.Queue.pop_front();
        ++host.InFlight;
        sent_[request.Id] = true;
        send(request, false, hostName);
    }
}

void TileNetwork::send(const Request& request, bool cacheOnly, const QString& host)
{
    QNetworkRequest r(request.Url);
    r.setHeader(QNetworkRequest::UserAgentHeader, TileUserAgent());
    r.setTransferTimeout(options_.TimeoutMs);
    r.setMaximumRedirectsAllowed(kMaxTileRedirects);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                   cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    QNetworkReply* reply = manager_->get(r);
    auto body = limitReply(reply);
    QObject::connect(reply, &QNetworkReply::finished, manager_.get(), [this, reply, request, cacheOnly, host, body] {
        finished(reply, *body, request, cacheOnly, host);
    });
}

std::shared_ptr<QByteArray> TileNetwork::limitReply(QNetworkReply* reply) const
{
    // The body is taken as it comes, the network read only as fast as it is taken, and
    // the reply cut off as soon as it is known to be too large: by its Content-Length, or
    // by what has come. An aborted reply is not put into the disk cache.
    reply->setReadBufferSize(kReadBufferBytes);
    auto body = std::make_shared<QByteArray>();
    const qint64 most = options_.MaxTileBytes;
    const auto cutOff = [reply](const QString& why) {
        if (reply->property(kCutOff).isValid() || reply->isFinished())
            return;
        reply->setProperty(kCutOff, why);
        reply->abort();
    };
    const QString tooMuch = QStringLiteral("the server sent more than the %1 MB a tile may have").arg(most >> 20);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, most, cutOff] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool redirect = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
        if (!redirect && length.isValid() && length.toLongLong() > most)
            cutOff(QStringLiteral("the server sends %1 bytes, more than the %2 MB a tile may have")
                       .arg(length.toLongLong())
                       .arg(most >> 20));
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, body, most, cutOff, tooMuch] {
        if (reply->property(kCutOff).isValid())
            return;
        body->append(reply->read(std::max<qint64>(most + 1 - body->size(), 1)));
        if (body->size() > most) {
            body->clear();
            cutOff(tooMuch);
        }
    });
    QTimer::singleShot(kMaxTileMs, reply, [cutOff] {
        cutOff(QStringLiteral("the tile was still arriving after %1").arg(Seconds(kMaxTileMs)));
    });
    return body;
}

void TileNetwork::finished(QNetworkReply* reply, QByteArray& body, const Request& request, bool cacheOnly,
                           const QString& host)
{
    if (closing_)
        return;
    const quint64 id = request.Id;
    reply->deleteLater();
    TileReply answer;
    answer.HttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.FromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    const QVariant cutOff = reply->property(kCutOff);
    if (cutOff.isValid()) {
        answer.Error = cutOff.toString();
        answer.HttpStatus = 0;
    } else if (reply->error() == QNetworkReply::NoError) {
        body.append(reply->read(options_.MaxTileBytes + 1 - body.size()));
        if (body.size() > options_.MaxTileBytes)
            answer.Error =
                QStringLiteral("the server sent more than the %1 MB a tile may have").arg(options_.MaxTileBytes >> 20);
        else
            answer.Bytes = std::move(body);
    } else if (reply->error() == QNetworkReply::TooManyRedirectsError) {
        answer.Error = QStringLiteral("more than %1 redirects (the server sends the request round in a loop)")
                           .arg(kMaxTileRedirects);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        // Only the transfer time-out cancels a request: the program lets its own finish.
        answer.Error = QStringLiteral("timed out after %1").arg(Seconds(options_.TimeoutMs));
        answer.HttpStatus = 0;
    } else if (answer.HttpStatus != 0 && answer.HttpStatus < 500) {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        answer.Error = QStringLiteral("HTTP %1 %2").arg(answer.HttpStatus).arg(reason).trimmed();
    } else {
        answer.Error = answer.HttpStatus != 0 ? QStringLiteral("HTTP %1").arg(answer.HttpStatus) : reply->errorString();
    }
    if (!cacheOnly) {
        Host& h = hosts_[host];
        --h.InFlight;
        startWaiting(host);
        // The server could not be reached or failed: a tile in the disk cache, however
        // old, is better than none.
        if (!answer.Error.isEmpty() && (answer.HttpStatus == 0 || answer.HttpStatus >= 500) &&
            callbacks_.contains(id) && cache_->metaData(request.Url).isValid()) {
            pendingErrors_.insert(id, answer.Error);
            send(request, true, host);
            return;
        }
    } else if (!answer.Error.isEmpty()) {
        answer.Error = pendingErrors_.value(id, answer.Error);
    }
    pendingErrors_.remove(id);
    deliver(id, answer);
}

void TileNetwork::deliver(quint64 id, const TileReply& reply)
{
    sent_.remove(id);
    const auto callback = callbacks_.find(id);
    if (callback == callbacks_.end())
        return;
    const Done done = std::move(*callback);
    callbacks_.erase(callback);
    done(reply);
}

} // namespace tideplot
