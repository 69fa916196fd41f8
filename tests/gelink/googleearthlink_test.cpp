#include "core/error.h"
#include "earth/gelink/googleearthlink.h"
#include "earth/kmldocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <iostream>
#include <map>

namespace tideplot {
namespace {

using Point = KmlCoordinate;

// A document as the replay writes one per boat and step: the new position first.
std::string SegmentDocument(const QString& name, const char* colour, int width, Point from, Point to)
{
    return QStringLiteral("<Document><name>%1</name><open>1</open><Style id=\"Style\"><LineStyle><width>%2</width>"
                          "<color>%3</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString>"
                          "<coordinates>%4,%5,0,%6,%7,0</coordinates></LineString></Placemark></Document>")
        .arg(name)
        .arg(width)
        .arg(QLatin1String(colour))
        .arg(KmlNumberText(to.Lon), KmlNumberText(to.Lat), KmlNumberText(from.Lon), KmlNumberText(from.Lat))
        .toStdString();
}

struct Reply {
    int Status = 0;
    QByteArray Body;
    QByteArray ContentType;
};

template <typename Sender, typename Signal> void Wait(Sender* sender, Signal signal, int ms = 5000)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

Reply Get(const QUrl& url, const QByteArray& postBody = {})
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
    QNetworkReply* reply = postBody.isNull() ? manager.get(request) : manager.post(request, postBody);
    Wait(reply, &QNetworkReply::finished);
    Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                 reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
    delete reply;
    return result;
}

// Sends bytes as they are and returns what comes back, up to the end of the first answer
// or until the server closes the connection.
QByteArray Exchange(quint16 port, const QByteArray& bytes)
{
    QTcpSocket socket;
    QByteArray received;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(bytes); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        received += socket.readAll();
        const auto headEnd = received.indexOf("\r\n\r\n");
        const auto length =
            QRegularExpression(QStringLiteral("Content-Length: (\\d+)"), QRegularExpression::CaseInsensitiveOption)
                .match(QString::fromLatin1(received.left(headEnd)));
        if (headEnd >= 0 && length.hasMatch() && received.size() >= headEnd + 4 + length.captured(1).toInt())
            loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    return received;
}

// The served LookAt's fields by name ("longitude" -> "11.5").
std::map<QString, QString> ReadLookAt(const QByteArray& kml)
{
    std::map<QString, QString> fields;
    QXmlStreamReader xml(kml);
    bool inside = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"LookAt")
            inside = true;
        else if (xml.isEndElement() && xml.name() == u"LookAt")
            inside = false;
        else if (inside && xml.isStartElement())
            fields[xml.name().toString()] = xml.readElementText();
    }
    return fields;
}

CameraInfoGE Camera(double lat, double lon, double range, double tilt, double azimuth)
{
    CameraInfoGE camera;
    camera.FocusPointLatitude = lat;
    camera.FocusPointLongitude = lon;
    camera.Range = range;
    camera.Tilt = tilt;
    camera.Azimuth = azimuth;
    return camera;
}

class GoogleEarthLinkTest : public ::testing::Test {
protected:
    GoogleEarthLinkTest() : link_(Options()) {}

    GoogleEarthLinkOptions Options()
    {
        GoogleEarthLinkOptions options;
        options.OpenInGoogleEarth = false;
        options.LinkDirectory = dir_.path();
        return options;
    }

    QUrl PollUrl(const QString& view) const
    {
        QUrl url = link_.documentUrl();
        url.setQuery(view);
        return url;
    }

    quint16 Port() const { return static_cast<quint16>(link_.serverUrl().port()); }

    QTemporaryDir dir_;
    GoogleEarthLink link_;
};

