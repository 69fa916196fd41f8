#include "core/datetime.h"
#include "core/error.h"
#include "core/records.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

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
        {"b.txt , 2008-06-21 10:00:00 , abc , 0 , ,", "the LYS number \"abc\" is not a number"},
        {"b.txt , 2008-06-21 10:00:00 , 1.0.0 , 0 , ,", "the LYS number \"1.0.0\" is not a number"},
        {"b.txt , 2008-06-21 10:00:00 , 1.05x , 0 , ,", "the LYS number \"1.05x\" is not a number"},
        {"b.txt , 2008-06-21 10:00:00 , , 0 , ,", "the LYS number \"\" is not a number"},
        {"b.txt , 2008-06-21 10:00:00 , 1,05 , 0 , ,",
         "the entry has 6 fields separated by \",\" where a boat entry has 5: a value holds a \",\"; a decimal "
         "comma must be a point"},
        {"b.txt , 2008-06-21 10:00:00 , 1,05 , 0 , ;", "the entry has 6 fields"},
        {"b,c.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "the entry has 6 fields"},
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
    // Number forms that stay: a sign, a point at either end, an exponent, a tab around it.
    for (const auto& [lys, value] : std::vector<std::pair<std::string, double>>{
             {"+1.05", 1.05}, {".95", 0.95}, {"1.", 1}, {"1.05E0", 1.05}, {"\t1.2\t", 1.2}})
        EXPECT_EQ(ReadBoatEntry("b.txt , 2008-06-21 10:00:00 , " + lys + " , 0 , ,").Lys, value) << lys;
    // The separator "," at the end is no field of its own; four commas with another separator.
    EXPECT_EQ(ReadBoatEntry("b.txt , 2008-06-21 10:00:00 , 1 , 0 ,,").SepChar, ',');
    EXPECT_EQ(ReadBoatEntry("b.txt , 2008-06-21 10:00:00 , 1 , 0 , ;").SepChar, ';');
}

// The set-up window's boxes never write a "," inside a value: a decimal comma in the LYS box
// becomes a point, any other "," is refused; the line built from them reads back as typed.
TEST(BoatEntry, EntryBoxesHoldNoCommaInsideAValue)
{
    struct Case {
        std::string start, lys, colour;
        std::string problem; // empty: none
    };
    const Case cases[] = {
        {"2008-06-21 11:00:00", LysBoxText("1,05"), "1023", ""},
        {"2008-06-21 11:00:00", LysBoxText("1,0,5"), "0",
         "The LYS number (LYS tal) \"1,0,5\" holds a \",\", which would split the boat entry"},
        {"2008-06-21 11:00:00", LysBoxText("1,0.5"), "0", "The LYS number (LYS tal) \"1,0.5\""},
        {"2008-06-21 11:00:00", "1.05", "1,5", "The colour (Färg) \"1,5\" holds a \",\""},
        {"2008-06-21, 11:00:00", "1.05", "0", "The start time (Start tid)"},
    };
    for (const auto& c : cases) {
        const std::string problem = EntryBoxesCommaProblem(c.start, c.lys, c.colour);
        if (c.problem.empty()) {
            EXPECT_EQ(problem, "") << c.lys;
            const BoatEntry entry = ReadBoatEntry(BoatEntryLine("b.txt", c.start, c.lys, c.colour, ","));
            EXPECT_EQ(entry.Lys, 1.05);
            EXPECT_EQ(entry.Colour, 1023);
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.lys << "\n" << problem;
        }
    }
}

