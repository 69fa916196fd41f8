#pragma once

#include "earth/applicationge.h"
#include "earth/earthchoice.h"

#include <QString>

#include <memory>

// Creating the view the replay draws into: the one place that knows every backend.
namespace tideplot {

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
