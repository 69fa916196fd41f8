// Takes the README's pictures of the windows on a real X display, driving them as a user
// would: scripts/screenshots.sh runs it under xvfb-run and writes docs/*.png.
//
//   tideplot-screenshots SOURCE_DIR OUT_DIR
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/earthfactory.h"
#include "ui/dialogs.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

using namespace tideplot;

class QuietDialogs : public UserDialogs {
public:
    QString askFileName(const QString&, const QString&, FileQuestion) override { return {}; }
    void tell(const QString& text, MessageKind) override
    {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    std::unique_ptr<ProgressReport> showProgress(const QString&) override { return nullptr; }
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: tideplot-screenshots SOURCE_DIR OUT_DIR\n", stderr);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString sample = source + QStringLiteral("/examples/sample-race");
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    // The window at its designed size (11820 by 10725 twips inside, with the menu bar).
    for (auto [key, value] : {std::pair{"MainLeft", 0}, {"MainTop", 0}, {"MainWidth", 11820}, {"MainHeight", 11130}})
        settings.setValue(QStringLiteral("Settings/") + key, value);
    QuietDialogs dialogs;
    bool ok = true;

    // The set-up window with the sample race (started in its folder), then the replay.
    QDir::setCurrent(sample);
    {
        auto main = MakeWindow(settings, dialogs);
        main->openRaceFile(sample + QStringLiteral("/race.TP1"));
        ok &= Capture(out.filePath(QStringLiteral("setup-window.png")), main->frameGeometry());

        QTest::mouseClick(Find<QPushButton>(main.get(), "cmdStart"), Qt::LeftButton);
        FrmControl* control = main->controlWindow();
        auto* chart = dynamic_cast<ChartApplication*>(main->earth())->widget();
        chart->setGeometry(0, 0, 1000, 720);
        control->move(chart->geometry().right() - control->width() - 10, 10);
        QTest::mouseClick(Find<QPushButton>(control, "cmdPlay"), Qt::LeftButton);
        auto* raceTime = Find<QLineEdit>(control, "txtRaceTime");
        // The window shows the race time at most every 15 ms, so it may skip a step's time:
        // waited for is the first shown at or after 01:15:00 ("hh:mm:ss" texts sort by time).
        if (!QTest::qWaitFor([&] { return raceTime->text() >= QStringLiteral("01:15:00"); }, 120000))
            std::fputs("the replay did not reach 01:15:00\n", stderr);
        ok &= Capture(out.filePath(QStringLiteral("replay-windows.png")), chart->frameGeometry());
        control->close();
    }

    // A race being assembled from the sample's track files, copied to a folder of their own.
    const QString race = dir.filePath(QStringLiteral("Race"));
    QDir().mkpath(race);
    for (const char* file : {"Elsa.txt", "Saga.txt", "Svalan.txt", "Vinga.txt"})
        QFile::copy(sample + u'/' + QLatin1String(file), race + u'/' + QLatin1String(file));
    {
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
        ok &= Capture(out.filePath(QStringLiteral("assembling-a-race.png")), main->frameGeometry());
    }
    return ok ? 0 : 1;
}
