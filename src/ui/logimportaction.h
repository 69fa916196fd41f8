#pragma once

#include <QString>

// The set-up window's import button: GPS logs (KML, KMZ, GPX, NMEA 0183, FIT) chosen in a
// dialog, one or several at once, become track files beside them, with one report; the date
// of an NMEA log that gives none is asked for.
namespace tideplot {

class UserDialogs;

// Asks for logs in `folder` and imports each (a log of several tracks or days one track
// file per piece as well, when the sailor wants). Returns the first track file written,
// for the track browser to show; empty when none was.
QString ImportLogs(UserDialogs& dialogs, const QString& folder);

} // namespace tideplot
