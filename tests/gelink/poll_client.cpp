// Polls a URL the way Google Earth polls the link, many times, and counts what went wrong.
//
//   gelink_poll_client URL COUNT [PARALLEL] [PER_CONNECTION]
//
// Keeps PARALLEL requests in flight (default 4); after every PER_CONNECTION requests
// (default 50) it waits for them and drops its connections, so the server also sees
// connections come and go. Prints "polls N errors E ms T" and exits 0 when E is 0.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTextStream>

#include <cstdio>

namespace {

class Poller {
public:
    Poller(QUrl url, int count, int parallel, int perConnection)
        : url_(std::move(url)), count_(count), parallel_(parallel), perConnection_(perConnection)
    {
        manager_.setProxy(QNetworkProxy::NoProxy);
    }

    void start()
    {
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
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        if (reply->error() != QNetworkReply::NoError || status != 200 || !body.contains("</kml>")) {
            if (++errors_ <= 5)
                std::fprintf(stderr, "poll %d: status %d, %s\n", done_, status, qPrintable(reply->errorString()));
        }
        reply->deleteLater();
        if (done_ == count_) {
            QTextStream(stdout) << "polls " << done_ << " errors " << errors_ << " ms " << timer_.elapsed() << '\n';
            QCoreApplication::exit(errors_ == 0 ? 0 : 1);
            return;
        }
        if (inFlight_ == 0 && sent_ % perConnection_ == 0)
            manager_.clearConnectionCache();
        fill();
    }

    QNetworkAccessManager manager_;
    QUrl url_;
    int count_;
    int parallel_;
    int perConnection_;
    int sent_ = 0;
    int inFlight_ = 0;
    int done_ = 0;
    int errors_ = 0;
    QElapsedTimer timer_;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: gelink_poll_client URL COUNT [PARALLEL] [PER_CONNECTION]\n");
        return 2;
    }
    const int count = args[2].toInt();
    const int parallel = args.size() > 3 ? args[3].toInt() : 4;
    const int perConnection = args.size() > 4 ? args[4].toInt() : 50;
    if (count <= 0 || parallel <= 0 || perConnection <= 0) {
        std::fprintf(stderr, "COUNT, PARALLEL and PER_CONNECTION must be positive\n");
        return 2;
    }
    Poller poller(QUrl(args[1]), count, parallel, perConnection);
    poller.start();
    return app.exec();
}
