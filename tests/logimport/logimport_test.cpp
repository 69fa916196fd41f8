// The log import as a sailor uses it: KML, KMZ and GPX logs as loggers write them, the
// points it skips and why, what it says when a log holds no point, several tracks, points
// out of order, repeated or already imported, a log cut short; every track file written
// replayed by the engine; bad logs and archives, the XML limits; the import command.
#include "logimportfixture.h"

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

// A point every test below has (its line in the track file), and one after it.
const std::string kTimed = TrackPlacemark("2008-06-21T14:30:05Z", "11.9,57.7,0");
const std::string kTimedLine = "57.7,11.9,20080621,143005\r\n";
const std::string kNext = TrackPlacemark("2008-06-21T10:00:00Z", "1,2");
const std::string kNextLine = "2,1,20080621,100000\r\n";
const std::string kZone = "times are written with the offset ";
const std::string kHeader(kTrackHeaderLine);

// gx:Track points of 2010-05-28 from 02:02:0S, one a second: the whens and coords, the same
// points as placemarks, and their lines in the track file.
struct FourSeconds {
    std::string whens, coords, placemarks, lines;
};

FourSeconds FourSecondsOfTrack()
{
    FourSeconds four;
    for (int s = 0; s < 4; ++s) {
        const std::string when = "2010-05-28T02:02:0" + std::to_string(s) + "Z";
        four.whens += "<when>" + when + "</when>\n";
        four.coords += "<gx:coord>1." + std::to_string(s) + " 2 0</gx:coord>\n";
        four.placemarks += TrackPlacemark(when, "1." + std::to_string(s) + ",2");
    }
    four.lines = "2,1.0,20100528,020200\r\n2,1.1,20100528,020201\r\n2,1.2,20100528,020202\r\n"
                 "2,1.3,20100528,020203\r\n";
    return four;
}

const FourSeconds kFour = FourSecondsOfTrack();

// A log imported, what it writes and says.
struct ImportCase {
    std::string what, name, log, lines;
    std::string warnings; // the start of each after "LOG: ", one a line; a NoPointWarning last
    std::size_t pieces = 1;
    long leftOut = 0;     // repeats and other points of a second already taken
    std::string before{}; // the track file before the import; "": none
    std::string report{}; // a part of ImportReportText
};

class LogLinesTest : public LogImportTest {
protected:
    // Imports each case's log: the track file written (or not), the points, the warnings, the
    // tracks, the points left out, the report; every track file written replays.
    void ExpectImports(const std::vector<ImportCase>& cases)
    {
        for (const ImportCase& c : cases) {
            SCOPED_TRACE(c.what + "\nLog:\n" + c.log.substr(0, 2000));
            const std::string log = WriteLog(c.log, c.name);
            if (!c.before.empty())
                dir_.writeBytes(c.name + ".txt", c.before);
            LogImportResult result;
            EXPECT_NO_THROW(result = ImportLog(log));
            const bool written = !c.before.empty() || !c.lines.empty();
            EXPECT_EQ(fs::exists(TrackFilePath(log)), written) << "a track file only for a log that adds a point";
            if (written) {
                EXPECT_EQ(Slurp(TrackFilePath(log)), (c.before.empty() ? kHeader : c.before) + c.lines);
            }
            EXPECT_EQ(result.PointCount, std::count(c.lines.begin(), c.lines.end(), '\n'));
            std::vector<std::string> warnings = result.Warnings, expected;
            if (!result.NoPointWarning.empty())
                warnings.push_back(result.NoPointWarning);
            for (std::istringstream in(c.warnings); std::getline(in, expected.emplace_back());)
                ;
            expected.pop_back();
            EXPECT_EQ(warnings.size(), expected.size()) << ::testing::PrintToString(warnings);
            for (std::size_t i = 0; i < std::min(warnings.size(), expected.size()); ++i)
                EXPECT_TRUE(warnings[i].starts_with(log + ": " + expected[i])) << warnings[i];
            EXPECT_EQ(result.Pieces.size(), result.LogPoints == 0 ? 0 : c.pieces) << PiecesText(result.Pieces);
            EXPECT_EQ(result.Repeats + result.SameSecond, c.leftOut);
            EXPECT_NE(ImportReportText(result).find(c.report), std::string::npos) << ImportReportText(result);
            if (written)
                ExpectReplays(TrackFilePath(log));
        }
    }
};

