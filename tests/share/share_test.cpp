// Sharing the replay: the video as FFmpeg's libraries read it back, the animated KML as a
// KML reader reads it, the pictures, and what an interrupt or a cancel leaves behind.
#include "share/animatedkml.h"
#include "share/licences.h"
#include "share/replayvideo.h"
#include "share/videofile.h"
#include "support/process.h"
#include "support/racefiles.h"

#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tideplot {
namespace {

using testing::FilesIn;
using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;
const std::string kSampleRace = std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/race.TP1";

// What FFmpeg's libraries read back from a video file.
struct DecodedVideo {
    std::string error;
    std::string codec;
    std::string pixelFormat;
    int width = 0, height = 0;
    AVRational frameRate{0, 1};
    long long frames = 0;
    QImage lastFrame;   // RGB32, converted back with the stream's BT.709 limited range
    QImage frameBefore; // the one before it
};

DecodedVideo Decode(const std::string& path)
{
    DecodedVideo video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        video.error = "cannot open " + path;
        return video;
    }
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        video.error = "no video stream";
        avformat_close_input(&format);
        return video;
    }
    const AVCodecParameters* parameters = format->streams[index]->codecpar;
    video.codec = avcodec_get_name(parameters->codec_id);
    const char* pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(parameters->format));
    video.pixelFormat = pixelFormat ? pixelFormat : "";
    video.width = parameters->width;
    video.height = parameters->height;
    video.frameRate = format->streams[index]->avg_frame_rate;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, parameters);
    avcodec_open2(codec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(codec, frame) == 0) {
            ++video.frames;
            // BT.709, limited range (ITU-R BT.709-6, table 4), as the stream is tagged:
            // worked out here rather than by swscale, whose two ways do not quite meet.
            QImage rgb(frame->width, frame->height, QImage::Format_RGB32);
            for (int y = 0; y < frame->height; ++y) {
                auto* line = reinterpret_cast<QRgb*>(rgb.scanLine(y));
                for (int x = 0; x < frame->width; ++x) {
                    const double l = 255.0 / 219 * (frame->data[0][y * frame->linesize[0] + x] - 16);
                    const double cb = 255.0 / 224 * (frame->data[1][y / 2 * frame->linesize[1] + x / 2] - 128);
                    const double cr = 255.0 / 224 * (frame->data[2][y / 2 * frame->linesize[2] + x / 2] - 128);
                    auto byte = [](double v) { return static_cast<int>(std::clamp(std::round(v), 0.0, 255.0)); };
                    line[x] = qRgb(byte(l + 1.5748 * cr), byte(l - 0.1873 * cb - 0.4681 * cr), byte(l + 1.8556 * cb));
                }
            }
            video.frameBefore = video.lastFrame;
            video.lastFrame = rgb;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec, packet) >= 0)
            receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return video;
}

