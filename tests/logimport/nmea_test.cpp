// The NMEA 0183 import as loggers write their logs: the sentences in a line (checksums,
// talkers, timestamps and tag blocks in front), positions worked out from their digits,
// times and dates; whole logs with the points they give and what the import says about
// them (dates from RMC and ZDA or given, void fixes, broken checksums, cut short, long lines,
// line ends), and hostile logs.
#include "core/datetime.h"
#include "core/error.h"
#include "import/logimport.h"
#include "import/nmeasentence.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

// "$" + body + "*" + its checksum.
std::string S(const std::string& body)
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    char text[8];
    std::snprintf(text, sizeof text, "*%02X", sum);
    return "$" + body + text;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
    std::string text;
    for (const std::string& line : lines)
        text += line + eol;
    return text;
}

TEST(NmeaSentenceTest, LinesAsLoggersWriteThem)
{
    using nmea::LineKind;
    struct Case {
        std::string line;
        LineKind kind;
        const char* talker = "";
        const char* type = "";
        const char* field0 = "";
        const char* problem = "";
    };
    const std::string rmc = S("GPRMC,103144,A,4614.530,N,00610.621,E,06.0,107,110708,,,A");
    const Case cases[] = {
        {rmc, LineKind::Sentence, "GP", "RMC", "103144"},
        {"$IIMWV,058,R,12.7,N,A*1A", LineKind::Sentence, "II", "MWV", "058"},
        {"$IIMWV,058,R,12.7,N,A*1a", LineKind::Sentence, "II", "MWV", "058"},
        {"$IIMWV,058,R,12.7,N,A*1A  ", LineKind::Sentence, "II", "MWV", "058"},
        {"$GPGGA,103144,4614.530,N,00610.621,E,1,08,0.9,545.4,M,,M,,", LineKind::Sentence, "GP", "GGA", "103144"},
        {"$IIRMB,A,0.06,R,,OUC ,,,,,024.23,049,03.7,V,A*6", LineKind::Sentence, "II", "RMB", "A"},
        {"\\s:gps1,c:1561975200*5B\\" + rmc, LineKind::Sentence, "GP", "RMC", "103144"},
        {"2008-07-11T10:31:44.120Z " + rmc, LineKind::Sentence, "GP", "RMC", "103144"},
        {"1215772304.120 " + rmc, LineKind::Sentence, "GP", "RMC", "103144"},
        {"!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26", LineKind::Sentence, "AI", "VDM", "1"},
        {"$PGRME,15.0,M,45.0,M,25.0,M*1C", LineKind::Sentence, "P", "GRME", "15.0"},
        {"$GPZDA*00", LineKind::BadChecksum, "", "", "", "the checksum is 00, the sentence gives 48"},
        {"$IIMWV,058,R,12.7,N,A*1B", LineKind::BadChecksum, "", "", "", "the checksum is 1B, the sentence gives 1A"},
        {"$IIMWV,058,R,12.7,N,A*G1", LineKind::BadChecksum, "", "", "", "\"*G1\" is not two hexadecimal digits"},
        {"$IIMWV,058,R,12.7,N,A*", LineKind::BadChecksum, "", "", "", "\"*\" is not two hexadecimal digits"},
        {"   \t", LineKind::Blank},
        {"", LineKind::Blank},
        {"hello, world", LineKind::NotASentence, "", "", "", "no NMEA sentence"},
        {"$$$ $gprmc,1 $GP", LineKind::NotASentence, "", "", "", "no NMEA sentence"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line: " + c.line);
        nmea::Sentence s;
        std::string problem;
        EXPECT_EQ(nmea::ReadLine(c.line, s, problem), c.kind);
        if (c.kind == LineKind::Sentence) {
            EXPECT_EQ(s.Talker, c.talker);
            EXPECT_EQ(s.Type, c.type);
            EXPECT_EQ(s[0], c.field0);
        } else if (c.kind != LineKind::Blank) {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
}

// Degrees and minutes as decimal degrees, from the digits, rounded half up at 7 decimals.
TEST(NmeaSentenceTest, DegreesFromTheDigits)
{
    struct Case {
        const char* value;
        const char* hemisphere;
        bool latitude;
        const char* degrees;
        const char* problem = "";
    };
    const Case cases[] = {
        {"4614.530", "N", true, "46.2421667"},
        {"00610.621", "E", false, "6.1770167"},
        {"4916.45", "S", true, "-49.2741667"},
        {"12311.12", "W", false, "-123.1853333"},
        {"0000.000003", "N", true, "0.0000001"}, // 5e-8 degrees exactly: half up
        {"0000.0000029", "N", true, "0.0000000"},
        {"0000.000", "S", true, "0.0000000"},
        {"9000.0000", "N", true, "90.0000000"},
        {"18000", "W", false, "-180.0000000"},
        {"6005.071", "N", true, "60.0845167"},
        {"02332.346", "E", false, "23.5391000"},
        {"9000.0001", "N", true, "", "lies beyond 90 degrees"},
        {"4660.000", "N", true, "", "is not ddmm.mmmm"},
        {"18100.000", "E", false, "", "is not dddmm.mmmm"},
        {"46a4.530", "N", true, "", "is not ddmm.mmmm"},
        {"-4614.530", "N", true, "", "is not ddmm.mmmm"},
        {"", "", true, "", "the latitude is empty"},
        {"4614.530", "E", true, "", "the latitude's hemisphere \"E\" is not N or S"},
        {"00610.621", "", false, "", "the longitude's hemisphere \"\" is not E or W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.value) + "," + c.hemisphere);
        std::string problem;
        EXPECT_EQ(nmea::DecimalDegrees(c.value, c.hemisphere, c.latitude, problem), c.degrees);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.empty(), *c.problem == 0) << problem;
    }
}

TEST(NmeaSentenceTest, TimesAndDates)
{
    const std::pair<const char*, int> times[] = {{"103144", 37904},     {"103144.25", 37904}, {"000000", 0},
                                                 {"235959.999", 86399}, {"240000", -1},       {"103160", -1},
                                                 {"1031", -1},          {"10314a", -1},       {"103144,5", -1}};
    for (const auto& [text, second] : times)
        EXPECT_EQ(nmea::ReadTimeOfDay(text).value_or(-1), second) << text;
    const std::pair<const char*, long long> dates[] = {{"110708", DayNumber(2008, 7, 11)},
                                                       {"010180", DayNumber(1980, 1, 1)},
                                                       {"290200", DayNumber(2000, 2, 29)},
                                                       {"311279", DayNumber(2079, 12, 31)},
                                                       {"300208", -1},
                                                       {"1107081", -1},
                                                       {"", -1}};
    for (const auto& [text, day] : dates)
        EXPECT_EQ(nmea::ReadDdmmyy(text).value_or(-1), day) << text;
}

// RMC, GGA and GLL sentences of a fix at 46 14.530 N 6 10.621 E plus `i` thousandths of a
// minute each, at `time`.
std::string Rmc(const std::string& time, int i = 0, const std::string& date = "110708", const char* status = "A")
{
    char body[128];
    std::snprintf(body, sizeof body, "GPRMC,%s,%s,4614.%03d,N,00610.%03d,E,06.0,107,%s,,,A", time.c_str(), status,
                  530 + i, 621 + i, date.c_str());
    return S(body);
}
std::string Gga(const std::string& time, int i = 0, int quality = 1)
{
    char body[128];
    std::snprintf(body, sizeof body, "GNGGA,%s,4614.%03d,N,00610.%03d,E,%d,08,0.9,545.4,M,46.9,M,,", time.c_str(),
                  530 + i, 621 + i, quality);
    return S(body);
}
std::string Gll(const std::string& time, int i = 0, const char* status = "A")
{
    char body[128];
    std::snprintf(body, sizeof body, "IIGLL,4614.%03d,N,00610.%03d,E,%s,%s,A", 530 + i, 621 + i, time.c_str(), status);
    return S(body);
}
// The track line of that fix.
std::string Fix(int i, const std::string& date, const std::string& time)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.7f,%.7f,%s,%s", 46 + (14.530 + i / 1000.0) / 60, 6 + (10.621 + i / 1000.0) / 60,
                  date.c_str(), time.c_str());
    return text;
}

// A log as an instrument or a logger writes it, the track lines it gives and what the import
// says.
struct NmeaCase {
    const char* what;
    std::string log;
    std::vector<std::string> lines;
    std::vector<std::string> said; // warnings, then the no-point warning
    const char* date = nullptr;    // --date
    std::string error{};
    const char* name = "log.nmea";
};

const std::string kDay = "20080711";

class NmeaLogTest : public ::testing::Test {
protected:
    std::string WriteLog(const std::string& bytes, const std::string& name = "log.nmea") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        fs::remove(path + ".wind.txt");
        return path;
    }
    // Imports each case's log: the track lines it gives (in the order of the file) and what
    // the import says, in order; or why it refuses the log.
    void ExpectImports(const std::vector<NmeaCase>& cases)
    {
        for (const NmeaCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ":\n" + c.log.substr(0, 2000));
            const std::string log = WriteLog(c.log, c.name);
            LogImportOptions options;
            if (c.date)
                options.Read.GivenDate = DayNumber(2019, 7, 1) * 86400;
            try {
                const LogImportResult result = ImportLog(log, {}, options);
                EXPECT_EQ(c.error, "") << "imported";
                EXPECT_EQ(result.Format, LogFormat::Nmea);
                std::vector<std::string> said;
                for (const std::string& warning : result.Warnings)
                    said.push_back(warning.substr(log.size() + 2));
                if (!result.NoPointWarning.empty())
                    said.push_back(result.NoPointWarning.substr(log.size() + 2));
                ASSERT_EQ(said.size(), c.said.size()) << ::testing::PrintToString(said);
                for (std::size_t i = 0; i < said.size(); ++i)
                    EXPECT_TRUE(said[i].starts_with(c.said[i])) << said[i];
                std::string expected = c.lines.empty() ? "" : "Latitude,Longitude,Date,Time\r\n";
                for (const std::string& line : c.lines)
                    expected += line + "\r\n";
                EXPECT_EQ(Slurp(TrackFilePath(log)), expected);
            } catch (const Error& e) {
                EXPECT_EQ(e.what(), log + c.error);
                EXPECT_FALSE(fs::exists(TrackFilePath(log)));
            }
        }
    }

    TempDir dir_;
};

