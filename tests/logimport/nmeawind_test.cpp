// The wind file of an NMEA log: the instruments' sentences worked into one line a second
// (true wind from a direction, from an angle and the heading or the course, from the
// apparent wind and the boat's speed; magnetic headings; units), real logs against
// gpsbabel's reading and against their sentences worked by hand, the import command with
// its dates and wind files, and hostile logs.
#include "core/datetime.h"
#include "core/error.h"
#include "core/windfile.h"
#include "import/logimport.h"
#include "support/racefiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

std::string S(const std::string& body)
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    char text[8];
    std::snprintf(text, sizeof text, "*%02X", sum);
    return "$" + body + text + "\r\n";
}

// An RMC sentence at 12:00:`second` on 2019-07-01 with this speed and course over ground and
// magnetic variation ("" for none).
std::string Rmc(int second, const char* sog = "0.0", const char* cog = "", const char* variation = ",")
{
    char body[160];
    std::snprintf(body, sizeof body, "GPRMC,1200%02d,A,4614.530,N,00610.621,E,%s,%s,010719,%s,A", second, sog, cog,
                  variation);
    return S(body);
}

const std::string kDay = "20190701,1200";
const std::string kAngleNote = "the true wind of 1 second is the instruments' true wind angle (MWV T, VWT) turned into "
                               "a direction with the heading";

// Sentences of known answers: the wind file's lines, and what the import says of them.
struct WindCase {
    const char* what;
    std::string log;
    std::vector<std::string> lines; // after the header; none: no wind file
    std::vector<std::string> notes;
    std::vector<std::string> warnings;
};

class NmeaWindTest : public ::testing::Test {
protected:
    std::string WriteLog(const std::string& bytes, const std::string& name = "log.nmea") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        fs::remove(WindFilePath(TrackFilePath(path)));
        return path;
    }
    // Imports each case's log: the wind file's lines, and what the import says of them.
    void ExpectWindFiles(const std::vector<WindCase>& cases)
    {
        for (const WindCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ":\n" + c.log);
            const std::string log = WriteLog(c.log);
            const LogImportResult result = ImportLog(log);
            const std::string windFile = WindFilePath(TrackFilePath(log));
            if (c.lines.empty()) {
                EXPECT_FALSE(fs::exists(windFile));
                EXPECT_TRUE(result.WindFiles.empty());
                continue;
            }
            std::string expected(kWindHeaderLine);
            for (const std::string& line : c.lines)
                expected += line + "\r\n";
            EXPECT_EQ(Slurp(windFile), expected);
            ASSERT_EQ(result.WindFiles.size(), 1u);
            EXPECT_EQ(result.WindFiles[0].Appended, long(c.lines.size()));
            EXPECT_EQ(result.WindNotes, c.notes);
            std::vector<std::string> warnings;
            for (const std::string& warning : result.Warnings)
                warnings.push_back(warning.substr(log.size() + 2));
            EXPECT_EQ(warnings, c.warnings);
        }
    }

    TempDir dir_;
};