// KML logs of placemarks and tracks in their many layouts, and a GPX log named .kml.
TEST_F(LogLinesTest, KmlLogsGiveTheirLines)
{
    const std::string oneLine = "<Placemark><TimeStamp><when>2007-08-18T10:23:45Z</when></TimeStamp><Point>"
                                "<coordinates>18.0710,59.3251,0</coordinates></Point></Placemark>\r\n";
    ExpectImports({
        {"one placemark a line, CR LF, a LineString between, a repeat", "line.kml",
         "<?xml version=\"1.0\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n" + oneLine +
             "<Placemark><name>B</name><TimeStamp><when>2007-08-18T23:59:59.75+02:00</when></TimeStamp><Point>"
             "<coordinates>-151.2500001,-33.9,12.5</coordinates></Point></Placemark>\r\n<Placemark><LineString>"
             "<coordinates>18.07,59.32,0 18.08,59.33,0</coordinates></LineString></Placemark>\r\n" +
             oneLine + "</Document>\r\n</kml>\r\n",
         "59.3251,18.0710,20070818,102345\r\n-33.9,-151.2500001,20070818,235959\r\n",
         "the points are not in time order: at line 7 the time goes back from 2007-08-18 23:59:59 to 2007-08-18 "
         "10:23:45; the track file has them sorted by time\n" +
             kZone + "+02:00 and are copied as written; type start times in the same time",
         2, 1, "", "2 points were written to "},
        {"blanks, attributes and namespace prefixes", "prefixes.kml",
         "<k:kml xmlns:k=\"http://www.opengis.net/kml/2.2\"><k:Placemark id=\"p1\"><k:TimeStamp id=\"t\"><k:when>\n"
         " 2008-06-21T14:30:05 </k:when></k:TimeStamp><k:Point><extrude>0</extrude><k:coordinates>\n 11.9 , 57.7\n"
         "</k:coordinates></k:Point></k:Placemark></k:kml>",
         kTimedLine, ""},
        {"older namespace, Point before TimeStamp, character references, lines counted at CR", "old.kml",
         "<kml xmlns=\"http://earth.google.com/kml/2.1\">\r<Placemark>\r<TimeStamp><when>bad</when></TimeStamp><Point>"
         "<coordinates>1,2</coordinates></Point></Placemark>\r<Placemark>\r<Point><coordinates>-0&#46;5&#44;-45.25,3"
         "</coordinates></Point>\r<TimeStamp><when>2008-06-21T14:30:05.123-03:30</when></TimeStamp></Placemark></kml>",
         "-45.25,-0.5,20080621,143005\r\n",
         "1 point skipped, at line 3: the time \"bad\" is not a date and time\n" + kZone + "-03:30"},
        {"nested folders, gx:MultiTrack of two segments, placemarks around it: sorted, one track", "order.kml",
         Kml("<Folder><Folder>" + TrackPlacemark("2010-05-28T02:00:02Z", "2,1") +
             "</Folder></Folder><Placemark>"
             "<gx:MultiTrack><gx:Track><when>2010-05-28T02:01:00Z</when><gx:coord>4 3 0</gx:coord></gx:Track>"
             "<gx:Track><when>2010-05-28T02:00:00Z</when><gx:coord>6 5 0</gx:coord></gx:Track></gx:MultiTrack>"
             "</Placemark>" +
             TrackPlacemark("2010-05-28T02:03:00Z", "8,7")),
         "5,6,20100528,020000\r\n1,2,20100528,020002\r\n3,4,20100528,020100\r\n7,8,20100528,020300\r\n",
         "the points are not in time order: at line 12 the time goes back from 2010-05-28 02:01:00"},
        {"gx:Track: whens paired with coords, with and without altitude, an empty gx:coord at a pause", "track.kml",
         Kml("<Placemark><gx:Track>\n<altitudeMode>absolute</altitudeMode>\n<when>2010-05-28T02:02:09Z</when>\n"
             "<when>2010-05-28T02:02:10Z</when>\n<when>2010-05-28T02:02:35.5Z</when>\n<gx:coord>-122.207881 "
             "37.371915 156.0</gx:coord>\n<gx:coord/>\n<gx:coord>\t-122.205712  37.373288\n</gx:coord>\n<ExtendedData>"
             "<SchemaData><gx:SimpleArrayData name=\"hr\"><gx:value>90</gx:value></gx:SimpleArrayData></SchemaData>"
             "</ExtendedData>\n</gx:Track></Placemark>"),
         "37.371915,-122.207881,20100528,020209\r\n37.373288,-122.205712,20100528,020235\r\n",
         "1 point skipped, at line 10: the gx:coord is empty"},
        {"gx:Track of whens and coords in turns; KML 2.3 Track", "track23.kml",
         "<kml xmlns=\"http://www.opengis.net/kml/2.3\"><Placemark><Track><when>2010-05-28T02:02:09Z</when>"
         "<coord>1.5 2.5 3</coord><when>2010-05-28T02:02:10Z</when><coord>1.5 2.6 3</coord></Track></Placemark></kml>",
         "2.5,1.5,20100528,020209\r\n2.6,1.5,20100528,020210\r\n", ""},
        {"GPX 1.0 without namespace, named .kml", "gpx.kml",
         "<gpx version=\"1.0\"><trk><trkseg>" + Trkpt("1.5", "2.5", "<time>2008-06-21T10:00:00Z</time>") +
             "</trkseg></trk></gpx>",
         "1.5,2.5,20080621,100000\r\n", ""},
    });
}

