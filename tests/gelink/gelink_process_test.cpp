// The link against other processes: ten thousand polls without error or growth, local
// programs attacking the server, and the link command run as a user runs it.
#include "gelinkfixture.h"

namespace tideplot {
namespace {

TEST_F(GoogleEarthLinkTest, TenThousandPollsFromAnotherProcessWithoutErrorOrGrowth)
{
    LoadFleet(link_, 7, 100);
    // The camera moves on as during a replay, so the answer is rebuilt now and then.
    QTimer steps;
    int step = 0;
    QObject::connect(&steps, &QTimer::timeout, [&] {
        ++step;
        link_.SetCamera(CameraInfoGE{57.5 + 0.0001 * (step % 100), 11.75, 0, 1, 5000, 0, 0}, 10.0);
    });
    steps.start(50);
    const QString url = PollUrl(QStringLiteral("11.75,57.5,5000,0,0")).toString();

    // The first polls grow the heap and Qt's caches to their working size.
    const QString warmUp = Helper({"poll", url, "1000", "4", "20", "0"}).finish();
    ASSERT_TRUE(warmUp.startsWith("polls 1000 errors 0 ")) << warmUp.toStdString();
    const long before = ResidentKiB();
    const QString load = Helper({"poll", url, "10000", "4", "20", "0"}).finish();
    const long after = ResidentKiB();
    std::cout << "[ load     ] " << load.toStdString() << "; server resident " << before << " -> " << after << " KiB\n";
    EXPECT_TRUE(load.startsWith("polls 10000 errors 0 ")) << load.toStdString();
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory aside, so the size only says something without it.
    EXPECT_LT(after - before, 1024) << "KiB of growth";
#endif
}

// Each attack runs for five seconds while a good client in another process polls five times
// a second, as Google Earth would: every poll must be answered, each within a second, and
// the attacker's connections must be closed.
TEST_F(GoogleEarthLinkTest, GoodPollsAreAnsweredWhileLocalProgramsAttackTheServer)
{
#if defined(__SANITIZE_ADDRESS__)
    const qint64 slowestAllowedMs = 3000; // the sanitizers slow everything down several times
#else
    const qint64 slowestAllowedMs = 1000;
#endif
    const struct {
        const char* Mode;
        const char* Count;
        int DeadlineMs;      // of a request
        int MinAnswers;      // that the attacker must see (408: too late)
        qint64 MaxLongestMs; // that one of its connections may stay open
    } attacks[] = {
        // More than the server keeps (8), with time enough to send: only making room for
        // new connections closes them, the idlest first, so the oldest silent ones go.
        {"silent", "40", 60'000, 0, 3000},
        {"slow", "40", 60'000, 0, 60'000},
        // Fewer: only the deadline of a request closes them, however the bytes trickle in.
        {"slow", "6", 2000, 1, 60'000},
        // Its answers pile up unread: closed once they pass the server's bound.
        {"noread", "1", 2000, 0, 3000},
    };
    for (const auto& attack : attacks) {
        GoogleEarthLinkOptions options = Options(dir_, settings_);
        options.MaxConnections = 8;
        options.RequestDeadlineMs = attack.DeadlineMs;
        GoogleEarthLink link(options);
        LoadFleet(link, 7, 1500); // an answer of about 400 KB
        const QString url = link.documentUrl().toString();
        const long before = ResidentKiB();
        Helper attacker({attack.Mode, url, attack.Count, "5"}); // for five seconds
        ASSERT_FALSE(attacker.waitFor(QStringLiteral("ready\n")).isEmpty()) << attack.Mode;
        Wait(&attacker.process, &QProcess::finished, 500); // the attack under way for half a second
        const QString polls = Helper({"poll", url + "?11.75,57.5,5000,0,0", "15", "1", "1000", "200"}).finish();
        const QString attacked = attacker.finish();
        const long after = ResidentKiB();
        const std::string report = QStringLiteral("%1 %2: %3; good client %4; server resident %5 -> %6 KiB")
                                       .arg(attack.Mode, attack.Count, attacked, polls)
                                       .arg(before)
                                       .arg(after)
                                       .toStdString();
        std::cout << "[ attack   ] " << report << "\n";
        EXPECT_TRUE(polls.startsWith("polls 15 errors 0 ")) << report;
        EXPECT_LT(Reported(polls, "slowest"), slowestAllowedMs) << report;
        EXPECT_GT(Reported(attacked, "closed"), 0) << report;
        EXPECT_GE(Reported(attacked, "answers"), attack.MinAnswers) << report;
        EXPECT_LT(Reported(attacked, "longest"), attack.MaxLongestMs) << report;
        EXPECT_EQ(attacker.process.exitCode(), 0) << report;
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(after - before, 100 * 1024) << report;
#endif
    }
}

// The command line says so on stderr, as a warning, and goes on.
TEST(LinkCommand, WarnsWhenItsPortAndTokenCannotBeKept)
{
    QTemporaryDir home;
    QFile blocker(home.filePath(QStringLiteral("config")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the settings folder goes
    blocker.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), blocker.fileName());
    Helper link({"link", home.filePath("missing.TP1"), "--no-open"}, QStringLiteral(TIDEPLOT_EXE), environment);
    const QString output = link.finish();
    EXPECT_EQ(link.process.exitCode(), 1) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("warning: The link's port and address could not be kept in the "
                                               "settings file %1/Tideplot1/Tideplot1.conf")
                                    .arg(blocker.fileName())))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("tideplot link: the race file cannot be read"))) << output.toStdString();
}

