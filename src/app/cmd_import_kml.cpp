#include "app/args.h"
#include "app/commands.h"
#include "core/error.h"
#include "import/logimport.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

namespace tideplot {

namespace {

const char* kImportUsage =
    "Usage: tideplot import [--split] [--date YYYY-MM-DD] LOG [LOG2 ...]   (or import-kml)\n"
    "Appends the points of each GPS log (KML, KMZ, GPX, NMEA 0183 or FIT, told by its content)\n"
    "to the track file beside it (LOG.gpx gives LOG.gpx.txt), one line \"LAT,LON,YYYYMMDD,hhmmss\"\n"
    "per point; a boat entry for that file uses \",\" as its separator. A new track file starts\n"
    "with the column header line \"Latitude,Longitude,Date,Time\". The points are KML placemarks\n"
    "with a time stamp and a Point, the points of KML gx:Track elements, GPX track points (trkpt)\n"
    "with a time, the fixes of NMEA RMC, GGA and GLL sentences and the records of a FIT file\n"
    "with a position (these two as decimal degrees with 7 decimals). They are sorted by time and\n"
    "the first point of each second is kept; only points later than the track file's last line\n"
    "are appended, so importing a log again adds nothing. Times are copied as the log writes\n"
    "them, without zone conversion (almost every logger writes UTC): type the boats' start\n"
    "times in the same time base.\n"
    "An NMEA log's wind, heading and boat speed (MWV, MWD, VWT, VWR, HDG, HDT, HDM, VHW) go to\n"
    "the wind file beside the track file (LOG.nmea gives LOG.nmea.wind.txt), one line\n"
    "\"YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP\" a second, the same way.\n"
    "A log of several tracks, or with a gap of more than an hour, is named with each track's\n"
    "first and last time; --split writes each to a track file of its own, LOG.1.txt,\n"
    "LOG.2.txt, ... (LOG.gpx gives LOG.gpx.1.txt). A point without a usable time or position\n"
    "is skipped, with a warning; so are points out of order, zone offsets, a clock that was not\n"
    "set, sentences that fail their checksum and a log cut short (its complete points are\n"
    "kept). A log that cannot be read appends nothing and leaves the track file as it was; the\n"
    "other logs are still imported. No track file is made for a log without points.\n"
    "Exit status: 0 when every log was read and one added a point, 1 when a log failed or no\n"
    "log added a point, 2 for a usage error.\n"
    "  --split             one track file per track of the log: LOG.1.txt, LOG.2.txt, ...\n"
    "  --date YYYY-MM-DD   the date (UTC) of the first position of an NMEA log whose sentences\n"
    "                      give the time of day only (GGA, GLL without RMC or ZDA)\n"
    "  --help              show this text\n";

// Logs smaller than this are read in well under a second: no progress for them.
constexpr std::int64_t kProgressMinBytes = std::int64_t{16} << 20;

// A message on one line, whatever the text it quotes holds.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

// "left out: 1 repeated point and 4 points in seconds already taken (a track line holds
// whole seconds)", or "".
std::string LeftOutNote(const LogImportResult& result)
{
    std::string parts;
    if (result.Repeats > 0)
        parts = std::to_string(result.Repeats) + (result.Repeats == 1 ? " repeated point" : " repeated points");
    if (result.SameSecond > 0)
        parts += (parts.empty() ? "" : " and ") + std::to_string(result.SameSecond) +
                 (result.SameSecond == 1 ? " point" : " points") + " in seconds already taken";
    return parts.empty() ? "" : "left out " + parts + " (a track line holds whole seconds)";
}

// "LOG.kml: 37%" on stderr, rewritten in place while a large log is read.
class ProgressLine {
public:
    ProgressLine(const std::string& log, bool enabled) : log_(log), enabled_(enabled) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(std::int64_t bytesRead, std::int64_t totalBytes)
    {
        if (!enabled_ || totalBytes < kProgressMinBytes)
            return;
        const int percent = int(bytesRead * 100 / totalBytes);
        if (percent == percent_)
            return;
        percent_ = percent;
        std::fprintf(stderr, "\r%s: %d%%", log_.c_str(), percent);
        std::fflush(stderr);
    }

