#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

namespace tideplot {
namespace {

using testing::Quote;
using testing::RunCommand;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;
const std::string kSampleRace = std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/race.TP1";

std::vector<std::string> ReadLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<double> Numbers(const std::string& text)
{
    std::vector<double> out;
    static const std::regex number(R"(-?\d+\.?\d*(e[-+]?\d+)?)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), number); it != std::sregex_iterator(); ++it)
        out.push_back(std::stod(it->str()));
    return out;
}

// The sample race, stepped by hand from its track files for the first steps.
TEST(ReplayCommand, SampleRaceTraceHoldsHandWorkedValues)
{
    TempDir dir;
    const auto run = RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --trace " + Quote(dir.file("t")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("4 boats"), std::string::npos) << run.output;
    const auto trace = ReadLines(dir.file("t"));
    ASSERT_GT(trace.size(), 1000u);

    // Legend: name and LYS on the colour of the boat (window colour 0x00BBGGRR).
    EXPECT_EQ(trace[0], "legend 0 255 Elsa.txt 1");
    EXPECT_EQ(trace[1], "legend 1 16711680 Saga.txt 1.05");
    EXPECT_EQ(trace[2], "legend 2 65280 Svalan.txt 1.12");
    EXPECT_EQ(trace[3], "legend 3 16711935 Vinga.txt 1.2");

    std::vector<std::string> steps, kml, cameras;
    std::vector<std::size_t> kmlStep, cameraStep;
    std::map<std::size_t, std::vector<std::string>> dstByStep;
    for (const auto& line : trace) {
        if (line.rfind("step ", 0) == 0)
            steps.push_back(line);
        else if (line.rfind("kml ", 0) == 0)
            kml.push_back(line.substr(4)), kmlStep.push_back(steps.size());
        else if (line.rfind("camera ", 0) == 0)
            cameras.push_back(line), cameraStep.push_back(steps.size());
        else if (line.rfind("dst ", 0) == 0)
            dstByStep[steps.size()].push_back(line);
    }
    // Race time: counts down from five minutes, then up.
    ASSERT_GT(steps.size(), 40u);
    EXPECT_EQ(steps[0], "step 1 00:05:00");
    EXPECT_EQ(steps[1], "step 2 00:04:50");
    EXPECT_EQ(steps[30], "step 31 00:00:00");
    EXPECT_EQ(steps[31], "step 32 00:00:10");
    EXPECT_EQ(steps[390], "step 391 01:00:00");

    // Step 1: nobody has a previous point yet, so every distance is empty.
    EXPECT_EQ(dstByStep[1], (std::vector<std::string>{"dst 1 ", "dst 2 ", "dst 3 "}));

    // Step 2 (clock -4:50): Saga (LYS 1.05, start 11:03:30) is at 10:58:53.8, 0.651 of the way
    // from 10:58:46 (57.6052183, 11.4945748) to 10:58:58 (57.6055330, 11.4944617): 57.6054231,
    // 11.4945012. Elsa's next point is 10:55:11 (57.6035245, 11.4961208). dy = -0.11392 nm,
    // dx = cos(57.6045) * 0.0016196 * 60 = 0.05207 nm: 0.125 nm.
    ASSERT_EQ(dstByStep[2].size(), 3u);
    EXPECT_EQ(dstByStep[2][0], "dst 1 0.125");

    // The first segment: Elsa at step 3. Step 2 placed her 8/9 of the way from 10:55:02
    // (57.6033025, 11.4961803) to 10:55:11 (57.6035245, 11.4961208); step 3 (10:55:20) 9/10 of
    // the way from 10:55:11 to 10:55:21 (57.6037617, 11.4960452).
    ASSERT_FALSE(kml.empty());
    EXPECT_EQ(kmlStep[0], 3u);
    EXPECT_EQ(kml[0].rfind("<Document><name>Elsa.txt 1</name><open>1</open><Style id=\"Style\"><LineStyle><width>1"
                           "</width><color>ff0000ff</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl>"
                           "<LineString><coordinates>",
                           0),
              0u)
        << kml[0];
    const auto c = Numbers(kml[0].substr(kml[0].find("<coordinates>")));
    ASSERT_EQ(c.size(), 6u);
    EXPECT_NEAR(c[0], 11.4961208 + 0.9 * (11.4960452 - 11.4961208), 1e-8); // to: longitude
    EXPECT_NEAR(c[1], 57.6035245 + 0.9 * (57.6037617 - 57.6035245), 1e-8); // to: latitude
    EXPECT_EQ(c[2], 0);
    EXPECT_NEAR(c[3], 11.4961803 + 8 / 9.0 * (11.4961208 - 11.4961803), 1e-8);
    EXPECT_NEAR(c[4], 57.6033025 + 8 / 9.0 * (57.6035245 - 57.6033025), 1e-8);

    // The camera of step 3: centred on the box of the step's segments, 3000 per nautical
    // mile of its diagonal.
    ASSERT_FALSE(cameras.empty());
    EXPECT_EQ(cameraStep[0], 3u);
    double minLat = 90, minLon = 180, maxLat = -90, maxLon = -180;
    for (std::size_t i = 0; i < kml.size() && kmlStep[i] == 3; ++i) {
        const auto p = Numbers(kml[i].substr(kml[i].find("<coordinates>")));
        for (int j : {0, 3}) {
            minLon = std::min(minLon, p[j]), maxLon = std::max(maxLon, p[j]);
            minLat = std::min(minLat, p[j + 1]), maxLat = std::max(maxLat, p[j + 1]);
        }
    }
    const auto cam = Numbers(cameras[0]);
    ASSERT_EQ(cam.size(), 6u);
    const double dy = (maxLat - minLat) * 60;
    const double dx = std::cos((maxLat + minLat) / 2 * M_PI / 180) * (maxLon - minLon) * 60;
    EXPECT_NEAR(cam[0], (minLat + maxLat) / 2, 1e-9);
    EXPECT_NEAR(cam[1], (minLon + maxLon) / 2, 1e-9);
    EXPECT_NEAR(cam[2], std::sqrt(dx * dx + dy * dy) * 3000, 1e-3);
    EXPECT_EQ(cam[3], 0);  // tilt
    EXPECT_EQ(cam[4], 0);  // heading
    EXPECT_EQ(cam[5], 10); // speed

    // The first wide segments come at the step shown as 00:00:00 (the clock has just
    // passed 0) and every 90 steps after it.
    std::vector<std::size_t> wideSteps;
    for (std::size_t i = 0; i < kml.size(); ++i)
        if (kml[i].find("<width>5</width>") != std::string::npos &&
            (wideSteps.empty() || wideSteps.back() != kmlStep[i]))
            wideSteps.push_back(kmlStep[i]);
    ASSERT_GE(wideSteps.size(), 3u);
    EXPECT_EQ(wideSteps[0], 31u);
    EXPECT_EQ(wideSteps[1], 121u);
    EXPECT_EQ(wideSteps[2], 211u);
}

// Every segment drawn reaches the KML file as a two-point line that GDAL reads, in its
// boat's folder, with the colour and width of the document that was loaded.
TEST(ReplayCommand, KmlFileIsReadByGdalWithEverySegment)
{
    if (!testing::HaveCommand("ogrinfo"))
        GTEST_SKIP() << "ogrinfo (Debian's gdal-bin) is not installed: the KML file is not checked by GDAL";
    TempDir dir;
    const auto run = RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --kml " + Quote(dir.file("race.kml")) +
                                " --trace " + Quote(dir.file("t")));
    ASSERT_EQ(run.status, 0) << run.output;

    // Documents of the trace, per boat in load order: colour as GDAL writes it, width, points.
    std::map<std::string, std::vector<std::string>> expected;
    static const std::regex doc(
        R"(<name>(.*)</name>.*<width>(\d+)</width><color>(..)(..)(..)(..)</color>.*<coordinates>([^<]*)</coordinates>)");
    for (const auto& line : ReadLines(dir.file("t"))) {
        std::smatch m;
        if (line.rfind("kml ", 0) != 0 || !std::regex_search(line, m, doc))
            continue;
        std::string colour = "#" + m[6].str() + m[5].str() + m[4].str() + m[3].str();
        for (auto& ch : colour)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const auto p = Numbers(m[7].str());
        std::ostringstream s;
        s.precision(10);
        s << colour << " w" << m[2].str() << " " << p[0] << " " << p[1] << " " << p[3] << " " << p[4];
        expected[m[1].str()].push_back(s.str());
    }
    ASSERT_EQ(expected.size(), 4u);

    const auto gdal = RunCommand("ogrinfo --config LIBKML_RESOLVE_STYLE YES -ro -al -q " + Quote(dir.file("race.kml")));
    ASSERT_EQ(gdal.status, 0) << gdal.output;
    std::map<std::string, std::vector<std::string>> actual;
    std::istringstream in(gdal.output);
    std::string line, layer, style;
    static const std::regex feature(R"(OGRFeature\((.*)\):\d+)");
    static const std::regex pen(R"(PEN\(c:(#[0-9A-F]{8}),w:(\d+)\.0+px\))");
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, feature))
            layer = m[1].str();
        else if (std::regex_search(line, m, pen))
            style = m[1].str() + " w" + m[2].str();
        else if (line.find("LINESTRING") != std::string::npos) {
            const auto p = Numbers(line.substr(line.find('(')));
            ASSERT_EQ(p.size(), 6u) << line; // two points with altitude
            std::ostringstream s;
            s.precision(10);
            s << style << " " << p[0] << " " << p[1] << " " << p[3] << " " << p[4];
            actual[layer].push_back(s.str());
        }
    }
    EXPECT_EQ(actual, expected);
}

