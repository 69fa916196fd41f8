#include "app/gui.h"

#include "core/freedmemory.h"

#include "app/args.h"
#include "app/commands.h"
#include "earth/earthfactory.h"
#include "ui/artwork.h"
#include "ui/frmmain.h"
#include "ui/settings.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

namespace tideplot {

namespace {

// A window system is there to show the windows on (other systems always have one).
bool HaveDisplay()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    return HaveWindowSystem();
#else
    return true;
#endif
}

EarthChoice ViewChoice(const ParsedArgs& parsed)
{
    if (!parsed.has("--earth"))
        return EarthChoice{EarthChoice::Kind::Chart, {}};
    std::string text = parsed.value("--earth", "");
    if (text == "auto")
        text.clear();
    try {
        return ParseEarthChoice(QString::fromLocal8Bit(text));
    } catch (const Error& e) {
        throw UsageError(std::string("--earth: ") + e.what());
    }
}

} // namespace

int RunGui(const std::vector<std::string>& args, int& argc, char** argv)
{
    ParsedArgs parsed;
    EarthChoice choice;
    try {
        parsed = ParseArgs(args, {"--earth"}, {});
        if (parsed.positional.size() > 1)
            throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
        choice = ViewChoice(parsed);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot: %s (tideplot --help)\n", e.what());
        return 2;
    }
    if (!HaveDisplay()) {
        std::fputs("tideplot: no display to show the windows on; \"tideplot replay RACE.TP1\" replays a race "
                   "without windows (tideplot --help)\n",
                   stderr);
        return 1;
    }

    LimitMemoryPools();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
    QApplication::setWindowIcon(ArtworkIcon(QStringLiteral("globe")));

    FrmMain::Options options;
    options.createEarth = [choice] { return CreateApplicationGE(choice); };
    FrmMain frmMain(std::move(options));
    frmMain.show();
    if (!parsed.positional.empty())
        frmMain.openRaceFile(QFile::decodeName(QByteArray::fromStdString(parsed.positional[0])));
    return QApplication::exec();
}

} // namespace tideplot
