#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Finding bytes eight at a time: the word-at-a-time zero-byte test ("Bit Twiddling
// Hacks", S. E. Anderson, "Determine if a word has a zero byte", the exact form).
namespace tideplot {

namespace scan {
static_assert(std::endian::native == std::endian::little, "the byte search reads words little-endian");
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t Load(const char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// High bit set in exactly the bytes of `word` that equal the byte of `pattern`
// (pattern = byte * kOnes): no carry crosses from one byte into the next.
inline std::uint64_t Matches(std::uint64_t word, std::uint64_t pattern)
{
    constexpr std::uint64_t kLows = ~kHighs;
    const std::uint64_t x = word ^ pattern;
    return ~(((x & kLows) + kLows) | x | kLows);
}
} // namespace scan

// The first byte in [p, end) equal to `a` or `b`, or end.
inline const char* FindEither(const char* p, const char* end, char a, char b)
{
    const std::uint64_t pa = scan::kOnes * static_cast<unsigned char>(a);
    const std::uint64_t pb = scan::kOnes * static_cast<unsigned char>(b);
    while (end - p >= 8) {
        const std::uint64_t word = scan::Load(p);
        const std::uint64_t hits = scan::Matches(word, pa) | scan::Matches(word, pb);
        if (hits)
            return p + (std::countr_zero(hits) >> 3);
        p += 8;
    }
    while (p != end && *p != a && *p != b)
        ++p;
    return p;
}

inline const char* FindByte(const char* p, const char* end, char a)
{
    return FindEither(p, end, a, a);
}

} // namespace tideplot
