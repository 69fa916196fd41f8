// The KML log reader: placemarks and gx:Tracks in any layout, its errors, reading a large
// log in parts, and logs written by gpsbabel.
#include "core/gpxreader.h"
#include "core/kmlreader.h"
#include "logimport_support.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;

// The field-by-field scan that reads logs written one placemark per line: fields end at a
// comma or a line end (leading blanks skipped); a field holding "<Placemark>" and
// "<TimeStamp>" gives a line from the longitude after "<coordinates>", the next field as
// the latitude, and the date and time at fixed places behind "<TimeStamp><when>". (A field
// opening with a double quote would run to the closing one; no log below has one.)
std::string FieldScanLines(const std::string& log)
{
    std::vector<std::string> fields;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            std::string field = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            field.erase(0, field.find_first_not_of(' ') == std::string::npos ? field.size()
                                                                             : field.find_first_not_of(' '));
            fields.push_back(field);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    const auto mid = [](const std::string& s, std::size_t at, std::size_t n) {
        return at < s.size() ? s.substr(at, n) : std::string();
    };
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        const std::size_t t = f.find("<TimeStamp>");
        if (f.find("<Placemark>") == std::string::npos || t == std::string::npos)
            continue;
        const std::string lat = i + 1 < fields.size() ? fields[++i] : std::string();
        const std::string lon = f.substr(f.find("<coordinates>") + 13);
        out += lat + "," + lon + "," + mid(f, t + 17, 4) + mid(f, t + 22, 2) + mid(f, t + 25, 2) + "," +
               mid(f, t + 28, 2) + mid(f, t + 31, 2) + mid(f, t + 34, 2) + "\r\n";
    }
    return out;
}

using KmlReaderTest = ImportTest;

// `levels` start tags, one inside the other.
std::string Nested(int levels)
{
    std::string tags;
    for (int i = 0; i < levels; ++i)
        tags += "<a>";
    return tags;
}

TEST_F(KmlReaderTest, OneLineLayoutGivesTheLinesOfTheFieldScan)
{
    const std::string example = "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp><Point>"
                                "<coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>";
    EXPECT_EQ(Import(example + "\r\n"), "59.3251,18.0710,20070818,102345\r\n");

    const std::string second = "<Placemark><name>B</name><TimeStamp><when>2007-08-18T23:59:59.75+02:00</when>"
                               "</TimeStamp><Point><coordinates>-151.2500001,-33.9,12.5</coordinates></Point>"
                               "</Placemark>";
    const std::string lineString = "<Placemark><name>track</name><LineString><coordinates>18.07,59.32,0 "
                                   "18.08,59.33,0</coordinates></LineString></Placemark>";
    const std::string logs[] = {
        example,
        example + "\r\n",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
        "<Document>\r\n" +
            example + "\r\n" + second + "\r\n" + lineString + "\r\n" + example + "\r\n</Document>\r\n</kml>\r\n",
        "<kml><Document>" + example + second + lineString + example + "</Document></kml>",
        "<kml>\n<Folder>\n" + second + "\n<Folder>\n" + example + "\n</Folder>\n</Folder>\n</kml>\n",
    };
    for (const std::string& log : logs) {
        const std::string expected = FieldScanLines(log);
        EXPECT_FALSE(expected.empty()) << log;
        EXPECT_EQ(Import(log), expected) << "Log:\n" << log;
    }
}

