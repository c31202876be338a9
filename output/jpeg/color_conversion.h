#pragma once
// Reading the caller's pixels and converting them to Y, Cb and Cr.
//
// Input: a device-independent bitmap, rows stored bottom row first, each row padded to a whole
// number of 32-bit words; 32 bits per pixel (blue, green, red, unused byte), 24 (blue, green,
// red) or 16 (one little-endian word 0RRRRRGGGGGBBBBB; each 5-bit value v expands to 8 bits as
// (v << 3) | (v >> 2), so 31 gives 255, the usual expansion of 5-5-5 pixels).
//
// The encoder works on 8-row strips of the picture, top row first, padded on the right and at
// the bottom with black to whole blocks: partial edge blocks are filled with black, never with
// repeated edge pixels.

#include <cstddef>
#include <cstdint>

namespace k3v::jpeg {

struct DibPicture {
    const uint8_t* pixels = nullptr;
    size_t width = 0;
    size_t height = 0;
    int bitsPerPixel = 32;  // 16, 24 or 32

    // Bytes per stored row: whole 32-bit words.
    size_t Stride() const { return (width * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4; }
};

// Fills `strip` with picture rows 8 * blockRow .. 8 * blockRow + 7 (counted from the top), each
// `paddedWidth` pixels of 3 bytes (blue, green, red); pixels outside the picture are black.
void ReadStrip(const DibPicture& picture, size_t blockRow, size_t paddedWidth, uint8_t* strip);

// Converts the 8 x 8 pixels of block column `blockColumn` of a strip into level-shifted Y, Cb
// and Cr blocks (row-major). Per component: red * kR + green * kG + blue * kB + offset with the
// JFIF coefficients in single precision, summed exactly and stored in single precision.
//   Y:  0.299,    0.587,    0.114,   -128
//   Cb: -0.16874, -0.33126, 0.5,     0
//   Cr: 0.5,      -0.41869, -0.08131, 0
// (the JFIF equations with the level shift of T.81 applied: Cb and Cr lose their +128 and the
// shift's -128 together).
void ConvertBlock(const uint8_t* strip, size_t paddedWidth, size_t blockColumn, float* y, float* cb,
                  float* cr);

}  // namespace k3v::jpeg
