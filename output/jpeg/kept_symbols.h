#pragma once
// How the streaming encoder's first pass keeps a band's symbols for the second in about the
// room of the finished file rather than of the pixels: they are coded with fixed Huffman
// tables into a bit string (by the coder of the second pass, with other tables), and read back
// here to be coded again with the picture's optimised tables.

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

    // Tops the buffer up to at least 56 bits, without a branch (whole bytes are added from
    // `next`): enough for two symbols, each a code (up to 16 bits) and its additional bits (up
    // to 11).
    static void Refill(Cursor& at) {
        uint64_t word = 0;
        for (unsigned b = 0; b < 8; ++b) {
            word = (word << 8) | at.next[b];
        }
        at.buffer |= word >> at.count;
        at.next += (63 - at.count) >> 3;
        at.count |= 56;
    }

    // The next symbol, of table `t` (SymbolTable), as `bits << 8 | symbol`, `bits` being the
    // length of its code and additional bits together (a DC symbol is its category, below 16;
    // an AC symbol's category is its low 4 bits). The caller knows from the symbols before
    // which table comes next: the blocks of each MCU (Y, Cb, Cr) each send a DC symbol, then AC
    // symbols up to an EOB or the 63rd coefficient.
    unsigned Peek(const Cursor& at, unsigned t) const {
        const Table& table = tables_[t];
        const unsigned entry = table.lookup[at.buffer >> (64 - kLookupBits)];
        if (entry == 0) [[unlikely]] {
            return LongCode(table, at.buffer);
        }
        return entry;
    }

    // Takes the next `bits` (1..27) bits: the code and additional bits of the symbol Peek
    // gave.
    static uint32_t Take(Cursor& at, unsigned bits) {
        const auto taken = static_cast<uint32_t>(at.buffer >> (64 - bits));
        at.buffer <<= bits;
        at.count -= bits;
        return taken;
    }

    // Codes up to this long are found with one look-up; longer ones by comparing lengths.
    static constexpr unsigned kLookupBits = 11;

  private:
    struct Table {
        std::array<uint16_t, size_t{1} << kLookupBits>
            lookup{};                           // (length + category) << 8 | symbol; 0 if longer
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
