#pragma once

#include "earth/applicationge.h"
#include "earth/kmldocument.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <set>
#include <utility>
#include <vector>

// The lines of every document loaded during a replay, kept per track (the name of the
// line, that is the boat's legend caption) in load order, and written out as one
// standard KML 2.2 document that any KML reader shows as the separate loads were shown.
class QXmlStreamWriter;

namespace tideplot {

// Starts a KML 2.2 file on `xml` (indented, the kml root in its namespace) and opens
// its top element `topElement` (Document, NetworkLink, ...).
void StartKmlFile(QXmlStreamWriter& xml, const QString& topElement);

// Writes `camera` as a KML LookAt element (focus point, heading, tilt, range, relative to
// the ground).
void WriteLookAt(QXmlStreamWriter& xml, const CameraInfoGE& camera);

class KmlTrackCollection {
public:
    struct Track {
        QString Name;
        std::vector<KmlLineString> Lines; // in load order
    };

    // Adds the lines of one loaded document.
    void add(std::vector<KmlLineString> lines);
    void setCamera(const CameraInfoGE& camera) { camera_ = camera; }
    // The race course, written before the tracks' Folders (kmlcourse.h); none: no course.
    void setCourse(const std::optional<Course>& course) { course_ = course; }
    const std::optional<Course>& course() const { return course_; }

    const std::vector<Track>& tracks() const { return tracks_; }
    const std::optional<CameraInfoGE>& camera() const { return camera_; }

    enum class Layout {
        // One placemark per loaded line.
        EveryLine,
        // One LineString per unbroken run of a track's lines of the same colour and
        // width (the next line starts where the run ends), which keeps the document
        // small.
        MergedRuns,
    };

    // The whole collection as a KML 2.2 document: one Document named `title`, the last
    // camera as a LookAt, one Style per distinct colour and width (unique ids), one
    // Folder per track. Coordinates are written as the standard says: tuples separated
    // by a blank, "color" before "width" in LineStyle. The merged layout keeps the text of
    // every run that can no longer grow, so writing it again after more lines were added
    // costs the new lines, not the whole collection.
    QByteArray toKml(const QString& title, Layout layout) const;

private:
    // Per track: the Placemarks of the merged runs that are finished (every run but the
    // last), and the first line of the runs still open.
    struct FinishedRuns {
        QByteArray placemarks;
        std::size_t openFrom = 0;
    };

    std::vector<Track> tracks_;
    std::optional<CameraInfoGE> camera_;
    std::optional<Course> course_;
    std::set<std::pair<KmlColour, double>> styles_; // colour and width of every line
    mutable std::vector<FinishedRuns> finishedRuns_;
};

} // namespace tideplot
