// The log readers against themselves and against gpsbabel: a log read in parts on several
// threads gives what one pass gives, and gpsbabel's reading of KML and GPX logs is ours.
#include "core/gpxreader.h"
#include "core/kmlreader.h"
#include "logimport_support.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace tideplot {
namespace {

using namespace tideplot::testing;

using KmlReaderTest = ImportTest;

// The lines, the skipped points with the first one's line, what the log holds, the error,
// and the progress reported, also for logs whose cuts fall where the text cannot be cut.
TEST_F(KmlReaderTest, PartsGiveWhatOnePassGives)
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
    std::string crPlacemarks = placemarks;
    for (char& c : crPlacemarks)
        c = c == '\n' ? '\r' : c;
    std::string prefixed = point;
    for (const char* tag : {"Placemark>", "TimeStamp>", "when>", "Point>", "coordinates>"})
        for (std::size_t at = 0; (at = prefixed.find(tag, at)) != std::string::npos; at += 5)
            prefixed.insert(at, "kml:");
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
         Kml("<Folder>" + placemarks + "<!-- " + point + "-->\n" + placemarks + "<description><![CDATA[" + point +
             "]]></description>\n" + placemarks + "</Folder>")},
        {"folders of different depth", Cut::Maybe,
         Kml("<Folder>" + placemarks + "</Folder><Folder><Folder>" + placemarks + "</Folder></Folder>" + placemarks)},
        {"namespace declared on a folder", Cut::Never,
         Kml("<Folder>" + placemarks + "</Folder><Folder xmlns:gx=\"urn:other\">" + placemarks + track + "</Folder>")},
        {"default namespace changed on a folder", Cut::Never,
         Kml("<Folder>" + placemarks + "</Folder><Folder xmlns=\"urn:other\">" + placemarks + "</Folder>")},
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
        {"too deep in the middle", Cut::Never, Kml("<Folder>" + placemarks + Nested(300) + placemarks + "</Folder>")},
        {"GPX", Cut::Always, Gpx(trkpts), true},
        {"GPX, several tracks, skipped points", Cut::Always,
         Gpx(trkpts + Trkpt("100", "1", "<time>2008-06-21T10:00:00Z</time>") + "</trkseg><trkseg>\n" + trkpts +
             Trkpt("1", "2", "") + "</trkseg></trk><trk><trkseg>" + trkpts),
         true},
    };
    const auto describe = [](const LogReadResult& r) {
        const LogContents& c = r.Contents;
        return std::to_string(r.PointCount) + " points; skipped " + std::to_string(r.Skipped.Count) + ", first at " +
               std::to_string(r.Skipped.FirstLine) + ": " + r.Skipped.FirstReason + "; holds " +
               std::to_string(c.UntimedPlacemarks) + " " + std::to_string(c.LineStrings) + " " +
               std::to_string(c.LineStringPoints) + " " + std::to_string(c.Tracks) + " " +
               std::to_string(c.TrackPoints) + " " + std::to_string(c.RoutePoints) + " " + std::to_string(c.Waypoints);
    };
    // Reads the log; the lines to `lines`, the rest described in `result`; the parts read.
    const auto read = [&](const Case& c, const std::string& log, const LogReadOptions& options, std::string& lines,
                          std::string& result) {
        const auto size = std::int64_t(fs::file_size(log));
        std::int64_t lastRead = -1;
        const LogProgress progress = [&](std::int64_t read, std::int64_t total) {
            EXPECT_TRUE(total == size && read <= size) << c.what << ": " << read << " of " << total;
            lastRead = read;
        };
        try {
            const LogReadResult r = c.gpx ? ReadGpxTrackLines(log, lines, progress, options)
                                          : ReadKmlTrackLines(log, lines, progress, options);
            EXPECT_EQ(lastRead, size) << c.what << ": the progress does not reach the end";
            result = describe(r);
            return r.Parts;
        } catch (const Error& e) {
            result = e.what();
            return 0;
        }
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log, c.gpx ? "log.gpx" : "log.kml");
        std::string onePass, onePassResult;
        read(c, log, LogReadOptions{1, 1}, onePass, onePassResult);
        for (int threads : {2, 3, 7}) {
            for (std::int64_t minPart : {std::int64_t{1}, std::int64_t{100}, std::int64_t{3000}}) {
                std::string inParts, inPartsResult;
                const int parts = read(c, log, LogReadOptions{threads, minPart}, inParts, inPartsResult);
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
        EXPECT_EQ(AfterHeader(TrackFilePath(log)), ReadBytes(expected)) << "Log:\n" << ReadBytes(log);
    }
}

} // namespace
} // namespace tideplot
