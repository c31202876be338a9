#include "output/jpeg/forward_dct.h"

#include <cstddef>

namespace k3v::jpeg {

namespace {

// The flow graph's multipliers cos(pi/4), cos(3pi/8), cos(pi/8) - cos(3pi/8) and
// cos(pi/8) + cos(3pi/8), as extended-precision constants, carried here in double: for every
// float v, float(double(m) * v) equals float(m * v) formed in extended precision. That holds
// for all 2^23 significands (checked exhaustively in forward_dct_test.cpp) and so for every
// value of the block, since scaling by a power of two changes neither rounding. Double
// arithmetic vectorises; the x87 unit does not.
constexpr double kC4 = static_cast<double>(0.707106781L);
constexpr double kC6 = static_cast<double>(0.382683433L);
constexpr double kC2MinusC6 = static_cast<double>(0.541196100L);
constexpr double kC2PlusC6 = static_cast<double>(1.306562965L);

// One multiplication, rounded to single precision.
inline float Mul(double multiplier, float value) {
    return static_cast<float>(multiplier * static_cast<double>(value));
}

// Eight 8-point passes side by side: lane c transforms d[c], d[8 + c], ..., d[56 + c], that is
// column c of the block. The lanes are independent, so the compiler runs them in vectors.
void ColumnPasses(float* d) {
    for (size_t c = 0; c < 8; ++c) {
        const float t0 = d[c] + d[56 + c];
        const float t7 = d[c] - d[56 + c];
        const float t1 = d[8 + c] + d[48 + c];
        const float t6 = d[8 + c] - d[48 + c];
        const float t2 = d[16 + c] + d[40 + c];
        const float t5 = d[16 + c] - d[40 + c];
        const float t3 = d[24 + c] + d[32 + c];
        const float t4 = d[24 + c] - d[32 + c];

        // Even part.
        const float t10 = t0 + t3;
        const float t13 = t0 - t3;
        const float t11 = t1 + t2;
        const float t12 = t1 - t2;
        d[c] = t10 + t11;
        d[32 + c] = t10 - t11;
        const float sum1213 = t12 + t13;
        const float z1 = Mul(kC4, sum1213);
        d[16 + c] = t13 + z1;
        d[48 + c] = t13 - z1;

        // Odd part (t10, t11, t12 of the flow graph are o10, o11, o12 here).
        const float o10 = t4 + t5;
        const float o11 = t5 + t6;
        const float o12 = t6 + t7;
        const float diff = o10 - o12;
        const float z5 = Mul(kC6, diff);
        const float p2 = Mul(kC2MinusC6, o10);
        const float z2 = p2 + z5;
        const float p4 = Mul(kC2PlusC6, o12);
        const float z4 = p4 + z5;
        const float z3 = Mul(kC4, o11);
        const float z11 = t7 + z3;
        const float z13 = t7 - z3;
        d[40 + c] = z13 + z2;
        d[24 + c] = z13 - z2;
        d[8 + c] = z11 + z4;
        d[56 + c] = z11 - z4;
    }
}

void Transpose(float* d) {
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = y + 1; x < 8; ++x) {
            const float t = d[8 * y + x];
            d[8 * y + x] = d[8 * x + y];
            d[8 * x + y] = t;
        }
    }
}

}  // namespace

void ForwardDct(float* block) {
    ColumnPasses(block);
    // The row passes, run as column passes of the transposed block.
    Transpose(block);
    ColumnPasses(block);
    Transpose(block);
}

}  // namespace k3v::jpeg
