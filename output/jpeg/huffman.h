#pragma once
// Huffman tables optimised for the picture being written (T.81 Annex K.2) and the symbol
// statistics they are built from. Luminance tables come from the Y blocks alone, chrominance
// tables from the Cb and Cr blocks together.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace k3v::jpeg {

// Occurrences of each symbol 0..255; entry 256 is the reserved symbol that T.81 K.2 adds so
// that no code consists of 1-bits only.
using SymbolCounts = std::array<uint64_t, 257>;

inline constexpr uint8_t kEob = 0x00;  // end of block: the rest of the block is zero
inline constexpr uint8_t kZrl = 0xF0;  // sixteen zero coefficients

struct HuffmanTable {
    std::array<uint8_t, 17> bits{};      // BITS[L]: number of codes of length L = 1..16
    std::array<uint8_t, 256> huffval{};  // HUFFVAL: symbols by increasing code length
    size_t symbolCount = 0;              // entries of HUFFVAL in use
    std::array<uint16_t, 256> code{};    // canonical code of each symbol (its low `length` bits)
    std::array<uint8_t, 256> length{};   // code length, 0 for a symbol without a code
};

// Magnitude category (T.81 F.1.2.1): 0 for 0, else the number of significant bits of |v|.
inline unsigned Category(int v) {
    const auto magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    return static_cast<unsigned>(std::bit_width(magnitude));
}

// The `category` additional bits of v: the low bits of v for v > 0, of v - 1 for v < 0.
inline uint32_t ExtraBits(int v, unsigned category) {
    const auto bits = static_cast<uint32_t>(v < 0 ? v - 1 : v);
    return bits & ((1u << category) - 1u);
}

// Bit k is set when coefficient k of the block (zig-zag order) is nonzero.
inline uint64_t NonzeroMask(const int16_t* block) {
#if defined(__SSE2__)
    uint64_t zeroMask = 0;
    const __m128i zero = _mm_setzero_si128();
    for (unsigned i = 0; i < 4; ++i) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i + 8));
        // Saturating packing keeps every nonzero value nonzero.
        const __m128i packed = _mm_packs_epi16(low, high);
        const auto zeros = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(packed, zero)));
        zeroMask |= static_cast<uint64_t>(zeros) << (16 * i);
    }
    return ~zeroMask;
#else
    uint64_t mask = 0;
    for (unsigned k = 0; k < 64; ++k) {
        mask |= static_cast<uint64_t>(block[k] != 0) << k;
    }
    return mask;
#endif
}

// T.81 K.2 (Figures K.1 to K.4): code lengths limited to 16 bits, BITS and HUFFVAL, then the
// canonical codes. Among equal counts the highest-numbered symbol is merged first. Consumes
// the counts: they are all zero afterwards.
HuffmanTable GenerateOptimalTable(SymbolCounts& counts);

// Canonical codes from BITS and HUFFVAL (T.81 C.2, C.3).
void AssignCodes(HuffmanTable& table);

struct EntropyTables {
    HuffmanTable dc[2];  // 0 luminance, 1 chrominance
    HuffmanTable ac[2];
};

}  // namespace k3v::jpeg
