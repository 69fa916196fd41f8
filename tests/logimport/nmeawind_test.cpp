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

class NmeaWindTest : public ::testing::Test {
protected:
    std::string WriteLog(const std::string& bytes, const std::string& name = "log.nmea") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        fs::remove(WindFilePath(TrackFilePath(path)));
        return path;
    }
    TempDir dir_;
};

// Sentences of known answers: the wind file's lines, and what the import says of them.
TEST_F(NmeaWindTest, WindFileFromTheSentences)
{
    struct Case {
        const char* what;
        std::string log;
        std::vector<std::string> lines; // after the header; none: no wind file
        std::vector<std::string> notes;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) {
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

} // namespace
} // namespace tideplot
