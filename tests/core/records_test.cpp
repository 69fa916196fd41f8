#include "core/datetime.h"
#include "core/error.h"
#include "core/records.h"
#include "core/text.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

// The colour number is rounded half to even; a colour that is no number is 0.
TEST(BoatEntry, ColourIsRoundedHalfToEven)
{
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , 100.5 , ,").Colour, 100);
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , 101.5 , ,").Colour, 102);
    EXPECT_EQ(ReadBoatEntry("b , 2007-01-01 12:30:00 , 1 , red , ,").Colour, 0);
}

// An entry the replay could not run is refused with the text at fault.
TEST(BoatEntry, RefusesHandicapsStartsColoursAndNamesTheReplayCannotUse)
{
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"", "the start time \"\""},
        {"b.txt", "the start time \"\""},
        {"b.txt , 2007-13-01 10:00:00 , 1 , 2 , ,", "the start time \"2007-13-01 10:00:00\""},
        {"b.txt , 2008-06-21 10:00:00 , -1 , 0 , ,", "the LYS number \"-1\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , 0 , 0 , ,", "the LYS number \"0\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , abc , 0 , ,", "the LYS number \"abc\" is not a positive number"},
        {"b.txt , 2008-06-21 10:00:00 , 1e308 , 0 , ,", "the LYS number \"1e308\" lies outside 0.01 to 100"},
        {"b.txt , 2008-06-21 10:00:00 , 0.001 , 0 , ,", "the LYS number \"0.001\" lies outside 0.01 to 100"},
        {"b.txt , 2008-06-21 10:00:00 , 1e999 , 0 , ,", "the LYS number \"1e999\" is too large"},
        {"b.txt , 2008-06-21 10:00:00 , 1 , 1e12 , ,", "the colour number: the number 1e+12 is out of range"},
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

// The last 20 characters, not bytes, trimmed: a letter of two, three or four bytes is never
// cut, and the name stays well-formed UTF-8; a name that is no UTF-8 is cut by bytes.
TEST(BoatEntry, DisplayNameIsTheLast20CharactersTrimmed)
{
    struct Case {
        std::string field0;
        std::string name;
    };
    const Case cases[] = {
        {"", ""},
        {"0abcdefghijklmnopqrs ", "abcdefghijklmnopqrs"}, // 20 + blank
        {"C:\\Races\\2008\\Vinga\\Elsa.txt  ", "008\\Vinga\\Elsa.txt"},
        {"/r/Fröken Sjöström.txt ", "Fröken Sjöström.txt"},                       // 20 bytes would start inside "ö"
        {"/r/Åsa-Öland.txt ", "/r/Åsa-Öland.txt"},                                // 19 bytes, 17 characters: whole
        {"/r/€€€€€€€€€€€€€€€€€€€€.txt ", "€€€€€€€€€€€€€€€.txt"},                  // three-byte letters
        {"/r/𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt ", "𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt"},                    // four-byte letters
        {"C:\\Kappseglingar\\Sj\xF6str\xF6m.txt ", "lingar\\Sj\xF6str\xF6m.txt"}, // Latin-1: bytes
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

// The date and time are taken from fixed positions of the third and fourth field.
TEST(TrackPointTime, FixedPositionsOfDateAndTime)
{
    const double expected = DateValueFromText("2008-01-20 10:30:05");
    EXPECT_EQ(TrackPointTime("57.1,11.2,20080120,103005", ','), expected);
    EXPECT_EQ(TrackPointTime("57.1;11.2;20080120;103005.250;extra", ';'), expected);
    EXPECT_EQ(TrackPointTime("57.1,11.2,20080120999,103005", ','), expected);
    EXPECT_EQ(TrackPointTime("", ','), 0);
    for (const char* line : {"57,11", "57,11,200801,103005", "57,11,20081320,103005", "57,11,20080120,1030",
                             "57,11,20080120,250000", "57,11,2008O120,103005", "57,11,20080230,103005",
                             "57,11, 20080120,103005", "#header", "57;11;20080120;103005"}) {
        EXPECT_THROW(TrackPointTime(line, ','), Error) << line;
    }
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
        {"57.5E3", "11.9", "the latitude \"57.5E3\""}, // an exponent makes it 57500
        {"5 7.1234567", "11.9", ""},                   // blanks are skipped: 57.1234567
        {"9 1.1234567", "11.9", "the latitude \"9 1.1234567\""},
        {"57.7", "180.00000001", "the longitude \"180.00000001\""},
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

// The reader that reuses the day of the previous line gives the same values and the
// same refusals as reading each line on its own.
TEST(TrackTimeReader, AgreesWithReadingEachLineAlone)
{
    // Every date with every time, a day at a time: the day is reused along each run.
    const char* dates[] = {"20080621", "20080622",  "20080230", "20080229", "20070229", "2008062",
                           "2008062x", "200806221", "18991229", "00000101", "20081301", ""};
    const char* times[] = {"235959", "000000", "000000.5", "240000", "126000", "120060", "12000", "1200001", ""};
    TrackTimeReader reader;
    for (const char* d : dates) {
        for (const char* t : times) {
            double alone = 0, reused = 0;
            const bool okAlone = TryTrackFieldsTime(d, t, alone);
            EXPECT_EQ(reader.read(d, t, reused), okAlone) << d << " " << t;
            if (okAlone) {
                EXPECT_EQ(reused, alone) << d << " " << t;
            }
        }
    }
}

} // namespace
} // namespace tideplot
