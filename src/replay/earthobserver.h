#pragma once

#include "earth/applicationge.h"
#include "earth/googleearth.h"
#include "replay/fleetframe.h"
#include "replay/trace.h"

// Observers that draw the replay where the program once drew it, in Google Earth: every
// piece of a step as one KML document named after the boat's legend caption, then the
// camera on the pieces of the step. The Google Earth Pro link, the KML file, the views of
// the tests and the headless chart all draw through it.
namespace tideplot {

class GoogleEarthObserver : public FrameObserver {
public:
    // With `trace`, also writes the trace's legend, step and distance lines in the order the
    // events happen (the documents and cameras are traced by a TracingApplication).
    explicit GoogleEarthObserver(ApplicationGE& application, TraceWriter* trace = nullptr);

    void raceStarted(const FleetInfo& fleet) override;
    void frame(const FleetFrame& frame) override;
    // Forgets what the view holds and draws every piece up to the frame again, then frames
    // the camera where it stood after that step.
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;

    GoogleEarthOutput& output() { return output_; }

private:
    void draw(const DrawnPiece& piece);

    ApplicationGE& application_;
    GoogleEarthOutput output_;
    TraceWriter* trace_;
    FleetInfo fleet_;
};

// Counts the pieces drawn and keeps the box around them, for the headless replay's summary
// and the picture of the whole race.
class DrawnBox : public FrameObserver {
public:
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;

    long long segments = 0;
    bool drawn() const { return segments > 0; }
    // South-west and north-east corners of every piece drawn.
    TrackPoint southWest{90, 180, 0};
    TrackPoint northEast{-90, -180, 0};

private:
    void add(const TrackPoint& from, const TrackPoint& to);
};

} // namespace tideplot
