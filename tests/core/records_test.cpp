#include "core/datetime.h"
#include "core/error.h"
#include "core/records.h"
#include "core/text.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TEST(BoatEntry, ReadsTheFiveFields)
{
    const BoatEntry e = ReadBoatEntry("C:\\Race\\boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ;");
    EXPECT_EQ(e.TrackFile, "C:\\Race\\boat1.txt");
    EXPECT_EQ(e.StartTime, DateValueFromText("2007-01-01 12:30:00"));
    EXPECT_EQ(e.Lys, 1.1);
    EXPECT_EQ(e.Colour, 100);
    EXPECT_EQ(e.SepChar, ';');
    EXPECT_EQ(e.Name, "C:\\Race\\boat1.txt");
}

TEST(BoatEntry, CommaSeparatorIsTheLastCharacter)
{
    const BoatEntry e = ReadBoatEntry("b.txt , 2007-01-01 12:30:00 , 1.05 , 0 , ,");
    EXPECT_EQ(e.SepChar, ',');
    EXPECT_EQ(e.Lys, 1.05);
    EXPECT_EQ(e.Colour, 0);
}

TEST(BoatEntry, ColourIsRoundedHalfToEven)
{
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , 100.5 , ,").Colour, 100);
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , 101.5 , ,").Colour, 102);
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , red , ,").Colour, 0);
    EXPECT_THROW(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , 1e12 , ,"), Error);
}

TEST(BoatEntry, UnreadableStartTimeNamesTheText)
{
    for (const char* line : {"", "b.txt", "b.txt , , 1 , 2 , ,", "b.txt , 2007-13-01 10:00:00 , 1 , 2 , ,"}) {
        try {
            ReadBoatEntry(line);
            ADD_FAILURE() << "accepted '" << line << "'";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("start time"), std::string::npos) << e.what();
        }
    }
}

// An entry the replay could not run is refused with the text at fault.
TEST(BoatEntry, RefusesHandicapsStartsAndNamesTheReplayCannotUse)
{
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"b.txt , 2008-06-21 10:00:00 , -1 , 0 , ,", "the LYS number \"-1\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , 0 , 0 , ,", "the LYS number \"0\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , abc , 0 , ,", "the LYS number \"abc\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , 1e308 , 0 , ,", "the LYS number \"1e308\" lies outside 0.01 to 100"},
        {"b.txt , 2008-06-21 10:00:00 , 0.001 , 0 , ,", "the LYS number \"0.001\" lies outside 0.01 to 100"},
        {"b.txt , 2008-06-21 10:00:00 , 1e999 , 0 , ,", "the LYS number \"1e999\" is too large"},
        {"b.txt , 1899-12-29 10:00:00 , 1 , 0 , ,",
         "the start time \"1899-12-29 10:00:00\" lies before 1900-01-01 00:00:00, the earliest start taken"},
        {std::string("b\0.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", 40),
         "the track file name \"b\\x00.txt\" holds a NUL byte"},
    };
    for (const auto& c : cases) {
        try {
            ReadBoatEntry(c.line);
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.line << "\n" << e.what();
        }
    }
    EXPECT_EQ(ReadBoatEntry("b.txt , 1900-01-01 00:00:00 , 0.01 , 0 , ,").Lys, 0.01);
    EXPECT_EQ(ReadBoatEntry("b.txt , 2008-06-21 10:00:00 , 100 , 0 , ,").Lys, 100);
}

TEST(BoatEntry, DisplayNameIsTheLast20CharactersTrimmed)
{
    EXPECT_EQ(BoatDisplayName("short.txt "), "short.txt");
    EXPECT_EQ(BoatDisplayName("abcdefghijklmnopqrs "), "abcdefghijklmnopqrs");  // 19 + blank
    EXPECT_EQ(BoatDisplayName("0abcdefghijklmnopqrs "), "abcdefghijklmnopqrs"); // 20 + blank
    EXPECT_EQ(BoatDisplayName("C:\\Races\\2008\\Vinga\\Elsa.txt "), "2008\\Vinga\\Elsa.txt");
    EXPECT_EQ(BoatDisplayName(""), "");
    EXPECT_EQ(ReadBoatEntry("C:\\Races\\2008\\Vinga\\Elsa.txt  , 2007-01-01 12:30:00 , 1 , 2 , ,").Name,
              "008\\Vinga\\Elsa.txt");
}

