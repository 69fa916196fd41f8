#pragma once

#include "core/replay.h"
#include "earth/applicationge.h"
#include "earth/chart/chartpicture.h"
#include "earth/replayview.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// The built-in chart view behind the ApplicationGE interface: it reads every document
// the replay loads, as Google Earth would, and draws its lines on a chart window that
// the camera calls move; or it draws the replay's pieces from its series, also as a fading
// tail of the last minutes of race time. Its pictures are the window's ChartPicture's
// (chartpicture.h), drawn through the same renderer. Needs a QApplication
// (QT_QPA_PLATFORM=offscreen without a display); the window stays hidden until
// widget()->show().
namespace tideplot {

class ChartWidget;
class MapSource;

class ChartApplication : public ApplicationGE, public ReplayView {
public:
    ChartApplication();
    ~ChartApplication() override;

    // Reads the document and keeps each of its lines in its colour and width under its
    // name. Throws Error with the reason when the document cannot be read or a point
    // lies off the globe; nothing of such a document is kept.
    void LoadKmlData(const std::string& kmlText) override;
    CameraInfoGE GetCamera(int considerTerrainFlag) override;
    // Moves at once, whatever the speed.
    void SetCamera(const CameraInfoGE& camera, double speed) override;
    void ClearKmlData() override;
    // The chart draws it (chartcourse.h).
    void SetCourse(const std::optional<Course>& course) override;
    // The map's warnings (tiles that could not be loaded).
    std::vector<std::string> TakeWarnings() override { return takeMapWarnings(); }

    ChartWidget* widget() const { return widget_.get(); }

    // The chart as the windows show it (chartreplayview.cpp): a window with a menu bar and
    // a status bar (the map's messages) around the chart, made when first asked for.
    ReplayView* replayView() override { return this; }
    QMainWindow* window() override;
    void setFleet(const std::vector<FleetBoat>& boats) override;
    void setSeries(const ReplaySeries* series) override;
    void showStep(long long step, long long keptSteps) override;
    void setTailMinutes(double minutes) override;
    void setPictureMemory(std::size_t bytes) override;
    void showBox(const FixBox& box) override;
    FixBox drawnBox() const override;
    std::vector<std::string> boatsInView() const override;
    QMenu* createMapMenu(QSettings& settings, QWidget* parent) override;
    void pickPositions(int count, std::function<void(std::vector<std::pair<double, double>>)> done) override;
    void setFinishLine(const std::optional<FinishLine>& line) override;
    void dragBuoys(BuoyMoved moved) override;
    void setManoeuvreMarks(std::vector<ManoeuvreMark> marks) override;
    void setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark) override;
    void bringIntoView(double lat, double lon) override;

    // The camera, at the current heading and tilt, under which a picture of `sizePx`
    // shows the whole box from the south-west to the north-east corner (degrees), with
    // `marginFraction` of the picture to spare, in the chart's own projection: far-apart
    // boats, north and south, at any heading, all land in the picture. Its range is
    // never below 1000 metres.
    CameraInfoGE cameraShowing(double southLat, double westLon, double northLat, double eastLon, const QSize& sizePx,
                               double marginFraction = 0.1) const;

    // The map under the chart (null: none). Each picture below waits for its tiles, up to
    // `wait`, then shows what it has.
    void setMapSource(std::shared_ptr<MapSource> map, std::chrono::milliseconds wait = std::chrono::seconds(10));
    // What went wrong with the map since the last call, a line each: tiles that could not
    // be loaded (one line for all of them), tiles that did not arrive in time, a map left
    // out of a picture too large for its tiles.
    std::vector<std::string> takeMapWarnings();

    // The chart of the current camera on a picture of `sizePx`, without showing it, over the
    // map's tiles once they have arrived.
    QImage renderImage(const QSize& sizePx) const;
    // The world file (chartmap.h) of that picture: six lines placing it in Web Mercator.
    QByteArray worldFile(const QSize& sizePx) const;
    // Writes that picture as PNG, whole or not at all (an older file stays as it was
    // when writing fails). Throws Error naming the file and the reason.
    void saveImage(const QString& path, const QSize& sizePx) const;
    // That picture as PNG bytes; throws Error with the reason when it cannot be made.
    QByteArray pngImage(const QSize& sizePx) const;

    // The chart of the current camera on a picture of `sizePx`, painted as the window
    // paints itself, through the renderer's cached picture of the tracks
    // (ChartPicture::paintedImage): the same picture as renderImage, many times faster frame
    // after frame. For a chart whose window is not shown.
    QImage paintedImage(const QSize& sizePx);

    // The view as the window shows it now, at the window's size (and the screen's pixel
    // ratio): its camera with the user's pan, zoom and turn, the map, the tracks, the finish
    // line, the labels.
    QImage viewImage() const;
    // Writes that picture as PNG and its world file, whole or not at all ("Save
    // picture..."). Throws Error naming the file and the reason.
    QStringList saveView(const QString& path) override;

private:
    std::unique_ptr<ChartWidget> widget_;
    std::unique_ptr<QMainWindow> window_; // owns the widget once made
};

// Shows a line in the chart window's status bar for a while.
void ShowChartStatus(QMainWindow& window, const QString& line);

} // namespace tideplot
