#include "handicapfile.h"

#include "coursefile.h"
#include "error.h"
#include "linereader.h"
#include "outputfile.h"
#include "text.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace tideplot {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view SkipBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

// The first word of `text` (blanks before it skipped), `text` left at what follows it.
std::string_view NextWord(std::string_view& text)
{
    text = SkipBlanks(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

bool IsKey(std::string_view word, std::string_view key)
{
    return word.size() == key.size() && EndsWithNoCase(word, key);
}

bool IsHandicapKey(std::string_view line)
{
    const std::string_view word = NextWord(line);
    return std::any_of(std::begin(kHandicapKeys), std::end(kHandicapKeys),
                       [&](std::string_view key) { return IsKey(word, key); });
}

// A track file: a word, or a text in double quotes (a quote doubled inside).
std::string TrackFileOf(std::string_view& text)
{
    text = SkipBlanks(text);
    if (text.empty() || text.front() != '"')
        return std::string(NextWord(text));
    std::string name;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
            name += '"';
            ++i;
        } else {
            text.remove_prefix(i + 1);
            return name;
        }
    }
    throw Error("the track file " + QuotedText(text) + " has no closing double quote");
}

double NumberOf(std::string_view word, const std::string& what)
{
    double value = 0;
    if (!TryNumberOfText(word, value))
        throw Error(what + " " + QuotedText(word) + " is no number (\".\" is the decimal point)");
    return value;
}

void Once(long& seen, long line, const char* what)
{
    if (seen != 0)
        throw Error(std::string("a second ") + what + " line; the first is on line " + std::to_string(seen));
    seen = line;
}

void ReadRule(HandicapLines& out, std::string_view rest, long line)
{
    Once(out.RuleLine, line, "handicap");
    const std::string_view name = NextWord(rest);
    const auto system = HandicapSystemOfName(name);
    if (!system)
        throw Error("the handicap system " + QuotedText(name) + " is none of " + HandicapSystemNames());
    Handicap handicap;
    handicap.System = *system;
    std::vector<std::string_view> numbers;
    for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest))
        numbers.push_back(word);
    if (!numbers.empty() && (*system != HandicapSystem::PhrfTot || numbers.size() != 2))
        throw Error(*system == HandicapSystem::PhrfTot
                        ? std::string("phrf-tot takes two numbers A and B (\"handicap phrf-tot 650 550\") or none")
                        : "the handicap system " + std::string(name) + " takes no numbers");
    if (numbers.size() == 2) {
        handicap.A = NumberOf(numbers[0], "phrf-tot's A");
        handicap.B = NumberOf(numbers[1], "phrf-tot's B");
    }
    if (const std::string problem = HandicapProblem(handicap); !problem.empty())
        throw Error(problem);
    out.Rule = handicap;
}

void ReadDistance(HandicapLines& out, std::string_view rest, long line)
{
    Once(out.DistanceLine, line, "distance");
    const std::string_view word = NextWord(rest);
    if (!NextWord(rest).empty() || word.empty())
        throw Error("a distance is one number, the course's nautical miles (\"distance 6.4\")");
    Handicap handicap;
    handicap.DistanceNm = NumberOf(word, "the distance");
    if (const std::string problem = HandicapProblem(handicap); !problem.empty())
        throw Error(problem);
    out.DistanceNm = handicap.DistanceNm;
}

void ReadRating(HandicapLines& out, std::string_view rest, long line)
{
    const std::string track = TrackFileOf(rest);
    if (track.empty())
        throw Error("a rating is \"rating TRACKFILE VALUE\" (two values PLT PLD under orc-pl)");
    Rating rating;
    for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
        if (rating.Count == 2)
            throw Error("the rating of " + QuotedText(track) + " holds more than two numbers");
        rating.Values[static_cast<std::size_t>(rating.Count++)] = NumberOf(word, "the rating");
    }
    if (rating.Count == 0)
        throw Error("the rating line of " + QuotedText(track) + " gives no rating");
    HandicapLines::Boat& boat = out.Entry(track);
    if (boat.RatingLine != 0)
        throw Error("a second rating for " + QuotedText(track) + "; the first is on line " +
                    std::to_string(boat.RatingLine));
    boat.Value = rating;
    boat.RatingLine = line;
    boat.RatingLabel = out.Label;
}

