#pragma once
// The per-block work of the streaming encoder: colour conversion, DCT and quantisation of the
// three 8 x 8 blocks of one MCU, read from a strip of 32-bit pixels. Three versions give the
// same bits: the portable one (the functions of color_conversion.h, forward_dct.h and
// quantization.h, one block at a time) and the vector one compiled twice, for SSE2 and for
// AVX2, chosen at run time by ActiveSimdLevel().
//
// Strip: 8 rows of `stride` pixels, top row first, each pixel a 32-bit word with blue in the
// low byte, then green, then red (the high byte is ignored); padding pixels are black.

#include <array>
#include <cstddef>
#include <cstdint>

#include "output/jpeg/quantization.h"

namespace k3v::jpeg {

// One MCU: a Y, a Cb and a Cr block of 64 coefficients each, nothing subsampled.
enum Component : size_t { kY = 0, kCb = 1, kCr = 2 };
inline constexpr size_t kComponents = 3;
inline constexpr size_t kBlockSize = 64;

struct BlockTables {
    DivisorTable lumaNatural;  // as in QuantTables, natural order
    DivisorTable chromaNatural;
    // The vector kernels finish the DCT transposed: index 8 * x + y holds the divisor of the
    // coefficient in row y and column x.
    alignas(32) std::array<float, 64> lumaTransposed;
    alignas(32) std::array<float, 64> chromaTransposed;
};

BlockTables MakeBlockTables(const QuantTables& tables);

// For index 8 * x + y of a transposed block, the zig-zag position of row y, column x.
extern const std::array<uint8_t, 64> kTransposedZigzag;

// Writes the Y, Cb and Cr blocks of block column `blockColumn` in zig-zag order to out[0..63],
// out[64..127] and out[128..191], and their CoefficientWords (below) to words[0..191].
using BlockTransform = void (*)(const uint32_t* strip, size_t stride, size_t blockColumn,
                                const BlockTables& tables, int16_t* out, uint32_t* words);

void TransformBlockPortable(const uint32_t* strip, size_t stride, size_t blockColumn,
                            const BlockTables& tables, int16_t* out, uint32_t* words);

namespace sse2 {
void TransformBlock(const uint32_t* strip, size_t stride, size_t blockColumn,
                    const BlockTables& tables, int16_t* out, uint32_t* words);
}  // namespace sse2

namespace avx2 {
void TransformBlock(const uint32_t* strip, size_t stride, size_t blockColumn,
                    const BlockTables& tables, int16_t* out, uint32_t* words);
}  // namespace avx2

// For each coefficient v of a block (64 values, any order): (extra << 10) | category, where
// category is Category(v) and extra the `category` low bits of v (of v - 1 for negative v),
// ExtraBits(v, category); the parts of a symbol word that do not depend on the run before v.
using CoefficientWords = void (*)(const int16_t* block, uint32_t* words);

void CoefficientWordsPortable(const int16_t* block, uint32_t* words);

namespace sse2 {
void CoefficientWords(const int16_t* block, uint32_t* words);
}  // namespace sse2

namespace avx2 {
void CoefficientWords(const int16_t* block, uint32_t* words);
}  // namespace avx2

// The versions for ActiveSimdLevel().
BlockTransform ChooseBlockTransform();
CoefficientWords ChooseCoefficientWords();

}  // namespace k3v::jpeg
