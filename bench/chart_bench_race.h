#pragma once

// The chart benchmarks' race and window (chart_bench.cpp, chart_series_bench.cpp): boats
// sailing round a triangle, stepped as the replay steps them, and a chart window that has
// replayed them to a given step.

#include "core/colour.h"
#include "core/geometry.h"
#include "core/replayseries.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"
#include "earth/map/mapsource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <vector>

namespace tideplot::chartbench {

constexpr double kStepSeconds = 10;
constexpr int kStepsPerDay = 8640;
constexpr int kWidePlotEvery = 90;
inline const QSize kWindow(1000, 750);

// Boats sailing round a triangle of about 30 NM legs at slightly different speeds, each
// weaving a little about the course to the next mark. Each step yields one piece a boat,
// as the replay draws it: loaded as its document (step) or as a value (stepPieces).
class Race {
public:
    explicit Race(int boatCount = 7, double stepSeconds = kStepSeconds) : stepSeconds_(stepSeconds)
    {
        for (int i = 0; i < boatCount; ++i) {
            Boat b;
            b.Name = "Boat" + std::to_string(i + 1) + ".txt 1.0" + std::to_string(i % 10);
            b.ColourNumber = boatCount <= 7 ? 200 * i : 20 * i;
            b.Colour = "ff" + ColourHex(b.ColourNumber);
            b.Lat = 57.5 + 0.002 * (i % 8);
            b.Lon = 11.75 - 0.003 * (i % 8) - 0.001 * (i / 8);
            b.SpeedKnots = 5.6 + 0.13 * (i % 7) + 0.02 * (i / 7);
            boats_.push_back(b);
        }
    }

    // The boats as the replay describes them: caption and colour number.
    std::vector<FleetBoat> fleet() const
    {
        std::vector<FleetBoat> fleet;
        for (const Boat& b : boats_) {
            FleetBoat boat;
            boat.Caption = b.Name;
            boat.Colour = b.ColourNumber;
            fleet.push_back(boat);
        }
        return fleet;
    }

    // The pieces of the next step, one a boat.
    const std::vector<DrawnPiece>& advance()
    {
        ++step_;
        const auto width = static_cast<std::int16_t>(step_ % kWidePlotEvery == 0 ? 5 : 1);
        pieces_.clear();
        for (std::size_t i = 0; i < boats_.size(); ++i) {
            Boat& b = boats_[i];
            const TrackPoint from{b.Lat, b.Lon, 0};
            const Mark& mark = kMarks[b.NextMark];
            const Leg toMark = CourseAndDistance(TrackPoint{mark.Lat, mark.Lon, 0}, from);
            if (toMark.Distance < 0.1)
                b.NextMark = (b.NextMark + 1) % std::size(kMarks);
            const double weave = 12 * std::sin(step_ * stepSeconds_ / 2000.0 + static_cast<double>(i));
            const double bearing = (toMark.Bearing + weave) * std::numbers::pi / 180;
            const double nm = b.SpeedKnots * stepSeconds_ / 3600;
            b.Lat += nm * std::cos(bearing) / 60;
            b.Lon += nm * std::sin(bearing) / 60 / std::cos(b.Lat * std::numbers::pi / 180);
            pieces_.push_back(DrawnPiece{step_, static_cast<std::int16_t>(i), width, clock(), from, {b.Lat, b.Lon, 0}});
        }
        return pieces_;
    }
    double clock() const { return step_ * stepSeconds_ / 86400; }

    // One step as the replay draws into Google Earth: a document a boat, then the camera.
    void step(ApplicationGE& earth)
    {
        for (const DrawnPiece& p : advance())
            earth.LoadKmlData(Document(boats_[static_cast<std::size_t>(p.Boat)], p));
        frame(earth);
    }
    void frame(ApplicationGE& earth) const { FrameOn(earth, pieces_); }

    // The camera as the replay frames it on a step's pieces.
    static void FrameOn(ApplicationGE& earth, std::span<const DrawnPiece> pieces)
    {
        TrackPoint boxMin{90, 180, 0}, boxMax{-90, -180, 0};
        for (const DrawnPiece& p : pieces) {
            boxMin.Lat = std::min({boxMin.Lat, p.From.Lat, p.To.Lat});
            boxMin.Lon = std::min({boxMin.Lon, p.From.Lon, p.To.Lon});
            boxMax.Lat = std::max({boxMax.Lat, p.From.Lat, p.To.Lat});
            boxMax.Lon = std::max({boxMax.Lon, p.From.Lon, p.To.Lon});
        }
        CameraInfoGE camera;
        camera.FocusPointLatitude = (boxMin.Lat + boxMax.Lat) / 2;
        camera.FocusPointLongitude = (boxMin.Lon + boxMax.Lon) / 2;
        camera.Range = std::max(CourseAndDistance(boxMin, boxMax).Distance * 3000, 1000.0);
        camera.Azimuth = earth.GetCamera(2).Azimuth;
        camera.Tilt = earth.GetCamera(2).Tilt;
        earth.SetCamera(camera, 10.0);
    }

private:
    struct Boat {
        std::string Name, Colour;
        std::int32_t ColourNumber = 0;
        double Lat = 0, Lon = 0, SpeedKnots = 6;
        std::size_t NextMark = 0;
    };
    struct Mark {
        double Lat, Lon;
    };
    static constexpr Mark kMarks[] = {{57.95, 11.2}, {57.3, 10.75}, {57.5, 11.75}};

    static std::string Document(const Boat& b, const DrawnPiece& p)
    {
        auto n = [](double v) { return KmlNumberText(v).toStdString(); };
        return "<Document><name>" + b.Name + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" +
               std::to_string(p.Width) + "</width><color>" + b.Colour +
               "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" +
               n(p.To.Lon) + "," + n(p.To.Lat) + ",0," + n(p.From.Lon) + "," + n(p.From.Lat) +
               ",0</coordinates></LineString></Placemark></Document>";
    }

    double stepSeconds_;
    std::vector<Boat> boats_;
    std::vector<DrawnPiece> pieces_;
    std::int32_t step_ = 0;
};

struct Replay {
    explicit Replay(int stepsBefore, std::shared_ptr<MapSource> map = nullptr)
    {
        ChartWidget& w = *chart.widget();
        w.resize(kWindow);
        chart.setMapSource(std::move(map));
        w.show();
        QApplication::processEvents();
        for (int i = 0; i < stepsBefore; ++i) {
            race.step(chart);
            if (w.mapSource())
                QApplication::processEvents();
        }
        w.repaint();
    }
    ChartApplication chart;
    Race race;
};

// Processor time of every thread of the program, in microseconds: Qt hands large fills
// and image transforms to worker threads, which the benchmark's CPU column leaves out.
inline double ProcessCpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

struct Counted {
    explicit Counted(const ChartWidget& w)
        : widget(w), redrawsBefore(w.trackLayerRedraws()), cpuBefore(ProcessCpuMicroseconds())
    {
    }
    void report(benchmark::State& state) const
    {
        const auto n = static_cast<double>(state.iterations());
        state.counters["process_cpu_us"] = (ProcessCpuMicroseconds() - cpuBefore) / n;
        state.counters["segments"] = static_cast<double>(widget.tracks().segmentCount());
        state.counters["runs"] = static_cast<double>(widget.tracks().runs().size());
        state.counters["redraws_per_1000"] = 1000.0 * (widget.trackLayerRedraws() - redrawsBefore) / n;
    }
    const ChartWidget& widget;
    int redrawsBefore;
    double cpuBefore;
};

} // namespace tideplot::chartbench
