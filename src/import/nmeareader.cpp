#include "nmeareader.h"

#include "logtally.h"
#include "nmeainstruments.h"
#include "nmeasentence.h"
#include "xmlguard.h"
#include "xmlvalues.h"

#include "core/text.h"

#include <QFile>

#include <memory>
#include <vector>

namespace tideplot {

namespace {

using nmea::LineKind;
using nmea::Sentence;

// A line longer than this holds no sentence (the longest are some 200 bytes with a tag block).
constexpr std::size_t kLongestLineBytes = 4096;
constexpr std::int64_t kBlockBytes = std::int64_t{64} << 10;
// A log without any sentence in this many bytes is no NMEA log.
constexpr std::int64_t kSentenceSearchBytes = std::int64_t{16} << 20;
constexpr std::int64_t kProgressBytes = std::int64_t{1} << 20;
constexpr int kHalfDay = 43200;
// The instruments' clock follows a lesser timed sentence once the main one has been silent
// for longer than this, in seconds of the log.
constexpr LogSecond kClockLapseSeconds = 1;

// The lines of a log, read a block at a time: a line is given as it stands in the block
// where it can be, and otherwise copied, cut at kLongestLineBytes.
class LogLines {
public:
    explicit LogLines(const std::string& logPath) : path_(logPath)
    {
        xmllog::CheckLogFile(logPath);
        QString failure;
        file_ = xmllog::OpenLogFile(QFile::decodeName(logPath.c_str()), 0, failure);
        if (!file_)
            throw Error("cannot open \"" + logPath + "\": " + failure.toStdString());
        size_ = file_->size();
        block_.resize(std::size_t(kBlockBytes));
    }

    // The next line: false at the end of the log. `tooLong`: it was cut; `ended`: a line
    // end follows it (not so for the last line of a log cut short).
    bool Next(std::string_view& line, bool& tooLong, bool& ended)
    {
        copy_.clear();
        tooLong = false;
        bool partial = false;
        for (;;) {
            if (pos_ == end_ && !Fill()) {
                if (!partial)
                    return false;
                ended = false;
                ++number_;
                line = copy_;
                return true;
            }
            if (afterCr_) {
                afterCr_ = false;
                if (block_[pos_] == '\n' && ++pos_ == end_)
                    continue;
            }
            const char* begin = block_.data() + pos_;
            const char* stop = begin;
            const char* const last = block_.data() + end_;
            while (stop != last && *stop != '\n' && *stop != '\r')
                ++stop;
            const auto length = std::size_t(stop - begin);
            if (stop != last && !partial && length <= kLongestLineBytes) {
                line = std::string_view(begin, length);
            } else {
                const std::size_t room = kLongestLineBytes - std::min(kLongestLineBytes, copy_.size());
                tooLong = tooLong || length > room;
                copy_.append(begin, std::min(length, room));
                line = copy_;
            }
            partial = true;
            pos_ += length;
            if (stop == last)
                continue;
            afterCr_ = *stop == '\r';
            ++pos_;
            ++number_;
            ended = true;
            return true;
        }
    }

    long Number() const { return number_; }
    std::int64_t BytesRead() const { return read_; }
    std::int64_t Size() const { return size_; }
    // Until Found() is called, the log ends after kSentenceSearchBytes (SearchedOut() then
    // says so): a log without a sentence there is no NMEA log.
    void Found() { searching_ = false; }
    bool SearchedOut() const { return searchedOut_; }

private:
    bool Fill()
    {
        if (searching_ && read_ >= kSentenceSearchBytes) {
            searchedOut_ = true;
            return false;
        }
        const qint64 n = file_->read(block_.data(), kBlockBytes);
        if (n < 0)
            throw Error("cannot read \"" + path_ + "\": " + file_->errorString().toStdString());
        pos_ = 0;
        end_ = std::size_t(n);
        read_ += n;
        return n > 0;
    }

