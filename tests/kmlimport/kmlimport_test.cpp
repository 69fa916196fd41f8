#include "core/error.h"
#include "core/kmlimport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tideplot {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKmlStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                                  "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n<Document>\n";
constexpr const char* kKmlEnd = "</Document>\n</kml>\n";

std::string Kml(const std::string& body)
{
    return kKmlStart + body + kKmlEnd;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A placemark the way gpsbabel writes a track point (-o kml,points=1,lines=0).
std::string GpsbabelPlacemark(int i)
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

std::string GpsbabelLog(int points)
{
    std::string body = "<Folder>\n<name>Tracks</name>\n<Folder>\n<name>Race</name>\n<Folder>\n<name>Points</name>\n";
    for (int i = 0; i < points; ++i)
        body += GpsbabelPlacemark(i);
    body += "</Folder>\n</Folder>\n</Folder>\n";
    return Kml(body);
}

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

class KmlImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("tideplot_kml_" + std::to_string(::getpid()) + "_" +
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
    std::string Import(const std::string& bytes)
    {
        const std::string log = WriteLog(bytes);
        fs::remove(KmlTrackFilePath(log));
        ImportKmlLog(log);
        return ReadBytes(KmlTrackFilePath(log));
    }

    // The message of the Error that importing `bytes` throws ("" when it throws none).
    std::string ImportError(const std::string& bytes)
    {
        try {
            Import(bytes);
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }

    fs::path dir_;
};

TEST_F(KmlImportTest, OneLineLayoutGivesTheLinesOfTheFieldScan)
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

TEST_F(KmlImportTest, PlacemarksInAnyLayout)
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

TEST_F(KmlImportTest, GxTracks)
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

TEST_F(KmlImportTest, ErrorsNameTheLogTheLineAndTheFault)
{
    const auto placemark = [](const std::string& when, const std::string& coordinates) {
        return Kml("<Placemark>\n<TimeStamp>\n<when>" + when + "</when>\n</TimeStamp>\n<Point>\n<coordinates>" +
                   coordinates + "</coordinates>\n</Point>\n</Placemark>\n");
    };
    struct Case {
        std::string log;
        long line;
        const char* fault;
    };
    const Case cases[] = {
        {placemark("2008-06-21 14:30:05", "1,2"), 6, "\"2008-06-21 14:30:05\" is not a date and time"},
        {placemark("2008-06-21", "1,2"), 6, "\"2008-06-21\" is not a date and time"},
        {placemark("2008-6-21T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T1a:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-13-21T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-02-30T14:30:05Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T24:00:00Z", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T14:30:05Zulu", "1,2"), 6, "is not a date and time"},
        {placemark("2008-06-21T14:30:05.Z", "1,2"), 6, "is not a date and time"},
        {placemark("", "1,2"), 6, "the time \"\" is not a date and time"},
        {placemark("2008-06-21T14:30:05Z", "1"), 9, "the coordinates \"1\" are not one tuple"},
        {placemark("2008-06-21T14:30:05Z", "1,2,3 4,5,6"), 9, "are not one tuple"},
        {placemark("2008-06-21T14:30:05Z", ""), 9, "the coordinates \"\" are not one tuple"},
        {placemark("2008-06-21T14:30:05Z", "east,2"), 9, "the longitude \"east\" is not a number"},
        {placemark("2008-06-21T14:30:05Z", "1,95"), 9, "the latitude \"95\" is not a number from -90 to 90"},
        {placemark("2008-06-21T14:30:05Z", "181,2"), 9, "the longitude \"181\""},
        {placemark("2008-06-21T14:30:05Z", "1,2e"), 9, "the latitude \"2e\""},
        {placemark("2008-06-21T14:30:05Z<b/>", "1,2"), 6, "not well-formed XML"},
        {Kml("<Placemark>\n<gx:Track>\n<when>2010-05-28T02:02:09Z</when>\n</gx:Track></Placemark>"), 5,
         "the gx:Track has 1 when and 0 gx:coord elements"},
        {Kml("<Placemark><gx:Track>\n\n<when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3 4</gx:coord>"
             "</gx:Track></Placemark>"),
         6, "the gx:coord \"1 2 3 4\" is not"},
        {Kml("<Placemark id=\"a\" id=\"b\"/>"), 4, "not well-formed XML"},
        {Kml("<Placemark>\n</Placemark>\n</Folder>"), 6, "not well-formed XML"},
        {Kml("<gx:Track/>\n<x:y/>"), 5, "not well-formed XML"},
        {Kml("<name>a & b</name>"), 4, "not well-formed XML"},
        {std::string(kKmlStart) + "<Placemark>\n", 5, "not well-formed XML"},
        {"just text", 1, "not well-formed XML"},
        {"<kml>\r<Placemark>\r<TimeStamp><when>bad</when></TimeStamp><Point><coordinates>1,2</coordinates></Point>"
         "</Placemark>\r</kml>",
         3, "the time \"bad\""},
        {"<kml>\r\n\r\n<x>\r\r</kml>", 5, "not well-formed XML"},
        {Kml("") + "<kml/>", 6, "not well-formed XML"},
    };
    for (const Case& c : cases) {
        const std::string message = ImportError(c.log);
        const std::string place = Path("log.kml") + ", line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(message.rfind(place, 0), 0u) << "Message: " << message << "\nLog:\n" << c.log;
        EXPECT_NE(message.find(c.fault), std::string::npos) << "Message: " << message << "\nLog:\n" << c.log;
        EXPECT_FALSE(fs::exists(KmlTrackFilePath(Path("log.kml")))) << "Log:\n" << c.log;
    }
}

TEST_F(KmlImportTest, UnreadableLogs)
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
            ImportKmlLog(c.path);
            ADD_FAILURE() << c.path;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(KmlTrackFilePath(c.path))) << c.path;
    }
}

TEST_F(KmlImportTest, LogWithoutPointsStillLeavesTheTrackFile)
{
    const std::string log = WriteLog(Kml("<Placemark><name>mark</name><Point><coordinates>1,2</coordinates>"
                                         "</Point></Placemark>"));
    const KmlImportResult result = ImportKmlLog(log);
    EXPECT_EQ(result.PointCount, 0);
    EXPECT_EQ(result.TrackFile, log + ".txt");
    ASSERT_TRUE(fs::exists(result.TrackFile));
    EXPECT_EQ(fs::file_size(result.TrackFile), 0u);

    std::ofstream(result.TrackFile, std::ios::binary) << "1,2,20080621,100000\r\n";
    EXPECT_EQ(ImportKmlLog(log).PointCount, 0);
    EXPECT_EQ(ReadBytes(result.TrackFile), "1,2,20080621,100000\r\n");
}

TEST_F(KmlImportTest, SecondImportAppendsAgain)
{
    const std::string log = WriteLog(GpsbabelLog(3));
    EXPECT_EQ(ImportKmlLog(log).PointCount, 3);
    const std::string once = ReadBytes(KmlTrackFilePath(log));
    EXPECT_EQ(once, "57.710000,11.910000,20080621,000000\r\n57.710001,11.910001,20080621,000001\r\n"
                    "57.710002,11.910002,20080621,000002\r\n");
    EXPECT_EQ(ImportKmlLog(log).PointCount, 3);
    EXPECT_EQ(ReadBytes(KmlTrackFilePath(log)), once + once);
}

TEST_F(KmlImportTest, MalformedEndOfBigLogLeavesTheTrackFileUnchanged)
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
        {"bad time in the last placemark",
         big.substr(0, big.rfind("<when>") + 6) + "x" + big.substr(big.rfind("<when>") + 6), "is not a date and time"},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        const std::string lines = KmlTrackFilePath(log);
        std::ofstream(lines, std::ios::binary) << before;
        try {
            ImportKmlLog(log);
            ADD_FAILURE() << c.what;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.fault), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_EQ(ReadBytes(lines), before) << c.what;
    }
    const std::string log = WriteLog(big);
    EXPECT_EQ(ImportKmlLog(log).PointCount, 20000);
    const std::string lines = ReadBytes(KmlTrackFilePath(log));
    EXPECT_EQ(lines.rfind(before, 0), 0u);
    const std::string last = "57.715999,11.911999,20080621,053319\r\n";
    EXPECT_EQ(lines.substr(lines.size() - last.size()), last);
}

