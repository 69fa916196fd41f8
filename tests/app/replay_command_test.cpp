#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace tideplot {
namespace {

using testing::FilesIn;
using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
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
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output; // every track covers its start
    const auto trace = ReadLines(dir.file("t"));
    ASSERT_GT(trace.size(), 1000u);

    // Legend: name and LYS on the colour of the boat (window colour 0x00BBGGRR).
    EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + 4),
              (std::vector<std::string>{"legend 0 255 Elsa.txt 1", "legend 1 16711680 Saga.txt 1.05",
                                        "legend 2 65280 Svalan.txt 1.12", "legend 3 16711935 Vinga.txt 1.2"}));

    std::vector<std::string> steps, kml;
    std::vector<std::size_t> kmlStep;
    std::map<std::size_t, std::vector<std::string>> dstByStep;
    for (const auto& line : trace) {
        if (line.rfind("step ", 0) == 0)
            steps.push_back(line);
        else if (line.rfind("kml ", 0) == 0)
            kml.push_back(line.substr(4)), kmlStep.push_back(steps.size());
        else if (line.rfind("dst ", 0) == 0)
            dstByStep[steps.size()].push_back(line);
    }
    // Race time: counts down from minus five minutes, then up.
    ASSERT_GT(steps.size(), 40u);
    EXPECT_EQ(steps[0], "step 1 -00:05:00");
    EXPECT_EQ(steps[29], "step 30 -00:00:10");
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

    // The first wide segments come at the step shown as 00:00:00 (the clock has just
    // passed 0) and every 90 steps after it.
    std::vector<std::size_t> wideSteps;
    for (std::size_t i = 0; i < kml.size(); ++i)
        if (kml[i].find("<width>5</width>") != std::string::npos &&
            (wideSteps.empty() || wideSteps.back() != kmlStep[i]))
            wideSteps.push_back(kmlStep[i]);
    wideSteps.resize(3);
    EXPECT_EQ(wideSteps, (std::vector<std::size_t>{31, 121, 211}));
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
    int courseLines = 0;
    static const std::regex feature(R"(OGRFeature\((.*)\):\d+)");
    static const std::regex pen(R"(PEN\(c:(#[0-9A-F]{8}),w:(\d+)\.0+px\))");
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, feature))
            layer = m[1].str();
        else if (std::regex_search(line, m, pen))
            style = m[1].str() + " w" + m[2].str();
        else if (layer == "Course" && line.find("LINESTRING") != std::string::npos)
            ++courseLines; // the sample's course, drawn before the tracks
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
    EXPECT_EQ(courseLines, 4) << "the start and the finish line, each white and chequered";
}

// A run of the command, its status and what its message holds.
struct FailureCase {
    std::string args;
    int status;
    std::string message;
};