TEST_F(GoogleEarthLinkTest, ServesEverySegmentInItsColourAndWidthMergedIntoRuns)
{
    struct Segment {
        QString Name;
        const char* Colour;
        int Width;
        Point From, To;
    };
    std::vector<Segment> segments;
    Point elsa{11.75, 57.5, 0};
    Point mira{11.70, 57.45, 0};
    for (int step = 0; step < 30; ++step) {
        const Point nextElsa{elsa.Lon + 0.001 * (step % 7), elsa.Lat + 0.0005, 0};
        // Elsa's last ten segments are drawn wide.
        segments.push_back({QStringLiteral("Elsa & <Co>"), "ff0000ff", step < 20 ? 1 : 5, elsa, nextElsa});
        elsa = nextElsa;
        // Mira jumps once (a gap in her track): a second run.
        const Point nextMira{mira.Lon + 0.0007, mira.Lat + (step == 15 ? 0.01 : 0.0003), 0};
        if (step != 15)
            segments.push_back({QStringLiteral("Mira"), "ff00ff00", 1, mira, nextMira});
        mira = nextMira;
    }
    for (const auto& s : segments)
        link_.LoadKmlData(SegmentDocument(s.Name.toHtmlEscaped(), s.Colour, s.Width, s.From, s.To));

    const Reply reply = Get(link_.documentUrl());
    ASSERT_EQ(reply.Status, 200) << reply.Body.constData();
    EXPECT_EQ(reply.ContentType, "application/vnd.google-earth.kml+xml");
    const auto lines = ParseKmlLines(QString::fromUtf8(reply.Body));

    // One line per unbroken run of a boat in one style: Elsa narrow, Elsa wide, Mira twice.
    EXPECT_EQ(lines.size(), 4u);
    std::size_t servedPoints = 0;
    for (const auto& line : lines)
        servedPoints += line.Points.size();
    EXPECT_EQ(servedPoints, segments.size() + lines.size());
    for (const auto& s : segments) {
        KmlColour colour = 0;
        ASSERT_TRUE(ParseKmlColour(QLatin1String(s.Colour), colour));
        const bool found = std::any_of(lines.begin(), lines.end(), [&](const KmlLineString& line) {
            if (line.Name != s.Name || line.Colour != colour || line.Width != s.Width)
                return false;
            for (std::size_t i = 0; i + 1 < line.Points.size(); ++i)
                if (line.Points[i] == s.From && line.Points[i + 1] == s.To)
                    return true;
            return false;
        });
        EXPECT_TRUE(found) << s.Name.toStdString() << " from " << s.From.Lon << "," << s.From.Lat << " to " << s.To.Lon
                           << "," << s.To.Lat << " width " << s.Width;
    }
}

TEST_F(GoogleEarthLinkTest, ServesTheLastCameraAsLookAt)
{
    EXPECT_TRUE(ReadLookAt(Get(link_.documentUrl()).Body).empty());
    link_.SetCamera(Camera(57.5, 11.75, 9000, 10, 15), 10.0);
    link_.SetCamera(Camera(57.25, 11.5, 3000, 20, 45), 10.0);

    EXPECT_EQ(ReadLookAt(Get(link_.documentUrl()).Body),
              (std::map<QString, QString>{{"longitude", "11.5"},
                                          {"latitude", "57.25"},
                                          {"altitude", "0"},
                                          {"range", "3000"},
                                          {"heading", "45"},
                                          {"tilt", "20"},
                                          {"altitudeMode", "relativeToGround"}}));
}

TEST_F(GoogleEarthLinkTest, GetCameraReportsTheViewOfTheLastPoll)
{
    EXPECT_EQ(link_.GetCamera(2).Range, 0);
    link_.SetCamera(Camera(57.5, 11.75, 4000, 10, 15), 10.0);
    EXPECT_EQ(link_.GetCamera(2).Range, 4000);

    ASSERT_EQ(Get(PollUrl(QStringLiteral("11.5,57.25,2500.5,30,120"))).Status, 200);
    link_.SetCamera(Camera(57.5, 11.75, 4000, 10, 15), 10.0);
    const CameraInfoGE camera = link_.GetCamera(2);
    EXPECT_EQ(camera.FocusPointLongitude, 11.5);
    EXPECT_EQ(camera.FocusPointLatitude, 57.25);
    EXPECT_EQ(camera.Range, 2500.5);
    EXPECT_EQ(camera.Tilt, 30);
    EXPECT_EQ(camera.Azimuth, 120);

    // A poll without a readable view leaves the last one.
    ASSERT_EQ(Get(PollUrl(QStringLiteral("11.5,57.25,2500"))).Status, 200);
    EXPECT_EQ(link_.GetCamera(2).Azimuth, 120);
}

