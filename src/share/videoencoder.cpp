#include "share/videoencoder.h"

#include "core/error.h"

#include "share/ffmpeglibraries.h"

#include <QFile>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace tideplot {

namespace {

// The encoders tried, in order: x264 gives the smaller file at the same quality.
const char* const kH264Encoders[] = {"libx264", "libopenh264"};

// libx264's speed against size and sharpness. The camera moves at every step, so every
// frame is new: the encoder is most of the work. "superfast" at rate factor 26 takes a
// third less time than x264's defaults for a light preset ("veryfast", 23) for a file of
// the same size, the chart's thin lines and small texts still sharp (docs/performance.md).
constexpr const char* kX264Preset = "superfast";
constexpr const char* kX264Quality = "26"; // constant rate factor
constexpr int kKeyFrameSeconds = 2;        // a key frame this often: a player seeks fast

// Pictures larger than full HD are encoded with few pictures in flight: x264 holds about
// kPicturesPerThread pictures for each of its frame threads, and by default runs one and a
// half threads a core, and holds pictures back for B-frames; at 4096x2304 that came to
// 680 MB on two cores (docs/performance.md), and grows with the cores. Without B-frames,
// with no lookahead of its own, and with as many threads as kEncoderPictureBytes holds,
// the encoder's memory is bounded whatever the machine.
constexpr long long kFullHdPixels = 1920LL * 1088;
constexpr long long kEncoderPictureBytes = 256LL << 20;
constexpr long long kPicturesPerThread = 6;

// FFmpeg's own lines stay off the terminal; the last error it reported goes into
// the message of the Error that follows it.
std::mutex logMutex;
std::string lastLibraryError;

void LogToLastError(void* avcl, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int printPrefix = 1;
    FFmpeg().av_log_format_line2(avcl, level, format, args, line, sizeof line, &printPrefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::lock_guard<std::mutex> lock(logMutex);
    lastLibraryError = text;
}

std::string TakeLastLibraryError()
{
    const std::lock_guard<std::mutex> lock(logMutex);
    std::string text;
    text.swap(lastLibraryError);
    return text;
}

std::string AvErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    FFmpeg().av_strerror(code, text, sizeof text);
    std::string message(text);
    const std::string library = TakeLastLibraryError();
    if (!library.empty())
        message += " (" + library + ")";
    return message;
}

} // namespace

void CheckVideoPlayable(const QSize& sizePx)
{
    const long long w = sizePx.width(), h = sizePx.height();
    if (w <= kMaxPlayableVideoSidePx && h <= kMaxPlayableVideoSidePx && w * h <= kMaxPlayableVideoPixels)
        return;
    throw Error("the video size " + std::to_string(w) + "x" + std::to_string(h) +
                " is larger than H.264 players take: at most " + std::to_string(kMaxPlayableVideoSidePx) +
                " pixels a side and 4096x2304 in all (H.264 level 5.1), e.g. 3840x2160; a picture alone "
                "(--screenshot) may be larger");
}

void CheckVideoSettings(const VideoSettings& settings)
{
    const int w = settings.SizePx.width(), h = settings.SizePx.height();
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    if (w < kMinVideoSidePx || h < kMinVideoSidePx || w > kMaxVideoSidePx || h > kMaxVideoSidePx)
        throw Error("the video size " + size + " is outside " + std::to_string(kMinVideoSidePx) + "x" +
                    std::to_string(kMinVideoSidePx) + " to " + std::to_string(kMaxVideoSidePx) + "x" +
                    std::to_string(kMaxVideoSidePx));
    if (w % 2 != 0 || h % 2 != 0)
        throw Error("the video size " + size +
                    " has an odd side: H.264 in yuv420p needs an even width and height (try " +
                    std::to_string(w + w % 2) + "x" + std::to_string(h + h % 2) + ")");
    if (settings.FramesPerSecond < 1 || settings.FramesPerSecond > kMaxFramesPerSecond)
        throw Error("the video's frame rate " + std::to_string(settings.FramesPerSecond) +
                    " is not a whole number of frames a second from 1 to " + std::to_string(kMaxFramesPerSecond));
}

QSize ParseVideoSize(const std::string& text)
{
    const auto x = text.find_first_of("xX");
    auto whole = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(digits);
        return true;
    };
    int w = 0, h = 0;
    if (x == std::string::npos || !whole(text.substr(0, x), w) || !whole(text.substr(x + 1), h))
        throw Error("\"" + text + "\" is no picture size such as 1280x720");
    return QSize(w, h);
}

struct VideoEncoder::Impl {
    const FFmpegLibraries* av = nullptr; // null when FFmpeg's libraries cannot be loaded
    QString path;
    VideoSettings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    long long frames = 0;
    bool headerWritten = false;
    bool finished = false;

