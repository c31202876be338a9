#include "output/jpeg/huffman.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cmath>
#include <numeric>
#include <set>

#include "tests/jpeg/reference_encoder.h"
#include "tests/jpeg/test_random.h"

namespace k3v::jpeg {
namespace {

// ---- Categories and additional bits (T.81 F.1.2.1) ----------------------------------------

struct CategoryCase {
    int value;
    unsigned category;
    uint32_t extra;
};

class CategoryTest : public ::testing::TestWithParam<CategoryCase> {};

TEST_P(CategoryTest, GivesCategoryAndAdditionalBits) {
    const CategoryCase c = GetParam();
    EXPECT_EQ(Category(c.value), c.category);
    EXPECT_EQ(ExtraBits(c.value, c.category), c.extra);
}

INSTANTIATE_TEST_SUITE_P(Values, CategoryTest,
                         ::testing::Values(CategoryCase{0, 0, 0}, CategoryCase{1, 1, 1},
                                           CategoryCase{-1, 1, 0}, CategoryCase{2, 2, 0b10},
                                           CategoryCase{3, 2, 0b11}, CategoryCase{-2, 2, 0b01},
                                           CategoryCase{-3, 2, 0b00}, CategoryCase{255, 8, 255},
                                           CategoryCase{-256, 9, 255}, CategoryCase{1023, 10, 1023},
                                           CategoryCase{-1023, 10, 0}, CategoryCase{1024, 11, 1024},
                                           CategoryCase{-1024, 11, 1023},
                                           CategoryCase{2047, 11, 2047},
                                           CategoryCase{-2047, 11, 0}));

// ---- Symbol statistics of one block --------------------------------------------------------

struct BlockCounts {
    SymbolCounts dc{};
    SymbolCounts ac{};
    uint64_t AcTotal() const { return std::accumulate(ac.begin(), ac.end(), uint64_t{0}); }
};

BlockCounts Count(const std::array<int16_t, 64>& block, int predictor = 0) {
    BlockCounts counts;
    CountBlockSymbols(block.data(), predictor, counts.dc, counts.ac);
    return counts;
}

TEST(CountBlockSymbols, DcDifferenceUsesAndUpdatesThePredictor) {
    std::array<int16_t, 64> block{};
    block[0] = -1024;
    int predictor = -1000;
    BlockCounts counts;
    CountBlockSymbols(block.data(), predictor, counts.dc, counts.ac);
    EXPECT_EQ(counts.dc[Category(-24)], 1u);  // -24 is category 5
    EXPECT_EQ(Category(-24), 5u);
    EXPECT_EQ(predictor, -1024);
}

TEST(CountBlockSymbols, BlockOfOnlyDcCountsOneEob) {
    std::array<int16_t, 64> block{};
    block[0] = 50;
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kEob], 1u);
    EXPECT_EQ(counts.AcTotal(), 1u);
}

TEST(CountBlockSymbols, SixteenZerosGiveOneZrl) {
    std::array<int16_t, 64> block{};
    block[17] = 3;  // 16 zeros at positions 1..16
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kZrl], 1u);
    EXPECT_EQ(counts.ac[0x02], 1u);  // run 0, category 2
    EXPECT_EQ(counts.ac[kEob], 1u);
    EXPECT_EQ(counts.AcTotal(), 3u);
}

TEST(CountBlockSymbols, FifteenZerosFitTheRunOfOneSymbol) {
    std::array<int16_t, 64> block{};
    block[16] = -1;
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kZrl], 0u);
    EXPECT_EQ(counts.ac[0xF1], 1u);
}

TEST(CountBlockSymbols, ThirtyTwoZerosGiveTwoZrls) {
    std::array<int16_t, 64> block{};
    block[33] = 1;
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kZrl], 2u);
    EXPECT_EQ(counts.ac[0x01], 1u);
}

TEST(CountBlockSymbols, TrailingZerosGiveOneEobAndNoZrl) {
    std::array<int16_t, 64> block{};
    block[1] = 5;  // then 62 zeros
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kZrl], 0u);
    EXPECT_EQ(counts.ac[kEob], 1u);
    EXPECT_EQ(counts.ac[0x03], 1u);
}

