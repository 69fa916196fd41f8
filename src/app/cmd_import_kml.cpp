#include "app/args.h"
#include "app/commands.h"
#include "core/error.h"
#include "import/logimport.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

namespace tideplot {

namespace {

const char* kImportUsage =
    "Usage: tideplot import LOG [LOG2 ...]      (import-kml is another name for it)\n"
    "Appends the points of each GPS log (KML, KMZ or GPX, told by its content) to the track\n"
    "file beside it (LOG.gpx gives LOG.gpx.txt), one line \"LAT,LON,YYYYMMDD,hhmmss\" per point;\n"
    "a boat entry for that file uses \",\" as its separator. A new track file starts with the\n"
    "column header line \"Latitude,Longitude,Date,Time\". The points are KML placemarks with a\n"
    "time stamp and a Point, the points of KML gx:Track elements and GPX track points (trkpt)\n"
    "with a time. Times are copied as the log writes them, without zone conversion (almost\n"
    "every logger writes UTC): type the boats' start times in the same time base.\n"
    "A point without a usable time or position is skipped, with a warning. A log that cannot\n"
    "be read appends nothing and leaves the track file as it was; the other logs are still\n"
    "imported. Importing a log twice appends its points twice.\n"
    "Exit status: 0 when every log was imported, 1 when a log failed, 2 for a usage error.\n"
    "  --help   show this text\n";

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

// Imports one log and reports it; false when it failed.
bool ImportOne(const std::string& log, bool showProgress)
{
    ProgressLine progress(log, showProgress);
    try {
        const LogImportResult result =
            ImportLog(log, [&](std::int64_t read, std::int64_t total) { progress.show(read, total); });
        progress.clear();
        if (!result.SkippedWarning.empty())
            std::fprintf(stderr, "warning: %s\n", OneLine(result.SkippedWarning).c_str());
        if (!result.NoPointWarning.empty())
            std::fprintf(stderr, "warning: %s\n", OneLine(result.NoPointWarning).c_str());
        if (result.PointCount == 0)
            std::printf("%s: no point found; nothing appended to %s\n", log.c_str(), result.TrackFile.c_str());
        else
            std::printf("%s: %ld point%s appended to %s\n", log.c_str(), result.PointCount,
                        result.PointCount == 1 ? "" : "s", result.TrackFile.c_str());
        std::fflush(stdout);
        return true;
    } catch (const Error& e) {
        progress.clear();
        std::fprintf(stderr, "tideplot import: %s\n", OneLine(e.what()).c_str());
    } catch (const std::exception& e) {
        progress.clear();
        std::fprintf(stderr, "tideplot import: %s: %s\n", log.c_str(), OneLine(e.what()).c_str());
    }
    return false;
}

} // namespace

int RunImportKmlCommand(const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    try {
        parsed = ParseArgs(args, {}, {"--help", "-h"});
        if (parsed.flags.count("--help") || parsed.flags.count("-h")) {
            std::fputs(kImportUsage, stdout);
            return 0;
        }
        if (parsed.positional.empty())
            throw UsageError("no log given");
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot import: %s\n%s", e.what(), kImportUsage);
        return 2;
    }
    const bool showProgress = StderrIsTerminal();
    int failed = 0;
    for (const std::string& log : parsed.positional)
        if (!ImportOne(log, showProgress))
            ++failed;
    return failed == 0 ? 0 : 1;
}

} // namespace tideplot
