#pragma once

#include "earth/applicationge.h"
#include "earth/chart/chartcamera.h"
#include "earth/chart/chartrenderer.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The chart as pictures, without a window, behind the ApplicationGE interface: it reads
// every document the replay loads, as Google Earth would, keeps the camera the replay
// moves, and draws through its renderer on pictures of any size. Needs a QGuiApplication
// where text is drawn (QT_QPA_PLATFORM=offscreen without a display). The chart window
// shows one (chartwidget.h).
namespace tideplot {

class MapSource;

class ChartPicture : public ApplicationGE {
public:
    ChartPicture();
    ChartPicture(const ChartPicture&) = delete;
    ChartPicture& operator=(const ChartPicture&) = delete;

    // Reads the document and keeps each of its lines in its colour and width under its
    // name. Throws Error with the reason when the document cannot be read or a point lies
    // off the globe; nothing of such a document is kept.
    void LoadKmlData(const std::string& kmlText) override;
    CameraInfoGE GetCamera(int considerTerrainFlag) override;
    // Moves at once, whatever the speed.
    void SetCamera(const CameraInfoGE& camera, double speed) override;
    void ClearKmlData() override;
    // The chart draws it (chartcourse.h).
    void SetCourse(const std::optional<Course>& course) override;
    // The map's warnings (tiles that could not be loaded).
    std::vector<std::string> TakeWarnings() override { return takeMapWarnings(); }

    ChartCamera& camera() { return camera_; }
    const ChartCamera& camera() const { return camera_; }
    ChartRenderer& renderer() { return renderer_; }
    const ChartRenderer& renderer() const { return renderer_; }

    // The camera, at the current heading and tilt, under which a picture of `sizePx` shows
    // the whole box from the south-west to the north-east corner (degrees), with
    // `marginFraction` of the picture to spare (CameraShowing).
    CameraInfoGE cameraShowing(double southLat, double westLon, double northLat, double eastLon, const QSize& sizePx,
                               double marginFraction = 0.1) const;

    // The map under the chart (null: none). Each picture below waits for its tiles, up to
    // `wait`, then shows what it has.
    void setMapSource(std::shared_ptr<MapSource> map, std::chrono::milliseconds wait = std::chrono::seconds(10));
    void setMapWait(std::chrono::milliseconds wait) { mapWait_ = wait; }
    // Called with one line when a tile of the map could not be loaded (after it is kept for
    // takeMapWarnings).
    void setMapMessageHandler(std::function<void(const QString&)> handler) { onMapMessage_ = std::move(handler); }
    // What went wrong with the map since the last call, a line each: tiles that could not
    // be loaded (one line for all of them), tiles that did not arrive in time, a map left
    // out of a picture too large for its tiles.
    std::vector<std::string> takeMapWarnings();

    // The chart of the current camera on a picture of `sizePx`, every track drawn afresh,
    // over the map's tiles once they have arrived.
    QImage renderImage(const QSize& sizePx) const;
    // The same picture painted through the renderer's cached picture of the tracks, which
    // is kept from call to call and drawn whole only when the view has moved far: many
    // times faster frame after frame (a pixel where a line crosses from one band of the
    // cached picture into the next may differ by a few levels). It does not wait for tiles.
    QImage paintedImage(const QSize& sizePx);
    // The world file (chartmap.h) of that picture: six lines placing it in Web Mercator.
    QByteArray worldFile(const QSize& sizePx) const;
    // Writes that picture as PNG, whole or not at all (an older file stays as it was when
    // writing fails). Throws Error naming the file and the reason.
    void saveImage(const QString& path, const QSize& sizePx) const;
    // That picture as PNG bytes; throws Error with the reason when it cannot be made.
    QByteArray pngImage(const QSize& sizePx) const;

private:
    void waitForMap(const QSize& sizePx) const;

    ChartCamera camera_;
    ChartRenderer renderer_;
    std::chrono::milliseconds mapWait_{10'000};
    std::function<void(const QString&)> onMapMessage_;
    mutable std::vector<QString> mapFailures_;
    mutable std::vector<std::string> mapLateWarnings_;
};

// A picture as PNG bytes; throws Error with the reason when it cannot be made.
QByteArray PngBytes(const QImage& image);

} // namespace tideplot
