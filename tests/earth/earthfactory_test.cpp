#include "core/error.h"
#include "earth/earthfactory.h"
#include "earth/kmlfile.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TEST(EarthFactory, ReadsTheChoiceOfViewAndCreatesTheKmlFileBackend)
{
    using Kind = EarthChoice::Kind;
    EXPECT_EQ(ParseEarthChoice("").kind, Kind::Automatic);
    EXPECT_EQ(ParseEarthChoice("chart").kind, Kind::Chart);
    EXPECT_EQ(ParseEarthChoice("googleearth").kind, Kind::GoogleEarth);
    for (const char* bad : {"kml:", "Chart", "google", "kml"})
        EXPECT_THROW(ParseEarthChoice(bad), Error) << bad;
    // Without Google Earth Pro the automatic choice is the chart view.
    if (!GoogleEarthProInstalled()) {
        EXPECT_EQ(ResolvedKind(EarthChoice{}), Kind::Chart);
    }
    const auto app = CreateApplicationGE(ParseEarthChoice("kml:a b.kml"), EarthOptions{"Race", false});
    const auto* file = dynamic_cast<KmlFileApplication*>(app.get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->path(), "a b.kml");
}

} // namespace
} // namespace tideplot
