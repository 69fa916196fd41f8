#include "core/error.h"
#include "earth/kmldocument.h"
#include "earth/kmltracks.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace tideplot {
namespace {

const char* kSegment =
    "<Document><name>Boat</name><open>1</open><Style id=\"Style\"><LineStyle><width>1</width><color>ff0000ff</color>"
    "</LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>11.76,57.51,0,11.75,57.5,0"
    "</coordinates></LineString></Placemark></Document>";

TEST(ParseKmlLines, ReadsTheProgramsSegmentDocument)
{
    const auto lines = ParseKmlLines(std::string(kSegment));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Name, "Boat");
    EXPECT_EQ(lines[0].Colour, 0xff0000ffu);
    EXPECT_EQ(lines[0].Width, 1);
    ASSERT_EQ(lines[0].Points.size(), 2u);
    EXPECT_EQ(lines[0].Points[0], (KmlCoordinate{11.76, 57.51, 0}));
    EXPECT_EQ(lines[0].Points[1], (KmlCoordinate{11.75, 57.5, 0}));
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

TEST(ParseKmlLines, RefusesUnreadableDocumentsWithTheReason)
{
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "line"},
        {"<Document><name>Boat</name>", "line"},
        {"<Document><name>A & B</name></Document>", "line"},
        {"<Placemark><LineString><coordinates>11.7,abc,0 1,2</coordinates></LineString></Placemark>", "\"abc\""},
        {"<Placemark><LineString><coordinates>1,2,3,4,5</coordinates></LineString></Placemark>", "5 numbers"},
        {"<Placemark><LineString><coordinates>1 2</coordinates></LineString></Placemark>", "\"1\""},
        {"<Placemark><Style><LineStyle><color>red</color></LineStyle></Style></Placemark>", "\"red\""},
        {"<Placemark><Style><LineStyle><width>x</width></LineStyle></Style></Placemark>", "\"x\""},
    };
    for (const auto& c : cases) {
        try {
            ParseKmlLines(std::string(c.text));
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(KmlTrackCollection, WritesStandardKmlWithUniqueStylesPerTrack)
{
    KmlTrackCollection tracks;
    auto segment = [](const char* name, double lon0, double lon1, KmlColour colour, double width) {
        return KmlLineString{name, colour, width, {{lon1, 57, 0}, {lon0, 57, 0}}};
    };
    tracks.add({segment("A", 11.0, 11.1, 0xff0000ff, 1)});
    tracks.add({segment("B", 12.0, 12.1, 0xffff0000, 1)});
    tracks.add({segment("A", 11.1, 11.2, 0xff0000ff, 5)});
    tracks.add({segment("A", 11.2, 11.3, 0xff0000ff, 1)});
    tracks.add({segment("A", 11.3, 11.4, 0xff0000ff, 1)});
    tracks.setCamera(CameraInfoGE{57, 11.2, 0, 1, 3000, 30, 120});
    EXPECT_EQ(tracks.lineCount(), 5u);

    const QByteArray every = tracks.toKml("Race", KmlTrackCollection::Layout::EveryLine);
    EXPECT_TRUE(every.contains("<coordinates>11.1,57,0 11,57,0</coordinates>")) << every.constData();
    EXPECT_EQ(every.count("<Style id="), 3);
    EXPECT_EQ(every.count("<Placemark>"), 5);
    EXPECT_EQ(every.count("<Folder>"), 2);
    EXPECT_LT(every.indexOf("<color>"), every.indexOf("<width>"));
    EXPECT_LT(every.indexOf("<LookAt>"), every.indexOf("<Style"));
    EXPECT_TRUE(every.contains("<heading>120</heading>"));

    // Merged: A's four lines are three runs (the wide one breaks the run), B one.
    const QByteArray merged = tracks.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    EXPECT_EQ(merged.count("<Placemark>"), 4);
    EXPECT_TRUE(merged.contains("<coordinates>11.2,57,0 11.3,57,0 11.4,57,0</coordinates>")) << merged.constData();

    // What is written reads back as the same lines.
    const auto back = ParseKmlLines(QString::fromUtf8(every));
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[0].Name, "A");
    EXPECT_EQ(back[1].Width, 5);
    EXPECT_EQ(back[4].Name, "B");
    EXPECT_EQ(back[4].Colour, 0xffff0000u);
}

// The link writes the merged document after every step, keeping the text of finished runs:
// what it writes must be what one write at the end gives, and read back as every segment.
TEST(KmlTrackCollection, MergedRunsWrittenAsTheyGrowAreTheSameAsWrittenAtOnce)
{
    KmlTrackCollection growing;
    KmlTrackCollection atOnce;
    std::size_t segments = 0;
    std::vector<double> lon{11.0, 12.0, 13.0};
    for (int step = 0; step < 300; ++step) {
        for (int boat = 0; boat < 3; ++boat) {
            if ((step + boat) % 37 == 0) {
                lon[boat] += 0.5; // a gap: the next segment starts a new run
                continue;
            }
            const double width = step % 10 == 9 ? 5 : 1; // every tenth step wide
            const KmlLineString segment{QStringLiteral("Boat %1").arg(boat),
                                        0xff0000ffu + boat,
                                        width,
                                        {{lon[boat] + 0.001, 57.0 + boat, 0}, {lon[boat], 57.0 + boat, 0}}};
            lon[boat] += 0.001;
            growing.add({segment});
            atOnce.add({segment});
            ++segments;
        }
        if (step % 7 == 0)
            growing.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    }
    const QByteArray written = growing.toKml("Race", KmlTrackCollection::Layout::MergedRuns);
    EXPECT_EQ(written, atOnce.toKml("Race", KmlTrackCollection::Layout::MergedRuns));
    const auto lines = ParseKmlLines(QString::fromUtf8(written));
    std::size_t points = 0;
    for (const auto& line : lines)
        points += line.Points.size();
    EXPECT_EQ(points - lines.size(), segments);
    EXPECT_TRUE(written.contains("\n  <Folder>\n   <name>Boat 0</name>\n   <Placemark>\n    <styleUrl>#line-"))
        << written.left(1500).constData();
}

} // namespace
} // namespace tideplot