TEST(CountBlockSymbols, NonzeroLastCoefficientEndsWithoutEob) {
    std::array<int16_t, 64> block{};
    block[63] = 700;  // 62 zeros before it: three ZRLs and run 14
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.ac[kEob], 0u);
    EXPECT_EQ(counts.ac[kZrl], 3u);
    EXPECT_EQ(counts.ac[0xEA], 1u);  // run 14, category 10
}

TEST(CountBlockSymbols, EveryCoefficientNonzeroGivesSixtyThreeRunZeroSymbols) {
    std::array<int16_t, 64> block;
    for (int k = 0; k < 64; ++k)
        block[k] = static_cast<int16_t>(k % 2 ? -k : k + 1);
    const BlockCounts counts = Count(block);
    EXPECT_EQ(counts.AcTotal(), 63u);
    EXPECT_EQ(counts.ac[kEob], 0u);
    uint64_t runZero = 0;
    for (unsigned s = 1; s < 16; ++s)
        runZero += counts.ac[s];
    EXPECT_EQ(runZero, 63u);
}

// ---- Optimal tables (T.81 K.2) -------------------------------------------------------------

TEST(GenerateOptimalTable, SmallExampleGivesCodesZeroAndOneZero) {
    SymbolCounts counts{};
    counts[0] = 3;
    counts[1] = 1;
    const HuffmanTable table = GenerateOptimalTable(counts);
    EXPECT_EQ(table.bits[1], 1);
    EXPECT_EQ(table.bits[2], 1);
    for (int l = 3; l <= 16; ++l)
        EXPECT_EQ(table.bits[l], 0) << l;
    ASSERT_EQ(table.symbolCount, 2u);
    EXPECT_EQ(table.huffval[0], 0);
    EXPECT_EQ(table.huffval[1], 1);
    EXPECT_EQ(table.length[0], 1);
    EXPECT_EQ(table.code[0], 0b0);
    EXPECT_EQ(table.length[1], 2);
    EXPECT_EQ(table.code[1], 0b10);
    for (uint64_t c : counts)
        EXPECT_EQ(c, 0u);  // the statistics are consumed
}

TEST(GenerateOptimalTable, TiesMergeTheHighestNumberedSymbolFirst) {
    // Counts 0:2, 1:1, 2:1 and the reserved 256:1. Merging the highest-numbered of equal counts
    // first gives lengths 1, 2, 3; the opposite rule would give symbol 0 a longer code.
    SymbolCounts counts{};
    counts[0] = 2;
    counts[1] = 1;
    counts[2] = 1;
    const HuffmanTable table = GenerateOptimalTable(counts);
    EXPECT_EQ(table.length[0], 1);
    EXPECT_EQ(table.length[1], 2);
    EXPECT_EQ(table.length[2], 3);
    EXPECT_EQ(table.bits[3], 1);
    EXPECT_EQ(table.code[2], 0b110);
}

TEST(GenerateOptimalTable, OnlyEobGetsOneCodeOfLengthOne) {
    SymbolCounts counts{};
    counts[kEob] = 5000;
    const HuffmanTable table = GenerateOptimalTable(counts);
    EXPECT_EQ(table.bits[1], 1);
    EXPECT_EQ(std::accumulate(table.bits.begin(), table.bits.end(), 0), 1);
    ASSERT_EQ(table.symbolCount, 1u);
    EXPECT_EQ(table.huffval[0], kEob);
    EXPECT_EQ(table.length[kEob], 1);
    EXPECT_EQ(table.code[kEob], 0);
}

// Properties every table must have: lengths 1..16, BITS agrees with the lengths, HUFFVAL lists
// each counted symbol once by increasing length, a prefix-free code with room left over (the
// reserved all-ones code).
void ExpectValidTable(const HuffmanTable& table, const std::set<unsigned>& symbols) {
    ASSERT_EQ(table.symbolCount, symbols.size());
    std::array<unsigned, 17> lengthCount{};
    double kraft = 0;
    unsigned previousLength = 0;
    for (size_t k = 0; k < table.symbolCount; ++k) {
        const uint8_t s = table.huffval[k];
        EXPECT_TRUE(symbols.count(s)) << int(s);
        const unsigned length = table.length[s];
        ASSERT_GE(length, 1u);
        ASSERT_LE(length, 16u);
        EXPECT_GE(length, previousLength);
        previousLength = length;
        ++lengthCount[length];
        kraft += std::ldexp(1.0, -static_cast<int>(length));
        EXPECT_NE(table.code[s], (1u << length) - 1u) << "all-ones code for " << int(s);
    }
    for (int l = 1; l <= 16; ++l)
        EXPECT_EQ(table.bits[l], lengthCount[l]) << l;
    EXPECT_LT(kraft, 1.0);
    for (size_t a = 0; a < table.symbolCount; ++a) {
        for (size_t b = a + 1; b < table.symbolCount; ++b) {
            const uint8_t sa = table.huffval[a], sb = table.huffval[b];
            const unsigned shift = table.length[sb] - table.length[sa];
            EXPECT_NE(table.code[sb] >> shift, table.code[sa]) << "prefix " << int(sa);
        }
    }
}

