#pragma once

// Logs, files and folders shared by the log import tests.

#include "core/error.h"
#include "core/logimport.h"
#include "core/trackwriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

namespace tideplot::testing {

namespace fs = std::filesystem;

inline constexpr const char* kKmlStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                                         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n<Document>\n";
inline constexpr const char* kKmlEnd = "</Document>\n</kml>\n";

inline std::string Kml(const std::string& body)
{
    return kKmlStart + body + kKmlEnd;
}

inline constexpr const char* kGpxStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<gpx version=\"1.1\" creator=\"test\" "
                                         "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

// A GPX log of one track segment holding `trkpts` (the trkpt elements).
inline std::string Gpx(const std::string& trkpts)
{
    return kGpxStart + std::string("<trk><name>Race</name><trkseg>\n") + trkpts + "</trkseg></trk>\n</gpx>\n";
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The track file's text after its column header line (which must be there).
inline std::string AfterHeader(const std::string& trackFile)
{
    const std::string text = ReadBytes(trackFile);
    EXPECT_EQ(text.rfind(std::string(kTrackHeaderLine), 0), 0u) << "no header line in " << trackFile;
    return text.rfind(std::string(kTrackHeaderLine), 0) == 0 ? text.substr(kTrackHeaderLine.size()) : text;
}

// A placemark the way gpsbabel writes a track point (-o kml,points=1,lines=0).
inline std::string GpsbabelPlacemark(int i)
{
    std::ostringstream p;
    const int second = i % 60, minute = (i / 60) % 60, hour = (i / 3600) % 24;
    char when[32];
    std::snprintf(when, sizeof when, "2008-06-21T%02d:%02d:%02dZ", hour, minute, second);
    p << "          <Placemark>\n"
         "            <name>Race-"
      << i
      << "</name>\n"
         "            <snippet/>\n"
         "            <description><![CDATA[\n<table>\n<tr><td>Time: "
      << when
      << " </td></tr>\n</table>\n]]></description>\n"
         "            <LookAt>\n              <longitude>11.9</longitude>\n              <latitude>57.7</latitude>\n"
         "              <tilt>66</tilt>\n            </LookAt>\n"
         "            <TimeStamp>\n              <when>"
      << when
      << "</when>\n            </TimeStamp>\n"
         "            <styleUrl>#track</styleUrl>\n"
         "            <Point>\n              <coordinates>11.9"
      << 10000 + i % 9000 << ",57.7" << 10000 + i % 7000
      << ",2.50</coordinates>\n            </Point>\n          </Placemark>\n";
    return p.str();
}

inline std::string GpsbabelLog(int points)
{
    std::string body = "<Folder>\n<name>Tracks</name>\n<Folder>\n<name>Race</name>\n<Folder>\n<name>Points</name>\n";
    for (int i = 0; i < points; ++i)
        body += GpsbabelPlacemark(i);
    body += "</Folder>\n</Folder>\n</Folder>\n";
    return Kml(body);
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

// A fresh folder for each test, removed after it.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("tideplot_import_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::string WriteLog(const std::string& bytes, const std::string& name = "log.kml") const
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // The track lines the import of `bytes` appends to a fresh track file.
    std::string Import(const std::string& bytes, const std::string& name = "log.kml")
    {
        const std::string log = WriteLog(bytes, name);
        fs::remove(TrackFilePath(log));
        ImportLog(log);
        return AfterHeader(TrackFilePath(log));
    }

    fs::path dir_;
};

} // namespace tideplot::testing