// RMC, GGA, GLL and ZDA sentences with any line ends, timestamps, tag blocks and talkers.
TEST_F(NmeaLogTest, SentencesGiveTheirPoints)
{
    ExpectImports({
        {"RMC with CR LF",
         Lines({Rmc("103144"), Rmc("103145", 1)}),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145")},
         {}},
        {"LF, CR and fractions of a second",
         Lines({Rmc("103144.20"), Rmc("103145.20", 1)}, "\n") + Rmc("103146", 2) + "\r" + Rmc("103147", 3),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145"), Fix(2, kDay, "103146"), Fix(3, kDay, "103147")},
         {}},
        {"GGA gives the positions, RMC the date, also to the GGA before it and across midnight",
         Lines({Gga("235958"), Rmc("235958", 9, "110708"), Gga("235959", 1), Rmc("235959", 9, "110708"),
                Gga("000000", 2), Gga("000001", 3), Rmc("000001", 9, "120708")}),
         {Fix(0, kDay, "235958"), Fix(1, kDay, "235959"), Fix(2, "20080712", "000000"), Fix(3, "20080712", "000001")},
         {}},
        {"a GGA before the first RMC, on the day before it",
         Lines({Gga("235959"), Gga("000000", 1), Rmc("000000", 1, "120708")}),
         {Fix(0, kDay, "235959"), Fix(1, "20080712", "000000")},
         {}},
        {"GLL with ZDA's date",
         Lines({S("GPZDA,103144.00,11,07,2008,00,00"), Gll("103144"), Gll("103145", 1)}),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145")},
         {}},
        {"leading timestamps, tag blocks and any talker",
         Lines({"2008-07-11T10:31:44.120Z " + Rmc("103144"), "\\s:gps,c:1215772305*00\\" + Rmc("103145", 1),
                "1215772306.1 " + Rmc("103146", 2)}),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145"), Fix(2, kDay, "103146")},
         {}},
    });
}

