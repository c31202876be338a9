#include "output/jpeg/quantization.h"

#include <algorithm>
#include <cmath>

namespace k3v::jpeg {

namespace {

// Tables K.1 and K.2 as T.81 prints them, row by row.
constexpr std::array<uint8_t, 64> kLumaRowMajor = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};
constexpr std::array<uint8_t, 64> kChromaRowMajor = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,
};

// T.81 Figure A.6.
constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  5,  6,  14, 15, 27, 28,  //
    2,  4,  7,  13, 16, 26, 29, 42,  //
    3,  8,  12, 17, 25, 30, 41, 43,  //
    9,  11, 18, 24, 31, 40, 44, 53,  //
    10, 19, 23, 32, 39, 45, 52, 54,  //
    20, 22, 33, 38, 46, 51, 55, 60,  //
    21, 34, 37, 47, 50, 56, 59, 61,  //
    35, 36, 48, 49, 57, 58, 62, 63,
};

constexpr QuantTable ToZigzag(const std::array<uint8_t, 64>& rowMajor) {
    QuantTable zigzag{};
    for (size_t i = 0; i < 64; ++i) {
        zigzag[kZigzag[i]] = rowMajor[i];
    }
    return zigzag;
}

// Adding and subtracting 1.5 * 2^52 leaves a double rounded to an integer in the current
// rounding mode (nearest, ties to even) for every |x| < 2^51; plain arithmetic, so the
// compiler can vectorise it, unlike a call of lrint.
constexpr double kRoundingMagic = 6755399441055744.0;

}  // namespace

const std::array<uint8_t, 64> kZigzagIndex = kZigzag;
const QuantTable kLumaBaseTable = ToZigzag(kLumaRowMajor);
const QuantTable kChromaBaseTable = ToZigzag(kChromaRowMajor);

const std::array<float, 8> kAanScale = {
    0.3535533906f, 0.2548977896f, 0.2705980501f, 0.3006724435f,
    0.3535533906f, 0.4499881116f, 0.6532814824f, 1.281457724f,
};

int EffectiveQuality(int32_t quality) {
    return (quality >= 50 && quality <= 100) ? quality : 75;
}

QuantTable ScaleQuantTable(const QuantTable& base, int effectiveQuality) {
    const int scale = 200 - 2 * effectiveQuality;
    QuantTable table{};
    for (size_t z = 0; z < 64; ++z) {
        // A true division: at quality 50 an odd base value gains 0.5 and rounds to even.
        const double value = std::nearbyint((base[z] * scale + 50) / 100.0);
        table[z] = static_cast<uint8_t>(std::clamp(value, 1.0, 255.0));
    }
    return table;
}

DivisorTable BuildDivisors(const QuantTable& table) {
    DivisorTable divisors{};
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < 8; ++x) {
            const size_t z = kZigzagIndex[8 * y + x];
            const long double product =
                static_cast<long double>(kAanScale[y]) * static_cast<long double>(kAanScale[x]);
            const auto q = static_cast<long double>(static_cast<float>(table[z]));
            divisors[z] = static_cast<float>(product / q);
        }
    }
    return divisors;
}

DivisorTable InNaturalOrder(const DivisorTable& zigzagDivisors) {
    DivisorTable natural{};
    for (size_t i = 0; i < 64; ++i) {
        natural[i] = zigzagDivisors[kZigzagIndex[i]];
    }
    return natural;
}

QuantTables SetupQuantTables(int32_t quality) {
    const int q = EffectiveQuality(quality);
    QuantTables tables;
    tables.luma = ScaleQuantTable(kLumaBaseTable, q);
    tables.chroma = ScaleQuantTable(kChromaBaseTable, q);
    tables.lumaDivisors = BuildDivisors(tables.luma);
    tables.chromaDivisors = BuildDivisors(tables.chroma);
    tables.lumaNatural = InNaturalOrder(tables.lumaDivisors);
    tables.chromaNatural = InNaturalOrder(tables.chromaDivisors);
    return tables;
}

void QuantizeBlock(const float* block, const DivisorTable& naturalDivisors, int16_t* out) {
    // Quantise in the block's own order, which vectorises, then move into zig-zag order.
    int16_t natural[64];
    for (size_t i = 0; i < 64; ++i) {
        // Both factors have 24 significant bits, so the double product is exact and equals
        // the extended-precision one; it is rounded only once, to an integer.
        const double product =
            static_cast<double>(naturalDivisors[i]) * static_cast<double>(block[i]);
        natural[i] = static_cast<int16_t>((product + kRoundingMagic) - kRoundingMagic);
    }
    for (size_t i = 0; i < 64; ++i) {
        out[kZigzagIndex[i]] = natural[i];
    }
}

}  // namespace k3v::jpeg