TEST_F(KmlReaderTest, PlacemarksInAnyLayout)
{
    struct Case {
        const char* what;
        std::string log;
        std::string lines;
    };
    const Case cases[] = {
        {"over several lines, with blanks",
         Kml("<Placemark>\n  <name>P, 1</name>\n  <TimeStamp>\n    <when>\n 2008-06-21T14:30:05Z </when>\n"
             "  </TimeStamp>\n  <Point>\n    <coordinates>\n      11.9012345,57.7012345,0\n    </coordinates>\n"
             "  </Point>\n</Placemark>\n"),
         "57.7012345,11.9012345,20080621,143005\r\n"},
        {"attributes",
         Kml("<Placemark id=\"p1\"><TimeStamp id=\"t\"><when>2008-06-21T14:30:05Z</when></TimeStamp>"
             "<Point id=\"x\"><extrude>0</extrude><coordinates>11.9,57.7</coordinates></Point></Placemark>"),
         "57.7,11.9,20080621,143005\r\n"},
        {"namespace prefixes",
         "<k:kml xmlns:k=\"http://www.opengis.net/kml/2.2\"><k:Document><k:Placemark><k:TimeStamp>"
         "<k:when>2008-06-21T14:30:05Z</k:when></k:TimeStamp><k:Point><k:coordinates>11.9,57.7,0</k:coordinates>"
         "</k:Point></k:Placemark></k:Document></k:kml>",
         "57.7,11.9,20080621,143005\r\n"},
        {"older KML namespace, Point before TimeStamp",
         "<kml xmlns=\"http://earth.google.com/kml/2.1\"><Placemark><Point><coordinates>-0.5,-45.25,3"
         "</coordinates></Point><TimeStamp><when>2008-06-21T14:30:05.123-03:30</when></TimeStamp></Placemark></kml>",
         "-45.25,-0.5,20080621,143005\r\n"},
        {"without altitude, blanks in the tuple",
         Kml("<Placemark><TimeStamp><when>2008-06-21T14:30:05</when></TimeStamp>"
             "<Point><coordinates> 11.90 , 57.70 </coordinates></Point></Placemark>"),
         "57.70,11.90,20080621,143005\r\n"},
        {"nested folders, document order",
         Kml("<Folder><Folder><Placemark><TimeStamp><when>2008-06-21T10:00:02Z</when></TimeStamp><Point>"
             "<coordinates>2,1</coordinates></Point></Placemark></Folder></Folder><Placemark><TimeStamp>"
             "<when>2008-06-21T10:00:01Z</when></TimeStamp><Point><coordinates>4,3</coordinates></Point>"
             "</Placemark>"),
         "1,2,20080621,100002\r\n3,4,20080621,100001\r\n"},
        {"CR line ends, character references",
         "<kml>\r<Placemark>\r<TimeStamp><when>2008-06-21T14:30:05Z</when></TimeStamp>\r<Point><coordinates>"
         "11&#46;9&#44;57.7</coordinates></Point>\r</Placemark>\r</kml>\r",
         "57.7,11.9,20080621,143005\r\n"},
        {"marks, route points, LineStrings and LookAt times are passed over",
         Kml("<Placemark><name>mark</name><Point><coordinates>1,2,0</coordinates></Point></Placemark>"
             "<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><LineString><coordinates>1,2,0 "
             "3,4,0</coordinates></LineString></Placemark>"
             "<Placemark><LookAt><gx:TimeStamp><when>2008-06-21T10:00:00Z</when></gx:TimeStamp></LookAt>"
             "<Point><coordinates>5,6</coordinates></Point></Placemark>"
             "<Placemark><TimeSpan><begin>2008-06-21T10:00:00Z</begin></TimeSpan><Point><coordinates>7,8"
             "</coordinates></Point></Placemark>"
             "<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><MultiGeometry><Point>"
             "<coordinates>9,10</coordinates></Point></MultiGeometry></Placemark>"),
         ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Import(c.log), c.lines) << c.what << "\nLog:\n" << c.log;
}

TEST_F(KmlReaderTest, GxTracks)
{
    struct Case {
        const char* what;
        std::string log;
        std::string lines;
    };
    const Case cases[] = {
        {"whens paired with coords, with and without altitude",
         Kml("<Placemark><gx:Track>\n<altitudeMode>absolute</altitudeMode>\n<when>2010-05-28T02:02:09Z</when>\n"
             "<when>2010-05-28T02:02:35.5Z</when>\n<gx:coord>-122.207881 37.371915 156.0</gx:coord>\n"
             "<gx:coord>\t-122.205712  37.373288\n</gx:coord>\n<ExtendedData><SchemaData><gx:SimpleArrayData "
             "name=\"hr\"><gx:value>90</gx:value></gx:SimpleArrayData></SchemaData></ExtendedData>\n"
             "</gx:Track></Placemark>"),
         "37.371915,-122.207881,20100528,020209\r\n37.373288,-122.205712,20100528,020235\r\n"},
        {"MultiTrack, placemarks before and after",
         Kml("<Placemark><TimeStamp><when>2010-05-28T02:00:00Z</when></TimeStamp><Point><coordinates>1,2"
             "</coordinates></Point></Placemark><Placemark><gx:MultiTrack><gx:Track><when>2010-05-28T02:01:00Z"
             "</when><gx:coord>3 4 0</gx:coord></gx:Track><gx:Track><when>2010-05-28T02:02:00Z</when>"
             "<gx:coord>5 6 0</gx:coord></gx:Track></gx:MultiTrack></Placemark><Placemark><TimeStamp>"
             "<when>2010-05-28T02:03:00Z</when></TimeStamp><Point><coordinates>7,8</coordinates></Point>"
             "</Placemark>"),
         "2,1,20100528,020000\r\n4,3,20100528,020100\r\n6,5,20100528,020200\r\n8,7,20100528,020300\r\n"},
        {"KML 2.3 Track",
         "<kml xmlns=\"http://www.opengis.net/kml/2.3\"><Placemark><Track><when>2010-05-28T02:02:09Z</when>"
         "<coord>1.5 2.5 3</coord></Track></Placemark></kml>",
         "2.5,1.5,20100528,020209\r\n"},
        {"empty track", Kml("<Placemark><gx:Track></gx:Track></Placemark>"), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Import(c.log), c.lines) << c.what << "\nLog:\n" << c.log;
}

TEST_F(KmlReaderTest, XmlErrorsNameTheLogAndTheLine)
{
    struct Case {
        std::string log;
        long line;
        const char* fault;
    };
    const Case cases[] = {
        {Kml("<Placemark>\n<TimeStamp>\n<when>2008-06-21T14:30:05Z<b/></when>\n</TimeStamp>\n</Placemark>\n"), 6,
         "not well-formed XML"},
        {Kml("<Placemark id=\"a\" id=\"b\"/>"), 4, "not well-formed XML"},
        {Kml("<Placemark>\n</Placemark>\n</Folder>"), 6, "not well-formed XML"},
        {Kml("<gx:Track/>\n<x:y/>"), 5, "not well-formed XML"},
        {Kml("<name>a & b</name>"), 4, "not well-formed XML"},
        {std::string(kKmlStart) + "<Placemark>\n", 5, "not well-formed XML"},
        {"just text", 1, "not well-formed XML"},
        {"<kml>\r\n\r\n<x>\r\r</kml>", 5, "not well-formed XML"},
        {Kml("") + "<kml/>", 6, "not well-formed XML"},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        std::string message;
        try {
            ImportLog(log);
        } catch (const Error& e) {
            message = e.what();
        }
        const std::string place = log + ", line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(message.rfind(place, 0), 0u) << "Message: " << message << "\nLog:\n" << c.log;
        EXPECT_NE(message.find(c.fault), std::string::npos) << "Message: " << message << "\nLog:\n" << c.log;
        EXPECT_FALSE(fs::exists(TrackFilePath(log))) << "Log:\n" << c.log;
    }
}

TEST_F(KmlReaderTest, UnreadableLogs)
{
    struct Case {
        std::string path;
        const char* fault;
    };
    const Case cases[] = {
        {Path("missing.kml"), "cannot open"},
        {dir_.string(), "cannot open"},
        {WriteLog("", "empty.kml"), "the log is empty"},
    };
    for (const Case& c : cases) {
        try {
            ImportLog(c.path);
            ADD_FAILURE() << c.path;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(TrackFilePath(c.path))) << c.path;
    }
}

TEST_F(KmlReaderTest, SecondImportAppendsAgain)
{
    const std::string log = WriteLog(GpsbabelLog(3));
    EXPECT_EQ(ImportLog(log).PointCount, 3);
    const std::string once = AfterHeader(TrackFilePath(log));
    EXPECT_EQ(once, "57.710000,11.910000,20080621,000000\r\n57.710001,11.910001,20080621,000001\r\n"
                    "57.710002,11.910002,20080621,000002\r\n");
    EXPECT_EQ(ImportLog(log).PointCount, 3);
    EXPECT_EQ(AfterHeader(TrackFilePath(log)), once + once);
}

TEST_F(KmlReaderTest, MalformedEndOfBigLogLeavesTheTrackFileUnchanged)
{
    std::string big = GpsbabelLog(20000); // about 14 MB: read in parts where there are several cores
    const std::string before = "# earlier import\r\n1,2,20080101,000000\r\n";
    struct Case {
        const char* what;
        std::string log;
        const char* fault;
    };
    const Case cases[] = {
        {"cut short", big.substr(0, big.size() - 30), "not well-formed XML"},
        {"tag mismatch at the end", big.substr(0, big.size() - 20) + "</Folder>\n</kml>\n", "not well-formed XML"},
        {"undeclared entity in the last placemark",
         big.substr(0, big.rfind("<when>") + 6) + "&x;" + big.substr(big.rfind("<when>") + 6), "not well-formed XML"},
        {"nested too deep at the end", big.substr(0, big.size() - 20) + Nested(300), "nest deeper than 256 levels"},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        const std::string lines = TrackFilePath(log);
        std::ofstream(lines, std::ios::binary) << before;
        try {
            ImportLog(log);
            ADD_FAILURE() << c.what;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_EQ(ReadBytes(lines), before) << c.what;
    }
    const std::string log = WriteLog(big);
    EXPECT_EQ(ImportLog(log).PointCount, 20000);
    const std::string lines = ReadBytes(TrackFilePath(log));
    EXPECT_EQ(lines.rfind(before, 0), 0u);
    const std::string last = "57.715999,11.911999,20080621,053319\r\n";
    EXPECT_EQ(lines.substr(lines.size() - last.size()), last);
}

// The log read in parts on several threads gives exactly what one pass gives (the lines,
// the skipped points with the first one's line, what the log holds, the error), also for
// logs whose cuts fall where the text cannot be cut. GPX logs are cut the same way.
TEST_F(KmlReaderTest, PartsGiveWhatOnePassGives)
{
    std::string placemarks;
    for (int i = 0; i < 40; ++i)
        placemarks += GpsbabelPlacemark(i);
    std::string trkpts;
    for (int i = 0; i < 60; ++i)
        trkpts += LoggerTrkpt(i);
    const std::string commented = "<!-- " + GpsbabelPlacemark(1000) + "-->\n";
    const std::string cdata = "<description><![CDATA[" + GpsbabelPlacemark(2000) + "]]></description>\n";
    const std::string track = "<Placemark><gx:Track><when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3</gx:coord>"
                              "</gx:Track></Placemark>\n";
    const std::string badTime = "<Placemark>\n<TimeStamp>\n<when>2008</when>\n</TimeStamp>\n<Point>\n"
                                "<coordinates>1,2</coordinates></Point>\n</Placemark>\n";
    const std::string offGlobe = "<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><Point>\n"
                                 "<coordinates>1,100</coordinates></Point></Placemark>\n";
    const std::string lineString = "<Placemark><LineString><coordinates>1,2,0 3,4,0\n5,6,0</coordinates>"
                                   "</LineString></Placemark>\n";
    std::string crPlacemarks = placemarks;
    for (char& c : crPlacemarks)
        c = c == '\n' ? '\r' : c;
    enum class Cut { Always, Never, Maybe }; // whether the log is read in parts
    struct Case {
        const char* what;
        Cut cut;
        std::string log;
        bool gpx = false;
    };
    const Case cases[] = {
        {"plain", Cut::Always, Kml("<Folder>" + placemarks + "</Folder>")},
        {"placemarks in comments and CDATA", Cut::Maybe,
         Kml("<Folder>" + placemarks + commented + placemarks + cdata + placemarks + "</Folder>")},
        {"folders of different depth", Cut::Maybe,
         Kml("<Folder>" + placemarks + "</Folder><Folder><Folder>" + placemarks + "</Folder></Folder>" + placemarks)},
        {"namespace declared on a folder", Cut::Never,
         Kml("<Folder>" + placemarks + "</Folder><Folder xmlns:gx=\"urn:other\">" + placemarks + track + "</Folder>")},
        {"default namespace changed on a folder", Cut::Never,
         Kml("<Folder>" + placemarks + "</Folder><Folder xmlns=\"urn:other\">" + placemarks + "</Folder>")},
        {"prefixed placemarks", Cut::Maybe,
         "<kml:kml xmlns:kml=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
         "<kml:Folder>" +
             std::string(track) +
             "<kml:Placemark><kml:TimeStamp><kml:when>2008-06-21T10:00:00Z</kml:when>"
             "</kml:TimeStamp><kml:Point><kml:coordinates>1,2</kml:coordinates></kml:Point></kml:Placemark>\n"
             "<kml:Placemark><kml:TimeStamp><kml:when>2008-06-21T10:00:01Z</kml:when></kml:TimeStamp>"
             "<kml:Point><kml:coordinates>3,4</kml:coordinates></kml:Point></kml:Placemark>\n</kml:Folder>"
             "</kml:kml>"},
        {"entity declared in a DTD", Cut::Never,
         "<!DOCTYPE kml [<!ENTITY lon \"11.9\">]>\n<kml><Folder>" + placemarks +
             "<Placemark><TimeStamp><when>2008-06-21T10:00:00Z</when></TimeStamp><Point><coordinates>&lon;,2"
             "</coordinates></Point></Placemark>" +
             placemarks + "</Folder></kml>"},
        {"tracks between placemarks", Cut::Always,
         Kml("<Folder>" + placemarks + track + placemarks + track + "</Folder>")},
        {"UTF-16", Cut::Never, std::string("\xFF\xFE<\0k\0m\0l\0/\0>\0", 14)},
        {"Latin-1 declared", Cut::Never,
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><kml><Folder><name>\xE5</name>" + placemarks +
             "</Folder></kml>"},
        {"broken in the middle", Cut::Never, Kml("<Folder>" + placemarks + "<x>" + placemarks + "</Folder>")},
        {"skipped points in later parts", Cut::Always,
         Kml("<Folder>" + placemarks + badTime + placemarks + offGlobe + lineString + placemarks + "</Folder>")},
        {"skipped points, CR line ends", Cut::Always,
         Kml("<Folder>" + crPlacemarks + offGlobe + crPlacemarks + badTime + "</Folder>")},
        {"too deep in the middle", Cut::Never, Kml("<Folder>" + placemarks + Nested(300) + placemarks + "</Folder>")},
        {"GPX", Cut::Always, Gpx(trkpts), true},
        {"GPX, several tracks, skipped points", Cut::Always,
         Gpx(trkpts + "<trkpt lat=\"100\" lon=\"1\"><time>2008-06-21T10:00:00Z</time></trkpt>\n</trkseg><trkseg>\n" +
             trkpts + "<trkpt lat=\"1\" lon=\"2\"></trkpt>\n</trkseg></trk><trk><trkseg>" + trkpts),
         true},
    };
    const auto read = [](const Case& c, const std::string& log, std::string& lines, const LogReadOptions& options) {
        return c.gpx ? ReadGpxTrackLines(log, lines, {}, options) : ReadKmlTrackLines(log, lines, {}, options);
    };
    const auto describe = [](const LogReadResult& r) {
        const LogContents& c = r.Contents;
        return std::to_string(r.PointCount) + " points; skipped " + std::to_string(r.Skipped.Count) + ", first at " +
               std::to_string(r.Skipped.FirstLine) + ": " + r.Skipped.FirstReason + "; holds " +
               std::to_string(c.UntimedPlacemarks) + " " + std::to_string(c.LineStrings) + " " +
               std::to_string(c.LineStringPoints) + " " + std::to_string(c.Tracks) + " " +
               std::to_string(c.TrackPoints) + " " + std::to_string(c.RoutePoints) + " " + std::to_string(c.Waypoints);
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log, c.gpx ? "log.gpx" : "log.kml");
        std::string onePass, onePassResult;
        try {
            onePassResult = describe(read(c, log, onePass, LogReadOptions{1, 1}));
        } catch (const Error& e) {
            onePassResult = e.what();
        }
        for (int threads : {2, 3, 7}) {
            for (std::int64_t minPart : {std::int64_t{1}, std::int64_t{100}, std::int64_t{3000}}) {
                std::string inParts, inPartsResult;
                int parts = 0;
                try {
                    const LogReadResult result = read(c, log, inParts, LogReadOptions{threads, minPart});
                    parts = result.Parts;
                    inPartsResult = describe(result);
                } catch (const Error& e) {
                    inPartsResult = e.what();
                }
                const std::string where = std::string(c.what) + ", " + std::to_string(threads) + " threads, parts of " +
                                          std::to_string(minPart);
                if (c.cut == Cut::Always) {
                    EXPECT_GT(parts, 1) << where;
                } else if (c.cut == Cut::Never) {
                    EXPECT_LE(parts, 1) << where;
                }
                EXPECT_EQ(inParts, onePass) << where;
                EXPECT_EQ(inPartsResult, onePassResult) << where;
            }
        }
    }
}

TEST_F(KmlReaderTest, ProgressReachesTheEnd)
{
    const std::string log = WriteLog(GpsbabelLog(3000));
    const auto size = std::int64_t(fs::file_size(log));
    for (int threads : {1, 2}) {
        std::vector<std::pair<std::int64_t, std::int64_t>> calls;
        std::string lines;
        ReadKmlTrackLines(
            log, lines, [&](std::int64_t read, std::int64_t total) { calls.emplace_back(read, total); },
            LogReadOptions{threads, 1 << 16});
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), std::make_pair(size, size));
        for (const auto& [read, total] : calls) {
            EXPECT_EQ(total, size);
            EXPECT_LE(read, size);
        }
    }
}

