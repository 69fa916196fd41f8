#pragma once

// The windows' benchmarks' start (gui_bench.cpp, gui_play_bench.cpp): the set-up window
// with a race open and Start pressed, the race files, and playing to the end in a process
// of its own.

#include "bench_race.h"
#include "earth/earthfactory.h"
#include "earth/replayview.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace guibench {

// The set-up window with the 24-hour race open and Start pressed: the chart window and the
// control window shown, the map off.
struct Started {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    std::unique_ptr<tideplot::FrmMain> main;
    tideplot::FrmControl* control = nullptr;
    bool ok = false;
    double clickSeconds = 0; // the Start click: the race loaded, the windows made
    double startSeconds = 0; // until its steps are counted (in the background)
    double busiestMs = 0;    // the longest the windows were busy at a time after the click

    explicit Started(const QString& race)
    {
        settings.setValue(QStringLiteral("Map/Source"), QStringLiteral("none"));
        tideplot::FrmMain::Options options;
        options.settings = &settings;
        options.createEarth = [] {
            return tideplot::CreateApplicationGE(tideplot::EarthChoice{tideplot::EarthChoice::Kind::Chart, {}});
        };
        main = std::make_unique<tideplot::FrmMain>(std::move(options));
        main->show();
        if (!QTest::qWaitForWindowExposed(main.get()) || !main->openRaceFile(race))
            return;
        QElapsedTimer starting;
        starting.start();
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
        clickSeconds = starting.nsecsElapsed() / 1e9;
        control = main->controlWindow();
        while (control && control->session().buildingTimeline() && starting.elapsed() < 600'000) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            busiestMs = std::max(busiestMs, turn.nsecsElapsed() / 1e6);
        }
        startSeconds = starting.nsecsElapsed() / 1e9;
        ok = control && QTest::qWaitForWindowExposed(main->earth()->replayView()->window());
    }
    ~Started()
    {
        if (control)
            control->close();
    }
    void click(const char* button) const
    {
        QTest::mouseClick(control->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
    void type(const char* box, const QString& text) const
    {
        control->findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
    }
    // Plays at the play speed 0 and the resolution `resolution` from where the replay stands
    // to the end of the race (at most ten minutes); returns the seconds it took. The click on
    // Play counts the steps anew in the background at a resolution other than Start's, and
    // playing starts when the count is done: `countSeconds` from the click to then, and
    // `busiestMs` the longest the windows were busy at a time meanwhile.
    double playToEnd(double resolution, double* countSeconds = nullptr, double* busiestMs = nullptr) const
    {
        type("txtResolution", QString::number(resolution));
        type("txtPlayspeed", QStringLiteral("0"));
        QElapsedTimer playing;
        playing.start();
        click("cmdPlay");
        double busiest = 0;
        while (control->session().buildingTimeline() && playing.elapsed() < 600'000) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            busiest = std::max(busiest, turn.nsecsElapsed() / 1e6);
        }
        if (countSeconds)
            *countSeconds = playing.nsecsElapsed() / 1e9;
        if (busiestMs)
            *busiestMs = busiest;
        while (control->session().playing() && playing.elapsed() < 600'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return playing.nsecsElapsed() / 1e9;
    }
};

// The 24-hour race of `boats` boats, with the generator's start line as its finish line
// when `finish`: the leaderboard follows the replay then.
inline QString RaceFile(int boats, bool finish = false)
{
    return QString::fromStdString((finish ? RaceWithFinishLine(24, boats) : RaceFolder(24, boats)) + "/race.TP1");
}

// Open, Start, Resolution, play speed 0, Play to the end, in this process (the program
// started again with --play-to-end by BM_PlayMemory): prints the Start's seconds, the peak
// memory after Start (KiB), the seconds of playing, the steps played and the peak memory at
// the end.
int PlayToEnd(int boats, double resolution);

} // namespace guibench
