#include "core/error.h"
#include "earth/earthfactory.h"
#include "earth/kmlfile.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TEST(EarthFactory, ReadsTheChoiceOfViewAndCreatesTheKmlFileBackend)
{
    using Kind = EarthChoice::Kind;
    const std::pair<const char*, Kind> good[] = {{"", Kind::Automatic},
                                                 {"chart", Kind::Chart},
                                                 {"googleearth", Kind::GoogleEarth},
                                                 {"kml:a b.kml", Kind::KmlFile}};
    for (const auto& [text, kind] : good)
        EXPECT_EQ(ParseEarthChoice(text).kind, kind) << text;
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