TEST_F(GoogleEarthLinkTest, ServedViewKeepsTheUsersHeadingAndTilt)
{
    // The replay frames the fleet keeping the heading and tilt it reads.
    const auto frame = [this](double lat, double lon) {
        CameraInfoGE camera = Camera(lat, lon, 5000, 0, 0);
        camera.Azimuth = link_.GetCamera(2).Azimuth;
        camera.Tilt = link_.GetCamera(2).Tilt;
        link_.SetCamera(camera, 10.0);
    };
    Get(PollUrl(QStringLiteral("11.75,57.5,5000,0,0")));
    frame(57.5, 11.75);
    // The user turns and tilts the view; the poll reports it before the next step.
    auto lookAt = ReadLookAt(Get(PollUrl(QStringLiteral("11.75,57.5,5000,30,120"))).Body);
    EXPECT_EQ(lookAt["heading"], "120");
    EXPECT_EQ(lookAt["tilt"], "30");
    frame(57.6, 11.8);
    lookAt = ReadLookAt(Get(PollUrl(QStringLiteral("11.75,57.5,5000,30,120"))).Body);
    EXPECT_EQ(lookAt["heading"], "120");
    EXPECT_EQ(lookAt["latitude"], "57.6");

    // A heading set on purpose is served as set.
    link_.SetCamera(Camera(57.6, 11.8, 5000, 30, 200), 10.0);
    lookAt = ReadLookAt(Get(PollUrl(QStringLiteral("11.75,57.5,5000,30,120"))).Body);
    EXPECT_EQ(lookAt["heading"], "200");
}

TEST_F(GoogleEarthLinkTest, AnswersOnlyTheLinksOwnPath)
{
    const QString token = link_.documentUrl().path().section(u'/', 1, 1);
    for (const QString& path :
         QStringList{"/", "/race.kml", "/favicon.ico", "/" + token, "/" + token + "/", "/" + token + "/race.kmlx",
                     "/" + token + "/race.kml/x", "/00000000000000000000000000000000/race.kml"}) {
        QUrl url = link_.serverUrl();
        url.setPath(path);
        EXPECT_EQ(Get(url).Status, 404) << path.toStdString();
    }
    EXPECT_EQ(Get(link_.documentUrl()).Status, 200);
    EXPECT_EQ(Get(link_.documentUrl(), "x=1").Status, 405);
}

TEST_F(GoogleEarthLinkTest, RefusesOversizedRequests)
{
    const QByteArray path = link_.documentUrl().path().toLatin1();
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(Port()) + "\r\n";
    const QByteArray big(20'000, 'a');
    const struct {
        const char* What;
        QByteArray Request;
        const char* Status;
    } cases[] = {
        {"long URL", "GET " + path + "?" + big + " HTTP/1.1\r\n" + host + "\r\n", "414"},
        {"long headers", "GET " + path + " HTTP/1.1\r\n" + host + "X-Filler: " + big + "\r\n\r\n", "431"},
        {"long body", "POST " + path + " HTTP/1.1\r\n" + host + "Content-Length: 20000\r\n\r\n" + big, "413"},
        {"long chunked body",
         "POST " + path + " HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n4e20\r\n" + big + "\r\n0\r\n\r\n",
         "413"},
    };
    for (const auto& c : cases) {
        const QByteArray answer = Exchange(Port(), c.Request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + QByteArray(c.Status))) << c.What << ": " << answer.constData();
    }
    EXPECT_EQ(Get(link_.documentUrl()).Status, 200);
}

TEST_F(GoogleEarthLinkTest, RefusesRequestsForAnotherHost)
{
    const QByteArray get = "GET " + link_.documentUrl().path().toLatin1() + " HTTP/1.1\r\nHost: ";
    const QByteArray port = QByteArray::number(Port());
    EXPECT_TRUE(Exchange(Port(), get + "attacker.example:" + port + "\r\n\r\n").startsWith("HTTP/1.1 421"));
    EXPECT_TRUE(Exchange(Port(), get + "127.0.0.1:1\r\n\r\n").startsWith("HTTP/1.1 421"));
    EXPECT_TRUE(Exchange(Port(), get + "localhost:" + port + "\r\n\r\n").startsWith("HTTP/1.1 200"));
}

