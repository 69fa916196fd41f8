#include "fitreader.h"

#include "logtally.h"
#include "xmlguard.h"
#include "xmlvalues.h"

#include "core/datetime.h"

#include <QFile>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace tideplot {

namespace {

constexpr std::int64_t kBlockBytes = std::int64_t{64} << 10;
constexpr std::int64_t kProgressBytes = std::int64_t{1} << 20;
constexpr std::uint16_t kRecordMessage = 20;
constexpr std::uint16_t kSessionMessage = 18;
constexpr std::uint8_t kTimestampField = 253;
constexpr int kLocalTypes = 16;

// The protocol's CRC-16, four bits at a time (the FIT SDK's table).
constexpr std::array<std::uint16_t, 16> kCrcTable{0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                                  0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};

std::uint16_t CrcByte(std::uint16_t crc, std::uint8_t byte)
{
    std::uint16_t tmp = kCrcTable[crc & 0xF];
    crc = std::uint16_t(((crc >> 4) & 0x0FFF) ^ tmp ^ kCrcTable[byte & 0xF]);
    tmp = kCrcTable[crc & 0xF];
    return std::uint16_t(((crc >> 4) & 0x0FFF) ^ tmp ^ kCrcTable[(byte >> 4) & 0xF]);
}

std::uint32_t Unsigned(const std::uint8_t* bytes, std::size_t size, bool bigEndian)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint32_t(bytes[bigEndian ? size - 1 - i : i]) << (8 * i);
    return value;
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

// The bytes of a file, through a block, with the CRC of those taken since ResetCrc().
class FitBytes {
public:
    explicit FitBytes(const std::string& path) : path_(path)
    {
        xmllog::CheckLogFile(path);
        QString failure;
        file_ = xmllog::OpenLogFile(QFile::decodeName(path.c_str()), 0, failure);
        if (!file_)
            throw Error("cannot open \"" + path + "\": " + failure.toStdString());
        size_ = file_->size();
        block_.resize(std::size_t(kBlockBytes));
    }

    // Takes `n` bytes into `to` (passes over them when it is null); false when the file
    // ends first.
    bool Take(std::uint8_t* to, std::int64_t n)
    {
        while (n > 0) {
            if (pos_ == end_ && !Fill())
                return false;
            const auto k = std::size_t(std::min<std::int64_t>(n, std::int64_t(end_ - pos_)));
            for (std::size_t i = 0; i < k; ++i)
                crc_ = CrcByte(crc_, block_[pos_ + i]);
            if (to) {
                std::memcpy(to, block_.data() + pos_, k);
                to += k;
            }
            pos_ += k;
            offset_ += std::int64_t(k);
            n -= std::int64_t(k);
        }
        return true;
    }
    bool AtEnd() { return pos_ == end_ && !Fill(); }
    std::int64_t Offset() const { return offset_; }
    std::int64_t Size() const { return size_; }
    std::uint16_t Crc() const { return crc_; }
    void ResetCrc() { crc_ = 0; }

private:
    bool Fill()
    {
        const qint64 n = file_->read(reinterpret_cast<char*>(block_.data()), kBlockBytes);
        if (n < 0)
            throw Error("cannot read \"" + path_ + "\": " + file_->errorString().toStdString());
        pos_ = 0;
        end_ = std::size_t(n);
        return n > 0;
    }

    std::string path_;
    std::unique_ptr<QIODevice> file_;
    std::int64_t size_ = 0;
    std::vector<std::uint8_t> block_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::int64_t offset_ = 0;
    std::uint16_t crc_ = 0;
};

struct FieldDefinition {
    std::uint8_t Number = 0;
    std::uint8_t Size = 0;
};

struct Definition {
    bool Defined = false;
    bool BigEndian = false;
    std::uint16_t Global = 0;
    std::vector<FieldDefinition> Fields;
    std::int64_t DeveloperBytes = 0;
};

class FitDecoder {
public:
    FitDecoder(const std::string& path, const std::function<void(const FitRecord&)>& record,
               const std::function<void()>& trackEnds, const LogProgress& progress)
        : path_(path), bytes_(path), record_(record), trackEnds_(trackEnds), progress_(progress)
    {
    }

    FitReading run();

private:
    // Reads one file's header; false when there is none (`start` is then where other bytes begin).
    bool header(std::int64_t start, std::int64_t& dataEnd);
    // Reads one message; false when the file ends inside it.
    bool message(std::int64_t dataEnd);
    bool definition(std::uint8_t header, std::int64_t start, std::int64_t dataEnd);
    bool data(int local, std::optional<std::uint32_t> compressedTime, std::int64_t start, std::int64_t dataEnd);
    bool take(std::uint8_t* to, std::int64_t n, std::int64_t start, std::int64_t dataEnd);
    [[noreturn]] void fail(std::int64_t offset, const std::string& what) const
    {
        throw Error(path_ + ", byte " + std::to_string(offset) + ": " + what);
    }

