#include "outputfile.h"

#include "error.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tideplot {

namespace {

bool IsStream(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

} // namespace

OutputFile::OutputFile(const QString& path, std::string what) : path_(path), what_(std::move(what))
{
    if (IsStream(path))
        file_ = std::make_unique<QFile>(path);
    else
        file_ = std::make_unique<QSaveFile>(path);
    // Unbuffered: every write reaches the file at once, so its failure is seen where it
    // happens and not only when a buffer is flushed.
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Fail(file_->errorString());
}

void OutputFile::Fail(const QString& reason) const
{
    throw Error("cannot write " + what_ + " \"" + path_.toStdString() + "\": " + reason.toStdString());
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
        Fail(QString::fromLocal8Bit(std::strerror(error)));
    Fail(QStringLiteral("only %1 of %2 bytes were written").arg(std::max<qint64>(written, 0)).arg(size));
}

void OutputFile::Write(const QByteArray& bytes)
{
    Write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void OutputFile::Commit()
{
    if (auto* save = dynamic_cast<QSaveFile*>(file_.get())) {
        // What the file system holds, not only what the writes returned, before it replaces
        // the old file.
        if (save->size() != written_)
            Fail(QStringLiteral("the new file came out at %1 bytes instead of %2").arg(save->size()).arg(written_));
        if (!save->commit())
            Fail(save->errorString());
    } else {
        file_->close();
    }
}

} // namespace tideplot
