// One poll of the Google Earth Pro link at the end of a 7-boat, 24-hour race logged every
// second (the race of replay_bench, made by tideplot-racegen), replayed at the default
// resolution of 10 seconds into the link until every track file is at its end. Then:
//
// - BM_PollAfterStep: each iteration draws one step more (a segment per boat and the
//   framing) and fetches the document over HTTP on 127.0.0.1, as Google Earth's poll after a
//   step does: the document is built anew from every segment of the race and holds a LookAt;
// - BM_PollUnchanged: each iteration fetches the document with nothing changed, as the polls
//   between steps and after the end do.
//
//   build/bench/bench/gelink_bench [--benchmark_...]
//
// Counters: document_bytes (the answer's body when the race has just ended; the steps drawn
// by the benchmark add to it), lines (LineStrings in it), race_steps, and first_poll_ms: the
// first poll of all, which writes every run of the race (a link polled during the replay
// has written the finished runs long before the end).
#include "bench_race.h"
#include "core/replay.h"
#include "earth/gelink/googleearthlink.h"
#include "earth/googleearth.h"
#include "replay/replaysession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

// Draws into the link and remembers each boat's last segment, to draw more steps after
// the end.
class Drawing : public tideplot::FrameObserver {
public:
    explicit Drawing(tideplot::ApplicationGE& view) : output_(view) {}

    void raceStarted(const tideplot::FleetInfo& fleet) override { fleet_ = fleet; }
    void frame(const tideplot::FleetFrame& frame) override
    {
        for (std::size_t k = 0; k < frame.Boats.size(); ++k) {
            const tideplot::BoatStep& boat = frame.Boats[k];
            if (!boat.Drawn)
                continue;
            const tideplot::FleetBoat& b = fleet_.Boats[k];
            output_.PlotTrackSegment(b.Caption, boat.From, boat.To, b.Colour, frame.LineWidth);
            last_[b.Caption] = {boat.To, b.Colour, frame.LineWidth};
        }
        if (frame.CameraSet)
            output_.FrameCamera(frame.BoxMin, frame.BoxMax);
    }
    void rewound(const tideplot::FleetFrame&, const tideplot::ReplaySeries&, long long) override {}

    // One more step: every boat a little further north-east (every 90th step wide, as the
    // replay draws them by default), and the camera on them.
    void step()
    {
        const std::int16_t width = ++steps_ % 90 == 0 ? 5 : 1;
        tideplot::TrackPoint low{90, 180, 0};
        tideplot::TrackPoint high{-90, -180, 0};
        for (auto& [name, boat] : last_) {
            tideplot::TrackPoint next = boat.to;
            next.Lat += 0.00001;
            next.Lon += 0.00002;
            output_.PlotTrackSegment(name, boat.to, next, boat.colour, width);
            boat.to = next;
            low = {std::min(low.Lat, next.Lat), std::min(low.Lon, next.Lon), 0};
            high = {std::max(high.Lat, next.Lat), std::max(high.Lon, next.Lon), 0};
        }
        output_.FrameCamera(low, high);
    }

private:
    struct Boat {
        tideplot::TrackPoint to;
        std::int32_t colour;
        std::int16_t width;
    };
    tideplot::GoogleEarthOutput output_;
    tideplot::FleetInfo fleet_;
    std::map<std::string, Boat> last_;
    long long steps_ = 0;
};

struct Race {
    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<tideplot::GoogleEarthLink> link;
    std::unique_ptr<Drawing> drawing;
    long long steps = 0;
    qsizetype endBytes = 0; // the document when the race has just ended
    qsizetype endLines = 0;
    double firstPollMs = 0; // the first poll of all, which writes every run of the race
};

