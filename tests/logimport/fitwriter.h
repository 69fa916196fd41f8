#pragma once
// FIT files written for the tests as watches write them: a header, definition and data
// messages (little or big endian, with developer fields, compressed timestamp headers) and
// the CRC, worked out here bit by bit (CRC-16 with the polynomial 0xA001, as the protocol
// defines it), apart from the reader's table.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tideplot::testing {

// FIT base types.
constexpr std::uint8_t kFitEnum = 0x00;
constexpr std::uint8_t kFitUint16 = 0x84;
constexpr std::uint8_t kFitSint32 = 0x85;
constexpr std::uint8_t kFitUint32 = 0x86;

// Seconds from 1989-12-31 00:00:00 UTC, the FIT epoch, to the Unix epoch.
constexpr std::uint32_t kFitToUnixSeconds = 631065600;

inline std::uint16_t FitCrc(const std::string& bytes, std::uint16_t crc = 0)
{
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

// Semicircles of degrees: 2^31 of them are 180 degrees.
inline std::int32_t Semicircles(double degrees)
{
    const double value = degrees * 2147483648.0 / 180.0;
    return std::int32_t(value < 0 ? value - 0.5 : value + 0.5);
}

class FitWriter {
public:
    struct Field {
        std::uint8_t Number;
        std::uint8_t Size;
        std::uint8_t BaseType;
    };

    explicit FitWriter(bool bigEndian = false) : bigEndian_(bigEndian) {}

    // Local message type `local` becomes global message `global` with these fields, and
    // developer fields of these sizes.
    void Define(int local, std::uint16_t global, std::vector<Field> fields, std::vector<std::uint8_t> developer = {})
    {
        records_ += char(0x40 | local | (developer.empty() ? 0 : 0x20));
        records_ += '\0';
        records_ += char(bigEndian_ ? 1 : 0);
        Put(global, 2);
        records_ += char(fields.size());
        for (const Field& f : fields)
            records_ += std::string{char(f.Number), char(f.Size), char(f.BaseType)};
        if (!developer.empty()) {
            records_ += char(developer.size());
            for (std::size_t i = 0; i < developer.size(); ++i)
                records_ += std::string{char(i), char(developer[i]), '\0'};
        }
        definitions_[local] = {std::move(fields), std::move(developer)};
    }

    // A data message of local type `local` with these values, one a field; the developer
    // fields' bytes are 0xAB. With `compressedTime` (the low 5 bits of its timestamp) it has a
    // compressed timestamp header.
    void Data(int local, const std::vector<std::uint64_t>& values, int compressedTime = -1)
    {
        records_ += compressedTime >= 0 ? char(0x80 | (local << 5) | (compressedTime & 0x1F)) : char(local);
        const auto& [fields, developer] = definitions_.at(local);
        for (std::size_t i = 0; i < fields.size(); ++i)
            Put(values.at(i), fields[i].Size);
        for (const std::uint8_t size : developer)
            records_ += std::string(size, char(0xAB));
    }

    // Bytes written as they stand among the messages (a malformed message).
    void Raw(const std::string& bytes) { records_ += bytes; }
    // The bytes of the messages so far.
    std::size_t Size() const { return records_.size(); }

    // The file as it stands: a 14-byte header (12 bytes with `shortHeader`), the messages and
    // the CRC.
    std::string Bytes(bool shortHeader = false) const
    {
        std::string header{char(shortHeader ? 12 : 14), char(0x20)};
        header += std::string{char(2132 & 0xFF), char(2132 >> 8)};
        for (int i = 0; i < 4; ++i)
            header += char((records_.size() >> (8 * i)) & 0xFF);
        header += ".FIT";
        if (!shortHeader) {
            const std::uint16_t crc = FitCrc(header);
            header += std::string{char(crc & 0xFF), char(crc >> 8)};
        }
        std::string file = header + records_;
        const std::uint16_t crc = FitCrc(file);
        return file + std::string{char(crc & 0xFF), char(crc >> 8)};
    }

private:
    void Put(std::uint64_t value, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i)
            records_ += char((value >> (8 * (bigEndian_ ? size - 1 - i : i))) & 0xFF);
    }

    bool bigEndian_;
    std::string records_;
    std::map<int, std::pair<std::vector<Field>, std::vector<std::uint8_t>>> definitions_;
};

} // namespace tideplot::testing
