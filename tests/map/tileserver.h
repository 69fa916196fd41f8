#pragma once

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

// A tile server for tests, on 127.0.0.1 at a port of the system's choice, answering
// GET /{z}/{x}/{y}.png with a 256-pixel tile of one colour that names the tile
// (TileColour). It speaks just enough HTTP/1.1 for QNetworkAccessManager (keep-alive,
// Content-Length, 304 to a conditional request) and records what it was asked.
namespace tideplot::testing {

// The colour of tile (z, x, y): red from x, green from y, blue from z, each step far
// from the next.
inline QColor TileColour(int z, int x, int y)
{
    return QColor(30 + 37 * (x % 6), 30 + 37 * (y % 6), 20 + 9 * z);
}

inline QByteArray SolidPng(const QColor& colour, int sizePx = 256)
{
    QImage image(sizePx, sizePx, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A tile that looks more like a map than one colour (a coast of lines and a few words), for
// benchmarks: its PNG is some 10 to 30 KB, as a map tile's is.
inline QByteArray MapLikePng(int z, int x, int y)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(TileColour(z, x, y));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    quint32 seed = static_cast<quint32>(z * 7919 + x * 104729 + y * 1299709);
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int i = 0; i < 40; ++i) {
        painter.setPen(QPen(QColor::fromRgb(next() % 256, next() % 256, next() % 256), 1 + next() % 3));
        painter.drawLine(int(next() % 256), int(next() % 256), int(next() % 256), int(next() % 256));
    }
    for (int i = 0; i < 4; ++i)
        painter.drawText(int(next() % 200), int(next() % 240), QStringLiteral("Harbour %1").arg(next() % 1000));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class TileServer {
public:
    TileServer()
    {
        server_.listen(QHostAddress::LocalHost);
        port_ = server_.serverPort();
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                sockets_.push_back(socket);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    sockets_.removeAll(socket);
                    socket->deleteLater();
                });
            }
        });
    }

    quint16 port() const { return port_; } // also once stopped
    QString urlTemplate() const { return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port()); }

    // Stops listening and closes every connection: clients find nobody there.
    void stop()
    {
        server_.close();
        for (QTcpSocket* socket : std::as_const(sockets_))
            socket->abort();
    }

    // What to answer: tiles ("z/x/y") that are not found, tiles whose connection is closed
    // without an answer, how long each answer waits, the caching headers of a tile.
    QSet<QString> notFound;
    std::function<bool(int z, int x, int y)> notFoundIf;
    QSet<QString> closeWithoutAnswer;
    // Servers that would take all a client has: tiles whose body never ends (with a
    // Content-Length of 16 GiB, or chunked), tiles that redirect to themselves, tiles that
    // are never answered, and tiles of `bigTileBytes` bytes of no picture.
    QSet<QString> endlessLength;
    QSet<QString> endlessChunked;
    QSet<QString> redirectLoop;
    QSet<QString> silent;
    QSet<QString> big;
    qint64 bigTileBytes = 0;
    int delayMs = 0;
    QByteArray cacheHeaders = "Cache-Control: max-age=0";
    bool mapLike = false; // MapLikePng instead of one colour

    // What was asked: each tile ("z/x/y") in order, the User-Agent of each request, the
    // largest number of requests waiting for an answer at once, answers of 304.
    QStringList tilesAsked;
    QList<QByteArray> userAgents;
    int mostInFlight = 0;
    int notModified = 0;
    // The body bytes sent for endless tiles, by tile, until the client let go.
    QHash<QString, qint64> streamed;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            answer(socket, head);
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QString target = QString::fromLatin1(lines.value(0).split(' ').value(1));
        QByteArray userAgent;
        bool conditional = false;
        for (const QByteArray& line : lines) {
            const QByteArray lower = line.trimmed().toLower();
            if (lower.startsWith("user-agent:"))
                userAgent = line.mid(line.indexOf(':') + 1).trimmed();
            if (lower.startsWith("if-modified-since:") || lower.startsWith("if-none-match:"))
                conditional = true;
        }
        static const QRegularExpression tilePath(QStringLiteral("^/(\\d+)/(\\d+)/(\\d+)\\.png$"));
        const auto match = tilePath.match(target);
        const QString tile =
            match.hasMatch() ? match.captured(1) + '/' + match.captured(2) + '/' + match.captured(3) : QString();
        tilesAsked.push_back(tile);
        userAgents.push_back(userAgent);
        if (closeWithoutAnswer.contains(tile)) {
            socket->abort();
            return;
        }
        if (silent.contains(tile))
            return;
        if (redirectLoop.contains(tile)) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + target.toLatin1() + "\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        if (endlessLength.contains(tile) || endlessChunked.contains(tile)) {
            stream(socket, tile, endlessChunked.contains(tile));
            return;
        }
        if (big.contains(tile)) {
            const QByteArray body(bigTileBytes, 'x');
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nCache-Control: max-age=3600\r\n\r\n" + body);
            return;
        }
        ++inFlight_;
        mostInFlight = std::max(mostInFlight, inFlight_);
        QByteArray reply;
        const bool missing =
            notFound.contains(tile) ||
            (notFoundIf && match.hasMatch() &&
             notFoundIf(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()));
        if (!match.hasMatch() || missing) {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nContent-Type: text/plain\r\n\r\nnot found";
        } else if (conditional) {
            ++notModified;
            reply = "HTTP/1.1 304 Not Modified\r\n" + cacheHeaders + "\r\n\r\n";
        } else {
            const int z = match.captured(1).toInt(), x = match.captured(2).toInt(), y = match.captured(3).toInt();
            const QByteArray png = mapLike ? MapLikePng(z, x, y) : SolidPng(TileColour(z, x, y));
            reply = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " + QByteArray::number(png.size()) +
                    "\r\n" + cacheHeaders + "\r\nLast-Modified: Sat, 21 Jun 2008 11:00:00 GMT\r\n\r\n" + png;
        }
        QTimer::singleShot(delayMs, socket, [this, socket, reply] {
            --inFlight_;
            socket->write(reply);
        });
    }

    // Sends a body without end, 64 KB at a time as the client takes it, until it goes.
    void stream(QTcpSocket* socket, const QString& tile, bool chunked)
    {
        socket->write(chunked ? "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nTransfer-Encoding: chunked\r\n\r\n"
                              : "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 17179869184\r\n\r\n");
        const QByteArray piece(64 * 1024, 'x');
        const QByteArray chunk = chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n" : piece;
        auto more = [this, socket, tile, chunk, piece] {
            if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 4 * chunk.size())
                return;
            socket->write(chunk);
            streamed[tile] += piece.size();
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
    }

    quint16 port_ = 0;
    QList<QTcpSocket*> sockets_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    int inFlight_ = 0;
    QTcpServer server_; // last: it goes first, with its connections, while what they touch is there
};

} // namespace tideplot::testing
