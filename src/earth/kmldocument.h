#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// Reading the lines out of a KML document, as a KML viewer reads what it is given.
namespace tideplot {

struct KmlCoordinate {
    double Lon = 0; // degrees
    double Lat = 0; // degrees
    double Alt = 0; // metres
    bool operator==(const KmlCoordinate&) const = default;
};

// KML's colour order: alpha, blue, green, red, as in "ff0000ff" (opaque red).
using KmlColour = std::uint32_t;

struct KmlLineString {
    QString Name; // the placemark's name, else that of the nearest enclosing container
    KmlColour Colour = 0xffffffff;
    double Width = 1; // pixels
    std::vector<KmlCoordinate> Points;
};

// Every LineString of a KML document (a whole kml file or a Document, Folder or
// Placemark on its own), with its style resolved: shared styles by "#id", inline
// styles, KML's defaults (opaque white, width 1) otherwise. Coordinate tuples may be
// separated by blanks, as the standard writes them, or all by commas ("lon,lat,alt,
// lon,lat,alt"). Throws Error with the reason and the line when the text is not a
// readable KML document.
std::vector<KmlLineString> ParseKmlLines(const QString& text);
// The same for document text in the system's 8-bit code page.
std::vector<KmlLineString> ParseKmlLines(const std::string& text);

// Reads an aabbggrr colour text; false when it is not 8 hexadecimal digits.
bool ParseKmlColour(const QString& text, KmlColour& colour);
// The 8 lower-case hexadecimal digits of a colour.
QString KmlColourText(KmlColour colour);

// Reads a coordinates element's text. Throws Error naming the fault.
std::vector<KmlCoordinate> ParseKmlCoordinates(const QString& text);

// The text as XML can hold it: the characters XML 1.0 has no place for (control characters
// other than tab, line feed and carriage return; U+FFFE, U+FFFF) replaced by U+FFFD, the
// replacement character. Text without them comes back as it is.
QString XmlSafeText(QString text);

// The shortest text that reads back as the same double ("11.76", "12", "-0.25").
QString KmlNumberText(double value);

} // namespace tideplot