TEST_F(GoogleEarthLinkTest, ClosesSilentAndSurplusConnections)
{
    QTemporaryDir dir;
    GoogleEarthLinkOptions options = Options();
    options.LinkDirectory = dir.path();
    options.MaxConnections = 2;
    options.IdleTimeoutMs = 1000;
    GoogleEarthLink link(options);
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<qint64> closedMs(3, -1);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        QObject::connect(sockets[i].get(), &QTcpSocket::disconnected, [&, i] { closedMs[i] = clock.elapsed(); });
        sockets[i]->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(link.serverUrl().port()));
        Wait(sockets[i].get(), &QTcpSocket::connected);
        sockets[i]->write("GET / HTTP/1.1\r\n"); // and no more
    }
    QEventLoop loop;
    QTimer::singleShot(2500, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(closedMs[2], 0) << "the third connection is closed at once";
    EXPECT_LT(closedMs[2], 800);
    for (int i = 0; i < 2; ++i)
        EXPECT_GE(closedMs[i], 800) << "connection " << i << " is closed when it has been silent for a second";
    EXPECT_EQ(Get(link.documentUrl()).Status, 200) << "closed connections give their places back";
}

TEST_F(GoogleEarthLinkTest, ListensOnLoopbackOnly)
{
    EXPECT_EQ(link_.serverUrl().host(), "127.0.0.1");
    QHostAddress other;
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
            other = address;
    if (other.isNull())
        GTEST_SKIP() << "this computer has no other address to try";
    QTcpSocket socket;
    socket.connectToHost(other, Port());
    Wait(&socket, &QTcpSocket::errorOccurred);
    EXPECT_EQ(socket.error(), QAbstractSocket::ConnectionRefusedError) << other.toString().toStdString();
}

TEST_F(GoogleEarthLinkTest, RefusesUnreadableDocumentsAndKeepsWhatWasLoaded)
{
    link_.LoadKmlData(SegmentDocument("Elsa", "ff0000ff", 1, {11.75, 57.5, 0}, {11.76, 57.51, 0}));
    EXPECT_THROW(link_.LoadKmlData("<Document><name>Elsa</name><Placemark>"), Error);
    EXPECT_THROW(link_.LoadKmlData("<Document><Placemark><LineString><coordinates>11.76,north,0"
                                   "</coordinates></LineString></Placemark></Document>"),
                 Error);
    const auto lines = ParseKmlLines(QString::fromUtf8(Get(link_.documentUrl()).Body));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Points, (std::vector<Point>{{11.75, 57.5, 0}, {11.76, 57.51, 0}}));
}

TEST_F(GoogleEarthLinkTest, LinkFileIsANetworkLinkPolledEverySecond)
{
    EXPECT_EQ(QFileInfo(link_.linkFilePath()).dir().path(), dir_.path());
    QFile file(link_.linkFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_EQ(text.count("\r\n"), text.count('\n'));

    std::map<QString, QString> fields;
    QXmlStreamReader xml(text);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), u"kml");
    EXPECT_EQ(xml.namespaceUri(), u"http://www.opengis.net/kml/2.2");
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            path += xml.name().toString();
        else if (xml.isEndElement() && !path.isEmpty())
            path.removeLast();
        else if (xml.isCharacters() && !xml.isWhitespace())
            fields[path.join(u'/')] = xml.text().toString();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(fields["NetworkLink/flyToView"], "1");
    EXPECT_EQ(fields["NetworkLink/Link/href"], link_.documentUrl().toString());
    EXPECT_EQ(fields["NetworkLink/Link/refreshMode"], "onInterval");
    EXPECT_EQ(fields["NetworkLink/Link/refreshInterval"], "1");
    EXPECT_EQ(fields["NetworkLink/Link/viewFormat"],
              "[lookatLon],[lookatLat],[lookatRange],[lookatTilt],[lookatHeading]");
    EXPECT_TRUE(link_.openReport().contains(QDir::toNativeSeparators(link_.linkFilePath())));
}

