#include "share/videofile.h"

#include "core/error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tideplot {

namespace {

constexpr int kNameTries = 100;

std::string SystemError(int error)
{
    return std::strerror(error);
}

// The encoder's messages name the temporary file; the user named the other one.
Error NamedAs(const Error& e, const QString& temporary, const QString& path)
{
    std::string message = e.what();
    const std::string from = temporary.toStdString(), to = path.toStdString();
    for (auto at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size()))
        message.replace(at, from.size(), to);
    return Error(message);
}

} // namespace

VideoFile::VideoFile(const QString& path, const VideoSettings& settings) : path_(path)
{
    CheckVideoSettings(settings);
    try {
        CheckVideoPlayable(settings.SizePx);
    } catch (const Error& e) {
        fail(e.what());
    }
    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        fail(S_ISDIR(old.st_mode) ? "it is a folder" : "an MP4 video is written to a file, not to a device or a pipe");

    // A short name in the same folder (the rename stays on one file system, and a long
    // video name does not make the temporary one too long), created only if new, with
    // the permissions the named file has (or a new file would get).
    const QString folder = QFileInfo(path).absolutePath();
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int fd = -1;
    int error = 0;
    for (int attempt = 0; attempt < kNameTries && fd < 0; ++attempt) {
        QString name = QStringLiteral("/.tideplot-video-");
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
        temporary_ = folder + name;
        fd = ::open(QFile::encodeName(temporary_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = errno;
        if (fd < 0 && error != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary_.clear();
        fail(SystemError(error));
    }
    if (exists)
        ::fchmod(fd, old.st_mode & 07777);
    ::close(fd);
    forcedExit_ = std::make_unique<RemovedOnForcedExit>(QFile::encodeName(temporary_).toStdString());
    try {
        encoder_ = std::make_unique<VideoEncoder>(temporary_, settings);
    } catch (const Error& e) {
        QFile::remove(temporary_);
        throw NamedAs(e, temporary_, path_);
    }
}

VideoFile::~VideoFile()
{
    encoder_.reset();
    if (!committed_ && !temporary_.isEmpty())
        ::unlink(QFile::encodeName(temporary_).constData());
}

void VideoFile::fail(const std::string& reason) const
{
    throw Error("cannot write the video \"" + path_.toStdString() + "\": " + reason);
}

void VideoFile::addFrame(const QImage& picture)
{
    try {
        encoder_->addFrame(picture);
    } catch (const Error& e) {
        throw NamedAs(e, temporary_, path_);
    }
}

void VideoFile::finish()
{
    if (finished_)
        return;
    try {
        encoder_->finish();
    } catch (const Error& e) {
        throw NamedAs(e, temporary_, path_);
    }
    // On the disk before it takes the old video's place.
    const int fd = ::open(QFile::encodeName(temporary_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        fail(SystemError(error));
    }
    ::close(fd);
    finished_ = true;
}

PreparedFile VideoFile::prepare()
{
    finish();
    return PreparedFile{temporary_, path_, path_, "the video"};
}

void VideoFile::commit()
{
    finish();
    const ForcedExitHeld renaming;
    if (std::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData()) != 0)
        fail(SystemError(errno));
    committed_ = true;
    forcedExit_.reset();
}

} // namespace tideplot