// Points the import cannot use are skipped, the first's line and the reason said.
TEST_F(LogLinesTest, UnusablePointsAreSkippedWithTheirReason)
{
    std::string comment(300000, 'c');
    for (std::size_t i = 0; i < comment.size(); i += 70)
        comment.replace(i, 2, "\n ");
    std::vector<ImportCase> cases = {
        {"empty when for a fix without a time", "notime.kml",
         Kml("<Placemark><gx:Track>\n<when/>\n<when>2010-05-28T02:02:10Z</when>\n<gx:coord>1 2 3</gx:coord>\n"
             "<gx:coord>3 4 5</gx:coord>\n</gx:Track></Placemark>\n"),
         "4,3,20100528,020210\r\n", "1 point skipped, at line 5: the time is empty"},
        {"statistics marker at latitude 100", "marker.kml",
         Kml(kTimed + TrackPlacemark("2008-06-21T14:30:06Z", "1,100") + TrackPlacemark("2008-06-21T14:30:07Z", "1,95")),
         kTimedLine, "2 points skipped, the first at line 17: the latitude \"100\" is not a number from -90 to 90"},
        {"time stamp without when", "nowhen.kml",
         Kml("<Placemark>\n<TimeStamp/>\n<Point><coordinates>1,2</coordinates></Point></Placemark>" + kNext), kNextLine,
         "1 point skipped, at line 5: the time stamp has no when"},
        {"gx:Track of whens without coords", "unpaired.kml",
         Kml("<Placemark>\n<gx:Track>\n<when>2010-05-28T02:02:09Z</when>\n</gx:Track></Placemark>" + kNext), kNextLine,
         "1 point skipped, at line 5: the gx:Track has 1 when and 0 gx:coord elements, which do not pair up"},
        {"gx:coord of four numbers", "coord.kml",
         Kml("<Placemark><gx:Track>\n\n<when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3 4</gx:coord></gx:Track>"
             "</Placemark>" +
             kNext),
         kNextLine, "1 point skipped, at line 6: the gx:coord \"1 2 3 4\" is not \"longitude latitude altitude\""},
        {"GPX bad time, time only in the extensions, off the globe, no lon", "bad.gpx",
         Gpx(Trkpt("57.7", "11.9", "<time>2008-06-21 14:30</time>") +
             Trkpt("57.7", "11.9", "<extensions><time>2008-06-21T14:30:05Z</time></extensions>") +
             Trkpt("57.7", "181", "<time>2008-06-21T14:30:05Z</time>") +
             "<trkpt lat=\"57.7\"><time>2008-06-21T14:30:05Z</time></trkpt>\n" +
             Trkpt(" 57.7 ", "11.9\t", "<extensions><time>x</time></extensions><time>2008-06-21T14:30:08Z</time>")),
         "57.7,11.9,20080621,143008\r\n",
         "4 points skipped, the first at line 4: the time \"2008-06-21 14:30\" is not a date and time"},
        {"decimal commas, GPX on one line: named by point", "comma.gpx",
         "<gpx><trk><trkseg><trkpt lat=\"57.7\" lon=\"11.9\"><time>2008-06-21T10:00:00Z</time></trkpt><trkpt "
         "lat=\"37,549225\" lon=\"11.9\"><time>2008-06-21T10:00:01Z</time></trkpt></trkseg></trk></gpx>",
         "57.7,11.9,20080621,100000\r\n",
         "1 point skipped, at point 2 (line 1): the latitude \"37,549225\" is written with a decimal comma; a GPS "
         "log writes a decimal point"},
        {"decimal commas, KML", "comma.kml", Kml(TrackPlacemark("2008-06-21T14:30:05Z", "11,9,57,7,0") + kNext),
         kNextLine,
         "1 point skipped, at line 9: the coordinates \"11,9,57,7,0\" are written with decimal commas; KML parts "
         "longitude, latitude and altitude with commas, so a GPS log writes decimal points"},
        {"a long comment, blanks and a long CDATA section around the points", "long.kml",
         Kml("<!--" + comment + "-->\n" + std::string(200000, ' ') + "\n<Placemark><description><![CDATA[" +
             std::string(200000, 'x') +
             "]]></description><TimeStamp><when>bad</when></TimeStamp><Point><coordinates>"
             "1,2</coordinates></Point></Placemark>" +
             kTimed),
         kTimedLine, "1 point skipped, at line 4292: the time \"bad\""},
    };
    // A placemark's unusable coordinates (on its line 9) or time (line 6), before a usable one.
    const std::pair<std::string, std::string> badCoordinates[] = {
        {"1", "the coordinates \"1\" are not one tuple"},
        {"1,2,3 4,5,6", "the coordinates \"1,2,3 4,5,6\" are not one tuple"},
        {"", "the coordinates are empty"},
        {"east,2", "the longitude \"east\" is not a number from -180 to 180"},
        {"1,2e", "the latitude \"2e\" is not a number from -90 to 90"},
        {"1,", "the latitude is empty"},
    };
    for (const auto& [coordinates, reason] : badCoordinates)
        cases.push_back({coordinates, "coordinates.kml",
                         Kml(TrackPlacemark("2008-06-21T14:30:05Z", coordinates) + kNext), kNextLine,
                         "1 point skipped, at line 9: " + reason});
    for (const std::string when : {"2008-06-21 14:30:05", "2008-06-21", "2008-06-21T1a:30:05Z", "2008-02-30T14:30:05Z",
                                   "2008-06-21T24:00:00Z", "2008-06-21T14:30:05Zulu", "2008-06-21T14:30:05.Z"})
        cases.push_back({when, "when.kml", Kml(TrackPlacemark(when, "1,2") + kNext), kNextLine,
                         "1 point skipped, at line 6: the time \"" + when + "\" is not a date and time"});
    ExpectImports(cases);
}

