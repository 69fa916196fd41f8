#include "ziplibrary.h"

#include "core/error.h"
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
    std::optional<SharedLibrary> library;
    try {
        library.emplace(TIDEPLOT_LIBZIP_SONAME, TIDEPLOT_LIBZIP_PACKAGE);
    } catch (const Error& e) {
        throw Error(std::string("libzip, which reads KMZ archives: ") + e.what());
    }
    ZipLibrary found;
#define TIDEPLOT_ZIP_RESOLVE(name) library->Resolve(found.name, #name);
    TIDEPLOT_ZIP_FUNCTIONS(TIDEPLOT_ZIP_RESOLVE)
#undef TIDEPLOT_ZIP_RESOLVE
    functions = found;
    return *functions;
}

} // namespace tideplot
