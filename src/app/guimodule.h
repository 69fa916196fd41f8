#pragma once

// The part of the program that draws, with Qt Gui and Qt Widgets: the windows, the link to
// Google Earth Pro and the replay that draws the chart (--screenshot, --video,
// --earth=chart). It is a module of its own (tideplot-gui.so, beside the program in the
// build folder, in lib/TRIPLET/tideplot when installed) that the program loads the first time
// it needs it, so that the verbs that draw nothing map neither Qt Gui nor what it pulls in
// (X11, EGL, fontconfig, FreeType, HarfBuzz, D-Bus). Its one entry point takes the
// program's own arguments.
extern "C" int tideplot_gui_main(int argc, char** argv);

namespace tideplot {

struct ReplayDrawing;

// The name of the module's entry point, for dlsym.
inline constexpr const char* kGuiModuleEntry = "tideplot_gui_main";

// In the program: loads the module and runs its entry point with the program's arguments
// (the windows, `link`, or a `replay` that draws); returns its exit status. A module that
// cannot be loaded is said on stderr, and the status is 1.
int RunGuiModule(int argc, char** argv);

// In the module: what the replay verb draws the chart with.
const ReplayDrawing& ReplayChartDrawing();

} // namespace tideplot