// Bad arguments and every failure of a race give a one-line message and a non-zero status.
TEST(ReplayCommand, FailuresGiveAMessageAndNonZeroStatus)
{
    TempDir dir;
    dir.write("a.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,095600", "57.2,11.0,20080621,095700"});
    dir.write("bad.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20081321,095600", "5,5,20080621,100000"});
    dir.write("empty.txt", {});
    dir.write("long.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,100500", "57.2,11.0,20080621,101500"});
    const std::string entry = "a.txt , 2008-06-21 09:55:00 , 1 , 0 , ,";
    dir.write("ok.TP1", {entry});
    dir.write("long.TP1", {"long.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("eight.TP1", std::vector<std::string>(8, entry));
    dir.write("lys0.TP1", {"a.txt , 2008-06-21 09:55:00 , 0 , 0 , ,"});
    dir.write("baddate.TP1", {"bad.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("nostart.TP1", {"a.txt , , 1 , 0 , ,"});
    dir.write("blank.TP1", {entry, ""});
    dir.write("notrack.TP1", {"missing.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("emptytrack.TP1", {"empty.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("none.TP1", {});
    // Inputs that once hung the replay, drew off the globe or gave a cut message.
    for (const char* lys : {"-1", "0", "1e308", "abc"})
        dir.write(std::string("lys") + lys + ".TP1",
                  {"a.txt , 2008-06-21 09:55:00 , " + std::string(lys) + " , 0 , ,"});
    dir.write("lat91.txt", {"h", "57.0,11.0,20080621,095500", "91.0,11.0,20080621,095600"});
    dir.write("lon999.txt", {"h", "57.0,11.0,20080621,095500", "57.1,999,20080621,095600"});
    dir.write("longline.txt", {"h", "57.0,11.0,20080621,095500", std::string(70000, '5')});
    dir.write("lat91.TP1", {"lat91.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("lon999.TP1", {"lon999.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("longline.TP1", {"longline.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("longentry.TP1", {entry, "a.txt , 2008-06-21 09:55:00 , 1 , 0 , " + std::string(70000, ' ') + ","});
    dir.write("zero.TP1", {"/dev/zero , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    std::string utf16 = "\xFF\xFE";
    for (const char c : entry + "\r\n")
        utf16 += std::string(1, c) + '\0';
    dir.writeBytes("utf16.TP1", utf16);
    utf16 = "\xFF\xFE";
    for (const char c : std::string("57.0,11.0,20080621,095500\r\n"))
        utf16 += std::string(1, c) + '\0';
    dir.writeBytes("utf16.txt", utf16);
    dir.write("utf16track.TP1", {"utf16.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    dir.write("old.TP1", {"a.txt , 1899-12-29 10:00:00 , 1 , 0 , ,"});
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"", 2, "no race file given"},
        {"ok.TP1 --resolution", 2, "--resolution needs a value"},
        {"ok.TP1 --heading east", 2, "--heading"},
        {"ok.TP1 --max-steps -1", 2, "--max-steps"},
        {"ok.TP1 --frobnicate", 2, "unknown option --frobnicate"},
        {"ok.TP1 --trace ok.TP1", 2, "--trace names the race file"},
        {"ok.TP1 --kml x.kml --trace ./x.kml", 2, "--kml and --trace name the same file"},
        {"ok.TP1 --kml a.txt", 1, "the output file \"a.txt\" is the track file of boat 1; choose another name"},
        {"missing.TP1", 1, "the race file cannot be read: cannot open"},
        {"none.TP1", 1, "none.TP1 holds no boat entry"},
        {"eight.TP1", 1, "eight.TP1, line 8: an eighth boat entry; a race can replay at most 7 boats"},
        {"lys-1.TP1", 1, "lys-1.TP1, line 1: the LYS number \"-1\" is not a positive number"},
        {"lys0.TP1", 1, "lys0.TP1, line 1: the LYS number \"0\" is not a positive number"},
        {"lys1e308.TP1", 1, "lys1e308.TP1, line 1: the LYS number \"1e308\" lies outside 0.01 to 100"},
        {"lysabc.TP1", 1, "lysabc.TP1, line 1: the LYS number \"abc\" is not a positive number"},
        {"lat91.TP1", 1, "lat91.txt, line 3: the latitude \"91.0\" is not a number from -90 to 90"},
        {"lon999.TP1", 1, "lon999.txt, line 3: the longitude \"999\" is not a number from -180 to 180"},
        {"longline.TP1", 1, "longline.txt, line 3: the line is longer than 64 KiB"},
        {"longentry.TP1", 1, "longentry.TP1, line 2: the line is longer than 64 KiB"},
        {"zero.TP1", 1, "zero, line 1: the line is longer than 64 KiB"},
        {"utf16.TP1", 1, "utf16.TP1 looks like UTF-16 text; save it as plain text"},
        {"utf16track.TP1", 1, "utf16.txt looks like UTF-16 text; save it as plain text"},
        {"old.TP1", 1, "old.TP1, line 1: the start time \"1899-12-29 10:00:00\" lies before 1900-01-01 00:00:00"},
        {"baddate.TP1", 1, "bad.txt, line 3: the date \"20081321\""},
        {"nostart.TP1", 1, "nostart.TP1, line 1: the start time \"\" is not a valid date and time"},
        {"blank.TP1", 1, "blank.TP1, line 2: the start time"},
        {"notrack.TP1", 1, "notrack.TP1, line 1: the track file cannot open"},
        {"emptytrack.TP1", 1, "is empty"},
        {"ok.TP1 --resolution ten", 1, "Resolution: \"ten\" is not a number"},
        {"long.TP1 --points x --resolution 100", 1, "Points (steps between wide plots): \"x\" is not a number"},
        {"ok.TP1 --kml /nonexistent/dir/out.kml", 1, "cannot write the KML file \"/nonexistent/dir/out.kml\""},
    };
    for (const auto& c : cases) {
        // A time limit far above what any of them takes: none may hang.
        const auto run =
            RunCommand("cd " + Quote(dir.path().string()) + " && timeout 120 " + kTideplot + " replay " + c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << "\n" << run.output;
        EXPECT_NE(run.output.find("tideplot replay: "), std::string::npos) << run.output;
        // One line: the message, nothing else.
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
    const auto ok =
        RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay ok.TP1 --max-steps 3");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("3 steps"), std::string::npos) << ok.output;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesIn(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every output replaces the old file only when all of it is written and the replay has
// succeeded: a file-size limit (as a full disk: the signal ignored, the write fails), a
// replay that cannot start and one that fails midway leave old outputs as they were and
// create none.
TEST(ReplayCommand, OutputsAreWrittenWholeOrNotAtAll)
{
    if (!testing::HaveCommand("bash"))
        GTEST_SKIP() << "bash is not installed: no child process with a file-size limit";
    TempDir dir;
    dir.write("a.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,095600", "57.2,11.0,20080621,095700"});
    dir.write("bad.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20081321,095600", "5,5,20080621,100000"});
    dir.write("nostart.TP1", {"missing.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    dir.write("midway.TP1", {"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "bad.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    const std::string outputs = " --kml out.kml --trace out.trace --screenshot out.png";
    struct Case {
        std::string race;
        std::string options;
        int limitKiB; // 0: none
        std::string message;
    };
    const Case cases[] = {
        {kSampleRace, " --kml out.kml", 16, "cannot write the KML file \"out.kml\": File too large"},
        {kSampleRace, " --trace out.trace", 16, "cannot write the trace file \"out.trace\": File too large"},
        {kSampleRace, " --screenshot out.png", 16, "cannot write the chart picture \"out.png\": File too large"},
        {"nostart.TP1", outputs, 0, "the track file cannot open"},
        {"midway.TP1", outputs, 0, "bad.txt, line 3: the date"},
    };
    const std::vector<std::string> names{"out.kml", "out.png", "out.trace"};
    for (const bool oldFiles : {true, false}) {
        for (const auto& c : cases) {
            for (const auto& name : names)
                std::filesystem::remove(dir.file(name));
            if (oldFiles)
                for (const auto& name : names)
                    dir.writeBytes(name, "old " + name + "\n");
            const std::vector<std::string> before = FilesIn(dir);
            const std::string limit =
                c.limitKiB > 0 ? "trap '' XFSZ; ulimit -f " + std::to_string(c.limitKiB) + "; " : std::string();
            const auto run = RunCommand("cd " + Quote(dir.path().string()) + " && bash -c " +
                                        Quote(limit + "exec " + kTideplot + " replay " + Quote(c.race) + c.options));
            EXPECT_EQ(run.status, 1) << c.race << c.options << "\n" << run.output;
            EXPECT_NE(run.output.find(c.message), std::string::npos) << c.race << c.options << "\n" << run.output;
            EXPECT_EQ(FilesIn(dir), before) << c.race << c.options << ": files made or left behind";
            if (oldFiles) {
                for (const auto& name : names)
                    EXPECT_EQ(Slurp(dir.file(name)), "old " + name + "\n") << c.race << c.options;
            }
        }
    }
    // Without a limit the same outputs replace the old files.
    const auto run =
        RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay " + Quote(kSampleRace) + outputs);
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& name : names)
        EXPECT_GT(Slurp(dir.file(name)).size(), 10000u) << name;
    // A pipe holds nothing to keep: the trace goes straight into it.
    const auto piped =
        RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --max-steps 1 --trace /dev/stdout | cat");
    EXPECT_EQ(piped.status, 0) << piped.output;
    EXPECT_NE(piped.output.find("step 1 00:05:00\n"), std::string::npos) << piped.output;
}

// The chart view of the whole race, saved as a picture, shows the boats' colours.
TEST(ReplayCommand, ScreenshotOfTheChartView)
{
    TempDir dir;
    const std::string png = dir.file("race.png");
    const auto run = RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --earth=chart --screenshot " +
                                Quote(png) + " --kml " + Quote(dir.file("race.kml")));
    ASSERT_EQ(run.status, 0) << run.output;
    std::ifstream in(png, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 10000u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_TRUE(std::filesystem::exists(dir.file("race.kml")));
    const auto bad = RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --earth=googleearth");
    EXPECT_EQ(bad.status, 2) << bad.output;
    EXPECT_NE(bad.output.find("tideplot link"), std::string::npos) << bad.output;
}

// Start times typed in local time for logs in UTC: the replay runs (and draws nothing for
// that boat) but says why on stderr; a race whose tracks cover the starts says nothing.
TEST(ReplayCommand, WarnsWhenATrackMissesItsStart)
{
    TempDir dir;
    for (const char* boat : {"Elsa", "Saga"})
        std::filesystem::copy_file(std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/" + boat + ".txt",
                                   dir.file(std::string(boat) + ".txt"));
    dir.write("local.TP1",
              {"Elsa.txt , 2008-06-21 11:00:00 , 1.00 , 0 , ,", "Saga.txt , 2008-06-21 13:03:30 , 1.05 , 1023 , ,"});
    // stderr alone: the warnings.
    const auto local = RunCommand("(" + kTideplot + " replay " + Quote(dir.file("local.TP1")) + " 2>&1 >/dev/null)");
    EXPECT_EQ(local.status, 0) << local.output;
    EXPECT_EQ(local.output.rfind("warning: boat \"Saga.txt\" (local.TP1, line 2) starts at 2008-06-21 13:03:30, "
                                 "but its track \"Saga.txt\" runs from 2008-06-21 10:55:53 to 2008-06-21 12:55:51, ",
                                 0),
              0u)
        << local.output;
    EXPECT_NE(local.output.find("ending before the start: are the start time and the track in the same time zone?"),
              std::string::npos)
        << local.output;
    EXPECT_EQ(std::count(local.output.begin(), local.output.end(), '\n'), 1) << local.output;

    const auto covered = RunCommand(kTideplot + " replay " + Quote(kSampleRace));
    EXPECT_EQ(covered.status, 0) << covered.output;
    EXPECT_EQ(covered.output.find("warning"), std::string::npos) << covered.output;
}

TEST(ReplayCommand, VersionAndHelp)
{
    const auto version = RunCommand(kTideplot + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output.find("1.0.10"), std::string::npos);
    EXPECT_EQ(RunCommand(kTideplot + " replay --help").status, 0);
    EXPECT_EQ(RunCommand(kTideplot + " frobnicate").status, 2);
}

} // namespace
} // namespace tideplot

namespace tideplot {
namespace {

// The live link replays the whole race at the given pace and serves it.
TEST(LinkCommand, ReplaysTheSampleRaceBehindTheLink)
{
    testing::TempDir dir;
    const auto run = testing::RunCommand(
        "HOME=" + testing::Quote(dir.path().string()) + " XDG_DATA_HOME= " + std::string(TIDEPLOT_EXE) + " link " +
        testing::Quote(kSampleRace) + " --no-open --exit-at-end --playspeed 1 --resolution 60");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Link file: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Serving at: http://127.0.0.1:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("4 boats, 144 steps"), std::string::npos) << run.output;
    const auto bad =
        testing::RunCommand(std::string(TIDEPLOT_EXE) + " link " + testing::Quote(kSampleRace) + " --playspeed 0");
    EXPECT_EQ(bad.status, 2) << bad.output;
}

} // namespace
} // namespace tideplot
