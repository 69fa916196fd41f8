// The built-in chart as the windows show it: its window, and the replay's pieces drawn as
// values.
#include "earth/chart/chartapplication.h"

#include "earth/chart/chartview.h"
#include "earth/chart/chartwidget.h"
#include "earth/chart/mapmenu.h"
#include "earth/googleearth.h"
#include "earth/kmldocument.h"

#include <QMainWindow>
#include <QStatusBar>

namespace tideplot {

namespace {
constexpr int kStatusLineMs = 10'000;
} // namespace

void ShowChartStatus(QMainWindow& window, const QString& line)
{
    window.statusBar()->showMessage(line, kStatusLineMs);
}

QMainWindow* ChartApplication::window()
{
    if (!window_) {
        window_ = std::make_unique<QMainWindow>();
        window_->setObjectName(QStringLiteral("chartWindow"));
        window_->setWindowTitle(QString::fromLatin1(kChartWindowTitle));
        window_->setCentralWidget(widget_.get()); // the window owns the chart from now on
        window_->statusBar()->setObjectName(QStringLiteral("chartStatus"));
        window_->resize(widget_->sizeHint());
        widget_->setFocus();
        if (!widget_->mapMessage().isEmpty())
            ShowChartStatus(*window_, widget_->mapMessage());
    }
    return window_.get();
}

void ChartApplication::setFleet(const std::vector<FleetBoat>& boats)
{
    widget_->setFleet(boats);
}

void ChartApplication::setSeries(const ReplaySeries* series)
{
    widget_->setSeries(series);
}

void ChartApplication::showStep(long long step, long long keptSteps)
{
    widget_->showStep(step, keptSteps);
}

void ChartApplication::setPictureMemory(std::size_t bytes)
{
    widget_->setSnapshotBytes(bytes);
}

void ChartApplication::setTailMinutes(double minutes)
{
    widget_->setTailMinutes(minutes);
}

void ChartApplication::showBox(const FixBox& box)
{
    if (box.empty())
        return;
    const QSize size = widget_->size().isEmpty() ? widget_->sizeHint() : widget_->size();
    SetCamera(cameraShowing(box.SouthLat, box.WestLon, box.NorthLat, box.EastLon, size), 10.0);
}

FixBox ChartApplication::drawnBox() const
{
    FixBox box = widget_->series().drawnBox();
    for (const ChartRun& run : widget_->tracks().runs()) {
        const LatLon a = UnprojectPoint(run.Bounds.topLeft());
        const LatLon b = UnprojectPoint(run.Bounds.bottomRight());
        box.add(a.LatDeg, a.LonDeg);
        box.add(b.LatDeg, b.LonDeg);
    }
    return box;
}

std::vector<std::string> ChartApplication::boatsInView() const
{
    const ChartViewport viewport = widget_->viewport(widget_->size());
    const QTransform toScreen = viewport.projectedToScreen();
    const QRectF shown(QPointF(0, 0), viewport.SizePx);
    std::vector<std::string> inView;
    for (const ChartTrack& track : ChartLabels(widget_->tracks(), widget_->series()))
        if (shown.contains(toScreen.map(track.Newest)))
            inView.push_back(track.Name.toLocal8Bit().toStdString());
    return inView;
}

QMenu* ChartApplication::createMapMenu(QSettings& settings, QWidget* parent)
{
    return CreateMapMenu(widget_.get(), settings, parent);
}

void ChartApplication::pickPositions(int count, std::function<void(std::vector<std::pair<double, double>>)> done)
{
    widget_->pickPositions(count, [done = std::move(done)](std::vector<LatLon> picked) {
        std::vector<std::pair<double, double>> positions;
        for (const LatLon& p : picked)
            positions.emplace_back(p.LatDeg, p.LonDeg);
        done(std::move(positions));
    });
}

void ChartApplication::setFinishLine(const std::optional<FinishLine>& line)
{
    if (line)
        widget_->setFinishLine(ChartWidget::FinishEnds{line->Lat1, line->Lon1, line->Lat2, line->Lon2});
    else
        widget_->setFinishLine(std::nullopt);
}

void ChartApplication::setManoeuvreMarks(std::vector<ManoeuvreMark> marks)
{
    widget_->setManoeuvreMarks(std::move(marks));
}

void ChartApplication::setHighlightedManoeuvre(const std::optional<ManoeuvreMark>& mark)
{
    widget_->setHighlightedManoeuvre(mark);
}

void ChartApplication::bringIntoView(double lat, double lon)
{
    widget_->bringIntoView(lat, lon);
}

} // namespace tideplot
