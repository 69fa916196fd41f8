// Runs the NMEA 0183 import over arbitrary bytes. The first byte chooses how: bit 0 gives
// the log a date (--date) or not, bit 1 puts a valid RMC sentence in front of the rest, so
// that its sentences have a date and a time to go with. The import must give points or
// throw Error, never crash. Read with its points sorted in a little memory it must give
// exactly what it gives in much. A successful import writes the track file (the header and
// the points, in time order, one a second) and, when the log has instruments, the wind file
// (the header and lines the wind file's reader takes back, in time order, one a second);
// a failed one leaves neither behind.
#include "core/datetime.h"
#include "core/error.h"
#include "core/windfile.h"
#include "fuzz_check.h"
#include "import/logimport.h"
#include "import/logpoints.h"
#include "import/trackwriter.h"

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
        return new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/tideplot_fuzz_nmea_" +
                               std::to_string(::getpid()) + ".nmea");
    }();
    return *path;
}

void RemoveFiles()
{
    std::remove(LogPath().c_str());
    std::remove(TrackFilePath(LogPath()).c_str());
    std::remove(WindFilePath(TrackFilePath(LogPath())).c_str());
}

std::string Slurp(const std::string& path, bool& exists)
{
    std::ifstream in(path, std::ios::binary);
    exists = in.is_open();
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The points and wind lines read with `memory` bytes for them, in time order, or the error.
std::string Read(const LogReadOptions& options, std::string& kept)
{
    LogPoints points(options.PointMemoryBytes), wind(options.PointMemoryBytes);
    kept.clear();
    try {
        const LogReading reading = ReadLogPoints(LogPath(), points, {}, options, &wind);
        std::string all;
        for (LogPoints* store : {&points, &wind}) {
            bool first = true;
            LogSecond last = 0;
            for (const auto cursor = store->Sorted(); cursor->Next(); first = false) {
                Check(first || cursor->Second() >= last, "lines in time order");
                if (store == &points && (first || cursor->Second() != last))
                    kept += std::string(cursor->Line()) + "\r\n";
                all += std::string(cursor->Line()) + "\n";
                last = cursor->Second();
            }
            all += "--\n";
        }
        return all + std::to_string(reading.Result.PointCount) + " " + std::to_string(reading.Result.Skipped.Count) +
               " " + std::to_string(reading.Result.BadChecksums.Count) + " " +
               std::to_string(reading.Result.Wind.Seconds);
    } catch (const Error& e) {
        return std::string("error: ") + e.what();
    }
}

void CheckWindFile(const std::string& path)
{
    bool exists = false;
    const std::string text = Slurp(path, exists);
    if (!exists)
        return;
    Check(text.rfind(std::string(kWindHeaderLine), 0) == 0, "wind file header");
    WindFileReader reader(path);
    WindFileLine line;
    bool first = true;
    double last = 0;
    while (reader.next(line)) {
        Check(first || line.Time > last, "wind lines in time order, one a second");
        first = false;
        last = line.Time;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool cleanUp = [] { return std::atexit(RemoveFiles) == 0; }();
    (void)cleanUp;
    if (size == 0)
        return 0;
    const std::uint8_t how = data[0];
    std::string log = how & 2 ? "$GPRMC,103144,A,4614.530,N,00610.621,E,06.0,107,110708,,,A*46\r\n" : "";
    log.append(reinterpret_cast<const char*>(data + 1), size - 1);
    {
        std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
        out << log;
    }
    LogReadOptions options{1, 1};
    if (how & 1)
        options.GivenDate = DayNumber(2019, 7, 1) * 86400;

    std::string kept, keptInLittle;
    const std::string much = Read(options, kept);
    options.PointMemoryBytes = 1024;
    const std::string little = Read(options, keptInLittle);
    Check(much == little, "a little memory gives what much gives");

    RemoveFiles();
    {
        std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
        out << log;
    }
    LogImportOptions importOptions;
    importOptions.Read.GivenDate = options.GivenDate;
    bool trackExists = false;
    try {
        const LogImportResult result = ImportLog(LogPath(), {}, importOptions);
        Check(much.rfind("error: ", 0) != 0, "import succeeded where reading failed");
        const std::string track = Slurp(TrackFilePath(LogPath()), trackExists);
        Check(kept.empty() ? !trackExists : track == std::string(kTrackHeaderLine) + kept,
              "track file differs from the points read");
        Check(!ImportReportText(result).empty(), "report");
        CheckWindFile(WindFilePath(TrackFilePath(LogPath())));
    } catch (const Error& e) {
        Check(much == std::string("error: ") + e.what(), "import failed differently from reading");
        Slurp(TrackFilePath(LogPath()), trackExists);
        bool windExists = false;
        Slurp(WindFilePath(TrackFilePath(LogPath())), windExists);
        Check(!trackExists && !windExists, "failed import left a file behind");
    }
    RemoveFiles();
    return 0;
}
