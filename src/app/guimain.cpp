#include "app/commands.h"
#include "app/gui.h"
#include "app/guimodule.h"
#include "share/interrupt.h"

#include <string>
#include <vector>

// The module's entry point: the windows with no verb (or a race file), otherwise the verb
// that draws, which watches for Ctrl+C itself as the program's verbs do.
extern "C" int tideplot_gui_main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || (args[0] != "link" && args[0] != "replay"))
        return tideplot::RunGui(args, argc, argv);
    const std::string verb = args[0];
    args.erase(args.begin());
    tideplot::WatchSignals("tideplot " + verb);
    if (verb == "link")
        return tideplot::RunLinkCommand(args, argc, argv);
    return tideplot::RunReplayCommand(args, argc, argv, &tideplot::ReplayChartDrawing());
}
