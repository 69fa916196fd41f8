#pragma once

#include "core/replay.h"
#include "earth/applicationge.h"

#include <cstdint>
#include <string>

// Drawing the replay into an ApplicationGE: one small KML document per track segment
// and the camera framed on the fleet.
namespace tideplot {

// The KML document of one track segment: a Document named `name` (XML-escaped) with
// one line style of `width` and the colour of `colourNumber`, and one Placemark whose
// LineString runs from `to` back to `from`, both at altitude 0, the tuples joined by
// commas, all on one line.
std::string TrackSegmentDocument(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                                 std::int32_t colourNumber, std::int16_t width);

// Text with "&", "<" and ">" written as XML entities, and the characters XML cannot hold
// (control characters other than tab, line feed and carriage return; U+FFFE and U+FFFF
// in UTF-8) as "?": a boat named from a file name with such a character still makes a
// document every reader takes. Other text comes out byte for byte.
std::string XmlEscaped(const std::string& text);
void AppendXmlEscaped(std::string& out, const std::string& text);

class GoogleEarthOutput {
public:
    explicit GoogleEarthOutput(ApplicationGE& application) : geApp_(application) {}

    // Builds the segment's document and loads it.
    void PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                          std::int32_t colourNumber, std::int16_t width);

    // Centres the view on the box between the corners, from 3000 metres per nautical
    // mile of its diagonal (never less than 1000), keeping the view's heading and tilt. A
    // corner may lie beyond 180 degrees of longitude (a box across the 180th meridian):
    // the focus is folded into -180 to 180, the diagonal taken the short way.
    void FrameCamera(const TrackPoint& corner1, const TrackPoint& corner2);

    // The last document loaded.
    const std::string& kmlText() const { return kmlText_; }

private:
    ApplicationGE& geApp_;
    std::string kmlText_;
};

} // namespace tideplot