TEST(GenerateOptimalTable, LimitsFibonacciCountsToSixteenBits) {
    // Fibonacci counts make an unlimited Huffman code as deep as there are symbols.
    SymbolCounts counts{};
    std::set<unsigned> symbols;
    uint64_t a = 1, b = 1;
    for (unsigned s = 0; s < 40; ++s) {
        counts[s * 3] = a;
        symbols.insert(s * 3);
        const uint64_t next = a + b;
        a = b;
        b = next;
    }
    const HuffmanTable table = GenerateOptimalTable(counts);
    ExpectValidTable(table, symbols);
    EXPECT_GT(table.bits[16], 0);  // the limit was needed
    // The most frequent symbol keeps the shortest code.
    EXPECT_EQ(table.length[39 * 3], table.length[table.huffval[0]]);
}

TEST(GenerateOptimalTable, AllTwoHundredFiftySixSymbolsFit) {
    SymbolCounts counts{};
    std::set<unsigned> symbols;
    for (unsigned s = 0; s < 256; ++s) {
        counts[s] = 1 + (s * 7919u) % 1000;
        symbols.insert(s);
    }
    ExpectValidTable(GenerateOptimalTable(counts), symbols);
}

TEST(AssignCodes, GivesTheCanonicalCodesOfTableK3) {
    // T.81 Table K.3 (luminance DC): BITS 0 1 5 1 1 1 1 1 1 0 0 0 0 0 0 0, HUFFVAL 0..11.
    HuffmanTable table;
    const uint8_t bits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    std::copy(bits, bits + 16, table.bits.begin() + 1);
    for (int s = 0; s < 12; ++s)
        table.huffval[s] = static_cast<uint8_t>(s);
    table.symbolCount = 12;
    AssignCodes(table);
    const uint16_t codes[12] = {0b00,   0b010,   0b011,    0b100,     0b101,      0b110,
                                0b1110, 0b11110, 0b111110, 0b1111110, 0b11111110, 0b111111110};
    const uint8_t lengths[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    for (int s = 0; s < 12; ++s) {
        EXPECT_EQ(table.code[s], codes[s]) << s;
        EXPECT_EQ(table.length[s], lengths[s]) << s;
    }
    EXPECT_EQ(table.length[12], 0);
}

// ---- Against libjpeg's table generator ------------------------------------------------------

// libjpeg's own implementation of T.81 K.2 (exported by libjpeg-turbo, not in its headers),
// an independent oracle for BITS and HUFFVAL. It takes counts below 10^9 only.
extern "C" void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);

struct LibjpegTable {
    std::array<uint8_t, 17> bits{};
    std::vector<uint8_t> huffval;
};

LibjpegTable LibjpegOptimalTable(const SymbolCounts& counts) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    JHUFF_TBL table{};
    std::array<long, 257> freq{};
    for (size_t s = 0; s < 256; ++s)
        freq[s] = static_cast<long>(counts[s]);
    jpeg_gen_optimal_table(&info, &table, freq.data());
    jpeg_destroy_compress(&info);
    LibjpegTable result;
    size_t total = 0;
    for (size_t l = 1; l <= 16; ++l) {
        result.bits[l] = table.bits[l];
        total += table.bits[l];
    }
    result.huffval.assign(table.huffval, table.huffval + total);
    return result;
}

class AgainstLibjpeg : public ::testing::TestWithParam<unsigned> {};

