// Runs the KML log import over arbitrary bytes (written to a file, as a log is read): it
// must give track lines or throw Error, never crash; reading the log in parts must give
// exactly what one pass gives; and the import must append those lines, or on an error
// leave no track file behind.
#include "core/error.h"
#include "core/kmlreader.h"
#include "core/logimport.h"
#include "core/trackwriter.h"
#include "fuzz_check.h"

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
const std::string& LogPath()
{
    static const std::string* const path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/tideplot_fuzz_kml_" +
                               std::to_string(::getpid()) + ".kml");
    }();
    return *path;
}

void RemoveFiles()
{
    std::remove(LogPath().c_str());
    std::remove(TrackFilePath(LogPath()).c_str());
}

// The lines read with `options`, or the message of the Error thrown.
std::string Read(const LogReadOptions& options, bool& failed)
{
    std::string lines;
    failed = false;
    try {
        const LogReadResult result = ReadKmlTrackLines(LogPath(), lines, {}, options);
        Check(result.PointCount >= 0 && result.Parts >= 1, "read result");
    } catch (const Error& e) {
        failed = true;
        return e.what();
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool cleanUp = [] { return std::atexit(RemoveFiles) == 0; }();
    (void)cleanUp;
    const std::string& log = LogPath();
    const std::string trackFile = TrackFilePath(log);
    {
        std::FILE* out = std::fopen(log.c_str(), "wb");
        Check(out != nullptr, "temporary log");
        Check(size == 0 || std::fwrite(data, 1, size, out) == size, "temporary log written");
        std::fclose(out);
    }

    bool onePassFailed = false, inPartsFailed = false;
    const std::string onePass = Read(LogReadOptions{1, 1}, onePassFailed);
    const std::string inParts = Read(LogReadOptions{3, 1}, inPartsFailed);
    Check(onePassFailed == inPartsFailed && onePass == inParts, "parts differ from one pass");

    std::remove(trackFile.c_str());
    try {
        const LogImportResult result = ImportLog(log);
        Check(!onePassFailed, "import succeeded where reading failed");
        std::ifstream in(trackFile, std::ios::binary);
        const std::string written(std::istreambuf_iterator<char>(in), {});
        Check(written == std::string(kTrackHeaderLine) + onePass, "track file differs from the lines read");
        Check(result.TrackFile == trackFile, "track file name");
    } catch (const Error& e) {
        Check(onePassFailed && onePass == e.what(), "import failed differently from reading");
        Check(std::fopen(trackFile.c_str(), "rb") == nullptr, "failed import left a track file");
    }
    std::remove(trackFile.c_str());
    return 0;
}
