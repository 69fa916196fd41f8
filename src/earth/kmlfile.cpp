#include "earth/kmlfile.h"

#include "core/outputfile.h"
#include "earth/kmldocument.h"

namespace tideplot {

KmlFileApplication::KmlFileApplication(QString path, QString title, double headingDeg, double tiltDeg)
    : path_(std::move(path)), title_(std::move(title))
{
    view_.Azimuth = headingDeg;
    view_.Tilt = tiltDeg;
}

void KmlFileApplication::LoadKmlData(const std::string& kmlText)
{
    tracks_.add(ParseKmlLines(kmlText));
}

void KmlFileApplication::ClearKmlData()
{
    const std::optional<Course> course = tracks_.course();
    tracks_ = KmlTrackCollection{};
    tracks_.setCourse(course);
}

CameraInfoGE KmlFileApplication::GetCamera(int)
{
    return view_;
}

void KmlFileApplication::SetCamera(const CameraInfoGE& camera, double)
{
    view_ = camera;
    tracks_.setCamera(camera);
}

QByteArray KmlFileApplication::document() const
{
    return tracks_.toKml(title_, KmlTrackCollection::Layout::EveryLine);
}

void KmlFileApplication::save() const
{
    OutputFile file(path_, "the KML file");
    file.Write(document());
    file.Commit();
}

} // namespace tideplot