// A log without a usable point writes no track file and says what it holds instead.
TEST_F(LogLinesTest, LogsWithoutAPointSayWhatTheyHold)
{
    std::string lineString = "<Placemark><name>Track</name><LineString><coordinates>\n";
    for (int i = 0; i < 1329; ++i)
        lineString += "11." + std::to_string(100000 + i) + ",57.7,0" + (i % 3 == 2 ? "\n" : " ");
    lineString += "</coordinates></LineString></Placemark>\n";
    const std::string advice = "; the import needs a track with a time at each point: a KML gx:Track, KML placemarks "
                               "with time stamps, or a GPX track (trkpt elements with a time)";
    ExpectImports({
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
        {"marks only", "marks.kml", Kml("<Placemark><Point><coordinates>1,2</coordinates></Point></Placemark>"), "",
         "no point found: it holds a placemark without a time stamp: this is a planned route (or marks), not a "
         "recorded track: export the track your logger recorded"},
        {"KMZ of overlays only", "log.kmz", Zip({{"doc.kml", Kml("")}, {"b.kml", Kml("")}}), "",
         "no point found: it holds no placemark with a position, gx:Track or LineString, and the archive's other KML "
         "document holds no point either"},
        {"GPX without times", "notimes.gpx",
         Gpx(Trkpt("57.7", "11.9", "<ele>2</ele>") + Trkpt("57.8", "11.9", "") + Trkpt("57.9", "11.9", "")), "",
         "no point found: it holds 3 track points; 3 points skipped, the first at line 4: the track point has no "
         "time" +
             advice},
        {"GPX route and waypoints", "route.gpx",
         Gpx("", "<wpt lat=\"1\" lon=\"2\"><time>2008-06-21T14:30:05Z</time></wpt>\n<rte><rtept lat=\"1\" lon=\"2\"/>"
                 "<rtept lat=\"3\" lon=\"4\"/></rte>\n"),
         "",
         "no point found: it holds 2 route points and one waypoint: this is a planned route (or marks), not a "
         "recorded track: export the track your logger recorded"},
    });
}

// A KMZ archive is read from its doc.kml, or the first KML document holding points.
TEST_F(LogLinesTest, KmzLogsAreReadFromTheirKmlDocument)
{
    ExpectImports({
        {"KMZ", "log.kmz", Zip({{"doc.kml", Kml(kTimed)}, {"files/icon.png", "\x89PNG"}}), kTimedLine, ""},
        {"KMZ without doc.kml: its first KML entry", "log.kmz",
         Zip({{"files/icon.png", "\x89PNG"}, {"tracks/Day 1.KML", Kml(kTimed)}, {"tracks/day2.kml", "not read"}}),
         kTimedLine, ""},
        {"KMZ whose doc.kml is an overlay: the next KML document", "log.kmz",
         Zip({{"doc.kml", Kml("<GroundOverlay><name>chart</name></GroundOverlay>")},
              {"a.txt", ""},
              {"tracks/race.kml", Kml(TrackPlacemark("2008-06-21T14:30:06Z", "1,100") + kTimed)}}),
         kTimedLine, "1 point skipped, at tracks/race.kml line 9: the latitude \"100\"", 1, 0, "",
         "The points were read from tracks/race.kml in the archive: doc.kml holds none."},
    });
}

