#include "share/fileexporters.h"

#include "share/animatedkml.h"

#include <QFileInfo>

namespace tideplot {

namespace {

std::string Local(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

} // namespace

QString RaceTitle(const std::string& raceFile)
{
    return QFileInfo(QString::fromLocal8Bit(raceFile.c_str())).completeBaseName();
}

void KmlFileExporter::open(ExportRun& run)
{
    out_ = std::make_unique<OutputFile>(path_, "the KML file");
    view_ = std::make_unique<KmlFileApplication>(out_->Path(), RaceTitle(run.RaceFile), run.HeadingDeg, run.TiltDeg);
    view_->SetCourse(run.RaceCourse);
}

std::vector<PreparedFile> KmlFileExporter::finish(ExportRun&)
{
    out_->Write(view_->document());
    return {out_->Prepare()};
}

std::vector<std::string> KmlFileExporter::summary() const
{
    return {"KML file: " + Local(path_)};
}

void TraceExporter::open(ExportRun&)
{
    out_ = std::make_unique<OutputFile>(path_, "the trace file");
    trace_.emplace(*out_);
}

std::vector<PreparedFile> TraceExporter::finish(ExportRun&)
{
    trace_->flush();
    return {out_->Prepare()};
}

std::vector<std::string> TraceExporter::summary() const
{
    return {"Trace: " + Local(path_)};
}

void AnimatedKmlExporter::open(ExportRun&)
{
    out_ = std::make_unique<OutputFile>(path_, "the animated KML file");
}

std::vector<PreparedFile> AnimatedKmlExporter::finish(ExportRun& run)
{
    WriteAnimatedKml(run.Fleet.Boats, RaceTitle(run.RaceFile), *out_);
    return {out_->Prepare()};
}

std::vector<std::string> AnimatedKmlExporter::summary() const
{
    return {"Animated KML file: " + Local(path_)};
}

} // namespace tideplot