// Twenty characters, not bytes: a name with letters of two, three and four bytes is
// never cut inside one, and stays well-formed UTF-8.
TEST(BoatEntry, DisplayNameCountsUtf8Characters)
{
    struct Case {
        std::string field0;
        std::string name;
    };
    const Case cases[] = {
        {"/r/Fröken Sjöström.txt ", "Fröken Sjöström.txt"},      // 20 bytes would start inside "ö"
        {"/races/Tärnö/Sjöfröken.txt ", "Tärnö/Sjöfröken.txt"},  // 31 bytes, 20 characters kept
        {"/r/Åsa-Öland.txt ", "/r/Åsa-Öland.txt"},               // 19 bytes, 17 characters: whole
        {"/r/€€€€€€€€€€€€€€€€€€€€.txt ", "€€€€€€€€€€€€€€€.txt"}, // three-byte letters
        {"/r/𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt ", "𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt"},   // four-byte letters
        {"C:\\Kappseglingar\\Sj\xF6"
         "fr\xF6"
         "ken.txt ",
         "ingar\\Sj\xF6"
         "fr\xF6"
         "ken.txt"}, // Latin-1: bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BoatDisplayName(c.field0), c.name) << c.field0;
        if (IsValidUtf8(c.field0)) {
            EXPECT_TRUE(IsValidUtf8(BoatDisplayName(c.field0))) << c.field0;
        }
    }
    for (const char* bad : {"\xC3", "a\xC3(", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    for (const char* good : {"", "abc", "\xC3\xB6", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "\xEF\xBF\xBF"})
        EXPECT_TRUE(IsValidUtf8(good)) << good;
}

TEST(BoatEntry, LineIsJoinedWithBlankCommaBlank)
{
    const std::string line = BoatEntryLine("C:\\Race\\boat1.txt", "2007-01-01 12:30:00", "1.10", "100", ",");
    EXPECT_EQ(line, "C:\\Race\\boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,");
    const BoatEntry e = ReadBoatEntry(line);
    EXPECT_EQ(e.TrackFile, "C:\\Race\\boat1.txt");
    EXPECT_EQ(e.SepChar, ',');
}

TEST(TrackPointTime, BuildsDateAndTimeFromFixedPositions)
{
    const double expected = DateValueFromText("2008-01-20 10:30:05");
    EXPECT_EQ(TrackPointTime("57.1,11.2,20080120,103005", ','), expected);
    EXPECT_EQ(TrackPointTime("57.1;11.2;20080120;103005.250;extra", ';'), expected);
    EXPECT_EQ(TrackPointTime("57.1,11.2,20080120999,103005", ','), expected);
    EXPECT_EQ(TrackPointTime("", ','), 0);
    EXPECT_EQ(TrackPointTime("57.7012345,11.9012345,20080621,143005", ','), DateValueFromText("2008-06-21 14:30:05"));
}

TEST(TrackPointTime, MalformedFieldsAreErrors)
{
    for (const char* line : {"57,11", "57,11,200801,103005", "57,11,20081320,103005", "57,11,20080120,1030",
                             "57,11,20080120,250000", "57,11,2008O120,103005", "57,11,20080230,103005",
                             "57,11, 20080120,103005", "#header", "57;11;20080120;103005"}) {
        EXPECT_THROW(TrackPointTime(line, ','), Error) << line;
    }
}

TEST(ReadTrackPoint, LatLonAndElapsedFromTheStart)
{
    const double start = DateValueFromText("2008-01-20 10:00:00");
    const TrackPoint p = ReadTrackPoint("57,11,20080120,103000", ',', start);
    EXPECT_EQ(p.Lat, 57);
    EXPECT_EQ(p.Lon, 11);
    EXPECT_NEAR(p.Elapsed * 86400, 1800, 1e-6);
    const TrackPoint empty = ReadTrackPoint("", ',', start);
    EXPECT_EQ(empty.Lat, 0);
    EXPECT_EQ(empty.Lon, 0);
    EXPECT_EQ(empty.Elapsed, -start);
    const TrackPoint south = ReadTrackPoint("-33.85;151.2;20080120;100000", ';', start);
    EXPECT_EQ(south.Lat, -33.85);
    EXPECT_EQ(south.Lon, 151.2);
    EXPECT_EQ(TrackLineLatitude("0,11,20080120,103000", ','), 0);
    EXPECT_EQ(TrackLineLatitude("", ','), 0);
}

// Positions off the globe are refused, by the quick test of plain decimals as by reading
// the numbers, and the message quotes the field.
TEST(ReadTrackPoint, PositionsOffTheGlobeAreRefused)
{
    struct Case {
        const char* lat;
        const char* lon;
        const char* message; // empty: on the globe
    };
    const Case cases[] = {
        {"57.7012345", "11.9012345", ""},
        {"-89.9999999", "-179.9999999", ""},
        {"90", "180", ""},
        {"-90.000000000", "180.0000000", ""},
        {"", "", ""},
        {"0", "999", "the longitude \"999\" is not a number from -180 to 180"},
        {"91", "11.9", "the latitude \"91\" is not a number from -90 to 90"},
        {"90.0000001", "11.9", "the latitude \"90.0000001\""},
        {"-90.00000001", "11.9", "the latitude \"-90.00000001\""},
        {"57.5E3", "11.9", "the latitude \"57.5E3\""}, // an exponent makes it 57500
        {"5 7.1234567", "11.9", ""},                   // blanks are skipped: 57.1234567
        {"9 1.1234567", "11.9", "the latitude \"9 1.1234567\""},
        {"57.7", "180.00000001", "the longitude \"180.00000001\""},
        {"57.7", "1234", "the longitude \"1234\""},
        {"57.7", "-180.5x", "the longitude \"-180.5x\""},
        {"57.7", "11.901234567890123456", ""},
        {"00057.7", "0011.9", ""},
    };
    for (const auto& c : cases) {
        const std::string line = std::string(c.lat) + "," + c.lon + ",20080120,103000";
        const TrackLineFields fields = SplitTrackLine(line, ',');
        for (const bool quick : {true, false}) {
            try {
                if (quick)
                    CheckOnGlobe(fields);
                else
                    ReadTrackPoint(line, ',', 0);
                EXPECT_STREQ(c.message, "") << line << (quick ? " (quick)" : "");
            } catch (const Error& e) {
                EXPECT_NE(std::string(c.message), "") << line << ": " << e.what();
                EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << line << ": " << e.what();
            }
        }
    }
}

} // namespace
} // namespace tideplot

