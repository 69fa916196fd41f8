#include "coursefile.h"

#include "error.h"
#include "linereader.h"
#include "outputfile.h"
#include "text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <system_error>

namespace tideplot {

namespace {

constexpr std::array<const char*, 4> kFieldNames{"LAT1", "LON1", "LAT2", "LON2"};
constexpr std::string_view kDegreesHint = "decimal degrees with \".\" as the decimal point, such as 57.6012";

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

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    for (;;) {
        const std::string_view word = FirstWord(text, text);
        if (word.empty())
            return words;
        words.push_back(word);
    }
}

bool IsKey(std::string_view word, std::string_view key)
{
    return word.size() == key.size() && EndsWithNoCase(word, key);
}

bool IsCourseKey(std::string_view line)
{
    std::string_view rest;
    const std::string_view word = FirstWord(line, rest);
    return std::any_of(std::begin(kCourseKeys), std::end(kCourseKeys),
                       [&](std::string_view key) { return IsKey(word, key); });
}

// A number of decimal degrees; `what` names it in the message ("the finish line \"...\": LON2").
double DegreesOfText(std::string_view text, const std::string& what)
{
    std::string_view number = text;
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value))
        throw Error(what + " " + QuotedText(text) + " is not a number (" + std::string(kDegreesHint) + ")");
    return value;
}

void CheckPosition(const std::string& what, double lat, double lon)
{
    if (lat < -90 || lat > 90)
        throw Error(what + ": the latitude " + ShortNumberText(lat) +
                    " is off the globe: latitudes lie from -90 to 90");
    if (lon < -180 || lon > 180)
        throw Error(what + ": the longitude " + ShortNumberText(lon) +
                    " is off the globe: longitudes lie from -180 to 180");
}

void AppendNumber(std::string& out, double value)
{
    std::array<char, 512> buffer;
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0, std::chars_format::fixed);
    if (ec != std::errc())
        throw Error("the course file: the number " + ShortNumberText(value) + " cannot be written");
    out.append(buffer.data(), end);
}

// What the lines read so far say, with the line of each key for the messages.
struct Reading {
    CourseFile& file;
    std::map<std::string, long, std::less<>> nameLines; // each mark's or gate's line
    long startLine = 0;
    long courseLine = 0;
    long lapsLine = 0;
    std::vector<std::string> order; // the names of the course line
};

void Once(long& seen, long line, const char* what)
{
    if (seen != 0)
        throw Error(std::string("a second ") + what + " line; the first is on line " + std::to_string(seen));
    seen = line;
}

void ReadStart(Reading& r, std::string_view rest, long line)
{
    Once(r.startLine, line, "start");
    r.file.Plan.Start = LineFromText(TrimBlanks(rest), "the start line");
}

void ReadFinish(Reading& r, std::string_view rest, long line)
{
    Once(r.file.FinishLineNumber, line, "finish");
    r.file.Plan.Finish = FinishLineFromText(TrimBlanks(rest));
}

// A new mark's or gate's name, not given before.
std::string NewName(Reading& r, std::string_view name, long line)
{
    if (const auto it = r.nameLines.find(name); it != r.nameLines.end())
        throw Error("the name " + QuotedText(name) + " is given twice: a mark or gate of that name is on line " +
                    std::to_string(it->second));
    r.nameLines.emplace(std::string(name), line);
    return std::string(name);
}

void ReadMark(Reading& r, std::string_view rest, long line)
{
    const auto words = Words(rest);
    if (words.size() != 4)
        throw Error("a mark is \"mark NAME LAT LON port|starboard\" (such as \"mark W 57.5804 11.4693 port\"); "
                    "this one holds " +
                    std::to_string(words.size()) + (words.size() == 1 ? " value" : " values"));
    CourseMark mark;
    const std::string what = "the mark " + QuotedText(words[0]);
    mark.Lat = DegreesOfText(words[1], what + ": LAT");
    mark.Lon = DegreesOfText(words[2], what + ": LON");
    CheckPosition(what, mark.Lat, mark.Lon);
    if (IsKey(words[3], "port"))
        mark.Side = MarkSide::Port;
    else if (IsKey(words[3], "starboard"))
        mark.Side = MarkSide::Starboard;
    else
        throw Error(what + ": the side " + QuotedText(words[3]) +
                    " is neither port nor starboard (the side a boat leaves the mark on)");
    mark.Name = NewName(r, words[0], line);
    r.file.Plan.Marks.push_back(std::move(mark));
}

