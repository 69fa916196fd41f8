#pragma once

// Logs, files and folders shared by the log import tests.

#include "core/error.h"
#include "core/logimport.h"
#include "core/trackwriter.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tideplot::testing {

namespace fs = std::filesystem;

inline constexpr const char* kKmlStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                                         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n<Document>\n";

inline std::string Kml(const std::string& body)
{
    return kKmlStart + body + "</Document>\n</kml>\n";
}

inline constexpr const char* kGpxStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<gpx version=\"1.1\" creator=\"test\" "
                                         "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

// A GPX log of one track segment holding `trkpts` (the trkpt elements).
inline std::string Gpx(const std::string& trkpts)
{
    return kGpxStart + std::string("<trk><name>Race</name><trkseg>\n") + trkpts + "</trkseg></trk>\n</gpx>\n";
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
class ImportTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.file(name); }

    // Writes `bytes` as the log `name`, without a track file beside it.
    std::string WriteLog(const std::string& bytes, const std::string& name = "log.kml") const
    {
        const std::string path = dir_.writeBytes(name, bytes);
        fs::remove(TrackFilePath(path));
        return path;
    }

    TempDir dir_;
};

} // namespace tideplot::testing