namespace tideplot {
namespace {

// The reader that reuses the day of the previous line gives the same values and the
// same refusals as reading each line on its own.
TEST(TrackTimeReader, AgreesWithReadingEachLineAlone)
{
    const std::pair<const char*, const char*> fields[] = {
        {"20080621", "235958"},
        {"20080621", "235959"},
        {"20080622", "000000"},
        {"20080622", "000000.5"},
        {"20080622", "240000"},
        {"20080622", "126000"},
        {"20080622", "120060"},
        {"20080230", "120000"},
        {"20080229", "120000"},
        {"20070229", "120000"},
        {"2008062", "120000"},
        {"20080622", "12000"},
        {"2008062x", "120000"},
        {"200806221", "1200001"},
        {"18991229", "060000"},
        {"00000101", "000000"},
        {"20081301", "000000"},
        {"20080622", "120000"},
        {"", ""},
    };
    TrackTimeReader reader;
    for (const auto& [d, t] : fields) {
        double alone = 0, reused = 0;
        const bool okAlone = TryTrackFieldsTime(d, t, alone);
        EXPECT_EQ(reader.read(d, t, reused), okAlone) << d << " " << t;
        if (okAlone) {
            EXPECT_EQ(reused, alone) << d << " " << t;
        }
    }
}

} // namespace
} // namespace tideplot

namespace tideplot {
namespace {

TEST(SplitTrackLine, SameFieldsAsGetField)
{
    for (const char* line : {"", "a", "a,b", "a,b,c", "a,b,c,d", "a,b,c,d,e,f", ",,,", ",,,,",
                             "57.1,11.2,20080621,143005", "57.1;11.2;20080621;143005", "x,,20080621", ",11,,143005,"}) {
        for (const char sep : {',', ';'}) {
            const TrackLineFields f = SplitTrackLine(line, sep);
            EXPECT_EQ(f.Lat, GetField(line, 0, sep)) << line;
            EXPECT_EQ(f.Lon, GetField(line, 1, sep)) << line;
            EXPECT_EQ(f.Date, GetField(line, 2, sep)) << line;
            EXPECT_EQ(f.Time, GetField(line, 3, sep)) << line;
        }
    }
}

} // namespace
} // namespace tideplot