void ReadName(HandicapLines& out, std::string_view rest, long line)
{
    const std::string track = TrackFileOf(rest);
    const std::string_view name = TrimBlanks(rest);
    if (track.empty() || name.empty())
        throw Error("a name is \"name TRACKFILE TEXT\", the text the tables and the legend show for the boat");
    HandicapLines::Boat& boat = out.Entry(track);
    if (boat.NameLine != 0)
        throw Error("a second name for " + QuotedText(track) + "; the first is on line " +
                    std::to_string(boat.NameLine));
    boat.Name = std::string(name);
    boat.NameLine = line;
}

// Every rating against the system, wherever the handicap line stands.
void CheckRatings(const HandicapLines& lines)
{
    const Handicap handicap = lines.Effective();
    for (const HandicapLines::Boat& boat : lines.Boats) {
        if (boat.Value.Count == 0)
            continue;
        if (const std::string problem = RatingProblem(handicap, boat.Value); !problem.empty())
            ThrowAt(boat.RatingLabel, boat.RatingLine,
                    "the rating of " + QuotedText(boat.TrackFile) + " under " +
                        std::string(HandicapSystemName(handicap.System)) + ": " + problem);
    }
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::vector<std::string> lines;
    LineReader file(path);
    while (!file.AtEnd())
        lines.emplace_back(file.ReadLine());
    return lines;
}

} // namespace

const HandicapLines::Boat* HandicapLines::Find(std::string_view trackFile) const
{
    const auto it =
        std::find_if(Boats.begin(), Boats.end(), [&](const Boat& boat) { return boat.TrackFile == trackFile; });
    return it == Boats.end() ? nullptr : &*it;
}

HandicapLines::Boat& HandicapLines::Entry(std::string_view trackFile)
{
    if (const Boat* boat = Find(trackFile))
        return const_cast<Boat&>(*boat);
    Boats.push_back(Boat{std::string(trackFile), {}, 0, {}, std::nullopt, 0});
    return Boats.back();
}

HandicapLines ReadHandicapLines(const std::vector<std::string>& lines, const std::string& label, bool checkRatings)
{
    struct KeyReader {
        std::string_view Key;
        void (*Read)(HandicapLines&, std::string_view, long);
    };
    static constexpr KeyReader kReaders[] = {
        {"handicap", ReadRule}, {"distance", ReadDistance}, {"rating", ReadRating}, {"name", ReadName}};
    HandicapLines out;
    out.Label = label;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view rest = lines[i];
        const std::string_view word = NextWord(rest);
        const long line = static_cast<long>(i) + 1;
        for (const KeyReader& key : kReaders) {
            if (!IsKey(word, key.Key))
                continue;
            try {
                key.Read(out, rest, line);
            } catch (const Error& e) {
                ThrowAt(label, line, e.what());
            }
        }
    }
    if (checkRatings)
        CheckRatings(out);
    return out;
}

void OverrideHandicapLines(HandicapLines& base, const HandicapLines& over)
{
    if (over.Rule) {
        base.Rule = over.Rule;
        base.RuleLine = over.RuleLine;
    }
    if (over.DistanceNm) {
        base.DistanceNm = over.DistanceNm;
        base.DistanceLine = over.DistanceLine;
    }
    for (const HandicapLines::Boat& boat : over.Boats) {
        HandicapLines::Boat& into = base.Entry(boat.TrackFile);
        if (boat.Value.Count != 0) {
            into.Value = boat.Value;
            into.RatingLine = boat.RatingLine;
            into.RatingLabel = boat.RatingLabel;
        }
        if (boat.Name) {
            into.Name = boat.Name;
            into.NameLine = boat.NameLine;
        }
    }
    if (!over.Boats.empty())
        base.Label = over.Label;
    CheckRatings(base);
}

namespace {

struct RunLines {
    std::mutex Lock;
    std::string RaceFileName;
    std::shared_ptr<const HandicapLines> Lines;
};

RunLines& TheRunLines()
{
    static RunLines lines;
    return lines;
}

} // namespace