    const std::string& path_;
    FitBytes bytes_;
    const std::function<void(const FitRecord&)>& record_;
    const std::function<void()>& trackEnds_;
    const LogProgress& progress_;
    std::array<Definition, kLocalTypes> definitions_;
    std::optional<std::uint32_t> lastTimestamp_;
    std::int64_t reported_ = 0;
};

FitReading FitDecoder::run()
{
    FitReading reading;
    reading.Bytes = bytes_.Size();
    while (reading.Files == 0 || !bytes_.AtEnd()) {
        const std::int64_t start = bytes_.Offset();
        std::int64_t dataEnd = 0;
        if (!header(start, dataEnd)) {
            if (reading.Files == 0)
                fail(0, "this is no FIT file: it does not start with a FIT file header (\".FIT\" at byte 8)");
            reading.TrailingAt = start;
            break;
        }
        ++reading.Files;
        definitions_ = {};
        lastTimestamp_.reset();
        while (bytes_.Offset() < dataEnd) {
            const std::int64_t at = bytes_.Offset();
            if (!message(dataEnd)) {
                reading.EndedEarlyAt = at;
                return reading;
            }
            if (progress_ && bytes_.Offset() - reported_ >= kProgressBytes) {
                reported_ = bytes_.Offset();
                progress_(reported_, reading.Bytes);
            }
        }
        const std::uint16_t computed = bytes_.Crc();
        std::array<std::uint8_t, 2> crc{};
        if (!bytes_.Take(crc.data(), 2)) {
            reading.EndedEarlyAt = dataEnd;
            return reading;
        }
        if (const std::uint32_t written = Unsigned(crc.data(), 2, false); written != computed)
            fail(dataEnd,
                 "the file's CRC is " + Hex4(written) + ", its bytes give " + Hex4(computed) + ": the file is damaged");
        if (trackEnds_)
            trackEnds_();
    }
    if (progress_)
        progress_(bytes_.Offset(), reading.Bytes);
    return reading;
}

bool FitDecoder::header(std::int64_t start, std::int64_t& dataEnd)
{
    std::array<std::uint8_t, 14> head{};
    bytes_.ResetCrc();
    if (!bytes_.Take(head.data(), 1) || (head[0] != 12 && head[0] != 14) ||
        !bytes_.Take(head.data() + 1, head[0] - 1) || std::memcmp(head.data() + 8, ".FIT", 4) != 0)
        return false;
    if (head[0] == 14) {
        std::uint16_t computed = 0;
        for (std::size_t i = 0; i < 12; ++i)
            computed = CrcByte(computed, head[i]);
        const std::uint32_t written = Unsigned(head.data() + 12, 2, false);
        if (written != 0 && written != computed)
            fail(start, "the header's CRC is " + Hex4(written) + ", its bytes give " + Hex4(computed) +
                            ": the file is damaged");
    }
    dataEnd = start + head[0] + std::int64_t(Unsigned(head.data() + 4, 4, false));
    return true;
}

bool FitDecoder::take(std::uint8_t* to, std::int64_t n, std::int64_t start, std::int64_t dataEnd)
{
    if (bytes_.Offset() + n > dataEnd)
        fail(start, "the message runs past the end of the file's data (byte " + std::to_string(dataEnd) + ")");
    return bytes_.Take(to, n);
}

bool FitDecoder::message(std::int64_t dataEnd)
{
    const std::int64_t start = bytes_.Offset();
    std::uint8_t header = 0;
    if (!bytes_.Take(&header, 1))
        return false;
    if (header & 0x80) {
        // A compressed timestamp header: the low 5 bits of the time, moving on from the last.
        std::optional<std::uint32_t> time;
        if (lastTimestamp_) {
            const std::uint32_t offset = header & 0x1F;
            std::uint32_t t = (*lastTimestamp_ & ~std::uint32_t{0x1F}) + offset;
            if (offset < (*lastTimestamp_ & 0x1F))
                t += 0x20;
            time = t;
        }
        return data((header >> 5) & 0x3, time, start, dataEnd);
    }
    if (header & 0x40)
        return definition(header, start, dataEnd);
    return data(header & 0x0F, std::nullopt, start, dataEnd);
}

bool FitDecoder::definition(std::uint8_t header, std::int64_t start, std::int64_t dataEnd)
{
    std::array<std::uint8_t, 5> fixed{};
    if (!take(fixed.data(), 5, start, dataEnd))
        return false;
    if (fixed[1] > 1)
        fail(start, "the definition message's architecture is " + std::to_string(fixed[1]) + ", not 0 or 1");
    Definition d;
    d.Defined = true;
    d.BigEndian = fixed[1] == 1;
    d.Global = std::uint16_t(Unsigned(fixed.data() + 2, 2, d.BigEndian));
    std::vector<std::uint8_t> fields(std::size_t(fixed[4]) * 3);
    if (!take(fields.data(), std::int64_t(fields.size()), start, dataEnd))
        return false;
    for (std::size_t i = 0; i < fields.size(); i += 3)
        d.Fields.push_back(FieldDefinition{fields[i], fields[i + 1]});
    if (header & 0x20) {
        std::uint8_t count = 0;
        if (!take(&count, 1, start, dataEnd))
            return false;
        fields.resize(std::size_t(count) * 3);
        if (!take(fields.data(), std::int64_t(fields.size()), start, dataEnd))
            return false;
        for (std::size_t i = 0; i < fields.size(); i += 3)
            d.DeveloperBytes += fields[i + 1];
    }
    definitions_[header & 0x0F] = std::move(d);
    return true;
}

bool FitDecoder::data(int local, std::optional<std::uint32_t> compressedTime, std::int64_t start, std::int64_t dataEnd)
{
    const Definition& d = definitions_[std::size_t(local)];
    if (!d.Defined)
        fail(start, "a data message of local type " + std::to_string(local) +
                        ", which no definition message before it defines");
    FitRecord record;
    record.Offset = start;
    std::optional<std::uint32_t> timestamp;
    std::array<std::uint8_t, 255> value{};
    for (const FieldDefinition& field : d.Fields) {
        if (!take(value.data(), field.Size, start, dataEnd))
            return false;
        const std::uint32_t number = Unsigned(value.data(), field.Size <= 4 ? field.Size : 0, d.BigEndian);
        if (field.Number == kTimestampField && field.Size == 4 && number != 0xFFFFFFFF)
            timestamp = number;
        if (d.Global != kRecordMessage)
            continue;
        if ((field.Number == 0 || field.Number == 1) && field.Size == 4 && number != 0x7FFFFFFF)
            (field.Number == 0 ? record.LatSemicircles : record.LonSemicircles) = std::int32_t(number);
        else if (field.Number == 6 && field.Size == 2 && number != 0xFFFF && !record.SpeedMps)
            record.SpeedMps = number / 1000.0;
        else if (field.Number == 73 && field.Size == 4 && number != 0xFFFFFFFF)
            record.SpeedMps = number / 1000.0;
    }
    if (!take(nullptr, d.DeveloperBytes, start, dataEnd))
        return false;
    if (!timestamp)
        timestamp = compressedTime;
    if (timestamp)
        lastTimestamp_ = timestamp;
    if (d.Global == kRecordMessage) {
        record.Timestamp = timestamp;
        record_(record);
    } else if (d.Global == kSessionMessage && trackEnds_) {
        trackEnds_();
    }
    return true;
}

} // namespace

