#include "earth/earthchoice.h"

#include "core/error.h"

namespace tideplot {

EarthChoice ParseEarthChoice(const QString& text)
{
    EarthChoice choice;
    if (text.isEmpty())
        return choice;
    if (text == u"chart") {
        choice.kind = EarthChoice::Kind::Chart;
    } else if (text == u"googleearth") {
        choice.kind = EarthChoice::Kind::GoogleEarth;
    } else if (text.startsWith(u"kml:") && text.size() > 4) {
        choice.kind = EarthChoice::Kind::KmlFile;
        choice.kmlPath = text.mid(4);
    } else {
        throw Error("\"" + text.toStdString() + "\" is no view: use chart, googleearth or kml:FILE");
    }
    return choice;
}

} // namespace tideplot
