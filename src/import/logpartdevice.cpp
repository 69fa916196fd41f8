#include "xmlguard.h"

#include "core/error.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tideplot::xmllog {

namespace {

// The source is read this many bytes at a time.
constexpr std::int64_t kReadBytes = std::int64_t{64} << 10;

} // namespace

LogPartDevice::LogPartDevice(std::unique_ptr<QIODevice> source, std::int64_t length, QByteArray prefix,
                             QByteArray suffix)
    : source_(std::move(source)), left_(length), prefix_(std::move(prefix)), suffix_(std::move(suffix))
{
}

bool LogPartDevice::openPart()
{
    if (!source_) {
        failure_ = "no source";
        return false;
    }
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool LogPartDevice::refill()
{
    out_.clear();
    served_ = 0;
    while (out_.empty()) {
        const char* raw = nullptr;
        qint64 n = 0;
        if (prefixRead_ < prefix_.size()) {
            raw = prefix_.constData() + prefixRead_;
            n = std::min<qint64>(kReadBytes, prefix_.size() - prefixRead_);
            prefixRead_ += n;
        } else if (left_ != 0) {
            in_.resize(std::size_t(left_ > 0 ? std::min(left_, kReadBytes) : kReadBytes));
            n = source_->read(in_.data(), qint64(in_.size()));
            if (n == 0 && left_ < 0) {
                left_ = 0;
                continue;
            }
            if (n <= 0) {
                failure_ = n < 0 ? source_->errorString().toStdString() : "the file got shorter while it was read";
                return false;
            }
            raw = in_.data();
            if (left_ > 0)
                left_ -= n;
            sourceRead_.fetch_add(n, std::memory_order_relaxed);
        } else if (suffixRead_ < suffix_.size()) {
            raw = suffix_.constData() + suffixRead_;
            n = std::min<qint64>(kReadBytes, suffix_.size() - suffixRead_);
            suffixRead_ += n;
        } else {
            servedAll_ = true;
            return false;
        }
        if (!guard_.scan(raw, n, out_)) {
            failure_ = guard_.failure();
            limitPassed_ = true;
            return false;
        }
    }
    return true;
}

qint64 LogPartDevice::readData(char* data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize && !failed()) {
        if (served_ == out_.size() && !refill())
            break;
        const qint64 n = std::min<qint64>(maxSize - done, qint64(out_.size() - served_));
        std::memcpy(data + done, out_.data() + served_, std::size_t(n));
        served_ += std::size_t(n);
        done += n;
    }
    return done == 0 && failed() ? -1 : done;
}

void CheckLogFile(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::path(path), error);
    if (error || !fs::exists(status) || fs::is_regular_file(status))
        return; // a missing log is named by the open that fails
    const char* what = fs::is_directory(status)                                     ? "a folder"
                       : fs::is_fifo(status)                                        ? "a FIFO (a named pipe)"
                       : fs::is_block_file(status) || fs::is_character_file(status) ? "a device"
                       : fs::is_socket(status)                                      ? "a socket"
                                                                                    : "no regular file";
    throw Error("cannot open \"" + path + "\": it is " + std::string(what) +
                ", not a log file; the import reads a log saved as a file");
}

std::unique_ptr<QIODevice> OpenLogFile(const QString& path, std::int64_t begin, QString& failure)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly) || !file->seek(begin)) {
        failure = file->errorString();
        return nullptr;
    }
    return file;
}

} // namespace tideplot::xmllog