void SetRunHandicapLines(const std::string& raceFileName, std::shared_ptr<const HandicapLines> lines)
{
    RunLines& run = TheRunLines();
    const std::lock_guard<std::mutex> lock(run.Lock);
    run.RaceFileName = raceFileName;
    run.Lines = std::move(lines);
}

HandicapLines ReadRaceHandicapLines(const std::string& raceFileName)
{
    {
        RunLines& run = TheRunLines();
        const std::lock_guard<std::mutex> lock(run.Lock);
        if (run.Lines && run.RaceFileName == raceFileName)
            return *run.Lines;
    }
    const std::string path = CourseFilePath(raceFileName);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return {};
    return ReadHandicapLines(FileLines(path), FileLabel(path));
}

HandicapLines ReadHandicapFile(const std::string& path)
{
    return ReadHandicapLines(FileLines(path), FileLabel(path), false);
}

HandicapLines RunHandicapLines(const std::string& raceFileName, const std::string& ratingsFile,
                               const std::string& system)
{
    HandicapLines lines = ReadRaceHandicapLines(raceFileName);
    HandicapLines over;
    if (!ratingsFile.empty())
        over = ReadHandicapFile(ratingsFile);
    if (!system.empty()) {
        HandicapLines given;
        try {
            given = ReadHandicapLines({"handicap " + system}, "--handicap");
        } catch (const Error&) {
            std::string_view rest = system;
            const auto known = HandicapSystemOfName(NextWord(rest));
            if (!known)
                throw Error("--handicap: the handicap system " + QuotedText(system) + " is none of " +
                            HandicapSystemNames());
            throw Error("--handicap " + QuotedText(system) + ": phrf-tot takes two numbers A and B above 0 or none; " +
                        "the other systems take none");
        }
        over.Rule = given.Rule;
        over.RuleLine = 0;
    }
    OverrideHandicapLines(lines, over);
    return lines;
}

std::string TrackFileWord(std::string_view trackFile)
{
    if (!trackFile.empty() && trackFile.front() != '"' &&
        std::none_of(trackFile.begin(), trackFile.end(), [](char c) { return IsBlank(c); }))
        return std::string(trackFile);
    std::string word = "\"";
    for (const char c : trackFile) {
        word += c;
        if (c == '"')
            word += '"';
    }
    return word + "\"";
}

std::vector<std::string> HandicapTextLines(const HandicapLines& lines)
{
    std::vector<std::string> out;
    if (lines.Rule)
        out.push_back(HandicapLine(*lines.Rule));
    if (lines.DistanceNm)
        out.push_back("distance " + ShortNumberText(*lines.DistanceNm));
    for (const HandicapLines::Boat& boat : lines.Boats) {
        if (boat.Value.Count != 0)
            out.push_back("rating " + TrackFileWord(boat.TrackFile) + " " + RatingText(boat.Value));
        if (boat.Name) {
            // One line: a control character (a line break typed into a name) becomes a blank.
            std::string name = *boat.Name;
            std::replace_if(
                name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
            out.push_back("name " + TrackFileWord(boat.TrackFile) + " " + std::string(TrimBlanks(name)));
        }
    }
    return out;
}

void SaveHandicapLines(const std::string& raceFileName, const HandicapLines& lines)
{
    const std::string path = CourseFilePath(raceFileName);
    std::vector<std::string> old;
    std::error_code error;
    if (std::filesystem::exists(path, error))
        old = FileLines(path);
    std::string text;
    bool written = false;
    const auto writeNew = [&] {
        for (const std::string& line : HandicapTextLines(lines))
            text += line + "\r\n";
        written = true;
    };
    for (const std::string& line : old) {
        if (!IsHandicapKey(line))
            text += line + "\r\n";
        else if (!written)
            writeNew();
    }
    if (!written)
        writeNew();
    if (old.empty() && text.empty())
        return; // nothing to keep: no course file is made
    OutputFile out(QString::fromLocal8Bit(path.c_str()), "the course file");
    out.Write(text);
    out.Commit();
}

} // namespace tideplot