    void clear()
    {
        if (percent_ < 0)
            return;
        std::fprintf(stderr, "\r%*s\r", int(log_.size()) + 6, "");
        std::fflush(stderr);
        percent_ = -1;
    }

private:
    std::string log_;
    bool enabled_;
    int percent_ = -1;
};

// The first second of the day of a "YYYY-MM-DD" text; throws UsageError when it is none.
LogSecond GivenDate(const std::string& text)
{
    const std::optional<LogSecond> date = ReadGivenDate(text);
    if (!date)
        throw UsageError("--date: \"" + text + "\" is not a date YYYY-MM-DD");
    return *date;
}

// "LOG: 7890 seconds of wind, heading and boat speed appended to LOG.wind.txt".
void PrintWindFiles(const LogImportResult& result)
{
    for (const WindFileWritten& wind : result.WindFiles) {
        if (wind.Appended == 0)
            std::printf("%s: no new second of wind, heading and boat speed; %s is unchanged\n", result.Log.c_str(),
                        wind.Path.c_str());
        else
            std::printf("%s: %ld second%s of wind, heading and boat speed appended to %s\n", result.Log.c_str(),
                        wind.Appended, wind.Appended == 1 ? "" : "s", wind.Path.c_str());
    }
    for (const std::string& note : result.WindNotes)
        std::printf("%s: %s\n", result.Log.c_str(), note.c_str());
}

enum class Imported { Failed, Nothing, Points };

// Imports one log and reports it.
Imported ImportOne(const std::string& log, const LogImportOptions& options, bool showProgress)
{
    const bool split = options.Split;
    ProgressLine progress(log, showProgress);
    try {
        const LogImportResult result = ImportLog(
            log, [&](std::int64_t read, std::int64_t total) { progress.show(read, total); }, options);
        progress.clear();
        for (const std::string& warning : result.Warnings)
            std::fprintf(stderr, "warning: %s\n", OneLine(warning).c_str());
        if (!result.NoPointWarning.empty())
            std::fprintf(stderr, "warning: %s\n", OneLine(result.NoPointWarning).c_str());
        if (result.CanSplit() && !split)
            std::fprintf(stderr,
                         "warning: %s: %s; all went to %s: tideplot import --split %s writes one track file for "
                         "each (%s, %s, ...)\n",
                         log.c_str(), PiecesText(result.Pieces).c_str(), result.TrackFile.c_str(), log.c_str(),
                         PieceTrackFilePath(log, 1).c_str(), PieceTrackFilePath(log, 2).c_str());
        std::string from;
        if (!result.PassedOver.empty())
            from = "read from " + result.Entry + " in the archive, as " + result.PassedOver + " holds no point";
        const std::string leftOut = LeftOutNote(result);
        if (result.LogPoints == 0) {
            std::printf("%s: no point found; no track file written\n", log.c_str());
        } else if (split) {
            for (const LogPiece& piece : result.Pieces)
                std::printf("%s: %ld point%s appended to %s (%s)\n", log.c_str(), piece.Appended,
                            piece.Appended == 1 ? "" : "s", piece.TrackFile.c_str(), PieceTimeText(piece).c_str());
        } else if (result.PointCount == 0) {
            std::printf("%s: no new point; %s is unchanged\n", log.c_str(), result.TrackFile.c_str());
        } else {
            std::printf("%s: %ld point%s appended to %s\n", log.c_str(), result.PointCount,
                        result.PointCount == 1 ? "" : "s", result.TrackFile.c_str());
        }
        for (const std::string& note : {from, leftOut})
            if (!note.empty() && result.LogPoints > 0)
                std::printf("%s: %s\n", log.c_str(), note.c_str());
        PrintWindFiles(result);
        std::fflush(stdout);
        return result.PointCount > 0 ? Imported::Points : Imported::Nothing;
    } catch (const Error& e) {
        progress.clear();
        std::fprintf(stderr, "tideplot import: %s\n", OneLine(e.what()).c_str());
    } catch (const std::exception& e) {
        progress.clear();
        std::fprintf(stderr, "tideplot import: %s: %s\n", log.c_str(), OneLine(e.what()).c_str());
    }
    return Imported::Failed;
}

} // namespace

int RunImportKmlCommand(const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    LogImportOptions options;
    try {
        parsed = ParseArgs(args, {"--date"}, {"--help", "-h", "--split"});
        if (parsed.flags.count("--help") || parsed.flags.count("-h")) {
            std::fputs(kImportUsage, stdout);
            return 0;
        }
        if (parsed.positional.empty())
            throw UsageError("no log given");
        if (parsed.has("--date"))
            options.Read.GivenDate = GivenDate(parsed.value("--date", ""));
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot import: %s\n%s", e.what(), kImportUsage);
        return 2;
    }
    const bool showProgress = StderrIsTerminal();
    options.Split = parsed.flags.count("--split") > 0;
    bool failed = false;
    bool added = false;
    for (const std::string& log : parsed.positional) {
        const Imported imported = ImportOne(log, options, showProgress);
        failed = failed || imported == Imported::Failed;
        added = added || imported == Imported::Points;
    }
    return failed || !added ? 1 : 0;
}

} // namespace tideplot