TEST_P(AgainstLibjpeg, GivesTheSameBitsAndHuffval) {
    testing::Random rng(GetParam());
    for (int round = 0; round < 50; ++round) {
        SymbolCounts counts{};
        const unsigned kind = rng() % 4;
        const unsigned symbols = 1 + rng() % 256;
        for (unsigned n = 0; n < symbols; ++n) {
            const unsigned s = rng() % 256;
            switch (kind) {
                case 0:
                    counts[s] += 1 + rng() % 4;
                    break;  // many ties
                case 1:
                    counts[s] += 1 + rng() % 100000;
                    break;  // spread out
                case 2:
                    counts[s] += uint64_t{1} << (rng() % 20);
                    break;  // very skewed
                default:
                    counts[s] += 1;
                    break;  // all equal
            }
        }
        const LibjpegTable expected = LibjpegOptimalTable(counts);
        const HuffmanTable table = GenerateOptimalTable(counts);
        for (size_t l = 1; l <= 16; ++l) {
            ASSERT_EQ(table.bits[l], expected.bits[l]) << "round " << round << " length " << l;
        }
        ASSERT_EQ(table.symbolCount, expected.huffval.size());
        for (size_t k = 0; k < table.symbolCount; ++k) {
            ASSERT_EQ(table.huffval[k], expected.huffval[k]) << "round " << round << " k " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, AgainstLibjpeg, ::testing::Range(1u, 7u));

TEST(AgainstLibjpegLimit, FibonacciCountsAreLimitedTheSameWay) {
    SymbolCounts counts{};
    uint64_t a = 1, b = 1;
    for (unsigned s = 0; s < 30; ++s) {  // libjpeg stops at code sizes above 32
        counts[255 - 6 * s] = a;
        const uint64_t next = a + b;
        a = b;
        b = next;
    }
    const LibjpegTable expected = LibjpegOptimalTable(counts);
    const HuffmanTable table = GenerateOptimalTable(counts);
    EXPECT_GT(table.bits[16], 0);
    for (size_t l = 1; l <= 16; ++l)
        EXPECT_EQ(table.bits[l], expected.bits[l]) << l;
    ASSERT_EQ(table.symbolCount, expected.huffval.size());
    for (size_t k = 0; k < table.symbolCount; ++k)
        EXPECT_EQ(table.huffval[k], expected.huffval[k]);
}

// ---- Tables of a whole picture -------------------------------------------------------------

TEST(BuildHuffmanTables, ListsExactlyTheSymbolsThatOccur) {
    CoefficientPlanes planes;
    planes.blocksAcross = 3;
    planes.blocksDown = 2;
    planes.coefficients.assign(planes.BlockCount() * 3 * 64, 0);
    std::set<unsigned> lumaDc, lumaAc, chromaDc, chromaAc;
    int lumaPredictor = 0, cbPredictor = 0, crPredictor = 0;
    for (size_t b = 0; b < planes.BlockCount(); ++b) {
        int16_t* y = planes.Block(b, kY);
        y[0] = static_cast<int16_t>(100 * b);
        y[5] = static_cast<int16_t>(b + 1);
        planes.Block(b, kCb)[0] = static_cast<int16_t>(-3 * static_cast<int>(b));
        planes.Block(b, kCr)[63] = 1;
        lumaDc.insert(Category(y[0] - lumaPredictor));
        lumaPredictor = y[0];
        lumaAc.insert(0x40 | Category(y[5]));
        lumaAc.insert(kEob);
        chromaDc.insert(Category(planes.Block(b, kCb)[0] - cbPredictor));
        cbPredictor = planes.Block(b, kCb)[0];
        chromaDc.insert(Category(0 - crPredictor));
        crPredictor = 0;
        chromaAc.insert(kEob);
        chromaAc.insert(kZrl);
        chromaAc.insert(0xE1);  // 62 zeros: three ZRLs, then run 14, category 1
    }
    const PictureTables tables = BuildHuffmanTables(planes);
    ExpectValidTable(tables.dc[0], lumaDc);
    ExpectValidTable(tables.ac[0], lumaAc);
    ExpectValidTable(tables.dc[1], chromaDc);
    ExpectValidTable(tables.ac[1], chromaAc);
    EXPECT_GT(tables.estimatedBytes, 0u);
}

}  // namespace
}  // namespace k3v::jpeg
