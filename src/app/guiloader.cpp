#include "app/guimodule.h"

#include "core/error.h"
#include "core/sharedlibrary.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace tideplot {

namespace {

// Beside the program (its build folder), else where it is installed: lib/TRIPLET/tideplot
// under the program's prefix.
std::string GuiModulePath()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : program.parent_path();
    const std::filesystem::path beside = folder / TIDEPLOT_GUI_MODULE;
    if (std::filesystem::exists(beside, error))
        return beside.string();
    return (folder.parent_path() / TIDEPLOT_GUI_MODULE_DIR / TIDEPLOT_GUI_MODULE).string();
}

} // namespace

int RunGuiModule(int argc, char** argv)
{
    int (*entry)(int, char**) = nullptr;
    try {
        // Loaded once, for the rest of the program's life.
        static const SharedLibrary module(GuiModulePath(), "tideplot");
        module.Resolve(entry, kGuiModuleEntry);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot: the part of the program that draws: %s\n", e.what());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace tideplot