// A folder of races and track files that fail in every way the command meets.
class ReplayCommandFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("a.txt",
                  {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,095600", "57.2,11.0,20080621,095700"});
        dir.write("t.pgw", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,095600"});
        dir.write("bad.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20081321,095600", "5,5,20080621,100000"});
        // The last line has no fix and the time of the fix before it: the boat cannot be placed.
        dir.write("same.txt", {"h", "57.0,11.0,20080621,095400", "57.1,11.0,20080621,095600", "0,0,20080621,095600"});
        // A field that is no number, in a line with a fix in the middle of a track.
        const std::map<std::string, std::string> badLines = {
            {"lonabc", "57.1,abc,20080621,095600"},  {"lonnan", "57.1,nan,20080621,095600"},
            {"loninf", "57.1,inf,20080621,095600"},  {"lonempty", "57.1,,20080621,095600"},
            {"lonhex", "57.1,0x10,20080621,095600"}, {"latx", "57.1x,11.0,20080621,095600"},
            {"date7", "57.1,11.0,2008062,095600"},   {"date9", "57.1,11.0,200806210,095600"},
            {"time5", "57.1,11.0,20080621,09560"},
        };
        for (const auto& [name, line] : badLines)
            dir.write(name + ".txt", {"h", "57.0,11.0,20080621,095500", line, "57.2,11.0,20080621,095700"});
        dir.write("long.txt",
                  {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,100500", "57.2,11.0,20080621,101500"});
        dir.write("empty.txt", {});
        std::vector<std::string> globe{"h"}; // a line a second: line 500 is passed over within a step
        for (int s = 0; s < 1200; ++s)
            globe.push_back((s == 498 ? "91.0" : "57.0") + std::string(",11.0,20080621,") + testing::Hms(35400 + s));
        dir.write("globe.txt", globe);
        dir.writeBytes("log.kml", "<?xml version=\"1.0\"?>\n<kml/>\n");
        // The race file is read entry by entry: the 65th stops it before a track file is opened
        // and before the endless line after it.
        std::vector<std::string> eight(65, "missing.txt , 2008-06-21 10:00:00 , 1 , 0 , ,");
        eight.push_back(std::string(3 * 65536, 'x'));
        dir.write("eight.TP1", eight);
        const std::map<std::string, std::vector<std::string>> races = {
            {"ok", {"a.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"pgw", {"t.pgw , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"none", {}},
            {"wrongsep", {"a.txt ; 2008-06-21 09:55:00 ; 1 ; 0 ; ,"}},
            {"notrack", {"missing.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"emptytrack", {"empty.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"kml", {"a.txt , 2008-06-21 09:55:00 , 1 , 0 , ,", "log.kml , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"semicolon", {"a.txt , 2008-06-21 09:55:00 , 1 , 0 , ;"}},
            {"baddate", {"bad.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"same", {"same.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"globe", {"globe.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}},
            {"long", {"long.txt , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
            {"lyscomma", {"a.txt , 2008-06-21 09:55:00 , 1,05 , 0 , ,"}},
            {"lysdots", {"a.txt , 2008-06-21 09:55:00 , 1.0.0 , 0 , ;"}},
            {"years", {"a.txt , 2008-06-21 09:55:00 , 1 , 0 , ,", "a.txt , 1998-06-21 09:55:00 , 1 , 0 , ,"}},
            {"urandom", {"/dev/urandom , 2008-06-21 09:55:00 , 1 , 0 , ,"}},
        };
        for (const auto& [name, entries] : races)
            dir.write(name + ".TP1", entries);
        for (const auto& [name, line] : badLines)
            dir.write(name + ".TP1", {name + ".txt , 2008-06-21 09:55:00 , 1 , 0 , ,"});
    }

    // Bad arguments and every failure of a race give a one-line message naming the file, the
    // line and the fault, and a non-zero status; none may hang.
    void ExpectFailures(const std::vector<FailureCase>& cases)
    {
        for (const auto& c : cases) {
            const auto run =
                RunCommand("cd " + Quote(dir.path().string()) + " && timeout 120 " + kTideplot + " " + c.args);
            EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
            EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << "\n" << run.output;
            // One line: the message, after the warnings of starts that a track misses, if any.
            std::string message = run.output;
            while (message.rfind("warning: ", 0) == 0 && message.find('\n') != std::string::npos)
                message.erase(0, message.find('\n') + 1);
            EXPECT_EQ(message.rfind("tideplot " + c.args.substr(0, c.args.find(' ')) + ": ", 0), 0u) << run.output;
            EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << run.output;
        }
    }

    TempDir dir;
};

// Arguments the command refuses, and outputs that would replace one of the race's own files.
TEST_F(ReplayCommandFailures, BadArgumentsAreRefused)
{
    ExpectFailures({
        {"replay", 2, "no race file given"},
        {"replay ok.TP1 --resolution", 2, "--resolution needs a value"},
        {"replay ok.TP1 --max-steps -1", 2, "--max-steps"},
        {"replay ok.TP1 --frobnicate", 2, "unknown option --frobnicate"},
        {"replay ok.TP1 --earth=googleearth", 2, "\"tideplot link\" replays a race live in Google Earth Pro"},
        {"replay ok.TP1 --trace ok.TP1", 2, "--trace names the race file"},
        {"replay ok.TP1 --kml x.kml --trace ./x.kml", 2, "--kml and --trace name the same file"},
        {"replay ok.TP1 --kml a.txt", 1, "the output file \"a.txt\" is the track file of boat 1; choose another name"},
        // No output, nor the world file beside a picture, replaces one of the race's own files.
        {"replay ok.TP1 --kml ok.TP1.course", 2, "--kml names the race's course file"},
        {"replay ok.TP1 --screenshot ok.TP1.course", 2, "--screenshot names the race's course file"},
        {"replay pgw.TP1 --screenshot t.png", 1, "the output file \"t.pgw\" is the track file of boat 1"},
        {"replay ok.TP1 --resolution ten", 2, "--resolution: \"ten\" is not a number of seconds from 0.01 to 86400"},
        {"replay ok.TP1 --resolution 0", 2, "--resolution: \"0\" is not a number of seconds from 0.01 to 86400"},
        {"replay ok.TP1 --resolution -1", 2, "--resolution: \"-1\" is not a number of seconds"},
        {"replay ok.TP1 --resolution 0.001", 2, "--resolution: \"0.001\" is not a number of seconds"},
        {"link ok.TP1 --resolution 0", 2, "--resolution: \"0\" is not a number of seconds from 0.01 to 86400"},
        // Points is read only when a wide plot is due, after the clock passes 0.
        {"replay long.TP1 --points x --resolution 100", 2, "--points: \"x\" is not a number"},
        {"replay ok.TP1 --kml /nonexistent/dir/out.kml", 1, "cannot write the KML file \"/nonexistent/dir/out.kml\""},
        {"link ok.TP1 --playspeed 0", 2, "--playspeed needs milliseconds from 1 to 65535"},
    });
}

// A race file that cannot be read, holds no boat or too many, or an entry that is no boat
// entry, or names a track file that is missing, empty, a log or a device.
TEST_F(ReplayCommandFailures, BadRaceFilesNameTheLineAndTheFault)
{
    ExpectFailures({
        {"replay missing.TP1", 1, "the race file cannot be read: cannot open"},
        {"replay none.TP1", 1, "none.TP1 holds no boat entry"},
        {"replay eight.TP1", 1, "eight.TP1, line 65: a 65th boat entry; a race can replay at most 64 boats"},
        {"replay wrongsep.TP1", 1,
         "wrongsep.TP1, line 1: the start time \"\" is not a valid date and time; the line is \"a.txt ; 2008-06-21 "
         "09:55:00 ; 1 ; 0 ; ,\": expected a boat entry such as \"Elsa.txt , 2008-06-21 11:00:00 , 1.05 , 0 , ,\""},
        {"replay notrack.TP1", 1, "notrack.TP1, line 1: the track file cannot open"},
        {"replay emptytrack.TP1", 1, "is empty"},
        {"replay kml.TP1", 1,
         "kml.TP1, line 2: the track file \"log.kml\" is a log (KML, KMZ or GPX), not a track file of lines: import "
         "the log first (tideplot import log.kml) and name the track file the import writes beside it, "
         "\"log.kml.txt\""},
        {"replay lyscomma.TP1", 1,
         "lyscomma.TP1, line 1: the entry has 6 fields separated by \",\" where a boat entry has 5: a value holds "
         "a \",\"; a decimal comma must be a point"},
        {"replay lysdots.TP1", 1, "lysdots.TP1, line 1: the LYS number \"1.0.0\" is not a number"},
        {"replay years.TP1", 1,
         "years.TP1, line 2: boat \"a.txt\" starts at 1998-06-21 09:55:00, 3653 days before the first fix of its "
         "track \"a.txt\" (line 2, 2008-06-21 09:55:00); a start more than 7 days before its track is refused"},
        {"replay urandom.TP1", 1, "urandom.TP1, line 1: the track file \"/dev/urandom\" is a device, not a file"},
    });
}

// A track line that is no track line, or a fix that cannot be placed.
TEST_F(ReplayCommandFailures, BadTrackLinesNameTheFileTheLineAndTheFault)
{
    ExpectFailures({
        {"replay semicolon.TP1", 1,
         "a.txt, line 2: the line \"57.0,11.0,20080621,095500\" has 1 field separated by ';', not the four of a track "
         "line: expected a line such as 57.70;11.90;20080621;143005 with the separator ';' (the last character of its "
         "boat entry, semicolon.TP1 line 1); this line seems to use ','"},
        {"replay baddate.TP1", 1,
         "bad.txt, line 3: the date \"20081321\" and time \"095600\" give no valid date and time (\"2008-13-21 "
         "09:56:00\"); the line is \"57.1,11.0,20081321,095600\": expected a line such as 57.70,11.90,20080621,143005"},
        {"replay same.TP1", 1,
         "same.txt, line 4: this line, the last of the file, has the same time as the boat's previous track point"},
        {"replay globe.TP1", 1, "globe.txt, line 500: the latitude \"91.0\" is not a number from -90 to 90"},
        {"replay lonabc.TP1", 1,
         "lonabc.txt, line 3: the longitude \"abc\" is not a number (such as 11.9012345); the line is "
         "\"57.1,abc,20080621,095600\""},
        {"replay lonnan.TP1", 1, "lonnan.txt, line 3: the longitude \"nan\" is not a number"},
        {"replay loninf.TP1", 1, "loninf.txt, line 3: the longitude \"inf\" is not a number"},
        {"replay lonempty.TP1", 1, "lonempty.txt, line 3: the longitude \"\" is not a number"},
        {"replay lonhex.TP1", 1, "lonhex.txt, line 3: the longitude \"0x10\" is not a number"},
        {"replay latx.TP1", 1, "latx.txt, line 3: the latitude \"57.1x\" is not a number"},
        {"replay date7.TP1", 1, "date7.txt, line 3: the date \"2008062\" is not eight digits (YYYYMMDD"},
        {"replay date9.TP1", 1, "date9.txt, line 3: the date \"200806210\" is not eight digits"},
        {"replay time5.TP1", 1, "time5.txt, line 3: the time \"09560\" does not start with six digits (hhmmss"},
    });
}

// FFmpeg's libraries (with their codecs) and libzip are loaded when a video is written or a
// KMZ archive read, not by every command: the program does not link them.
TEST(ReplayCommand, PlainCommandsLoadNeitherFFmpegNorLibzip)
{
    if (!testing::HaveCommand("ldd"))
        GTEST_SKIP() << "ldd is not installed";
    const auto libraries = RunCommand("ldd " + Quote(TIDEPLOT_EXE));
    ASSERT_EQ(libraries.status, 0) << libraries.output;
    for (const char* lazy : {"libavcodec", "libavformat", "libswscale", "libzip"})
        EXPECT_EQ(libraries.output.find(lazy), std::string::npos) << lazy << " is linked:\n" << libraries.output;
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
    const std::string classic = " --kml out.kml --trace out.trace --screenshot out.png";
    const std::string outputs = classic + " --video out.mp4 --kml-animated anim.kml";
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
        {kSampleRace, " --video out.mp4", 16,
         "cannot write the video \"out.mp4\": a frame cannot be written: File too large"},
        {kSampleRace, " --kml-animated anim.kml", 16,
         "cannot write the animated KML file \"anim.kml\": File too large"},
        {"nostart.TP1", outputs, 0, "the track file cannot open"},
        {"midway.TP1", outputs, 0, "bad.txt, line 3: the date"},
        // The world file's name is one the file system refuses: found only when the files are
        // put in place, after the KML file and the picture were ready; those stay old too.
        {kSampleRace, " --kml out.kml --screenshot " + std::string(255, 'p'), 0, "File name too long"},
    };
    const std::vector<std::string> names{"anim.kml", "out.kml", "out.mp4", "out.png", "out.trace"};
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
    // Without a limit the same outputs replace the old files: the picture is the chart view.
    const auto run = RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay " +
                                Quote(kSampleRace) + classic + " --earth=chart");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& name : {"out.kml", "out.png", "out.trace"})
        EXPECT_GT(Slurp(dir.file(name)).size(), 10000u) << name;
    EXPECT_EQ(Slurp(dir.file("out.png")).substr(1, 3), "PNG");
    // A pipe holds nothing to keep: the trace goes straight into it.
    const auto piped =
        RunCommand(kTideplot + " replay " + Quote(kSampleRace) + " --max-steps 1 --trace /dev/stdout | cat");
    EXPECT_EQ(piped.status, 0) << piped.output;
    EXPECT_NE(piped.output.find("step 1 -00:05:00\n"), std::string::npos) << piped.output;
}

// Start times typed in local time for logs in UTC: the replay runs (and draws nothing for
// that boat) but says why on stderr.
TEST(ReplayCommand, WarnsWhenATrackMissesItsStart)
{
    TempDir dir;
    dir.write("a.txt", {"h", "57.0,11.0,20080621,095500", "57.1,11.0,20080621,095600"});
    dir.write("local.TP1", {"a.txt , 2008-06-21 09:55:00 , 1 , 0 , ,", "a.txt , 2008-06-21 11:55:00 , 1 , 0 , ,"});
    const auto run = RunCommand("(" + kTideplot + " replay " + Quote(dir.file("local.TP1")) + " 2>&1 >/dev/null)");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("warning: boat \"a.txt\" (local.TP1, line 2) starts at 2008-06-21 11:55:00", 0), 0u)
        << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
}

} // namespace
} // namespace tideplot