// The mean of the absolute differences of the red, green and blue values, 0 to 255, of
// the two pictures made `shrink` times smaller (which evens out what H.264 and yuv420p do
// to thin lines and small text, but not a different picture).
double MeanDifference(const QImage& a, const QImage& b, int shrink = 1)
{
    const QSize size = a.size() / shrink;
    const QImage x =
        a.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    const QImage y =
        b.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

long long StepsOf(const std::string& output)
{
    std::smatch m;
    static const std::regex steps(R"((\d+) steps)");
    return std::regex_search(output, m, steps) ? std::stoll(m[1].str()) : -1;
}

// The video holds one frame per step, as H.264 in yuv420p, and its last frame is the
// --screenshot picture of the same run: the whole race, with the legend in a corner.
TEST(ReplayVideo, HoldsAFramePerStepAndEndsOnTheScreenshot)
{
    TempDir dir;
    struct Case {
        std::string args;
        int width, height, fps;
        long long frames; // -1: the steps the command reports
    };
    const Case cases[] = {
        {" --resolution 60 --size 640x360 --fps 12", 640, 360, 12, -1},
        {" --max-steps 3", 1280, 720, 30, 3}, // the defaults
    };
    for (const auto& c : cases) {
        const auto run = RunCommand(kTideplot + " replay " + Quote(kSampleRace) + c.args + " --video " +
                                    Quote(dir.file("race.mp4")) + " --screenshot " + Quote(dir.file("race.png")));
        ASSERT_EQ(run.status, 0) << c.args << "\n" << run.output;
        const long long steps = StepsOf(run.output);
        const DecodedVideo video = Decode(dir.file("race.mp4"));
        ASSERT_EQ(video.error, "") << c.args;
        EXPECT_EQ(video.codec, "h264") << c.args;
        EXPECT_EQ(video.pixelFormat, "yuv420p") << c.args;
        EXPECT_EQ(video.width, c.width) << c.args;
        EXPECT_EQ(video.height, c.height) << c.args;
        EXPECT_EQ(video.frameRate.num, c.fps * video.frameRate.den) << c.args;
        EXPECT_EQ(video.frames, c.frames < 0 ? steps : c.frames) << c.args << "\n" << run.output;

        const QImage screenshot(QString::fromStdString(dir.file("race.png")));
        ASSERT_EQ(screenshot.size(), QSize(c.width, c.height)) << c.args;
        EXPECT_LT(MeanDifference(video.lastFrame, screenshot, 4), 3.0) << c.args;
        if (c.frames < 0) {
            // Only the last frame shows the whole race; the one before follows the fleet.
            EXPECT_GT(MeanDifference(video.frameBefore, screenshot, 4), 5.0) << c.args;
            // The legend's first caption lies on Elsa's red, in the bottom-right quarter.
            bool red = false;
            for (int y = c.height / 2; y < c.height && !red; ++y)
                for (int x = c.width / 2; x < c.width && !red; ++x)
                    red = screenshot.pixel(x, y) == qRgb(255, 0, 0);
            EXPECT_TRUE(red) << "no legend caption on red in the screenshot";
        }
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"race.mp4", "race.pgw", "race.png"}));
}

// A size that yuv420p cannot hold or a frame rate out of range is refused before anything
// is written, with a message that says why.
TEST(ReplayVideo, RefusesOddSizesAndBadFrameRates)
{
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"--video v.mp4 --size 1281x720", "--size: the video size 1281x720 has an odd side: H.264 in yuv420p needs an "
                                          "even width and height (try 1282x720)"},
        {"--video v.mp4 --size 640x", "--size: \"640x\" is no picture size such as 1280x720"},
        {"--video v.mp4 --size 8x8", "--size: the video size 8x8 is outside 16x16 to 8192x8192"},
        {"--video v.mp4 --fps 0", "--fps: 0 is not a number of frames a second from 1 to 120"},
        {"--video v.mp4 --fps 2.5", "--fps: \"2.5\" is not a whole number of frames a second"},
        {"--fps 25", "--fps sets the frame rate of --video"},
        {"--size 640x360", "--size sets the picture size of --video and --screenshot"},
        {"--video v.mp4 --screenshot ./v.mp4", "--screenshot and --video name the same file"},
    };
    for (const auto& [args, message] : cases) {
        const auto run = RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay " +
                                    Quote(kSampleRace) + " " + args);
        EXPECT_EQ(run.status, 2) << args << "\n" << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << args << "\n" << run.output;
    }
    // Larger than H.264 players take (level 5.1: 4096x2304 pixels): a usage error.
    for (const char* size : {"4096x4096", "8192x8192", "4098x2304"}) {
        const auto run = RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay " +
                                    Quote(kSampleRace) + " --video v.mp4 --size " + size);
        EXPECT_EQ(run.status, 2) << size << "\n" << run.output;
        EXPECT_NE(
            run.output.find("the video size " + std::string(size) +
                            " is larger than H.264 players take: at most 4096 pixels a side and 4096x2304 in all"),
            std::string::npos)
            << run.output;
    }
    EXPECT_TRUE(FilesIn(dir.path()).empty());
}