// Void fixes, no fix, broken checksums, a log cut short and an overlong line are passed over,
// the first's line and the reason said.
TEST_F(NmeaLogTest, UnusableSentencesAreSkippedWithTheirReason)
{
    const std::string longLine(100 * 1024, 'x');
    ExpectImports({
        {"void fixes",
         Lines({Rmc("103143", 0, "110708", "V"), Rmc("103144"), Gll("103145", 1, "V"), Rmc("103146", 2)}),
         {Fix(0, kDay, "103144"), Fix(2, kDay, "103146")},
         {"1 point skipped, at line 1: the fix is void (RMC status \"V\")"}},
        {"GGA without a fix",
         Lines({Gga("103143", 0, 0), Rmc("103143"), Gga("103144", 1), Rmc("103144", 1)}),
         {Fix(0, kDay, "103143"), Fix(1, kDay, "103144")},
         {"1 point skipped, at line 1: the receiver has no fix (GGA quality \"0\")"}},
        {"a broken checksum",
         Lines({Rmc("103144"), Rmc("103145", 1).substr(0, 58) + "*00", Rmc("103146", 2)}),
         {Fix(0, kDay, "103144"), Fix(2, kDay, "103146")},
         {"1 sentence failed the checksum and was passed over, at line 2: the checksum is 00"}},
        {"checksums broken everywhere",
         Lines({Rmc("103144").substr(0, 58) + "*00", Rmc("103145").substr(0, 58) + "*01"}),
         {},
         {"no point found: it holds no NMEA sentence with a right checksum; 2 sentences failed the checksum, the "
          "first at line 1: the checksum is 00, the sentence gives 51"}},
        {"cut short in a sentence",
         Lines({Rmc("103144"), Rmc("103145", 1)}) + Rmc("103146", 2).substr(0, 30),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145")},
         {"the log ends early at line 3 (was the logger stopped while writing?): 2 points before it were kept"}},
        {"a line of 100 KB",
         Lines({Rmc("103144"), longLine, Rmc("103145", 1)}),
         {Fix(0, kDay, "103144"), Fix(1, kDay, "103145")},
         {"1 line holds no NMEA sentence and was passed over, at line 2: the line is longer than any sentence "
          "(4,096 bytes)"}},
    });
}

