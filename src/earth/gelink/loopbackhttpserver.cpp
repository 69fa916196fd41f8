#include "earth/gelink/loopbackhttpserver.h"

#include "core/error.h"

#include <QHttpServerRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace tideplot {

namespace {

// How long a refused client may go on sending before the connection is cut, and how much
// of it is read and dropped meanwhile.
constexpr int kLingerMs = 2000;
constexpr qint64 kMaxDiscardBytes = 1024 * 1024;

struct ConnectionState {
    qint64 requestBytes = 0; // of the request being read
    bool refused = false;
    qint64 discardedBytes = 0;
};

// The status for a request that grew too large, from the part that was read: no line end
// yet means the request line itself (the URL) is too long, no blank line the headers.
QByteArray RefusalStatus(const QByteArray& head)
{
    if (!head.contains('\n'))
        return "414 URI Too Long";
    if (!head.contains("\n\n") && !head.contains("\n\r\n"))
        return "431 Request Header Fields Too Large";
    return "413 Payload Too Large";
}

void Refuse(QTcpSocket* socket, ConnectionState& state, const QObject* httpServer)
{
    state.refused = true;
    // Qt's request parser gets nothing more from this connection.
    QObject::disconnect(socket, &QTcpSocket::readyRead, httpServer, nullptr);
    if (socket->isTransactionStarted())
        socket->rollbackTransaction();
    const QByteArray status = RefusalStatus(socket->readAll());
    const QByteArray text = "The request is larger than this server accepts.\n";
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
    // Whatever the client still sends is read and dropped, so that it gets the answer rather
    // than a reset, until it closes the connection or the linger time is up.
    QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(); });
}

void Discard(QTcpSocket* socket, ConnectionState& state)
{
    state.discardedBytes += socket->readAll().size();
    if (state.discardedBytes > kMaxDiscardBytes)
        socket->abort();
}

// Accepts loopback connections only, as many as the limits allow, and watches what each
// one sends before Qt's HTTP server parses it.
class GuardedTcpServer final : public QTcpServer {
public:
    GuardedTcpServer(const HttpLimits& limits, QObject* parent) : QTcpServer(parent), limits_(limits) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        const auto open = findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly).size();
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor) || !socket->peerAddress().isLoopback() ||
            open >= limits_.MaxConnections) {
            socket->abort();
            delete socket;
            return;
        }
        guard(socket);
        addPendingConnection(socket);
    }

private:
    void guard(QTcpSocket* socket)
    {
        // The socket holds at most one byte more than a request may have.
        socket->setReadBufferSize(limits_.MaxRequestBytes + 1);

        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(limits_.IdleTimeoutMs);
        QObject::connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
        QObject::connect(socket, &QIODevice::bytesWritten, idle, [idle] { idle->start(); });
        idle->start();

        // Connected before Qt's HTTP server connects its own handler, so this runs first. Qt
        // keeps a request's bytes in a read transaction on the socket until the request is
        // complete; a socket without a transaction starts a new request.
        auto state = std::make_shared<ConnectionState>();
        const qsizetype maxBytes = limits_.MaxRequestBytes;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, idle, state, maxBytes] {
            idle->start();
            if (state->refused) {
                Discard(socket, *state);
                return;
            }
            if (!socket->isTransactionStarted())
                state->requestBytes = 0;
            state->requestBytes += socket->bytesAvailable();
            if (state->requestBytes > maxBytes)
                Refuse(socket, *state, parent());
        });
    }

    HttpLimits limits_;
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

QByteArray HeaderValue(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.trimmed();
    return {};
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(HttpLimits limits, Handler handler, QObject* parent)
    : QAbstractHttpServer(parent), limits_(limits), handler_(std::move(handler))
{
}

quint16 LoopbackHttpServer::listenOnLoopback()
{
    auto* server = new GuardedTcpServer(limits_, this);
    if (!server->listen(QHostAddress::LocalHost, 0)) {
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
    auto responder = makeResponder(request, socket);
    if (!IsOwnHost(HeaderValue(request, "host"), port_))
        WriteTextReply(responder, QHttpServerResponder::StatusCode::MisdirectedRequest,
                       "This server answers for 127.0.0.1 only.\n");
    else
        handler_(request, responder);
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
