// The log import as a sailor uses it: KML, KMZ and GPX logs as loggers write them, the
// points it skips and why, what it says when a log holds no point, bad logs and archives,
// the XML limits, and the import command.
#include "core/kmz.h"
#include "logimport_support.h"

#include <QProcess>
#include <QStringList>

#include <zip.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;

using LogImportTest = ImportTest;

struct ZipEntry {
    std::string Name;
    std::string Content;
};

// A zip archive holding `entries`, deflated (or stored), optionally encrypted.
std::string Zip(const std::vector<ZipEntry>& entries, bool stored = false, const char* password = nullptr)
{
    const std::string path = (fs::temp_directory_path() / ("tideplot_zip_" + std::to_string(::getpid()))).string();
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    EXPECT_NE(archive, nullptr);
    if (!archive)
        return {};
    for (const ZipEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.Content.data(), entry.Content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_OVERWRITE);
        EXPECT_GE(index, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
        if (password) {
            EXPECT_EQ(zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, password), 0);
        }
    }
    EXPECT_EQ(zip_close(archive), 0);
    std::string bytes = ReadBytes(path);
    fs::remove(path);
    return bytes;
}

// The archive with the unpacked size of its (only) entry changed in both of its headers.
std::string WithStatedSize(std::string archive, std::uint32_t size)
{
    for (const std::size_t at : {archive.find("PK\x03\x04") + 22, archive.find("PK\x01\x02") + 24})
        for (std::size_t i = 0; i < 4; ++i)
            archive[at + i] = char((size >> (8 * i)) & 0xFF);
    return archive;
}