// The file name alone (after the last "/" or "\\"), its last 20 characters, not bytes,
// trimmed: a letter of two, three or four bytes is never cut, and the name stays
// well-formed UTF-8; a name that is no UTF-8 is cut by bytes.
TEST(BoatEntry, DisplayNameIsTheLast20CharactersOfTheFileNameTrimmed)
{
    struct Case {
        std::string field0;
        std::string name;
    };
    const Case cases[] = {
        {"", ""},
        {"0abcdefghijklmnopqrs ", "abcdefghijklmnopqrs"}, // 20 + blank
        {"C:\\Races\\2008\\Vinga\\Elsa.txt  ", "Elsa.txt"},
        {"/home/anna/sample-race/Elsa.txt ", "Elsa.txt"},
        {"logs/leg3_12h.kml.txt ", "leg3_12h.kml.txt"},
        {"C:\\Races/mixed\\ Elsa.txt ", "Elsa.txt"},
        {"/r/long-name-of-a-boat-log.txt ", "e-of-a-boat-log.txt"},
        {"/r/Fröken Sjöström.txt ", "Fröken Sjöström.txt"},      // 20 bytes would start inside "ö"
        {"/r/€€€€€€€€€€€€€€€€€€€€.txt ", "€€€€€€€€€€€€€€€.txt"}, // three-byte letters
        {"/r/𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt ", "𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞𝄞.txt"},   // four-byte letters
        {"C:\\Kappseglingar\\Segling\xE5r \xF6ver Sj\xF6str\xF6m.txt ",
         "r \xF6ver Sj\xF6str\xF6m.txt"}, // Latin-1: bytes
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
    EXPECT_EQ(TrackPointTime("57.1,11.2,20080120,103005Z", ','), expected);
    EXPECT_EQ(TrackPointTime("", ','), 0);
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"57,11", "the date \"\" is not eight digits"},
        {"57,11,200801,103005", "the date \"200801\" is not eight digits"},
        {"57,11,2008012,103005", "the date \"2008012\" is not eight digits"},
        {"57,11,200801209,103005", "the date \"200801209\" is not eight digits"},
        {"57,11, 20080120,103005", "the date \" 20080120\" is not eight digits"},
        {"57,11,2008O120,103005", "the date \"2008O120\" is not eight digits"},
        {"57,11,20080120,10300", "the time \"10300\" does not start with six digits"},
        {"57,11,20080120,1030:5", "the time \"1030:5\" does not start with six digits"},
        {"57,11,20081320,103005", "give no valid date and time (\"2008-13-20 10:30:05\")"},
        {"57,11,20080120,250000", "give no valid date and time"},
        {"57,11,20080230,103005", "give no valid date and time"},
        {"#header", "the date \"\" is not eight digits"},
    };
    for (const auto& c : cases) {
        try {
            TrackPointTime(c.line, ',');
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.line << "\n" << e.what();
        }
    }
}

// The four fields are those GetField gives, whatever the line's length (short lines, the
// usual 16 to 64 bytes read in blocks, longer ones) and wherever its separators stand,
// five or more of them included.
TEST(SplitTrackLine, FieldsAreThoseOfGetField)
{
    for (std::size_t length = 0; length <= 80; ++length) {
        for (const std::size_t every : {1, 2, 3, 7, 9, 15, 16, 17, 40, 100}) {
            std::string line(length, '7');
            for (std::size_t i = every - 1; i < length; i += every)
                line[i] = ';';
            if (length > 0)
                line[length / 2] = ','; // another separator's byte is text
            const TrackLineFields fields = SplitTrackLine(line, ';');
            const std::string_view expected[] = {GetField(line, 0, ';'), GetField(line, 1, ';'), GetField(line, 2, ';'),
                                                 GetField(line, 3, ';')};
            const std::string_view got[] = {fields.Lat, fields.Lon, fields.Date, fields.Time};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(got[i], expected[i]) << "field " << i << " of \"" << line << "\"";
                if (!expected[i].empty()) {
                    EXPECT_EQ(got[i].data(), expected[i].data()) << "field " << i << " of \"" << line << "\"";
                }
            }
        }
    }
}

