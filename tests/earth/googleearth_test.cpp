#include "earth/googleearth.h"
#include "earth/kmldocument.h"
#include "earth/recorder.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TrackPoint At(double lat, double lon)
{
    return TrackPoint{lat, lon, 0};
}

TEST(TrackSegmentDocument, IsTheProgramsDocumentLetterForLetter)
{
    EXPECT_EQ(
        TrackSegmentDocument("Boat", At(57.5, 11.75), At(57.51, 11.76), 0, 1),
        "<Document><name>Boat</name><open>1</open><Style id=\"Style\"><LineStyle><width>1</width><color>ff0000ff"
        "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>11.76,57.51,0,"
        "11.75,57.5,0</coordinates></LineString></Placemark></Document>");
}

TEST(TrackSegmentDocument, NumbersWidthColourAndEscapedName)
{
    struct Case {
        std::string name;
        TrackPoint from, to;
        int colour, width;
        std::string part;
    };
    const Case cases[] = {
        {"B", At(57, 12), At(57.5, -0.25), 0, 1, "<coordinates>-0.25,57.5,0,12.,57.,0</coordinates>"},
        {"B", At(1.123456789012345, 2), At(3, 4), 0, 1, "4.,3.,0,2.,1.12345678901,0"},
        {"B", At(1, 1), At(2, 2), 0, 5, "<width>5</width>"},
        {"B", At(1, 1), At(2, 2), 1023, 1, "<color>ffff0000</color>"},
        {"B", At(1, 1), At(2, 2), 10, 1, "<color>ff000Aff</color>"},
        {"B", At(1, 1), At(2, 2), 5000, 1, "<color>ffffffff</color>"},
        {"Sun & Sea <2>", At(1, 1), At(2, 2), 0, 1, "<name>Sun &amp; Sea &lt;2&gt;</name>"},
    };
    for (const auto& c : cases) {
        const std::string doc =
            TrackSegmentDocument(c.name, c.from, c.to, c.colour, static_cast<std::int16_t>(c.width));
        EXPECT_NE(doc.find(c.part), std::string::npos) << doc;
        // Every document reads as KML, whatever the name holds.
        const auto lines = ParseKmlLines(doc);
        ASSERT_EQ(lines.size(), 1u) << doc;
        EXPECT_EQ(lines[0].Name.toStdString(), c.name);
        EXPECT_EQ(lines[0].Width, c.width);
    }
}

TEST(GoogleEarthOutput, PlotLoadsTheDocument)
{
    RecordingApplication app;
    GoogleEarthOutput output(app);
    output.PlotTrackSegment("Boat", At(57.5, 11.75), At(57.51, 11.76), 0, 1);
    ASSERT_EQ(app.calls.size(), 1u);
    EXPECT_EQ(app.calls[0].kind, RecordingApplication::Call::LoadKmlData);
    EXPECT_EQ(app.calls[0].kml, output.kmlText());
}

TEST(GoogleEarthOutput, FrameCameraCallsInOrderAndKeepsTheUsersView)
{
    RecordingApplication app;
    app.view.Azimuth = 120;
    app.view.Tilt = 30;
    GoogleEarthOutput output(app);
    output.FrameCamera(At(57, 11), At(58, 11));
    ASSERT_EQ(app.calls.size(), 3u);
    EXPECT_EQ(app.calls[0].kind, RecordingApplication::Call::GetCamera);
    EXPECT_EQ(app.calls[0].flag, 2);
    EXPECT_EQ(app.calls[1].kind, RecordingApplication::Call::GetCamera);
    EXPECT_EQ(app.calls[1].flag, 2);
    ASSERT_EQ(app.calls[2].kind, RecordingApplication::Call::SetCamera);
    const CameraInfoGE& c = app.calls[2].camera;
    EXPECT_EQ(app.calls[2].speed, 10.0);
    EXPECT_EQ(c.FocusPointLatitude, 57.5);
    EXPECT_EQ(c.FocusPointLongitude, 11);
    EXPECT_NEAR(c.Range, 180000, 1e-6); // one degree of latitude: 60 nautical miles
    EXPECT_EQ(c.Azimuth, 120);
    EXPECT_EQ(c.Tilt, 30);
}

TEST(GoogleEarthOutput, RangeHasAFloorOf1000)
{
    struct Case {
        TrackPoint a, b;
        double range;
    };
    const Case cases[] = {
        {At(57, 11), At(57, 11), 1000},
        {At(57, 11), At(57 + 0.3 / 60, 11), 1000}, // 0.3 nautical miles: 900
        {At(57, 11), At(57 + 0.5 / 60, 11), 1500},
    };
    for (const auto& c : cases) {
        RecordingApplication app;
        GoogleEarthOutput output(app);
        output.FrameCamera(c.a, c.b);
        EXPECT_NEAR(app.calls.back().camera.Range, c.range, 1e-6) << c.b.Lat;
        EXPECT_EQ(app.calls.back().camera.FocusPointLatitude, (c.a.Lat + c.b.Lat) / 2);
    }
}

} // namespace
} // namespace tideplot
