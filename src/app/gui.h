#pragma once

#include <string>
#include <vector>

namespace tideplot {

// The program with its windows: `[RACE.TP1] [--earth=chart|googleearth|auto]` opens the
// set-up window, with that race opened as File > Open would. Returns the exit status.
int RunGui(const std::vector<std::string>& args, int& argc, char** argv);

// True when `arg`, the first argument, is one that the windows take (a race file or
// --earth=...), rather than a command.
bool IsGuiArgument(const std::string& arg);

} // namespace tideplot
