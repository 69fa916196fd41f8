#include "core/error.h"
#include "earth/earthfactory.h"
#include "earth/kmlfile.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TEST(EarthFactory, ReadsTheChoiceOfView)
{
    EXPECT_EQ(ParseEarthChoice("").kind, EarthChoice::Kind::Automatic);
    EXPECT_EQ(ParseEarthChoice("chart").kind, EarthChoice::Kind::Chart);
    EXPECT_EQ(ParseEarthChoice("googleearth").kind, EarthChoice::Kind::GoogleEarth);
    const EarthChoice kml = ParseEarthChoice("kml:/tmp/race day.kml");
    EXPECT_EQ(kml.kind, EarthChoice::Kind::KmlFile);
    EXPECT_EQ(kml.kmlPath, "/tmp/race day.kml");
    for (const char* bad : {"kml:", "Chart", "google", "kml"})
        EXPECT_THROW(ParseEarthChoice(bad), Error) << bad;
    // Without Google Earth Pro the automatic choice is the chart view.
    if (!GoogleEarthProInstalled()) {
        EXPECT_EQ(ResolvedKind(EarthChoice{}), EarthChoice::Kind::Chart);
    }
    EXPECT_EQ(ResolvedKind(ParseEarthChoice("chart")), EarthChoice::Kind::Chart);
}

TEST(EarthFactory, CreatesTheKmlFileBackend)
{
    const auto app = CreateApplicationGE(ParseEarthChoice("kml:out.kml"), EarthOptions{"Race", false});
    const auto* file = dynamic_cast<KmlFileApplication*>(app.get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->path(), "out.kml");
}

} // namespace
} // namespace tideplot
