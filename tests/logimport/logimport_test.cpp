// The log import as a sailor uses it: KML, KMZ and GPX logs as loggers write them, the
// points it skips and why, what it says when a log holds no point, bad archives, the XML
// limits, GPX compared with gpsbabel's reading, and the import command.
#include "core/kmz.h"
#include "logimport_support.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <zip.h>

#include <algorithm>
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
    const auto put = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i)
            archive[at + std::size_t(i)] = char((size >> (8 * i)) & 0xFF);
    };
    put(archive.find("PK\x03\x04") + 22);
    put(archive.find("PK\x01\x02") + 24);
    return archive;
}

std::string TrackPlacemark(const std::string& when, const std::string& coordinates)
{
    return "<Placemark>\n<TimeStamp>\n<when>" + when + "</when>\n</TimeStamp>\n<Point>\n<coordinates>" + coordinates +
           "</coordinates>\n</Point>\n</Placemark>\n";
}

std::string Trkpt(const std::string& lat, const std::string& lon, const std::string& inside)
{
    return "<trkpt lat=\"" + lat + "\" lon=\"" + lon + "\">" + inside + "</trkpt>\n";
}

// Logs as loggers write them: the lines each gives and what the import warns about.
TEST_F(LogImportTest, SmallLogsGiveTheirLinesAndWarnings)
{
    std::string lineString = "<Placemark><name>Track</name><LineString><coordinates>\n";
    for (int i = 0; i < 1329; ++i)
        lineString += "11." + std::to_string(100000 + i) + ",57.7,0" + (i % 3 == 2 ? "\n" : " ");
    lineString += "</coordinates></LineString></Placemark>\n";
    const std::string timed = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
    const std::string timedLine = "57.7,11.9,20080621,143005\r\n";
    const std::string advice = "; the import needs a track with a time at each point: a KML gx:Track, KML placemarks "
                               "with time stamps, or a GPX track (trkpt elements with a time)";
    struct Case {
        const char* what;
        std::string name;
        std::string log;
        std::string lines;
        std::string warning; // the start of SkippedWarning or NoPointWarning after "LOG: "
    };
    const Case cases[] = {
        {"empty gx:coord at a pause", "pause.kml",
         Kml("<Placemark><gx:Track>\n<when>2010-05-28T02:02:09Z</when>\n<when>2010-05-28T02:02:10Z</when>\n"
             "<when>2010-05-28T02:02:11Z</when>\n<gx:coord>1 2 3</gx:coord>\n<gx:coord/>\n<gx:coord>5 6 7</gx:coord>\n"
             "</gx:Track></Placemark>\n"),
         "2,1,20100528,020209\r\n6,5,20100528,020211\r\n", "1 point skipped, at line 9: the gx:coord is empty"},
        {"empty when for a fix without a time", "notime.kml",
         Kml("<Placemark><gx:Track>\n<when/>\n<when>2010-05-28T02:02:10Z</when>\n<gx:coord>1 2 3</gx:coord>\n"
             "<gx:coord>3 4 5</gx:coord>\n</gx:Track></Placemark>\n"),
         "4,3,20100528,020210\r\n", "1 point skipped, at line 5: the time is empty"},
        {"statistics marker at latitude 100", "marker.kml",
         Kml(timed + TrackPlacemark("2008-06-21T14:30:06Z", "1,100") + TrackPlacemark("2008-06-21T14:30:07Z", "1,95")),
         timedLine, "2 points skipped, the first at line 17: the latitude \"100\" is not a number from -90 to 90"},
        {"LineString without times", "line.kml", Kml(lineString), "",
         "no point found: it holds a LineString of 1,329 points without a time per point" + advice},
        {"placemarks without time stamps", "marks.kml",
         Kml("<Placemark><name>Start</name><Point><coordinates>1,2</coordinates></Point></Placemark>\n"
             "<Placemark><name>Finish</name><Point><coordinates>3,4</coordinates></Point></Placemark>\n" +
             lineString),
         "",
         "no point found: it holds a LineString of 1,329 points without a time per point and 2 placemarks without a "
         "time stamp" +
             advice},
        {"a KML log of nothing", "empty.kml", Kml("<name>Nothing</name>"), "",
         "no point found: it holds no placemark with a position, gx:Track or LineString" + advice},
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
        {"GPX with a point without time", "gap.gpx",
         Gpx(Trkpt("57.7", "11.9", "<time>2008-06-21T14:30:05Z</time>") + Trkpt("57.8", "11.9", "<ele>2</ele>") +
             Trkpt("57.9", "11.9", "<time>2008-06-21T14:30:07Z</time>")),
         "57.7,11.9,20080621,143005\r\n57.9,11.9,20080621,143007\r\n",
         "1 point skipped, at line 5: the track point has no time"},
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
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log, c.name);
        fs::remove(TrackFilePath(log));
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

// Every way a point can be unusable: the point is skipped, named by its line and reason.
TEST_F(LogImportTest, UnusablePointsAreSkippedWithTheirLineAndReason)
{
    const auto placemark = [](const std::string& when, const std::string& coordinates) {
        return Kml(TrackPlacemark(when, coordinates) + TrackPlacemark("2008-06-21T10:00:00Z", "1,2"));
    };
    struct Case {
        std::string log;
        long line;
        const char* reason;
    };
    const Case cases[] = {
        {placemark("2008-06-21 14:30:05", "1,2"), 6, "the time \"2008-06-21 14:30:05\" is not a date and time"},
        {placemark("2008-06-21", "1,2"), 6, "the time \"2008-06-21\" is not a date and time"},
        {placemark("2008-6-21T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T1a:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-13-21T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-02-30T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T24:00:00Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T14:30:05Zulu", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T14:30:05.Z", "1,2"), 6, "is not a date and time"},
        {placemark(" ", "1,2"), 6, "the time is empty"},
        {placemark("2008-06-21T14:30:05Z", "1"), 9, "the coordinates \"1\" are not one tuple"},
        {placemark("2008-06-21T14:30:05Z", "1,2,3 4,5,6"), 9, "are not one tuple"},
        {placemark("2008-06-21T14:30:05Z", ""), 9, "the coordinates are empty"},
        {placemark("2008-06-21T14:30:05Z", "east,2"), 9, "the longitude \"east\" is not a number from -180 to 180"},
        {placemark("2008-06-21T14:30:05Z", "1,95"), 9, "the latitude \"95\" is not a number from -90 to 90"},
        {placemark("2008-06-21T14:30:05Z", "181,2"), 9, "the longitude \"181\""},
        {placemark("2008-06-21T14:30:05Z", "1,2e"), 9, "the latitude \"2e\""},
        {placemark("2008-06-21T14:30:05Z", "1,"), 9, "the latitude is empty"},
        {Kml("<Placemark>\n<TimeStamp/>\n<Point><coordinates>1,2</coordinates></Point></Placemark>" +
             TrackPlacemark("2008-06-21T10:00:00Z", "1,2")),
         5, "the time stamp has no when"},
        {Kml("<Placemark>\n<gx:Track>\n<when>2010-05-28T02:02:09Z</when>\n</gx:Track></Placemark>" +
             TrackPlacemark("2008-06-21T10:00:00Z", "1,2")),
         5, "the gx:Track has 1 when and 0 gx:coord elements, which do not pair up"},
        {Kml("<Placemark><gx:Track>\n\n<when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3 4</gx:coord>"
             "</gx:Track></Placemark>" +
             TrackPlacemark("2008-06-21T10:00:00Z", "1,2")),
         6, "the gx:coord \"1 2 3 4\" is not \"longitude latitude altitude\""},
        {"<kml>\r<Placemark>\r<TimeStamp><when>bad</when></TimeStamp><Point><coordinates>1,2</coordinates></Point>"
         "</Placemark>\r" +
             TrackPlacemark("2008-06-21T10:00:00Z", "1,2") + "</kml>",
         3, "the time \"bad\""},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        fs::remove(TrackFilePath(log));
        const LogImportResult result = ImportLog(log);
        EXPECT_EQ(result.PointCount, 1) << c.log;
        EXPECT_EQ(result.Skipped.Count, 1) << c.log;
        EXPECT_EQ(result.Skipped.FirstLine, c.line) << c.log;
        EXPECT_NE(result.Skipped.FirstReason.find(c.reason), std::string::npos)
            << result.Skipped.FirstReason << "\nLog:\n"
            << c.log;
        EXPECT_EQ(AfterHeader(TrackFilePath(log)), "2,1,20080621,100000\r\n") << c.log;
    }
}

// Logs that cannot be read as a whole: the error names the log (and the line), and the
// track file is neither created nor changed.
TEST_F(LogImportTest, BadLogsAndArchivesChangeNothing)
{
    const std::string kml = Kml(TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0"));
    std::string archive = Zip({{"doc.kml", kml}}, true);
    std::string damaged = archive;
    damaged[damaged.find("57.7")] = '6'; // the CRC no longer matches
    std::string bomb(std::size_t(kKmzRatioFloorBytes) + 1024, ' ');
    bomb.replace(0, 5, "<kml>");
    const std::string deflated = Zip({{"doc.kml", kml + std::string(4000, ' ')}});
    struct Case {
        const char* what;
        std::string name;
        std::string log;
        std::string error; // the start of the message, LOG standing for the log's path
    };
    std::vector<Case> cases = {
        {"malformed XML after unusable points", "log.kml",
         Kml(TrackPlacemark("2008-06-21T14:30:05Z", "1,100") + "<Placemark>\n</Folder>"),
         "LOG, line 13: the log is not well-formed XML"},
        {"malformed GPX", "log.gpx", Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + "<trkpt>"),
         "LOG, line 5: the log is not well-formed XML"},
        {"not a zip archive", "log.kmz", "PK\x03\x04 this is not a zip archive",
         "LOG: not a KMZ archive that can be read"},
        {"cut short", "log.kmz", archive.substr(0, archive.size() - 30), "LOG: not a KMZ archive that can be read"},
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
        {"malformed KML inside", "log.kmz", Zip({{"doc.kml", kml + "<x>"}}),
         "LOG (doc.kml), line 14: the log is not well-formed XML"},
    };
    if (zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        cases.push_back({"encrypted", "log.kmz", Zip({{"doc.kml", kml}}, false, "secret"),
                         "LOG: doc.kml in the KMZ archive is encrypted"});
    for (const Case& c : cases) {
        for (const bool trackFileExists : {false, true}) {
            const std::string log = WriteLog(c.log, c.name);
            const std::string trackFile = TrackFilePath(log);
            const std::string before = "Latitude,Longitude,Date,Time\r\n1,2,20080101,000000\r\n";
            fs::remove(trackFile);
            if (trackFileExists)
                std::ofstream(trackFile, std::ios::binary) << before;
            std::string message;
            try {
                ImportLog(log);
            } catch (const Error& e) {
                message = e.what();
            }
            std::string expected = c.error;
            expected.replace(expected.find("LOG"), 3, log);
            EXPECT_EQ(message.rfind(expected, 0), 0u) << c.what << ": " << message;
            if (trackFileExists)
                EXPECT_EQ(ReadBytes(trackFile), before) << c.what;
            else
                EXPECT_FALSE(fs::exists(trackFile)) << c.what;
        }
    }
}

// Nesting and attributes past the limits stop the log, naming the line, also deep inside
// text the reader would otherwise take whole; markup-like text in comments, CDATA,
// attribute values and the document type does not count.
TEST_F(LogImportTest, XmlLimits)
{
    const auto nested = [](int levels, const std::string& tag = "<a>") {
        std::string tags;
        for (int i = 0; i < levels; ++i)
            tags += tag;
        return tags;
    };
    const auto attributes = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += " a" + std::to_string(i) + "=\"1\"";
        return text;
    };
    const auto closed = [](int levels) {
        std::string tags;
        for (int i = 0; i < levels; ++i)
            tags += "</a>";
        return tags;
    };
    const std::string point = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
    std::string utf16 = "\xFF\xFE";
    for (const char c : "<kml>\n" + nested(300) + "\n</kml>") {
        utf16 += c;
        utf16 += '\0';
    }
    struct Case {
        const char* what;
        std::string log;
        std::string error; // after "LOG, "; "" when the log is read
    };
    const Case cases[] = {
        {"255 levels below the root", "<kml>\n" + nested(255) + closed(255) + point + "</kml>", ""},
        {"256 levels below the root", "<kml>\n" + nested(256) + closed(256) + point + "</kml>",
         "line 2: the elements nest deeper than 256 levels, far deeper than in any GPS log"},
        {"a million levels", "<kml>\n\n" + nested(1000000), "line 3: the elements nest deeper than 256 levels"},
        {"self-closed and closed elements do not nest",
         "<kml>" + nested(1000, "<a/><b x='/'></b><c />") + point + "</kml>", ""},
        {"256 attributes", "<kml" + attributes(256) + ">" + point + "</kml>", ""},
        {"257 attributes", "<kml>\n" + point + "<a\n" + attributes(257) + "/></kml>",
         "line 11: a start tag has more than 256 attributes, far more than any GPS log writes"},
        {"a million attributes", "<kml>\n<a" + attributes(1000000) + "/></kml>", "line 2: a start tag has more than"},
        {"markup in comments, CDATA, values and the DTD",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE kml [\n<!-- it's <a> -->\n<!ENTITY e \"<a x='1'>\">\n<?pi '<a>?>\n]>\n"
         "<kml x=\"" +
             std::string(300, '=') + "/\">" + "<!--" + nested(300) + "-->" + "<![CDATA[" + nested(300, "<a b=1>") +
             "]]>" + point + "</kml>",
         ""},
        {"UTF-16", utf16, "line 2: the elements nest deeper than 256 levels"},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        fs::remove(TrackFilePath(log));
        std::string message;
        long points = 0;
        try {
            points = ImportLog(log).PointCount;
        } catch (const Error& e) {
            message = e.what();
        }
        if (c.error.empty()) {
            EXPECT_EQ(message, "") << c.what;
            EXPECT_EQ(points, 1) << c.what;
        } else {
            EXPECT_EQ(message.rfind(log + ", " + c.error, 0), 0u) << c.what << ": " << message;
        }
    }
}

// gpsbabel's reading of a GPX log, written as track lines, is what our import writes.
TEST_F(LogImportTest, GpxAsGpsbabelReadsIt)
{
    const QString gpsbabel = QStandardPaths::findExecutable("gpsbabel");
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "NOTE: gpsbabel is not installed, so GPX imports are not compared with its reading";
    const std::string style = Path("track.style");
    std::ofstream(style) << "FIELD_DELIMITER COMMA\nRECORD_DELIMITER CRNEWLINE\nBADCHARS COMMA\n"
                            "IFIELD LAT_DECIMAL,\"\",\"%.6f\"\nIFIELD LON_DECIMAL,\"\",\"%.6f\"\n"
                            "IFIELD GMT_TIME,\"\",\"%Y%m%d\"\nIFIELD GMT_TIME,\"\",\"%H%M%S\"\n";
    // Six decimals, as gpsbabel writes them; UTC times, which gpsbabel keeps as they are.
    std::string trkpts;
    for (int i = 0; i < 500; ++i)
        trkpts += LoggerTrkpt(i * 97);
    trkpts += Trkpt("-33.900000", "-151.250000", "<time>2008-06-21T23:59:59.750Z</time>");
    trkpts += Trkpt("0.000000", "-0.500000", "<time>2008-06-22T00:00:00Z</time>");
    trkpts += "</trkseg><trkseg>\n" + Trkpt("89.999999", "179.999999", "<ele>1</ele><time>2008-12-31T23:59:59Z</time>");
    const std::string log = WriteLog(Gpx(trkpts), "race.gpx");
    const std::string expected = Path("expected.txt");
    QProcess p;
    p.start(gpsbabel, {"-i", "gpx", "-f", QString::fromStdString(log), "-o",
                       "xcsv,style=" + QString::fromStdString(style), "-F", QString::fromStdString(expected)});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << p.readAllStandardError().toStdString();
    EXPECT_EQ(ImportLog(log).PointCount, 503);
    EXPECT_EQ(AfterHeader(TrackFilePath(log)), ReadBytes(expected));
}

// The command, run as a user runs it.
TEST_F(LogImportTest, ImportCommand)
{
    const QString program = TIDEPLOT_BINARY_DIR "/src/app/tideplot";
    ASSERT_TRUE(fs::exists(program.toStdString())) << "build the tideplot program first";
    struct Run {
        int status = -1;
        std::string out, err;
    };
    const auto run = [&](const QString& verb, const std::vector<std::string>& args) {
        QStringList list{verb};
        for (const std::string& arg : args)
            list << QString::fromStdString(arg);
        QProcess p;
        p.start(program, list);
        p.waitForFinished(60000);
        return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                   p.readAllStandardError().toStdString()};
    };
    const std::string point = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
    const std::string good = WriteLog(GpsbabelLog(2), "good.kml");
    const std::string gpx =
        WriteLog(Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + Trkpt("1", "2", "")), "skip.gpx");
    const std::string kmz = WriteLog(Zip({{"doc.kml", Kml(point)}}), "log.kmz");
    const std::string none = WriteLog(Kml(""), "none.kml");
    const std::string bad = WriteLog(Kml("<Placemark>"), "bad.kml");
    const std::string missing = Path("missing.kml");

    Run r = run("import", {good, gpx, kmz});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, good + ": 2 points appended to " + good + ".txt\n" + gpx + ": 1 point appended to " + gpx +
                         ".txt\n" + kmz + ": 1 point appended to " + kmz + ".txt\n");
    EXPECT_EQ(r.err, "warning: " + gpx + ": 1 point skipped, at line 5: the track point has no time\n");
    EXPECT_EQ(AfterHeader(kmz + ".txt"), "57.7,11.9,20080621,143005\r\n");

    r = run("import-kml", {bad, good, missing, none});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, good + ": 2 points appended to " + good + ".txt\n" + none +
                         ": no point found; nothing appended to " + none + ".txt\n");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    EXPECT_NE(r.err.find("tideplot import: " + bad + ", line 4: the log is not well-formed XML"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("tideplot import: cannot open \"" + missing + "\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("warning: " + none + ": no point found: it holds no placemark"), std::string::npos) << r.err;
    EXPECT_EQ(AfterHeader(good + ".txt").size(), 2 * 2 * std::string("57.710000,11.910000,20080621,000000\r\n").size());
    EXPECT_EQ(ReadBytes(none + ".txt"), std::string(kTrackHeaderLine));
    EXPECT_FALSE(fs::exists(bad + ".txt"));

    r = run("import", {});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Usage: tideplot import LOG"), std::string::npos) << r.err;
    r = run("import", {"--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos) << r.err;
    r = run("import-kml", {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tideplot import LOG", 0), 0u) << r.out;
}

} // namespace
} // namespace tideplot