void ReadGate(Reading& r, std::string_view rest, long line)
{
    const auto words = Words(rest);
    if (words.size() != 5)
        throw Error("a gate is \"gate NAME LAT1 LON1 LAT2 LON2\", its two buoys; this one holds " +
                    std::to_string(words.size()) + (words.size() == 1 ? " value" : " values"));
    const std::string what = "the gate " + QuotedText(words[0]);
    CourseMark gate;
    gate.Gate = true;
    gate.Lat = DegreesOfText(words[1], what + ": LAT1");
    gate.Lon = DegreesOfText(words[2], what + ": LON1");
    gate.Lat2 = DegreesOfText(words[3], what + ": LAT2");
    gate.Lon2 = DegreesOfText(words[4], what + ": LON2");
    CheckPosition(what, gate.Lat, gate.Lon);
    CheckPosition(what, gate.Lat2, gate.Lon2);
    if (!(PlaneDistanceNm(gate.Lat, gate.Lon, gate.Lat2, gate.Lon2) * 1852 >= kMinFinishLineMetres))
        throw Error(what + " has zero length: its buoys lie less than " + ShortNumberText(kMinFinishLineMetres) +
                    " m apart");
    gate.Name = NewName(r, words[0], line);
    r.file.Plan.Marks.push_back(std::move(gate));
}

void ReadOrder(Reading& r, std::string_view rest, long line)
{
    Once(r.courseLine, line, "course");
    for (const std::string_view name : Words(rest))
        r.order.emplace_back(name);
    if (r.order.empty())
        throw Error("the course names no mark or gate: \"course NAME NAME ...\" gives one lap in the order sailed");
}

void ReadLaps(Reading& r, std::string_view rest, long line)
{
    Once(r.lapsLine, line, "laps");
    const auto words = Words(rest);
    int laps = 0;
    const std::string_view text = words.size() == 1 ? words[0] : TrimBlanks(rest);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), laps);
    if (words.size() != 1 || ec != std::errc() || end != text.data() + text.size() || laps < 1 || laps > kMaxLaps)
        throw Error("the laps " + QuotedText(text) + " are no whole number from 1 to " + std::to_string(kMaxLaps));
    r.file.Plan.Laps = laps;
}

void ReadWind(Reading& r, std::string_view rest, long)
{
    r.file.WindLines.push_back(TypedWindFromText(TrimBlanks(rest)));
}

struct KeyReader {
    std::string_view Key;
    void (*Read)(Reading&, std::string_view rest, long line);
};

// The keys the program reads, and how. Keys of later versions go here.
constexpr KeyReader kKeyReaders[] = {{"start", ReadStart},  {"mark", ReadMark}, {"gate", ReadGate},
                                     {"course", ReadOrder}, {"laps", ReadLaps}, {"finish", ReadFinish},
                                     {kWindKey, ReadWind}};

// What the whole file says: the course line's names found, laps that have marks to sail.
void CheckWhole(Reading& r, const std::string& label)
{
    Course& course = r.file.Plan;
    for (const std::string& name : r.order) {
        const auto mark = course.Find(name);
        if (!mark)
            ThrowAt(label, r.courseLine,
                    "the course names " + QuotedText(name) + ", which is no mark or gate of this file" +
                        (course.Marks.empty() ? " (it has none)" : ""));
        course.Order.push_back(*mark);
    }
    if (course.Laps > 1 && course.Marks.empty())
        ThrowAt(label, r.lapsLine,
                "laps " + std::to_string(course.Laps) +
                    " without a mark or gate: a lap is the marks and gates of the course, in order");
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        LineReader file(path);
        while (!file.AtEnd())
            lines.emplace_back(file.ReadLine());
    }
    return lines;
}

