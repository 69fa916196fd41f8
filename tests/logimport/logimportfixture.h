// The log import's tests' logs: KML, GPX and KMZ as loggers write them, a folder of its own for
// each test, and the engine's replay of a track file written.
#pragma once

#include "core/datetime.h"
#include "core/error.h"
#include "core/replay.h"
#include "import/gpxreader.h"
#include "import/kmlreader.h"
#include "import/kmz.h"
#include "import/logimport.h"
#include "import/trackwriter.h"
#include "support/logreading.h"
#include "support/racefiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace tideplot {

using namespace tideplot::testing;
namespace fs = std::filesystem;

inline constexpr const char* kKmlStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                                         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n<Document>\n";

inline std::string Kml(const std::string& body)
{
    return kKmlStart + body + "</Document>\n</kml>\n";
}

// A GPX log of one track segment holding `trkpts` (the trkpt elements), then `more`.
inline std::string Gpx(const std::string& trkpts, const std::string& more = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"test\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>Race</name><trkseg>\n" +
           trkpts + "</trkseg></trk>\n" + more + "</gpx>\n";
}

inline std::string Trkpt(const std::string& lat, const std::string& lon, const std::string& inside)
{
    return "<trkpt lat=\"" + lat + "\" lon=\"" + lon + "\">" + inside + "</trkpt>\n";
}

// A placemark over nine lines: the when on its line 3, the coordinates on its line 6.
inline std::string TrackPlacemark(const std::string& when, const std::string& coordinates)
{
    return "<Placemark>\n<TimeStamp>\n<when>" + when + "</when>\n</TimeStamp>\n<Point>\n<coordinates>" + coordinates +
           "</coordinates>\n</Point>\n</Placemark>\n";
}

// `count` copies of `tag`, each one inside the one before unless it closes itself.
inline std::string Nested(int count, const std::string& tag = "<a>")
{
    std::string tags;
    for (int i = 0; i < count; ++i)
        tags += tag;
    return tags;
}

// A log of `points` placemarks laid out the way gpsbabel writes track points
// (-o kml,points=1,lines=0), one a second from 2008-06-21 00:00:00.
inline std::string GpsbabelLog(int points)
{
    std::string body = "<Folder>\n<name>Tracks</name>\n<Folder>\n<name>Race</name>\n<Folder>\n<name>Points</name>\n";
    for (int i = 0; i < points; ++i) {
        char when[32];
        std::snprintf(when, sizeof when, "2008-06-21T%02d:%02d:%02dZ", i / 3600 % 24, i / 60 % 60, i % 60);
        body += "          <Placemark>\n            <name>Race-" + std::to_string(i) +
                "</name>\n            <snippet/>\n            <description><![CDATA[\n<table>\n<tr><td>Time: " + when +
                " </td></tr>\n</table>\n]]></description>\n            <LookAt>\n              <longitude>11.9"
                "</longitude>\n              <latitude>57.7</latitude>\n              <tilt>66</tilt>\n"
                "            </LookAt>\n            <TimeStamp>\n              <when>" +
                when +
                "</when>\n            </TimeStamp>\n            <styleUrl>#track</styleUrl>\n            <Point>\n"
                "              <coordinates>11.9" +
                std::to_string(10000 + i % 9000) + ",57.7" + std::to_string(10000 + i % 7000) +
                ",2.50</coordinates>\n            </Point>\n          </Placemark>\n";
    }
    return Kml(body + "</Folder>\n</Folder>\n</Folder>\n");
}

// A track point the way a logger writes it, one a second from 2008-06-21 10:00:00.
inline std::string LoggerTrkpt(int i)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "<trkpt lat=\"57.%06d\" lon=\"11.%06d\"><ele>2.5</ele><time>2008-06-21T%02d:%02d:%02dZ</time>"
                  "<extensions><speed>3.1</speed></extensions></trkpt>\n",
                  100000 + i % 900000, 200000 + i % 800000, 10 + i / 3600 % 14, i / 60 % 60, i % 60);
    return text;
}

// A folder of its own for each test, removed after it.
class LogImportTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.file(name); }

    // Writes `bytes` as the log `name`, without a track file beside it.
    std::string WriteLog(const std::string& bytes, const std::string& name = "log.kml") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        for (int piece = 1; piece <= 4; ++piece)
            fs::remove(PieceTrackFilePath(path, piece));
        return path;
    }

    TempDir dir_;
};

