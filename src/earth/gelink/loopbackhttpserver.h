#pragma once

#include <QAbstractHttpServer>
#include <QHttpServerResponder>

#include <functional>

// A small HTTP/1.1 server for programs on this computer only. Qt's HTTP server reads
// whatever a client sends (request line, headers and body have no size limit) and takes
// the address it is given, so this one adds what a local link needs:
// - it listens on 127.0.0.1 and nothing else, and drops any peer that is not loopback;
// - a request (request line, headers and body together) larger than MaxRequestBytes is
//   answered 414, 431 or 413 before Qt has buffered more than that, and the connection
//   is closed;
// - at most MaxConnections connections are open at once; one that stays silent for
//   IdleTimeoutMs is closed;
// - a request naming another host in its Host header is answered 421, so that a web page
//   cannot reach the server through a host name that it made resolve to 127.0.0.1.
namespace tideplot {

struct HttpLimits {
    qsizetype MaxRequestBytes = 16 * 1024;
    int MaxConnections = 32;
    int IdleTimeoutMs = 30'000;
};

class LoopbackHttpServer final : public QAbstractHttpServer {
public:
    // Answers one request; called for every request that passed the checks above.
    using Handler = std::function<void(const QHttpServerRequest& request, QHttpServerResponder& responder)>;

    LoopbackHttpServer(HttpLimits limits, Handler handler, QObject* parent = nullptr);

    // Starts listening on 127.0.0.1 at a free port chosen by the system and returns the
    // port. Throws Error when the port cannot be opened.
    quint16 listenOnLoopback();
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