// Writes `lines` into the course file of the race: those of `replaced` keys left out, the
// new lines where the first of them stood (or at the end).
void SaveLines(const std::string& raceFileName, const std::vector<std::string>& newLines,
               bool (*replaced)(std::string_view line))
{
    const std::string path = CourseFilePath(raceFileName);
    std::string text;
    bool written = false;
    const auto writeNew = [&] {
        for (const std::string& line : newLines)
            text += line + "\r\n";
        written = true;
    };
    for (const std::string& old : ReadLines(path)) {
        if (!replaced(old)) {
            text += old + "\r\n";
        } else if (!written) {
            writeNew();
        }
    }
    if (!written)
        writeNew();
    OutputFile out(QString::fromLocal8Bit(path.c_str()), "the course file");
    out.Write(text);
    out.Commit();
}

} // namespace

std::string CourseFilePath(const std::string& raceFileName)
{
    return raceFileName + std::string(kCourseFileSuffix);
}

FinishLine LineFromText(std::string_view text, std::string_view what)
{
    std::vector<std::string_view> fields;
    if (text.find(',') != std::string_view::npos) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = text.find(',', start);
            fields.push_back(TrimBlanks(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    } else {
        fields = Words(text);
    }
    const std::string name = std::string(what) + " " + QuotedText(text);
    if (fields.size() != 4)
        throw Error(name + " holds " + std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
                    ": expected four numbers LAT1 LON1 LAT2 LON2 (decimal degrees, \".\" as the decimal point)");
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < 4; ++i)
        values[i] = DegreesOfText(fields[i], name + ": " + kFieldNames[i]);
    const FinishLine line{values[0], values[1], values[2], values[3]};
    CheckFinishLine(line, what);
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

std::string PositionText(double lat, double lon)
{
    std::string text;
    AppendNumber(text, lat);
    text += ' ';
    AppendNumber(text, lon);
    return text;
}

CourseFile ReadCourseFile(const std::string& path)
{
    if (const std::string kind = NotARegularFile(path); !kind.empty())
        throw Error("the course file \"" + path + "\" is " + kind + ", not a file: a course file is a text file of " +
                    "lines such as \"" + std::string(kFinishKey) + " LAT1 LON1 LAT2 LON2\"");
    LineReader file(path);
    CourseFile course;
    Reading reading{course, {}, 0, 0, 0, {}};
    while (!file.AtEnd()) {
        const std::string_view line = file.ReadLine();
        course.Lines.emplace_back(line);
        std::string_view rest;
        const std::string_view word = FirstWord(line, rest);
        for (const KeyReader& key : kKeyReaders) {
            if (!IsKey(word, key.Key))
                continue;
            try {
                key.Read(reading, rest, file.LineNumber());
            } catch (const Error& e) {
                ThrowAt(FileLabel(path), file.LineNumber(), e.what());
            }
        }
    }
    CheckWhole(reading, FileLabel(path));
    return course;
}

Course ReadCourse(const std::string& raceFileName)
{
    const std::string path = CourseFilePath(raceFileName);
    const std::string howTo = "set the finish line in the chart window (Set finish line), or give it on the command "
                              "line: tideplot results " +
                              raceFileName + " --finish LAT1,LON1,LAT2,LON2";
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        throw Error("no finish line for " + FileLabel(raceFileName) + ": its course file \"" + path +
                    "\" does not exist; " + howTo);
    CourseFile course = ReadCourseFile(path);
    if (!course.Plan.Finish)
        throw Error("the course file \"" + path + "\" holds no finish line (a line \"" + std::string(kFinishKey) +
                    " LAT1 LON1 LAT2 LON2\"); " + howTo);
    return std::move(course.Plan);
}

FinishLine ReadCourseFinishLine(const std::string& raceFileName)
{
    return *ReadCourse(raceFileName).Finish;
}

void SaveCourseFinishLine(const std::string& raceFileName, const FinishLine& line)
{
    CheckFinishLine(line);
    SaveLines(raceFileName, {std::string(kFinishKey) + " " + FinishLineText(line)}, [](std::string_view text) {
        std::string_view rest;
        return IsKey(FirstWord(text, rest), kFinishKey);
    });
}

void SaveCourse(const std::string& raceFileName, const Course& course)
{
    if (course.Start)
        CheckFinishLine(*course.Start, "the start line");
    if (course.Finish)
        CheckFinishLine(*course.Finish);
    SaveLines(raceFileName, CourseTextLines(course), IsCourseKey);
}

} // namespace tideplot