// The instruments' true wind: an angle turned with the heading (true, or magnetic with the
// deviation and variation), or a direction as it stands.
TEST_F(NmeaWindTest, TrueWindFromTheInstruments)
{
    ExpectWindFiles({
        {"a true angle with the true heading, the apparent wind, the boat speed",
         Rmc(0) + S("IIHDT,100.0,T") + S("IIMWV,045,T,12.0,N,A") + S("IIMWV,315,R,15.0,N,A") +
             S("IIVHW,,T,,M,6.0,N,,K"),
         {kDay + "00,145.0,12.00,-45.0,15.00,100.0,6.00"},
         {kAngleNote},
         {}},
        {"HDG with its deviation and variation; VWT to port",
         Rmc(0) + S("IIHDG,100.0,2.0,E,3.0,W") + S("IIVWT,030,L,8.0,N,,,,"),
         {kDay + "00,69.0,8.00,,,99.0,"},
         {kAngleNote},
         {}},
        {"HDM with the RMC's variation; VWR to starboard; MWV in m/s and km/h",
         Rmc(0, "0.0", "", "3.0,E") + S("IIHDM,100.0,M") + S("IIVWR,030,R,10.0,M,,,,") + S("WIMWV,350,T,18.52,K,A"),
         {kDay + "00,93.0,10.00,30.0,19.44,103.0,"},
         {kAngleNote},
         {}},
        {"a magnetic heading without variation is taken as true",
         Rmc(0) + S("IIHDM,100.0,M") + S("IIMWV,010,T,10.0,N,A"),
         {kDay + "00,110.0,10.00,,,100.0,"},
         {kAngleNote},
         {"the heading is magnetic and the log gives no variation (HDG, RMC): it was taken as true, off by the local "
          "variation"}},
        {"MWD's direction as it stands; a magnetic one with the variation",
         Rmc(0, "0.0", "", "2.0,W") + S("IIMWD,270.0,T,272.0,M,15.0,N,7.7,M") + S("IIHDT,10,T") +
             Rmc(1, "0.0", "", "2.0,W") + S("IIMWD,,,268.0,M,,,7.5,M"),
         {kDay + "00,270.0,15.00,,,10.0,", kDay + "01,266.0,14.58,,,,"},
         {"the true wind of 2 seconds is the instruments' true wind direction (MWD)"},
         {}},
    });
}

// The true wind computed from the apparent wind and the boat's speed (through the water, or
// over the ground for want of one), or turned with the course for want of a heading.
TEST_F(NmeaWindTest, TrueWindWorkedFromWhatTheInstrumentsGive)
{
    ExpectWindFiles({
        // Apparent 10 kn at 90 degrees, boat 10 kn: true from 135 degrees off the bow at 14.14 kn.
        {"the apparent wind and the boat speed through the water",
         Rmc(0) + S("IIHDT,0.0,T") + S("IIMWV,090,R,10.0,N,A") + S("IIVHW,,,,,10.0,N,,"),
         {kDay + "00,135.0,14.14,90.0,10.00,0.0,10.00"},
         {"the true wind of 1 second was computed from the apparent wind (MWV R, VWR) and the boat's speed through "
          "the water (VHW)"},
         {}},
        {"the apparent wind and the speed over ground, for want of a boat speed",
         Rmc(0, "10.0", "20.0") + S("IIHDT,0.0,T") + S("IIVWR,090,L,10.0,N,,,,"),
         {kDay + "00,225.0,14.14,-90.0,10.00,0.0,"},
         {"the true wind of 1 second was computed from the apparent wind (MWV R, VWR) and the boat's speed over the "
          "ground (RMC, VTG)"},
         {"the true wind of 1 second was computed with the speed over ground, for want of a boat speed (VHW): it is "
          "off by the current"}},
        {"a true angle with the course over ground for want of a heading; not when the boat barely moves",
         Rmc(0, "5.0", "200.0") + S("IIMWV,030,T,9.0,N,A") + Rmc(1, "0.5", "200.0") + S("IIMWV,030,T,9.0,N,A") +
             Rmc(2) + S("GPVTG,190.0,T,,M,5.0,N,,K,A") + S("IIMWV,030,T,9.0,N,A"),
         {kDay + "00,230.0,9.00,,,,", kDay + "01,,9.00,,,,", kDay + "02,220.0,9.00,,,,"},
         {"the true wind of 2 seconds is the instruments' true wind angle (MWV T, VWT) turned into a direction with "
          "the course over ground"},
         {"the true wind direction of 2 seconds was turned with the course over ground, for want of a heading (HDG, "
          "HDT, HDM): it is off by the boat's leeway and the current"}},
    });
}

