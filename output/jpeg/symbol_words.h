#pragma once
// The symbols of a scan as the streaming encoder finds them, so that coding one is only a
// matter of looking up its code. One 21-bit word per symbol: bits 0..9 the table
// (0 luminance DC, 1 luminance AC, 2 chrominance DC, 3 chrominance AC) times 256 plus the
// symbol, bits 10..20 its additional bits.

#include <bit>
#include <cstddef>
#include <cstdint>

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

inline uint32_t SymbolWord(uint32_t tableSymbol, int v, unsigned category) {
    const uint32_t extra = static_cast<uint32_t>(v + (v >> 31)) & ((uint32_t{1} << category) - 1u);
    return (extra << 10) | tableSymbol;
}

}  // namespace k3v::jpeg
