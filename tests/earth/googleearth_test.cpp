#include "earth/googleearth.h"
#include "earth/kmldocument.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TrackPoint At(double lat, double lon)
{
    return TrackPoint{lat, lon, 0};
}

// The document of one segment, letter for letter: the new position first, numbers as short
// as they read back, the colour of the boat's number, the name escaped; it reads as KML.
TEST(TrackSegmentDocument, IsTheProgramsDocumentLetterForLetter)
{
    EXPECT_EQ(
        TrackSegmentDocument("Boat", At(57.5, 11.75), At(57.51, 11.76), 0, 1),
        "<Document><name>Boat</name><open>1</open><Style id=\"Style\"><LineStyle><width>1</width><color>ff0000ff"
        "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>11.76,57.51,0,"
        "11.75,57.5,0</coordinates></LineString></Placemark></Document>");
    const struct {
        std::string name;
        TrackPoint from, to;
        int colour, width;
        std::string part;
    } cases[] = {
        {"B", At(57, 12), At(57.5, -0.25), 0, 1, "<coordinates>-0.25,57.5,0,12.,57.,0</coordinates>"},
        {"B", At(1.123456789012345, 2), At(3, 4), 0, 1, "4.,3.,0,2.,1.12345678901,0"},
        {"B", At(1, 1), At(2, 2), 0, 5, "<width>5</width>"},
        {"B", At(1, 1), At(2, 2), 1023, 1, "<color>ffff0000</color>"},
        {"B", At(1, 1), At(2, 2), 10, 1, "<color>ff000Aff</color>"},
        {"B", At(1, 1), At(2, 2), 5000, 1, "<color>ffffffff</color>"},
        {"Sun & Sea <2>", At(1, 1), At(2, 2), 0, 1, "<Document><name>Sun &amp; Sea &lt;2&gt;</name><open>"},
    };
    for (const auto& c : cases) {
        const std::string doc =
            TrackSegmentDocument(c.name, c.from, c.to, c.colour, static_cast<std::int16_t>(c.width));
        EXPECT_NE(doc.find(c.part), std::string::npos) << doc;
        const auto lines = ParseKmlLines(doc);
        ASSERT_EQ(lines.size(), 1u) << doc;
        EXPECT_EQ(lines[0].Name.toStdString(), c.name);
        EXPECT_EQ(lines[0].Width, c.width);
    }
}

} // namespace
} // namespace tideplot
