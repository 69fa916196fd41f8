#pragma once

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace tideplot::bench {

// The time of the race's point i, one every 5 seconds from 2007-08-18 10:00:00 UTC.
inline std::string LogTimeText(long i)
{
    const std::time_t t = 1187431200 + 5 * i;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return std::string(text);
}

// The position of the race's point i, on a slow circle off Stockholm.
inline void LogPosition(long i, double& lat, double& lon)
{
    const double a = double(i) * 0.0005;
    lat = 59.3 + 0.05 * std::sin(a);
    lon = 18.4 + 0.1 * std::cos(a);
}

// gpsbabel's KML document up to its styles: the name, the snippet and the LookAt spanning
// the log's times.
inline void WriteGpsbabelKmlHead(std::FILE* out, const std::string& first, const std::string& last)
{
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
                 "  <Document>\n"
                 "    <name>GPS device</name>\n"
                 "    <snippet>Created Sat Aug 18 20:00:00 2007 GMT</snippet>\n"
                 "    <LookAt>\n"
                 "      <gx:TimeSpan>\n"
                 "        <begin>%s</begin>\n"
                 "        <end>%s</end>\n"
                 "      </gx:TimeSpan>\n"
                 "      <longitude>18.400000</longitude>\n"
                 "      <latitude>59.300000</latitude>\n"
                 "      <range>22236.857413</range>\n"
                 "    </LookAt>\n",
                 first.c_str(), last.c_str());
}

// gpsbabel's track styles: the normal and highlighted points, their style map and the line.
inline void WriteGpsbabelKmlStyles(std::FILE* out)
{
    const char* const iconBase = "https://earth.google.com/images/kml-icons/track-directional/track-none.png";
    std::fprintf(out,
                 "    <!-- Normal track style -->\n"
                 "    <Style id=\"track_n\">\n"
                 "      <IconStyle>\n"
                 "        <scale>.5</scale>\n"
                 "        <Icon>\n"
                 "          <href>%s</href>\n"
                 "        </Icon>\n"
                 "      </IconStyle>\n"
                 "      <LabelStyle>\n"
                 "        <scale>0</scale>\n"
                 "      </LabelStyle>\n"
                 "    </Style>\n"
                 "    <!-- Highlighted track style -->\n"
                 "    <Style id=\"track_h\">\n"
                 "      <IconStyle>\n"
                 "        <scale>1.2</scale>\n"
                 "        <Icon>\n"
                 "          <href>%s</href>\n"
                 "        </Icon>\n"
                 "      </IconStyle>\n"
                 "    </Style>\n"
                 "    <StyleMap id=\"track\">\n"
                 "      <Pair>\n"
                 "        <key>normal</key>\n"
                 "        <styleUrl>#track_n</styleUrl>\n"
                 "      </Pair>\n"
                 "      <Pair>\n"
                 "        <key>highlight</key>\n"
                 "        <styleUrl>#track_h</styleUrl>\n"
                 "      </Pair>\n"
                 "    </StyleMap>\n"
                 "    <Style id=\"lineStyle\">\n"
                 "      <LineStyle>\n"
                 "        <color>99ffac59</color>\n"
                 "        <width>6</width>\n"
                 "      </LineStyle>\n"
                 "    </Style>\n",
                 iconBase, iconBase);
}

// The opening of gpsbabel's Tracks folder: the track's folder with its start and end times and
// the opening of its Points folder.
inline void WriteGpsbabelKmlTrackFolders(std::FILE* out, const std::string& first, const std::string& last)
{
    std::fprintf(out,
                 "    <Folder>\n"
                 "      <name>Tracks</name>\n"
                 "      <Folder>\n"
                 "        <name>Race</name>\n"
                 "        <snippet/>\n"
                 "        <description>\n"
                 "<![CDATA[<table>\n"
                 "<tr><td><b>Start Time</b>%s</td></tr>\n"
                 "<tr><td><b>End Time</b>%s</td></tr>\n"
                 "</table>]]>\n"
                 "</description>\n"
                 "        <TimeSpan>\n"
                 "          <begin>%s</begin>\n"
                 "          <end>%s</end>\n"
                 "        </TimeSpan>\n"
                 "        <Folder>\n"
                 "          <name>Points</name>\n",
                 first.c_str(), last.c_str(), first.c_str(), last.c_str());
}

