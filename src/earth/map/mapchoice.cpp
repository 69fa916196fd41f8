#include "earth/map/mapchoice.h"

#include "core/error.h"

#include <QRegularExpression>
#include <QUrl>

#include <string>

namespace tideplot {

namespace {

constexpr const char* kMapForms = "a URL template with {z}, {x} and {y} (http or https), an .mbtiles file, "
                                  "openstreetmap, openseamap or none";

[[noreturn]] void Refuse(const QString& text, const std::string& reason)
{
    throw Error("the map \"" + text.toStdString() + "\" " + reason);
}

} // namespace

void CheckTileUrlTemplate(const QString& urlTemplate)
{
    const QString scheme = urlTemplate.section(QStringLiteral("://"), 0, 0).toLower();
    if (!urlTemplate.contains(QStringLiteral("://")) ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        Refuse(urlTemplate, "is no http or https URL");
    for (const char* field : {"{z}", "{x}", "{y}"}) {
        if (!urlTemplate.contains(QLatin1String(field)))
            Refuse(urlTemplate, std::string("lacks ") + field + " (a tile's URL needs {z}, {x} and {y})");
    }
    static const QRegularExpression fieldPattern(QStringLiteral("\\{[^}]*\\}"));
    for (const auto& match : fieldPattern.globalMatch(urlTemplate)) {
        const QString field = match.captured();
        if (field != QLatin1String("{z}") && field != QLatin1String("{x}") && field != QLatin1String("{y}") &&
            field != QLatin1String("{s}"))
            Refuse(urlTemplate, "holds " + field.toStdString() + ": only {z}, {x}, {y} and {s} are filled in");
    }
    // The host, with its port and anything before it: up to the path, query or fragment.
    const QString afterScheme = urlTemplate.mid(urlTemplate.indexOf(QStringLiteral("://")) + 3);
    static const QRegularExpression authorityEnd(QStringLiteral("[/?#]"));
    const QString authority = afterScheme.left(afterScheme.indexOf(authorityEnd));
    if (authority.contains(QLatin1Char('@')))
        throw Error("the map URL holds a user name or password (before \"@\" in its host): a tile URL carries none, "
                    "as it is kept in the settings and written into web pages");
    for (const char* field : {"{z}", "{x}", "{y}"}) {
        if (authority.contains(QLatin1String(field)))
            Refuse(urlTemplate, std::string("holds ") + field +
                                    " in its host: only {s} (a, b or c) may stand in a tile server's name");
    }
    QString sample = urlTemplate;
    sample.replace(QLatin1String("{z}"), QLatin1String("1"))
        .replace(QLatin1String("{x}"), QLatin1String("1"))
        .replace(QLatin1String("{y}"), QLatin1String("1"))
        .replace(QLatin1String("{s}"), QLatin1String("a"));
    const QUrl url(sample, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        Refuse(urlTemplate, "is no valid URL" + (url.isValid() ? std::string(" (no host)")
                                                               : " (" + url.errorString().toStdString() + ")"));
}

QString TileSubdomain(int x, int y)
{
    const int count = static_cast<int>(std::char_traits<char>::length(kTileSubdomains));
    return QString(QLatin1Char(kTileSubdomains[((x + y) % count + count) % count]));
}

QString TileServerName(const QString& urlTemplate)
{
    const auto host = [&urlTemplate](QLatin1String subdomain) {
        QString sample = urlTemplate;
        sample.replace(QLatin1String("{z}"), QLatin1String("0"))
            .replace(QLatin1String("{x}"), QLatin1String("0"))
            .replace(QLatin1String("{y}"), QLatin1String("0"))
            .replace(QLatin1String("{s}."), subdomain.isEmpty() ? subdomain : subdomain + QLatin1Char('.'))
            .replace(QLatin1String("{s}"), subdomain);
        return QUrl(sample).host();
    };
    const QString name = host(QLatin1String(""));
    return name.isEmpty() ? host(QLatin1String("a")) : name;
}

MapChoice ParseMapChoice(const QString& text)
{
    const QString trimmed = text.trimmed();
    const QString lower = trimmed.toLower();
    if (trimmed.isEmpty())
        throw Error(std::string("no map given: name ") + kMapForms);
    if (lower == QLatin1String("none"))
        return {};
    if (lower == QLatin1String("openstreetmap") || lower == QLatin1String("osm"))
        return {MapChoice::Kind::OpenStreetMap, {}};
    if (lower == QLatin1String("openseamap"))
        return {MapChoice::Kind::OpenSeaMap, {}};
    if (lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"))) {
        CheckTileUrlTemplate(trimmed);
        return {MapChoice::Kind::UrlTemplate, trimmed};
    }
    if (lower.endsWith(QLatin1String(".mbtiles")))
        return {MapChoice::Kind::Mbtiles, text};
    if (trimmed.contains(QStringLiteral("://")))
        Refuse(trimmed, "is no http or https URL");
    Refuse(trimmed, std::string("is none of: ") + kMapForms);
}

QString MapChoiceText(const MapChoice& choice)
{
    switch (choice.kind) {
    case MapChoice::Kind::None:
        return QStringLiteral("none");
    case MapChoice::Kind::OpenStreetMap:
        return QStringLiteral("openstreetmap");
    case MapChoice::Kind::OpenSeaMap:
        return QStringLiteral("openseamap");
    case MapChoice::Kind::Mbtiles:
    case MapChoice::Kind::UrlTemplate:
        return choice.text;
    }
    return {};
}

} // namespace tideplot
