// The Analysis window's tests' race: three boats whose wind and manoeuvres are known
// (tools/racesim.h), or that sail a course (tools/coursesim.h), replayed in the chart from
// the set-up window's Start; the dialogs that keep what the windows tell.
#pragma once

#include "core/datetime.h"
#include "core/windfile.h"
#include "coursesim.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/earthfactory.h"
#include "racesim.h"
#include "support/racefiles.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"
#include "ui/windowdriver.h" // AccessibleName

#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tideplot::testing {

// Keeps what the windows tell the user; no test here asks for a file.
class TellingDialogs : public UserDialogs {
public:
    QString askFileName(const QString& title, const QString&, FileQuestion, const QString&) override
    {
        ADD_FAILURE() << "unexpected file dialog " << title.toStdString();
        return {};
    }
    SaveAnswer askToSave(const QString& question) override
    {
        ADD_FAILURE() << "unexpected question " << question.toStdString();
        return SaveAnswer::Cancel;
    }
    std::optional<QStringList> askTexts(const QString& title, const QString&, const QStringList&,
                                        const QStringList&) override
    {
        ADD_FAILURE() << "unexpected form " << title.toStdString();
        return std::nullopt;
    }
    bool askYesNo(const QString& question, const QString&, const QString&) override
    {
        ADD_FAILURE() << "unexpected question " << question.toStdString();
        return false;
    }
    void tell(const QString& text, MessageKind) override { told.push_back(text); }
    std::unique_ptr<ProgressReport> showProgress(const QString&, ProgressKind) override
    {
        struct Silent : ProgressReport {
            void setProgress(std::int64_t, std::int64_t) override {}
            bool cancelled() const override { return false; }
        };
        return std::make_unique<Silent>();
    }
    std::vector<QString> told;
};

// Three boats beating and running for 40 minutes in a wind from 220 degrees, logged every
// second, replayed in the chart from the set-up window's Start.
class AnalysedReplay {
public:
    // `measured`: the first boat's instruments measured the wind (a wind file beside its track);
    // `course`: the race has its course file (a start line, the marks, the finish).
    explicit AnalysedReplay(bool measured = false, bool course = false)
        : settings(QString::fromStdString(dir.file("settings.ini")), QSettings::IniFormat)
    {
        racesim::RaceOptions race;
        race.Out = dir.path() / "race";
        race.Boats = 3;
        race.Hours = 0.67;
        race.Seed = 7;
        if (course) {
            // Round a windward-leeward course with a start line instead (tools/coursesim.h).
            coursesim::RaceOptions sailed;
            sailed.Out = race.Out;
            sailed.Laps = 1;
            sailed.Boats = {{1.0, 5.0}, {1.05, 5.4}, {1.1, 4.8}};
            truth.RaceFile = coursesim::WriteRace(sailed).RaceFile;
        } else {
            truth = racesim::WriteRace(race);
        }
        if (measured)
            WriteWindFile((race.Out / truth.Boats[0].File).string());
        settings.setValue("Map/Source", "none");
        StartOnTheChart(main, settings, dialogs, QString::fromStdString(truth.RaceFile.string()));
        control = main->controlWindow();
        EXPECT_NE(control, nullptr);
        chart = dynamic_cast<ChartApplication*>(main->earth())->widget();
        chartWindow = main->earth()->replayView()->window();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(chartWindow));
    }
    // A wind file of the true wind every 10 s.
    void WriteWindFile(const std::string& track) const
    {
        std::string text(kWindHeaderLine);
        for (const racesim::TrueWind& w : truth.Wind) {
            const std::string at = DateText(w.Time);
            WindFileLine values;
            values.TwdDeg = w.FromDeg;
            text += WindLineText(at.substr(0, 4) + at.substr(5, 2) + at.substr(8, 2),
                                 at.substr(11, 2) + at.substr(14, 2) + at.substr(17, 2), values) +
                    "\r\n";
        }
        QFile file(QString::fromStdString(WindFilePath(track)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.data(), static_cast<qint64>(text.size())) > 0);
    }
    ~AnalysedReplay()
    {
        if (control)
            control->close();
    }

    // Analysis... in the control window: the Analysis window, shown; null when none came.
    QWidget* openAnalysis() const
    {
        QTest::mouseClick(control->findChild<QPushButton*>("cmdAnalysis"), Qt::LeftButton);
        auto* window = main->findChild<QWidget*>("frmAnalysis");
        return window && QTest::qWaitForWindowExposed(window) ? window : nullptr;
    }
    ReplaySession& session() const { return control->session(); }
    // The race time the replay stands at, seconds.
    double raceSeconds() const { return session().lastFrame().RaceClock * kSecondsPerDay; }
    // Plays a step every 2 ms until the replay stands at `step` or a little beyond.
    void playTo(long long step)
    {
        Type(control->findChild<QLineEdit*>("txtPlayspeed"), "2");
        QTest::mouseClick(control->findChild<QPushButton*>("cmdPlay"), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return session().position() >= step; }, 20000));
        QTest::mouseClick(control->findChild<QPushButton*>("cmdStop"), Qt::LeftButton);
    }
    static void Type(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    TempDir dir;
    QSettings settings;
    TellingDialogs dialogs;
    racesim::TrueRace truth;
    std::unique_ptr<FrmMain> main;
    FrmControl* control = nullptr;
    ChartWidget* chart = nullptr;
    QMainWindow* chartWindow = nullptr;
};

// "01:02:03", "-00:04:10": seconds.
inline double RaceTimeSeconds(const QString& text)
{
    const bool negative = text.startsWith(u'-');
    const QStringList parts = text.mid(negative ? 1 : 0).split(u':');
    const double seconds = parts.value(0).toInt() * 3600 + parts.value(1).toInt() * 60 + parts.value(2).toInt();
    return negative ? -seconds : seconds;
}

// The step at or before a race time (seconds) and the next: the replay's clock lies between.
inline ::testing::AssertionResult StandsJustBefore(const ReplaySession& session, double raceSeconds)
{
    const long long step = session.position();
    const ReplaySeries& series = session.series();
    const double at = series.raceClock(step) * kSecondsPerDay;
    const double next = step < series.stepCount() ? series.raceClock(step + 1) * kSecondsPerDay : 1e300;
    if (at <= raceSeconds + 1e-6 && next > raceSeconds - 1e-6)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "step " << step << " at " << at << " s, the next at " << next << " s, for "
                                         << raceSeconds << " s";
}

} // namespace tideplot::testing