    std::string path_;
    std::unique_ptr<QIODevice> file_;
    std::int64_t size_ = 0;
    std::int64_t read_ = 0;
    std::vector<char> block_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool afterCr_ = false;
    bool searching_ = true;
    bool searchedOut_ = false;
    std::string copy_;
    long number_ = 0;
};

bool IsTimed(std::string_view type)
{
    return type == "RMC" || type == "GGA" || type == "GLL" || type == "ZDA";
}

// The field holding the time of day of a timed sentence.
std::size_t TimeField(std::string_view type)
{
    return type == "GLL" ? 4 : 0;
}

// The date a sentence gives with its time (RMC with a valid fix, ZDA).
std::optional<long long> DateOf(const Sentence& s)
{
    if (s.Type == "RMC")
        return s[1] == "A" ? nmea::ReadDdmmyy(s[8]) : std::nullopt;
    if (s.Type == "ZDA")
        return nmea::ReadDayMonthYear(s[1], s[2], s[3]);
    return std::nullopt;
}

// The log's clock: the date of the last sentence that gave one, moved on at midnight.
class Clock {
public:
    void SetDate(long long day, int timeOfDay)
    {
        day_ = day;
        last_ = timeOfDay;
        dated_ = haveLast_ = true;
    }
    // A date whose first time is yet to come.
    void StartDate(long long day)
    {
        day_ = day;
        dated_ = true;
    }
    // The second of a time of day, read after the one before it; nothing without a date.
    std::optional<LogSecond> At(int timeOfDay)
    {
        if (!dated_)
            return std::nullopt;
        if (haveLast_ && timeOfDay < last_ - kHalfDay)
            ++day_;
        else if (haveLast_ && timeOfDay > last_ + kHalfDay)
            --day_;
        last_ = timeOfDay;
        haveLast_ = true;
        return day_ * 86400 + timeOfDay;
    }

private:
    long long day_ = 0;
    int last_ = 0;
    bool dated_ = false;
    bool haveLast_ = false;
};

[[noreturn]] void NoSentence(const std::string& logPath, const LogLines& lines, const PassedLines& unread,
                             bool searchedAll)
{
    const long count = lines.Number();
    throw Error(logPath + ": no NMEA 0183 sentence in its " + (searchedAll ? "" : "first 16 MiB, ") +
                xmllog::CountText(count) + (count == 1 ? " line" : " lines") +
                (unread.Count > 0 ? " (the first: " + unread.FirstReason + ")" : std::string()) +
                ": this is no NMEA log; the import reads NMEA 0183, GPX, KML, KMZ and FIT logs");
}

// One pass over the log: with `dateOnly`, until the first sentence that gives a date.
class NmeaPass {
public:
    NmeaPass(const std::string& logPath, LogPoints* points, LogPoints* wind)
        : logPath_(logPath), lines_(logPath), points_(points), instruments_(wind)
    {
    }

    Clock& clock() { return clock_; }
    LogReadResult& result() { return result_; }
    const nmea::InstrumentSeconds& instruments() const { return instruments_; }
    long undated() const { return undated_; }
    long firstUndated() const { return firstUndated_; }

    // Reads to the end, or with `dateOnly` to the first date: its day and time of day.
    std::optional<std::pair<long long, int>> run(const LogProgress* progress, bool dateOnly);

private:
    void take(const Sentence& s, long line);
    void position(const Sentence& s, std::optional<LogSecond> second, long line);