// tideplot link --exit-at-end, polled with a turned view as Google Earth polls: the last
// answer before the server stops holds every segment of the race, and the last LookAt is
// the last framing of the same replay's trace, at the client's heading and tilt.
TEST(LinkCommand, DeliversTheEndOfTheRaceBeforeStopping)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), home.path());
    const QString race = QStringLiteral(TIDEPLOT_SOURCE_DIR "/examples/sample-race/race.TP1");
    const QString exe = QStringLiteral(TIDEPLOT_EXE);

    Helper replay({"replay", race, "--kml", home.filePath("all.kml"), "--trace", home.filePath("trace.txt")}, exe,
                  environment);
    const QString replayed = replay.finish();
    ASSERT_EQ(replay.process.exitCode(), 0) << replayed.toStdString();
    QList<QByteArray> camera; // "camera" lat lon range tilt heading speed
    for (const QByteArray& line : ReadAll(home.filePath("trace.txt")).split('\n'))
        if (line.startsWith("camera "))
            camera = line.split(' ');

    Helper link({"link", race, "--no-open", "--exit-at-end", "--playspeed", "1"}, exe, environment);
    const QString linkFile = link.waitFor(QStringLiteral("Link file: (.*)\n"));
    ASSERT_TRUE(linkFile.startsWith(home.path())) << linkFile.toStdString() << link.finish().toStdString();
    const QUrl url(LinkFileHref(linkFile) + "?11.9,57.7,5000,30,120");
    QByteArray last, lastLookAt;
    int polls = 0, errors = 0;
    QElapsedTimer waited;
    waited.start();
    while (link.process.state() != QProcess::NotRunning && waited.elapsed() < 120'000) {
        const Reply reply = Get(url);
        if (reply.Status == 200) {
            ++polls;
            last = reply.Body;
            if (reply.Body.contains("<LookAt>"))
                lastLookAt = reply.Body;
        } else if (reply.Status != 0) { // 0: no server (yet, or any more)
            ++errors;
        }
        QThread::msleep(100);
    }
    const QString linked = link.finish();
    EXPECT_EQ(link.process.exitCode(), 0) << linked.toStdString();
    EXPECT_EQ(errors, 0);

    const QStringList segments = Segments(ReadAll(home.filePath("all.kml")));
    EXPECT_GT(segments.size(), 1000);
    EXPECT_TRUE(Segments(last) == segments)
        << Segments(last).size() << " of " << segments.size() << " after " << polls << " polls";
    auto lookAt = ReadLookAt(lastLookAt);
    ASSERT_EQ(camera.size(), 7) << "the trace's last camera";
    EXPECT_EQ(lookAt["latitude"].toDouble(), camera[1].toDouble());
    EXPECT_EQ(lookAt["longitude"].toDouble(), camera[2].toDouble());
    EXPECT_EQ(lookAt["range"].toDouble(), camera[3].toDouble());
    EXPECT_EQ(lookAt["heading"], "120");
    EXPECT_EQ(lookAt["tilt"], "30");
}

} // namespace
} // namespace tideplot
