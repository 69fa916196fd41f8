#pragma once

#include <QAbstractHttpServer>
#include <QHttpServerResponder>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server for programs on this computer only. Qt's HTTP server reads
// whatever a client sends (request line, headers and body have no size limit), takes
// the address it is given, keeps every connection open for as long as the client
// likes and buffers every answer a client does not read, so this one adds what a local
// link needs:
// - it listens on 127.0.0.1 and nothing else, and drops any peer that is not loopback;
// - a request (request line, headers and body together) larger than MaxRequestBytes is
//   answered 414, 431 or 413 before Qt has buffered more than that, and the connection
//   is closed;
// - a request must arrive whole within RequestDeadlineMs of its first byte (of the
//   connection, for a connection's first request); bytes trickled in do not extend it.
//   Late requests are answered 408 and the connection is closed;
// - at most MaxConnections connections stay open: when more come, the new ones get a
//   tenth of a second to send their requests, then the connections idle the longest
//   (nothing received and nothing sent) are closed to make way for them. A connection
//   with no request under way is closed after IdleTimeoutMs;
// - a connection that has more than MaxUnsentBytes of earlier answers still waiting
//   for the client to read them is closed instead of being answered again;
// - HTTP/1.0 requests and requests with "Connection: close" are answered, then the
//   connection is closed;
// - a request naming another host in its Host header is answered 421, so that a web page
//   cannot reach the server through a host name that it made resolve to 127.0.0.1.
namespace tideplot {

struct HttpLimits {
    qsizetype MaxRequestBytes = 16 * 1024;
    int MaxConnections = 32;
    int IdleTimeoutMs = 30'000;
    int RequestDeadlineMs = 5'000;
    qint64 MaxUnsentBytes = 4 * 1024 * 1024;
};

class LoopbackHttpServer final : public QAbstractHttpServer {
public:
    // Answers one request; called for every request that passed the checks above. The
    // socket is the request's connection, for a handler that wants to know when its answer
    // has been handed to the system (bytesToWrite() and bytesWritten).
    using Handler =
        std::function<void(const QHttpServerRequest& request, QHttpServerResponder& responder, QTcpSocket& socket)>;

    LoopbackHttpServer(HttpLimits limits, Handler handler, QObject* parent = nullptr);

    // Starts listening on 127.0.0.1 at `preferredPort`, or, when that is 0 or cannot be
    // opened (another program holds it), at a free port chosen by the system, and returns
    // the port. Throws Error when no port can be opened.
    quint16 listenOnLoopback(quint16 preferredPort = 0);
    quint16 port() const { return port_; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    HttpLimits limits_;
    Handler handler_;
    quint16 port_ = 0;
};

// Writes a short plain-text answer with the given status.
void WriteTextReply(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status, const QByteArray& text);

} // namespace tideplot