// Ctrl+C, SIGTERM or SIGHUP (the terminal closed) in the middle of a video: the command
// stops, removes its temporary file and leaves the older video as it was.
TEST(ReplayVideo, InterruptLeavesNothingBehindAndKeepsTheOldVideo)
{
    TempDir dir;
    // Four hours at a fix a second, a frame a second of race time: far more frames than
    // the time the signal takes.
    std::vector<std::string> track{"Latitude,Longitude,Date,Time"};
    for (int s = 0; s < 4 * 3600; ++s)
        track.push_back(std::to_string(57.0 + s * 1e-5) + "," + std::to_string(11.0 + s * 1e-5) + ",20080621," +
                        testing::Hms(36000 + s));
    dir.write("boat.txt", track);
    dir.write("race.TP1", {"boat.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    dir.writeBytes("race.mp4", "the old video");
    const std::vector<std::string> before = FilesIn(dir.path());

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string race = dir.file("race.TP1"), out = dir.file("race.mp4");
        std::vector<std::string> args{kTideplot, "replay",  race, "--resolution", "1", "--size",
                                      "160x120", "--video", out};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, kTideplot.c_str(), &quiet, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&quiet);
        // Signalled once the temporary video is there and frames are going into it.
        bool writing = false;
        for (int i = 0; i < 600 && !writing; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const auto& name : FilesIn(dir.path()))
                writing = writing || name.rfind(".tideplot-video-", 0) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(writing) << "no temporary video appeared, signal " << signal;
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << signal;
        EXPECT_EQ(FilesIn(dir.path()), before) << signal;
        EXPECT_EQ(Slurp(dir.file("race.mp4")), "the old video") << signal;
    }
}

// The windows' "Export video...": the same video from its own replay, and a cancel that
// leaves the older file.
TEST(ReplayVideo, ExportForTheWindowsWritesOrCancels)
{
    TempDir dir;
    dir.writeBytes("race.mp4", "the old video");
    ReplayVideoOptions options;
    options.settings.ResolutionSeconds = 120;
    options.video = {QSize(320, 180), 10};
    const QString out = QString::fromStdString(dir.file("race.mp4"));
    std::vector<std::pair<long long, long long>> calls;
    EXPECT_FALSE(ExportReplayVideo(kSampleRace, out, options, [&](long long done, long long total) {
        calls.emplace_back(done, total);
        return done < 5;
    }));
    EXPECT_EQ(Slurp(dir.file("race.mp4")), "the old video");
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"race.mp4"});
    ASSERT_EQ(calls.size(), 5u);

    const long long total = CountReplaySteps(kSampleRace, options.settings);
    EXPECT_EQ(calls[0], std::make_pair(1LL, total));
    EXPECT_TRUE(ExportReplayVideo(kSampleRace, out, options, {}));
    const DecodedVideo video = Decode(dir.file("race.mp4"));
    EXPECT_EQ(video.frames, total);
    EXPECT_EQ(video.width, 320);
}

// The names of the elements of a KML file ("" when it is no XML), or the reader's error.
std::vector<std::string> KmlNames(const std::string& path)
{
    QXmlStreamReader xml(QByteArray::fromStdString(Slurp(path)));
    std::vector<std::string> names;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"name")
            names.push_back(xml.readElementText().toStdString());
    if (xml.hasError())
        return {"error: " + xml.errorString().toStdString()};
    return names;
}

