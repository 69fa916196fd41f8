#include "app/commands.h"

#include <cstdio>

namespace tideplot {

int RunImportKmlCommand(const std::vector<std::string>&)
{
    std::fputs("tideplot import-kml: not built yet\n", stderr);
    return 1;
}

}  // namespace tideplot