// The link after the whole race, built once.
Race& RaceAtTheEnd()
{
    static Race race = [] {
        Race r;
        r.settings = std::make_unique<QSettings>(r.dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        tideplot::GoogleEarthLinkOptions options;
        options.OpenInGoogleEarth = false;
        options.LinkDirectory = r.dir.path();
        options.Settings = r.settings.get();
        r.link = std::make_unique<tideplot::GoogleEarthLink>(options);
        r.drawing = std::make_unique<Drawing>(*r.link);
        tideplot::ReplaySession session;
        session.addObserver(r.drawing.get());
        session.start(RaceFolder(24) + "/race.TP1", tideplot::ReplaySettings{}, false);
        while (session.step())
            ++r.steps;
        session.close();
        return r;
    }();
    return race;
}

// A keep-alive HTTP client on the link, in this thread: the server answers from the same
// event loop while the client waits.
class Poller {
public:
    explicit Poller(const QUrl& url)
        : request_("GET " + url.path(QUrl::FullyEncoded).toLatin1() + "?11.9,57.7,5000,30,120 HTTP/1.1\r\nHost: " +
                   url.host().toLatin1() + ":" + QByteArray::number(url.port()) + "\r\n\r\n")
    {
        socket_.connectToHost(url.host(), static_cast<quint16>(url.port()));
        socket_.waitForConnected(5000);
        received_.reserve(16 * 1024 * 1024);
    }

    // One answer; returns its body.
    QByteArrayView poll()
    {
        // The client reads into one buffer kept from poll to poll, so that what is measured is
        // the server's work rather than the client's memory.
        received_.resize(0);
        QEventLoop loop;
        qsizetype bodyStart = -1;
        qsizetype length = -1;
        const auto connection = QObject::connect(&socket_, &QTcpSocket::readyRead, &loop, [&] {
            const qsizetype at = received_.size();
            const qint64 available = socket_.bytesAvailable();
            received_.resize(at + available);
            socket_.read(received_.data() + at, available);
            if (bodyStart < 0 && (bodyStart = received_.indexOf("\r\n\r\n")) >= 0) {
                bodyStart += 4;
                const QByteArray head = received_.left(bodyStart).toLower();
                const auto field = head.indexOf("content-length:");
                length = head.mid(field + 15, head.indexOf('\r', field) - field - 15).trimmed().toLongLong();
            }
            if (bodyStart >= 0 && received_.size() >= bodyStart + length)
                loop.quit();
        });
        QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
        socket_.write(request_);
        loop.exec();
        QObject::disconnect(connection);
        if (bodyStart < 0 || !received_.startsWith("HTTP/1.1 200")) {
            std::fprintf(stderr, "the poll failed: %s\n", received_.left(200).constData());
            std::exit(1);
        }
        return QByteArrayView(received_.constData() + bodyStart, received_.size() - bodyStart);
    }

private:
    QTcpSocket socket_;
    QByteArray request_;
    QByteArray received_;
};

void Poll(benchmark::State& state, bool afterStep)
{
    Race& race = RaceAtTheEnd();
    Poller poller(race.link->documentUrl());
    QElapsedTimer clock;
    clock.start();
    QByteArrayView document = poller.poll();
    if (race.endBytes == 0) { // no step drawn after the end yet
        race.firstPollMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        race.endBytes = document.size();
        race.endLines = QByteArray(document.data(), document.size()).count("<LineString>");
    }
    for (auto _ : state) {
        if (afterStep)
            race.drawing->step();
        document = poller.poll();
    }
    if (afterStep != document.contains("<LookAt>"))
        state.SkipWithError("a LookAt where none belongs, or none after a step");
    state.counters["document_bytes"] = static_cast<double>(race.endBytes);
    state.counters["lines"] = static_cast<double>(race.endLines);
    state.counters["race_steps"] = static_cast<double>(race.steps);
    state.counters["first_poll_ms"] = race.firstPollMs;
}

void BM_PollAfterStep(benchmark::State& state)
{
    Poll(state, true);
}
void BM_PollUnchanged(benchmark::State& state)
{
    Poll(state, false);
}

} // namespace

BENCHMARK(BM_PollAfterStep)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_PollUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
