#include "output/jpeg/block_transform.h"

#include "base/simd_level.h"
#include "output/jpeg/color_conversion.h"
#include "output/jpeg/forward_dct.h"
#include "output/jpeg/huffman.h"

namespace k3v::jpeg {

namespace {

std::array<uint8_t, 64> MakeTransposedZigzag() {
    std::array<uint8_t, 64> table{};
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < 8; ++x) {
            table[8 * x + y] = kZigzagIndex[8 * y + x];
        }
    }
    return table;
}

std::array<float, 64> Transposed(const DivisorTable& natural) {
    std::array<float, 64> table{};
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < 8; ++x) {
            table[8 * x + y] = natural[8 * y + x];
        }
    }
    return table;
}

}  // namespace

const std::array<uint8_t, 64> kTransposedZigzag = MakeTransposedZigzag();

BlockTables MakeBlockTables(const QuantTables& tables) {
    BlockTables result;
    result.lumaNatural = tables.lumaNatural;
    result.chromaNatural = tables.chromaNatural;
    result.lumaTransposed = Transposed(tables.lumaNatural);
    result.chromaTransposed = Transposed(tables.chromaNatural);
    return result;
}

void TransformBlockPortable(const uint32_t* strip, size_t stride, size_t blockColumn,
                            const BlockTables& tables, int16_t* out, uint32_t* words) {
    // ConvertBlock reads blue, green, red byte triples.
    uint8_t bgr[8 * 8 * 3];
    for (size_t r = 0; r < 8; ++r) {
        const uint32_t* p = strip + r * stride + 8 * blockColumn;
        for (size_t c = 0; c < 8; ++c) {
            bgr[24 * r + 3 * c] = static_cast<uint8_t>(p[c]);
            bgr[24 * r + 3 * c + 1] = static_cast<uint8_t>(p[c] >> 8);
            bgr[24 * r + 3 * c + 2] = static_cast<uint8_t>(p[c] >> 16);
        }
    }
    alignas(32) float y[64];
    alignas(32) float cb[64];
    alignas(32) float cr[64];
    ConvertBlock(bgr, 8, 0, y, cb, cr);
    ForwardDct(y);
    ForwardDct(cb);
    ForwardDct(cr);
    QuantizeBlock(y, tables.lumaNatural, out);
    QuantizeBlock(cb, tables.chromaNatural, out + 64);
    QuantizeBlock(cr, tables.chromaNatural, out + 128);
    for (size_t c = 0; c < 3; ++c) {
        CoefficientWordsPortable(out + 64 * c, words + 64 * c);
    }
}

void CoefficientWordsPortable(const int16_t* block, uint32_t* words) {
    for (size_t i = 0; i < 64; ++i) {
        const int v = block[i];
        const unsigned category = Category(v);
        words[i] = (ExtraBits(v, category) << 10) | category;
    }
}

CoefficientWords ChooseCoefficientWords() {
    switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
            return avx2::CoefficientWords;
        case SimdLevel::Sse2:
            return sse2::CoefficientWords;
        default:
            return CoefficientWordsPortable;
    }
}

BlockTransform ChooseBlockTransform() {
    switch (ActiveSimdLevel()) {
        case SimdLevel::Avx2:
            return avx2::TransformBlock;
        case SimdLevel::Sse2:
            return sse2::TransformBlock;
        default:
            return TransformBlockPortable;
    }
}

}  // namespace k3v::jpeg
