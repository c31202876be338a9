#include "output/jpeg/kept_symbols.h"

#include "output/jpeg/symbol_words.h"

namespace k3v::jpeg {

namespace {

HuffmanTable FixedTable(const std::array<uint8_t, 17>& bits, const uint8_t* values, size_t count) {
    HuffmanTable table;
    table.bits = bits;
    for (size_t i = 0; i < count; ++i) {
        table.huffval[i] = values[i];
    }
    table.symbolCount = count;
    AssignCodes(table);
    return table;
}

EntropyTables MakeKeptSymbolTables() {
    // DC: the categories 0..11 (Tables K.3 and K.4).
    constexpr uint8_t kCategories[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    // Luminance AC (Table K.5): BITS, then the 162 run/size symbols by code length.
    constexpr uint8_t kLumaAc[162] = {
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
        0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
        0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
        0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
        0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
        0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
        0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
        0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
        0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
        0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
        0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    // Chrominance AC (Table K.6).
    constexpr uint8_t kChromaAc[162] = {
        0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
        0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
        0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
        0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
        0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
        0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
        0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
        0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
        0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
        0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
        0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
    EntropyTables tables;
    tables.dc[0] = FixedTable({0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kCategories, 12);
    tables.dc[1] = FixedTable({0, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kCategories, 12);
    tables.ac[0] = FixedTable({0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kLumaAc, 162);
    tables.ac[1] =
        FixedTable({0, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kChromaAc, 162);
    return tables;
}

// The 64 bits at bit `position` of `bits`, most significant first.
inline uint64_t Peek(const uint8_t* bits, size_t position) {
    const uint8_t* at = bits + (position >> 3);
    uint64_t word = 0;
    for (unsigned b = 0; b < 8; ++b) {
        word = (word << 8) | at[b];
    }
    return word << (position & 7u);
}

}  // namespace

const EntropyTables& KeptSymbolTables() {
    static const EntropyTables tables = MakeKeptSymbolTables();
    return tables;
}

SymbolReader::Table SymbolReader::MakeTable(const HuffmanTable& huffman) {
    Table table;
    table.huffval = huffman.huffval;
    table.maxCode.fill(-1);
    int32_t code = 0;
    int32_t index = 0;
    for (unsigned length = 1; length <= 16; ++length) {
        const int32_t count = huffman.bits[length];
        if (count > 0) {
            table.valueOffset[length] = index - code;
            table.maxCode[length] = code + count - 1;
        }
        if (length <= kLookupBits) {
            for (int32_t i = 0; i < count; ++i) {
                const auto entry =
                    static_cast<uint16_t>((length << 8) | huffman.huffval[size_t(index + i)]);
                const size_t first = size_t(code + i) << (kLookupBits - length);
                const size_t last = size_t(code + i + 1) << (kLookupBits - length);
                for (size_t e = first; e < last; ++e) {
                    table.lookup[e] = entry;
                }
            }
        }
        index += count;
        code = (code + count) << 1;
    }
    return table;
}

SymbolReader::SymbolReader(const EntropyTables& tables)
    : tables_{MakeTable(tables.dc[0]), MakeTable(tables.ac[0]), MakeTable(tables.dc[1]),
              MakeTable(tables.ac[1])} {}

size_t SymbolReader::Read(const uint8_t* bits, size_t mcus, uint8_t* out) const {
    uint8_t* const start = out;
    size_t position = 0;
    // One symbol of table t: its code, then as many additional bits as its category (a DC
    // symbol is its category, below 16; an AC symbol's category is its low four bits). Both
    // together are at most 16 + 11 bits, within the 57 that one Peek always holds.
    const auto read = [&](uint32_t t) {
        const Table& table = tables_[t];
        const uint64_t next = Peek(bits, position);
        unsigned entry = table.lookup[next >> (64 - kLookupBits)];
        if (entry == 0) [[unlikely]] {
            entry = 16u << 8;  // not reached for bits coded with these tables
            for (unsigned length = kLookupBits + 1; length <= 16; ++length) {
                const auto code = static_cast<int32_t>(next >> (64 - length));
                if (code <= table.maxCode[length]) {
                    entry = (length << 8) | table.huffval[size_t(code + table.valueOffset[length])];
                    break;
                }
            }
        }
        const unsigned length = entry >> 8;
        const unsigned symbol = entry & 0xFFu;
        const unsigned category = symbol & 15u;
        // Shifting by 64 - category in two steps gives no bits for category 0.
        const auto extra = static_cast<uint32_t>(((next << length) >> 1) >> (63 - category));
        position += length + category;
        out = StoreSymbol(out, (extra << 10) | (256 * t + symbol));
        return symbol;
    };
    for (size_t mcu = 0; mcu < mcus; ++mcu) {
        for (size_t c = 0; c < kComponents; ++c) {
            const uint32_t dc = DcTable(c);
            read(dc);
            // Each AC symbol stands for its run of zeros and one coefficient (a ZRL for 16
            // zeros); the block ends with an EOB or once its 63rd coefficient is sent.
            for (unsigned k = 1; k < kBlockSize;) {
                const unsigned symbol = read(dc + 1);
                if (symbol == kEob) {
                    break;
                }
                k += (symbol >> 4) + 1;
            }
        }
    }
    return static_cast<size_t>(out - start) / kSymbolBytes;
}

}  // namespace k3v::jpeg