// Points out of order are sorted, zone offsets copied, a fast logger thinned to a point a
// second, points of a second repeated left out, and a log's separate tracks counted.
TEST_F(LogLinesTest, PointsAreSortedThinnedAndCountedInTracks)
{
    ExpectImports({
        {"zone offsets, KML",
         "zones.kml",
         Kml(TrackPlacemark("2008-06-21T23:30:00-03:00", "1,2") + TrackPlacemark("2008-06-22T01:30:00.5+02:00", "1,2") +
             TrackPlacemark("2008-06-22T01:30:01+0530", "1,2") + TrackPlacemark("2008-06-22T01:30:02+00:00", "1,2")),
         "2,1,20080621,233000\r\n2,1,20080622,013000\r\n2,1,20080622,013001\r\n2,1,20080622,013002\r\n",
         {kZone + "-03:00 (and others) and are copied as written"},
         2},
        {"a 5 Hz logger: the first point of each second", "5hz.gpx",
         GpxTrack({"1 2 2008-06-21T10:00:00.0Z", "1.1 2 2008-06-21T10:00:00.2Z", "1.2 2 2008-06-21T10:00:00.4Z",
                   "1.3 2 2008-06-21T10:00:00.8Z", "1.4 2 2008-06-21T10:00:01.0Z", "1.5 2 2008-06-21T10:00:01.2Z"}),
         "1,2,20080621,100000\r\n1.4,2,20080621,100001\r\n", "", 1, 4},
        {"a phone app's marks at the ends of its gx:Track, the last repeating its last point", "mytracks.kml",
         Kml(TrackPlacemark("2010-05-28T02:02:00Z", "1.0,2") + "<Placemark><gx:MultiTrack><gx:Track>\n" + kFour.whens +
             kFour.coords + "</gx:Track></gx:MultiTrack></Placemark>\n" +
             TrackPlacemark("2010-05-28T02:02:03Z", "1.3,2")),
         kFour.lines, "", 1, 2},
        {"gpsbabel's points and track of the same log", "babel.kml",
         Kml("<Folder><name>Points</name>\n" + kFour.placemarks + "</Folder>\n<Placemark><gx:Track>\n" + kFour.whens +
             kFour.coords + "</gx:Track></Placemark>\n"),
         kFour.lines, "", 1, 4},
        {"a clock that was not set", "clock.gpx",
         GpxTrack({"1 2 1901-12-13T20:45:52Z", "1.1 2 1901-12-13T20:45:52Z", "1.2 2 1901-12-13T20:45:52Z",
                   "1.3 2 2008-06-21T10:00:00Z"}),
         "1,2,19011213,204552\r\n1.3,2,20080621,100000\r\n",
         "3 points are timed before 1990, the first at line 3 (1901-12-13 20:45:52): the logger's clock was probably "
         "not set",
         2, 2},
        {"three days out of order", "days.gpx",
         GpxTrack({"3 2 2008-07-14T09:00:00Z", "3.1 2 2008-07-14T09:30:00Z", "1 2 2008-07-12T09:58:00Z",
                   "1.1 2 2008-07-12T10:40:00Z", "2 2 2008-07-13T10:01:00Z", "2.1 2 2008-07-13T10:30:00Z"}),
         "1,2,20080712,095800\r\n1.1,2,20080712,104000\r\n2,2,20080713,100100\r\n2.1,2,20080713,103000\r\n"
         "3,2,20080714,090000\r\n3.1,2,20080714,093000\r\n",
         "the points are not in time order: at line 5 the time goes back from 2008-07-14 09:30:00 to 2008-07-12 "
         "09:58:00",
         3, 0, "", "The log holds 3 tracks: 2008-07-12 09:58-10:40, 2008-07-13 10:01-10:30, 2008-07-14 09:00-09:30."},
        {"two tracks ten minutes apart, and a gap of more than an hour", "tracks.gpx",
         GpxTrack({"1 2 2008-07-12T09:00:00Z", "1.1 2 2008-07-12T09:30:00Z", "", "2 2 2008-07-12T09:40:00Z",
                   "2.1 2 2008-07-12T10:00:00Z", "2.2 2 2008-07-12T11:00:01Z"}),
         "1,2,20080712,090000\r\n1.1,2,20080712,093000\r\n2,2,20080712,094000\r\n2.1,2,20080712,100000\r\n"
         "2.2,2,20080712,110001\r\n",
         "", 3},
    });
}

