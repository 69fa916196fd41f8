#include "share/ffmpeglibraries.h"

#include "core/error.h"
#include "core/sharedlibrary.h"

#include <mutex>
#include <optional>
#include <string>

namespace tideplot {

namespace {

// libNAME.so.MAJOR, from the Debian package libNAMEMAJOR.
SharedLibrary LoadFFmpegLibrary(const char* name, int majorVersion)
{
    const std::string major = std::to_string(majorVersion);
    try {
        return SharedLibrary(std::string("lib") + name + ".so." + major, std::string("lib") + name + major);
    } catch (const Error& e) {
        throw Error(std::string("FFmpeg's library ") + e.what());
    }
}

} // namespace

const FFmpegLibraries& FFmpeg()
{
    static std::mutex mutex;
    static std::optional<FFmpegLibraries> functions;
    const std::lock_guard<std::mutex> lock(mutex);
    if (functions)
        return *functions;
    // In the order they depend on each other.
    const SharedLibrary avutil = LoadFFmpegLibrary("avutil", LIBAVUTIL_VERSION_MAJOR);
    const SharedLibrary swscale = LoadFFmpegLibrary("swscale", LIBSWSCALE_VERSION_MAJOR);
    const SharedLibrary avcodec = LoadFFmpegLibrary("avcodec", LIBAVCODEC_VERSION_MAJOR);
    const SharedLibrary avformat = LoadFFmpegLibrary("avformat", LIBAVFORMAT_VERSION_MAJOR);
    FFmpegLibraries found;
#define TIDEPLOT_FFMPEG_RESOLVE(library, name) library.Resolve(found.name, #name);
    TIDEPLOT_FFMPEG_FUNCTIONS(TIDEPLOT_FFMPEG_RESOLVE)
#undef TIDEPLOT_FFMPEG_RESOLVE
    functions = found;
    return *functions;
}

} // namespace tideplot
