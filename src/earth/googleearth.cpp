#include "earth/googleearth.h"

#include "core/colour.h"
#include "core/text.h"

#include <charconv>

namespace tideplot {

void AppendXmlEscaped(std::string& out, const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // U+FFFE and U+FFFF in UTF-8: no characters, and XML holds none.
        if (c == '\xEF' && text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            out += '?';
            i += 2;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            // The control characters XML cannot hold, whatever the escaping.
            out += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : c;
        }
    }
}

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    AppendXmlEscaped(out, text);
    return out;
}

std::string TrackSegmentDocument(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                                 std::int32_t colourNumber, std::int16_t width)
{
    std::string kml;
    kml.reserve(320 + name.size());
    kml += "<Document><name>";
    AppendXmlEscaped(kml, name);
    kml += "</name><open>1</open><Style id=\"Style\"><LineStyle><width>";
    char number[8];
    const auto [end, ec] = std::to_chars(number, number + sizeof number, width);
    kml.append(number, static_cast<std::size_t>(end - number));
    kml += "</width><color>ff";
    kml += ColourHex(colourNumber);
    kml += "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>";
    AppendCoordinateText(kml, to.Lon);
    kml += ',';
    AppendCoordinateText(kml, to.Lat);
    kml += ",0,";
    AppendCoordinateText(kml, from.Lon);
    kml += ',';
    AppendCoordinateText(kml, from.Lat);
    kml += ",0</coordinates></LineString></Placemark></Document>";
    return kml;
}

void GoogleEarthOutput::PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                                         std::int32_t colourNumber, std::int16_t width)
{
    kmlText_ = TrackSegmentDocument(name, from, to, colourNumber, width);
    geApp_.LoadKmlData(kmlText_);
}

void GoogleEarthOutput::FrameCamera(const TrackPoint& corner1, const TrackPoint& corner2)
{
    CameraInfoGE geCamera;
    geCamera.FocusPointLatitude = (corner1.Lat + corner2.Lat) / 2;
    // The replay's box may reach past 180 degrees on one side (its longitudes are taken
    // near each other across the 180th meridian): the focus is folded back.
    geCamera.FocusPointLongitude = FoldLongitude((corner1.Lon + corner2.Lon) / 2);
    const Leg leg = CourseAndDistance(corner1, corner2);
    geCamera.Range = MaxOf(leg.Distance * 3000, 1000);
    geCamera.Azimuth = geApp_.GetCamera(2).Azimuth;
    geCamera.Tilt = geApp_.GetCamera(2).Tilt;
    geApp_.SetCamera(geCamera, 10.0);
}

} // namespace tideplot