class ScopedPath {
public:
    explicit ScopedPath(const QString& path) : old_(qgetenv("PATH")) { qputenv("PATH", path.toLocal8Bit()); }
    ~ScopedPath() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

TEST_F(GoogleEarthLinkTest, OpensTheLinkFileWithGoogleEarthFromThePath)
{
    QTemporaryDir bin;
    const QString program = bin.filePath(QStringLiteral("google-earth-pro"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.opened\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const ScopedPath path(bin.path());
    GoogleEarthLinkOptions options = Options();
    options.OpenInGoogleEarth = true;
    GoogleEarthLink link(options);
    EXPECT_TRUE(link.openedInGoogleEarth()) << link.openReport().toStdString();
    QFile opened(program + QStringLiteral(".opened"));
    for (int i = 0; i < 100 && !opened.exists(); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(opened.readAll()), link.linkFilePath());
}

TEST_F(GoogleEarthLinkTest, SaysWhereTheLinkFileIsWhenNothingOpensIt)
{
    QTemporaryDir emptyBin;
    const ScopedPath path(emptyBin.path());
    GoogleEarthLinkOptions options = Options();
    options.OpenInGoogleEarth = true;
    GoogleEarthLink link(options);
    EXPECT_FALSE(link.openedInGoogleEarth());
    EXPECT_TRUE(link.openReport().contains(QDir::toNativeSeparators(link.linkFilePath())))
        << link.openReport().toStdString();
    EXPECT_TRUE(link.openReport().contains(QStringLiteral("google-earth-pro")));
}

TEST(ParseGoogleEarthView, ReadsFiveNumbersInTheirRanges)
{
    const auto view = ParseGoogleEarthView(QStringLiteral("-11.5,57.25,2500.5,30,-120"));
    ASSERT_TRUE(view);
    EXPECT_EQ(view->LookAtLongitudeDeg, -11.5);
    EXPECT_EQ(view->LookAtLatitudeDeg, 57.25);
    EXPECT_EQ(view->RangeMetres, 2500.5);
    EXPECT_EQ(view->TiltDeg, 30);
    EXPECT_EQ(view->HeadingDeg, -120);
    for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,6", "a,2,3,4,5", "1,2,3,4,", "1,91,3,4,5", "181,2,3,4,5",
                            "1,2,-3,4,5", "1,2,3,4,nan", "1,2,inf,4,5"})
        EXPECT_FALSE(ParseGoogleEarthView(QString::fromLatin1(bad))) << "Input: " << bad;
}

long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Runs the poll client in its own process while this one serves; returns its report.
QString Polls(const QUrl& url, int count)
{
    QProcess client;
    client.start(QStringLiteral(GELINK_POLL_CLIENT),
                 {url.toString(), QString::number(count), QStringLiteral("4"), QStringLiteral("20")});
    Wait(&client, &QProcess::finished, 60'000);
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished();
        return QStringLiteral("timed out");
    }
    return QString::fromLocal8Bit(client.readAllStandardOutput() + client.readAllStandardError()).trimmed();
}

TEST_F(GoogleEarthLinkTest, TenThousandPollsFromAnotherProcessWithoutErrorOrGrowth)
{
    // Seven boats of a hundred segments each.
    for (int boat = 0; boat < 7; ++boat)
        for (int step = 0; step < 100; ++step)
            link_.LoadKmlData(SegmentDocument(QStringLiteral("Boat %1").arg(boat), "ff0000ff", 1,
                                              {11.7 + 0.001 * step, 57.5 + 0.01 * boat, 0},
                                              {11.7 + 0.001 * (step + 1), 57.5 + 0.01 * boat, 0}));
    // The camera moves on as during a replay, so the answer is rebuilt now and then.
    QTimer steps;
    int step = 0;
    QObject::connect(&steps, &QTimer::timeout, [&] {
        ++step;
        link_.SetCamera(Camera(57.5 + 0.0001 * (step % 100), 11.75, 5000, 0, 0), 10.0);
    });
    steps.start(50);
    const QUrl url = PollUrl(QStringLiteral("11.75,57.5,5000,0,0"));

    // The first polls grow the heap and Qt's caches to their working size.
    const QString warmUp = Polls(url, 1000);
    ASSERT_TRUE(warmUp.startsWith("polls 1000 errors 0 ")) << warmUp.toStdString();
    const long before = ResidentKiB();
    const QString load = Polls(url, 10'000);
    const long after = ResidentKiB();
    std::cout << "[ load     ] " << load.toStdString() << "; server resident " << before << " -> " << after << " KiB\n";
    EXPECT_TRUE(load.startsWith("polls 10000 errors 0 ")) << load.toStdString();
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory aside, so the size only says something without it.
    EXPECT_LT(after - before, 1024) << "KiB of growth";
#endif
}

} // namespace
} // namespace tideplot

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
