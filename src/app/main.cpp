#include "app/commands.h"
#include "app/gui.h"
#include "share/interrupt.h"
#include "tideplot/version.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

void PrintUsage(std::FILE* to)
{
    std::fputs("Usage:\n"
               "  tideplot [RACE.TP1] [--earth=chart|googleearth|auto]\n"
               "                                       the set-up window (with that race opened); the replay\n"
               "                                       draws in the built-in chart, or in Google Earth Pro\n"
               "  tideplot replay RACE.TP1 [options]   replay a race without windows (tideplot replay --help)\n"
               "  tideplot import [--split] LOG...     turn KML, KMZ, GPX, NMEA 0183 and FIT logs into track\n"
               "                                       files (LOG.txt, or LOG.1.txt ... per track with --split)\n"
               "  tideplot link RACE.TP1 [options]     replay a race live in Google Earth Pro\n"
               "  tideplot results RACE.TP1 [--finish LAT1,LON1,LAT2,LON2] [--csv FILE] [--json FILE]\n"
               "                                       the results by the course (tideplot results --help)\n"
               "  tideplot course RACE.TP1 [--write]   propose the course from the tracks (tideplot course --help)\n"
               "  tideplot analyse RACE.TP1 [--wind DEG] [--json FILE] [--csv FILE] [--series FILE]\n"
               "                                       speed, tacks and gybes with their losses, the wind\n"
               "                                       (tideplot analyse --help)\n"
               "  tideplot --help | --version\n",
               to);
}

// What a verb printed must have reached its standard output: a full disk, a closed pipe
// or /dev/full makes the verb fail, with a message on stderr, whatever it returned.
int CheckedStandardOutput(const std::string& program, int status)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout))
        return status;
    // A write that failed earlier left no reason behind; the last flush's is its own.
    if (!flushed && error != 0)
        std::fprintf(stderr, "%s: cannot write the standard output: %s\n", program.c_str(), std::strerror(error));
    else
        std::fprintf(stderr, "%s: cannot write the standard output\n", program.c_str());
    return status != 0 ? status : 1;
}

int RunVerb(const std::string& verb, std::vector<std::string>& args, int& argc, char** argv)
{
    if (verb == "replay")
        return tideplot::RunReplayCommand(args, argc, argv);
    if (verb == "import" || verb == "import-kml")
        return tideplot::RunImportKmlCommand(args);
    if (verb == "link")
        return tideplot::RunLinkCommand(args, argc, argv);
    if (verb == "analyse")
        return tideplot::RunAnalyseCommand(args);
    if (verb == "course")
        return tideplot::RunCourseCommand(args);
    return tideplot::RunResultsCommand(args);
}

} // namespace

namespace tideplot {
bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool HaveWindowSystem()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}
} // namespace tideplot

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return tideplot::RunGui(args, argc, argv);
    if (args[0] == "--help" || args[0] == "-h") {
        PrintUsage(stdout);
        return CheckedStandardOutput("tideplot", 0);
    }
    if (args[0] == "--version") {
        std::printf("Tideplot %s\n", tideplot::kVersionText);
        return CheckedStandardOutput("tideplot", 0);
    }
    const std::string verb = args[0];
    args.erase(args.begin());
    if (verb == "replay" || verb == "import" || verb == "import-kml" || verb == "link" || verb == "results" ||
        verb == "analyse" || verb == "course") {
        const std::string program = verb == "import-kml" ? "tideplot import" : "tideplot " + verb;
        tideplot::WatchSignals(program);
        const int status = RunVerb(verb, args, argc, argv);
        return CheckedStandardOutput(program, status);
    }
    if (tideplot::IsGuiArgument(verb)) {
        args.insert(args.begin(), verb);
        return tideplot::RunGui(args, argc, argv);
    }
    std::fprintf(stderr, "tideplot: unknown command \"%s\"\n", verb.c_str());
    PrintUsage(stderr);
    return 2;
}
