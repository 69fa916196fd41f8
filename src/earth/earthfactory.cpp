#include "earth/earthfactory.h"

#include "core/error.h"
#include "earth/chart/chartapplication.h"
#include "earth/gelink/googleearthlink.h"
#include "earth/kmlfile.h"

#include <QFileInfo>

namespace tideplot {

bool GoogleEarthProInstalled()
{
    if (!FindGoogleEarthProgram().isEmpty())
        return true;
#if defined(Q_OS_WIN)
    for (const char* path : {"C:/Program Files/Google/Google Earth Pro/client/googleearth.exe",
                             "C:/Program Files (x86)/Google/Google Earth Pro/client/googleearth.exe"})
        if (QFileInfo::exists(QString::fromLatin1(path)))
            return true;
#elif defined(Q_OS_MACOS)
    if (QFileInfo::exists(QStringLiteral("/Applications/Google Earth Pro.app")))
        return true;
#else
    if (QFileInfo::exists(QStringLiteral("/opt/google/earth/pro/googleearth")))
        return true;
#endif
    return false;
}

EarthChoice::Kind ResolvedKind(const EarthChoice& choice)
{
    if (choice.kind != EarthChoice::Kind::Automatic)
        return choice.kind;
    return GoogleEarthProInstalled() ? EarthChoice::Kind::GoogleEarth : EarthChoice::Kind::Chart;
}

std::unique_ptr<ApplicationGE> CreateApplicationGE(const EarthChoice& choice, const EarthOptions& options)
{
    switch (ResolvedKind(choice)) {
    case EarthChoice::Kind::GoogleEarth: {
        GoogleEarthLinkOptions link;
        link.OpenInGoogleEarth = options.openGoogleEarth;
        return std::make_unique<GoogleEarthLink>(link);
    }
    case EarthChoice::Kind::KmlFile:
        return std::make_unique<KmlFileApplication>(choice.kmlPath, options.title);
    case EarthChoice::Kind::Chart:
    case EarthChoice::Kind::Automatic:
        break;
    }
    return std::make_unique<ChartApplication>();
}

} // namespace tideplot
