// Runs the log import over arbitrary bytes. The first byte chooses how they reach it:
//  - even: the rest is the log file itself (KML, GPX or KMZ, told by its content);
//  - odd: the rest is the KML document inside a KMZ archive (zipped here).
// The import must give track lines or throw Error, never crash. A plain log read in parts
// must give exactly what one pass gives (lines, skipped points, contents, error); a KMZ
// archive must give what its KML document gives as a file of its own. A successful import
// must write the header and the lines read; a failed one must leave no track file behind.
#include "core/error.h"
#include "import/kmlreader.h"
#include "import/logimport.h"
#include "import/trackwriter.h"
#include "fuzz_check.h"

#include <zip.h>

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

std::string Describe(const LogReadResult& r)
{
    const LogContents& c = r.Contents;
    return std::to_string(r.PointCount) + "/" + std::to_string(r.Skipped.Count) + "/" +
           std::to_string(r.Skipped.FirstLine) + "/" + r.Skipped.FirstReason + "/" +
           std::to_string(c.UntimedPlacemarks) + "/" + std::to_string(c.LineStrings) + "/" +
           std::to_string(c.LineStringPoints) + "/" + std::to_string(c.Tracks) + "/" + std::to_string(c.TrackPoints) +
           "/" + std::to_string(c.RoutePoints) + "/" + std::to_string(c.Waypoints);
}

// The lines and result read with `options` (or the message of the Error thrown).
std::string Read(const std::string& path, const LogReadOptions& options, bool& failed, std::string& lines)
{
    failed = false;
    lines.clear();
    try {
        const LogReading reading = ReadLogTrackLines(path, lines, {}, options);
        Check(reading.Result.PointCount >= 0 && reading.Result.Parts >= 1, "read result");
        return Describe(reading.Result);
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
    std::string result;
    if (!zipped) {
        Write(log, data, size);
        bool inPartsFailed = false;
        std::string inPartsLines;
        result = Read(log, LogReadOptions{1, 1}, failed, lines);
        const std::string inParts = Read(log, LogReadOptions{3, 1}, inPartsFailed, inPartsLines);
        Check(failed == inPartsFailed && result == inParts && lines == inPartsLines, "parts differ from one pass");
    } else {
        Zip(log, data, size);
        Write(KmlPath(), data, size);
        result = Read(log, LogReadOptions{1, 1}, failed, lines);
        std::string kmlLines;
        bool kmlFailed = false;
        try {
            ReadKmlTrackLines(KmlPath(), kmlLines, {}, LogReadOptions{1, 1});
        } catch (const Error&) {
            kmlFailed = true;
        }
        Check(failed == kmlFailed && (failed || lines == kmlLines), "KMZ differs from its KML document");
    }

    std::remove(trackFile.c_str());
    try {
        const LogImportResult imported = ImportLog(log);
        Check(!failed, "import succeeded where reading failed");
        std::ifstream in(trackFile, std::ios::binary);
        const std::string written(std::istreambuf_iterator<char>(in), {});
        Check(written == std::string(kTrackHeaderLine) + lines, "track file differs from the lines read");
        Check(imported.TrackFile == trackFile, "track file name");
        Check((imported.PointCount == 0) != imported.NoPointWarning.empty(), "no-point warning");
    } catch (const Error& e) {
        Check(failed && result == e.what(), "import failed differently from reading");
        Check(std::fopen(trackFile.c_str(), "rb") == nullptr, "failed import left a track file");
    }
    std::remove(trackFile.c_str());
    return 0;
}