// Logs as loggers write them, in every layout, and every way a point can be unusable: the
// lines each log gives and what the import warns about (a skipped point named by its line
// and reason).
TEST_F(LogImportTest, LogsGiveTheirLinesAndWarnings)
{
    std::string lineString = "<Placemark><name>Track</name><LineString><coordinates>\n";
    for (int i = 0; i < 1329; ++i)
        lineString += "11." + std::to_string(100000 + i) + ",57.7,0" + (i % 3 == 2 ? "\n" : " ");
    lineString += "</coordinates></LineString></Placemark>\n";
    const std::string timed = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
    const std::string timedLine = "57.7,11.9,20080621,143005\r\n";
    const std::string oneLine = "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp><Point>"
                                "<coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>\r\n";
    const std::string next = TrackPlacemark("2008-06-21T10:00:00Z", "1,2");
    const std::string nextLine = "2,1,20080621,100000\r\n";
    const std::string advice = "; the import needs a track with a time at each point: a KML gx:Track, KML placemarks "
                               "with time stamps, or a GPX track (trkpt elements with a time)";
    struct Case {
        std::string what;
        std::string name;
        std::string log;
        std::string lines;
        std::string warning; // the start of SkippedWarning or NoPointWarning after "LOG: "
    };
    std::vector<Case> cases = {
        {"one placemark a line, CR LF, a LineString between", "line.kml",
         "<?xml version=\"1.0\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n" + oneLine +
             "<Placemark><name>B</name><TimeStamp><when>2007-08-18T23:59:59.75+02:00</when></TimeStamp><Point>"
             "<coordinates>-151.2500001,-33.9,12.5</coordinates></Point></Placemark>\r\n<Placemark><LineString>"
             "<coordinates>18.07,59.32,0 18.08,59.33,0</coordinates></LineString></Placemark>\r\n" +
             oneLine + "</Document>\r\n</kml>\r\n",
         "59.3251,18.0710,20070818,102345\r\n-33.9,-151.2500001,20070818,235959\r\n59.3251,18.0710,20070818,102345\r\n",
         ""},
        {"blanks, attributes and namespace prefixes", "prefixes.kml",
         "<k:kml xmlns:k=\"http://www.opengis.net/kml/2.2\"><k:Placemark id=\"p1\"><k:TimeStamp id=\"t\"><k:when>\n"
         " 2008-06-21T14:30:05 </k:when></k:TimeStamp><k:Point><extrude>0</extrude><k:coordinates>\n 11.9 , 57.7\n"
         "</k:coordinates></k:Point></k:Placemark></k:kml>",
         timedLine, ""},
        {"older namespace, Point before TimeStamp, character references, lines counted at CR", "old.kml",
         "<kml xmlns=\"http://earth.google.com/kml/2.1\">\r<Placemark>\r<TimeStamp><when>bad</when></TimeStamp><Point>"
         "<coordinates>1,2</coordinates></Point></Placemark>\r<Placemark>\r<Point><coordinates>-0&#46;5&#44;-45.25,3"
         "</coordinates></Point>\r<TimeStamp><when>2008-06-21T14:30:05.123-03:30</when></TimeStamp></Placemark></kml>",
         "-45.25,-0.5,20080621,143005\r\n", "1 point skipped, at line 3: the time \"bad\" is not a date and time"},
        {"document order: nested folders, gx:MultiTrack", "order.kml",
         Kml("<Folder><Folder>" + TrackPlacemark("2010-05-28T02:00:02Z", "2,1") +
             "</Folder></Folder><Placemark>"
             "<gx:MultiTrack><gx:Track><when>2010-05-28T02:01:00Z</when><gx:coord>4 3 0</gx:coord></gx:Track>"
             "<gx:Track><when>2010-05-28T02:00:00Z</when><gx:coord>6 5 0</gx:coord></gx:Track></gx:MultiTrack>"
             "</Placemark>" +
             TrackPlacemark("2010-05-28T02:03:00Z", "8,7")),
         "1,2,20100528,020002\r\n3,4,20100528,020100\r\n5,6,20100528,020000\r\n7,8,20100528,020300\r\n", ""},
        {"gx:Track: whens paired with coords, with and without altitude, an empty gx:coord at a pause", "track.kml",
         Kml("<Placemark><gx:Track>\n<altitudeMode>absolute</altitudeMode>\n<when>2010-05-28T02:02:09Z</when>\n"
             "<when>2010-05-28T02:02:10Z</when>\n<when>2010-05-28T02:02:35.5Z</when>\n<gx:coord>-122.207881 "
             "37.371915 156.0</gx:coord>\n<gx:coord/>\n<gx:coord>\t-122.205712  37.373288\n</gx:coord>\n<ExtendedData>"
             "<SchemaData><gx:SimpleArrayData name=\"hr\"><gx:value>90</gx:value></gx:SimpleArrayData></SchemaData>"
             "</ExtendedData>\n</gx:Track></Placemark>"),
         "37.371915,-122.207881,20100528,020209\r\n37.373288,-122.205712,20100528,020235\r\n",
         "1 point skipped, at line 10: the gx:coord is empty"},
        {"KML 2.3 Track", "track23.kml",
         "<kml xmlns=\"http://www.opengis.net/kml/2.3\"><Placemark><Track><when>2010-05-28T02:02:09Z</when>"
         "<coord>1.5 2.5 3</coord></Track></Placemark></kml>",
         "2.5,1.5,20100528,020209\r\n", ""},
        {"empty when for a fix without a time", "notime.kml",
         Kml("<Placemark><gx:Track>\n<when/>\n<when>2010-05-28T02:02:10Z</when>\n<gx:coord>1 2 3</gx:coord>\n"
             "<gx:coord>3 4 5</gx:coord>\n</gx:Track></Placemark>\n"),
         "4,3,20100528,020210\r\n", "1 point skipped, at line 5: the time is empty"},
        {"statistics marker at latitude 100", "marker.kml",
         Kml(timed + TrackPlacemark("2008-06-21T14:30:06Z", "1,100") + TrackPlacemark("2008-06-21T14:30:07Z", "1,95")),
         timedLine, "2 points skipped, the first at line 17: the latitude \"100\" is not a number from -90 to 90"},
        {"time stamp without when", "nowhen.kml",
         Kml("<Placemark>\n<TimeStamp/>\n<Point><coordinates>1,2</coordinates></Point></Placemark>" + next), nextLine,
         "1 point skipped, at line 5: the time stamp has no when"},
        {"gx:Track of whens without coords", "unpaired.kml",
         Kml("<Placemark>\n<gx:Track>\n<when>2010-05-28T02:02:09Z</when>\n</gx:Track></Placemark>" + next), nextLine,
         "1 point skipped, at line 5: the gx:Track has 1 when and 0 gx:coord elements, which do not pair up"},
        {"gx:coord of four numbers", "coord.kml",
         Kml("<Placemark><gx:Track>\n\n<when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3 4</gx:coord></gx:Track>"
             "</Placemark>" +
             next),
         nextLine, "1 point skipped, at line 6: the gx:coord \"1 2 3 4\" is not \"longitude latitude altitude\""},
        {"LineString and placemarks without times", "marks.kml",
         Kml("<Placemark><name>Start</name><Point><coordinates>1,2</coordinates></Point></Placemark>\n"
             "<Placemark><name>Finish</name><Point><coordinates>3,4</coordinates></Point></Placemark>\n" +
             lineString),
         "",
         "no point found: it holds a LineString of 1,329 points without a time per point and 2 placemarks without a "
         "time stamp" +
             advice},
        {"LookAt times, TimeSpans, MultiGeometry points, empty tracks, timed LineStrings are passed over", "over.kml",
         Kml("<Placemark><LookAt><gx:TimeStamp><when>2008-06-21T10:00:00Z</when></gx:TimeStamp></LookAt>"
             "<Point><coordinates>5,6</coordinates></Point></Placemark><Placemark><TimeSpan><begin>"
             "2008-06-21T10:00:00Z</begin></TimeSpan><Point><coordinates>7,8</coordinates></Point></Placemark>"
             "<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><MultiGeometry><Point>"
             "<coordinates>9,10</coordinates></Point></MultiGeometry></Placemark><Placemark><gx:Track></gx:Track>"
             "</Placemark><Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><LineString>"
             "<coordinates>1,2,0 3,4,0</coordinates></LineString></Placemark>"),
         "", "no point found: it holds"},
        {"KMZ", "log.kmz", Zip({{"doc.kml", Kml(timed)}, {"files/icon.png", "\x89PNG"}}), timedLine, ""},
        {"KMZ without doc.kml: its first KML entry", "log.kmz",
         Zip({{"files/icon.png", "\x89PNG"}, {"tracks/Day 1.KML", Kml(timed)}, {"tracks/day2.kml", "not read"}}),
         timedLine, ""},
        {"KMZ: lines counted in the KML inside", "log.kmz",
         Zip({{"doc.kml", Kml(TrackPlacemark("2008-06-21T14:30:06Z", "1,100") + timed)}}, true), timedLine,
         "1 point skipped, at doc.kml line 9: the latitude \"100\""},
        {"GPX with times", "log.gpx",
         Gpx(Trkpt("57.7012345", "11.9012345", "<ele>2.5</ele><time>2008-06-21T14:30:05Z</time>") +
             Trkpt("-33.9", "-151.25", "<time>2008-06-21T23:59:59.750Z</time><sat>7</sat>")),
         "57.7012345,11.9012345,20080621,143005\r\n-33.9,-151.25,20080621,235959\r\n", ""},
        {"GPX without times", "notimes.gpx",
         Gpx(Trkpt("57.7", "11.9", "<ele>2</ele>") + Trkpt("57.8", "11.9", "") + Trkpt("57.9", "11.9", "")), "",
         "no point found: it holds 3 track points; 3 points skipped, the first at line 4: the track point has no time" +
             advice},
        {"GPX route and waypoints", "route.gpx",
         std::string(kGpxStart) + "<wpt lat=\"1\" lon=\"2\"><time>2008-06-21T14:30:05Z</time></wpt>\n<rte>"
                                  "<rtept lat=\"1\" lon=\"2\"/><rtept lat=\"3\" lon=\"4\"/></rte>\n</gpx>\n",
         "", "no point found: it holds 2 route points (a route is a plan, not a track) and one waypoint" + advice},
        {"GPX bad time, time only in the extensions, off the globe, no lon", "bad.gpx",
         Gpx(Trkpt("57.7", "11.9", "<time>2008-06-21 14:30</time>") +
             Trkpt("57.7", "11.9", "<extensions><time>2008-06-21T14:30:05Z</time></extensions>") +
             Trkpt("57.7", "181", "<time>2008-06-21T14:30:05Z</time>") +
             "<trkpt lat=\"57.7\"><time>2008-06-21T14:30:05Z</time></trkpt>\n" +
             Trkpt(" 57.7 ", "11.9\t", "<extensions><time>x</time></extensions><time>2008-06-21T14:30:08Z</time>")),
         "57.7,11.9,20080621,143008\r\n",
         "4 points skipped, the first at line 4: the time \"2008-06-21 14:30\" is not a date and time"},
        {"zone offsets, KML", "zones.kml",
         Kml(TrackPlacemark("2008-06-21T23:30:00-03:00", "1,2") + TrackPlacemark("2008-06-22T01:30:00.5+02:00", "1,2") +
             TrackPlacemark("2008-06-22T01:30:01+0530", "1,2")),
         "2,1,20080621,233000\r\n2,1,20080622,013000\r\n2,1,20080622,013001\r\n", ""},
        {"zone offsets, GPX", "zones.gpx",
         Gpx(Trkpt("1", "2", "<time>2008-06-21T23:30:00-03:00</time>") +
             Trkpt("1", "2", "<time>2008-06-22T01:30:00.25+02:00</time>")),
         "1,2,20080621,233000\r\n1,2,20080622,013000\r\n", ""},
        {"GPX 1.0 without namespace, named .kml", "gpx.kml",
         "<gpx version=\"1.0\"><trk><trkseg>" + Trkpt("1.5", "2.5", "<time>2008-06-21T10:00:00Z</time>") +
             "</trkseg></trk></gpx>",
         "1.5,2.5,20080621,100000\r\n", ""},
        {"KML named .gpx", "kml.gpx", Kml(timed), timedLine, ""},
    };
    // A placemark's unusable coordinates (on its line 9) or time (line 6), before a usable one.
    const std::pair<std::string, std::string> badCoordinates[] = {
        {"1", "the coordinates \"1\" are not one tuple"},
        {"1,2,3 4,5,6", "the coordinates \"1,2,3 4,5,6\" are not one tuple"},
        {"", "the coordinates are empty"},
        {"east,2", "the longitude \"east\" is not a number from -180 to 180"},
        {"181,2", "the longitude \"181\" is not a number from -180 to 180"},
        {"1,2e", "the latitude \"2e\" is not a number from -90 to 90"},
        {"1,", "the latitude is empty"},
    };
    for (const auto& [coordinates, reason] : badCoordinates)
        cases.push_back({coordinates, "coordinates.kml",
                         Kml(TrackPlacemark("2008-06-21T14:30:05Z", coordinates) + next), nextLine,
                         "1 point skipped, at line 9: " + reason});
    for (const std::string when :
         {"2008-06-21 14:30:05", "2008-06-21", "2008-6-21T14:30:05Z", "2008-06-21T1a:30:05Z", "2008-13-21T14:30:05Z",
          "2008-02-30T14:30:05Z", "2008-06-21T24:00:00Z", "2008-06-21T14:30:05Zulu", "2008-06-21T14:30:05.Z"})
        cases.push_back({when, "when.kml", Kml(TrackPlacemark(when, "1,2") + next), nextLine,
                         "1 point skipped, at line 6: the time \"" + when + "\" is not a date and time"});
    cases.push_back({"blank time", "when.kml", Kml(TrackPlacemark(" ", "1,2") + next), nextLine,
                     "1 point skipped, at line 6: the time is empty"});
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log, c.name);
        LogImportResult result;
        try {
            result = ImportLog(log);
        } catch (const Error& e) {
            ADD_FAILURE() << c.what << ": " << e.what();
            continue;
        }
        EXPECT_EQ(AfterHeader(log + ".txt"), c.lines) << c.what << "\nLog:\n" << c.log;
        EXPECT_EQ(result.PointCount, std::count(c.lines.begin(), c.lines.end(), '\n')) << c.what;
        const std::string warning = result.PointCount == 0 ? result.NoPointWarning : result.SkippedWarning;
        if (c.warning.empty())
            EXPECT_EQ(warning, "") << c.what;
        else
            EXPECT_EQ(warning.rfind(log + ": " + c.warning, 0), 0u) << c.what << ": " << warning << "\nLog:\n" << c.log;
        EXPECT_TRUE(result.PointCount == 0 || result.NoPointWarning.empty()) << c.what;
    }
}

