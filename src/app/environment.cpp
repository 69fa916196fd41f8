#include "app/commands.h"

#include <QtGlobal>

#include <unistd.h>

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