// A boat whose track file's name holds control characters (a tab, an escape sequence)
// replays into every output: the KML file and the animated KML read as XML, the name with
// those characters replaced; the picture and the video are made; the trace keeps the
// caption as the classic program wrote it.
TEST(SharedOutputs, NamesWithControlCharactersMakeEveryOutput)
{
    TempDir dir;
    const std::string odd = "El\x01sa\x1b[31m.txt";
    std::filesystem::copy_file(std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/Elsa.txt", dir.file(odd));
    std::filesystem::copy_file(std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/Saga.txt",
                               dir.file("Saga.txt"));
    dir.write("race.TP1",
              {odd + " , 2008-06-21 11:00:00 , 1 , 0 , ,", "Saga.txt , 2008-06-21 11:03:30 , 1.05 , 0 , ,"});
    const auto run = RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot +
                                " replay race.TP1 --resolution 120 --kml k.kml --kml-animated a.kml --trace t --size "
                                "320x240 --video v.mp4 --screenshot p.png");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(KmlNames(dir.file("k.kml")), (std::vector<std::string>{"race", "El?sa?[31m.txt 1", "Saga.txt 1.05"}));
    const std::vector<std::string> animated = KmlNames(dir.file("a.kml"));
    ASSERT_GE(animated.size(), 2u);
    EXPECT_NE(std::find(animated.begin(), animated.end(), "El\uFFFDsa\uFFFD[31m.txt 1"), animated.end()) << animated[0];
    EXPECT_EQ(Decode(dir.file("v.mp4")).width, 320);
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("p.png"))).width(), 320);
    EXPECT_NE(Slurp(dir.file("t")).find("legend 0 255 " + odd + " 1\n"), std::string::npos);
}

struct AnimatedTrack {
    std::string colour;
    std::vector<std::string> when, coord;
};

// The tracks of an animated KML by their placemarks' names: each one's line colour, whens and
// gx:coords; `error` says where the XML is broken.
std::map<std::string, AnimatedTrack> AnimatedTracks(const std::string& text, std::string& error)
{
    std::map<std::string, AnimatedTrack> tracks;
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    std::string name;
    std::vector<std::string> path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const std::string element = xml.qualifiedName().toString().toStdString();
            path.push_back(element);
            if (element == "name" && path.size() == 4 && path[2] == "Placemark")
                name = xml.readElementText().toStdString(), path.pop_back();
            else if (element == "color" && path.size() == 6 && path[4] == "LineStyle")
                tracks[name].colour = xml.readElementText().toStdString(), path.pop_back();
            else if (element == "when")
                tracks[name].when.push_back(xml.readElementText().toStdString()), path.pop_back();
            else if (element == "gx:coord")
                tracks[name].coord.push_back(xml.readElementText().toStdString()), path.pop_back();
        } else if (xml.isEndElement()) {
            path.pop_back();
        }
    }
    if (xml.hasError())
        error = xml.errorString().toStdString() + " at line " + std::to_string(xml.lineNumber());
    return tracks;
}

