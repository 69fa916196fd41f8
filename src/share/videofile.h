#pragma once

#include "core/outputfile.h"
#include "share/interrupt.h"
#include "share/videoencoder.h"

#include <QString>

#include <memory>

namespace tideplot {

// A video written whole or not at all: the frames go to a temporary file beside it
// (".tideplot-video-XXXXXX" in the same folder), and commit() renames that over the
// named file. Until then, and whenever anything fails or the work is interrupted, an
// older video stays as it was; a VideoFile destroyed without commit() removes its
// temporary file (so does a forced end, see interrupt.h).
class VideoFile {
public:
    // Creates the temporary file and opens the encoder. Throws Error naming the file and
    // the reason (a folder that cannot be written, a name that is a folder, a size larger
    // than players take: CheckVideoPlayable), before anything is created.
    VideoFile(const QString& path, const VideoSettings& settings);
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    // Throws Error naming the file and the reason.
    void addFrame(const QImage& picture);
    // Ends the video and puts it on the disk (fsync); the named file is not touched yet.
    void finish();
    // finish(), then the temporary file replaces the named one.
    void commit();
    // finish(), and the video as a file ready to be put in place (CommitTogether, which
    // renames the temporary file; it is not removed then).
    PreparedFile prepare();

    long long frames() const { return encoder_->frames(); }
    std::string encoderName() const { return encoder_->encoderName(); }
    const QString& path() const { return path_; }

private:
    [[noreturn]] void fail(const std::string& reason) const;

    QString path_;
    QString temporary_;
    std::unique_ptr<RemovedOnForcedExit> forcedExit_;
    std::unique_ptr<VideoEncoder> encoder_;
    bool finished_ = false;
    bool committed_ = false;
};

} // namespace tideplot
