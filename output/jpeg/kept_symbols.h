#pragma once
// How the streaming encoder's first pass keeps every band's symbols for the second, in about
// the room of the finished file rather than of the pixels: each band's symbols are coded with
// fixed Huffman tables into a bit string (the coder of the second pass, with other tables), and
// read back here into symbol words (symbol_words.h) to be coded again with the picture's
// optimised tables.

#include <array>
#include <cstddef>
#include <cstdint>

#include "output/jpeg/huffman.h"

namespace k3v::jpeg {

// The example tables of T.81 Annex K (Tables K.3 to K.6), codes assigned: every symbol a
// baseline scan can send has a code, and typical photos come out within a few tenths of their
// optimised size.
const EntropyTables& KeptSymbolTables();

// Reads symbols back from bit strings coded with one set of tables.
class SymbolReader {
  public:
    // `tables` must give a code to every symbol that the bit strings hold.
    explicit SymbolReader(const EntropyTables& tables);

    // Bytes that must follow a bit string, readable (their values do not matter).
    static constexpr size_t kSpareBytes = 16;

    // Where reading a bit string (most significant bit first, no byte stuffing, followed by
    // kSpareBytes) stands. The next bits sit at the top of `buffer`, `count` of them valid.
    struct Cursor {
        explicit Cursor(const uint8_t* bits) : next(bits) {}
        const uint8_t* next;
        uint64_t buffer = 0;
        unsigned count = 0;
    };

    // Reads the next symbol, of table `t` (SymbolTable), and returns it; its additional bits
    // go to `extra`. The caller knows from the symbols before which table comes next: the
    // blocks of each MCU (Y, Cb, Cr) each send a DC symbol, then AC symbols up to an EOB or the
    // 63rd coefficient.
    unsigned Next(Cursor& at, unsigned t, uint32_t& extra) const {
        // Topped up before every symbol, without a branch (whole bytes are added from `next`),
        // the buffer holds at least 56 bits: more than a code (16) and its additional bits
        // (11) need.
        uint64_t word = 0;
        for (unsigned b = 0; b < 8; ++b) {
            word = (word << 8) | at.next[b];
        }
        at.buffer |= word >> at.count;
        at.next += (63 - at.count) >> 3;
        at.count |= 56;

        const Table& table = tables_[t];
        unsigned entry = table.lookup[at.buffer >> (64 - kLookupBits)];
        if (entry == 0) [[unlikely]] {
            entry = LongCode(table, at.buffer);
        }
        const unsigned length = entry >> 8;
        const unsigned symbol = entry & 0xFFu;
        // A DC symbol is its category (below 16); an AC symbol's category is its low 4 bits.
        const unsigned category = symbol & 15u;
        // Shifting by 64 - category in two steps gives no bits for category 0.
        extra = static_cast<uint32_t>(((at.buffer << length) >> 1) >> (63 - category));
        at.buffer <<= length + category;
        at.count -= length + category;
        return symbol;
    }

    // Codes up to this long are found with one look-up; longer ones by comparing lengths.
    static constexpr unsigned kLookupBits = 11;

  private:
    struct Table {
        std::array<uint16_t, size_t{1} << kLookupBits>
            lookup{};                           // length << 8 | symbol; 0 if longer
        std::array<int32_t, 17> maxCode{};      // largest code of each length, -1 for none
        std::array<int32_t, 17> valueOffset{};  // HUFFVAL index of a code minus the code
        std::array<uint8_t, 256> huffval{};
    };
    static Table MakeTable(const HuffmanTable& table);
    // The look-up entry of a code longer than kLookupBits at the top of `bits`.
    static unsigned LongCode(const Table& table, uint64_t bits);

    std::array<Table, 4> tables_;  // in the order of SymbolTable
};

}  // namespace k3v::jpeg
