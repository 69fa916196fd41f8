// The wind file as the analysis reads it: its name beside a track file, its lines written
// and read back, and the lines it refuses with their line and field.
#include "core/datetime.h"
#include "core/error.h"
#include "core/windfile.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;

TEST(WindFileTest, NameBesideTheTrackFile)
{
    const std::pair<const char*, const char*> cases[] = {
        {"race.nmea.txt", "race.nmea.wind.txt"},
        {"/boats/race.nmea.1.txt", "/boats/race.nmea.1.wind.txt"},
        {"Elsa.csv", "Elsa.csv.wind.txt"},
        {".txt", ".txt.wind.txt"},
    };
    for (const auto& [track, wind] : cases)
        EXPECT_EQ(WindFilePath(track), wind) << track;
}

// Angles with one decimal, turned into their range after rounding; speeds with two; empty
// fields where there is no value.
TEST(WindFileTest, LinesWrittenAndReadBack)
{
    struct Case {
        WindFileLine values;
        const char* line;
    };
    const auto line = [](std::optional<double> twd, std::optional<double> tws, std::optional<double> awa,
                         std::optional<double> aws, std::optional<double> hdg, std::optional<double> bsp) {
        WindFileLine l;
        l.TwdDeg = twd;
        l.TwsKnots = tws;
        l.AwaDeg = awa;
        l.AwsKnots = aws;
        l.HdgDeg = hdg;
        l.BspKnots = bsp;
        return l;
    };
    const Case cases[] = {
        {line(145, 12, -45, 15, 100, 6), "20190701,120000,145.0,12.00,-45.0,15.00,100.0,6.00"},
        {line(359.96, 8.166, 180.04, 0.004, -0.04, 10.006), "20190701,120000,0.0,8.17,180.0,0.00,0.0,10.01"},
        {line(-90, std::nullopt, -179.96, std::nullopt, 720.25, std::nullopt), "20190701,120000,270.0,,180.0,,0.3,"},
        {line(std::nullopt, std::nullopt, -0.04, std::nullopt, std::nullopt, std::nullopt), "20190701,120000,,,0.0,,,"},
    };
    TempDir dir;
    std::string file(kWindHeaderLine);
    for (const Case& c : cases) {
        EXPECT_EQ(WindLineText("20190701", "120000", c.values), c.line);
        file += std::string(c.line) + "\r\n";
    }
    const std::string path = dir.writeBytes("race.wind.txt", "# from the instruments\r\n" + file);
    WindFileReader reader(path);
    WindFileLine read;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(reader.next(read));
        EXPECT_DOUBLE_EQ(read.Time, DateValue(2019, 7, 1, 12, 0, 0));
        EXPECT_EQ(WindLineText("20190701", "120000", read), c.line);
    }
    EXPECT_FALSE(reader.next(read));
}

TEST(WindFileTest, LinesRefusedWithTheirLineAndField)
{
    const std::pair<const char*, const char*> cases[] = {
        {"20190701,120000,145.0,12.00,-45.0,15.00,100.0",
         "the line holds 7 fields instead of 8 (YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP)"},
        {"20190701,120000,145.0,12.00,-45.0,15.00,100.0,6.00,",
         "the line holds 9 fields instead of 8 (YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP)"},
        {"20190230,120000,,,,,,", "the date and time \"20190230,120000\" are not YYYYMMDD,hhmmss"},
        {"2019071,120000,,,,,,", "the date and time \"2019071,120000\" are not YYYYMMDD,hhmmss"},
        {"20190701,120000,361,,,,,", "the TWD \"361\" is not an angle from 0 to 360"},
        {"20190701,120000,,-1,,,,", "the TWS \"-1\" is not a speed of 0 knots or more"},
        {"20190701,120000,,,190,,,", "the AWA \"190\" is not an angle from -180 to 180"},
        {"20190701,120000,,,,,abc,", "the HDG \"abc\" is no number"},
        {"20190701,120000,,,,,,6,5", "the line holds 9 fields instead of 8 (YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP)"},
    };
    TempDir dir;
    for (const auto& [text, problem] : cases) {
        SCOPED_TRACE(text);
        const std::string path =
            dir.writeBytes("race.wind.txt", std::string(kWindHeaderLine) + "20190701,115959,,,,,,1.00\n" + text + "\n");
        WindFileReader reader(path);
        WindFileLine read;
        EXPECT_TRUE(reader.next(read));
        try {
            reader.next(read);
            ADD_FAILURE() << "read";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "race.wind.txt, line 3: " + std::string(problem));
        }
    }
}

} // namespace
} // namespace tideplot
