#pragma once
// Converting pixels to Y, Cb and Cr.

#include <cstddef>
#include <cstdint>

namespace k3v::jpeg {

// Converts the 8 x 8 pixels of block column `blockColumn` of a strip (8 rows of `paddedWidth`
// pixels, each 3 bytes: blue, green, red) into level-shifted Y, Cb and Cr blocks (row-major). Per
// component: red * kR + green * kG + blue * kB + offset with the JFIF coefficients in single
// precision, summed exactly and stored in single precision.
//   Y:  0.299,    0.587,    0.114,   -128
//   Cb: -0.16874, -0.33126, 0.5,     0
//   Cr: 0.5,      -0.41869, -0.08131, 0
// (the JFIF equations with the level shift of T.81 applied: Cb and Cr lose their +128 and the
// shift's -128 together).
void ConvertBlock(const uint8_t* strip, size_t paddedWidth, size_t blockColumn, float* y, float* cb,
                  float* cr);

}  // namespace k3v::jpeg
