#include "kmz.h"

#include "core/error.h"
#include "core/text.h"
#include "ziplibrary.h"

#include <QIODevice>

namespace tideplot {

namespace {

std::string ZipErrorText(int code)
{
    zip_error_t error;
    Zip().zip_error_init_with_code(&error, code);
    std::string text = Zip().zip_error_strerror(&error);
    Zip().zip_error_fini(&error);
    return text;
}

// One entry of an archive, unpacked as it is read. The archive states the entry's size;
// when that many bytes have been read, one more read must find the end, which is also
// where libzip checks the CRC.
class ZipEntryDevice : public QIODevice {
public:
    ZipEntryDevice(zip_file_t* file, std::int64_t size) : file_(file), size_(size) {}
    ~ZipEntryDevice() override { Zip().zip_fclose(file_); }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (read_ >= size_)
            return 0;
        const zip_int64_t n = Zip().zip_fread(file_, data, zip_uint64_t(std::min<qint64>(maxSize, size_ - read_)));
        if (n < 0)
            return failed(Zip().zip_file_strerror(file_));
        if (n == 0)
            return failed("it ends before the size the archive states");
        read_ += n;
        if (read_ == size_) {
            char extra;
            const zip_int64_t more = Zip().zip_fread(file_, &extra, 1);
            if (more < 0)
                return failed(Zip().zip_file_strerror(file_));
            if (more > 0)
                return failed("it unpacks to more than the size the archive states");
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 failed(const std::string& why)
    {
        setErrorString(QString::fromStdString(why));
        return -1;
    }

    zip_file_t* file_;
    std::int64_t size_;
    std::int64_t read_ = 0;
};

} // namespace

bool LooksLikeZip(const QByteArray& start)
{
    return start.startsWith("PK\x03\x04") || start.startsWith("PK\x05\x06");
}

void KmzArchive::Discard::operator()(zip* archive) const
{
    Zip().zip_discard(archive);
}

KmzArchive::KmzArchive(const std::string& path) : path_(path)
{
    try {
        Zip();
    } catch (const Error& e) {
        throw Error(path + ": cannot read the KMZ archive: " + e.what());
    }
    int code = 0;
    zip_.reset(Zip().zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!zip_)
        throw Error(path + ": not a KMZ archive that can be read: " + ZipErrorText(code));

    const zip_int64_t count = Zip().zip_get_num_entries(zip_.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = Zip().zip_get_name(zip_.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!name)
            continue;
        const std::string text = name;
        if (text.size() == 7 && EndsWithNoCase(text, "doc.kml"))
            entries_.insert(entries_.begin(), Entry{zip_uint64_t(i), text, 0});
        else if (text.size() > 4 && EndsWithNoCase(text, ".kml"))
            entries_.push_back(Entry{zip_uint64_t(i), text, 0});
    }
    if (entries_.empty())
        throw Error(path + ": the KMZ archive holds no KML document (no entry named doc.kml or ending in .kml)");
    for (Entry& entry : entries_) {
        zip_stat_t stat;
        Zip().zip_stat_init(&stat);
        if (Zip().zip_stat_index(zip_.get(), entry.Index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE))
            entry.Size = std::int64_t(stat.size);
    }
}

std::unique_ptr<QIODevice> KmzArchive::OpenKml(int kml)
{
    const Entry& entry = entries_[std::size_t(kml)];
    zip_stat_t stat;
    Zip().zip_stat_init(&stat);
    const auto refuse = [&](const std::string& why) {
        throw Error(path_ + ": " + entry.Name + " in the KMZ archive " + why);
    };
    if (Zip().zip_stat_index(zip_.get(), entry.Index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        !(stat.valid & ZIP_STAT_COMP_SIZE))
        refuse("cannot be read: " + std::string(Zip().zip_strerror(zip_.get())));
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        refuse("is encrypted; unpack it with its password and import the KML file");
    if (stat.size == 0)
        refuse("is empty");
    if (stat.size > zip_uint64_t(kMaxKmzKmlBytes))
        refuse("unpacks to " + std::to_string(stat.size) + " bytes, more than the " +
               std::to_string(kMaxKmzKmlBytes >> 30) + " GiB an import reads");
    if (stat.size > zip_uint64_t(kKmzRatioFloorBytes) && stat.size / kMaxKmzRatio > stat.comp_size)
        refuse("unpacks to " + std::to_string(stat.size) + " bytes from " + std::to_string(stat.comp_size) +
               ", more than " + std::to_string(kMaxKmzRatio) +
               " times its packed size: that is a zip bomb, not a GPS log");
    zip_file_t* file = Zip().zip_fopen_index(zip_.get(), entry.Index, 0);
    if (!file)
        throw Error(path_ + ": cannot unpack " + entry.Name +
                    " from the KMZ archive: " + Zip().zip_strerror(zip_.get()));
    auto device = std::make_unique<ZipEntryDevice>(file, std::int64_t(stat.size));
    device->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return device;
}

} // namespace tideplot
