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
    expected.push_back(std::string(200000, 'y')); // longer than the buffer
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

} // namespace
} // namespace tideplot
