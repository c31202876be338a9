#pragma once
// The symbols of a band as the streaming encoder's first pass finds them, so that coding them
// is only a matter of looking up their codes. One 21-bit word per symbol, stored in 3 bytes
// (least significant first): bits 0..9 the table (0 luminance DC, 1 luminance AC,
// 2 chrominance DC, 3 chrominance AC) times 256 plus the symbol, bits 10..20 its additional
// bits.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "output/jpeg/block_transform.h"

namespace k3v::jpeg {

enum SymbolTable : uint32_t { kLumaDc = 0, kLumaAc = 1, kChromaDc = 2, kChromaAc = 3 };

// The DC table of component c; its AC table is the next one.
inline uint32_t DcTable(size_t c) {
    return c == kY ? kLumaDc : kChromaDc;
}

// Symbols one MCU can give: a block is sent in at most 64 (its DC symbol, then nonzero
// coefficients, ZRLs and an EOB that together never exceed 63).
inline constexpr size_t kMaxSymbolsPerMcu = kComponents * kBlockSize;

inline constexpr size_t kSymbolBytes = 3;

// Room for `symbols` stored symbols: one byte more, since each is written and read as 4 bytes.
constexpr size_t SymbolStorage(size_t symbols) {
    return kSymbolBytes * symbols + 1;
}

inline uint32_t SymbolWord(uint32_t tableSymbol, int v, unsigned category) {
    const uint32_t extra = static_cast<uint32_t>(v + (v >> 31)) & ((uint32_t{1} << category) - 1u);
    return (extra << 10) | tableSymbol;
}

// Stores a word at `out` and returns the next position; the byte after it is overwritten
// (with zero) and belongs to the next symbol or the spare byte.
inline uint8_t* StoreSymbol(uint8_t* out, uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &word, 4);
    } else {
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
        out[2] = static_cast<uint8_t>(word >> 16);
        out[3] = 0;
    }
    return out + kSymbolBytes;
}

inline uint32_t LoadSymbol(const uint8_t* at) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t word;
        std::memcpy(&word, at, 4);
        return word & 0xFFFFFFu;
    } else {
        return at[0] | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16);
    }
}

}  // namespace k3v::jpeg
