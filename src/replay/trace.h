#pragma once

#include "core/outputfile.h"
#include "earth/applicationge.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

// The pieces that run the replay without windows: a view that shows nothing, one that
// sends everything to two views, and the trace of every observable event.
namespace tideplot {

// A view that shows nothing: it keeps the camera it was given and reports it.
class NullApplication : public ApplicationGE {
public:
    NullApplication(double headingDeg, double tiltDeg)
    {
        view_.Azimuth = headingDeg;
        view_.Tilt = tiltDeg;
    }
    void LoadKmlData(const std::string&) override {}
    CameraInfoGE GetCamera(int) override { return view_; }
    void SetCamera(const CameraInfoGE& camera, double) override { view_ = camera; }
    void ClearKmlData() override {}

private:
    CameraInfoGE view_;
};

// Sends everything to every view; the first one is the view the camera is read from.
class FanOutApplication : public ApplicationGE {
public:
    explicit FanOutApplication(std::vector<ApplicationGE*> views) : views_(std::move(views)) {}
    void LoadKmlData(const std::string& kmlText) override
    {
        for (ApplicationGE* view : views_)
            view->LoadKmlData(kmlText);
    }
    CameraInfoGE GetCamera(int flag) override { return views_.front()->GetCamera(flag); }
    void SetCamera(const CameraInfoGE& camera, double speed) override
    {
        for (ApplicationGE* view : views_)
            view->SetCamera(camera, speed);
    }
    void ClearKmlData() override
    {
        for (ApplicationGE* view : views_)
            view->ClearKmlData();
    }
    void SetCourse(const std::optional<Course>& course) override
    {
        for (ApplicationGE* view : views_)
            view->SetCourse(course);
    }

private:
    std::vector<ApplicationGE*> views_;
};

// Writes the trace to a file: one LF-terminated line per event, in the order they
// happen, in parts of 64 KiB (a failing write throws Error naming the file).
//   legend K COLOUR CAPTION     a legend row written (window colour in decimal)
//   step N TEXT                 the N-th step (from 1) wrote TEXT as race time
//   dst K TEXT                  a distance written (TEXT may be empty)
//   kml DOC                     a document loaded
//   camera LAT LON RANGE TILT AZIMUTH SPEED   a camera set ("%.17g" each)
class TraceWriter {
public:
    explicit TraceWriter(OutputFile& out) : out_(out) {}
    void legend(int row, std::uint32_t colour, const std::string& caption);
    void step(const std::string& raceTime);
    void distance(int row, const std::string& text);
    void kml(const std::string& document);
    void camera(const CameraInfoGE& camera, double speed);
    // Writes what is still held back.
    void flush();

private:
    void put(std::string_view text);
    void putLine(const char* format, ...) __attribute__((format(printf, 2, 3)));

    OutputFile& out_;
    std::string buffer_;
    long steps_ = 0;
};

// Passes every call on to `inner` and writes the documents and cameras to the trace.
class TracingApplication : public ApplicationGE {
public:
    TracingApplication(ApplicationGE& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}
    void LoadKmlData(const std::string& kmlText) override;
    CameraInfoGE GetCamera(int flag) override { return inner_.GetCamera(flag); }
    void SetCamera(const CameraInfoGE& camera, double speed) override;
    void ClearKmlData() override { inner_.ClearKmlData(); }
    void SetCourse(const std::optional<Course>& course) override { inner_.SetCourse(course); }

private:
    ApplicationGE& inner_;
    TraceWriter& trace_;
};

} // namespace tideplot
