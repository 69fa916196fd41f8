#include "earth/gelink/loopbackhttpserver.h"

#include "core/error.h"

#include <QHttpServerRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace tideplot {

namespace {

// How long a refused client may go on sending before the connection is cut, and how much
// of it is read and dropped meanwhile.
constexpr int kLingerMs = 2000;
constexpr qint64 kMaxDiscardBytes = 1024 * 1024;
// How much of a request's start is kept to read its request line.
constexpr qsizetype kRequestLineBytes = 1024;

const QString kGuardName = QStringLiteral("tideplot-connection-guard");

qint64 NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The status for a request that grew too large, from the part that was read: no line end
// yet means the request line itself (the URL) is too long, no blank line the headers.
QByteArray OversizeStatus(const QByteArray& head)
{
    if (!head.contains('\n'))
        return "414 URI Too Long";
    if (!head.contains("\n\n") && !head.contains("\n\r\n"))
        return "431 Request Header Fields Too Large";
    return "413 Payload Too Large";
}

QByteArray HeaderValue(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.trimmed();
    return {};
}

// Watches one connection before Qt's HTTP server parses what it sends: the size and the
// deadline of each request, the time since anything moved, and refusals. A child of the
// socket, so it goes with it.
class ConnectionGuard final : public QObject {
public:
    ConnectionGuard(QTcpSocket* socket, const HttpLimits& limits, QObject* httpServer)
        : QObject(socket), socket_(socket), limits_(limits), httpServer_(httpServer)
    {
        setObjectName(kGuardName);
        // The socket holds at most one byte more than a request may have.
        socket->setReadBufferSize(limits.MaxRequestBytes + 1);
        idle_.setSingleShot(true);
        idle_.setInterval(limits.IdleTimeoutMs);
        deadline_.setSingleShot(true);
        deadline_.setInterval(limits.RequestDeadlineMs);
        connect(&idle_, &QTimer::timeout, this, [this] { drop(); });
        connect(&deadline_, &QTimer::timeout, this, [this] { late(); });
        connect(socket, &QIODevice::bytesWritten, this, [this] { touch(); });
        // Connected before Qt's HTTP server connects its own handler, so this runs first.
        connect(socket, &QTcpSocket::readyRead, this, [this] { received(); });
        touch();
        // The first request's time runs from the connection's start.
        deadline_.start();
    }

    static ConnectionGuard* of(QTcpSocket* socket)
    {
        return static_cast<ConnectionGuard*>(socket->findChild<QObject*>(kGuardName, Qt::FindDirectChildrenOnly));
    }

    qint64 lastActivityMs() const { return lastActivityMs_; }

    // Qt's server has read a whole request; the next one's time starts with its first byte.
    void requestComplete() { deadline_.stop(); }

