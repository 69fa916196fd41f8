// The other process of the link's tests: polls the link as Google Earth does, or attacks
// its server as a misbehaving local program would.
//
//   gelink_poll_client load URL COUNT PARALLEL PER_CONNECTION
//       COUNT polls, PARALLEL in flight; after every PER_CONNECTION polls it drops its
//       connections. Prints "polls N errors E ms T".
//   gelink_poll_client watch URL SECONDS
//       One poll every 200 ms for SECONDS. Prints "polls N errors E slowest T ms".
//   gelink_poll_client follow URL FILE
//       Polls every 100 ms until the server is gone; writes the last answer to FILE and the
//       last one that held a LookAt to FILE.lookat. Prints "polls N lookats L errors E".
//   gelink_poll_client silent URL COUNT SECONDS
//       Holds COUNT connections to URL's port that send nothing, opening a new one for every
//       one closed.
//   gelink_poll_client slow URL COUNT SECONDS
//       COUNT connections that send a request one byte every 300 ms, likewise.
//   gelink_poll_client noread URL SECONDS
//       One connection that sends request after request and reads no answer, opening a new
//       one when it is closed.
//
// The attackers print "ready" once their first connections are up, and at the end
// "connections N closed C answers A" (A: answers whose status line they saw). Every mode
// exits 0 when nothing went wrong on its side.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void Print(const QString& line)
{
    QTextStream(stdout) << line << Qt::endl;
}

bool IsKmlAnswer(QNetworkReply* reply, const QByteArray& body)
{
    return reply->error() == QNetworkReply::NoError &&
           reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200 && body.contains("</kml>");
}

class Load {
public:
    Load(QUrl url, int count, int parallel, int perConnection)
        : url_(std::move(url)), count_(count), parallel_(parallel), perConnection_(perConnection)
    {
        manager_.setProxy(QNetworkProxy::NoProxy);
        timer_.start();
        fill();
    }

private:
    void fill()
    {
        // A new batch starts once the last one is done.
        while (inFlight_ < parallel_ && sent_ < count_ && (sent_ % perConnection_ != 0 || inFlight_ == 0)) {
            QNetworkReply* reply = manager_.get(QNetworkRequest(url_));
            QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { finished(reply); });
            ++sent_;
            ++inFlight_;
        }
    }

    void finished(QNetworkReply* reply)
    {
        --inFlight_;
        ++done_;
        if (!IsKmlAnswer(reply, reply->readAll()) && ++errors_ <= 5)
            std::fprintf(stderr, "poll %d: %s\n", done_, qPrintable(reply->errorString()));
        reply->deleteLater();
        if (done_ == count_) {
            Print(QStringLiteral("polls %1 errors %2 ms %3").arg(done_).arg(errors_).arg(timer_.elapsed()));
            QCoreApplication::exit(errors_ == 0 ? 0 : 1);
            return;
        }
        if (inFlight_ == 0 && sent_ % perConnection_ == 0)
            manager_.clearConnectionCache();
        fill();
    }

    QNetworkAccessManager manager_;
    QUrl url_;
    int count_, parallel_, perConnection_;
    int sent_ = 0, inFlight_ = 0, done_ = 0, errors_ = 0;
    QElapsedTimer timer_;
};

// One poll after another, as Google Earth polls the link, each timed.
class Poller {
public:
    Poller(QUrl url, int intervalMs) : url_(std::move(url)), intervalMs_(intervalMs)
    {
        manager_.setProxy(QNetworkProxy::NoProxy);
        manager_.setTransferTimeout(10'000);
    }

    void start() { poll(); }

    // Called with every answer; the body is empty on an error.
    std::function<void(QNetworkReply*, const QByteArray&, qint64 ms)> onAnswer;
    bool stopped = false;

private:
    void poll()
    {
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply = manager_.get(QNetworkRequest(url_));
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, clock] {
            onAnswer(reply, reply->readAll(), clock.elapsed());
            reply->deleteLater();
            if (!stopped)
                QTimer::singleShot(intervalMs_, [this] { poll(); });
        });
    }

    QNetworkAccessManager manager_;
    QUrl url_;
    int intervalMs_;
};

int Watch(const QUrl& url, int seconds)
{
    Poller poller(url, 200);
    int polls = 0, errors = 0;
    qint64 slowest = 0;
    QElapsedTimer running;
    running.start();
    poller.onAnswer = [&](QNetworkReply* reply, const QByteArray& body, qint64 ms) {
        ++polls;
        slowest = std::max(slowest, ms);
        if (!IsKmlAnswer(reply, body) && ++errors <= 5)
            std::fprintf(stderr, "poll %d: %s\n", polls, qPrintable(reply->errorString()));
        if (running.elapsed() >= seconds * 1000LL) {
            poller.stopped = true;
            Print(QStringLiteral("polls %1 errors %2 slowest %3 ms").arg(polls).arg(errors).arg(slowest));
            QCoreApplication::exit(errors == 0 ? 0 : 1);
        }
    };
    poller.start();
    return QCoreApplication::exec();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int Follow(const QUrl& url, const QString& path)
{
    Poller poller(url, 100);
    int polls = 0, lookAts = 0, errors = 0;
    QByteArray last, lastLookAt;
    poller.onAnswer = [&](QNetworkReply* reply, const QByteArray& body, qint64) {
        if (IsKmlAnswer(reply, body)) {
            ++polls;
            last = body;
            if (body.contains("<LookAt>")) {
                ++lookAts;
                lastLookAt = body;
            }
            return;
        }
        if (reply->error() == QNetworkReply::ConnectionRefusedError && polls > 0) {
            poller.stopped = true;
            const bool written = WriteFile(path, last) && WriteFile(path + QStringLiteral(".lookat"), lastLookAt);
            Print(QStringLiteral("polls %1 lookats %2 errors %3").arg(polls).arg(lookAts).arg(errors));
            QCoreApplication::exit(written ? 0 : 1);
            return;
        }
        if (reply->error() != QNetworkReply::ConnectionRefusedError)
            ++errors; // refused before the server listens is no error
    };
    QTimer::singleShot(120'000, [] {
        std::fprintf(stderr, "the server did not stop within two minutes\n");
        QCoreApplication::exit(3);
    });
    poller.start();
    return QCoreApplication::exec();
}