// A log cut short keeps the points before the cut; points already in the track file are
// not added again.
TEST_F(LogLinesTest, CutShortOrAlreadyImportedLogsAddOnlyNewPoints)
{
    const std::string twoPoints = GpxTrack({"1 2 2008-07-12T09:00:00Z", "1.1 2 2008-07-12T09:00:01Z"});
    const std::string cutTrack = Kml("<Placemark><gx:Track>\n" + kFour.whens + kFour.coords);
    ExpectImports({
        {"a log cut short in a track point", "short.gpx", twoPoints.substr(0, twoPoints.find("09:00:01")),
         "1,2,20080712,090000\r\n",
         "the log ends early at line 4 (was the logger stopped while writing?): 1 point before it was kept"},
        {"a log cut short in a gx:Track", "short.kml", cutTrack.substr(0, cutTrack.find("<gx:coord>1.2")),
         "2,1.0,20100528,020200\r\n2,1.1,20100528,020201\r\n",
         "the log ends early at line 11 (was the logger stopped while writing?): 2 points before it were kept"},
        {"the same log again adds nothing", "again.kml", Kml(kTimed), "",
         "1 point already in the track file was "
         "skipped (it ends at 2008-06-21 14:30:05)",
         1, 0, "# made by hand\r\n" + kHeader + kTimedLine, "Nothing was written to "},
        {"points not later than the track file's last are skipped", "later.kml",
         Kml(TrackPlacemark("2008-06-21T14:30:00Z", "1,2") + kTimed + TrackPlacemark("2008-06-21T14:30:10Z", "3,4")),
         "4,3,20080621,143010\r\n", "2 points already in the track file were skipped (it ends at 2008-06-21 14:30:05)",
         1, 0, kHeader + "57.7,11.9,20080621,143005\r\n\r\n"},
    });
}

// A log of three days, split: one track file for each, each replays; split again, it adds
// nothing to any of them.
TEST_F(LogImportTest, SplitWritesOneTrackFilePerPiece)
{
    const std::string log =
        WriteLog(GpxTrack({"1 2 2008-07-12T09:58:00Z", "1.1 2 2008-07-12T10:40:59Z", "", "2 2 2008-07-13T23:30:00Z",
                           "2.1 2 2008-07-14T00:20:00Z", "", "3 2 2008-07-14T09:00:00Z", "3.1 2 2008-07-14T09:30:00Z"}),
                 "regatta.gpx");
    const LogImportResult result = ImportLogSplit(log);
    ASSERT_TRUE(result.CanSplit());
    EXPECT_EQ(PiecesText(result.Pieces),
              "3 tracks: 2008-07-12 09:58-10:40, 2008-07-13 23:30-2008-07-14 00:20, 2008-07-14 09:00-09:30");
    const std::vector<std::string> files = {log + ".1.txt", log + ".2.txt", log + ".3.txt"};
    EXPECT_EQ(result.TrackFiles, files);
    EXPECT_EQ(result.PointCount, 6);
    EXPECT_FALSE(fs::exists(TrackFilePath(log)));
    const std::string header(kTrackHeaderLine);
    EXPECT_EQ(Slurp(files[1]), header + "2,2,20080713,233000\r\n2.1,2,20080714,002000\r\n");
    for (const std::string& file : files)
        ExpectReplays(file);
    EXPECT_EQ(ImportReportText(result), "The log's 3 tracks went to one track file each:\n" + files[0] +
                                            ": 2008-07-12 09:58-10:40, 2 points\n" + files[1] +
                                            ": 2008-07-13 23:30-2008-07-14 00:20, 2 points\n" + files[2] +
                                            ": 2008-07-14 09:00-09:30, 2 points");

    const LogImportResult again = ImportLogSplit(log);
    EXPECT_EQ(again.PointCount, 0);
    EXPECT_TRUE(again.TrackFiles.empty());
    EXPECT_EQ(again.NoPointWarning, log + ": 6 points already in the track files were skipped");
    EXPECT_EQ(Slurp(files[1]), header + "2,2,20080713,233000\r\n2.1,2,20080714,002000\r\n");
}

const std::string kNotXml = ": the log is not well-formed XML";
const std::string kTooDeep = ": the elements nest deeper than 256 levels";

// A log that cannot be read as a whole, its error: the start of the message, LOG standing for
// the log's path; "": read.
struct RefusedCase {
    const char* what;
    std::string name;
    std::optional<std::string> log; // nullopt: not written
    std::string error;
};

class LogRefusedTest : public LogImportTest {
protected:
    // Imports each case's log with and without a track file beside it: the error names the log
    // (and the line), and the track file is neither created nor changed; a log that is read
    // adds its point.
    void ExpectRefused(const std::vector<RefusedCase>& cases)
    {
        const std::string before = "Latitude,Longitude,Date,Time\r\n1,2,20080101,000000\r\n";
        for (const RefusedCase& c : cases) {
            SCOPED_TRACE(c.what);
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
                EXPECT_TRUE(c.error.empty() ? message.empty() : message.starts_with(expected)) << message;
                const std::string start = trackFileExists ? before : c.error.empty() ? kHeader : "";
                EXPECT_EQ(fs::exists(trackFile), trackFileExists || c.error.empty());
                EXPECT_EQ(Slurp(trackFile), start + (c.error.empty() ? kTimedLine : ""));
            }
        }
    }
};

