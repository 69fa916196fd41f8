// The other process of the link's tests: polls the link as Google Earth does, or attacks
// its server as a misbehaving local program would.
//
//   gelink_poll_client poll URL COUNT PARALLEL PER_CONNECTION PAUSE_MS
//       COUNT polls, PARALLEL in flight, the next one PAUSE_MS after an answer; after every
//       PER_CONNECTION polls it drops its connections. Prints "polls N errors E slowest T ms".
//   gelink_poll_client silent|slow|noread URL COUNT SECONDS
//       Holds COUNT connections to URL's port that send nothing (silent), a request one byte
//       every 300 ms (slow), or one whole request every 5 ms and never read an answer
//       (noread), opening a new one for every one closed. Prints "ready" once the first are
//       opened, and at the end "connections N closed C answers A longest L ms" (A: answers
//       whose status line they saw; L: the longest that one connection stayed open).
// Every mode exits 0 when nothing went wrong on its side.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

// Polls as Google Earth polls the link; a new batch of polls starts once the last one is done.
class Polls {
public:
    Polls(QUrl url, int count, int parallel, int perConnection, int pauseMs)
        : url_(std::move(url)), count_(count), parallel_(parallel), perConnection_(perConnection), pauseMs_(pauseMs)
    {
        manager_.setProxy(QNetworkProxy::NoProxy);
        manager_.setTransferTimeout(10'000);
        fill();
    }

private:
    void fill()
    {
        while (sent_ < count_ && inFlight_ < parallel_ && (sent_ % perConnection_ != 0 || inFlight_ == 0)) {
            QElapsedTimer clock;
            clock.start();
            QNetworkReply* reply = manager_.get(QNetworkRequest(url_));
            QObject::connect(reply, &QNetworkReply::finished, reply,
                             [this, reply, clock] { finished(reply, clock.elapsed()); });
            ++sent_;
            ++inFlight_;
        }
    }

    void finished(QNetworkReply* reply, qint64 ms)
    {
        --inFlight_;
        ++done_;
        slowest_ = std::max(slowest_, ms);
        const bool kml = reply->error() == QNetworkReply::NoError &&
                         reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 &&
                         reply->readAll().contains("</kml>");
        if (!kml && ++errors_ <= 5)
            std::fprintf(stderr, "poll %d: %s\n", done_, qPrintable(reply->errorString()));
        reply->deleteLater();
        if (done_ == count_) {
            QTextStream(stdout) << "polls " << done_ << " errors " << errors_ << " slowest " << slowest_ << " ms\n";
            QCoreApplication::exit(errors_ == 0 ? 0 : 1);
            return;
        }
        if (inFlight_ == 0 && sent_ % perConnection_ == 0)
            manager_.clearConnectionCache();
        QTimer::singleShot(pauseMs_, [this] { fill(); });
    }

    QNetworkAccessManager manager_;
    QUrl url_;
    int count_, parallel_, perConnection_, pauseMs_;
    int sent_ = 0, inFlight_ = 0, done_ = 0, errors_ = 0;
    qint64 slowest_ = 0;
};

// COUNT connections that misbehave in one way; one closed by the server is replaced at the next tick.
class Attack {
public:
    enum class Kind { Silent, Slow, NoRead };

    Attack(Kind kind, const QUrl& url, int count) : kind_(kind), url_(url), count_(count)
    {
        QObject::connect(&tick_, &QTimer::timeout, [this] { tick(); });
        tick_.start(kind_ == Kind::Slow ? 300 : 5);
        tick();
        QTextStream(stdout) << "ready" << Qt::endl;
    }

    // The longest age as of the last tick.
    void report() const
    {
        QTextStream(stdout) << "connections " << opened_ << " closed " << closed_ << " answers " << answers_
                            << " longest " << longest_ << " ms\n";
    }

private:
    struct Connection {
        QTcpSocket socket;
        QByteArray request; // what is left to send of a slow request
        QElapsedTimer age;
    };

    void tick()
    {
        for (const auto& connection : connections_)
            longest_ = std::max(longest_, connection->age.elapsed());
        closed_ += static_cast<int>(std::erase_if(connections_, [](const auto& connection) {
            return connection->socket.state() == QAbstractSocket::UnconnectedState;
        }));
        while (static_cast<int>(connections_.size()) < count_) {
            auto& connection = connections_.emplace_back(std::make_unique<Connection>());
            connection->age.start();
            QTcpSocket* socket = &connection->socket;
            if (kind_ == Kind::NoRead)
                socket->setReadBufferSize(1); // Qt takes no more from the system: the answers pile up
            else
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    answers_ += static_cast<int>(socket->readAll().count("HTTP/1.1 "));
                });
            connection->request = "GET " + url_.path(QUrl::FullyEncoded).toLatin1() +
                                  "?1,2,3,4,5 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " + QByteArray(200, 'x') +
                                  "\r\n\r\n";
            socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url_.port()));
            ++opened_;
        }
        for (const auto& connection : connections_) {
            QTcpSocket& socket = connection->socket;
            if (socket.state() != QAbstractSocket::ConnectedState || kind_ == Kind::Silent)
                continue;
            if (kind_ == Kind::Slow) {
                socket.write(connection->request.left(1));
                connection->request.remove(0, 1);
            } else if (socket.bytesToWrite() == 0) {
                // The next request only once the last one is sent whole: the server reads
                // each one in time and answers it.
                socket.write(connection->request);
            }
        }
    }

    Kind kind_;
    QUrl url_;
    int count_;
    std::vector<std::unique_ptr<Connection>> connections_;
    QTimer tick_;
    int opened_ = 0, closed_ = 0, answers_ = 0;
    qint64 longest_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const QUrl url(args.value(1));
    const auto number = [&](int i) { return args.value(i).toInt(); };
    if (mode == u"poll" && args.size() == 6 && number(2) > 0 && number(3) > 0 && number(4) > 0 && number(5) >= 0) {
        Polls polls(url, number(2), number(3), number(4), number(5));
        return QCoreApplication::exec();
    }
    const std::map<QString, Attack::Kind> kinds = {
        {"silent", Attack::Kind::Silent}, {"slow", Attack::Kind::Slow}, {"noread", Attack::Kind::NoRead}};
    if (kinds.contains(mode) && args.size() == 4 && number(2) > 0 && number(3) > 0) {
        Attack attack(kinds.at(mode), url, number(2));
        QTimer::singleShot(number(3) * 1000, [&] {
            attack.report();
            QCoreApplication::exit(0);
        });
        return QCoreApplication::exec();
    }
    std::fprintf(stderr, "usage: gelink_poll_client poll URL COUNT PARALLEL PER_CONNECTION PAUSE_MS |\n"
                         "       silent|slow|noread URL COUNT SECONDS\n");
    return 2;
}
