#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <string>

// Writing pictures as an H.264 video in an MP4 file, through FFmpeg's libraries
// (libavcodec, libavformat, libswscale): the picture format every phone and browser
// plays (yuv420p, BT.709 colours, the index at the front of the file).
namespace tideplot {

struct VideoSettings {
    QSize SizePx{1280, 720};
    int FramesPerSecond = 30;
};

// The limits of a video: width and height even (yuv420p keeps one colour sample for
// every two by two pixels) and from kMinVideoSidePx to kMaxVideoSidePx; 1 to
// kMaxFramesPerSecond frames a second.
inline constexpr int kMinVideoSidePx = 16;
inline constexpr int kMaxVideoSidePx = 8192;
inline constexpr int kMaxFramesPerSecond = 120;

// Throws Error saying what is wrong with the settings (an odd width names the even
// size next to it).
void CheckVideoSettings(const VideoSettings& settings);

// The largest video H.264 players take (level 5.1: 36,864 macroblocks a picture, phones
// and browsers decode no more): 4096x2304 pixels in all, no side above 4096 (2304x4096 on
// its side, 3072x3072 square). The picture of a screenshot alone may be larger.
inline constexpr int kMaxPlayableVideoSidePx = 4096;
inline constexpr long long kMaxPlayableVideoPixels = 4096LL * 2304;
// Throws Error saying what players take, for a larger video size.
void CheckVideoPlayable(const QSize& sizePx);

// Reads "WxH" ("1280x720"); throws Error naming the text when it is no such size.
QSize ParseVideoSize(const std::string& text);

class VideoEncoder {
public:
    // Opens `path` and the encoder: libx264 when libavcodec has it, else libopenh264.
    // The file is written in place (see VideoFile for the whole-or-nothing file).
    // Throws Error naming the file and the reason (a size CheckVideoPlayable refuses), or
    // saying that no H.264 encoder is there.
    VideoEncoder(const QString& path, const VideoSettings& settings);
    // Closes the file, finished or not.
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Encodes the next frame, shown for 1 / FramesPerSecond seconds. The picture must
    // have the video's size. Throws Error naming the file and the reason.
    void addFrame(const QImage& picture);
    // Encodes what the encoder holds back and writes the end of the file. Throws Error
    // when a frame or the file's end cannot be written, or when no frame was added.
    void finish();

    long long frames() const;
    // The libavcodec encoder in use ("libx264").
    std::string encoderName() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tideplot
