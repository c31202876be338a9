#pragma once
// The Arai-Agui-Nakajima scaled 8-point DCT in floating point, applied to the 8 columns of a
// block and then to its 8 rows. Its outputs are the true DCT coefficients times
// 8 * s(u) * s(v); the divisors of quantization.h remove that factor.
//
// Arithmetic, which fixes every bit of the result: every intermediate value (also unnamed
// sub-expressions such as t12 + t13) is rounded to single precision before it is used; a
// product with one of the four multipliers is the product with the multiplier in extended
// precision, rounded to single precision (computed in double, which gives the same float for
// every input). Compile without FMA contraction.

namespace k3v::jpeg {

// Transforms a block of 64 values, row-major (index 8 * row + column), in place.
void ForwardDct(float* block);

}  // namespace k3v::jpeg