using KmlReaderTest = LogImportTest;
using TrackWriterTest = LogImportTest;

// A zip archive holding `entries`, deflated (or stored), optionally encrypted.
inline std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries, bool stored = false,
                       const char* password = nullptr)
{
    const std::string path = (fs::temp_directory_path() / ("tideplot_zip_" + std::to_string(::getpid()))).string();
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    EXPECT_NE(archive, nullptr);
    if (!archive)
        return {};
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
        EXPECT_GE(index, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
        if (password) {
            EXPECT_EQ(zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, password), 0);
        }
    }
    EXPECT_EQ(zip_close(archive), 0);
    std::string bytes = Slurp(path);
    fs::remove(path);
    return bytes;
}

// The archive with the unpacked size of its (only) entry changed in both of its headers.
inline std::string WithStatedSize(std::string archive, std::uint32_t size)
{
    for (const std::size_t at : {archive.find("PK\x03\x04") + 22, archive.find("PK\x01\x02") + 24})
        for (std::size_t i = 0; i < 4; ++i)
            archive[at + i] = char((size >> (8 * i)) & 0xFF);
    return archive;
}

// A written track file is in time order, each second once, and the replay engine plays it
// from its first fix to its end (in some 300 steps, a day at most each).
inline void ExpectReplays(const std::string& trackFile)
{
    SCOPED_TRACE("replaying " + trackFile + ":\n" + Slurp(trackFile));
    std::ifstream in(trackFile, std::ios::binary);
    std::vector<long long> seconds;
    char start[32] = "";
    for (std::string line; std::getline(in, line);) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        if (std::sscanf(line.c_str(), "%*[^,],%*[^,],%4d%2d%2d,%2d%2d%2d", &y, &mo, &d, &h, &mi, &s) != 6)
            continue; // no fix: the header, a comment or an empty line
        seconds.push_back(DayNumber(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
        if (!*start)
            std::snprintf(start, sizeof start, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    }
    ASSERT_FALSE(seconds.empty());
    EXPECT_TRUE(std::adjacent_find(seconds.begin(), seconds.end(), std::greater_equal<>()) == seconds.end())
        << "the fixes are not in time order, each second once";
    RaceState state;
    state.RaceFileName = trackFile + ".TP1";
    std::ofstream(state.RaceFileName, std::ios::binary)
        << fs::path(trackFile).filename().string() << " , " << start << " , 1.00 , 0 , ,\r\n";
    ReplaySettings settings;
    settings.ResolutionSeconds =
        static_cast<double>(std::min<long long>((seconds.back() - seconds.front()) / 300 + 1, 86400));
    StepOutcome outcome;
    try {
        StartReplay(state);
        for (int step = 0; step < 100000 && !AllTrackFilesAtEnd(state); ++step)
            ReplayStep(state, settings, outcome);
        EXPECT_TRUE(AllTrackFilesAtEnd(state));
    } catch (const Error& e) {
        ADD_FAILURE() << "the replay stops: " << e.what();
    }
    CloseTrackFiles(state);
    fs::remove(state.RaceFileName);
}

// The points of a store, in time order, as track lines.
inline std::string SortedLines(LogPoints& points)
{
    std::string lines;
    for (const auto cursor = points.Sorted(); cursor->Next();)
        lines += std::string(cursor->Line()) + "\r\n";
    return lines;
}

// A GPX log of the track points `trkpts`, each "LAT LON TIME" ("" for a new trk), one a line
// from line 3 on.
inline std::string GpxTrack(const std::vector<std::string>& trkpts)
{
    std::string body;
    for (const std::string& p : trkpts) {
        if (p.empty()) {
            body += "</trkseg></trk><trk><trkseg>\n";
            continue;
        }
        const std::size_t a = p.find(' '), b = p.find(' ', a + 1);
        body += Trkpt(p.substr(0, a), p.substr(a + 1, b - a - 1), "<time>" + p.substr(b + 1) + "</time>");
    }
    return "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><trkseg>\n" + body + "</trkseg></trk></gpx>\n";
}

// Logs in every layout loggers write, every way a point can be unusable, and everything a
// log can say about its times: the lines each log adds to its track file (which then
// replays), its pieces, and what the import warns about, in order.

} // namespace tideplot
