#include "app/commands.h"

#include <cstdio>

namespace tideplot {

int RunReplayCommand(const std::vector<std::string>&)
{
    std::fputs("tideplot replay: not built yet\n", stderr);
    return 1;
}

}  // namespace tideplot
