#pragma once

#include "earth/kmlfile.h"
#include "replay/trace.h"
#include "share/exporter.h"

#include <memory>
#include <optional>

// The replay's text outputs: everything drawn as one KML file, the trace of every event,
// and every boat's track as a gx:Track on the race clock.
namespace tideplot {

// --kml FILE: the documents the replay draws, collected into one KML 2.2 file named after
// the race (kmlfile.h).
class KmlFileExporter : public ReplayExporter {
public:
    explicit KmlFileExporter(QString path) : path_(std::move(path)) {}
    std::vector<QString> paths() const override { return {path_}; }
    void open(ExportRun& run) override;
    ApplicationGE* view() override { return view_.get(); }
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

private:
    QString path_;
    std::unique_ptr<OutputFile> out_;
    std::unique_ptr<KmlFileApplication> view_;
};

// --trace FILE: every observable event of the replay, one line each (trace.h).
class TraceExporter : public ReplayExporter {
public:
    explicit TraceExporter(QString path) : path_(std::move(path)) {}
    std::vector<QString> paths() const override { return {path_}; }
    void open(ExportRun& run) override;
    TraceWriter* traceWriter() override { return trace_ ? &*trace_ : nullptr; }
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

private:
    QString path_;
    std::unique_ptr<OutputFile> out_;
    std::optional<TraceWriter> trace_;
};

// --kml-animated FILE: the race for Google Earth Pro's time slider (animatedkml.h), written
// from the track files once the replay has read them all.
class AnimatedKmlExporter : public ReplayExporter {
public:
    explicit AnimatedKmlExporter(QString path) : path_(std::move(path)) {}
    std::vector<QString> paths() const override { return {path_}; }
    void open(ExportRun& run) override;
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

private:
    QString path_;
    std::unique_ptr<OutputFile> out_;
};

// The name a replay's documents go under: the race file's name without its folder and
// last suffix.
QString RaceTitle(const std::string& raceFile);

} // namespace tideplot