// The log read in parts on several threads gives exactly what one pass gives, also for logs
// whose cuts fall where the text cannot be cut.
TEST_F(KmlImportTest, PartsGiveWhatOnePassGives)
{
    std::string placemarks;
    for (int i = 0; i < 40; ++i)
        placemarks += GpsbabelPlacemark(i);
    const std::string commented = "<!-- " + GpsbabelPlacemark(1000) + "-->\n";
    const std::string cdata = "<description><![CDATA[" + GpsbabelPlacemark(2000) + "]]></description>\n";
    const std::string track = "<Placemark><gx:Track><when>2010-05-28T02:02:09Z</when><gx:coord>1 2 3</gx:coord>"
                              "</gx:Track></Placemark>\n";
    enum class Cut { Always, Never, Maybe }; // whether the log is read in parts
    struct Case {
        const char* what;
        Cut cut;
        std::string log;
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
        {"bad time in the middle", Cut::Never,
         Kml("<Folder>" + placemarks +
             "<Placemark><TimeStamp><when>2008</when></TimeStamp><Point>"
             "<coordinates>1,2</coordinates></Point></Placemark>" +
             placemarks + "</Folder>")},
    };
    for (const Case& c : cases) {
        const std::string log = WriteLog(c.log);
        std::string onePass, inParts;
        std::string onePassError, inPartsError;
        try {
            ReadKmlTrackLines(log, onePass, {}, KmlReadOptions{1, 1});
        } catch (const Error& e) {
            onePassError = e.what();
        }
        for (int threads : {2, 3, 7}) {
            for (std::int64_t minPart : {std::int64_t{1}, std::int64_t{100}, std::int64_t{3000}}) {
                inParts.clear();
                inPartsError.clear();
                int parts = 0;
                try {
                    parts = ReadKmlTrackLines(log, inParts, {}, KmlReadOptions{threads, minPart}).Parts;
                } catch (const Error& e) {
                    inPartsError = e.what();
                }
                if (c.cut == Cut::Always) {
                    EXPECT_GT(parts, 1) << c.what << ", " << threads << " threads, parts of " << minPart;
                } else if (c.cut == Cut::Never) {
                    EXPECT_LE(parts, 1) << c.what << ", " << threads << " threads, parts of " << minPart;
                }
                EXPECT_EQ(inParts, onePass) << c.what << ", " << threads << " threads, parts of " << minPart;
                EXPECT_EQ(inPartsError, onePassError) << c.what << ", " << threads << " threads";
            }
        }
    }
}

