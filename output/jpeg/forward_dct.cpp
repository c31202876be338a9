#include "output/jpeg/forward_dct.h"

#include <cstddef>

namespace k3v::jpeg {

namespace {

// The flow graph's multipliers: cos(pi/4), cos(3pi/8), cos(pi/8) - cos(3pi/8) and
// cos(pi/8) + cos(3pi/8), held in extended precision.
constexpr long double kC4 = 0.707106781L;
constexpr long double kC6 = 0.382683433L;
constexpr long double kC2MinusC6 = 0.541196100L;
constexpr long double kC2PlusC6 = 1.306562965L;

// One multiplication: extended-precision product, then rounded to single precision.
inline float Mul(long double multiplier, float value) {
    return static_cast<float>(multiplier * static_cast<long double>(value));
}

// One 8-point pass over d[0], d[stride], ..., d[7 * stride].
inline void Pass8(float* d, size_t stride) {
    const float t0 = d[0] + d[7 * stride];
    const float t7 = d[0] - d[7 * stride];
    const float t1 = d[1 * stride] + d[6 * stride];
    const float t6 = d[1 * stride] - d[6 * stride];
    const float t2 = d[2 * stride] + d[5 * stride];
    const float t5 = d[2 * stride] - d[5 * stride];
    const float t3 = d[3 * stride] + d[4 * stride];
    const float t4 = d[3 * stride] - d[4 * stride];

    // Even part.
    const float t10 = t0 + t3;
    const float t13 = t0 - t3;
    const float t11 = t1 + t2;
    const float t12 = t1 - t2;
    d[0] = t10 + t11;
    d[4 * stride] = t10 - t11;
    const float sum1213 = t12 + t13;
    const float z1 = Mul(kC4, sum1213);
    d[2 * stride] = t13 + z1;
    d[6 * stride] = t13 - z1;

    // Odd part.
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
    d[5 * stride] = z13 + z2;
    d[3 * stride] = z13 - z2;
    d[1 * stride] = z11 + z4;
    d[7 * stride] = z11 - z4;
}

}  // namespace

void ForwardDct(float* block) {
    for (size_t column = 0; column < 8; ++column) {
        Pass8(block + column, 8);
    }
    for (size_t row = 0; row < 8; ++row) {
        Pass8(block + 8 * row, 1);
    }
}

}  // namespace k3v::jpeg