// gpsbabel writes a GPX track as a KML log; our import of that log must give the lines
// gpsbabel itself writes from the log in the track format.
TEST_F(KmlReaderTest, LogsWrittenByGpsbabel)
{
    const QString gpsbabel = QStandardPaths::findExecutable("gpsbabel");
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "NOTE: gpsbabel is not installed, so logs written by it are not tested";
    const std::string style = Path("track.style");
    std::ofstream(style) << "FIELD_DELIMITER COMMA\nRECORD_DELIMITER CRNEWLINE\nBADCHARS COMMA\n"
                            "IFIELD LAT_DECIMAL,\"\",\"%.6f\"\nIFIELD LON_DECIMAL,\"\",\"%.6f\"\n"
                            "IFIELD GMT_TIME,\"\",\"%Y%m%d\"\nIFIELD GMT_TIME,\"\",\"%H%M%S\"\n";
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(gpsbabel, args);
        const bool done = p.waitForFinished(60000);
        return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0
                   ? std::string()
                   : p.readAllStandardError().toStdString() + " (gpsbabel failed)";
    };
    for (const bool elevations : {true, false}) {
        std::string gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                          "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>Race</name><trkseg>\n";
        const char* const points[][3] = {
            {"57.7012345", "11.9012345", "2008-06-21T14:30:05Z"}, // more digits than gpsbabel keeps
            {"57.7013", "11.9015", "2008-06-21T14:30:10.750Z"},   // a fraction of a second
            {"-33.9", "-151.25", "2008-06-21T23:59:59Z"},         // south and west
            {"0.5", "-0.5", "2008-06-22T00:00:00Z"},              // the next day
            {"89.999999", "179.999999", "2008-12-31T23:59:59Z"},  // the edge of the chart
        };
        for (const auto& point : points) {
            gpx += std::string("<trkpt lat=\"") + point[0] + "\" lon=\"" + point[1] + "\">";
            if (elevations)
                gpx += "<ele>12.5</ele>";
            gpx += std::string("<time>") + point[2] + "</time></trkpt>\n";
        }
        gpx += "</trkseg></trk>\n</gpx>\n";
        const std::string gpxPath = WriteLog(gpx, "race.gpx");
        const std::string log = Path("race.kml");
        const std::string expected = Path("expected.txt");
        ASSERT_EQ(run({"-i", "gpx", "-f", QString::fromStdString(gpxPath), "-o", "kml,points=1,lines=0", "-F",
                       QString::fromStdString(log)}),
                  "");
        ASSERT_EQ(run({"-i", "kml", "-f", QString::fromStdString(log), "-o",
                       "xcsv,style=" + QString::fromStdString(style), "-F", QString::fromStdString(expected)}),
                  "");
        fs::remove(TrackFilePath(log));
        EXPECT_EQ(ImportLog(log).PointCount, 5);
        EXPECT_EQ(AfterHeader(TrackFilePath(log)), ReadBytes(expected))
            << (elevations ? "with" : "without") << " elevations\nLog:\n"
            << ReadBytes(log);
        fs::remove(TrackFilePath(log));
    }
}

} // namespace
} // namespace tideplot
