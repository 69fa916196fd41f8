#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

// FFmpeg's libraries, loaded the first time a video is written (or the About box names
// them), not when the program starts (core/sharedlibrary.h): libavcodec alone pulls in about
// a hundred codec libraries, and mapping and linking them cost every command, the headless
// replay and --version included, some 15 ms. The libraries loaded are those of the major
// versions of the headers the program is built with (libavcodec.so.59 for libavcodec 59).
namespace tideplot {

// The functions the program calls, by library.
#define TIDEPLOT_FFMPEG_FUNCTIONS(X)                                                                                   \
    X(avutil, av_dict_free)                                                                                            \
    X(avutil, av_dict_set)                                                                                             \
    X(avutil, av_frame_alloc)                                                                                          \
    X(avutil, av_frame_free)                                                                                           \
    X(avutil, av_frame_get_buffer)                                                                                     \
    X(avutil, av_frame_make_writable)                                                                                  \
    X(avutil, av_log_format_line2)                                                                                     \
    X(avutil, av_log_set_callback)                                                                                     \
    X(avutil, av_opt_set)                                                                                              \
    X(avutil, av_strerror)                                                                                             \
    X(swscale, sws_freeContext)                                                                                        \
    X(swscale, sws_getCoefficients)                                                                                    \
    X(swscale, sws_getContext)                                                                                         \
    X(swscale, sws_scale)                                                                                              \
    X(swscale, sws_setColorspaceDetails)                                                                               \
    X(avcodec, av_packet_alloc)                                                                                        \
    X(avcodec, av_packet_free)                                                                                         \
    X(avcodec, av_packet_rescale_ts)                                                                                   \
    X(avcodec, avcodec_alloc_context3)                                                                                 \
    X(avcodec, avcodec_find_encoder_by_name)                                                                           \
    X(avcodec, avcodec_free_context)                                                                                   \
    X(avcodec, avcodec_license)                                                                                        \
    X(avcodec, avcodec_open2)                                                                                          \
    X(avcodec, avcodec_parameters_from_context)                                                                        \
    X(avcodec, avcodec_receive_packet)                                                                                 \
    X(avcodec, avcodec_send_frame)                                                                                     \
    X(avcodec, avcodec_version)                                                                                        \
    X(avformat, av_interleaved_write_frame)                                                                            \
    X(avformat, av_write_trailer)                                                                                      \
    X(avformat, avformat_alloc_output_context2)                                                                        \
    X(avformat, avformat_free_context)                                                                                 \
    X(avformat, avformat_new_stream)                                                                                   \
    X(avformat, avformat_write_header)                                                                                 \
    X(avformat, avio_closep)                                                                                           \
    X(avformat, avio_open)

// One pointer per function, named and typed as the function: ffmpeg.avcodec_open2(...).
struct FFmpegLibraries {
#define TIDEPLOT_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    TIDEPLOT_FFMPEG_FUNCTIONS(TIDEPLOT_FFMPEG_POINTER)
#undef TIDEPLOT_FFMPEG_POINTER
};

// Loads libavutil, libswscale, libavcodec and libavformat the first time it is called, and
// returns their functions; later calls return the same. Throws Error naming the library
// that cannot be loaded (and why) or the function it lacks; the next call tries again.
const FFmpegLibraries& FFmpeg();

} // namespace tideplot