    // HTTP/1.0, or a client that asked for the connection to be closed after the answer.
    bool closeAfterAnswer(const QHttpServerRequest& request) const
    {
        const QByteArray line = head_.left(head_.indexOf('\n')).trimmed();
        if (line.endsWith("HTTP/1.0"))
            return true;
        for (const QByteArray& option : HeaderValue(request, "connection").split(','))
            if (option.trimmed().compare("close", Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }

    // Closes the connection at once.
    void drop()
    {
        socket_->abort();
        // Qt's server deletes its sockets when they disconnect, but not one whose parse
        // failed (it cuts the socket's signals then); deleting twice later is harmless.
        socket_->deleteLater();
    }

private:
    void touch()
    {
        lastActivityMs_ = NowMs();
        if (!refused_)
            idle_.start();
    }

    void received()
    {
        touch();
        if (refused_) {
            discardedBytes_ += socket_->readAll().size();
            if (discardedBytes_ > kMaxDiscardBytes)
                drop();
            return;
        }
        // Qt keeps a request's bytes in a read transaction on the socket until the request
        // is complete; a socket without a transaction starts a new request.
        if (!socket_->isTransactionStarted()) {
            requestBytes_ = 0;
            head_.clear();
            if (!deadline_.isActive())
                deadline_.start();
        }
        const qint64 available = socket_->bytesAvailable();
        if (!head_.contains('\n') && head_.size() < kRequestLineBytes)
            head_ += socket_->peek(kRequestLineBytes - head_.size());
        requestBytes_ += available;
        if (requestBytes_ > limits_.MaxRequestBytes) {
            if (socket_->isTransactionStarted())
                socket_->rollbackTransaction();
            refuse(OversizeStatus(socket_->readAll()), "The request is larger than this server accepts.\n");
        }
    }

    void late()
    {
        if (requestBytes_ == 0)
            drop(); // a connection that never sent anything
        else
            refuse("408 Request Timeout", "The request did not arrive in time.\n");
    }

    void refuse(const QByteArray& status, const QByteArray& text)
    {
        refused_ = true;
        deadline_.stop();
        idle_.stop();
        // Qt's request parser gets nothing more from this connection.
        QObject::disconnect(socket_, &QTcpSocket::readyRead, httpServer_, nullptr);
        if (socket_->isTransactionStarted())
            socket_->commitTransaction();
        socket_->readAll();
        socket_->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                       QByteArray::number(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
        // Whatever the client still sends is read and dropped, so that it gets the answer
        // rather than a reset, until it closes the connection or the linger time is up.
        QTimer::singleShot(kLingerMs, this, [this] { drop(); });
    }

    QTcpSocket* socket_;
    HttpLimits limits_;
    QObject* httpServer_;
    QTimer idle_;
    QTimer deadline_;
    qint64 lastActivityMs_ = 0;
    qint64 requestBytes_ = 0; // of the request being read
    QByteArray head_;         // its first bytes, up to the end of the request line
    bool refused_ = false;
    qint64 discardedBytes_ = 0;
};

// Accepts loopback connections only and guards each one. When more than MaxConnections
// are open, the newest get a moment to send their request (a burst of new connections
// would otherwise push out a good one before its request is read); then the connections
// idle the longest are closed until MaxConnections remain. A burst beyond
// kBurstFactor * MaxConnections is trimmed at once.
class GuardedTcpServer final : public QTcpServer {
public:
    GuardedTcpServer(const HttpLimits& limits, QObject* parent) : QTcpServer(parent), limits_(limits)
    {
        trim_.setSingleShot(true);
        trim_.setInterval(kGraceMs);
        trim_.callOnTimeout([this] { trimTo(limits_.MaxConnections); });
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor) || !socket->peerAddress().isLoopback()) {
            socket->abort();
            delete socket;
            return;
        }
        trimTo(kBurstFactor * limits_.MaxConnections - 1);
        new ConnectionGuard(socket, limits_, parent());
        addPendingConnection(socket);
        if (!trim_.isActive() && static_cast<int>(openConnections().size()) > limits_.MaxConnections)
            trim_.start();
    }

private:
    static constexpr int kGraceMs = 100;
    static constexpr int kBurstFactor = 8;

    std::vector<ConnectionGuard*> openConnections()
    {
        std::vector<ConnectionGuard*> open;
        for (QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
            if (socket->state() != QAbstractSocket::UnconnectedState) // else closed, waiting to be deleted
                if (ConnectionGuard* guard = ConnectionGuard::of(socket))
                    open.push_back(guard);
        return open;
    }

    void trimTo(int count)
    {
        std::vector<ConnectionGuard*> open = openConnections();
        if (static_cast<int>(open.size()) <= count)
            return;
        std::sort(open.begin(), open.end(), [](const ConnectionGuard* a, const ConnectionGuard* b) {
            return a->lastActivityMs() < b->lastActivityMs();
        });
        for (std::size_t i = 0; i < open.size() - static_cast<std::size_t>(std::max(count, 0)); ++i)
            open[i]->drop();
    }

    HttpLimits limits_;
    QTimer trim_;
};

// Whether a Host header names this server: 127.0.0.1, localhost or [::1], with this port
// or none. An empty value (HTTP/1.0) is accepted.
bool IsOwnHost(const QByteArray& host, quint16 port)
{
    if (host.isEmpty())
        return true;
    QByteArray name = host;
    QByteArray portText;
    if (host.startsWith('[')) {
        const auto close = host.indexOf(']');
        if (close < 0)
            return false;
        name = host.mid(1, close - 1);
        const QByteArray rest = host.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(':'))
                return false;
            portText = rest.mid(1);
        }
    } else if (const auto colon = host.lastIndexOf(':'); colon >= 0) {
        name = host.left(colon);
        portText = host.mid(colon + 1);
    }
    name = name.toLower();
    if (name != "127.0.0.1" && name != "localhost" && name != "::1")
        return false;
    if (portText.isEmpty())
        return true;
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    return ok && number == port;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(HttpLimits limits, Handler handler, QObject* parent)
    : QAbstractHttpServer(parent), limits_(limits), handler_(std::move(handler))
{
}

quint16 LoopbackHttpServer::listenOnLoopback(quint16 preferredPort)
{
    auto* server = new GuardedTcpServer(limits_, this);
    bool listening = preferredPort != 0 && server->listen(QHostAddress::LocalHost, preferredPort);
    if (!listening)
        listening = server->listen(QHostAddress::LocalHost, 0);
    if (!listening) {
        const QString reason = server->errorString();
        delete server;
        throw Error("The link server cannot listen on 127.0.0.1: " + reason.toStdString());
    }
    bind(server);
    port_ = server->serverPort();
    return port_;
}

bool LoopbackHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    ConnectionGuard* guard = ConnectionGuard::of(socket);
    if (guard)
        guard->requestComplete();
    // A client that does not read its answers gets no more of them.
    if (socket->bytesToWrite() > limits_.MaxUnsentBytes) {
        if (guard)
            guard->drop();
        else
            socket->abort();
        return true;
    }
    auto responder = makeResponder(request, socket);
    if (!IsOwnHost(HeaderValue(request, "host"), port_))
        WriteTextReply(responder, QHttpServerResponder::StatusCode::MisdirectedRequest,
                       "This server answers for 127.0.0.1 only.\n");
    else
        handler_(request, responder, *socket);
    if (guard && guard->closeAfterAnswer(request))
        socket->disconnectFromHost(); // once the answer has been sent
    return true;
}

void LoopbackHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    auto responder = makeResponder(request, socket);
    WriteTextReply(responder, QHttpServerResponder::StatusCode::NotFound, "Not found.\n");
}

void WriteTextReply(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status, const QByteArray& text)
{
    responder.write(text, {{"Content-Type", "text/plain; charset=utf-8"}}, status);
}

} // namespace tideplot
