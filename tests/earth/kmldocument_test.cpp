#include "core/error.h"
#include "earth/googleearth.h"
#include "earth/kmldocument.h"
#include "earth/kmlfile.h"
#include "earth/kmltracks.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>

namespace tideplot {
namespace {

// The document of one segment, letter for letter: the new position first, numbers as short
// as they read back, the colour of the boat's number, the name escaped; it reads as KML.
TEST(TrackSegmentDocument, IsTheProgramsDocumentLetterForLetter)
{
    EXPECT_EQ(
        TrackSegmentDocument("Boat", {57.5, 11.75}, {57.51, 11.76}, 0, 1),
        "<Document><name>Boat</name><open>1</open><Style id=\"Style\"><LineStyle><width>1</width><color>ff0000ff"
        "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>11.76,57.51,0,"
        "11.75,57.5,0</coordinates></LineString></Placemark></Document>");
    const struct {
        std::string name;
        TrackPoint from, to;
        int colour, width;
        std::string part;
        const char* read = nullptr; // the name as the document reads back; null: `name`
    } cases[] = {
        {"B", {57, 12}, {57.5, -0.25}, 0, 1, "<coordinates>-0.25,57.5,0,12.,57.,0</coordinates>"},
        {"B", {1.123456789012345, 2}, {3, 4}, 0, 1, "4.,3.,0,2.,1.12345678901,0"},
        {"B", {1, 1}, {2, 2}, 10, 5, "<width>5</width><color>ff000Aff</color>"},
        {"Sun & Sea <2>", {1, 1}, {2, 2}, 0, 1, "<Document><name>Sun &amp; Sea &lt;2&gt;</name><open>"},
        // Characters XML cannot hold (a file name may): "?" in their place, the rest as it is.
        {"A\x01"
         "B\x1b[1m\tC\x7f",
         {1, 1},
         {2, 2},
         0,
         1,
         "<name>A?B?[1m\tC\x7f</name>",
         "A?B?[1m\tC\x7f"},
        {"x\xEF\xBF\xBEy\xEF\xBF\xBD", {1, 1}, {2, 2}, 0, 1, "<name>x?y\xEF\xBF\xBD</name>", "x?y\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        const std::string doc =
            TrackSegmentDocument(c.name, c.from, c.to, c.colour, static_cast<std::int16_t>(c.width));
        EXPECT_NE(doc.find(c.part), std::string::npos) << doc;
        const auto lines = ParseKmlLines(doc);
        ASSERT_EQ(lines.size(), 1u) << doc;
        EXPECT_EQ(lines[0].Name.toStdString(), c.read ? c.read : c.name);
        EXPECT_EQ(lines[0].Width, c.width);
    }
}

TEST(ParseKmlLines, StandardFormsStylesAndNesting)
{
    const char* kml = R"(<?xml version="1.0"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document><name>Race</name>
  <Folder><name>Elsa &amp; Co</name>
    <Placemark id="p1"><styleUrl>#wide</styleUrl><LineString><coordinates>
      11.76,57.51,0 11.75,57.5,0
      11.74,57.49
    </coordinates></LineString></Placemark>
    <Placemark><name>own</name><Style><LineStyle><color>80FF0000</color></LineStyle></Style>
      <MultiGeometry><LineString><coordinates>1,2 3,4</coordinates></LineString><Point><coordinates>0,0</coordinates></Point></MultiGeometry>
    </Placemark>
    <Placemark><LineString><coordinates>12.,57.,0,13.,58.,0</coordinates></LineString></Placemark>
  </Folder>
  <Style id="wide"><LineStyle><color>ff00ff00</color><width>5</width></LineStyle></Style>
</Document></kml>)";
    const auto lines = ParseKmlLines(QString::fromUtf8(kml));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].Name, "Elsa & Co");
    EXPECT_EQ(lines[0].Colour, 0xff00ff00u);
    EXPECT_EQ(lines[0].Width, 5);
    EXPECT_EQ(lines[0].Points.size(), 3u);
    EXPECT_EQ(lines[0].Points[2], (KmlCoordinate{11.74, 57.49, 0}));
    EXPECT_EQ(lines[1].Name, "own");
    EXPECT_EQ(lines[1].Colour, 0x80ff0000u);
    EXPECT_EQ(lines[1].Width, 1);
    EXPECT_EQ(lines[1].Points.size(), 2u);
    EXPECT_EQ(lines[2].Colour, 0xffffffffu);
    EXPECT_EQ(lines[2].Points[1], (KmlCoordinate{13, 58, 0}));
}

