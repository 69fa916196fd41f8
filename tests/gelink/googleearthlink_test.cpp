// The Google Earth link as Google Earth polls it: every segment served, the camera as LookAt,
// the view reported, raw requests, loopback only, the link file and its settings kept from
// run to run, and Google Earth opened with the link file.
#include "gelinkfixture.h"

namespace tideplot {
namespace {

TEST_F(GoogleEarthLinkTest, ServesEverySegmentInItsColourAndWidthMergedIntoRunsAndNoUnreadableOne)
{
    QStringList loaded;
    const auto load = [&](const std::string& document) {
        link_.LoadKmlData(document);
        loaded += Segments(QByteArray::fromStdString(document));
    };
    TrackPoint elsa{57.5, 11.75, 0};
    TrackPoint mira{57.45, 11.70, 0};
    for (int step = 0; step < 30; ++step) {
        const TrackPoint nextElsa{elsa.Lat + 0.0005, elsa.Lon + 0.001 * (step % 7), 0};
        load(TrackSegmentDocument("Elsa & <Co>", elsa, nextElsa, 0, step < 20 ? 1 : 5)); // the last ten wide
        elsa = nextElsa;
        // Mira jumps once (a gap in her track): a second run.
        const TrackPoint nextMira{mira.Lat + (step == 15 ? 0.01 : 0.0003), mira.Lon + 0.0007, 0};
        if (step != 15)
            load(TrackSegmentDocument("Mira", mira, nextMira, 7, 1));
        mira = nextMira;
    }
    // Refused whole, with the reason: nothing of them is served.
    const std::pair<std::string, const char*> unreadable[] = {
        {"<Document><name>A & B</name><Placemark>", "line"},
        {"<Placemark><LineString><coordinates>11.7,abc,0 1,2</coordinates></LineString></Placemark>", "\"abc\""},
        {"<Placemark><LineString><coordinates>1,2,3,4,5</coordinates></LineString></Placemark>", "5 numbers"},
        {"<Placemark><LineString><coordinates>1 2</coordinates></LineString></Placemark>", "\"1\""},
        {"<Placemark><Style><LineStyle><color>red</color></LineStyle></Style></Placemark>", "\"red\""},
        {"<Placemark><Style><LineStyle><width>x</width></LineStyle></Style></Placemark>", "\"x\""},
    };
    for (const auto& [document, reason] : unreadable) {
        try {
            link_.LoadKmlData(document);
            ADD_FAILURE() << "accepted: " << document;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }

    const Reply reply = Get(link_.documentUrl());
    ASSERT_EQ(reply.Status, 200) << reply.Body.constData();
    EXPECT_EQ(reply.ContentType, "application/vnd.google-earth.kml+xml");
    // One line per unbroken run of a boat in one style: Elsa narrow, Elsa wide, Mira twice.
    EXPECT_EQ(ParseKmlLines(QString::fromUtf8(reply.Body)).size(), 4u);
    loaded.sort();
    EXPECT_EQ(Segments(reply.Body).join(u'\n').toStdString(), loaded.join(u'\n').toStdString());
}

TEST_F(GoogleEarthLinkTest, ServesACameraAsLookAtInTheFirstPollAfterItWasSetOnly)
{
    const auto poll = [this] { return Get(link_.documentUrl()).Body; };
    EXPECT_TRUE(ReadLookAt(poll()).empty()) << "no camera set yet";
    link_.LoadKmlData(TrackSegmentDocument("Elsa", {57.5, 11.75, 0}, {57.51, 11.76, 0}, 0, 1));
    link_.SetCamera(CameraInfoGE{57.5, 11.75, 0, 1, 9000, 10, 15}, 10.0);
    link_.SetCamera(CameraInfoGE{57.25, 11.5, 0, 1, 3000, 20, 45}, 10.0);

    EXPECT_EQ(ReadLookAt(poll()), (std::map<QString, QString>{{"longitude", "11.5"},
                                                              {"latitude", "57.25"},
                                                              {"altitude", "0"},
                                                              {"range", "3000"},
                                                              {"heading", "45"},
                                                              {"tilt", "20"},
                                                              {"altitudeMode", "relativeToGround"}}));
    // Until the next camera, polls carry the tracks and leave the view to the user.
    EXPECT_TRUE(ReadLookAt(poll()).empty());
}

// The replay keeps the user's heading and tilt: a user who turns the view between two steps
// gets the newest heading and tilt back in the next LookAt, not the ones the replay read a
// poll earlier (which would turn the view back); angles set to anything else are served as set.
TEST_F(GoogleEarthLinkTest, TheNextLookAtKeepsTheHeadingAndTiltTheUserTurnedTo)
{
    const auto poll = [this](const char* view) { return Get(PollUrl(QString::fromLatin1(view))).Body; };
    link_.LoadKmlData(TrackSegmentDocument("Elsa", {57.5, 11.75, 0}, {57.51, 11.76, 0}, 0, 1));
    poll("11.75,57.5,3000,20,30");
    GoogleEarthOutput replay(link_);
    replay.FrameCamera({57.5, 11.75, 0}, {57.51, 11.76, 0}); // keeps heading 30 and tilt 20
    const auto turned = ReadLookAt(poll("11.75,57.5,3000,40,60"));
    EXPECT_EQ(turned.at(QStringLiteral("heading")), "60");
    EXPECT_EQ(turned.at(QStringLiteral("tilt")), "40");

    CameraInfoGE set = link_.GetCamera(2);
    set.Azimuth = 90;
    set.Tilt = 10;
    link_.SetCamera(set, 10.0);
    const auto asSet = ReadLookAt(poll("11.75,57.5,3000,45,75"));
    EXPECT_EQ(asSet.at(QStringLiteral("heading")), "90");
    EXPECT_EQ(asSet.at(QStringLiteral("tilt")), "10");
}

// Google Earth reports its view in every poll's query, as the link file asks it to.
TEST_F(GoogleEarthLinkTest, GetCameraReportsTheViewOfTheLastPollInEveryFormClientsSendIt)
{
    const auto view = [this] {
        const CameraInfoGE c = link_.GetCamera(2);
        return QStringLiteral("%1,%2,%3,%4,%5")
            .arg(c.FocusPointLongitude)
            .arg(c.FocusPointLatitude)
            .arg(c.Range)
            .arg(c.Tilt)
            .arg(c.Azimuth);
    };
    link_.SetCamera(CameraInfoGE{57.5, 11.75, 0, 1, 4000, 10, 15}, 10.0);
    EXPECT_EQ(view(), "11.75,57.5,4000,10,15") << "before the first poll: the camera set";
    const std::pair<const char*, int> good[] = {{"-11.5,57.25,2500.5,30,-120", 30},
                                                {"-11.5,57.25,2500.5,30,-120=", 30},
                                                {"camera=-11.5,57.25,2500.5,30,-120", 30},
                                                {"BBOX=1,2,3,4;CAMERA=-11.5,57.25,2500.5,30,-120", 30},
                                                {"1,2,3,4,5&CAMERA=-11.5,57.25,2500.5,30,-120", 30},
                                                {"-11.5%2C57.25%2C2500.5%2C30%2C-120", 30},
                                                {"-11.5,57.25,2500.5,90.5,-120", 90}};
    for (const auto& [query, tilt] : good) {
        ASSERT_EQ(Get(PollUrl(QStringLiteral("1,2,3,4,5"))).Status, 200);
        ASSERT_EQ(Get(PollUrl(QString::fromLatin1(query))).Status, 200) << query;
        EXPECT_EQ(view(), QStringLiteral("-11.5,57.25,2500.5,%1,-120").arg(tilt)) << "Query: " << query;
    }
    // A poll without five numbers in their ranges leaves the last view; a camera set does too.
    link_.SetCamera(CameraInfoGE{57.5, 11.75, 0, 1, 4000, 10, 15}, 10.0);
    for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,6", "a,2,3,4,5", "1,2,3,4,", "1,91,3,4,5", "181,2,3,4,5",
                            "1,2,-3,4,5", "1,2,3,-4,5", "1,2,3,4,361", "1,2,3,4,nan", "1,2,inf,4,5", "x=1,2,3,4,5",
                            "CAMERA=1,2,3,4,5=", "CAMERA=", "1,2,3,4,5&CAMERA=1,2,north,4,5"}) {
        ASSERT_EQ(Get(PollUrl(QString::fromLatin1(bad))).Status, 200) << bad;
        EXPECT_EQ(view(), "-11.5,57.25,2500.5,90,-120") << "Query: " << bad;
    }
}

// Only a GET of the link's own address, naming this computer, is answered with the drawing;
// the connection is closed after the answer when the client asks or the request was refused.
TEST_F(GoogleEarthLinkTest, AnswersRawRequestsWithTheirStatusAndClosesWhenAsked)
{
    const quint16 port = static_cast<quint16>(link_.serverUrl().port());
    const QByteArray path = link_.documentUrl().path().toLatin1();
    const QByteArray token = "/" + path.split('/').value(1);
    const QByteArray close = "\r\nConnection: close\r\n";
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(port) + close;
    const QByteArray big(20'000, 'a');
    std::vector<std::pair<QByteArray, const char*>> cases = {
        {"GET " + path + " HTTP/1.0\r\n\r\n", "200"},
        {"GET " + path + " HTTP/1.1\r\nHost: localhost:" + QByteArray::number(port) + close + "\r\n", "200"},
        {"POST " + path + " HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nx=1", "405"},
        {"GET " + path + "?" + big + " HTTP/1.1\r\n" + host + "\r\n", "414"},
        {"GET " + path + " HTTP/1.1\r\n" + host + "X-Filler: " + big + "\r\n\r\n", "431"},
        {"POST " + path + " HTTP/1.1\r\n" + host + "Content-Length: 20000\r\n\r\n" + big, "413"},
        {"POST " + path + " HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n4e20\r\n" + big + "\r\n0\r\n\r\n",
         "413"},
        {"GET " + path + " HTTP/1.1\r\nHost: attacker.example:" + QByteArray::number(port) + close + "\r\n", "421"},
        {"GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:1" + close + "\r\n", "421"},
    };
    for (const QByteArray& other :
         {QByteArray("/"), QByteArray("/race.kml"), QByteArray("/favicon.ico"), token, token + "/",
          token + "/race.kmlx", path + "/x", QByteArray("/00000000000000000000000000000000/race.kml")})
        cases.emplace_back("GET " + other + " HTTP/1.1\r\n" + host + "\r\n", "404");
    for (const auto& [request, status] : cases) {
        const QByteArray answer = Exchange(port, request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + QByteArray(status))) << request.left(120).constData() << "\n"
                                                                         << answer.left(300).constData();
        EXPECT_FALSE(answer.endsWith("(still open)")) << request.left(120).constData();
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
    socket.connectToHost(other, static_cast<quint16>(link_.serverUrl().port()));
    Wait(&socket, &QTcpSocket::errorOccurred);
    EXPECT_EQ(socket.error(), QAbstractSocket::ConnectionRefusedError) << other.toString().toStdString();
}

TEST_F(GoogleEarthLinkTest, LinkFileAsksForTheViewEverySecondAndWhenTheViewStops)
{
    EXPECT_EQ(QFileInfo(link_.linkFilePath()).dir().path(), dir_.path());
    const QByteArray text = ReadAll(link_.linkFilePath());
    EXPECT_EQ(text.count("\r\n"), text.count('\n'));
    auto fields = KmlFields(text);
    EXPECT_EQ(fields["error"], "");
    EXPECT_EQ(fields["NetworkLink/flyToView"], "1");
    EXPECT_EQ(fields["NetworkLink/Link/refreshMode"], "onInterval");
    EXPECT_EQ(fields["NetworkLink/Link/refreshInterval"], "1");
    EXPECT_EQ(fields["NetworkLink/Link/viewRefreshMode"], "onStop");
    EXPECT_EQ(fields["NetworkLink/Link/viewRefreshTime"], "0.5");
    EXPECT_EQ(fields["NetworkLink/Link/viewFormat"],
              "[lookatLon],[lookatLat],[lookatRange],[lookatTilt],[lookatHeading]");
    const QString description = fields["NetworkLink/description"];
    EXPECT_TRUE(description.contains(QStringLiteral("choose Refresh"))) << description.toStdString();
    EXPECT_TRUE(description.contains(QDir::toNativeSeparators(link_.linkFilePath()))) << description.toStdString();
}

// A link saved in Google Earth shows every later replay: the port and the address token
// are kept; when another program holds the port, another port and a new token are taken and
// the link file rewritten.
TEST_F(GoogleEarthLinkTest, KeepsItsPortAndTokenFromRunToRunAndTakesAnotherPortAndTokenWhenItsOwnIsTaken)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    const GoogleEarthLinkOptions options = Options(dir, settings);
    QUrl first;
    {
        const GoogleEarthLink link(options);
        first = link.documentUrl();
    }
    const GoogleEarthLink again(options);
    EXPECT_EQ(again.documentUrl(), first);
    EXPECT_EQ(LinkFileHref(again.linkFilePath()), first.toString());

    const GoogleEarthLink second(options);
    EXPECT_NE(second.serverUrl().port(), first.port());
    EXPECT_NE(second.documentUrl().path(), first.path()) << "a new address token with the new port";
    EXPECT_EQ(settings.value("GoogleEarthLink/Token").toString(), second.documentUrl().path().section(u'/', 1, 1));
    EXPECT_EQ(LinkFileHref(second.linkFilePath()), second.documentUrl().toString());
    EXPECT_EQ(settings.value("GoogleEarthLink/Port").toInt(), second.serverUrl().port());
    EXPECT_TRUE(second.openReport().contains(QStringLiteral("Port %1 is taken").arg(first.port())))
        << second.openReport().toStdString();
    EXPECT_EQ(Get(second.documentUrl()).Status, 200);

    // A token that is not one of ours is replaced.
    settings.setValue("GoogleEarthLink/Token", "../../etc");
    const GoogleEarthLink fresh(options);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^/[0-9a-f]{32}/race.kml$")).match(fresh.documentUrl().path()).hasMatch())
        << fresh.documentUrl().toString().toStdString();
}

// The link file and the settings file hold the address token: both are their owner's
// alone, also where the settings file was readable by others before.
TEST_F(GoogleEarthLinkTest, LinkFileAndSettingsFileAreReadableByTheirOwnerOnly)
{
    EXPECT_EQ(Mode(link_.linkFilePath()), 0600u);
    EXPECT_EQ(Mode(settings_.fileName()), 0600u);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("[Settings]\nMainLeft=100\n");
    old.close();
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0644), 0);
    QSettings settings(path, QSettings::IniFormat);
    const GoogleEarthLink link(Options(dir, settings));
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(settings.value("Settings/MainLeft").toInt(), 100) << "the window's settings are kept";
    EXPECT_TRUE(link.settingsProblem().isEmpty()) << link.settingsProblem().toStdString();
}

