#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// High bit set in the bytes of `word` that are no ASCII digit. A byte is a digit when its
// high nibble is 3, also after adding 6; the carry out of a byte of 0xFA or more (no digit)
// may flag the digit after it. So a clear bit is never wrong, and no bit set means eight
// digits.
inline std::uint64_t NonDigits(std::uint64_t word)
{
    constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr std::uint64_t kThrees = 0x3030303030303030ULL;
    const std::uint64_t off =
        ((word & kHighNibbles) ^ kThrees) | (((word + 0x0606060606060606ULL) & kHighNibbles) ^ kThrees);
    // A byte of `off` is 0 for a digit; any bit set moves to the byte's high bit.
    constexpr std::uint64_t kLows = ~kHighs;
    return (off | ((off & kLows) + kLows)) & kHighs;
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

// How many bytes after `end` FindEitherPadded may read: a buffer searched with it keeps
// that many readable bytes after its last one (their values do not matter).
inline constexpr std::size_t kScanPaddingBytes = 16;

// FindEither for a buffer with kScanPaddingBytes readable bytes after `end`: sixteen
// bytes at a time with SSE2, without a tail loop.
inline const char* FindEitherPadded(const char* p, const char* end, char a, char b)
{
#if defined(__SSE2__)
    const __m128i pa = _mm_set1_epi8(a);
    const __m128i pb = _mm_set1_epi8(b);
    for (; p < end; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, pa), _mm_cmpeq_epi8(block, pb))));
        if (hits) {
            const char* const hit = p + std::countr_zero(hits);
            return hit < end ? hit : end;
        }
    }
    return end;
#else
    return FindEither(p, end, a, b);
#endif
}

// Whether ByteMask can map a text of `size` bytes.
inline bool ByteMaskFits(std::size_t size)
{
#if defined(__SSE2__)
    return size >= 16 && size <= 64;
#else
    (void)size;
    return false;
#endif
}

// Bit i set when byte i of the `size` bytes at `p` equals `byte`, for a size that
// ByteMaskFits (16 to 64 bytes); reads those bytes only (the last block overlaps the one
// before it).
inline std::uint64_t ByteMask(const char* p, std::size_t size, char byte)
{
#if defined(__SSE2__)
    const __m128i pattern = _mm_set1_epi8(byte);
    const auto block = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, pattern))))
               << at;
    };
    std::uint64_t mask = block(0);
    std::size_t at = 16;
    for (; at + 16 <= size; at += 16)
        mask |= block(at);
    if (at < size)
        mask |= block(size - 16);
    return mask;
#else
    (void)p;
    (void)size;
    (void)byte;
    return 0;
#endif
}

// ByteMask of `a`, and the mask of the bytes equal to `b` or `c`, from the same loads.
struct ByteMaskPair {
    std::uint64_t First = 0;
    std::uint64_t Either = 0;
};
inline ByteMaskPair ByteMasks(const char* p, std::size_t size, char a, char b, char c)
{
#if defined(__SSE2__)
    const __m128i pa = _mm_set1_epi8(a), pb = _mm_set1_epi8(b), pc = _mm_set1_epi8(c);
    ByteMaskPair masks;
    const auto block = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        const auto bits = [&](__m128i hits) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << at;
        };
        masks.First |= bits(_mm_cmpeq_epi8(bytes, pa));
        masks.Either |= bits(_mm_or_si128(_mm_cmpeq_epi8(bytes, pb), _mm_cmpeq_epi8(bytes, pc)));
    };
    block(0);
    std::size_t at = 16;
    for (; at + 16 <= size; at += 16)
        block(at);
    if (at < size)
        block(size - 16);
    return masks;
#else
    (void)p;
    (void)size;
    (void)a;
    (void)b;
    (void)c;
    return {};
#endif
}

} // namespace tideplot
