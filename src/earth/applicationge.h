#pragma once

#include "core/course.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where the drawn race goes. The replay draws through this interface, as the program
// once drove the Google Earth desktop application; every backend (the built-in chart,
// the Google Earth Pro link, a KML file, the test recorder) receives exactly the same
// calls and parses the document text it is given.
namespace tideplot {

// A camera description: where the view looks and from how far.
struct CameraInfoGE {
    double FocusPointLatitude = 0;  // degrees, north positive
    double FocusPointLongitude = 0; // degrees, east positive
    double FocusPointAltitude = 0;  // metres
    int FocusPointAltitudeMode = 1; // 1: relative to the ground
    double Range = 0;               // metres from the camera to the focus point
    double Tilt = 0;                // degrees from looking straight down
    double Azimuth = 0;             // heading of the view, degrees clockwise from north
};

class ApplicationGE {
public:
    virtual ~ApplicationGE() = default;

    // Shows the lines of a KML document (text in the system's 8-bit code page) next to
    // those loaded before. Throws Error with the reason when the document is refused.
    virtual void LoadKmlData(const std::string& kmlText) = 0;

    // The camera of the current view, including a heading, tilt or range the user set.
    // `considerTerrainFlag` is accepted for compatibility (the program passes 2).
    virtual CameraInfoGE GetCamera(int considerTerrainFlag) = 0;

    // Moves the view to `camera`; `speed` 5.0 and above means at once.
    virtual void SetCamera(const CameraInfoGE& camera, double speed) = 0;

    // Forgets every document loaded so far, so that the race can be drawn again from its
    // start (after the replay went back to an earlier moment).
    virtual void ClearKmlData() = 0;

    // Draws the race course over the tracks from now on (its start line, marks, gates and
    // finish line), kept when the documents are forgotten; none: no course. A view that draws
    // only documents ignores it. It is no document: the replay's trace does not hold it.
    virtual void SetCourse(const std::optional<Course>& /*course*/) {}

    // What the view has to tell the user since it was made (a settings store that cannot
    // be written, say), each once; empty when there is nothing.
    virtual std::vector<std::string> TakeWarnings() { return {}; }

    // The view as a window of its own that draws the replay's pieces as values (the
    // built-in chart), or null for a view that only takes documents.
    virtual class ReplayView* replayView() { return nullptr; }
};

} // namespace tideplot