// A line a second from the first reading of each second, the heading of that moment; no wind
// file for a log without instruments.
TEST_F(NmeaWindTest, OneLineASecondOfTheReadingsThen)
{
    ExpectWindFiles({
        {"the heading at that moment: of that second, else the last one of the 10 before it",
         Rmc(0) + S("IIHDT,100,T") + Rmc(5) + S("IIMWV,010,T,5.0,N,A") + Rmc(16) + S("IIMWV,010,T,5.0,N,A"),
         {kDay + "00,,,,,100.0,", kDay + "05,110.0,5.00,,,,", kDay + "16,,5.00,,,,"},
         {kAngleNote},
         {}},
        {"the first reading of each second; no line for a second without one; none before the first time",
         S("IIHDT,50,T") + Rmc(0) + S("IIHDT,10,T") + S("IIHDT,20,T") + Rmc(1) + Rmc(2) + S("IIVHW,,,,,5.0,N,,") +
             S("IIVHW,,,,,6.0,N,,"),
         {kDay + "00,,,,,10.0,", kDay + "02,,,,,,5.00"},
         {},
         {}},
        {"void readings and a log without instruments: no wind file",
         Rmc(0) + S("IIMWV,045,T,10.0,N,V") + S("IIMWV,045,X,10.0,N,A") + Rmc(1),
         {},
         {},
         {}},
    });
}

const std::string kData = TIDEPLOT_SOURCE_DIR "/tests/data/nmea/";

// The real logs (tests/data/nmea/README.md), the date that plaka's needs, and a second of
// each wind file with the sentences it comes from, worked by hand.
struct RealLog {
    const char* name;
    const char* date; // --date, for a log without one
    const char* line;
};
const RealLog kRealLogs[] = {
    // RMC 140008 (line 9), VHW 5.2 kn (10), VWR 28 degrees to starboard at 14.2 kn (12),
    // HDG 196 magnetic with 1 E of variation (15), MWV T 42 degrees at 9.7 kn (18): 197 + 42.
    {"irene-2014-06-27-excerpt.nmea", nullptr, "20140627,140008,239.0,9.70,28.0,14.20,197.0,5.20"},
    // GLL 103314 (line 12), HDG 311 magnetic without variation (13), MWV R 271 = 89 degrees to
    // port at 12.5 kn (15), MWV T 249 = -111 degrees at 13.7 kn (16): 311 - 111; VHW 6.0 kn (19).
    {"irene-2008-07-11-excerpt.nmea", nullptr, "20080711,103314,200.0,13.70,-89.0,12.50,311.0,6.00"},
    // ZDA and GLL 095559 (lines 9, 11), VHW 6.12 kn (17), VTG 225.18 degrees at 5.80 kn (19), no
    // heading: MWV T 313 = -47 degrees at 8.16 kn (20): 225.18 - 47.
    {"plaka-excerpt.nmea", "2019-07-01", "20190701,095559,178.2,8.16,,,,6.12"},
};

// A copy of a real log in the test's folder.
std::string CopyRealLog(const TempDir& dir, const RealLog& real)
{
    const std::string log = dir.file(real.name);
    fs::copy_file(kData + real.name, log, fs::copy_options::overwrite_existing);
    return log;
}

LogImportOptions DateOf(const RealLog& real)
{
    LogImportOptions options;
    if (real.date)
        options.Read.GivenDate =
            DayNumber(std::atoi(real.date), std::atoi(real.date + 5), std::atoi(real.date + 8)) * 86400;
    return options;
}

TEST_F(NmeaWindTest, RealWindLinesWorkedByHand)
{
    for (const RealLog& real : kRealLogs) {
        SCOPED_TRACE(real.name);
        const std::string log = CopyRealLog(dir_, real);
        const LogImportResult result = ImportLog(log, {}, DateOf(real));
        ASSERT_EQ(result.WindFiles.size(), 1u);
        const std::string wind = Slurp(result.WindFiles[0].Path);
        EXPECT_NE(wind.find(std::string("\r\n") + real.line + "\r\n"), std::string::npos) << wind.substr(0, 400);
    }
}

