#pragma once
// Conversions every decoder shares, so that a colour arrives the same from every format.

#include <cstdint>

namespace k3v {

// A 16-bit sample as 8 bits, rounded to nearest: v x 255 / 65535 = v / 257, and 257 is odd,
// so no value lies halfway.
inline uint32_t Sample16To8(uint32_t v) {
    return (v * 255 + 32767) / 65535;
}

// A pixel with straight (not premultiplied) alpha composited over black: each colour times
// alpha / 255, rounded to nearest. Byte 0 blue, 1 green, 2 red, 3 zero.
inline uint32_t OverBlack(uint32_t r, uint32_t g, uint32_t b, uint32_t alpha) {
    if (alpha == 255) {
        return b | g << 8 | r << 16;
    }
    const auto scaled = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
    return scaled(b) | scaled(g) << 8 | scaled(r) << 16;
}

}  // namespace k3v
