#include "outputfile.h"

#include "error.h"
#include "exitcleanup.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tideplot {

namespace {

bool IsStream(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

// The file a path names, its symbolic links followed (as far as they lead), so that the
// new file replaces the file and not the link.
QString FollowLinks(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 64 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void CannotWrite(const std::string& what, const QString& path, const QString& reason)
{
    throw Error("cannot write " + what + " \"" + path.toStdString() + "\": " + reason.toStdString());
}

// Whether `path` reaches its file through a descriptor the program holds (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N), as far as its symbolic links lead.
bool ThroughDescriptor(const QString& path)
{
    static const QRegularExpression descriptor(QStringLiteral("^/(dev|proc/(self|thread-self|\\d+))/fd/\\d+$"));
    QFileInfo info(path);
    for (int depth = 0; depth < 64; ++depth) {
        if (descriptor.match(QDir::cleanPath(info.absoluteFilePath())).hasMatch())
            return true;
        if (!info.isSymLink())
            return false;
        info.setFile(info.symLinkTarget());
    }
    return false;
}

} // namespace

void CheckOutputPath(const QString& path, const std::string& what)
{
    const QFileInfo info(path);
    if (info.isDir())
        CannotWrite(what, path, QStringLiteral("it is a folder"));
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode) &&
        !ThroughDescriptor(path))
        CannotWrite(what, path, QStringLiteral("it is a FIFO (a named pipe), not a file"));
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code errorA, errorB;
    const auto canonicalA = std::filesystem::weakly_canonical(std::filesystem::absolute(a, errorA), errorA);
    const auto canonicalB = std::filesystem::weakly_canonical(std::filesystem::absolute(b, errorB), errorB);
    return !errorA && !errorB && canonicalA == canonicalB;
}

OutputFile::OutputFile(const QString& path, std::string what, Access access)
    : path_(path), what_(std::move(what)), target_(path)
{
    CheckOutputPath(path, what_);
    if (IsStream(path)) {
        // Opened without waiting: a pipe that nobody reads fails at once. Then written as
        // any file.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            Fail(SystemError(errno));
        file_ = std::make_unique<QFile>(path);
        // Unbuffered: every write reaches the file at once, so its failure is seen where it
        // happens and not only when a buffer is flushed.
        if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
            !file_->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
            const int error = errno;
            ::close(fd);
            Fail(SystemError(error));
        }
        return;
    }
    target_ = FollowLinks(path);
    const QFileInfo targetInfo(target_);
    struct stat old {};
    const bool replacing = ::stat(QFile::encodeName(target_).constData(), &old) == 0 && S_ISREG(old.st_mode);
    const bool ownerOnly = access == Access::OwnerOnly;

    // A short name beside the file, whatever the length of its own.
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary_ =
            targetInfo.path() +
            QStringLiteral("/.tideplot-%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        // Until it holds the permissions it is to have, only the owner reads it.
        fd = ::open(QFile::encodeName(temporary_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    replacing || ownerOnly ? 0600 : 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100)) {
            const int error = errno;
            temporary_.clear();
            Fail(SystemError(error));
        }
    }
    forcedExit_ = std::make_unique<RemovedOnForcedExit>(QFile::encodeName(temporary_).toStdString());
    file_ = std::make_unique<QFile>(temporary_);
    const mode_t mode = ownerOnly ? 0600 : (replacing ? old.st_mode & 07777 : 0);
    if ((mode != 0 && ::fchmod(fd, mode) != 0) ||
        !file_->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        if (!file_->isOpen())
            ::close(fd);
        RemoveTemporary();
        Fail(SystemError(error));
    }
}

OutputFile::~OutputFile()
{
    RemoveTemporary();
}

void OutputFile::RemoveTemporary()
{
    if (temporary_.isEmpty())
        return;
    if (file_)
        file_->close();
    ::unlink(QFile::encodeName(temporary_).constData());
    temporary_.clear();
    forcedExit_.reset();
}

void OutputFile::Fail(const QString& reason) const
{
    CannotWrite(what_, path_, reason);
}