    const std::string& logPath_;
    LogLines lines_;
    LogPoints* points_;
    nmea::InstrumentSeconds instruments_;
    Clock clock_;
    LogReadResult result_;
    long undated_ = 0;
    long firstUndated_ = 0;
    int clockRank_ = -1;
    int positionRank_ = 0;
    LogSecond clockSecond_ = 0;
    // The time of the last point, to give each fix once.
    LogSecond lastSecond_ = 0;
    std::string lastTime_;
    bool havePoint_ = false;
    std::string line_;
};

std::optional<std::pair<long long, int>> NmeaPass::run(const LogProgress* progress, bool dateOnly)
{
    std::string_view text;
    bool tooLong = false, ended = true, sawChecksum = false;
    std::int64_t reported = 0;
    Sentence s;
    std::string problem;
    while (lines_.Next(text, tooLong, ended)) {
        const long number = lines_.Number();
        const LineKind kind = tooLong ? LineKind::NotASentence : nmea::ReadLine(text, s, problem);
        if (tooLong)
            problem = "the line is longer than any sentence (" + xmllog::CountText(long(kLongestLineBytes)) + " bytes)";
        const bool good = kind == LineKind::Sentence && (s.HasChecksum || !sawChecksum);
        if (!ended && !good && kind != LineKind::Blank && result_.Contents.Sentences > 0) {
            result_.EndedEarlyAt = number;
            break;
        }
        if (kind == LineKind::BadChecksum || kind == LineKind::Sentence)
            lines_.Found();
        if (kind == LineKind::BadChecksum)
            result_.BadChecksums.Note(number, problem);
        else if (kind == LineKind::NotASentence)
            result_.Unread.Note(number, problem);
        if (kind == LineKind::Sentence) {
            ++result_.Contents.Sentences;
            sawChecksum = sawChecksum || s.HasChecksum;
            if (dateOnly) {
                const std::optional<int> time = nmea::ReadTimeOfDay(s[TimeField(s.Type)]);
                if (const std::optional<long long> day = DateOf(s); day && time)
                    return std::pair{*day, *time};
            } else {
                take(s, number);
            }
        }
        if (progress && *progress && lines_.BytesRead() - reported >= kProgressBytes) {
            reported = lines_.BytesRead();
            (*progress)(reported, lines_.Size());
        }
    }
    if (lines_.SearchedOut())
        NoSentence(logPath_, lines_, result_.Unread, false);
    if (result_.Contents.Sentences == 0 && result_.BadChecksums.Count == 0 && result_.EndedEarlyAt == 0)
        NoSentence(logPath_, lines_, result_.Unread, true);
    result_.Lines = lines_.Number();
    instruments_.Finish();
    result_.Wind = instruments_.Summary();
    if (progress && *progress)
        (*progress)(lines_.BytesRead(), lines_.Size());
    return std::nullopt;
}

void NmeaPass::take(const Sentence& s, long line)
{
    std::optional<LogSecond> second;
    if (IsTimed(s.Type)) {
        const std::optional<int> time = nmea::ReadTimeOfDay(s[TimeField(s.Type)]);
        if (const std::optional<long long> day = DateOf(s); day && time)
            clock_.SetDate(*day, *time);
        if (time)
            second = clock_.At(*time);
        // The instruments take the time of the log's main clock: RMC where the log has them,
        // else GGA, GLL, ZDA; a lesser one when the main one has not spoken for a while.
        const int rank = s.Type == "RMC" ? 3 : s.Type == "GGA" ? 2 : s.Type == "GLL" ? 1 : 0;
        if (second && (rank >= clockRank_ || *second - clockSecond_ > kClockLapseSeconds ||
                       clockSecond_ - *second > kClockLapseSeconds)) {
            clockRank_ = rank;
            clockSecond_ = *second;
            instruments_.At(*second);
        }
        if (s.Type != "ZDA")
            position(s, second, line);
    }
    instruments_.Take(s);
}

void NmeaPass::position(const Sentence& s, std::optional<LogSecond> second, long line)
{
    ++result_.Contents.PositionSentences;
    const std::string_view type = s.Type;
    // One kind of sentence gives the positions, as gpsbabel takes them: GGA once the log has
    // given a fix in one, else RMC once it has, else GLL.
    const int rank = type == "GGA" ? 3 : type == "RMC" ? 2 : 1;
    if (rank < positionRank_)
        return;
    const std::size_t lat = type == "GLL" ? 0 : type == "GGA" ? 1 : 2;
    const std::string_view time = s[TimeField(type)];
    std::string problem;
    if (type == "RMC" && s[1] != "A")
        problem = "the fix is void (RMC status " + QuotedText(s[1]) + ")";
    else if (type == "GGA" && (s[5].empty() || s[5] == "0"))
        problem = "the receiver has no fix (GGA quality " + QuotedText(s[5]) + ")";
    else if (type == "GLL" && !s[5].empty() && s[5] != "A")
        problem = "the fix is void (GLL status " + QuotedText(s[5]) + ")";
    else if (!nmea::ReadTimeOfDay(time))
        problem = "the time " + QuotedText(time) + " is not hhmmss";
    std::string latText, lonText;
    if (problem.empty())
        latText = nmea::DecimalDegrees(s[lat], s[lat + 1], true, problem);
    if (problem.empty())
        lonText = nmea::DecimalDegrees(s[lat + 2], s[lat + 3], false, problem);
    if (!problem.empty()) {
        TallySkipped(result_, line, problem);
        return;
    }
    positionRank_ = rank;
    if (!second) {
        if (undated_++ == 0)
            firstUndated_ = line;
        return;
    }
    // A fix given again (the same time written the same) is one point.
    if (havePoint_ && *second == lastSecond_ && time == lastTime_)
        return;
    havePoint_ = true;
    lastSecond_ = *second;
    lastTime_.assign(time);
    line_ = latText;
    line_ += ',';
    line_ += lonText;
    line_ += ',';
    const xmllog::DateTimeFields fields = xmllog::FieldsOfSecond(*second);
    line_.append(fields.data(), fields.size());
    TallyPoint(result_, *second, line, 0);
    if (points_)
        points_->Add(*second, line_);
}

} // namespace

bool LooksLikeNmea(std::string_view start)
{
    Sentence s;
    std::string problem;
    while (!start.empty()) {
        const std::size_t end = start.find_first_of("\r\n");
        const std::string_view line = start.substr(0, std::min(end, kLongestLineBytes));
        if (end != std::string_view::npos && nmea::ReadLine(line, s, problem) == LineKind::Sentence &&
            (s.HasChecksum || IsTimed(s.Type)))
            return true;
        start.remove_prefix(end == std::string_view::npos ? start.size() : end + 1);
    }
    return false;
}

LogReadResult ReadNmeaPoints(const std::string& logPath, LogPoints& points, LogPoints* wind,
                             const LogProgress& progress, const LogReadOptions& options)
{
    NmeaPass pass(logPath, &points, wind);
    // The first date, when the log has one, is the date of the times before it.
    NmeaPass dates(logPath, nullptr, nullptr);
    const std::optional<std::pair<long long, int>> first = dates.run(nullptr, true);
    if (first)
        pass.clock().SetDate(first->first, first->second);
    else if (options.GivenDate)
        pass.clock().StartDate(*options.GivenDate / 86400);
    pass.run(&progress, false);
    LogReadResult& result = pass.result();
    result.GivenDateUsed = !first && options.GivenDate;
    result.GivenDateIgnored = first && options.GivenDate;
    result.GivenDate = options.GivenDate.value_or(0);
    if (result.PointCount == 0 && pass.undated() > 0)
        throw LogDateNeeded(logPath + ", line " + std::to_string(pass.firstUndated()) + ": the log gives the time of " +
                            "day of its positions but no date (no RMC or ZDA sentence holds one): give the date " +
                            "(UTC) of its first position with --date YYYY-MM-DD");
    return result;
}

} // namespace tideplot