    ~Impl()
    {
        if (!av)
            return;
        if (format && format->pb)
            av->avio_closep(&format->pb);
        av->avformat_free_context(format);
        av->avcodec_free_context(&codec);
        av->sws_freeContext(scaler);
        av->av_frame_free(&frame);
        av->av_packet_free(&packet);
    }

    [[noreturn]] void fail(const std::string& what, int code) const
    {
        throw Error("cannot write the video \"" + path.toStdString() + "\": " + what + ": " + AvErrorText(code));
    }

    // The steps of opening a video, in this order.
    // The MP4 writer for `url` (named, not guessed from the file's name), the encoder's
    // context, a frame and a packet.
    void allocate(const std::string& url, const AVCodec* encoder);
    // The encoder set up for the chart's pictures (size, rate, BT.709 colours, quality) and
    // started.
    void openCodec(const AVCodec* encoder);
    // The MP4's video stream, described as the encoder makes it.
    void addStream();
    // The frame the pictures are converted into, and the conversion.
    void makeFrameAndScaler();
    // The file opened and the MP4's header written.
    void openFile(const std::string& url);

    // Sends `input` (nullptr: the end) and writes every packet the encoder gives back.
    void encode(const AVFrame* input)
    {
        int status = av->avcodec_send_frame(codec, input);
        if (status < 0)
            fail("the encoder refused a frame", status);
        for (;;) {
            status = av->avcodec_receive_packet(codec, packet);
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return;
            if (status < 0)
                fail("the encoder failed", status);
            av->av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            status = av->av_interleaved_write_frame(format, packet);
            if (status < 0)
                fail("a frame cannot be written", status);
        }
    }
};

namespace {

// The first of kH264Encoders this FFmpeg has.
const AVCodec* FindH264Encoder(const FFmpegLibraries& av, const QString& path)
{
    const AVCodec* encoder = nullptr;
    for (const char* name : kH264Encoders)
        if ((encoder = av.avcodec_find_encoder_by_name(name)))
            break;
    if (!encoder)
        throw Error("cannot write the video \"" + path.toStdString() +
                    "\": this FFmpeg (libavcodec " LIBAVCODEC_IDENT ") has no H.264 encoder (libx264 or "
                    "libopenh264); install a libavcodec built with one, as Debian's is");
    return encoder;
}

} // namespace

void VideoEncoder::Impl::allocate(const std::string& url, const AVCodec* encoder)
{
    int status = av->avformat_alloc_output_context2(&format, nullptr, "mp4", url.c_str());
    if (status < 0 || !format)
        fail("no MP4 writer", status);
    codec = av->avcodec_alloc_context3(encoder);
    frame = av->av_frame_alloc();
    packet = av->av_packet_alloc();
    if (!codec || !frame || !packet)
        fail("out of memory", AVERROR(ENOMEM));
}

void VideoEncoder::Impl::openCodec(const AVCodec* encoder)
{
    AVCodecContext* c = codec;
    c->width = settings.SizePx.width();
    c->height = settings.SizePx.height();
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, settings.FramesPerSecond};
    c->framerate = AVRational{settings.FramesPerSecond, 1};
    c->gop_size = settings.FramesPerSecond * kKeyFrameSeconds;
    c->sample_aspect_ratio = AVRational{1, 1};
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (std::string(encoder->name) == "libx264") {
        av->av_opt_set(c->priv_data, "preset", kX264Preset, 0);
        av->av_opt_set(c->priv_data, "crf", kX264Quality, 0);
        av->av_opt_set(c->priv_data, "profile", "high", 0);
        const long long pixels = static_cast<long long>(c->width) * c->height;
        if (pixels > kFullHdPixels) {
            const long long pictureBytes = pixels * 3 / 2; // yuv420p
            const long long cores = std::max(1U, std::thread::hardware_concurrency());
            c->thread_count = static_cast<int>(std::clamp(kEncoderPictureBytes / (kPicturesPerThread * pictureBytes),
                                                          1LL, std::max(1LL, cores * 3 / 2)));
            av->av_opt_set(c->priv_data, "x264-params", "bframes=0:sync-lookahead=0", 0);
        }
    } else {
        // A bit rate that keeps the chart's lines and texts sharp.
        c->bit_rate = static_cast<int64_t>(c->width) * c->height * settings.FramesPerSecond / 10;
    }
    const int status = av->avcodec_open2(c, encoder, nullptr);
    if (status < 0)
        fail(std::string("the encoder ") + encoder->name + " cannot start", status);
}

