#include "core/error.h"
#include "core/linereader.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tideplot {
namespace {

class LineReaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes) { return dir.writeBytes("lines.txt", bytes); }

    // Every line, checking that AtEnd() turns true right after the last one, whether or not it
    // ends with a line break.
    std::vector<std::string> ReadAll(const std::string& bytes)
    {
        LineReader reader(Write(bytes));
        std::vector<std::string> lines;
        while (!reader.AtEnd()) {
            lines.emplace_back(reader.ReadLine());
            if (reader.AtEnd() != (reader.LineNumber() == expectedLines))
                ADD_FAILURE() << "AtEnd() is " << reader.AtEnd() << " after line " << reader.LineNumber();
        }
        return lines;
    }

    testing::TempDir dir;
    long expectedLines = 0;
};

TEST_F(LineReaderTest, LineEndsAndAtEndAcrossTheBuffer)
{
    // The CR of a CR LF as the last byte of the first 64 KiB block.
    const std::string block(65535, 'a');
    // Many lines crossing the buffer, with every line end, and the longest line last.
    std::string many;
    std::vector<std::string> manyLines;
    for (int i = 0; i < 20000; ++i) {
        manyLines.push_back(std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x'));
        many += manyLines.back() + (i % 3 == 0 ? "\r\n" : (i % 3 == 1 ? "\n" : "\r"));
    }
    manyLines.push_back(std::string(kMaxLineBytes, 'y'));
    many += manyLines.back();
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
        {"\xEF\xBB\xBFx\r\nb", {"x", "b"}},
        {"\xEF\xBB\xBF", {}},
        {"a\xEF\xBB\xBF", {"a\xEF\xBB\xBF"}},
        {block + "\r\nb", {block, "b"}},
        {many, manyLines},
    };
    for (const auto& c : cases) {
        expectedLines = static_cast<long>(c.lines.size());
        EXPECT_EQ(ReadAll(c.bytes), c.lines) << c.bytes.substr(0, 20);
    }
}

TEST_F(LineReaderTest, OffsetIsWhereTheNextLineStarts)
{
    LineReader reader(Write("\xEF\xBB\xBFxy\r\ncde\rf"));
    EXPECT_EQ(reader.Offset(), 0);
    for (const long offset : {7, 11, 12}) {
        reader.ReadLine();
        EXPECT_EQ(reader.Offset(), offset);
    }
    EXPECT_THROW(reader.ReadLine(), Error);
}

// Files that are no text of short lines are refused at once, naming the file (and the
// line), before memory grows with them.
TEST_F(LineReaderTest, RefusesUtf16EndlessLinesAndNulInNames)
{
    const std::string path = Write("");
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string notText = name + " looks like UTF-16 text; save it as plain text";
    const std::string tooLong = "the line is longer than 64 KiB";
    struct Case {
        std::string bytes;
        std::string message;
    };
    // "57.7," in UTF-16, little or big endian, with or without a byte order mark.
    const auto utf16 = [](const std::string& mark, bool bigEndian) {
        std::string bytes = mark;
        for (const char c : std::string("57.7,"))
            bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
        return bytes;
    };
    const Case cases[] = {
        {utf16("\xFF\xFE", false), notText},
        {utf16("\xFE\xFF", true), notText},
        {utf16("", false), notText},
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
    // A name with a NUL byte would open the shorter name before it.
    try {
        LineReader reader(path + std::string(1, '\0') + ".txt");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("\\x00.txt\" holds a NUL byte"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace tideplot