// Logs that cannot be read as a whole (broken, past the XML limits, bad archives): the
// error names the log (and the line), and the track file is neither created nor changed,
// also when a large log read in parts fails only at its end. The limits stop a log even
// deep inside text the reader would otherwise take whole; markup-like text in comments,
// CDATA, attribute values and the document type does not count; a log just within them is
// read.
TEST_F(LogImportTest, BadLogsAndXmlLimitsChangeNothing)
{
    const std::string point = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
    const std::string kml = Kml(point);
    std::string archive = Zip({{"doc.kml", kml}}, true);
    std::string damaged = archive;
    damaged[damaged.find("57.7")] = '6'; // the CRC no longer matches
    std::string bomb(std::size_t(kKmzRatioFloorBytes) + 1024, ' ');
    bomb.replace(0, 5, "<kml>");
    const std::string deflated = Zip({{"doc.kml", kml + std::string(4000, ' ')}});
    const std::string big = GpsbabelLog(20000); // about 14 MB: read in parts where there are several cores
    const auto attributes = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += " a" + std::to_string(i) + "=\"1\"";
        return text;
    };
    std::string utf16 = "\xFF\xFE";
    for (const char c : "<kml>\n" + Nested(300) + "\n</kml>") {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string notXml = ": the log is not well-formed XML";
    const std::string tooDeep = ": the elements nest deeper than 256 levels";
    const std::string notKmz = "LOG: not a KMZ archive that can be read";
    fs::create_directory(Path("folder.kml"));
    struct Case {
        const char* what;
        std::string name;
        std::optional<std::string> log; // nullopt: not written
        std::string error;              // the start of the message, LOG standing for the log's path; "": read
    };
    std::vector<Case> cases = {
        {"missing", "missing.kml", std::nullopt, "cannot open \"LOG\""},
        {"a folder", "folder.kml", std::nullopt, "cannot open \"LOG\""},
        {"empty", "empty.kml", "", "LOG: the log is empty"},
        {"just text", "log.kml", "just text", "LOG, line 1" + notXml},
        {"unopened end tag", "log.kml", Kml("<Placemark>\n</Placemark>\n</Folder>"), "LOG, line 6" + notXml},
        {"cut short", "log.kml", std::string(kKmlStart) + "<Placemark>\n", "LOG, line 5" + notXml},
        {"CR LF and CR line ends", "log.kml", "<kml>\r\n\r\n<x>\r\r</kml>", "LOG, line 5" + notXml},
        {"second root", "log.kml", Kml("") + "<kml/>", "LOG, line 6" + notXml},
        {"malformed XML after unusable points", "log.kml",
         Kml(TrackPlacemark("2008-06-21T14:30:05Z", "1,100") + "<Placemark>\n</Folder>"), "LOG, line 13" + notXml},
        {"malformed GPX", "log.gpx", Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + "<trkpt>"),
         "LOG, line 5" + notXml},
        {"big log cut short", "big.kml", big.substr(0, big.size() - 30), "LOG, line 420011" + notXml},
        {"big log nested too deep at its end", "big.kml", big.substr(0, big.size() - 20) + Nested(300),
         "LOG, line 420012" + tooDeep},
        {"255 levels below the root", "log.kml", "<kml>\n" + Nested(255) + Nested(255, "</a>") + point + "</kml>", ""},
        {"256 levels below the root", "log.kml", "<kml>\n" + Nested(256) + Nested(256, "</a>") + point + "</kml>",
         "LOG, line 2: the elements nest deeper than 256 levels, far deeper than in any GPS log"},
        {"a million levels", "log.kml", "<kml>\n\n" + Nested(1000000), "LOG, line 3" + tooDeep},
        {"UTF-16, too deep", "log.kml", utf16, "LOG, line 2" + tooDeep},
        {"self-closed and closed elements do not nest", "log.kml",
         "<kml>" + Nested(1000, "<a/><b x='/'></b><c />") + point + "</kml>", ""},
        {"256 attributes", "log.kml", "<kml" + attributes(256) + ">" + point + "</kml>", ""},
        {"257 attributes", "log.kml", "<kml>\n" + point + "<a\n" + attributes(257) + "/></kml>",
         "LOG, line 11: a start tag has more than 256 attributes, far more than any GPS log writes"},
        {"a million attributes", "log.kml", "<kml>\n<a" + attributes(1000000) + "/></kml>",
         "LOG, line 2: a start tag has more than"},
        {"markup in comments, CDATA, values and the DTD", "log.kml",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE kml [\n<!-- it's <a> -->\n<!ENTITY e \"<a x='1'>\">\n<?pi '<a>?>\n]>\n"
         "<kml x=\"" +
             std::string(300, '=') + "/\">" + "<!--" + Nested(300) + "-->" + "<![CDATA[" + Nested(300, "<a b=1>") +
             "]]>" + point + "</kml>",
         ""},
        {"not a zip archive", "log.kmz", "PK\x03\x04 this is not a zip archive", notKmz},
        {"archive cut short", "log.kmz", archive.substr(0, archive.size() - 30), notKmz},
        {"no KML inside", "log.kmz", Zip({{"readme.txt", "hello"}}),
         "LOG: the KMZ archive holds no KML document (no entry named doc.kml or ending in .kml)"},
        {"empty KML inside", "log.kmz", Zip({{"doc.kml", ""}}), "LOG: doc.kml in the KMZ archive is empty"},
        {"damaged data", "log.kmz", damaged, "cannot read \"LOG (doc.kml)\": CRC error"},
        {"unpacks to more than stated", "log.kmz", WithStatedSize(deflated, 200),
         "cannot read \"LOG (doc.kml)\": it unpacks to more than the size the archive states"},
        {"unpacks to less than stated", "log.kmz", WithStatedSize(deflated, std::uint32_t(kml.size() + 8000)),
         "cannot read \"LOG (doc.kml)\": it ends before the size the archive states"},
        {"zip bomb", "log.kmz", Zip({{"doc.kml", bomb}}),
         "LOG: doc.kml in the KMZ archive unpacks to 16778240 bytes from"},
        {"malformed KML inside", "log.kmz", Zip({{"doc.kml", kml + "<x>"}}), "LOG (doc.kml), line 14" + notXml},
    };
    if (zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        cases.push_back({"encrypted", "log.kmz", Zip({{"doc.kml", kml}}, false, "secret"),
                         "LOG: doc.kml in the KMZ archive is encrypted"});
    const std::string before = "Latitude,Longitude,Date,Time\r\n1,2,20080101,000000\r\n";
    for (const Case& c : cases) {
        const std::string log = c.log ? WriteLog(*c.log, c.name) : Path(c.name);
        const std::string trackFile = TrackFilePath(log);
        std::string expected = c.error;
        if (!expected.empty())
            expected.replace(expected.find("LOG"), 3, log);
        for (const bool trackFileExists : {false, true}) {
            fs::remove(trackFile);
            if (trackFileExists)
                std::ofstream(trackFile, std::ios::binary) << before;
            std::string message;
            try {
                ImportLog(log);
            } catch (const Error& e) {
                message = e.what();
            }
            const std::string unchanged = trackFileExists ? before : "";
            if (c.error.empty()) {
                EXPECT_EQ(message, "") << c.what;
                EXPECT_EQ(ReadBytes(trackFile),
                          (trackFileExists ? before : std::string(kTrackHeaderLine)) + "57.7,11.9,20080621,143005\r\n")
                    << c.what;
            } else {
                EXPECT_EQ(message.rfind(expected, 0), 0u) << c.what << ": " << message;
                EXPECT_EQ(fs::exists(trackFile), trackFileExists) << c.what;
                EXPECT_EQ(ReadBytes(trackFile), unchanged) << c.what;
            }
        }
    }
}

