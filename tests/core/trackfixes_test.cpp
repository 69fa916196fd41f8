#include "core/datetime.h"
#include "core/error.h"
#include "core/trackfixes.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tideplot
