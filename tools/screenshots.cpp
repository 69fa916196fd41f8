// Takes the README's pictures of the windows on a real X display with a window manager,
// driving them as a user would: scripts/screenshots.sh runs it on a 1366x768 screen under
// openbox and writes docs/*.png. It starts as a first start does (nothing stored), and
// fails when a window runs off the screen, the replay's windows cover each other or a
// control of the set-up window, or a window the replay opens (the Analysis and results
// windows, in either order) covers a menu or a button of a window opened before it or lies
// under the control window, which stays on top. With SCREEN_PICTURE it also writes the screen
// with every window of a replay open there.
//
//   tideplot-screenshots SOURCE_DIR OUT_DIR [SCREEN_PICTURE]
#include "earth/earthfactory.h"
#include "earth/replayview.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace tideplot;

class QuietDialogs : public UserDialogs {
public:
    QString askFileName(const QString&, const QString&, FileQuestion, const QString&) override { return {}; }
    SaveAnswer askToSave(const QString&) override { return SaveAnswer::Discard; }
    std::optional<QStringList> askTexts(const QString&, const QString&, const QStringList&, const QStringList&) override
    {
        return std::nullopt;
    }
    bool askYesNo(const QString&, const QString&, const QString&) override { return false; }
    void tell(const QString& text, MessageKind) override
    {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    std::unique_ptr<ProgressReport> showProgress(const QString&, ProgressKind) override { return nullptr; }
};

bool Capture(const QString& path, const QRect& area)
{
    QTest::qWait(600); // everything painted
    const QString crop = QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    const int status = QProcess::execute(QStringLiteral("import"), {"-window", "root", "-crop", crop, "+repage", path});
    std::printf("%s %s\n", qPrintable(path), status == 0 ? "written" : "FAILED");
    return status == 0;
}

template <class W> W* Find(QWidget* in, const char* name)
{
    return in->findChild<W*>(QString::fromLatin1(name));
}

void Type(QWidget* window, const char* box, const QString& text)
{
    auto* edit = Find<QLineEdit>(window, box);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

void ClickRow(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void ClickFile(QWidget* window, const QString& name)
{
    auto* files = Find<QListWidget>(window, "File1");
    ClickRow(files, files->row(files->findItems(name, Qt::MatchExactly).value(0)));
}

bool CheckInside(const QString& what, const QRect& frame, const QRect& screen)
{
    if (screen.contains(frame))
        return true;
    std::fprintf(stderr, "%s (%d,%d %dx%d) runs off the screen (%dx%d)\n", qPrintable(what), frame.x(), frame.y(),
                 frame.width(), frame.height(), screen.width(), screen.height());
    return false;
}

bool CheckApart(const QString& what, const QRect& a, const QString& other, const QRect& b)
{
    if (!a.intersects(b))
        return true;
    std::fprintf(stderr, "%s covers %s\n", qPrintable(what), qPrintable(other));
    return false;
}

// What of a window must stay in view: its title bar, its menus, tool bars, tabs and buttons.
std::vector<std::pair<QString, QRect>> ControlsOf(QWidget* window)
{
    const QRect frame = window->frameGeometry();
    std::vector<std::pair<QString, QRect>> controls{
        {QStringLiteral("title bar"), QRect(frame.topLeft(), QPoint(frame.right(), window->geometry().top() - 1))}};
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->isVisible() || child->window() != window ||
            !(qobject_cast<QAbstractButton*>(child) || qobject_cast<QMenuBar*>(child) ||
              qobject_cast<QToolBar*>(child) || qobject_cast<QTabBar*>(child)))
            continue;
        const QString name =
            child->objectName().isEmpty() ? QString::fromLatin1(child->metaObject()->className()) : child->objectName();
        controls.emplace_back(name, QRect(child->mapToGlobal(QPoint(0, 0)), child->size()));
    }
    return controls;
}

// `window` covers no control of `other`.
bool CheckClearOf(const QString& what, QWidget* window, const QString& otherName, QWidget* other)
{
    bool ok = true;
    for (const auto& [name, place] : ControlsOf(other)) {
        if (!place.isEmpty() && window->frameGeometry().intersects(place)) {
            std::fprintf(stderr, "%s covers %s of %s\n", qPrintable(what), qPrintable(name), qPrintable(otherName));
            ok = false;
        }
    }
    return ok;
}

// Every control of the set-up window lies inside its client area.
bool CheckControlsShown(QWidget* main)
{
    bool ok = true;
    QWidget* client = main->findChild<QWidget*>(QStringLiteral("client"));
    for (QWidget* control : client->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (control->objectName().isEmpty() || !control->isVisible())
            continue;
        if (!client->rect().contains(control->geometry())) {
            std::fprintf(stderr, "%s is cut off by the set-up window's edge\n", qPrintable(control->objectName()));
            ok = false;
        }
    }
    return ok;
}

std::unique_ptr<FrmMain> MakeWindow(QSettings& settings, UserDialogs& dialogs)
{
    FrmMain::Options options;
    options.settings = &settings;
    options.dialogs = &dialogs;
    options.createEarth = [] { return CreateApplicationGE(EarthChoice{EarthChoice::Kind::Chart, {}}); };
    auto window = std::make_unique<FrmMain>(std::move(options));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        std::fputs("the set-up window was not shown\n", stderr);
    return window;
}

// The Analysis and results windows opened over a replay of the sample race with a finish
// line, in either order: each inside the screen, clear of the control window and of the
// menus and buttons of the windows opened before it; the screen written to `picture` (unless
// empty; PICTURE-results-first.png with the results window opened first).
bool CheckOpenedWindows(const QString& sample, QSettings& settings, UserDialogs& dialogs, const QString& picture)
{
    QTemporaryDir dir;
    for (const char* file : {"race.TP1", "Elsa.txt", "Saga.txt", "Svalan.txt", "Vinga.txt"})
        QFile::copy(sample + u'/' + QLatin1String(file), dir.filePath(QLatin1String(file)));
    QFile course(dir.filePath(QStringLiteral("race.TP1.course")));
    if (!course.open(QIODevice::WriteOnly) || course.write("finish 57.598843 11.502571 57.601157 11.497429\r\n") < 0)
        return false;
    course.close();
    QDir::setCurrent(dir.path());
    bool ok = true;
    for (const bool resultsFirst : {false, true}) {
        auto main = MakeWindow(settings, dialogs);
        main->openRaceFile(dir.filePath(QStringLiteral("race.TP1")));
        QTest::qWait(300);
        QTest::mouseClick(Find<QPushButton>(main.get(), "cmdStart"), Qt::LeftButton);
        FrmControl* control = main->controlWindow();
        QTest::qWait(300);
        struct Opened {
            const char* button;
            const char* object;
            const char* name;
        };
        const Opened analysis{"cmdAnalysis", "frmAnalysis", "the Analysis window"};
        const Opened results{"cmdResults", "frmResults", "the results window"};
        const Opened order[] = {resultsFirst ? results : analysis, resultsFirst ? analysis : results};
        // In the order they opened: each opened later lies above those before it.
        std::vector<std::pair<QString, QWidget*>> windows{
            {QStringLiteral("the set-up window"), main.get()},
            {QStringLiteral("the chart window"), main->earth()->replayView()->window()},
            {QStringLiteral("the control window"), control}};
        for (const Opened& opened : order) {
            QTest::mouseClick(Find<QPushButton>(control, opened.button), Qt::LeftButton);
            QTest::qWait(600); // shown and placed by the window manager
            windows.emplace_back(QString::fromLatin1(opened.name), Find<QWidget>(main.get(), opened.object));
        }
        const QRect screen = main->screen()->availableGeometry();
        for (std::size_t i = 3; i < windows.size(); ++i) {
            const auto& [name, window] = windows[i];
            if (!window || !window->isVisible()) {
                std::fprintf(stderr, "%s did not open\n", qPrintable(name));
                ok = false;
                continue;
            }
            ok &= CheckInside(name, window->frameGeometry(), screen);
            ok &= CheckApart(windows[2].first, control->frameGeometry(), name, window->frameGeometry());
            for (std::size_t j = 0; j < i; ++j)
                ok &= CheckClearOf(name, window, windows[j].first, windows[j].second);
        }
        if (!picture.isEmpty()) {
            QString named = picture;
            ok &= Capture(resultsFirst ? named.replace(QStringLiteral(".png"), QStringLiteral("-results-first.png"))
                                       : named,
                          screen);
        }
        control->close();
    }
    return ok;
}

// The Analysis window, opened over the replay stopped where it is, shows the sample's
// manoeuvres inside the screen and clear of the windows before it.
bool CheckAnalysisWindow(FrmMain* main, FrmControl* control, QWidget* chart, const QRect& screen, const QDir& out)
{
    QTest::mouseClick(Find<QPushButton>(control, "cmdStop"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>(control, "cmdAnalysis"), Qt::LeftButton);
    QWidget* analysis = main->findChild<QWidget*>(QStringLiteral("frmAnalysis"));
    if (!analysis ||
        !QTest::qWaitFor([&] { return Find<QTableView>(analysis, "lstManoeuvres")->model()->rowCount() > 0; }, 60000)) {
        std::fputs("the Analysis window did not show the manoeuvres\n", stderr);
        return false;
    }
    QTest::qWait(500); // laid out and placed, the graph drawn
    bool ok = CheckInside(QStringLiteral("the Analysis window"), analysis->frameGeometry(), screen);
    ok &= CheckApart(QStringLiteral("the control window"), control->frameGeometry(),
                     QStringLiteral("the Analysis window"), analysis->frameGeometry());
    ok &= CheckClearOf(QStringLiteral("the Analysis window"), analysis, QStringLiteral("the set-up window"), main);
    ok &= CheckClearOf(QStringLiteral("the Analysis window"), analysis, QStringLiteral("the chart window"), chart);
    ok &= Capture(out.filePath(QStringLiteral("analysis-window.png")), analysis->frameGeometry());
    return ok;
}

// The chart and control windows that Start opens lie inside the screen, apart from each other
// and from Start.
bool CheckReplayWindowsPlaced(FrmMain* main, const QRect& screen)
{
    FrmControl* control = main->controlWindow();
    QWidget* chart = main->earth()->replayView()->window();
    bool ok = CheckInside(QStringLiteral("the chart window"), chart->frameGeometry(), screen);
    ok &= CheckInside(QStringLiteral("the control window"), control->frameGeometry(), screen);
    ok &= CheckApart(QStringLiteral("the chart window"), chart->frameGeometry(), QStringLiteral("the control window"),
                     control->frameGeometry());
    const QRect start = Find<QPushButton>(main, "cmdStart")
                            ->rect()
                            .translated(Find<QPushButton>(main, "cmdStart")->mapToGlobal(QPoint(0, 0)));
    ok &= CheckApart(QStringLiteral("the chart window"), chart->frameGeometry(), QStringLiteral("Start"), start);
    ok &= CheckApart(QStringLiteral("the control window"), control->frameGeometry(), QStringLiteral("Start"), start);
    return ok;
}

// The set-up window with the sample race (started in its folder), then the replay played from
// the keyboard to 01:15:00 and the Analysis window over it.
bool CheckSampleReplay(const QString& sample, const QDir& out, QSettings& settings, UserDialogs& dialogs)
{
    QDir::setCurrent(sample);
    auto main = MakeWindow(settings, dialogs);
    main->openRaceFile(sample + QStringLiteral("/race.TP1"));
    QTest::qWait(300); // placed by the window manager
    const QRect screen = main->screen()->availableGeometry();
    bool ok = CheckInside(QStringLiteral("the set-up window"), main->frameGeometry(), screen);
    ok &= CheckControlsShown(main.get());
    ok &= Capture(out.filePath(QStringLiteral("setup-window.png")), main->frameGeometry());

    QTest::mouseClick(Find<QPushButton>(main.get(), "cmdStart"), Qt::LeftButton);
    FrmControl* control = main->controlWindow();
    QTest::qWait(300);
    ok &= CheckReplayWindowsPlaced(main.get(), screen);
    if (QApplication::focusWidget() != Find<QPushButton>(control, "cmdPlay"))
        std::fputs("warning: Play does not have the focus after Start\n", stderr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // Play, from the keyboard
    auto* raceTime = Find<QLineEdit>(control, "txtRaceTime");
    // The window shows the race time at most every 15 ms, so it may skip a step's time:
    // waited for is the first shown at or after 01:15:00 ("hh:mm:ss" texts sort by time).
    if (!QTest::qWaitFor([&] { return raceTime->text() >= QStringLiteral("01:15:00"); }, 120000))
        std::fputs("the replay did not reach 01:15:00\n", stderr);
    ok &= Capture(out.filePath(QStringLiteral("replay-windows.png")), screen);
    ok &= Capture(out.filePath(QStringLiteral("control-window.png")), control->frameGeometry());

    ok &= CheckAnalysisWindow(main.get(), control, main->earth()->replayView()->window(), screen, out);
    control->close();
    return ok;
}

// Ten starts in a row put the window where the last one left it, frame and all.
bool CheckStartsInPlace(QSettings& settings, UserDialogs& dialogs)
{
    QRect first;
    for (int run = 0; run < 10; ++run) {
        auto main = MakeWindow(settings, dialogs);
        QTest::qWait(300);
        if (run == 0)
            first = main->frameGeometry();
        else if (main->frameGeometry() != first) {
            std::fprintf(stderr, "start %d puts the window at %d,%d %dx%d, not where the first did (%d,%d %dx%d)\n",
                         run + 1, main->frameGeometry().x(), main->frameGeometry().y(), main->frameGeometry().width(),
                         main->frameGeometry().height(), first.x(), first.y(), first.width(), first.height());
            return false;
        }
        main->close();
    }
    return true;
}

// A race being assembled from the sample's track files, copied to a folder of their own
// (`race`): three boats added, the fourth's file picked and the second boat's row selected.
bool CaptureAssembling(const QString& sample, const QString& race, const QDir& out, QSettings& settings,
                       UserDialogs& dialogs)
{
    QDir().mkpath(race);
    for (const char* file : {"Elsa.txt", "Saga.txt", "Svalan.txt", "Vinga.txt"})
        QFile::copy(sample + u'/' + QLatin1String(file), race + u'/' + QLatin1String(file));
    QDir::setCurrent(race);
    auto main = MakeWindow(settings, dialogs);
    const struct {
        const char* file;
        const char* start;
        const char* lys;
        const char* colour;
        const char* sep;
    } boats[] = {{"Elsa.txt", "2008-06-21 11:00:00", "1.00", "0", ","},
                 {"Saga.txt", "2008-06-21 11:03:30", "1.05", "1023", ","},
                 {"Svalan.txt", "2008-06-21 11:08:00", "1.12", "511", ";"}};
    for (const auto& b : boats) {
        ClickFile(main.get(), QString::fromLatin1(b.file));
        Type(main.get(), "txtStarttid", QString::fromLatin1(b.start));
        Type(main.get(), "txtLYStal", QString::fromLatin1(b.lys));
        Type(main.get(), "txtColor", QString::fromLatin1(b.colour));
        Type(main.get(), "txtSepChar", QString::fromLatin1(b.sep));
        QTest::mouseClick(Find<QPushButton>(main.get(), "cmdAdd"), Qt::LeftButton);
    }
    ClickFile(main.get(), QStringLiteral("Vinga.txt"));
    ClickRow(Find<QListWidget>(main.get(), "lstBoats"), 1);
    return Capture(out.filePath(QStringLiteral("assembling-a-race.png")), main->frameGeometry());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fputs("usage: tideplot-screenshots SOURCE_DIR OUT_DIR [SCREEN_PICTURE]\n", stderr);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString sample = source + QStringLiteral("/examples/sample-race");
    QTemporaryDir dir;
    // A first start: nothing stored.
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Map/Source"), QStringLiteral("none")); // the pictures are made offline
    QuietDialogs dialogs;
    bool ok = CheckSampleReplay(sample, out, settings, dialogs);
    ok &= CheckStartsInPlace(settings, dialogs);
    ok &= CheckOpenedWindows(sample, settings, dialogs, argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString());
    ok &= CaptureAssembling(sample, dir.filePath(QStringLiteral("Race")), out, settings, dialogs);
    return ok ? 0 : 1;
}