// The command, run as a user runs it: a report line per log on its output, warnings and
// errors on its error output, the exit status, and a second import appending again.
TEST_F(LogImportTest, ImportCommand)
{
    const QString program = TIDEPLOT_BINARY_DIR "/src/app/tideplot";
    ASSERT_TRUE(fs::exists(program.toStdString())) << "build the tideplot program first";
    std::string out, err;
    const auto run = [&](const QString& verb, const std::vector<std::string>& args) {
        QStringList list{verb};
        for (const std::string& arg : args)
            list << QString::fromStdString(arg);
        QProcess p;
        p.start(program, list);
        p.waitForFinished(60000);
        out = p.readAllStandardOutput().toStdString();
        err = p.readAllStandardError().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    const std::string good = WriteLog(GpsbabelLog(2), "good.kml");
    const std::string gpx =
        WriteLog(Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + Trkpt("1", "2", "")), "skip.gpx");
    const std::string kmz =
        WriteLog(Zip({{"doc.kml", Kml(TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7"))}}), "log.kmz");
    const std::string none = WriteLog(Kml(""), "none.kml");
    const std::string bad = WriteLog(Kml("<Placemark>"), "bad.kml");
    const std::string missing = Path("missing.kml");

    EXPECT_EQ(run("import", {good, gpx, kmz}), 0);
    EXPECT_EQ(out, good + ": 2 points appended to " + good + ".txt\n" + gpx + ": 1 point appended to " + gpx +
                       ".txt\n" + kmz + ": 1 point appended to " + kmz + ".txt\n");
    EXPECT_EQ(err, "warning: " + gpx + ": 1 point skipped, at line 5: the track point has no time\n");
    EXPECT_EQ(AfterHeader(kmz + ".txt"), "57.7,11.9,20080621,143005\r\n");

    EXPECT_EQ(run("import-kml", {bad, good, missing, none}), 1);
    EXPECT_EQ(out, good + ": 2 points appended to " + good + ".txt\n" + none +
                       ": no point found; nothing appended to " + none + ".txt\n");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
    for (const std::string& said : {"tideplot import: " + bad + ", line 4: the log is not well-formed XML",
                                    "tideplot import: cannot open \"" + missing + "\"",
                                    "warning: " + none + ": no point found: it holds no placemark"})
        EXPECT_NE(err.find(said), std::string::npos) << err;
    const std::string twice = "57.710000,11.910000,20080621,000000\r\n57.710001,11.910001,20080621,000001\r\n";
    EXPECT_EQ(AfterHeader(good + ".txt"), twice + twice);
    EXPECT_EQ(ReadBytes(none + ".txt"), std::string(kTrackHeaderLine));
    EXPECT_FALSE(fs::exists(bad + ".txt"));

    EXPECT_EQ(run("import", {"--bogus"}), 2);
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos) << err;
    EXPECT_EQ(run("import-kml", {"--help"}), 0);
    EXPECT_EQ(out.rfind("Usage: tideplot import LOG", 0), 0u) << out;
}

} // namespace
} // namespace tideplot
