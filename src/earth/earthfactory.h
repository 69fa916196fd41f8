#pragma once

#include "earth/applicationge.h"

#include <QString>

#include <memory>

// Creating the view the replay draws into: the one place that knows every backend.
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

// True when Google Earth Pro is found: on the PATH, or where its installer puts it.
bool GoogleEarthProInstalled();

struct EarthOptions {
    QString title = QStringLiteral("Tideplot1"); // name of the KML file's document
    bool openGoogleEarth = true;                 // open the link file in Google Earth Pro
};

// Creates the chosen backend. The chart view and the Google Earth link need a Qt
// application object (QApplication for the chart); the chart window is not shown yet.
// Throws Error when the backend cannot start (the link's server, say).
std::unique_ptr<ApplicationGE> CreateApplicationGE(const EarthChoice& choice, const EarthOptions& options = {});

// The kind CreateApplicationGE makes for the automatic choice on this machine.
EarthChoice::Kind ResolvedKind(const EarthChoice& choice);

} // namespace tideplot
