#pragma once

#include "earth/applicationge.h"
#include "earth/kmltracks.h"

#include <QString>

namespace tideplot {

// Collects everything loaded during a replay into one KML 2.2 file: one Folder per
// boat holding its segments in load order, one style per colour and width, the last
// camera as a LookAt. The file is written by save(), whole or not at all (a failing
// write leaves an older file as it was).
class KmlFileApplication : public ApplicationGE {
public:
    // `headingDeg` and `tiltDeg` are the view GetCamera reports until a camera is set.
    KmlFileApplication(QString path, QString title, double headingDeg = 0, double tiltDeg = 0);

    void LoadKmlData(const std::string& kmlText) override;
    CameraInfoGE GetCamera(int considerTerrainFlag) override;
    void SetCamera(const CameraInfoGE& camera, double speed) override;
    void ClearKmlData() override;
    // Written into the file before the tracks (kmlcourse.h).
    void SetCourse(const std::optional<Course>& course) override { tracks_.setCourse(course); }

    // The text of the file: everything loaded so far.
    QByteArray document() const;
    // Writes the file; throws Error naming it when that fails.
    void save() const;

    const KmlTrackCollection& tracks() const { return tracks_; }
    const QString& path() const { return path_; }

private:
    QString path_;
    QString title_;
    CameraInfoGE view_;
    KmlTrackCollection tracks_;
};

} // namespace tideplot
