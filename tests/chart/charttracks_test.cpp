#include "chart_test_support.h"

#include "core/error.h"
#include "earth/chart/charttracks.h"
#include "earth/chart/chartview.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

// Adds a boat sailing east in `count` segments of 0.001 degrees of longitude.
void SailEast(ChartTracks& tracks, const std::string& name, const std::string& colour, int count, double lon = 11,
              int width = 1)
{
    auto at = [lon](int i) { return lon + i * 0.001; };
    for (int i = 0; i < count; ++i)
        tracks.add(ParseKmlLines(SegmentDocument(name, colour, width, at(i + 1), 57.5, at(i), 57.5)));
}

TEST(ChartTracks, SegmentsOfOneBoatJoinIntoRunsOldestFirst)
{
    ChartTracks tracks;
    SailEast(tracks, "Elsa", "ff0000ff", 300);
    EXPECT_EQ(tracks.segmentCount(), 300u);
    ASSERT_EQ(tracks.runs().size(), 2u); // 301 points, at most 256 a run, sharing one point
    const ChartRun& first = tracks.runs()[0];
    const ChartRun& second = tracks.runs()[1];
    EXPECT_EQ(first.Points.size(), ChartRun::kMaxPoints);
    EXPECT_EQ(second.Points.size(), 301 - ChartRun::kMaxPoints + 1);
    EXPECT_EQ(second.Points.front(), first.Points.back());
    EXPECT_LT(first.Points.front().x(), first.Points.back().x());
    EXPECT_DOUBLE_EQ(first.Bounds.left(), ProjectLatLon(57.5, 11).x());
    EXPECT_DOUBLE_EQ(first.Bounds.height(), 0);
    EXPECT_EQ(first.Colour, 0xff0000ffu);
}

TEST(ChartTracks, ANewStyleOrAGapStartsANewRun)
{
    struct Case {
        const char* what;
        std::string colour;
        int width;
        double fromLon;
        std::size_t runs;
    };
    const Case cases[] = {
        {"continues", "ff0000ff", 1, 11 + 10 * 0.001, 1},
        {"wider", "ff0000ff", 5, 11 + 10 * 0.001, 2},
        {"other colour", "ff00ff00", 1, 11 + 10 * 0.001, 2},
        {"jumps", "ff0000ff", 1, 11.5, 2},
    };
    for (const auto& c : cases) {
        ChartTracks tracks;
        SailEast(tracks, "Elsa", "ff0000ff", 10);
        tracks.add(ParseKmlLines(SegmentDocument("Elsa", c.colour, c.width, c.fromLon + 0.001, 57.5, c.fromLon, 57.5)));
        EXPECT_EQ(tracks.runs().size(), c.runs) << c.what;
        EXPECT_EQ(tracks.segmentCount(), 11u) << c.what;
    }
}

TEST(ChartTracks, EachNameIsATrackWhoseNewestPointIsTheFirstOfItsLastLine)
{
    ChartTracks tracks;
    SailEast(tracks, "Elsa", "ff0000ff", 5);
    SailEast(tracks, "Brita &amp; Co", "ff00ff00", 3, 12);
    std::vector<ChartSegment> added;
    tracks.add(ParseKmlLines(SegmentDocument("Elsa", "ff0000ff", 5, 11.006, 57.5, 11 + 5 * 0.001, 57.5)), &added);
    ASSERT_EQ(tracks.tracks().size(), 2u);
    EXPECT_EQ(tracks.tracks()[0].Name, "Elsa");
    EXPECT_EQ(tracks.tracks()[0].Newest, ProjectLatLon(57.5, 11.006));
    EXPECT_EQ(tracks.tracks()[1].Name, "Brita & Co");
    EXPECT_EQ(tracks.tracks()[1].Colour, 0xff00ff00u);
    EXPECT_EQ(tracks.tracks()[1].Newest, ProjectLatLon(57.5, 12 + 3 * 0.001));
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].From, ProjectLatLon(57.5, 11 + 5 * 0.001));
    EXPECT_EQ(added[0].To, ProjectLatLon(57.5, 11.006));
    EXPECT_EQ(added[0].Width, 5);
    EXPECT_EQ(tracks.maxWidth(), 5);
}

TEST(ChartTracks, PointsOffTheGlobeAreRefusedAndNothingIsAdded)
{
    struct Case {
        double lon, lat;
    };
    const Case cases[] = {{11, 90.5}, {11, -91}, {180.5, 57}, {-181, 57}};
    for (const auto& c : cases) {
        ChartTracks tracks;
        const std::string document = "<Document><Placemark><name>Elsa</name><LineString><coordinates>11,57 12,58"
                                     "</coordinates></LineString></Placemark><Placemark><name>Bad</name><LineString>"
                                     "<coordinates>11,57 " +
                                     KmlNumberText(c.lon).toStdString() + "," + KmlNumberText(c.lat).toStdString() +
                                     "</coordinates></LineString></Placemark></Document>";
        try {
            tracks.add(ParseKmlLines(document));
            ADD_FAILURE() << "accepted " << c.lon << "," << c.lat;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("off the globe"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("\"Bad\""), std::string::npos) << e.what();
        }
        EXPECT_TRUE(tracks.tracks().empty()) << c.lon << "," << c.lat;
        EXPECT_EQ(tracks.segmentCount(), 0u);
    }
    ChartTracks edge;
    edge.add(ParseKmlLines(SegmentDocument("Edge", "ffffffff", 1, 180, 90, -180, -90)));
    EXPECT_EQ(edge.segmentCount(), 1u);
}

} // namespace
} // namespace tideplot