void VideoEncoder::Impl::addStream()
{
    stream = av->avformat_new_stream(format, nullptr);
    if (!stream)
        fail("out of memory", AVERROR(ENOMEM));
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    const int status = av->avcodec_parameters_from_context(stream->codecpar, codec);
    if (status < 0)
        fail("the stream cannot be described", status);
}

void VideoEncoder::Impl::makeFrameAndScaler()
{
    frame->format = codec->pix_fmt;
    frame->width = codec->width;
    frame->height = codec->height;
    const int status = av->av_frame_get_buffer(frame, 0);
    if (status < 0)
        fail("out of memory", status);

    // QImage's 32-bit pixels (0xAARRGGBB in the machine's byte order) to yuv420p in
    // BT.709's limited range, as the stream says.
    scaler = av->sws_getContext(codec->width, codec->height, AV_PIX_FMT_RGB32, codec->width, codec->height,
                                AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                                nullptr, nullptr);
    if (!scaler)
        fail("no conversion to yuv420p", AVERROR(EINVAL));
    const int* bt709 = av->sws_getCoefficients(SWS_CS_ITU709);
    av->sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
}

void VideoEncoder::Impl::openFile(const std::string& url)
{
    int status = av->avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (status < 0)
        fail("the file cannot be opened", status);
    AVDictionary* muxerOptions = nullptr;
    av->av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    status = av->avformat_write_header(format, &muxerOptions);
    av->av_dict_free(&muxerOptions);
    if (status < 0)
        fail("the file's header cannot be written", status);
    headerWritten = true;
}

VideoEncoder::VideoEncoder(const QString& path, const VideoSettings& settings) : d_(std::make_unique<Impl>())
{
    CheckVideoSettings(settings);
    CheckVideoPlayable(settings.SizePx);
    try {
        d_->av = &FFmpeg();
    } catch (const Error& e) {
        throw Error("cannot write the video \"" + path.toStdString() + "\": " + e.what());
    }
    d_->av->av_log_set_callback(LogToLastError);
    TakeLastLibraryError();
    d_->path = path;
    d_->settings = settings;
    const AVCodec* encoder = FindH264Encoder(*d_->av, path);
    // The muxer is named, not guessed from the file's name, and the file is opened as a
    // file whatever its name holds (a ':' would otherwise name a protocol).
    const std::string url = "file:" + std::string(QFile::encodeName(path).constData());
    d_->allocate(url, encoder);
    d_->openCodec(encoder);
    d_->addStream();
    d_->makeFrameAndScaler();
    d_->openFile(url);
}

VideoEncoder::~VideoEncoder() = default;

void VideoEncoder::addFrame(const QImage& picture)
{
    if (d_->finished)
        throw Error("cannot write the video \"" + d_->path.toStdString() + "\": it is already finished");
    if (picture.size() != d_->settings.SizePx)
        throw Error("cannot write the video \"" + d_->path.toStdString() + "\": a picture of " +
                    std::to_string(picture.width()) + "x" + std::to_string(picture.height()) +
                    " does not fit a video of " + std::to_string(d_->settings.SizePx.width()) + "x" +
                    std::to_string(d_->settings.SizePx.height()));
    const QImage* pixels = &picture;
    QImage converted;
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32 &&
        picture.format() != QImage::Format_ARGB32_Premultiplied) {
        converted = picture.convertToFormat(QImage::Format_RGB32);
        pixels = &converted;
    }
    int status = d_->av->av_frame_make_writable(d_->frame);
    if (status < 0)
        d_->fail("out of memory", status);
    const uint8_t* source[1] = {pixels->constBits()};
    const int sourceStride[1] = {static_cast<int>(pixels->bytesPerLine())};
    d_->av->sws_scale(d_->scaler, source, sourceStride, 0, pixels->height(), d_->frame->data, d_->frame->linesize);
    d_->frame->pts = d_->frames;
    d_->encode(d_->frame);
    ++d_->frames;
}

void VideoEncoder::finish()
{
    if (d_->finished)
        return;
    if (d_->frames == 0)
        throw Error("cannot write the video \"" + d_->path.toStdString() +
                    "\": it would hold no frame (the replay took no step)");
    d_->encode(nullptr);
    const int status = d_->av->av_write_trailer(d_->format);
    if (status < 0)
        d_->fail("the end of the file cannot be written", status);
    const int closed = d_->av->avio_closep(&d_->format->pb);
    if (closed < 0)
        d_->fail("the file cannot be closed", closed);
    d_->finished = true;
}

long long VideoEncoder::frames() const
{
    return d_->frames;
}

std::string VideoEncoder::encoderName() const
{
    return d_->codec && d_->codec->codec ? d_->codec->codec->name : "";
}

} // namespace tideplot
