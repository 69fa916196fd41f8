#include "coursefile.h"

#include "error.h"
#include "linereader.h"
#include "outputfile.h"
#include "text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tideplot {

namespace {

constexpr std::array<const char*, 4> kFieldNames{"LAT1", "LON1", "LAT2", "LON2"};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The first word of a line and the rest after it.
std::string_view FirstWord(std::string_view line, std::string_view& rest)
{
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    rest = line.substr(end);
    return line.substr(start, end - start);
}

bool IsFinishKey(std::string_view word)
{
    return word.size() == kFinishKey.size() && EndsWithNoCase(word, kFinishKey);
}

double CoordinateOfText(std::string_view text, const char* field, std::string_view whole)
{
    std::string_view number = text;
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value))
        throw Error("the finish line " + QuotedText(whole) + ": " + field + " " + QuotedText(text) +
                    " is not a number (decimal degrees with \".\" as the decimal point, such as 57.6012)");
    return value;
}

void AppendNumber(std::string& out, double value)
{
    std::array<char, 512> buffer;
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0, std::chars_format::fixed);
    if (ec != std::errc())
        throw Error("the finish line: the number " + ShortNumberText(value) + " cannot be written");
    out.append(buffer.data(), end);
}

} // namespace

std::string CourseFilePath(const std::string& raceFileName)
{
    return raceFileName + std::string(kCourseFileSuffix);
}

FinishLine FinishLineFromText(std::string_view text)
{
    std::vector<std::string_view> fields;
    if (text.find(',') != std::string_view::npos) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = text.find(',', start);
            std::string_view field = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
            while (!field.empty() && IsBlank(field.front()))
                field.remove_prefix(1);
            while (!field.empty() && IsBlank(field.back()))
                field.remove_suffix(1);
            fields.push_back(field);
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    } else {
        std::string_view rest = text;
        for (;;) {
            const std::string_view word = FirstWord(rest, rest);
            if (word.empty())
                break;
            fields.push_back(word);
        }
    }
    if (fields.size() != 4)
        throw Error("the finish line " + QuotedText(text) + " holds " + std::to_string(fields.size()) +
                    (fields.size() == 1 ? " field" : " fields") +
                    ": expected four numbers LAT1 LON1 LAT2 LON2 (decimal degrees, \".\" as the decimal point)");
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < 4; ++i)
        values[i] = CoordinateOfText(fields[i], kFieldNames[i], text);
    const FinishLine line{values[0], values[1], values[2], values[3]};
    CheckFinishLine(line);
    return line;
}

std::string FinishLineText(const FinishLine& line)
{
    std::string text;
    for (const double value : {line.Lat1, line.Lon1, line.Lat2, line.Lon2}) {
        if (!text.empty())
            text += ' ';
        AppendNumber(text, value);
    }
    return text;
}

CourseFile ReadCourseFile(const std::string& path)
{
    if (const std::string kind = NotARegularFile(path); !kind.empty())
        throw Error("the course file \"" + path + "\" is " + kind + ", not a file: a course file is a text file of " +
                    "lines such as \"" + std::string(kFinishKey) + " LAT1 LON1 LAT2 LON2\"");
    LineReader file(path);
    CourseFile course;
    while (!file.AtEnd()) {
        const std::string_view line = file.ReadLine();
        course.Lines.emplace_back(line);
        std::string_view rest;
        if (!IsFinishKey(FirstWord(line, rest)))
            continue;
        if (course.Finish)
            ThrowAt(FileLabel(path), file.LineNumber(),
                    "a second finish line; the first is on line " + std::to_string(course.FinishLineNumber));
        try {
            course.Finish = FinishLineFromText(rest);
        } catch (const Error& e) {
            ThrowAt(FileLabel(path), file.LineNumber(), e.what());
        }
        course.FinishLineNumber = file.LineNumber();
    }
    return course;
}

FinishLine ReadCourseFinishLine(const std::string& raceFileName)
{
    const std::string path = CourseFilePath(raceFileName);
    const std::string howTo = "set the finish line in the chart window (Set finish line), or give it on the command "
                              "line: tideplot results " +
                              raceFileName + " --finish LAT1,LON1,LAT2,LON2";
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        throw Error("no finish line for " + FileLabel(raceFileName) + ": its course file \"" + path +
                    "\" does not exist; " + howTo);
    const CourseFile course = ReadCourseFile(path);
    if (!course.Finish)
        throw Error("the course file \"" + path + "\" holds no finish line (a line \"" + std::string(kFinishKey) +
                    " LAT1 LON1 LAT2 LON2\"); " + howTo);
    return *course.Finish;
}

void SaveCourseFinishLine(const std::string& raceFileName, const FinishLine& line)
{
    CheckFinishLine(line);
    const std::string path = CourseFilePath(raceFileName);
    const std::string finishText = std::string(kFinishKey) + " " + FinishLineText(line);
    std::vector<std::string> lines;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        LineReader file(path);
        while (!file.AtEnd())
            lines.emplace_back(file.ReadLine());
    }
    bool replaced = false;
    std::string text;
    for (const std::string& old : lines) {
        std::string_view rest;
        if (IsFinishKey(FirstWord(old, rest))) {
            if (replaced)
                continue; // a second finish line would make the file unreadable
            text += finishText;
            replaced = true;
        } else {
            text += old;
        }
        text += "\r\n";
    }
    if (!replaced)
        text += finishText + "\r\n";
    OutputFile out(QString::fromLocal8Bit(path.c_str()), "the course file");
    out.Write(text);
    out.Commit();
}

} // namespace tideplot