// A line whose latitude reads as 0 has no fix and is not read further; in a fix the
// latitude and the longitude must be numbers on the globe, and the message quotes the field.
TEST(ReadTrackFix, FixesMustHoldNumbersOnTheGlobe)
{
    struct Case {
        const char* lat;
        const char* lon;
        const char* message; // "": a fix; "-": no fix
    };
    const Case cases[] = {
        {"57.7012345", "11.9012345", ""},
        {"-89.9999999", "-179.9999999", ""},
        {"90", "180", ""},
        {"-90.000000000", "180.0000000", ""},
        {"57.7", "11.901234567890123456", ""},
        {"00057.7", "0011.9", ""},
        {"+57.7", " 11.9\t", ""},
        {"5.77E1", "1.19d1", ""},
        {"", "", "-"},
        {"0", "999", "-"},
        {"0.000", "abc", "-"},
        {"-0", "11.9", "-"},
        {"abc", "11.9", "-"},
        {"nan", "11.9", "-"},
        {"0x10", "11.9", "-"},
        {"no position", "", "-"},
        {"57.7", "abc", "the longitude \"abc\" is not a number"},
        {"57.7", "nan", "the longitude \"nan\" is not a number"},
        {"57.7", "inf", "the longitude \"inf\" is not a number"},
        {"57.7", "", "the longitude \"\" is not a number"},
        {"57.7", "0x10", "the longitude \"0x10\" is not a number"},
        {"57.7", "11;9", "the longitude \"11;9\" is not a number"},
        {"57.7", "1 1.9", "the longitude \"1 1.9\" is not a number"},
        {"57.7", "1e999", "the longitude \"1e999\" is too large a number"},
        {"57.7x", "11.9", "the latitude \"57.7x\" is not a number"},
        {"5 7.1234567", "11.9", "the latitude \"5 7.1234567\" is not a number"},
        {"91", "11.9", "the latitude \"91\" is not a number from -90 to 90"},
        {"90.0000001", "11.9", "the latitude \"90.0000001\""},
        {"57.5E3", "11.9", "the latitude \"57.5E3\""}, // an exponent makes it 57500
        {"57.7", "180.00000001", "the longitude \"180.00000001\" is not a number from -180 to 180"},
    };
    for (const auto& c : cases) {
        const std::string line = std::string(c.lat) + "," + c.lon + ",20080120,103000";
        TrackTimeReader times;
        double lat = 0, lon = 0, time = 0;
        try {
            const bool fix = ReadTrackFix(SplitTrackLine(line, ','), times, lat, lon, time);
            EXPECT_EQ(fix, c.message[0] == '\0') << line;
            if (fix) {
                EXPECT_EQ(lat, LeadingNumber(c.lat)) << line;
                EXPECT_EQ(time, DateValueFromText("2008-01-20 10:30:00")) << line;
            }
        } catch (const Error& e) {
            EXPECT_NE(std::string(c.message).find(' '), std::string::npos) << line << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << line << ": " << e.what();
        }
    }
    // A line without a fix is not read further: its date and time may be anything.
    TrackTimeReader times;
    double lat = 0, lon = 0, time = 0;
    EXPECT_FALSE(ReadTrackFix(SplitTrackLine("0,0,garbage,x", ','), times, lat, lon, time));
}

