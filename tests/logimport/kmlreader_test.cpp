// Logs read in parts on several threads and sorted in a little memory against one pass, and
// gpsbabel's reading of KML and GPX logs against ours.
#include "logimportfixture.h"

namespace tideplot {
namespace {

using namespace tideplot::testing;
namespace fs = std::filesystem;

enum class Cut { Always, Never, Maybe }; // whether the log is read in parts

struct PartCase {
    const char* what;
    Cut cut;
    std::string log;
    bool gpx = false;
};

// Logs of placemarks, tracks and track points, some whose cuts fall where the text cannot be
// cut, some with skipped points.
std::vector<PartCase> PartCases()
{
    std::string placemarks = GpsbabelLog(40);
    placemarks = placemarks.substr(placemarks.find("<Placemark>"));
    placemarks.erase(placemarks.rfind("</Placemark>") + 13);
    std::string trkpts;
    for (int i = 0; i < 60; ++i)
        trkpts += LoggerTrkpt(i);
    const std::string point = TrackPlacemark("2008-06-21T10:00:00Z", "1,2");
    const std::string track = "<Placemark><gx:Track><when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3</gx:coord>"
                              "</gx:Track></Placemark>\n";
    const std::string badTime = TrackPlacemark("2008", "1,2");
    const std::string offGlobe = TrackPlacemark("2008-06-21T10:00:00Z", "1,100");
    const std::string lineString = "<Placemark><LineString><coordinates>1,2,0 3,4,0\n5,6,0</coordinates>"
                                   "</LineString></Placemark>\n";
    // CR line ends, each line unindented, so a part may end with a CR
    std::string crPlacemarks;
    for (const char c : placemarks)
        if (c == '\n')
            crPlacemarks += '\r';
        else if (c != ' ' || (!crPlacemarks.empty() && crPlacemarks.back() != '\r' && crPlacemarks.back() != ' '))
            crPlacemarks += c;
    std::string prefixed = point;
    for (const char* tag : {"Placemark>", "TimeStamp>", "when>", "Point>", "coordinates>"})
        for (std::size_t at = 0; (at = prefixed.find(tag, at)) != std::string::npos; at += 5)
            prefixed.insert(at, "kml:");
    // Two folders, the second earlier and written in another zone.
    std::string folders = "<Folder>" + placemarks + "</Folder><Folder>";
    for (int i = 0; i < 30; ++i)
        folders += TrackPlacemark("1980-06-20T10:00:" + std::to_string(10 + i) + "+02:00", "1,2");
    folders += "</Folder>";
    return {
        {"placemarks in comments and CDATA", Cut::Maybe,
         Kml("<Folder>" + placemarks + "<!-- " + point + "-->\n" + placemarks + "<description><![CDATA[" + point +
             "]]></description>\n" + placemarks + "</Folder>")},
        {"folders of different depth", Cut::Maybe,
         Kml("<Folder>" + placemarks + "</Folder><Folder><Folder>" + placemarks + "</Folder></Folder>" + placemarks)},
        {"namespace declared on a folder", Cut::Never,
         Kml("<Folder>" + placemarks + "</Folder><Folder xmlns:gx=\"urn:other\">" + placemarks + track + "</Folder>")},
        {"prefixed placemarks", Cut::Maybe,
         "<kml:kml xmlns:kml=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
         "<kml:Folder>" +
             track + prefixed + prefixed + "</kml:Folder></kml:kml>"},
        {"entity declared in a DTD", Cut::Never,
         "<!DOCTYPE kml [<!ENTITY lon \"11.9\">]>\n<kml><Folder>" + placemarks +
             TrackPlacemark("2008-06-21T10:00:00Z", "&lon;,2") + placemarks + "</Folder></kml>"},
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
        {"tracks out of order, zones, a clock not set", Cut::Maybe, Kml(folders + placemarks)},
        {"a long comment", Cut::Maybe,
         Kml("<Folder>" + placemarks + "<!--" + std::string(100000, 'c') + "-->" + placemarks + "</Folder>")},
        {"a log cut short", Cut::Never, Kml("<Folder>" + placemarks + placemarks).substr(0, 9000)},
        {"too deep in the middle", Cut::Never, Kml("<Folder>" + placemarks + Nested(300) + placemarks + "</Folder>")},
        {"GPX, several tracks, skipped points", Cut::Always,
         Gpx(trkpts + Trkpt("100", "1", "<time>2008-06-21T10:00:00Z</time>") + "</trkseg><trkseg>\n" + trkpts +
             Trkpt("1", "2", "") + "</trkseg></trk><trk><trkseg>" + trkpts),
         true},
    };
}

// Reads the log: its points in time order, then the rest of the result (or the error); the
// parts read. The progress reported reaches the end.
std::pair<std::string, int> ReadInParts(const PartCase& c, const std::string& log, const LogReadOptions& options)
{
    const auto size = std::int64_t(fs::file_size(log));
    std::int64_t lastRead = -1;
    const LogProgress progress = [&](std::int64_t read, std::int64_t total) {
        EXPECT_TRUE(total == size && read <= size) << read << " of " << total;
        lastRead = read;
    };
    LogPoints points(options.PointMemoryBytes);
    try {
        const LogReadResult r =
            c.gpx ? ReadGpxPoints(log, points, progress, options) : ReadKmlPoints(log, points, progress, options);
        EXPECT_EQ(lastRead, size) << "the progress does not reach the end";
        return std::pair(SortedLines(points) + testing::DescribeLogReading(r), r.Parts);
    } catch (const Error& e) {
        return std::pair(std::string(e.what()), 0);
    }
}

// Reads each log in one pass, then in parts on 2, 3 and 7 threads with parts of several sizes
// and points sorted in a little memory: the same points, skipped points with the first one's
// place, what the log holds, its times and tracks, or the same error.
void ExpectPartsGiveWhatOnePassGives(const std::string& log, const PartCase& c)
{
    SCOPED_TRACE(c.what);
    const std::string onePass = ReadInParts(c, log, LogReadOptions{1, 1}).first;
    for (int threads : {2, 3, 7}) {
        for (std::int64_t minPart : {std::int64_t{1}, std::int64_t{100}, std::int64_t{3000}}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, parts of " + std::to_string(minPart));
            const auto [inParts, parts] = ReadInParts(c, log, LogReadOptions{threads, minPart, minPart * 40});
            if (c.cut == Cut::Always) {
                EXPECT_GT(parts, 1);
            } else if (c.cut == Cut::Never) {
                EXPECT_LE(parts, 1);
            }
            EXPECT_EQ(inParts, onePass);
        }
    }
}

// Logs that can be cut, read in parts, give what one pass gives.
TEST_F(KmlReaderTest, PartsGiveWhatOnePassGives)
{
    for (const PartCase& c : PartCases())
        if (c.cut != Cut::Never)
            ExpectPartsGiveWhatOnePassGives(WriteLog(c.log, c.gpx ? "log.gpx" : "log.kml"), c);
}

// Logs that cannot be cut (a namespace or an entity declared inside, another encoding, broken,
// cut short, too deep) are read in one part, with the same result.
TEST_F(KmlReaderTest, LogsThatCannotBeCutAreReadWhole)
{
    for (const PartCase& c : PartCases())
        if (c.cut == Cut::Never)
            ExpectPartsGiveWhatOnePassGives(WriteLog(c.log, c.gpx ? "log.gpx" : "log.kml"), c);
}

// gpsbabel's reading of a GPX log, written in the track format, is our import of it; so is
// its reading of the KML log it writes from that GPX log (points with and without altitude).
TEST_F(KmlReaderTest, KmlAndGpxAsGpsbabelReadsThem)
{
    const QString gpsbabel = QStandardPaths::findExecutable("gpsbabel");
    if (gpsbabel.isEmpty())
        GTEST_SKIP() << "NOTE: gpsbabel is not installed, so KML and GPX imports are not compared with its reading";
    const std::string style = Path("track.style");
    std::ofstream(style) << "FIELD_DELIMITER COMMA\nRECORD_DELIMITER CRNEWLINE\nBADCHARS COMMA\n"
                            "IFIELD LAT_DECIMAL,\"\",\"%.6f\"\nIFIELD LON_DECIMAL,\"\",\"%.6f\"\n"
                            "IFIELD GMT_TIME,\"\",\"%Y%m%d\"\nIFIELD GMT_TIME,\"\",\"%H%M%S\"\n";
    const auto convert = [&](const char* from, const std::string& in, const QString& to, const std::string& out) {
        QProcess p;
        p.start(gpsbabel, {"-i", from, "-f", QString::fromStdString(in), "-o", to, "-F", QString::fromStdString(out)});
        ASSERT_TRUE(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            << p.readAllStandardError().toStdString();
    };
    // Six decimals, as gpsbabel writes them; UTC times, which gpsbabel keeps as they are.
    std::string trkpts;
    for (int i = 0; i < 500; ++i)
        trkpts += LoggerTrkpt(i * 97);
    trkpts += Trkpt("-33.900000", "-151.250000", "<time>2008-06-21T23:59:59.750Z</time>");
    trkpts += Trkpt("0.000000", "-0.500000", "<time>2008-06-22T00:00:00Z</time>");
    trkpts += "</trkseg><trkseg>\n" + Trkpt("89.999999", "179.999999", "<ele>1</ele><time>2008-12-31T23:59:59Z</time>");
    const std::string gpx = WriteLog(Gpx(trkpts), "race.gpx");
    const std::string kml = Path("race.kml");
    convert("gpx", gpx, "kml,points=1,lines=0", kml);
    for (const auto& [log, format] : {std::pair{gpx, "gpx"}, std::pair{kml, "kml"}}) {
        const std::string expected = Path("expected.txt");
        convert(format, log, "xcsv,style=" + QString::fromStdString(style), expected);
        fs::remove(TrackFilePath(log));
        EXPECT_EQ(ImportLog(log).PointCount, 503) << log;
        EXPECT_EQ(Slurp(TrackFilePath(log)), std::string(kTrackHeaderLine) + Slurp(expected)) << "Log:\n" << Slurp(log);
    }
}

} // namespace
} // namespace tideplot