FitReading ReadFitRecords(const std::string& logPath, const std::function<void(const FitRecord&)>& record,
                          const std::function<void()>& trackEnds, const LogProgress& progress)
{
    return FitDecoder(logPath, record, trackEnds, progress).run();
}

std::string SemicircleDegrees(std::int32_t semicircles)
{
    // 2^31 semicircles are 180 degrees: 10^-7 degrees are semicircles * 180e7 / 2^31.
    const long long scaled = std::abs(static_cast<long long>(semicircles)) * 1800000000LL;
    const long long units = (scaled + (1LL << 30)) >> 31;
    std::string decimals = std::to_string(units % 10000000);
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string text = semicircles < 0 && units != 0 ? "-" : "";
    return text.append(std::to_string(units / 10000000)).append(".").append(7 - decimals.size(), '0').append(decimals);
}

bool LooksLikeFit(std::string_view start)
{
    return start.size() >= 12 && (start[0] == 12 || start[0] == 14) && start.substr(8, 4) == ".FIT";
}

LogReadResult ReadFitPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress)
{
    LogReadResult result;
    const LogSecond epoch = DayNumber(1989, 12, 31) * 86400;
    std::int64_t track = 0;
    std::string line;
    const FitReading reading = ReadFitRecords(
        logPath,
        [&](const FitRecord& r) {
            ++result.Contents.Records;
            const long at = long(r.Offset);
            if (!r.Timestamp) {
                TallySkipped(result, at, "the record has no time");
            } else if (!r.LatSemicircles || !r.LonSemicircles) {
                TallySkipped(result, at, "the record has no position");
            } else if (std::abs(static_cast<long long>(*r.LatSemicircles)) > (1LL << 30)) {
                TallySkipped(result, at,
                             "the latitude " + SemicircleDegrees(*r.LatSemicircles) + " lies beyond 90 degrees");
            } else {
                const LogSecond second = epoch + *r.Timestamp;
                line = SemicircleDegrees(*r.LatSemicircles) + "," + SemicircleDegrees(*r.LonSemicircles) + ",";
                const xmllog::DateTimeFields fields = xmllog::FieldsOfSecond(second);
                line.append(fields.data(), fields.size());
                TallyPoint(result, second, at, track);
                points.Add(second, line);
            }
        },
        [&] { ++track; }, progress);
    result.EndedEarlyAt = long(reading.EndedEarlyAt);
    if (reading.TrailingAt > 0)
        result.Unread.Note(long(reading.TrailingAt), "the bytes after the end of the FIT data are no FIT file");
    return result;
}

} // namespace tideplot