// gpsbabel's reading of the real logs (`gpsbabel -i nmea`), written with 9 decimals, is our
// track file: the same seconds, the positions within the rounding of our 7 decimals.
TEST_F(NmeaWindTest, RealLogsAsGpsbabelReadsThem)
{
    const QString gpsbabel = QStandardPaths::findExecutable("gpsbabel");
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "NOTE: gpsbabel is not installed, so NMEA imports are not compared with its reading";
    const std::string style = dir_.file("track.style");
    std::ofstream(style) << "FIELD_DELIMITER COMMA\nRECORD_DELIMITER NEWLINE\nBADCHARS COMMA\n"
                            "IFIELD LAT_DECIMAL,\"\",\"%.9f\"\nIFIELD LON_DECIMAL,\"\",\"%.9f\"\n"
                            "IFIELD GMT_TIME,\"\",\"%Y%m%d\"\nIFIELD GMT_TIME,\"\",\"%H%M%S\"\n";
    for (const RealLog& real : kRealLogs) {
        SCOPED_TRACE(real.name);
        const std::string log = CopyRealLog(dir_, real);
        const std::string expected = dir_.file("expected.txt");
        QProcess p;
        QString format = "nmea";
        if (real.date)
            format += ",date=" + QString(real.date).remove('-');
        p.start(gpsbabel, {"-t", "-i", format, "-f", QString::fromStdString(log), "-o",
                           "xcsv,style=" + QString::fromStdString(style), "-F", QString::fromStdString(expected)});
        ASSERT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            << p.readAllStandardError().toStdString();
        ImportLog(log, {}, DateOf(real));
        std::istringstream ours(Slurp(TrackFilePath(log))), theirs(Slurp(expected));
        std::string a, b;
        std::getline(ours, a); // the header
        int lines = 0;
        while (std::getline(theirs, b)) {
            ASSERT_TRUE(std::getline(ours, a)) << "gpsbabel has more points, from " << b;
            double latA = 0, lonA = 0, latB = 0, lonB = 0;
            ASSERT_EQ(std::sscanf(a.c_str(), "%lf,%lf,", &latA, &lonA), 2) << a;
            ASSERT_EQ(std::sscanf(b.c_str(), "%lf,%lf,", &latB, &lonB), 2) << b;
            EXPECT_EQ(a.substr(a.size() - 16, 15), b.substr(b.size() - 15)) << a << " against " << b;
            EXPECT_NEAR(latA, latB, 0.51e-7) << a << " against " << b;
            EXPECT_NEAR(lonA, lonB, 0.51e-7) << a << " against " << b;
            ++lines;
        }
        EXPECT_FALSE(std::getline(ours, a)) << "we have more points, from " << a;
        EXPECT_GT(lines, 40);
    }
}