// Logs that cannot be read (broken, no file but a folder or a FIFO, which the import refuses
// at once) change nothing, also when a large log read in parts fails only at its end.
TEST_F(LogRefusedTest, BadLogsChangeNothing)
{
    const std::string big = GpsbabelLog(20000); // about 14 MB: read in parts where there are several cores
    fs::create_directory(Path("folder.kml"));
    ASSERT_EQ(::mkfifo(Path("fifo.gpx").c_str(), 0600), 0);
    ExpectRefused({
        {"missing", "missing.kml", std::nullopt, "cannot open \"LOG\""},
        {"a folder", "folder.kml", std::nullopt, "cannot open \"LOG\": it is a folder, not a log file"},
        {"a FIFO", "fifo.gpx", std::nullopt, "cannot open \"LOG\": it is a FIFO (a named pipe), not a log file"},
        {"empty", "empty.kml", "", "LOG: the log is empty"},
        {"unopened end tag", "log.kml", Kml("<Placemark>\n</Placemark>\n</Folder>"), "LOG, line 6" + kNotXml},
        {"cut short before its first point", "log.kml", std::string(kKmlStart) + "<Placemark>\n",
         "LOG, line 5: the log ends early (was the logger stopped while writing?), before any complete point"},
        {"CR LF and CR line ends", "log.kml", "<kml>\r\n\r\n<x>\r\r</kml>", "LOG, line 5" + kNotXml},
        {"malformed XML after unusable points", "log.kml",
         Kml(TrackPlacemark("2008-06-21T14:30:05Z", "1,100") + "<Placemark>\n</Folder>"), "LOG, line 13" + kNotXml},
        {"malformed GPX", "log.gpx", Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + "<trkpt>"),
         "LOG, line 5" + kNotXml},
        {"big log broken at its end", "big.kml", big.substr(0, big.size() - 30) + "</x>", "LOG, line 420011" + kNotXml},
        {"big log nested too deep at its end", "big.kml", big.substr(0, big.size() - 20) + Nested(300),
         "LOG, line 420012" + kTooDeep},
    });
}

// The XML limits hold deep inside text the reader would otherwise take whole; markup-like text
// in comments, CDATA, attribute values and the document type does not count; a log just
// within them is read.
TEST_F(LogRefusedTest, XmlLimitsHoldAndALogWithinThemIsRead)
{
    const std::string point = kTimed;
    const auto attributes = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += " a" + std::to_string(i) + "=\"1\"";
        return text;
    };
    std::string utf16 = "\xFF\xFE";
    for (const char c : "<kml>\n" + Nested(300) + "\n</kml>")
        utf16 += std::string{c, '\0'};
    ExpectRefused({
        {"255 levels below the root", "log.kml", "<kml>\n" + Nested(255) + Nested(255, "</a>") + point + "</kml>", ""},
        {"256 levels below the root", "log.kml", "<kml>\n" + Nested(256) + Nested(256, "</a>") + point + "</kml>",
         "LOG, line 2: the elements nest deeper than 256 levels, far deeper than in any GPS log"},
        {"a million levels", "log.kml", "<kml>\n\n" + Nested(1000000), "LOG, line 3" + kTooDeep},
        {"UTF-16, too deep", "log.kml", utf16, "LOG, line 2" + kTooDeep},
        {"self-closed and closed elements do not nest", "log.kml",
         "<kml>" + Nested(1000, "<a/><b x='/'></b><c />") + point + "</kml>", ""},
        {"256 attributes", "log.kml", "<kml" + attributes(256) + ">" + point + "</kml>", ""},
        {"257 attributes", "log.kml", "<kml>\n" + point + "<a\n" + attributes(257) + "/></kml>",
         "LOG, line 11: a start tag has more than 256 attributes, far more than any GPS log writes"},
        {"a million attributes", "log.kml", "<kml>\n<a" + attributes(1000000) + "/></kml>",
         "LOG, line 2: a start tag has more than"},
        {"a tag of 2 MiB", "log.kml", "<kml>\n" + point + "<a b='" + std::string(2 << 20, 'x') + "'/></kml>",
         "LOG, line 10: a tag, declaration or entity reference is longer than 1 MiB"},
        {"markup in comments, CDATA, values and the DTD", "log.kml",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE kml [\n<!-- it's <a> -->\n<!ENTITY e \"<a x='1'>\">\n<?pi '<a>?>\n]>\n"
         "<kml x=\"" +
             std::string(300, '=') + "/\">" + "<!--" + Nested(300) + "-->" + "<![CDATA[" + Nested(300, "<a b=1>") +
             "]]>" + point + "</kml>",
         ""},
    });
}