// A log without a date is refused unless one is given, which a log with its own does not use.
TEST_F(NmeaLogTest, ALogWithoutADateTakesTheOneGiven)
{
    ExpectImports({
        {"no date: refused",
         Lines({Gll("103144"), Gll("103145", 1)}),
         {},
         {},
         nullptr,
         ", line 1: the log gives the time of day of its positions but no date (no RMC or ZDA sentence holds one): "
         "give the date (UTC) of its first position with --date YYYY-MM-DD"},
        {"no date, given: it moves on at midnight",
         Lines({Gll("235959"), Gll("000000", 1)}),
         {Fix(0, "20190701", "235959"), Fix(1, "20190702", "000000")},
         {"the log gives no date: its first time is dated 2019-07-01 as given, and the dates after it follow on"},
         "2019-07-01"},
        {"a date given to a log with its own",
         Lines({Rmc("103144")}),
         {Fix(0, kDay, "103144")},
         {"the log gives its own dates (RMC, ZDA): the date given, 2019-07-01, was not used"},
         "2019-07-01"},
    });
}

// A log without a position or without a sentence says so; a log is told by its content.
TEST_F(NmeaLogTest, ALogIsToldByItsContent)
{
    ExpectImports({
        {"no position",
         Lines({"$IIMWV,058,R,12.7,N,A*1A", "$IIHDG,110,,,,*57"}),
         {},
         {"no point found: it holds 2 NMEA sentences but no position (RMC, GGA, GLL); the import needs positions "
          "with a time: RMC, GGA or GLL sentences of a fix"}},
        {"no sentence at all",
         "hello\nworld\n",
         {},
         {},
         nullptr,
         ": no NMEA 0183 sentence in its 2 lines (the first: no NMEA sentence (\"$\" and an address such as GPRMC) in "
         "\"hello\"): this is no NMEA log; the import reads NMEA 0183, GPX, KML, KMZ and FIT logs",
         "garbage.log"},
        {"bytes of anything with a stray sentence, ending without a line end",
         [] {
             std::string junk;
             for (int line = 0; line < 300; ++line)
                 junk += "junk\n";
             return junk + "$GPXYZ,1\n\x01junk";
         }(),
         {},
         {},
         nullptr,
         ": no position in its 301 lines, of which only 1 read as NMEA 0183 sentences (the first line that did not: "
         "no NMEA sentence (\"$\" and an address such as GPRMC) in \"junk\"): this is no NMEA log; the import reads "
         "NMEA 0183, GPX, KML, KMZ and FIT logs",
         "garbage.log"},
        {"told by its content, whatever its name",
         Lines({Rmc("103144")}),
         {Fix(0, kDay, "103144")},
         {},
         nullptr,
         "",
         "log.kml"},
    });
}

} // namespace
} // namespace tideplot