// The reader that reuses the day of the previous line gives the same values and the
// same refusals as reading each line on its own.
TEST(TrackTimeReader, AgreesWithReadingEachLineAlone)
{
    // Every date with every time, a day at a time: the day is reused along each run.
    const char* dates[] = {"20080621",  "20080622", "20080230", "20080229", "20070229", "2008062", "2008062x",
                           "200806221", "18991229", "00000101", "20081301", "",         "20080621"};
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

struct LineOutcome {
    bool fix = false, positionChecked = false;
    double time = 0;
    TrackLineFields fields;
    std::string error;
};

// What reading the line whole gives.
LineOutcome ReadWhole(const std::string& line, char sep)
{
    LineOutcome o;
    o.fields = SplitTrackLine(line, sep);
    TrackTimeReader times;
    try {
        o.fix = ReadTrackFixTime(o.fields, times, o.time, o.positionChecked);
    } catch (const Error& e) {
        o.error = e.what();
    }
    return o;
}

// Copy `copy` of a shape's line: odd ones with a byte changed, added or taken away; the
// fifth on another day; the others as they are.
std::string LineVariant(const std::string& base, int copy, std::mt19937& next)
{
    static const char replacements[] = "0123456789.-+,; eE\xFA\xFF";
    std::string line = base;
    if (copy % 2 == 1) {
        const std::size_t at = next() % line.size();
        const char c = replacements[next() % (sizeof replacements - 1)];
        switch (next() % 4) {
        case 0:
            line.insert(line.begin() + static_cast<long>(at), c);
            break;
        case 1:
            line.erase(at, 1);
            break;
        default:
            line[at] = c;
            break;
        }
    } else if (copy == 4) {
        line.replace(line.find("2008"), 8, "20080622");
    }
    return line;
}

// The reader's outcome equals reading the line whole, its fields at the same places.
void ExpectSameOutcome(const LineOutcome& got, const LineOutcome& expected, const std::string& line)
{
    ASSERT_EQ(got.error, expected.error) << line;
    if (!expected.error.empty())
        return;
    ASSERT_EQ(got.fix, expected.fix) << line;
    if (!expected.fix)
        return;
    ASSERT_EQ(got.positionChecked, expected.positionChecked) << line;
    ASSERT_EQ(got.time, expected.time) << line;
    const std::string_view gotFields[] = {got.fields.Lat, got.fields.Lon, got.fields.Date, got.fields.Time};
    const std::string_view expectedFields[] = {expected.fields.Lat, expected.fields.Lon, expected.fields.Date,
                                               expected.fields.Time};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(gotFields[i], expectedFields[i]) << "field " << i << " of " << line;
        ASSERT_EQ(gotFields[i].data() - line.data(), expectedFields[i].data() - line.data())
            << "field " << i << " of " << line;
    }
}

// The reader of a track's lines in turn gives, for every line, the fields, fix, time,
// position check and refusal of reading that line whole. Lines of a few shapes, each
// followed by copies with bytes changed, added or taken away (digits, points, signs,
// separators, blanks, bytes of 0xFA and above, another date), so that lines of the shape
// learnt and lines just off it alternate.
TEST(TrackFixTimeReader, AgreesWithReadingEachLineWhole)
{
    const std::pair<std::string, char> shapes[] = {
        {"57.5982101,11.5010199,20080621,105226", ','},
        {"-33.8688197;-151.2092955;20080622;000001.5;extra", ';'},
        {"0.5982101,0.5010199,20080621,105226", ','},
        {"0.0000001,11.5010199,20080621,105226", ','},
        {"-0.0000000,11.5010199,20080621,105226", ','},
        {"157.59821,11.5,20080621,105226", ','},
        {"57.7,11.9,20080621,235959", ','},
        {"5.12345678,179.12345678,20081231,235959", ','},
        {"57.598210123,11.50101990,20080621,105226", ','},
    };
    std::mt19937 next(2008);
    TrackFixTimeReader reader;
    long shapedLines = 0;
    for (int round = 0; round < 3000; ++round) {
        const auto& [base, sep] = shapes[next() % std::size(shapes)];
        for (int copy = 0; copy < 8; ++copy) {
            const std::string line = LineVariant(base, copy, next);
            const LineOutcome expected = ReadWhole(line, sep);
            LineOutcome got;
            try {
                got.fix = reader.read(line, sep, got.fields, got.time, got.positionChecked);
            } catch (const Error& e) {
                got.error = e.what();
            }
            ExpectSameOutcome(got, expected, line);
            if (::testing::Test::HasFatalFailure())
                return;
            shapedLines += copy % 2 == 0 && expected.error.empty() && expected.fix ? 1 : 0;
        }
    }
    EXPECT_GT(shapedLines, 5000);
}

} // namespace
} // namespace tideplot