// Bad KMZ archives: not a zip, cut short, without KML, damaged, not the size they state, a
// zip bomb, encrypted.
TEST_F(LogRefusedTest, BadArchivesChangeNothing)
{
    const std::string kml = Kml(kTimed);
    std::string archive = Zip({{"doc.kml", kml}}, true);
    std::string damaged = archive;
    damaged[damaged.find("57.7")] = '6'; // the CRC no longer matches
    std::string bomb(std::size_t(kKmzRatioFloorBytes) + 1024, ' ');
    bomb.replace(0, 5, "<kml>");
    const std::string deflated = Zip({{"doc.kml", kml + std::string(4000, ' ')}});
    const std::string notKmz = "LOG: not a KMZ archive that can be read";
    std::vector<RefusedCase> cases = {
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
        {"malformed KML inside", "log.kmz", Zip({{"doc.kml", kml + "<x>"}}), "LOG (doc.kml), line 14" + kNotXml},
    };
    if (zip_encryption_method_supported(ZIP_EM_AES_256, 1))
        cases.push_back({"encrypted", "log.kmz", Zip({{"doc.kml", kml}}, false, "secret"),
                         "LOG: doc.kml in the KMZ archive is encrypted"});
    ExpectRefused(cases);
}

// The command, run as a user runs it: a report line per log on its output, warnings and
// errors on its error output, and the exit status; a log imported twice, a FIFO refused at
// once, a log split.
TEST_F(LogImportTest, ImportCommand)
{
    std::string out, err;
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(TIDEPLOT_BINARY_DIR "/src/app/tideplot", args);
        EXPECT_TRUE(p.waitForFinished(60000)) << "the tideplot program did not run: build it first";
        out = p.readAllStandardOutput().toStdString();
        err = p.readAllStandardError().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    const std::string good = WriteLog(GpsbabelLog(2), "good.kml");
    const std::string gpx =
        WriteLog(Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") + Trkpt("1", "2", "")), "skip.gpx");
    const std::string none = WriteLog(Kml(""), "none.kml");
    const std::string bad = WriteLog(Kml("<Placemark>"), "bad.kml");
    const std::string missing = Path("missing.kml");
    const std::string fifo = Path("fifo.kml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string days = WriteLog(Gpx(Trkpt("1", "2", "<time>2008-06-21T10:00:00Z</time>") +
                                          Trkpt("1", "3", "<time>2008-06-22T10:00:00Z</time>")),
                                      "days.gpx");
    const auto q = [](const std::string& text) { return QString::fromStdString(text); };

    EXPECT_EQ(run({"import", q(good), q(gpx)}), 0);
    EXPECT_EQ(out,
              good + ": 2 points appended to " + good + ".txt\n" + gpx + ": 1 point appended to " + gpx + ".txt\n");
    EXPECT_EQ(err, "warning: " + gpx + ": 1 point skipped, at line 5: the track point has no time\n");
    const std::string imported = Slurp(good + ".txt");

    // Again: nothing is added, and no log added a point.
    EXPECT_EQ(run({"import", q(good)}), 1);
    EXPECT_EQ(out, good + ": no new point; " + good + ".txt is unchanged\n");
    EXPECT_EQ(err, "warning: " + good +
                       ": 2 points already in the track file were skipped (it ends at 2008-06-21 "
                       "00:00:01)\n");
    EXPECT_EQ(Slurp(good + ".txt"), imported);

    EXPECT_EQ(run({"import-kml", q(bad), q(missing), q(none), q(fifo)}), 1);
    EXPECT_EQ(out, none + ": no point found; no track file written\n");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << err;
    for (const std::string& said : {"tideplot import: " + bad + ", line 4: the log is not well-formed XML",
                                    "tideplot import: cannot open \"" + missing + "\"",
                                    "tideplot import: cannot open \"" + fifo + "\": it is a FIFO",
                                    "warning: " + none + ": no point found: it holds no placemark"})
        EXPECT_NE(err.find(said), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(none + ".txt"));

    EXPECT_EQ(run({"import", q(days)}), 0);
    EXPECT_EQ(err, "warning: " + days + ": 2 tracks: 2008-06-21 10:00-10:00, 2008-06-22 10:00-10:00; all went to " +
                       days + ".txt: tideplot import --split " + days + " writes one track file for each (" + days +
                       ".1.txt, " + days + ".2.txt, ...)\n");
    EXPECT_EQ(run({"import", "--split", q(days)}), 0);
    EXPECT_EQ(out, days + ": 1 point appended to " + days + ".1.txt (2008-06-21 10:00-10:00)\n" + days +
                       ": 1 point appended to " + days + ".2.txt (2008-06-22 10:00-10:00)\n");

    EXPECT_EQ(run({"import", "--bogus"}), 2);
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos) << err;
    EXPECT_EQ(run({"import-kml", "--help"}), 0);
    EXPECT_TRUE(out.starts_with("Usage: tideplot import [--split] [--date YYYY-MM-DD] LOG")) << out;
}

} // namespace
} // namespace tideplot
