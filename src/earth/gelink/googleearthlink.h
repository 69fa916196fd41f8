#pragma once

#include "earth/applicationge.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <string>

// The replay shown live in Google Earth Pro. Google Earth Pro has no automation interface
// any more, but it polls a KML NetworkLink: this backend serves what the replay loaded
// from a small HTTP server on 127.0.0.1 and writes a link file that points Google Earth at
// it. Every second Google Earth fetches the whole drawing (one line per unbroken run of a
// boat's track in one colour and width) and the camera as a LookAt that it flies to, and
// reports its own view in the request, which is what GetCamera returns.
namespace tideplot {

struct GoogleEarthLinkOptions {
    // Open the link file with Google Earth Pro when the link is created (tests say no).
    bool OpenInGoogleEarth = true;
    // Where the link file goes; empty: the per-user application data folder.
    QString LinkDirectory;
    // Limits of the HTTP server.
    qsizetype MaxRequestBytes = 16 * 1024;
    int MaxConnections = 32;
    int IdleTimeoutMs = 30'000;
};

// The view Google Earth reported in a poll.
struct GoogleEarthView {
    double LookAtLongitudeDeg = 0;
    double LookAtLatitudeDeg = 0;
    double RangeMetres = 0;
    double TiltDeg = 0;
    double HeadingDeg = 0;
};

// Reads the view of a poll's query string, "lon,lat,range,tilt,heading" as the link file
// asks Google Earth to write it. Nothing when it is not five numbers in their ranges.
std::optional<GoogleEarthView> ParseGoogleEarthView(const QString& query);

// The Google Earth Pro program found on the PATH (google-earth-pro, googleearth or
// google-earth), or empty. Where it is not on the PATH (Windows, macOS) the link file is
// opened through the file association instead.
QString FindGoogleEarthProgram();

class GoogleEarthLink final : public ApplicationGE {
public:
    // Starts the server (a QCoreApplication must exist; requests are answered from its event
    // loop), writes the link file and, when asked, opens it with Google Earth Pro. Throws
    // Error when the server cannot listen or the link file cannot be written; not finding
    // Google Earth Pro is no error (see openReport()).
    explicit GoogleEarthLink(GoogleEarthLinkOptions options = {});
    ~GoogleEarthLink() override;
    GoogleEarthLink(const GoogleEarthLink&) = delete;
    GoogleEarthLink& operator=(const GoogleEarthLink&) = delete;

    // Keeps the document's lines for every following poll. Throws Error with the reason when
    // the document is unreadable; then nothing is added.
    void LoadKmlData(const std::string& kmlText) override;
    // The view of the last poll; before the first one, the last camera set (or a default).
    CameraInfoGE GetCamera(int considerTerrainFlag) override;
    // The LookAt of the following polls. `speed` is not used: Google Earth flies there.
    void SetCamera(const CameraInfoGE& camera, double speed) override;

    // The server's address, "http://127.0.0.1:PORT/".
    QUrl serverUrl() const;
    // The address Google Earth polls (the link's href).
    QUrl documentUrl() const;
    // The link file; opening it in Google Earth Pro shows the replay.
    QString linkFilePath() const;
    // Whether a program was started to open the link file, and what was done, in words for
    // the user (when nothing could open it: where the link file is, to open by hand).
    bool openedInGoogleEarth() const;
    QString openReport() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tideplot
