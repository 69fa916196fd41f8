#include "share/ffmpeglibraries.h"

#include "core/error.h"

#include <mutex>
#include <string>

#include <dlfcn.h>

namespace tideplot {

namespace {

// A library's file name as the dynamic linker knows it: its SONAME, which carries the
// major version of its interface.
std::string LibraryFile(const char* name, int majorVersion)
{
    return std::string("lib") + name + ".so." + std::to_string(majorVersion);
}

struct Library {
    const char* name;
    int majorVersion;
    void* handle = nullptr;
};

// In the order they depend on each other; each is kept loaded until the program ends.
struct LoadedLibraries {
    Library avutil{"avutil", LIBAVUTIL_VERSION_MAJOR};
    Library swscale{"swscale", LIBSWSCALE_VERSION_MAJOR};
    Library avcodec{"avcodec", LIBAVCODEC_VERSION_MAJOR};
    Library avformat{"avformat", LIBAVFORMAT_VERSION_MAJOR};
};

void Load(Library& library)
{
    if (library.handle)
        return;
    const std::string file = LibraryFile(library.name, library.majorVersion);
    library.handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) {
        const char* reason = dlerror();
        throw Error("FFmpeg's library " + file + " cannot be loaded (" + (reason ? reason : "no reason given") +
                    "); install it (Debian: lib" + library.name + std::to_string(library.majorVersion) + ")");
    }
}

void* Function(const Library& library, const char* name)
{
    dlerror();
    void* address = dlsym(library.handle, name);
    if (!address)
        throw Error("FFmpeg's library " + LibraryFile(library.name, library.majorVersion) + " has no function " + name);
    return address;
}

} // namespace

const FFmpegLibraries& FFmpeg()
{
    static std::mutex mutex;
    static LoadedLibraries libraries;
    static FFmpegLibraries functions;
    static bool loaded = false;
    const std::lock_guard<std::mutex> lock(mutex);
    if (loaded)
        return functions;
    for (Library* library : {&libraries.avutil, &libraries.swscale, &libraries.avcodec, &libraries.avformat})
        Load(*library);
    FFmpegLibraries found;
#define TIDEPLOT_FFMPEG_RESOLVE(library, name)                                                                         \
    found.name = reinterpret_cast<decltype(found.name)>(Function(libraries.library, #name));
    TIDEPLOT_FFMPEG_FUNCTIONS(TIDEPLOT_FFMPEG_RESOLVE)
#undef TIDEPLOT_FFMPEG_RESOLVE
    functions = found;
    loaded = true;
    return functions;
}

} // namespace tideplot