// Three boats worked by hand, the race clock starting at the earliest start, 10:00:00:
// Alpha (LYS 1, start 10:00) keeps its times; Beta (LYS 1.25, start 10:05) is stretched by
// 1.25 from 10:00; Gamma (LYS 0.8) shrinks: its fixes a second apart lie 0.8 s apart, with
// the fraction of a second they have, and none is dropped.
TEST(AnimatedKml, PlacesEveryFixOnTheRaceClock)
{
    TempDir dir;
    dir.write("A&<B>.txt", {
                               "Latitude,Longitude,Date,Time",
                               "57.0,11.0,20080621,095950",   // before the start: left out
                               "57.1,11.1,20080621,100000",   // at the gun
                               "0,0,20080621,100005",         // no fix
                               "57.2,11.2,20080621,100010",   //
                               "57.25,11.25,20080621,100010", // the same second again
                               "57.3,11.3000,20080621,100020",
                           });
    dir.write("Beta.txt", {
                              "Latitude,Longitude,Date,Time",
                              "58.0,12.0,20080621,100500",  // e = 0
                              "58.1,12.1,20080621,100502",  // e = 2 s: 2.5 s
                              "58.2,12.2,20080621,100510",  // e = 10 s: 12.5 s
                              "+58.3,12.3,20080621,100600", // e = 60 s: 75 s; not a plain decimal
                          });
    dir.write("Gamma.txt", {
                               "Latitude,Longitude,Date,Time",
                               "59.0,13.0,20080621,100002", // e = 2 s: 1.6 s
                               "59.1,13.1,20080621,100003", // e = 3 s: 2.4 s
                               "59.2,13.2,20080621,100004", // e = 4 s: 3.2 s
                           });
    dir.write("race.TP1",
              {"A&<B>.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "Beta.txt , 2008-06-21 10:05:00 , 1.25 , 511 , ,",
               "Gamma.txt , 2008-06-21 10:00:00 , 0.8 , 1023 , ,"});
    const auto run = RunCommand(kTideplot + " replay " + Quote(dir.file("race.TP1")) + " --kml-animated " +
                                Quote(dir.file("race.kml")));
    ASSERT_EQ(run.status, 0) << run.output;

    const std::string text = Slurp(dir.file("race.kml"));
    EXPECT_NE(text.find("</when>\r\n"), std::string::npos) << "lines end in CR LF";
    std::string error;
    std::map<std::string, AnimatedTrack> tracks = AnimatedTracks(text, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(tracks.size(), 3u) << text;

    const AnimatedTrack& a = tracks["A&<B>.txt 1"];
    EXPECT_EQ(a.colour, "ff0000ff");
    EXPECT_EQ(a.when,
              (std::vector<std::string>{"2008-06-21T10:00:00Z", "2008-06-21T10:00:10Z", "2008-06-21T10:00:20Z"}));
    EXPECT_EQ(a.coord, (std::vector<std::string>{"11.1 57.1 0", "11.2 57.2 0", "11.3000 57.3 0"}));
    const AnimatedTrack& b = tracks["Beta.txt 1.25"];
    EXPECT_EQ(b.colour, "ff00ff00");
    EXPECT_EQ(b.when, (std::vector<std::string>{"2008-06-21T10:00:00Z", "2008-06-21T10:00:02.5Z",
                                                "2008-06-21T10:00:12.5Z", "2008-06-21T10:01:15Z"}));
    EXPECT_EQ(b.coord, (std::vector<std::string>{"12.0 58.0 0", "12.1 58.1 0", "12.2 58.2 0", "12.3 58.3 0"}));
    const AnimatedTrack& g = tracks["Gamma.txt 0.8"];
    EXPECT_EQ(g.when,
              (std::vector<std::string>{"2008-06-21T10:00:01.6Z", "2008-06-21T10:00:02.4Z", "2008-06-21T10:00:03.2Z"}));
    EXPECT_EQ(g.coord, (std::vector<std::string>{"13.0 59.0 0", "13.1 59.1 0", "13.2 59.2 0"}));

    // A second reader: GDAL's LIBKML driver takes each gx:Track as one feature.
    if (testing::HaveCommand("ogrinfo")) {
        const auto gdal = RunCommand("ogrinfo -ro -al -so " + Quote(dir.file("race.kml")));
        EXPECT_NE(gdal.output.find("Feature Count: 3"), std::string::npos) << gdal.output;
    }
}

// A fleet larger than the picture has room for: the legend stays inside it, its last row
// saying how many boats it leaves out.
TEST(SharePictures, LegendOfALargeFleetStaysInsideThePicture)
{
    QImage picture(640, 360, QImage::Format_RGB32);
    picture.fill(Qt::black);
    std::vector<ReplayLegendRow> rows;
    for (int k = 0; k < 30; ++k)
        rows.push_back({QStringLiteral("boat%1.txt 1.05").arg(k + 1), QColor(Qt::red), QStringLiteral("0.125")});
    {
        QPainter painter(&picture);
        DrawReplayLegend(painter, picture.rect(), QStringLiteral("24:00:00"), rows);
    }
    int top = picture.height(), left = picture.width();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != qRgb(0, 0, 0))
                top = std::min(top, y), left = std::min(left, x);
    EXPECT_GE(top, 10) << "the legend reaches the top of the picture";
    EXPECT_GT(left, picture.width() / 2) << "the legend reaches the left half";
}

// The licences the About box shows.
TEST(SharePictures, NamesTheLicences)
{
    const QString licences = ThirdPartyLicencesText();
    for (const char* name : {"GNU General Public License, version 3 or", "Qt 6", "libzip", "FFmpeg", "x264", "SQLite",
                             "GoogleTest", "This copy runs with libavcodec"})
        EXPECT_TRUE(licences.contains(QLatin1String(name))) << name;
}

} // namespace
} // namespace tideplot