// The Placemark of the race's point i as gpsbabel writes a track point: a description table,
// a LookAt, a TimeStamp and a Point with its elevation.
inline void WriteGpsbabelKmlPoint(std::FILE* out, long i)
{
    double lat = 0, lon = 0;
    LogPosition(i, lat, lon);
    const double elevationMetres = 2.0 + double(i % 7) * 0.25;
    const std::string when = LogTimeText(i);
    std::fprintf(out,
                 "          <Placemark>\n"
                 "            <name>Race-%ld</name>\n"
                 "            <snippet/>\n"
                 "            <description><![CDATA[\n"
                 "<table>\n"
                 "<tr><td>Longitude: %f </td></tr>\n"
                 "<tr><td>Latitude: %f </td></tr>\n"
                 "<tr><td>Altitude: %.3f ft </td></tr>\n"
                 "<tr><td>Speed: %.1f mph </td></tr>\n"
                 "<tr><td>Heading: %.1f </td></tr>\n"
                 "<tr><td>Time: %s </td></tr>\n"
                 "</table>\n"
                 "]]></description>\n"
                 "            <LookAt>\n"
                 "              <longitude>%f</longitude>\n"
                 "              <latitude>%f</latitude>\n"
                 "              <tilt>66</tilt>\n"
                 "            </LookAt>\n"
                 "            <TimeStamp>\n"
                 "              <when>%s</when>\n"
                 "            </TimeStamp>\n"
                 "            <styleUrl>#track</styleUrl>\n"
                 "            <Point>\n"
                 "              <coordinates>%f,%f,%.2f</coordinates>\n"
                 "            </Point>\n"
                 "          </Placemark>\n",
                 i, lon, lat, elevationMetres * 3.2808399, 6.5 + double(i % 10) * 0.1,
                 std::fmod(double(i) * 0.0286, 360.0), when.c_str(), lon, lat, when.c_str(), lon, lat, elevationMetres);
}

// Writes a KML log of a boat's race the way gpsbabel writes a GPX track with
// "-o kml,points=1,lines=0": the document's styles, then one Folder per track holding one
// Placemark per point, each with a description table, a LookAt, a TimeStamp and a Point.
// The boat sails a slow circle off Stockholm, one point every 5 seconds from
// 2007-08-18 10:00:00 UTC, with its elevation. Returns false when writing fails.
inline bool WriteGpsbabelKmlLog(std::FILE* out, long pointCount)
{
    const std::string first = LogTimeText(0);
    const std::string last = LogTimeText(pointCount > 0 ? pointCount - 1 : 0);
    WriteGpsbabelKmlHead(out, first, last);
    WriteGpsbabelKmlStyles(out);
    WriteGpsbabelKmlTrackFolders(out, first, last);
    for (long i = 0; i < pointCount; ++i)
        WriteGpsbabelKmlPoint(out, i);
    std::fputs("        </Folder>\n"
               "      </Folder>\n"
               "    </Folder>\n"
               "  </Document>\n"
               "</kml>\n",
               out);
    return std::ferror(out) == 0;
}

// Writes the same race as a GPX 1.1 log, laid out the way GPS loggers write it: one track
// of one segment, each track point with its elevation, time and satellite count on lines of
// their own. Latitude and longitude with six decimals, as gpsbabel writes them. Returns
// false when writing fails.
inline bool WriteGpxLog(std::FILE* out, long pointCount)
{
    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<gpx version=\"1.1\" creator=\"GPS logger\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                 "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                 "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
                 "  <metadata>\n"
                 "    <time>%s</time>\n"
                 "  </metadata>\n"
                 "  <trk>\n"
                 "    <name>Race</name>\n"
                 "    <trkseg>\n",
                 LogTimeText(0).c_str());
    for (long i = 0; i < pointCount; ++i) {
        double lat = 0;
        double lon = 0;
        LogPosition(i, lat, lon);
        std::fprintf(out,
                     "      <trkpt lat=\"%f\" lon=\"%f\">\n"
                     "        <ele>%.2f</ele>\n"
                     "        <time>%s</time>\n"
                     "        <sat>%ld</sat>\n"
                     "      </trkpt>\n",
                     lat, lon, 2.0 + double(i % 7) * 0.25, LogTimeText(i).c_str(), 6 + i % 5);
    }
    std::fputs("    </trkseg>\n"
               "  </trk>\n"
               "</gpx>\n",
               out);
    return std::ferror(out) == 0;
}

} // namespace tideplot::bench
