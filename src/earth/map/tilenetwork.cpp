#include "earth/map/tilenetwork.h"

#include "tideplot/version.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>

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

TileNetwork::TileNetwork(TileNetworkOptions options)
    : options_(std::move(options)), manager_(std::make_unique<QNetworkAccessManager>())
{
    if (options_.CacheDirectory.isEmpty())
        options_.CacheDirectory = DefaultTileCacheDirectory();
    options_.MaxRequestsPerHost = std::max(options_.MaxRequestsPerHost, 1);
    cache_ = new QNetworkDiskCache(manager_.get());
    cache_->setCacheDirectory(options_.CacheDirectory);
    cache_->setMaximumCacheSize(options_.CacheBytes);
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

int TileNetwork::inFlight() const
{
    int n = 0;
    for (const Host& host : hosts_)
        n += host.InFlight;
    return n;
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
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                   cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    QNetworkReply* reply = manager_->get(r);
    QObject::connect(reply, &QNetworkReply::finished, manager_.get(),
                     [this, reply, request, cacheOnly, host] { finished(reply, request, cacheOnly, host); });
}

void TileNetwork::finished(QNetworkReply* reply, const Request& request, bool cacheOnly, const QString& host)
{
    if (closing_)
        return;
    const quint64 id = request.Id;
    reply->deleteLater();
    TileReply answer;
    answer.HttpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.FromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    if (reply->error() == QNetworkReply::NoError) {
        answer.Bytes = reply->readAll();
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
