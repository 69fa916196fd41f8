// Runs the FIT import over arbitrary bytes. The first byte chooses how they reach it:
// even, the rest is the file itself; odd, the rest is the messages of a file whose header
// and CRC are written here (so that the messages are read whatever the CRC). The import
// must give points or throw Error, never crash; the reader's records are the messages it
// counts; a successful import writes the header and the points read, in time order and one
// a second, and a failed one no track file.
#include "core/error.h"
#include "fuzz_check.h"
#include "import/fitreader.h"
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

const std::string& LogPath()
{
    static const std::string* const path = [] {
        const char* tmp = std::getenv("TMPDIR");
        return new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/tideplot_fuzz_fit_" +
                               std::to_string(::getpid()) + ".fit");
    }();
    return *path;
}

void RemoveFiles()
{
    std::remove(LogPath().c_str());
    std::remove(TrackFilePath(LogPath()).c_str());
}

// CRC-16 as the FIT protocol defines it (polynomial 0xA001, reflected), bit by bit.
std::uint16_t Crc(const std::string& bytes)
{
    std::uint16_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

std::string Wrapped(const std::string& messages)
{
    std::string file{char(12), char(0x20), char(0x54), char(0x08)};
    for (int i = 0; i < 4; ++i)
        file += char((messages.size() >> (8 * i)) & 0xFF);
    file += ".FIT" + messages;
    const std::uint16_t crc = Crc(file);
    return file + char(crc & 0xFF) + char(crc >> 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool cleanUp = [] { return std::atexit(RemoveFiles) == 0; }();
    (void)cleanUp;
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string bytes = data[0] & 1 ? Wrapped(rest) : rest;
    RemoveFiles();
    {
        std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    bool failed = false;
    std::string kept;
    long records = 0;
    try {
        ReadFitRecords(LogPath(), [&](const FitRecord&) { ++records; });
    } catch (const Error&) {
    }
    try {
        LogPoints points(1024);
        const LogReadResult result = ReadFitPoints(LogPath(), points);
        Check(result.Contents.Records == records, "records counted");
        Check(result.PointCount + result.Skipped.Count == records, "every record a point or skipped");
        bool first = true;
        LogSecond last = 0;
        for (const auto cursor = points.Sorted(); cursor->Next(); first = false) {
            Check(first || cursor->Second() >= last, "points in time order");
            if (first || cursor->Second() != last)
                kept += std::string(cursor->Line()) + "\r\n";
            last = cursor->Second();
        }
        failed = result.PointCount == 0 && result.EndedEarlyAt > 0;
    } catch (const Error&) {
        failed = true;
    }

    try {
        const LogImportResult imported = ImportLog(LogPath());
        std::ifstream in(TrackFilePath(LogPath()), std::ios::binary);
        const std::string written(std::istreambuf_iterator<char>(in), {});
        if (imported.Format == LogFormat::Fit) {
            Check(!failed, "import succeeded where reading failed");
            Check(kept.empty() ? !in.is_open() : written == std::string(kTrackHeaderLine) + kept,
                  "track file differs from the points read");
        }
        Check(!ImportReportText(imported).empty(), "report");
    } catch (const Error&) {
        Check(std::fopen(TrackFilePath(LogPath()).c_str(), "rb") == nullptr, "failed import left a track file");
    }
    RemoveFiles();
    return 0;
}
