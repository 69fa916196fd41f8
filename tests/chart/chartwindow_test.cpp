// "Save picture...": the view as the window shows it, finish line and all, at the window's
// size, as PNG with its world file beside it.
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "support/racefiles.h"

#include <QImage>
#include <gtest/gtest.h>

namespace tideplot {
namespace {

using testing::Slurp;
using testing::TempDir;

TEST(ChartWindow, SavesTheViewAsTheWindowShowsIt)
{
    TempDir dir;
    ChartApplication chart;
    chart.widget()->resize(420, 300);
    chart.LoadKmlData("<Document><name>Elsa</name><Style id=\"s\"><LineStyle><width>3</width><color>ff0000ff</color>"
                      "</LineStyle></Style><Placemark><styleUrl>#s</styleUrl><LineString><coordinates>11.9,57.7,0 "
                      "11.91,57.71,0</coordinates></LineString></Placemark></Document>");
    chart.SetCamera(chart.cameraShowing(57.7, 11.9, 57.71, 11.91, QSize(420, 300)), 10);
    chart.setFinishLine(FinishLine{57.705, 11.899, 57.705, 11.911});
    const QStringList written = chart.saveView(QString::fromStdString(dir.file("view.png")));
    EXPECT_EQ(written, QStringList({QString::fromStdString(dir.file("view.png")),
                                    QString::fromStdString(dir.file("view.pgw"))}));
    const QImage saved(QString::fromStdString(dir.file("view.png")));
    ASSERT_EQ(saved.size(), QSize(420, 300));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
              chart.renderImage(QSize(420, 300)).convertToFormat(QImage::Format_RGB32))
        << "the view, finish line and all";
    EXPECT_EQ(Slurp(dir.file("view.pgw")), chart.worldFile(QSize(420, 300)).toStdString());
}

} // namespace
} // namespace tideplot