// Connections that misbehave in one way, each replaced by a new one when the server closes it.
class Attack {
public:
    enum class Kind { Silent, Slow, NoRead };

    Attack(Kind kind, QUrl url, int count) : kind_(kind), url_(std::move(url))
    {
        for (int i = 0; i < count; ++i)
            open();
        QTimer::singleShot(0, [] { Print(QStringLiteral("ready")); });
        if (kind_ != Kind::Silent) {
            QObject::connect(&tick_, &QTimer::timeout, [this] { send(); });
            tick_.start(kind_ == Kind::Slow ? 300 : 5);
        }
    }

    ~Attack()
    {
        // The sockets report their closing as they go; nothing is replaced any more.
        for (const auto& connection : connections_)
            connection->socket.disconnect();
    }
    Attack(const Attack&) = delete;
    Attack& operator=(const Attack&) = delete;

    QString report() const
    {
        return QStringLiteral("connections %1 closed %2 answers %3").arg(opened_).arg(closed_).arg(answers_);
    }

private:
    struct Connection {
        QTcpSocket socket;
        QByteArray request; // what is left to send of a slow request
        QByteArray received;
    };

    void open()
    {
        connections_.push_back(std::make_unique<Connection>());
        Connection* connection = connections_.back().get();
        QTcpSocket* socket = &connection->socket;
        if (kind_ == Kind::NoRead)
            socket->setReadBufferSize(1); // Qt takes no more from the system: the answers pile up
        else
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, connection] {
                connection->received += connection->socket.readAll();
                answers_ += static_cast<int>(connection->received.count("HTTP/1.1 "));
                connection->received = connection->received.right(16);
            });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, connection] { replace(connection); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [this, connection] {
            if (connection->socket.state() == QAbstractSocket::UnconnectedState)
                replace(connection);
        });
        connection->request = "GET " + url_.path(QUrl::FullyEncoded).toLatin1() +
                              "?1,2,3,4,5 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " + QByteArray(200, 'x') +
                              "\r\n\r\n";
        socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url_.port()));
        ++opened_;
    }

    void replace(Connection* connection)
    {
        const auto it = std::find_if(connections_.begin(), connections_.end(),
                                     [connection](const auto& owned) { return owned.get() == connection; });
        if (it == connections_.end())
            return;
        // Deleted once the socket's signal that got here has returned.
        std::shared_ptr<Connection> closed(std::move(*it));
        connections_.erase(it);
        closed->socket.disconnect();
        QTimer::singleShot(0, [closed] {});
        ++closed_;
        QTimer::singleShot(50, [this] { open(); });
    }

    void send()
    {
        for (const auto& connection : connections_) {
            QTcpSocket* socket = &connection->socket;
            if (socket->state() != QAbstractSocket::ConnectedState)
                continue;
            if (kind_ == Kind::Slow) {
                if (!connection->request.isEmpty()) {
                    socket->write(connection->request.left(1));
                    connection->request.remove(0, 1);
                }
            } else if (socket->bytesToWrite() < 64 * 1024) {
                for (int i = 0; i < 10; ++i)
                    socket->write(connection->request);
            }
        }
    }

    Kind kind_;
    QUrl url_;
    std::vector<std::unique_ptr<Connection>> connections_;
    QTimer tick_;
    int opened_ = 0, closed_ = 0, answers_ = 0;
};

int RunAttack(Attack::Kind kind, const QUrl& url, int count, int seconds)
{
    Attack attack(kind, url, count);
    QTimer::singleShot(seconds * 1000, [&] {
        Print(attack.report());
        QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}

int Usage()
{
    std::fprintf(stderr, "usage: gelink_poll_client load URL COUNT PARALLEL PER_CONNECTION | watch URL SECONDS |\n"
                         "       follow URL FILE | silent|slow URL COUNT SECONDS | noread URL SECONDS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const QUrl url(args.value(1));
    const auto number = [&](int i) { return args.value(i).toInt(); };
    if (mode == u"load" && args.size() == 5 && number(2) > 0 && number(3) > 0 && number(4) > 0) {
        Load load(url, number(2), number(3), number(4));
        return QCoreApplication::exec();
    }
    if (mode == u"watch" && args.size() == 3 && number(2) > 0)
        return Watch(url, number(2));
    if (mode == u"follow" && args.size() == 3)
        return Follow(url, args[2]);
    if ((mode == u"silent" || mode == u"slow") && args.size() == 4 && number(2) > 0 && number(3) > 0)
        return RunAttack(mode == u"silent" ? Attack::Kind::Silent : Attack::Kind::Slow, url, number(2), number(3));
    if (mode == u"noread" && args.size() == 3 && number(2) > 0)
        return RunAttack(Attack::Kind::NoRead, url, 1, number(2));
    return Usage();
}
