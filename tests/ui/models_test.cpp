// The rules of the set-up window without its widgets: the boat list, the boxes that show a
// row, the colour swatch and the race file.
#include "core/colour.h"
#include "core/error.h"
#include "support/racefiles.h"
#include "ui/boatlist.h"
#include "ui/racefile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include <sys/resource.h>

namespace tideplot::testing {
namespace {

std::string ReadBytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

const EntryBoxes kInitialBoxes{"2007-01-01 12:30:00", "1.10", "100", ","};

TEST(BoatList, AddJoinsFolderAndFileWithTheSeparatorAndTheBoxesAsTyped)
{
    BoatList list;
    EXPECT_FALSE(list.add("/home/race", "", '/', kInitialBoxes)) << "no file selected";
    EXPECT_FALSE(list.add("", "boat1.txt", '/', kInitialBoxes));
    ASSERT_TRUE(list.add("C:\\Race", "boat1.txt", '\\', kInitialBoxes));
    ASSERT_TRUE(list.add("/", "boat1.txt", '/', {"x", "", " 7 ", "\t"}));
    EXPECT_EQ(list.rows()[0], "C:\\Race\\boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,");
    EXPECT_EQ(list.rows()[1], "//boat1.txt , x ,  ,  7  , \t") << "a root folder already ends in the separator";
    EXPECT_EQ(list.selectedIndex(), 0);
}

TEST(BoatList, RowsShowInTheBoxes)
{
    struct Case {
        const char* row;
        EntryBoxes shown;
    };
    const Case cases[] = {
        {"C:\\Race\\boat1.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,", {"2007-01-01 12:30:00", " 1.10 ", " 100 ", ","}},
        {"b.txt , 2007-1-1 9:05 , 1 , 2 , ;", {"2007-01-01 09:05:00", " 1 ", " 2 ", ";"}},
        {"b.txt , tomorrow , 1 , 2 , ;", {" tomorrow ", " 1 ", " 2 ", ";"}}, // no date: unchanged
        {"b.txt , 2008-06-21 11:00:00 , 1 , 2 ,  ", {"2008-06-21 11:00:00", " 1 ", " 2 ", ","}},
        {"b.txt , 2008-06-21 11:00:00 , 1 , 2 , \t", {"2008-06-21 11:00:00", " 1 ", " 2 ", "\t"}},
        {"", {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        const EntryBoxes b = BoxesOfRow(c.row);
        EXPECT_EQ(b.StartTime, c.shown.StartTime) << c.row;
        EXPECT_EQ(b.Lys, c.shown.Lys) << c.row;
        EXPECT_EQ(b.Colour, c.shown.Colour) << c.row;
        EXPECT_EQ(b.SepChar, c.shown.SepChar) << c.row;
    }
}

TEST(BoatList, ChangeKeepsTheTrackFileAndMovesTheRowToTheEnd)
{
    BoatList list;
    list.setRows({"/r/a.txt , 2007-01-01 12:30:00 , 1.10 , 100 , ,", "/r/b.txt , 2007-01-01 12:30:00 , 1 , 5 , ,"});
    EntryBoxes shown;
    for (int row : {0, 1, 1}) { // the same entry changed three times, the boxes as shown
        ASSERT_TRUE(list.select(row, shown));
        ASSERT_TRUE(list.change(shown));
    }
    EXPECT_EQ(list.rows()[0], "/r/b.txt , 2007-01-01 12:30:00 , 1 , 5 , ,");
    EXPECT_EQ(list.rows()[1], "/r/a.txt , 2007-01-01 12:30:00 ,    1.10    ,    100    , ,")
        << "the path keeps its characters; LYS and colour gain their blanks as shown";

    ASSERT_FALSE(list.select(-1, shown));
    EXPECT_FALSE(list.change(kInitialBoxes)) << "no row highlighted";
}

TEST(BoatList, DeleteRemovesTheRowAtTheRememberedPosition)
{
    BoatList list;
    EXPECT_FALSE(list.remove()) << "empty list";
    list.setRows({"one", "two", "three"});
    EXPECT_EQ(list.highlightedRow(), 0) << "at start the first row is the one Delete removes";
    EntryBoxes shown;
    list.select(1, shown);
    EXPECT_TRUE(list.remove());
    EXPECT_EQ(list.highlightedRow(), 1);
    EXPECT_TRUE(list.remove());
    EXPECT_EQ(list.highlightedRow(), -1);
    EXPECT_FALSE(list.remove()) << "the position points at no row";
    EXPECT_EQ(list.rows(), std::vector<std::string>{"one"});
}

TEST(BoatList, SwatchTakesTheColourOfTheLeadingNumber)
{
    const std::pair<const char*, std::string> cases[] = {
        {"300", ColourHex(300)},   {"abc", ColourHex(0)},     {"2000", "ffffff"}, {" 1023 ", ColourHex(1023)},
        {"100.5", ColourHex(100)}, {"101.5", ColourHex(102)}, {"1e20", "ffffff"}, {"-3000000000", "ffffff"},
    };
    for (const auto& [text, hex] : cases)
        EXPECT_EQ(SwatchColour(text), WindowColour(hex)) << text;
    EXPECT_EQ(SwatchColour("2000"), 0xffffffu);
}

TEST(RaceFile, ReadsEveryLineEndAndWritesCrLf)
{
    TempDir dir;
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"", {}},
        {"\xEF\xBB\xBF"
         "a\r\n",
         {"a"}},
    };
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(ReadRaceFile(dir.writeBytes("r.TP1", bytes)), lines) << bytes;

    const std::string path = dir.file("båt.TP1");
    WriteRaceFile(path, {"Å.txt , 1 , 2 , 3 , ,", ""});
    EXPECT_EQ(ReadBytesOf(path), "Å.txt , 1 , 2 , 3 , ,\r\n\r\n");
    EXPECT_THROW(ReadRaceFile(dir.file("missing.TP1")), Error);

    CreateRaceFileIfMissing(path);
    EXPECT_EQ(ReadBytesOf(path), "Å.txt , 1 , 2 , 3 , ,\r\n\r\n") << "an existing file keeps its content";
    CreateRaceFileIfMissing(dir.file("new.TP1"));
    EXPECT_EQ(ReadBytesOf(dir.file("new.TP1")), "");
    EXPECT_THROW(CreateRaceFileIfMissing(dir.file("no/such/folder.TP1")), Error);
}

TEST(RaceFile, AFailingSaveLeavesTheOldFileWhole)
{
    TempDir dir;
    const std::string path = dir.writeBytes("race.TP1", "old\r\n");
    // Files may grow to 64 bytes only: the save fails part way, as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    bool failed = false;
    try {
        WriteRaceFile(path, std::vector<std::string>(10, "a row of more than ten bytes"));
    } catch (const Error& e) {
        failed = std::string(e.what()).find("race.TP1") != std::string::npos;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadBytesOf(path), "old\r\n");
}

} // namespace
} // namespace tideplot::testing
