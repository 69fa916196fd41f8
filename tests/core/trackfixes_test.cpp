#include "core/datetime.h"
#include "core/error.h"
#include "core/trackfixes.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>

namespace tideplot {
namespace {

using testing::TempDir;

// The lines a replay takes from a track file: the header skipped, a fix at the second of the
// last fix kept passed over (also with lines without a fix between them, and unread), lines without a fix
// kept; the file is at its end right after the last line that counts. The fixes are the
// same lines, the readers of results and animations take.
TEST(TrackLineReader, RepeatsArePassedOverAsIfDeleted)
{
    TempDir dir;
    const std::vector<std::string> file = {
        "# logger",                    // 1 header
        "lat,lon,date,time",           // 2 ends the header
        "57.1,11.1,20080621,100000",   // 3
        "57.2,11.2,20080621,100000",   // 4 repeat
        "0,0,20080621,100001",         // 5 no fix: kept
        "57.3,11.3,20080621,100000",   // 6 repeat of line 3, after a line without a fix
        "",                            // 7 kept
        "57.4,11.4,20080621,100005",   // 8
        "57.5,11.5,20080621,100005.5", // 9 the same second
        "57.4,11.4,20080621,100005",   // 10 the end placemark
        "57.6,abc,20080621,100005",    // 11 a repeat, whatever else it holds
    };
    dir.write("a.txt", file);
    TrackLineReader lines(dir.file("a.txt"), ',');
    SkipTrackHeader(lines.HeaderLines());
    std::vector<long> kept;
    while (!lines.AtEnd())
        kept.push_back(lines.ReadLine().Number);
    EXPECT_EQ(kept, (std::vector<long>{3, 5, 7, 8}));

    TrackFixReader fixes(dir.file("a.txt"), ',');
    std::vector<long> fixLines;
    for (TrackFix fix; fixes.next(fix);) {
        fixLines.push_back(fix.Line);
        EXPECT_EQ(fix.Lat, fix.Line == 3 ? 57.1 : 57.4);
        EXPECT_EQ(fix.Time, DateValueFromText(fix.Line == 3 ? "2008-06-21 10:00:00" : "2008-06-21 10:00:05"));
    }
    EXPECT_EQ(fixLines, (std::vector<long>{3, 8}));
}

// A fix that cannot be read is named with its file, line and field when its turn comes,
// though the line was read ahead.
TEST(TrackLineReader, AFixThatCannotBeReadFailsInItsTurn)
{
    TempDir dir;
    dir.write("b.txt", {"h", "57.1,11.1,20080621,100000", "57.2,abc,20080621,100005"});
    TrackLineReader lines(dir.file("b.txt"), ',');
    SkipTrackHeader(lines.HeaderLines());
    EXPECT_EQ(lines.ReadLine().Number, 2);
    EXPECT_FALSE(lines.AtEnd());
    try {
        lines.ReadLine();
        ADD_FAILURE() << "line 3 was read";
    } catch (const TrackLineError& e) {
        EXPECT_EQ(std::string(e.what()), "b.txt, line 3: the longitude \"abc\" is not a number (such as 11.9012345)");
        EXPECT_EQ(e.Text, "57.2,abc,20080621,100005");
    }
    TrackFixReader fixes(dir.file("b.txt"), ',');
    TrackFix fix;
    EXPECT_TRUE(fixes.next(fix));
    EXPECT_THROW(fixes.next(fix), Error);
}

// A fix's coordinates are the numbers of their fields' text, as NumberOfText reads them:
// the usual decimals and every other form it takes or refuses.
TEST(TrackLine, CoordinatesAreTheNumbersOfTheirText)
{
    constexpr double kRefused = -999;
    const std::pair<const char*, double> cases[] = {
        {"57.5982101", 57.5982101},
        {"-57.5982101", -57.5982101},
        {"11.50101990", 11.5010199},
        {"179.12345678", 179.12345678},
        {"-179.99999999", -179.99999999},
        {"57.598210123", 57.598210123},
        {"0.0000001", 1e-7},
        {"57", 57},
        {"057.5", 57.5},
        {"0.5", 0.5},
        {"-0", -0.0},
        {"-0.0000000", -0.0},
        {"5.", 5},
        {".5", 0.5},
        {"+5.5", 5.5},
        {"1e3", 1000},
        {"1E-3", 0.001},
        {" 57.5", 57.5},
        {"57.5 ", 57.5},
        {"\t57.5", 57.5},
        {"1234567890123456789.5", 1234567890123456789.5},
        {"0.12345678901234567890", 0.12345678901234567890},
        {"9007199254740993", 9007199254740993.0},
        {"57.5.1", kRefused},
        {"5 7", kRefused},
        {"1e400", kRefused},
        {"abc", kRefused},
        {"", kRefused},
        {"-", kRefused},
        {"0x10", kRefused},
        {"nan", kRefused},
        {"57,5", kRefused},
    };
    for (const auto& [text, expected] : cases) {
        TrackLine line;
        line.Text = std::string("x;") + text + ";y";
        line.LatFrom = line.LonFrom = 2;
        line.LatSize = line.LonSize = static_cast<std::uint32_t>(std::strlen(text));
        if (expected == kRefused) {
            EXPECT_THROW(line.Lat(), Error) << text;
            EXPECT_THROW(line.Lon(), Error) << text;
            continue;
        }
        double lat = 0, lon = 0;
        ASSERT_NO_THROW(lat = line.Lat()) << text;
        ASSERT_NO_THROW(lon = line.Lon()) << text;
        EXPECT_EQ(lat, expected) << text;
        EXPECT_EQ(lon, expected) << text;
        EXPECT_EQ(std::signbit(lat), std::signbit(expected)) << text;
    }
}

// A track of many lines: fixes a second apart of one shape, with repeats, times that go back
// or jump, lines without a fix, other shapes and, in some tracks, bytes changed (digits,
// points, signs, separators, blanks, line breaks, bytes of 0xFA and above); line breaks LF,
// CR LF, CR or mixed; the last line with or without its line break; a day after or before
// the epoch of date values (1899-12-30).
std::string MadeTrack(unsigned seed, int lines)
{
    std::mt19937 next(seed);
    const char* const breaks[] = {"\n", "\r\n", "\r"};
    const int breakKind = static_cast<int>(seed % 4); // 3: mixed
    const bool changeBytes = seed % 3 == 0;
    std::string bytes = "lat,lon,date,time\n";
    double lat = 57.5982101, lon = 11.5010199;
    int second = 10 * 3600 + 52 * 60 + 26, decimals = 7;
    // Before the epoch a later time of day is an earlier date value: the track runs forward
    // with its seconds counting down.
    const int forward = seed % 5 == 4 ? -1 : 1;
    for (int i = 0; i < lines; ++i) {
        const unsigned roll = next() % 1000;
        if (roll < 40) {
            // the same second: a repeat
        } else if (roll < 50) {
            second -= 3 * forward;
        } else if (roll < 55) {
            second += 400 * forward;
        } else {
            second += forward;
        }
        second = std::clamp(second, 0, 86399);
        if (roll >= 990)
            decimals = 1 + static_cast<int>(next() % 9);
        lat += (static_cast<double>(next() % 2001) - 1000) * 1e-7;
        lon += (static_cast<double>(next() % 2001) - 1000) * 1e-7;
        char line[128];
        std::snprintf(line, sizeof line, "%.*f,%.*f,%s,%02d%02d%02d", decimals, lat, decimals, lon,
                      seed % 5 == 4 ? "18991229" : "20080621", second / 3600, second / 60 % 60, second % 60);
        std::string text = line;
        if (roll >= 975 && roll < 985)
            text = roll % 2 ? "0,0,20080621,105226" : "";
        if (changeBytes && next() % 300 == 0) {
            const char replacements[] = "0123456789.-+,; eE\t\r\n\xFA\xFF";
            const std::size_t at = next() % (text.size() + 1);
            const char c = replacements[next() % (sizeof replacements - 1)];
            text.insert(text.begin() + static_cast<long>(at), c);
            if (next() % 2 && at + 1 < text.size())
                text.erase(at + 1, 1);
        }
        bytes += text;
        if (i + 1 < lines || seed % 2)
            bytes += breaks[breakKind == 3 ? next() % 3 : static_cast<unsigned>(breakKind)];
    }
    return bytes;
}

// What the replay takes from one stretch of a track.
struct Stretch {
    long Number = 0, Offset = 0;
    std::string Text, Error;
    bool Fix = false, FixPassed = false, AtEnd = false;
    double Time = 0, Lat = 0, Lon = 0;
    bool operator==(const Stretch&) const = default;
};

Stretch ReadStretch(TrackLineReader& lines, double start, double after, bool eachLine)
{
    Stretch s;
    try {
        const TrackLine* line = nullptr;
        if (eachLine) {
            for (;;) {
                line = &lines.ReadLine();
                if (lines.AtEnd() || (line->Fix && line->Time - start > after))
                    break;
                s.FixPassed = s.FixPassed || line->Fix;
            }
        } else {
            line = &lines.ReadPast(start, after, s.FixPassed);
        }
        s.Number = line->Number;
        s.Offset = static_cast<long>(line->Offset);
        s.Text = line->Text;
        s.Fix = line->Fix;
        s.Time = line->Time;
        if (s.Fix) {
            s.Lat = line->Lat();
            s.Lon = line->Lon();
        }
        s.AtEnd = lines.AtEnd();
    } catch (const Error& e) {
        s.Error = e.what();
    }
    return s;
}

// ReadPast, which the replay's steps read with, stops at the line, with the same fixes
// passed, the same refusals and the same place in the file, as reading each line in turn;
// also after going back to a place the reader was at.
TEST(TrackLineReader, ReadPastStopsWhereReadingEachLineStops)
{
    TempDir dir;
    for (unsigned seed = 0; seed < 24; ++seed) {
        const std::string path = dir.writeBytes("t" + std::to_string(seed) + ".txt", MadeTrack(seed, 6000));
        TrackLineReader each(path, ','), past(path, ',');
        SkipTrackHeader(each.HeaderLines());
        SkipTrackHeader(past.HeaderLines());
        std::mt19937 next(seed);
        const double start = DateValueFromText(seed % 5 == 4 ? "1899-12-29 10:50:00" : "2008-06-21 10:50:00");
        double after = -1.0 / 86400;
        std::optional<TrackLineReader::Position> saved;
        int stretches = 0;
        while (!each.AtEnd()) {
            ASSERT_FALSE(past.AtEnd()) << seed;
            after += static_cast<double>(next() % 40) / 86400;
            const Stretch expected = ReadStretch(each, start, after, true);
            const Stretch got = ReadStretch(past, start, after, false);
            ASSERT_EQ(got, expected) << "track " << seed << ", line " << expected.Number << ": " << expected.Error;
            ++stretches;
            if (!expected.Error.empty())
                break;
            if (stretches == 50)
                saved = past.position();
            if (stretches == 60) {
                past.restore(*saved);
                each.restore(*saved);
            }
        }
        EXPECT_EQ(past.AtEnd(), each.AtEnd());
        EXPECT_GT(stretches, seed % 3 == 0 ? 1 : 100) << seed;
    }
}

} // namespace
} // namespace tideplot
