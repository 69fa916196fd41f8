#include "core/error.h"
#include "core/linereader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tideplot {
namespace {

class LineReaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes)
    {
        path_ = (std::filesystem::temp_directory_path() /
                 ("tideplot_lines_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                    .string();
        std::ofstream(path_, std::ios::binary) << bytes;
        return path_;
    }
    void TearDown() override { std::filesystem::remove(path_); }

    std::vector<std::string> ReadWithEnds(const std::string& bytes, std::vector<bool>& atEndAfter)
    {
        LineReader reader(Write(bytes));
        std::vector<std::string> lines;
        while (!reader.AtEnd()) {
            lines.emplace_back(reader.ReadLine());
            atEndAfter.push_back(reader.AtEnd());
        }
        return lines;
    }

    std::string path_;
};

TEST_F(LineReaderTest, LineEndsAndAtEnd)
{
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\r\n", {""}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"", {}},
        {"only", {"only"}},
        {"\xEF\xBB\xBF"
         "a\r\nb",
         {"a", "b"}},
        {"\xEF\xBB\xBF", {}},
        {"a\xEF\xBB\xBF", {"a\xEF\xBB\xBF"}},
    };
    for (const auto& c : cases) {
        std::vector<bool> atEnd;
        EXPECT_EQ(ReadWithEnds(c.bytes, atEnd), c.lines);
        // True right after the last line, whether or not it ends with a line break.
        for (std::size_t i = 0; i < atEnd.size(); ++i)
            EXPECT_EQ(atEnd[i], i + 1 == atEnd.size()) << "line " << i;
    }
}

TEST_F(LineReaderTest, LinesCrossingTheBufferKeepEveryByte)
{
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        std::string line = std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x');
        expected.push_back(line);
        bytes += line;
        bytes += (i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "\n" : "\r");
    }
    expected.push_back(std::string(kMaxLineBytes, 'y')); // the longest line: a whole buffer
    bytes += expected.back();
    std::vector<bool> atEnd;
    EXPECT_EQ(ReadWithEnds(bytes, atEnd), expected);
}

TEST_F(LineReaderTest, CrLfSplitAcrossTheBuffer)
{
    // Put the CR as the last byte of the first 64 KiB block.
    std::string bytes(65535, 'a');
    bytes += "\r\nb";
    std::vector<bool> atEnd;
    EXPECT_EQ(ReadWithEnds(bytes, atEnd), (std::vector<std::string>{std::string(65535, 'a'), "b"}));
}

TEST_F(LineReaderTest, LineNumbersAndErrors)
{
    LineReader reader(Write("x\ny\n"));
    reader.ReadLine();
    EXPECT_EQ(reader.LineNumber(), 1);
    reader.ReadLine();
    EXPECT_EQ(reader.LineNumber(), 2);
    EXPECT_THROW(reader.ReadLine(), Error);
    try {
        LineReader missing("/nonexistent/dir/track.txt");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/track.txt"), std::string::npos);
    }
}

// Files that are no text of short lines are refused at once, naming the file (and the
// line), before memory grows with them.
TEST_F(LineReaderTest, RefusesUtf16EndlessLinesAndNulInNames)
{
    const std::string name = std::filesystem::path(Write("")).filename().string();
    const std::string utf16 = name + " looks like UTF-16 text; save it as plain text";
    const std::string tooLong = "the line is longer than 64 KiB";
    struct Case {
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {std::string("\xFF\xFE"
                     "5\0"
                     "7\0",
                     6),
         utf16}, // UTF-16 LE with its byte order mark
        {std::string("\xFE\xFF"
                     "\0"
                     "5\0"
                     "7",
                     6),
         utf16}, // UTF-16 BE
        {std::string("5\0"
                     "7\0"
                     ".\0"
                     "7\0"
                     ",\0",
                     10),
         utf16}, // UTF-16 LE without a mark
        {"h\n" + std::string(kMaxLineBytes + 1, 'x') + "\n", name + ", line 2: " + tooLong},
        {std::string(3 * kMaxLineBytes, 'x'), name + ", line 1: " + tooLong}, // no line break at all
    };
    for (const auto& c : cases) {
        try {
            LineReader reader(Write(c.bytes));
            while (!reader.AtEnd())
                reader.ReadLine();
            ADD_FAILURE() << "no failure, expected: " << c.message;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    // An endless file of NUL bytes fails within its first line.
    if (std::filesystem::exists("/dev/zero")) {
        LineReader zero("/dev/zero");
        EXPECT_THROW(zero.ReadLine(), Error);
    }
    // A name with a NUL byte would open the shorter name before it.
    Write("x\n");
    try {
        LineReader reader(path_ + std::string(1, '\0') + ".txt");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("\\x00.txt\" holds a NUL byte"), std::string::npos) << e.what();
    }
}

TEST_F(LineReaderTest, OffsetIsWhereTheNextLineStarts)
{
    LineReader reader(Write("\xEF\xBB\xBF"
                            "ab\r\ncde\rf"));
    EXPECT_EQ(reader.Offset(), 0);
    reader.ReadLine();
    EXPECT_EQ(reader.Offset(), 7);
    reader.ReadLine();
    EXPECT_EQ(reader.Offset(), 11);
    reader.ReadLine();
    EXPECT_EQ(reader.Offset(), 12);
}

} // namespace
} // namespace tideplot