// Settings that cannot be written are reported: the link works, but says that its port and
// address are not kept. A settings folder that does not exist yet is made.
TEST_F(GoogleEarthLinkTest, SaysWhenItsPortAndTokenCannotBeKept)
{
    const bool root = ::geteuid() == 0; // writes into read-only folders
    struct Case {
        const char* name;
        std::function<QString(const QTemporaryDir&)> settingsFile; // prepares the folder
        bool kept;
    };
    const Case cases[] = {
        {"missing folder", [](const QTemporaryDir& d) { return d.filePath(QStringLiteral("new/deeper/s.ini")); }, true},
        {"a file where the folder should be",
         [](const QTemporaryDir& d) {
             QFile file(d.filePath(QStringLiteral("folder")));
             (void)file.open(QIODevice::WriteOnly);
             return d.filePath(QStringLiteral("folder/s.ini"));
         },
         false},
        {"a folder where the file should be",
         [](const QTemporaryDir& d) {
             QDir(d.path()).mkpath(QStringLiteral("s.ini"));
             return d.filePath(QStringLiteral("s.ini"));
         },
         false},
        {"read-only folder",
         [](const QTemporaryDir& d) {
             QDir(d.path()).mkpath(QStringLiteral("ro"));
             QFile::setPermissions(d.filePath(QStringLiteral("ro")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
             return d.filePath(QStringLiteral("ro/s.ini"));
         },
         root},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString file = c.settingsFile(dir);
        {
            QSettings settings(file, QSettings::IniFormat);
            const GoogleEarthLink link(Options(dir, settings));
            EXPECT_EQ(link.settingsProblem().isEmpty(), c.kept)
                << c.name << ": " << link.settingsProblem().toStdString();
            if (!c.kept) {
                EXPECT_TRUE(link.settingsProblem().contains(QDir::toNativeSeparators(file)))
                    << c.name << ": " << link.settingsProblem().toStdString();
            }
            EXPECT_EQ(Get(link.documentUrl()).Status, 200) << c.name;
        }
        if (c.kept) {
            QSettings again(file, QSettings::IniFormat);
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$"))
                            .match(again.value("GoogleEarthLink/Token").toString())
                            .hasMatch())
                << c.name;
            EXPECT_EQ(Mode(file), 0600u) << c.name;
        }
        QFile::setPermissions(dir.filePath(QStringLiteral("ro")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST_F(GoogleEarthLinkTest, OpensTheLinkFileWithGoogleEarthFromThePathOrSaysWhereItIs)
{
    QTemporaryDir emptyBin, bin;
    const QString program = bin.filePath(QStringLiteral("google-earth-pro"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.opened\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    GoogleEarthLinkOptions options = Options(dir_, settings_);
    options.OpenInGoogleEarth = true;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    const GoogleEarthLink unopened(options);
    qputenv("PATH", bin.path().toLocal8Bit());
    const GoogleEarthLink opened(options);
    qputenv("PATH", path);

    EXPECT_FALSE(unopened.openedInGoogleEarth());
    EXPECT_TRUE(unopened.openReport().contains(QDir::toNativeSeparators(unopened.linkFilePath())))
        << unopened.openReport().toStdString();
    EXPECT_TRUE(unopened.openReport().contains(QStringLiteral("google-earth-pro")));
    EXPECT_TRUE(opened.openedInGoogleEarth()) << opened.openReport().toStdString();
    for (int i = 0; i < 100 && !QFile::exists(program + QStringLiteral(".opened")); ++i)
        QThread::msleep(50);
    EXPECT_EQ(QString::fromLocal8Bit(ReadAll(program + QStringLiteral(".opened"))), opened.linkFilePath());
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