void OutputFile::Write(std::string_view bytes)
{
    const auto size = static_cast<qint64>(bytes.size());
    errno = 0;
    const qint64 written = file_->write(bytes.data(), size);
    const int error = errno;
    if (written == size && file_->error() == QFileDevice::NoError) {
        written_ += size;
        return;
    }
    // A short write (a full disk, a file-size limit) leaves the device without an error
    // of its own: the system's reason is in errno.
    if (file_->error() != QFileDevice::NoError)
        Fail(file_->errorString());
    if (error != 0)
        Fail(SystemError(error));
    Fail(QStringLiteral("only %1 of %2 bytes were written").arg(std::max<qint64>(written, 0)).arg(size));
}

void OutputFile::Write(const QByteArray& bytes)
{
    Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void OutputFile::Commit()
{
    const PreparedFile prepared = Prepare();
    if (prepared.Temporary.isEmpty())
        return;
    const ForcedExitHeld renaming;
    if (::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(target_).constData()) != 0)
        Fail(SystemError(errno));
    temporary_.clear();
    forcedExit_.reset();
}

PreparedFile OutputFile::Prepare()
{
    PreparedFile prepared{temporary_, target_, path_, what_};
    if (temporary_.isEmpty() || !file_->isOpen()) {
        file_->close();
        return prepared;
    }
    // What the file system holds, not only what the writes returned, and on the disk,
    // before it replaces the old file.
    const int fd = file_->handle();
    struct stat written {};
    if (::fstat(fd, &written) != 0)
        Fail(SystemError(errno));
    if (written.st_size != written_)
        Fail(QStringLiteral("the new file came out at %1 bytes instead of %2")
                 .arg(static_cast<qint64>(written.st_size))
                 .arg(written_));
    if (::fsync(fd) != 0)
        Fail(SystemError(errno));
    file_->close();
    return prepared;
}

void CommitTogether(const std::vector<PreparedFile>& files)
{
    // A forced end waits until every file is in place, or every one back as it was.
    const ForcedExitHeld renaming;
    struct Placed {
        const PreparedFile* File;
        QByteArray Backup; // the old file under another name; empty when there was none
    };
    std::vector<Placed> placed;
    const auto undo = [&placed] {
        for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
            const QByteArray target = QFile::encodeName(it->File->Target);
            if (it->Backup.isEmpty())
                ::unlink(target.constData());
            else
                ::rename(it->Backup.constData(), target.constData());
        }
    };
    for (const PreparedFile& file : files) {
        if (file.Temporary.isEmpty())
            continue;
        const QByteArray target = QFile::encodeName(file.Target);
        // The old file stays reachable under a second name (a hard link) until every file
        // is in place.
        QByteArray backup;
        struct stat old {};
        if (::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
            for (int attempt = 0; attempt < 100 && backup.isEmpty(); ++attempt) {
                const QByteArray name =
                    QFile::encodeName(QFileInfo(file.Target).path() +
                                      QStringLiteral("/.tideplot-%1.old")
                                          .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
                // A file system without hard links: the old file moves aside instead.
                if (::link(target.constData(), name.constData()) == 0 ||
                    (errno != EEXIST && ::rename(target.constData(), name.constData()) == 0))
                    backup = name;
                else if (errno != EEXIST)
                    break;
            }
            if (backup.isEmpty()) {
                const int error = errno;
                undo();
                throw Error("cannot write " + file.What + " \"" + file.Path.toStdString() +
                            "\": the old file cannot be kept until every output is written: " +
                            SystemError(error).toStdString());
            }
        }
        if (::rename(QFile::encodeName(file.Temporary).constData(), target.constData()) != 0) {
            const int error = errno;
            if (!backup.isEmpty() && ::rename(backup.constData(), target.constData()) != 0)
                ::unlink(backup.constData());
            undo();
            throw Error("cannot write " + file.What + " \"" + file.Path.toStdString() +
                        "\": " + SystemError(error).toStdString());
        }
        placed.push_back(Placed{&file, backup});
    }
    for (const Placed& p : placed)
        if (!p.Backup.isEmpty())
            ::unlink(p.Backup.constData());
}

} // namespace tideplot
