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
#include <QSettings>
#include <QStandardPaths>
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

// Settings of a test's own, in a file of its temporary folder.
std::unique_ptr<QSettings> TestSettings(const QTemporaryDir& dir, const QString& name = QStringLiteral("settings.ini"))
{
    return std::make_unique<QSettings>(dir.filePath(name), QSettings::IniFormat);
}

class GoogleEarthLinkTest : public ::testing::Test {
protected:
    GoogleEarthLinkTest() : settings_(TestSettings(dir_)), link_(Options()) {}

    GoogleEarthLinkOptions Options()
    {
        GoogleEarthLinkOptions options;
        options.OpenInGoogleEarth = false;
        options.LinkDirectory = dir_.path();
        options.Settings = settings_.get();
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
    std::unique_ptr<QSettings> settings_;
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

TEST_F(GoogleEarthLinkTest, ServesACameraAsLookAtInTheFirstPollAfterItWasSetOnly)
{
    const auto poll = [this] { return Get(link_.documentUrl()).Body; };
    EXPECT_TRUE(ReadLookAt(poll()).empty()) << "no camera set yet";
    link_.LoadKmlData(SegmentDocument("Elsa", "ff0000ff", 1, {11.75, 57.5, 0}, {11.76, 57.51, 0}));
    link_.SetCamera(Camera(57.5, 11.75, 9000, 10, 15), 10.0);
    link_.SetCamera(Camera(57.25, 11.5, 3000, 20, 45), 10.0);

    EXPECT_EQ(ReadLookAt(poll()), (std::map<QString, QString>{{"longitude", "11.5"},
                                                              {"latitude", "57.25"},
                                                              {"altitude", "0"},
                                                              {"range", "3000"},
                                                              {"heading", "45"},
                                                              {"tilt", "20"},
                                                              {"altitudeMode", "relativeToGround"}}));
    // Until the next camera, polls carry the tracks and leave the view to the user.
    QByteArray again = poll();
    EXPECT_TRUE(ReadLookAt(again).empty()) << again.constData();
    EXPECT_EQ(ParseKmlLines(QString::fromUtf8(again)).size(), 1u);
    link_.LoadKmlData(SegmentDocument("Elsa", "ff0000ff", 1, {11.76, 57.51, 0}, {11.77, 57.52, 0}));
    again = poll();
    EXPECT_TRUE(ReadLookAt(again).empty()) << "a step that draws without framing";
    ASSERT_EQ(ParseKmlLines(QString::fromUtf8(again)).size(), 1u);
    EXPECT_EQ(ParseKmlLines(QString::fromUtf8(again))[0].Points.size(), 3u);

    link_.SetCamera(Camera(57.3, 11.6, 3000, 20, 45), 10.0);
    EXPECT_EQ(ReadLookAt(poll())["latitude"], "57.3");
    EXPECT_TRUE(ReadLookAt(poll()).empty());
}

TEST_F(GoogleEarthLinkTest, GetCameraReportsTheViewOfTheLastPoll)
{
    EXPECT_EQ(link_.GetCamera(2).Range, 0);
    link_.SetCamera(Camera(57.5, 11.75, 4000, 10, 15), 10.0);
    EXPECT_EQ(link_.GetCamera(2).Range, 4000);

    ASSERT_EQ(Get(PollUrl(QStringLiteral("11.5,57.25,2500.5,30,120"))).Status, 200);
    link_.SetCamera(Camera(57.5, 11.75, 4000, 10, 15), 10.0);
    CameraInfoGE camera = link_.GetCamera(2);
    EXPECT_EQ(camera.FocusPointLongitude, 11.5);
    EXPECT_EQ(camera.FocusPointLatitude, 57.25);
    EXPECT_EQ(camera.Range, 2500.5);
    EXPECT_EQ(camera.Tilt, 30);
    EXPECT_EQ(camera.Azimuth, 120);

    ASSERT_EQ(Get(PollUrl(QStringLiteral("BBOX=1,2,3,4;CAMERA=11.6,57.3,2000,95,-60"))).Status, 200);
    camera = link_.GetCamera(2);
    EXPECT_EQ(camera.FocusPointLatitude, 57.3);
    EXPECT_EQ(camera.Tilt, 90) << "a tilt above 90 is clamped";
    EXPECT_EQ(camera.Azimuth, -60);

    // A poll without a readable view leaves the last one.
    for (const char* bad : {"11.5,57.25,2500", "CAMERA=11.5,north,2500,30,120", ""}) {
        ASSERT_EQ(Get(PollUrl(QString::fromLatin1(bad))).Status, 200) << bad;
        EXPECT_EQ(link_.GetCamera(2).Azimuth, -60) << "Query: " << bad;
        EXPECT_EQ(link_.GetCamera(2).FocusPointLatitude, 57.3) << "Query: " << bad;
    }
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

// A raw connection to the server that records what comes back and when it is closed.
class RawClient {
public:
    explicit RawClient(quint16 port)
    {
        clock_.start();
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { received_ += socket_.readAll(); });
        QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { closedMs_ = clock_.elapsed(); });
        socket_.connectToHost(QHostAddress::LocalHost, port);
        Wait(&socket_, &QTcpSocket::connected);
    }
    void send(const QByteArray& bytes) { socket_.write(bytes); }
    // Waits until `what` has come back `times` times or the connection is closed.
    void waitFor(const QByteArray& what, int times = 1, int ms = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        while (received_.count(what) < times && closedMs_ < 0 && waited.elapsed() < ms)
            Wait(&socket_, &QTcpSocket::readyRead, 50);
    }
    void waitForClose(int ms = 5000) { waitFor(QByteArray(1, '\0'), 1, ms); }
    qint64 closedMs() const { return closedMs_; }
    const QByteArray& received() const { return received_; }

private:
    QTcpSocket socket_;
    QElapsedTimer clock_;
    QByteArray received_;
    qint64 closedMs_ = -1;
};

void Pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST_F(GoogleEarthLinkTest, MakesRoomForANewConnectionByClosingTheIdlest)
{
    QTemporaryDir dir;
    GoogleEarthLinkOptions options = Options();
    options.LinkDirectory = dir.path();
    options.MaxConnections = 2;
    GoogleEarthLink link(options);
    const auto port = static_cast<quint16>(link.serverUrl().port());
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<RawClient>(port));
        Pause(200); // accepted one after the other
    }
    clients[0]->waitForClose();
    EXPECT_GE(clients[0]->closedMs(), 0) << "the connection idle longest makes way for the third";
    // A good poll is answered, and takes the place of the next idlest connection.
    RawClient good(port);
    good.send("GET " + link.documentUrl().path().toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    good.waitFor("</kml>");
    EXPECT_TRUE(good.received().startsWith("HTTP/1.1 200")) << good.received().constData();
    clients[1]->waitForClose();
    EXPECT_GE(clients[1]->closedMs(), 0);
    EXPECT_LT(clients[2]->closedMs(), 0) << "the newest stays";
    EXPECT_LT(good.closedMs(), 0);
}

