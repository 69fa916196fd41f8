// Runs the log import over arbitrary bytes. The first byte chooses how they reach it:
//  - even: the rest is the log file itself (KML, GPX or KMZ, told by its content);
//  - odd: the rest is the KML document inside a KMZ archive (zipped here).
// The import must give points or throw Error, never crash. A plain log read in parts, with
// its points sorted in a little memory, must give exactly what one pass gives (points in
// time order, skipped points, contents, times, tracks, error); a KMZ archive must give what
// its KML document gives as a file of its own. A successful import must write the header and
// the points read, in time order and one a second, or no file when it has none; a failed one
// must leave no track file behind.
#include "core/error.h"
#include "fuzz_check.h"
#include "import/kmlreader.h"
#include "import/logimport.h"
#include "import/logpoints.h"
#include "import/trackwriter.h"
#include "support/logreading.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

using namespace tideplot;

namespace {

// Kept alive to the very end: the files are removed at exit.
const std::string& Folder()
{
    static const std::string* const path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/tideplot_fuzz_log_" +
                               std::to_string(::getpid()));
    }();
    return *path;
}

std::string LogPath()
{
    return Folder() + ".log";
}
std::string KmlPath()
{
    return Folder() + ".kml";
}

void RemoveFiles()
{
    for (const std::string& path : {LogPath(), KmlPath()}) {
        std::remove(path.c_str());
        std::remove(TrackFilePath(path).c_str());
    }
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    Check(out != nullptr, "temporary file");
    Check(size == 0 || std::fwrite(data, 1, size, out) == size, "temporary file written");
    std::fclose(out);
}

void Zip(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    Check(archive != nullptr, "zip archive created");
    zip_source_t* source = zip_source_buffer(archive, data, size, 0);
    Check(source != nullptr && zip_file_add(archive, "doc.kml", source, 0) == 0, "zip entry added");
    Check(zip_close(archive) == 0, "zip archive written");
}

// The points, in time order, and the result read with `options` (or the message of the
// Error thrown); `kept` gets the lines an import keeps: the first of each second.
std::string Read(const std::string& path, const LogReadOptions& options, bool& failed, std::string& lines,
                 std::string& kept)
{
    failed = false;
    lines.clear();
    kept.clear();
    LogPoints points(options.PointMemoryBytes);
    try {
        const LogReading reading = ReadLogPoints(path, points, {}, options);
        Check(reading.Result.PointCount >= 0 && reading.Result.Parts >= 1, "read result");
        bool first = true;
        LogSecond last = 0;
        for (const auto cursor = points.Sorted(); cursor->Next();) {
            const std::string line = std::string(cursor->Line()) + "\r\n";
            Check(first || cursor->Second() >= last, "points in time order");
            if (first || cursor->Second() != last)
                kept += line;
            lines += line;
            first = false;
            last = cursor->Second();
        }
        Check(std::int64_t(std::count(lines.begin(), lines.end(), '\n')) == reading.Result.PointCount,
              "every point read is kept");
        return testing::DescribeLogReading(reading.Result);
    } catch (const Error& e) {
        failed = true;
        return e.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool cleanUp = [] { return std::atexit(RemoveFiles) == 0; }();
    (void)cleanUp;
    if (size == 0)
        return 0;
    const bool zipped = data[0] & 1;
    ++data;
    --size;
    const std::string log = LogPath();
    const std::string trackFile = TrackFilePath(log);

    bool failed = false;
    std::string lines;
    std::string kept;
    std::string result;
    if (!zipped) {
        Write(log, data, size);
        bool inPartsFailed = false;
        std::string inPartsLines, inPartsKept;
        result = Read(log, LogReadOptions{1, 1}, failed, lines, kept);
        const std::string inParts = Read(log, LogReadOptions{3, 1, 2048}, inPartsFailed, inPartsLines, inPartsKept);
        Check(failed == inPartsFailed && result == inParts && lines == inPartsLines, "parts differ from one pass");
    } else {
        Zip(log, data, size);
        Write(KmlPath(), data, size);
        result = Read(log, LogReadOptions{1, 1}, failed, lines, kept);
        // The same document as a KML file (whatever its root), read in one pass.
        LogPoints kmlPoints(LogReadOptions{}.PointMemoryBytes);
        bool kmlFailed = false;
        try {
            const LogReadResult r = ReadKmlPoints(KmlPath(), kmlPoints, {}, LogReadOptions{1, 1});
            kmlFailed = r.PointCount == 0 && r.EndedEarlyAt > 0;
        } catch (const Error&) {
            kmlFailed = true;
        }
        std::string kmlLines;
        for (const auto cursor = kmlPoints.Sorted(); cursor->Next();)
            kmlLines += std::string(cursor->Line()) + "\r\n";
        Check(failed == kmlFailed && (failed || lines == kmlLines), "KMZ differs from its KML document");
    }

    std::remove(trackFile.c_str());
    try {
        const LogImportResult imported = ImportLog(log);
        Check(!failed, "import succeeded where reading failed");
        std::ifstream in(trackFile, std::ios::binary);
        const std::string written(std::istreambuf_iterator<char>(in), {});
        Check(kept.empty() ? !in.is_open() : written == std::string(kTrackHeaderLine) + kept,
              "track file differs from the points read");
        Check(imported.TrackFile == trackFile, "track file name");
        Check((imported.PointCount == 0) != imported.NoPointWarning.empty(), "no-point warning");
        Check(!ImportReportText(imported).empty(), "report");
    } catch (const Error& e) {
        Check(failed && result == e.what(), "import failed differently from reading");
        Check(std::fopen(trackFile.c_str(), "rb") == nullptr, "failed import left a track file");
    }
    std::remove(trackFile.c_str());
    return 0;
}
