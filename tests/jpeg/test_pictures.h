#pragma once
// Synthetic pictures for the encoder tests, held as the encoder reads them: bottom-up rows
// padded to whole 32-bit words. Colours are given top-down, as a person looks at the picture.

#include <cstdint>
#include <functional>
#include <memory>
#include <random>

#include <string>
#include <vector>
#include "tests/jpeg/test_random.h"

namespace k3v::jpeg::testing {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

// Colour of the pixel in column x of row y counted from the top.
using PixelSource = std::function<Rgb(int x, int y)>;

struct TestPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> topDown;  // width * height, row 0 the top row

    Rgb at(int x, int y) const { return topDown[static_cast<size_t>(y) * width + x]; }

    // The pixel array the encoder takes: rows bottom row first, padded to 32-bit words.
    // 32 bpp stores `fourth` in each pixel's unused byte; 16 bpp keeps the top 5 bits.
    std::vector<uint8_t> Dib(int bitsPerPixel, uint8_t fourth = 0) const {
        const size_t stride = (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
        std::vector<uint8_t> dib(stride * height, 0xEE);  // padding bytes must not matter
        for (int y = 0; y < height; ++y) {
            uint8_t* row = dib.data() + static_cast<size_t>(height - 1 - y) * stride;
            for (int x = 0; x < width; ++x) {
                const Rgb c = at(x, y);
                if (bitsPerPixel == 32) {
                    uint8_t* p = row + 4 * static_cast<size_t>(x);
                    p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = fourth;
                } else if (bitsPerPixel == 24) {
                    uint8_t* p = row + 3 * static_cast<size_t>(x);
                    p[0] = c.b, p[1] = c.g, p[2] = c.r;
                } else {
                    const unsigned word = (c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3);
                    row[2 * static_cast<size_t>(x)] = static_cast<uint8_t>(word);
                    row[2 * static_cast<size_t>(x) + 1] = static_cast<uint8_t>(word >> 8);
                }
            }
        }
        return dib;
    }
};

inline TestPicture MakePicture(int width, int height, const PixelSource& source) {
    TestPicture picture{width, height, {}};
    picture.topDown.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.topDown.push_back(source(x, y));
        }
    }
    return picture;
}

// Named contents: flat colour, smooth gradients, uniform noise, hard-edged checkerboard.
inline PixelSource Content(const std::string& name, int width, int height) {
    if (name == "flat") {
        return [](int, int) { return Rgb{200, 120, 40}; };
    }
    if (name == "gradient") {
        return [width, height](int x, int y) {
            const int gx = width > 1 ? 255 * x / (width - 1) : 128;
            const int gy = height > 1 ? 255 * y / (height - 1) : 128;
            return Rgb{static_cast<uint8_t>(gx), static_cast<uint8_t>(gy),
                       static_cast<uint8_t>((gx + gy) / 2)};
        };
    }
    if (name == "noise") {
        auto rng = std::make_shared<Random>(12345u);
        return [rng](int, int) {
            const uint32_t v = (*rng)();
            return Rgb{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                       static_cast<uint8_t>(v >> 16)};
        };
    }
    // "edges": 5-pixel squares of saturated colours, edges not on block boundaries.
    return [](int x, int y) {
        static const Rgb kColours[4] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
        return kColours[((x / 5) + 2 * (y / 5)) % 4];
    };
}

}  // namespace k3v::jpeg::testing
