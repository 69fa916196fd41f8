#include "earth/kmlfile.h"

#include "core/error.h"
#include "earth/kmldocument.h"

#include <QSaveFile>

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

CameraInfoGE KmlFileApplication::GetCamera(int)
{
    return view_;
}

void KmlFileApplication::SetCamera(const CameraInfoGE& camera, double)
{
    view_ = camera;
    tracks_.setCamera(camera);
}

void KmlFileApplication::save() const
{
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        throw Error("cannot write \"" + path_.toStdString() + "\": " + file.errorString().toStdString());
    file.write(tracks_.toKml(title_, KmlTrackCollection::Layout::EveryLine));
    if (!file.commit())
        throw Error("cannot write \"" + path_.toStdString() + "\": " + file.errorString().toStdString());
}

} // namespace tideplot
