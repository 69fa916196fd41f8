#pragma once

#include <QString>

// Which view the replay draws into, as chosen with --earth=...: read without any view.
namespace tideplot {

struct EarthChoice {
    enum class Kind {
        Automatic,   // Google Earth Pro when it is installed, otherwise the chart view
        Chart,       // the built-in chart view
        GoogleEarth, // live in Google Earth Pro through a NetworkLink
        KmlFile,     // everything drawn collected into one KML file
    };
    Kind kind = Kind::Automatic;
    QString kmlPath; // for KmlFile
};

// Reads "chart", "googleearth" or "kml:FILE" (as given with --earth=...); an empty text
// is the automatic choice. Throws Error naming the text otherwise.
EarthChoice ParseEarthChoice(const QString& text);

} // namespace tideplot
