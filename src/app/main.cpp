#include "app/commands.h"
#include "app/guimodule.h"
#include "app/replayoptions.h"
#include "core/text.h"
#include "share/interrupt.h"
#include "tideplot/version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

// The verbs that draw nothing, run by the program itself.
int RunVerb(const std::string& verb, std::vector<std::string>& args, int& argc, char** argv)
{
    if (verb == "replay")
        return tideplot::RunReplayCommand(args, argc, argv, nullptr);
    if (verb == "import" || verb == "import-kml")
        return tideplot::RunImportKmlCommand(args);
    if (verb == "analyse")
        return tideplot::RunAnalyseCommand(args);
    if (verb == "course")
        return tideplot::RunCourseCommand(args);
    return tideplot::RunResultsCommand(args);
}

// True when `arg`, the first argument, is one that the windows take (a race file or
// --earth=...), rather than a command.
bool IsGuiArgument(const std::string& arg)
{
    if (arg.rfind("--earth", 0) == 0)
        return true;
    if (arg.empty() || arg[0] == '-')
        return false;
    std::error_code error;
    return std::filesystem::is_regular_file(arg, error) || (arg.size() > 4 && tideplot::EndsWithNoCase(arg, ".tp1"));
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return tideplot::RunGuiModule(argc, argv);
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
    // What draws is loaded with the module that draws it.
    if (verb == "link" || (verb == "replay" && tideplot::ReplayDraws(args)))
        return CheckedStandardOutput("tideplot " + verb, tideplot::RunGuiModule(argc, argv));
    if (verb == "replay" || verb == "import" || verb == "import-kml" || verb == "results" || verb == "analyse" ||
        verb == "course") {
        const std::string program = verb == "import-kml" ? "tideplot import" : "tideplot " + verb;
        tideplot::WatchSignals(program);
        const int status = RunVerb(verb, args, argc, argv);
        return CheckedStandardOutput(program, status);
    }
    if (IsGuiArgument(verb))
        return tideplot::RunGuiModule(argc, argv);
    std::fprintf(stderr, "tideplot: unknown command \"%s\"\n", verb.c_str());
    PrintUsage(stderr);
    return 2;
}