// The command as a sailor runs it: a log without a date refused and then imported with one,
// its wind file beside the track file, nothing added the second time; a bad date; a log of
// two pieces split, each with its wind file.
TEST_F(NmeaWindTest, ImportCommandWithDatesAndWindFiles)
{
    std::string out, err;
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(TIDEPLOT_BINARY_DIR "/src/app/tideplot", args);
        EXPECT_TRUE(p.waitForFinished(60000)) << "the tideplot program did not run: build it first";
        out = p.readAllStandardOutput().toStdString();
        err = p.readAllStandardError().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    const std::string log = CopyRealLog(dir_, kRealLogs[2]);
    const QString q = QString::fromStdString(log);
    EXPECT_EQ(run({"import", q}), 1);
    EXPECT_EQ(err, "tideplot import: " + log +
                       ", line 11: the log gives the time of day of its positions but no date (no RMC or ZDA sentence "
                       "holds one): give the date (UTC) of its first position with --date YYYY-MM-DD\n");
    EXPECT_EQ(run({"import", "--date", "2019-02-30", q}), 2);
    EXPECT_TRUE(err.starts_with("tideplot import: --date: \"2019-02-30\" is not a date YYYY-MM-DD\n")) << err;
    EXPECT_FALSE(fs::exists(TrackFilePath(log)));

    EXPECT_EQ(run({"import", "--date=2019-07-01", q}), 0);
    EXPECT_EQ(out, log + ": 50 points appended to " + log + ".txt\n" + log +
                       ": 50 seconds of wind, heading and boat speed appended to " + log + ".wind.txt\n" + log +
                       ": the true wind of 49 seconds is the instruments' true wind angle (MWV T, VWT) turned into a "
                       "direction with the course over ground\n");
    EXPECT_NE(err.find("warning: " + log +
                       ": the true wind direction of 49 seconds was turned with the course over "
                       "ground"),
              std::string::npos)
        << err;
    const std::string track = Slurp(log + ".txt"), wind = Slurp(log + ".wind.txt");
    EXPECT_EQ(run({"import", "--date", "2019-07-01", q}), 1);
    EXPECT_TRUE(out.starts_with(log + ": no new point; " + log + ".txt is unchanged\n" + log +
                                ": no new second of wind, heading and boat speed; " + log + ".wind.txt is unchanged\n"))
        << out;
    EXPECT_EQ(Slurp(log + ".txt"), track);
    EXPECT_EQ(Slurp(log + ".wind.txt"), wind);

    const std::string days = WriteLog(Rmc(0) + S("IIHDT,10,T") +
                                          S("GPRMC,140000,A,4614.530,N,00610.621,E,0.0,,010719,,,A") + S("IIHDT,20,T"),
                                      "days.nmea");
    EXPECT_EQ(run({"import", "--split", QString::fromStdString(days)}), 0);
    EXPECT_EQ(Slurp(days + ".1.wind.txt"), std::string(kWindHeaderLine) + kDay + "00,,,,,10.0,\r\n");
    EXPECT_EQ(Slurp(days + ".2.wind.txt"), std::string(kWindHeaderLine) + "20190701,140000,,,,,20.0,\r\n");
    EXPECT_NE(out.find(days + ": 1 second of wind, heading and boat speed appended to " + days + ".2.wind.txt\n"),
              std::string::npos)
        << out;
}

// Hostile logs: a gigabyte of garbage is refused after its first 16 MiB, whatever its name
// says; a line of 100 KB between sentences is passed over.
TEST_F(NmeaWindTest, HostileLogs)
{
    const std::string garbage = dir_.file("garbage.nmea");
    {
        std::ofstream(garbage, std::ios::binary) << "";
    }
    fs::resize_file(garbage, std::uintmax_t{1} << 30); // sparse: no disk space taken
    try {
        ImportLog(garbage);
        ADD_FAILURE() << "a gigabyte of garbage imported";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), garbage + ": no NMEA 0183 sentence in its first 16 MiB, 1 line (the first: "
                                                   "the line is longer than any sentence (4,096 bytes)): this is no "
                                                   "NMEA log; the import reads NMEA 0183, GPX, KML, KMZ and FIT logs");
    }
    EXPECT_FALSE(fs::exists(TrackFilePath(garbage)));

    std::string log;
    for (int second = 0; second < 60; ++second)
        log += Rmc(second) + std::string(100 * 1024, char('A' + second % 26)) + "\r\n";
    const LogImportResult result = ImportLog(WriteLog(log));
    EXPECT_EQ(result.PointCount, 60);
    ASSERT_EQ(result.Warnings.size(), 1u);
    EXPECT_NE(result.Warnings[0].find("60 lines hold no NMEA sentence and were passed over, the first at line 2"),
              std::string::npos)
        << result.Warnings[0];
}

} // namespace
} // namespace tideplot
