#pragma once
// Quantisation: the zig-zag order, the base tables of T.81 Annex K scaled by the quality, and
// the divisors that fold the scaled DCT's output factors and the quantisation into one
// multiplication per coefficient. Every table here is indexed by zig-zag position, the order
// in which the DQT segment stores it.

#include <array>
#include <cstdint>

namespace k3v::jpeg {

using QuantTable = std::array<uint8_t, 64>;  // zig-zag order, values 1..255
using DivisorTable = std::array<float, 64>;  // zig-zag order

// For row y and column x of a block (index 8 * y + x), the position of that coefficient in
// zig-zag order (T.81 Figure A.6).
extern const std::array<uint8_t, 64> kZigzagIndex;

// T.81 Annex K, Table K.1 (luminance) and Table K.2 (chrominance), in zig-zag order.
extern const QuantTable kLumaBaseTable;
extern const QuantTable kChromaBaseTable;

// a(k) = 1 / (2 * sqrt(2) * s(k)), s(0) = 1, s(k) = sqrt(2) * cos(k * pi / 16): the output
// factors of the Arai-Agui-Nakajima DCT for one dimension, in single precision.
extern const std::array<float, 8> kAanScale;

// Quality 50..100 is used as it is; anything else means 75.
int EffectiveQuality(int32_t quality);

// value = (base * (200 - 2Q) + 50) / 100 in floating point, rounded to nearest (ties to even),
// clamped to 1..255.
QuantTable ScaleQuantTable(const QuantTable& base, int effectiveQuality);

// divisor[z] = a(y) * a(x) / q[z], computed in extended precision, stored in single precision.
DivisorTable BuildDivisors(const QuantTable& table);

// The same divisors by natural (row-major) block index, the order of the DCT's output.
DivisorTable InNaturalOrder(const DivisorTable& zigzagDivisors);

struct QuantTables {
    QuantTable luma;
    QuantTable chroma;
    DivisorTable lumaDivisors;  // zig-zag order
    DivisorTable chromaDivisors;
    DivisorTable lumaNatural;  // natural order, for QuantizeBlock
    DivisorTable chromaNatural;
};

// Both tables and their divisors for the quality argument as the caller passed it.
QuantTables SetupQuantTables(int32_t quality);

// Quantises one transformed block (64 values, row-major) into `out` in zig-zag order: with
// i = 8 * y + x and z its zig-zag position, out[z] = naturalDivisors[i] * block[i], rounded to
// the nearest integer, ties to even.
void QuantizeBlock(const float* block, const DivisorTable& naturalDivisors, int16_t* out);

}  // namespace k3v::jpeg
