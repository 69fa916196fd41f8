#pragma once

#include <string>
#include <vector>

namespace tideplot {

// The program with its windows: `[RACE.TP1] [--earth=chart|googleearth|auto]` opens the
// set-up window, with that race opened as File > Open would. Returns the exit status.
int RunGui(const std::vector<std::string>& args, int& argc, char** argv);

} // namespace tideplot