TEST_F(GoogleEarthLinkTest, ARequestMustArriveWholeWithinItsDeadline)
{
    QTemporaryDir dir;
    GoogleEarthLinkOptions options = Options();
    options.LinkDirectory = dir.path();
    options.RequestDeadlineMs = 1000;
    GoogleEarthLink link(options);
    const auto port = static_cast<quint16>(link.serverUrl().port());
    const QByteArray request = "GET " + link.documentUrl().path().toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

    RawClient silent(port);
    RawClient trickling(port);
    QTimer trickle;
    int sent = 0;
    QObject::connect(&trickle, &QTimer::timeout, [&] { trickling.send(request.mid(sent++ % request.size(), 1)); });
    trickle.start(100);
    trickling.waitForClose(10'000);
    trickle.stop();
    EXPECT_TRUE(trickling.received().startsWith("HTTP/1.1 408")) << trickling.received().constData();
    EXPECT_GE(trickling.closedMs(), 0) << "bytes trickled in do not extend the deadline";
    silent.waitForClose(10'000);
    EXPECT_GE(silent.closedMs(), 0);
    EXPECT_TRUE(silent.received().isEmpty());

    // Between requests a connection may rest longer than that.
    RawClient good(port);
    good.send(request);
    good.waitFor("</kml>");
    Pause(1500);
    good.send(request);
    good.waitFor("</kml>", 2);
    EXPECT_EQ(good.received().count("HTTP/1.1 200"), 2) << good.received().left(300).constData();
}

TEST_F(GoogleEarthLinkTest, ClosesTheConnectionAfterAnsweringWhenTheClientAsks)
{
    const QByteArray path = link_.documentUrl().path().toLatin1();
    const struct {
        const char* What;
        QByteArray Request;
        bool Closed;
    } cases[] = {
        {"HTTP/1.0", "GET " + path + " HTTP/1.0\r\n\r\n", true},
        {"Connection: close", "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Close\r\n\r\n", true},
        {"HTTP/1.1", "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", false},
    };
    for (const auto& c : cases) {
        RawClient client(Port());
        client.send(c.Request);
        client.waitFor("</kml>");
        if (c.Closed)
            client.waitForClose();
        else
            Pause(300);
        EXPECT_TRUE(client.received().startsWith("HTTP/1.1 200")) << c.What;
        EXPECT_EQ(client.closedMs() >= 0, c.Closed) << c.What;
    }
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

TEST_F(GoogleEarthLinkTest, LinkFileAsksForTheViewEverySecondAndWhenTheViewStops)
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
    EXPECT_EQ(fields["NetworkLink/Link/viewRefreshMode"], "onStop");
    EXPECT_EQ(fields["NetworkLink/Link/viewRefreshTime"], "0.5");
    EXPECT_EQ(fields["NetworkLink/Link/viewFormat"],
              "[lookatLon],[lookatLat],[lookatRange],[lookatTilt],[lookatHeading]");
    const QString description = fields["NetworkLink/description"];
    EXPECT_TRUE(description.contains(QStringLiteral("choose Refresh"))) << description.toStdString();
    EXPECT_TRUE(description.contains(QDir::toNativeSeparators(link_.linkFilePath()))) << description.toStdString();
    EXPECT_TRUE(link_.openReport().contains(QDir::toNativeSeparators(link_.linkFilePath())));
}

QString LinkFileHref(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    const auto start = text.indexOf("<href>") + 6;
    return QString::fromUtf8(text.mid(start, text.indexOf("</href>") - start));
}

TEST_F(GoogleEarthLinkTest, KeepsItsPortAndAddressFromRunToRun)
{
    QTemporaryDir dir;
    const auto settings = TestSettings(dir);
    GoogleEarthLinkOptions options = Options();
    options.LinkDirectory = dir.path();
    options.Settings = settings.get();
    QUrl first;
    {
        GoogleEarthLink link(options);
        first = link.documentUrl();
    }
    GoogleEarthLink again(options);
    EXPECT_EQ(again.documentUrl(), first);
    EXPECT_EQ(LinkFileHref(again.linkFilePath()), first.toString());
    EXPECT_EQ(settings->value("GoogleEarthLink/Port").toInt(), first.port());

    // A token that is not one of ours is replaced.
    QTemporaryDir otherDir;
    const auto other = TestSettings(otherDir);
    other->setValue("GoogleEarthLink/Token", "../../etc");
    options.Settings = other.get();
    options.LinkDirectory = otherDir.path();
    GoogleEarthLink fresh(options);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^/[0-9a-f]{32}/race.kml$")).match(fresh.documentUrl().path()).hasMatch())
        << fresh.documentUrl().toString().toStdString();
}

TEST_F(GoogleEarthLinkTest, TakesAnotherPortAndRewritesTheLinkFileWhenItsPortIsTaken)
{
    // The fixture's link holds the port that its settings name.
    GoogleEarthLink second(Options());
    EXPECT_NE(second.serverUrl().port(), link_.serverUrl().port());
    EXPECT_EQ(second.documentUrl().path(), link_.documentUrl().path()) << "the same address token";
    EXPECT_EQ(LinkFileHref(second.linkFilePath()), second.documentUrl().toString());
    EXPECT_EQ(settings_->value("GoogleEarthLink/Port").toInt(), second.serverUrl().port());
    EXPECT_TRUE(second.openReport().contains(QStringLiteral("Port %1 is taken").arg(link_.serverUrl().port())))
        << second.openReport().toStdString();
    EXPECT_EQ(Get(second.documentUrl()).Status, 200);
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

TEST(ParseGoogleEarthView, ReadsTheViewInEveryFormClientsSendIt)
{
    const struct {
        const char* Query;
        double Tilt;
    } good[] = {
        {"-11.5,57.25,2500.5,30,-120", 30},
        {"-11.5,57.25,2500.5,30,-120=", 30},
        {"CAMERA=-11.5,57.25,2500.5,30,-120", 30},
        {"camera=-11.5,57.25,2500.5,30,-120", 30},
        {"BBOX=1,2,3,4;CAMERA=-11.5,57.25,2500.5,30,-120", 30},
        {"-11.5,57.25,2500.5,30,-120&client=earth", 30},
        {"1,2,3,4,5&CAMERA=-11.5,57.25,2500.5,30,-120", 30},
        {"-11.5%2C57.25%2C2500.5%2C30%2C-120", 30},
        {"-11.5,57.25,2500.5,90.5,-120", 90},
        {"-11.5,57.25,2500.5,180,-120", 90},
    };
    for (const auto& c : good) {
        const auto view = ParseGoogleEarthView(QString::fromLatin1(c.Query));
        ASSERT_TRUE(view) << "Input: " << c.Query;
        EXPECT_EQ(view->LookAtLongitudeDeg, -11.5) << "Input: " << c.Query;
        EXPECT_EQ(view->LookAtLatitudeDeg, 57.25) << "Input: " << c.Query;
        EXPECT_EQ(view->RangeMetres, 2500.5) << "Input: " << c.Query;
        EXPECT_EQ(view->TiltDeg, c.Tilt) << "Input: " << c.Query;
        EXPECT_EQ(view->HeadingDeg, -120) << "Input: " << c.Query;
    }
    for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,6", "a,2,3,4,5", "1,2,3,4,", "1,91,3,4,5", "181,2,3,4,5",
                            "1,2,-3,4,5", "1,2,3,-4,5", "1,2,3,4,361", "1,2,3,4,nan", "1,2,inf,4,5", "x=1,2,3,4,5",
                            "CAMERA=1,2,3,4,5=", "CAMERA=", "1,2,3,4,5&CAMERA=1,2,north,4,5"})
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

// The poll client (or attacker) in its own process, while this one serves.
class Helper {
public:
    explicit Helper(const QStringList& args,
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(GELINK_POLL_CLIENT), args);
    }
    ~Helper()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // Waits until the helper has printed `line`.
    bool waitForLine(const QString& line, int ms = 20'000)
    {
        QElapsedTimer waited;
        waited.start();
        while (!output_.contains(line) && waited.elapsed() < ms && process_.state() != QProcess::NotRunning) {
            Wait(&process_, &QProcess::readyReadStandardOutput, 100);
            output_ += QString::fromLocal8Bit(process_.readAllStandardOutput());
        }
        return output_.contains(line);
    }
    // Waits for the end and returns all it printed (or "timed out").
    QString finish(int ms = 60'000)
    {
        if (process_.state() != QProcess::NotRunning)
            Wait(&process_, &QProcess::finished, ms);
        if (process_.state() != QProcess::NotRunning)
            return QStringLiteral("timed out");
        output_ += QString::fromLocal8Bit(process_.readAllStandardOutput() + process_.readAllStandardError());
        return output_.trimmed();
    }
    int exitCode() const { return process_.exitCode(); }

private:
    QProcess process_;
    QString output_;
};

// A number that a helper printed after `name` ("slowest 12 ms" -> 12), or -1.
long long Reported(const QString& report, const QString& name)
{
    const auto match = QRegularExpression(QStringLiteral("\\b%1 (\\d+)").arg(name)).match(report);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

void LoadFleet(GoogleEarthLink& link, int boats, int segments)
{
    for (int boat = 0; boat < boats; ++boat)
        for (int step = 0; step < segments; ++step)
            link.LoadKmlData(SegmentDocument(QStringLiteral("Boat %1").arg(boat), "ff0000ff", 1,
                                             {11.7 + 0.00123 * step, 57.5 + 0.01 * boat, 0},
                                             {11.7 + 0.00123 * (step + 1), 57.5 + 0.01 * boat, 0}));
}

TEST_F(GoogleEarthLinkTest, TenThousandPollsFromAnotherProcessWithoutErrorOrGrowth)
{
    LoadFleet(link_, 7, 100);
    // The camera moves on as during a replay, so the answer is rebuilt now and then.
    QTimer steps;
    int step = 0;
    QObject::connect(&steps, &QTimer::timeout, [&] {
        ++step;
        link_.SetCamera(Camera(57.5 + 0.0001 * (step % 100), 11.75, 5000, 0, 0), 10.0);
    });
    steps.start(50);
    const QString url = PollUrl(QStringLiteral("11.75,57.5,5000,0,0")).toString();

    // The first polls grow the heap and Qt's caches to their working size.
    const QString warmUp = Helper({"load", url, "1000", "4", "20"}).finish();
    ASSERT_TRUE(warmUp.startsWith("polls 1000 errors 0 ")) << warmUp.toStdString();
    const long before = ResidentKiB();
    const QString load = Helper({"load", url, "10000", "4", "20"}).finish();
    const long after = ResidentKiB();
    std::cout << "[ load     ] " << load.toStdString() << "; server resident " << before << " -> " << after << " KiB\n";
    EXPECT_TRUE(load.startsWith("polls 10000 errors 0 ")) << load.toStdString();
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory aside, so the size only says something without it.
    EXPECT_LT(after - before, 1024) << "KiB of growth";
#endif
}

// Each attack runs for a few seconds while a good client in another process polls five
// times a second, as Google Earth would: every poll must be answered, each within a second.
TEST_F(GoogleEarthLinkTest, GoodPollsAreAnsweredWhileLocalProgramsAttackTheServer)
{
    QTemporaryDir dir;
    GoogleEarthLinkOptions options = Options();
    options.LinkDirectory = dir.path();
    options.MaxConnections = 8;
    options.RequestDeadlineMs = 2000;
    GoogleEarthLink link(options);
    LoadFleet(link, 7, 1500); // an answer of about 400 KB
    const QString url = link.documentUrl().toString();
#if defined(__SANITIZE_ADDRESS__)
    const qint64 slowestAllowedMs = 3000; // the sanitizers slow everything down several times
#else
    const qint64 slowestAllowedMs = 1000;
#endif
    const struct {
        const char* What;
        QStringList Args;
    } attacks[] = {
        {"64 silent connections", {"silent", url, "64", "5"}},
        {"40 slow senders", {"slow", url, "40", "5"}},
        {"a client that never reads", {"noread", url, "5"}},
    };
    for (const auto& attack : attacks) {
        const long before = ResidentKiB();
        Helper attacker(attack.Args);
        ASSERT_TRUE(attacker.waitForLine(QStringLiteral("ready"))) << attack.What;
        Pause(500);
        const QString polls = Helper({"watch", link.documentUrl().toString() + "?11.75,57.5,5000,0,0", "3"}).finish();
        const QString attacked = attacker.finish();
        const long after = ResidentKiB();
        std::cout << "[ attack   ] " << attack.What << ": " << attacked.toStdString() << "; good client "
                  << polls.toStdString() << "; server resident " << before << " -> " << after << " KiB\n";
        EXPECT_EQ(Reported(polls, "errors"), 0) << attack.What << ": " << polls.toStdString();
        EXPECT_GE(Reported(polls, "polls"), 5) << attack.What << ": " << polls.toStdString();
        EXPECT_LT(Reported(polls, "slowest"), slowestAllowedMs) << attack.What << ": " << polls.toStdString();
        EXPECT_GT(Reported(attacked, "closed"), 0) << attack.What << ": " << attacked.toStdString();
        EXPECT_EQ(attacker.exitCode(), 0) << attack.What << ": " << attacked.toStdString();
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(after - before, 100 * 1024) << attack.What << ": KiB of growth";
#endif
    }
}

// The served LookAt's position and range, and the last camera of a replay's trace.
struct View {
    double Lat = 0, Lon = 0, Range = 0, Tilt = 0, Heading = 0;
};

View LastTraceCamera(const QString& tracePath)
{
    QFile file(tracePath);
    View view;
    if (!file.open(QIODevice::ReadOnly))
        return view;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("camera ")) {
            const QList<QByteArray> f = line.split(' ');
            view = {f.value(1).toDouble(), f.value(2).toDouble(), f.value(3).toDouble(), f.value(4).toDouble(),
                    f.value(5).toDouble()};
        }
    return view;
}

std::size_t SegmentCount(const QByteArray& kml)
{
    std::size_t segments = 0;
    for (const auto& line : ParseKmlLines(QString::fromUtf8(kml)))
        segments += line.Points.size() - 1;
    return segments;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// tideplot link --exit-at-end, polled from another process that sends a turned view: the
// last answer before the server stops holds every segment of the race, and the last LookAt
// is the last framing, at the client's heading and tilt.
TEST(LinkCommand, DeliversTheEndOfTheRaceBeforeStopping)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), home.path());
    const QString race = QStringLiteral(TIDEPLOT_SOURCE_DIR "/examples/sample-race/race.TP1");

    QProcess replay;
    replay.setProcessEnvironment(environment);
    replay.start(QStringLiteral(TIDEPLOT_EXE),
                 {"replay", race, "--kml", home.filePath("all.kml"), "--trace", home.filePath("trace.txt")});
    ASSERT_TRUE(replay.waitForFinished(60'000));
    ASSERT_EQ(replay.exitCode(), 0) << replay.readAllStandardError().constData();
    const View last = LastTraceCamera(home.filePath("trace.txt"));

    QProcess link;
    link.setProcessEnvironment(environment);
    link.start(QStringLiteral(TIDEPLOT_EXE), {"link", race, "--no-open", "--exit-at-end", "--playspeed", "1"});
    QString linkFile;
    QByteArray printed;
    QElapsedTimer waited;
    waited.start();
    while (linkFile.isEmpty() && waited.elapsed() < 20'000 && link.state() != QProcess::NotRunning) {
        Wait(&link, &QProcess::readyReadStandardOutput, 100);
        printed += link.readAllStandardOutput();
        const auto match =
            QRegularExpression(QStringLiteral("Link file: (.*)\n")).match(QString::fromLocal8Bit(printed));
        if (match.hasMatch())
            linkFile = match.captured(1);
    }
    ASSERT_FALSE(linkFile.isEmpty()) << printed.constData() << link.readAllStandardError().constData();
    EXPECT_TRUE(linkFile.startsWith(home.path())) << linkFile.toStdString();
    const QString out = home.filePath("polled.kml");
    Helper follower({"follow", LinkFileHref(linkFile) + "?11.9,57.7,5000,30,120", out}, environment);

    Wait(&link, &QProcess::finished, 60'000);
    ASSERT_EQ(link.state(), QProcess::NotRunning) << "the link did not stop";
    printed += link.readAllStandardOutput();
    EXPECT_EQ(link.exitCode(), 0) << printed.constData() << link.readAllStandardError().constData();
    const QString followed = follower.finish();
    ASSERT_EQ(follower.exitCode(), 0) << followed.toStdString();
    EXPECT_EQ(Reported(followed, "errors"), 0) << followed.toStdString();

    const std::size_t segments = SegmentCount(ReadAll(home.filePath("all.kml")));
    EXPECT_GT(segments, 1000u);
    EXPECT_EQ(SegmentCount(ReadAll(out)), segments) << followed.toStdString();
    auto lookAt = ReadLookAt(ReadAll(out + ".lookat"));
    EXPECT_EQ(lookAt["latitude"].toDouble(), last.Lat) << followed.toStdString();
    EXPECT_EQ(lookAt["longitude"].toDouble(), last.Lon);
    EXPECT_EQ(lookAt["range"].toDouble(), last.Range);
    EXPECT_EQ(lookAt["heading"], "120");
    EXPECT_EQ(lookAt["tilt"], "30");
}

} // namespace
} // namespace tideplot

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Nothing here reaches the user's own settings or folders.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