TEST_F(KmlImportTest, ProgressReachesTheEnd)
{
    const std::string log = WriteLog(GpsbabelLog(3000));
    const auto size = std::int64_t(fs::file_size(log));
    for (int threads : {1, 2}) {
        std::vector<std::pair<std::int64_t, std::int64_t>> calls;
        std::string lines;
        ReadKmlTrackLines(
            log, lines, [&](std::int64_t read, std::int64_t total) { calls.emplace_back(read, total); },
            KmlReadOptions{threads, 1 << 16});
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), std::make_pair(size, size));
        for (const auto& [read, total] : calls) {
            EXPECT_EQ(total, size);
            EXPECT_LE(read, size);
        }
    }
}

TEST_F(KmlImportTest, FailingAppendCutsTheFileBack)
{
    const std::string path = Path("track.txt");
    const std::string before = "1,2,20080101,000000\r\n";
    std::ofstream(path, std::ios::binary) << before;
    // A child limited to files of 4 KiB writes part of 64 KiB, then fails.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            AppendAllOrNothing(path, std::string(65536, 'x'));
        } catch (const Error& e) {
            const std::string message = e.what();
            ::_exit(message.find(path) != std::string::npos && message.find("unchanged") != std::string::npos ? 0 : 3);
        }
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(path), before);

    AppendAllOrNothing(path, "3,4,20080101,000001\r\n");
    EXPECT_EQ(ReadBytes(path), before + "3,4,20080101,000001\r\n");
    EXPECT_THROW(AppendAllOrNothing(Path("no/such/folder/track.txt"), "x"), Error);
}

// gpsbabel writes a GPX track as a KML log; our import of that log must give the lines
// gpsbabel itself writes from the log in the track format.
TEST_F(KmlImportTest, LogsWrittenByGpsbabel)
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
        fs::remove(KmlTrackFilePath(log));
        EXPECT_EQ(ImportKmlLog(log).PointCount, 5);
        EXPECT_EQ(ReadBytes(KmlTrackFilePath(log)), ReadBytes(expected))
            << (elevations ? "with" : "without") << " elevations\nLog:\n"
            << ReadBytes(log);
        fs::remove(KmlTrackFilePath(log));
    }
}

// The command, run as a user runs it.
TEST_F(KmlImportTest, ImportKmlCommand)
{
    const QString program = TIDEPLOT_BINARY_DIR "/src/app/tideplot";
    ASSERT_TRUE(fs::exists(program.toStdString())) << "build the tideplot program first";
    struct Run {
        int status = -1;
        std::string out, err;
    };
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.start(program, QStringList{"import-kml"} + args);
        p.waitForFinished(60000);
        return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                   p.readAllStandardError().toStdString()};
    };
    const auto count = [](const std::string& text, char c) { return std::count(text.begin(), text.end(), c); };

    const std::string good = WriteLog(GpsbabelLog(2), "good.kml");
    const std::string none = WriteLog(Kml(""), "none.kml");
    const std::string bad = WriteLog(Kml("<Placemark>"), "bad.kml");
    const std::string missing = Path("missing.kml");

    Run r = run({QString::fromStdString(good)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, good + ": 2 points appended to " + good + ".txt\n");
    EXPECT_EQ(r.err, "");

    r = run({QString::fromStdString(bad), QString::fromStdString(good), QString::fromStdString(missing),
             QString::fromStdString(none)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, good + ": 2 points appended to " + good + ".txt\n" + none +
                         ": no point found; nothing appended to " + none + ".txt\n");
    EXPECT_EQ(count(r.err, '\n'), 2) << r.err;
    EXPECT_NE(r.err.find("tideplot import-kml: " + bad + ", line 4: the log is not well-formed XML"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("cannot open \"" + missing + "\""), std::string::npos) << r.err;
    EXPECT_EQ(count(ReadBytes(good + ".txt"), '\n'), 4);
    EXPECT_TRUE(fs::exists(none + ".txt"));
    EXPECT_FALSE(fs::exists(bad + ".txt"));

    r = run({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Usage: tideplot import-kml"), std::string::npos) << r.err;
    r = run({"--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos) << r.err;
    r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tideplot import-kml LOG.kml", 0), 0u) << r.out;
}

} // namespace
} // namespace tideplot
