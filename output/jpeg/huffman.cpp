#include "output/jpeg/huffman.h"

#include <algorithm>
#include <limits>

namespace k3v::jpeg {

namespace {

constexpr size_t kSymbols = 257;  // 256 symbols and the reserved one
constexpr size_t kReserved = 256;
constexpr size_t kMaxCodeLength = 16;

// Code sizes of all symbols by repeatedly merging the two least frequent (Figure K.1).
void ComputeCodeSizes(SymbolCounts& counts, std::array<unsigned, kSymbols>& codeSize) {
    std::array<int, kSymbols> others;
    others.fill(-1);
    codeSize.fill(0);
    for (;;) {
        // One pass finds the smallest (c1) and next smallest (c2) nonzero counts; a count
        // equal to the smallest so far takes its place, so ties go to the later symbol.
        constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
        int c1 = -1;
        int c2 = -1;
        uint64_t v1 = kNone;
        uint64_t v2 = kNone;
        for (size_t i = 0; i < kSymbols; ++i) {
            const uint64_t v = counts[i];
            if (v == 0 || v > v2) {
                continue;
            }
            if (v > v1) {
                c2 = static_cast<int>(i);
                v2 = v;
            } else {
                c2 = c1;
                v2 = v1;
                c1 = static_cast<int>(i);
                v1 = v;
            }
        }
        if (c2 < 0) {
            break;
        }
        counts[c1] += counts[c2];
        counts[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
}

}  // namespace

HuffmanTable GenerateOptimalTable(SymbolCounts& counts) {
    HuffmanTable table;
    counts[kReserved] = 1;
    std::array<unsigned, kSymbols> codeSize;
    ComputeCodeSizes(counts, codeSize);
    counts.fill(0);

    // Codes per size (Figure K.2); a size may exceed 16 here.
    std::array<uint64_t, kSymbols + 1> bits{};
    unsigned largest = 0;
    for (size_t i = 0; i < kSymbols; ++i) {
        if (codeSize[i] > 0) {  // symbols that never occur have no code
            ++bits[codeSize[i]];
            largest = std::max(largest, codeSize[i]);
        }
    }
    if (largest == 0) {
        return table;  // only the reserved symbol: no codes at all
    }

    // Limit to 16 bits (Figure K.3): two codes of the longest size become one of the size
    // below and, with one code of the longest shorter size j, two codes of size j + 1.
    for (unsigned i = largest; i > kMaxCodeLength; --i) {
        while (bits[i] > 0) {
            unsigned j = i - 2;
            while (bits[j] == 0) {
                --j;
            }
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // Drop the reserved symbol's code, one of the longest.
    --bits[std::min<unsigned>(largest, kMaxCodeLength)];

    for (size_t length = 1; length <= kMaxCodeLength; ++length) {
        table.bits[length] = static_cast<uint8_t>(bits[length]);
    }
    // HUFFVAL (Figure K.4): symbols by their code size before limiting, then by value.
    for (unsigned size = 1; size <= largest; ++size) {
        for (size_t symbol = 0; symbol < 256; ++symbol) {
            if (codeSize[symbol] == size) {
                table.huffval[table.symbolCount++] = static_cast<uint8_t>(symbol);
            }
        }
    }
    AssignCodes(table);
    return table;
}

void AssignCodes(HuffmanTable& table) {
    table.code.fill(0);
    table.length.fill(0);
    uint32_t code = 0;
    size_t k = 0;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
        for (unsigned n = 0; n < table.bits[length] && k < table.symbolCount; ++n) {
            const uint8_t symbol = table.huffval[k++];
            table.code[symbol] = static_cast<uint16_t>(code++);
            table.length[symbol] = static_cast<uint8_t>(length);
        }
        code <<= 1;
    }
}

}  // namespace k3v::jpeg