// The link writes the merged document after every step, keeping the text of finished runs:
// what it writes must be what one write at the end gives. Both layouts are standard KML
// (one style per colour and width, "color" before "width", the camera as a LookAt) that
// reads back as every segment.
TEST(KmlTrackCollection, MergedRunsWrittenAsTheyGrowAreTheSameAsWrittenAtOnceAndHoldEverySegment)
{
    KmlTrackCollection growing;
    KmlTrackCollection atOnce;
    std::size_t segments = 0;
    for (int step = 0; step < 300; ++step) {
        for (int boat = 0; boat < 3; ++boat) {
            if ((step + boat) % 37 == 0)
                continue; // a gap: the next segment starts a new run
            const double lon = 11.0 + boat + 0.001 * step;
            const KmlLineString segment{QStringLiteral("Boat %1").arg(boat),
                                        0xff0000ffu + boat,
                                        step % 10 == 9 ? 5.0 : 1.0, // every tenth step wide
                                        {{lon + 0.001, 57.0 + boat, 0}, {lon, 57.0 + boat, 0}}};
            growing.add({segment});
            atOnce.add({segment});
            ++segments;
        }
        if (step % 7 == 0)
            growing.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    }
    growing.setCamera(CameraInfoGE{57, 11.2, 0, 1, 3000, 30, 120});
    atOnce.setCamera(CameraInfoGE{57, 11.2, 0, 1, 3000, 30, 120});
    const QByteArray merged = growing.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    EXPECT_EQ(merged, atOnce.toKml("Race", KmlTrackCollection::Layout::MergedRuns));
    for (const QByteArray& kml : {merged, atOnce.toKml("Race", KmlTrackCollection::Layout::EveryLine)}) {
        std::size_t points = 0;
        const auto lines = ParseKmlLines(QString::fromUtf8(kml));
        for (const auto& line : lines)
            points += line.Points.size();
        EXPECT_EQ(points - lines.size(), segments);
        EXPECT_EQ(kml.count("<Style id="), 6) << "three colours, two widths";
        EXPECT_LT(kml.indexOf("<color>"), kml.indexOf("<width>"));
        EXPECT_TRUE(kml.contains("<heading>120</heading>"));
    }
}

// The course goes into the documents before the tracks, in the program's colours: the lines
// chequered, a mark in its side's colour with what the side is, a gate's two buoys and dashed
// line in one placemark. A finish line alone changes no byte, and forgetting the tracks keeps
// the course.
TEST(KmlTrackCollection, TheCourseGoesBeforeTheTracksAndAFinishLineAloneChangesNothing)
{
    KmlTrackCollection tracks;
    tracks.add(ParseKmlLines(TrackSegmentDocument("Elsa", {57.5, 11.75}, {57.51, 11.76}, 0, 1)));
    const QByteArray plain = tracks.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    Course course;
    course.Finish = FinishLine{57.6, 11.5, 57.6, 11.52};
    tracks.setCourse(course);
    EXPECT_EQ(tracks.toKml("Race", KmlTrackCollection::Layout::MergedRuns), plain);

    course.Start = FinishLine{57.6, 11.52, 57.6, 11.5};
    course.Marks = {{"W", false, MarkSide::Port, 57.62, 11.51},
                    {"S", false, MarkSide::Starboard, 57.61, 11.49},
                    {"G", true, MarkSide::Port, 57.59, 11.5, 57.59, 11.502}};
    KmlFileApplication file("race.kml", "Race");
    file.SetCourse(course);
    file.LoadKmlData(TrackSegmentDocument("Elsa", {57.5, 11.75}, {57.51, 11.76}, 0, 1));
    file.ClearKmlData();
    file.LoadKmlData(TrackSegmentDocument("Elsa", {57.5, 11.75}, {57.51, 11.76}, 0, 1));
    const QString kml = QString::fromUtf8(file.document()).replace(QRegularExpression(">\\s+<"), "><");
    const char* const parts[] = {
        "<Folder><name>Course</name>",
        "<name>Start line</name><Style><LineStyle><color>ff0078f0</color>",
        "<name>Finish line</name><Style><LineStyle><color>ff000000</color>",
        "<name>W</name><description>leave to port</description><Style><IconStyle><color>ff2a23d8</color>",
        "<name>S</name><description>leave to starboard</description><Style><IconStyle><color>ff4aa316</color>",
        "<Point><coordinates>11.51,57.62,0</coordinates>",
        "<name>G</name><description>a gate: pass between its buoys</description><Style><IconStyle>"
        "<color>ff00c4f5</color>",
    };
    for (const char* part : parts)
        EXPECT_TRUE(kml.contains(QString::fromLatin1(part))) << part << "\n" << kml.toStdString();
    EXPECT_LT(kml.indexOf("<name>Course</name>"), kml.indexOf("<name>Elsa</name>"));
    std::map<QString, std::size_t> lines;
    for (const KmlLineString& line : ParseKmlLines(kml))
        ++lines[line.Name];
    EXPECT_EQ(lines, (std::map<QString, std::size_t>{{"Start line", 9}, {"Finish line", 9}, {"G", 5}, {"Elsa", 1}}))
        << "a white line and 8 squares each; 5 dashes between the gate's buoys";
}

} // namespace
} // namespace tideplot
