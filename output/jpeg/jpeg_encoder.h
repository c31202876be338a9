#pragma once
// The program's own baseline JPEG encoder (sequential DCT, optimised Huffman tables, 4:4:4).

#include <cstdint>
#include <string>
#include <vector>

#include "stereo/status.h"

namespace k3v {

// Encodes a bottom-up bitmap (rows bottom row first, each row padded to whole 32-bit words) of
// width x height pixels with `bitsPerPixel` 16, 24 or 32 (0 means 32) into a JFIF file in
// memory. Quality 50..100 is used as it is; any other value means 75.
Status EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitsPerPixel,
                  int32_t quality, std::vector<uint8_t>& file);

// Encodes and writes the file safely: a failure leaves any existing file untouched.
Status JPEGMAIN(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height,
                int32_t bitsPerPixel, int32_t quality);

}  // namespace k3v
