#pragma once

#include "earth/kmldocument.h"

#include <string>

namespace tideplot {

// The document the replay loads for one segment of a boat's track, from its previous
// position to its new one (written new position first).
inline std::string SegmentDocument(const std::string& name, const std::string& colour, int width, double toLon,
                                   double toLat, double fromLon, double fromLat)
{
    auto n = [](double v) { return KmlNumberText(v).toStdString(); };
    return "<Document><name>" + name + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" +
           std::to_string(width) + "</width><color>" + colour +
           "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" + n(toLon) +
           "," + n(toLat) + ",0," + n(fromLon) + "," + n(fromLat) +
           ",0</coordinates></LineString></Placemark></Document>";
}

} // namespace tideplot
