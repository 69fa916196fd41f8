#pragma once

#include "earth/applicationge.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The replay shown live in Google Earth Pro. Google Earth Pro has no automation interface
// any more, but it polls a KML NetworkLink: this backend serves what the replay loaded
// from a small HTTP server on 127.0.0.1 and writes a link file that points Google Earth at
// it. Google Earth fetches the whole drawing (one line per unbroken run of a boat's track
// in one colour and width) every second, and again half a second after the user stops
// moving the view; each fetch reports Google Earth's own view in the request, which is
// what GetCamera returns. The first fetch after a SetCamera also carries that camera as a
// LookAt, which Google Earth flies to; the fetches in between leave the user's view alone.
// The port and the address are kept in the settings store from run to run, so a link
// saved in Google Earth Pro once shows every later replay; when the port has to move, the
// address gets a new token as well. The link file and the settings file, which hold the
// address, are readable by their owner only.
class QSettings;

namespace tideplot {

struct GoogleEarthLinkOptions {
    // Open the link file with Google Earth Pro when the link is created (tests say no).
    bool OpenInGoogleEarth = true;
    // Where the link file goes; empty: the per-user application data folder.
    QString LinkDirectory;
    // Where the port and the address token are kept from run to run (group "GoogleEarthLink",
    // keys "Port" and "Token"); null: the program's settings store (application "Tideplot1").
    QSettings* Settings = nullptr;
    // Limits of the HTTP server (see loopbackhttpserver.h).
    qsizetype MaxRequestBytes = 16 * 1024;
    int MaxConnections = 32;
    int IdleTimeoutMs = 30'000;
    int RequestDeadlineMs = 5'000;
    qint64 MaxUnsentBytes = 4 * 1024 * 1024;
};

// The view Google Earth reported in a poll.
struct GoogleEarthView {
    double LookAtLongitudeDeg = 0;
    double LookAtLatitudeDeg = 0;
    double RangeMetres = 0;
    double TiltDeg = 0;
    double HeadingDeg = 0;
};

// Reads the view of a poll's query string (percent-encoded, without the "?"): the five
// numbers "lon,lat,range,tilt,heading" as the link file asks Google Earth to write them,
// the whole query or one of its parameters (separated by "&" or ";"), bare, with a
// trailing "=", or named "CAMERA=" (which wins). A tilt above 90 is read as 90. Nothing
// when no five numbers in their ranges are found.
std::optional<GoogleEarthView> ParseGoogleEarthView(const QString& query);

// The Google Earth Pro program found on the PATH (google-earth-pro, googleearth or
// google-earth), or empty. Where it is not on the PATH (Windows, macOS) the link file is
// opened through the file association instead.
QString FindGoogleEarthProgram();

class GoogleEarthLink final : public ApplicationGE {
public:
    // Starts the server (a QCoreApplication must exist; requests are answered from its event
    // loop) on the port and with the address of the last run, kept in the settings store
    // (another port when that one is taken), writes the link file and, when asked, opens it
    // with Google Earth Pro. Throws Error when the server cannot listen or the link file
    // cannot be written; not finding Google Earth Pro is no error (see openReport()).
    explicit GoogleEarthLink(GoogleEarthLinkOptions options = {});
    ~GoogleEarthLink() override;
    GoogleEarthLink(const GoogleEarthLink&) = delete;
    GoogleEarthLink& operator=(const GoogleEarthLink&) = delete;

    // Keeps the document's lines for every following poll. Throws Error with the reason when
    // the document is unreadable; then nothing is added.
    void LoadKmlData(const std::string& kmlText) override;
    // The view of the last poll; before the first one, the last camera set (or a default).
    CameraInfoGE GetCamera(int considerTerrainFlag) override;
    // The LookAt of the next poll. `speed` is not used: Google Earth flies there.
    void SetCamera(const CameraInfoGE& camera, double speed) override;
    // The next poll serves nothing drawn until more is loaded.
    void ClearKmlData() override;
    // Served with the drawing from the next poll on (kmlcourse.h).
    void SetCourse(const std::optional<Course>& course) override;
    // The settings problem, once.
    std::vector<std::string> TakeWarnings() override;

    // Calls `done` once, as soon as a poll answered after this call (which holds everything
    // loaded and set until then) has been handed to the system whole, or when `quietMs`
    // pass without a poll, or after `limitMs` at the most. For the end of a replay: the
    // last steps reach Google Earth before the program stops.
    void callWhenServed(std::function<void()> done, int quietMs = 5'000, int limitMs = 30'000);

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
    // Why the port and the address token could not be kept in the settings store (it
    // cannot be written: a full or read-only disk, a folder where the file should be), in
    // words for the user; empty when they were kept. The link works, but a link saved in
    // Google Earth Pro may not reach the next run. The command line prints it as a
    // warning, the windows show it.
    QString settingsProblem() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tideplot
