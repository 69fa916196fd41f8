#include "ziplibrary.h"

#include "core/sharedlibrary.h"

#include <mutex>
#include <optional>

namespace tideplot {

const ZipLibrary& Zip()
{
    static std::mutex mutex;
    static std::optional<ZipLibrary> functions;
    const std::lock_guard<std::mutex> lock(mutex);
    if (functions)
        return *functions;
    const SharedLibrary library(TIDEPLOT_LIBZIP_SONAME, TIDEPLOT_LIBZIP_PACKAGE);
    ZipLibrary found;
#define TIDEPLOT_ZIP_RESOLVE(name) library.Resolve(found.name, #name);
    TIDEPLOT_ZIP_FUNCTIONS(TIDEPLOT_ZIP_RESOLVE)
#undef TIDEPLOT_ZIP_RESOLVE
    functions = found;
    return *functions;
}

} // namespace tideplot
