#pragma once

#include <string>
#include <vector>

// The command-line verbs of the program. Each takes the arguments after the verb,
// prints its result on stdout and its errors on stderr, and returns the exit status.
namespace tideplot {

struct ReplayDrawing;

// Takes the program's argc and argv for the Qt application the chart view needs, and what
// the chart is drawn with: null in the program, which hands a replay that draws to the
// module that draws (app/replayoptions.h: ReplayDraws).
int RunReplayCommand(const std::vector<std::string>& args, int& argc, char** argv, const ReplayDrawing* drawing);
int RunImportKmlCommand(const std::vector<std::string>& args);
int RunResultsCommand(const std::vector<std::string>& args);
int RunAnalyseCommand(const std::vector<std::string>& args);
int RunCourseCommand(const std::vector<std::string>& args);
// Runs a Qt event loop, which takes the program's own argc and argv.
int RunLinkCommand(const std::vector<std::string>& args, int& argc, char** argv);

// True when stderr is a terminal, so progress may be shown there.
bool StderrIsTerminal();
// True when a window system (X11, Wayland, or a platform Qt is told to use) is there to
// show windows on and open files with.
bool HaveWindowSystem();

} // namespace tideplot
