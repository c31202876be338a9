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

    // Reads the symbols of `mcus` MCUs (for each, the Y, Cb and Cr blocks: a DC symbol, then AC
    // symbols up to an EOB or the 63rd coefficient) from `bits`, most significant bit first,
    // without byte stuffing, and followed by at least 8 readable bytes. Writes their words to
    // `out` (room for SymbolStorage(mcus * kMaxSymbolsPerMcu) bytes) and returns their number.
    size_t Read(const uint8_t* bits, size_t mcus, uint8_t* out) const;

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

    std::array<Table, 4> tables_;  // in the order of SymbolTable
};

}  // namespace k3v::jpeg
