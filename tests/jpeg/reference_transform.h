#pragma once
// The picture transform written as plainly as possible, for comparison with the fast one:
// a zeroed 24-bit bottom-up surface of whole blocks with the picture drawn into its top-left
// corner, one pass over the surface per component, every sum in extended precision, a DCT that
// rounds each intermediate explicitly, and quantisation of an extended-precision product.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output/jpeg/quantization.h"

namespace k3v::jpeg::testing {

// ---- Slow reference: the stated operation order, written out one rounding at a time -------
//
// Every value is formed in long double and rounded to float by R() as soon as it exists;
// products use the multipliers as long double literals. A sum of two floats formed in long
// double and rounded once equals the single-precision sum, so this needs no float arithmetic.

inline float R(long double v) {
    return static_cast<float>(v);
}

inline void ReferencePass(float d[8]) {
    const long double c4 = 0.707106781L, c6 = 0.382683433L, c2m6 = 0.541196100L,
                      c2p6 = 1.306562965L;
    using L = long double;
    const float t0 = R(L(d[0]) + d[7]), t7 = R(L(d[0]) - d[7]);
    const float t1 = R(L(d[1]) + d[6]), t6 = R(L(d[1]) - d[6]);
    const float t2 = R(L(d[2]) + d[5]), t5 = R(L(d[2]) - d[5]);
    const float t3 = R(L(d[3]) + d[4]), t4 = R(L(d[3]) - d[4]);
    float out[8];
    // even part
    const float t10 = R(L(t0) + t3), t13 = R(L(t0) - t3);
    const float t11 = R(L(t1) + t2), t12 = R(L(t1) - t2);
    out[0] = R(L(t10) + t11);
    out[4] = R(L(t10) - t11);
    const float z1 = R(L(R(L(t12) + t13)) * c4);
    out[2] = R(L(t13) + z1);
    out[6] = R(L(t13) - z1);
    // odd part
    const float u10 = R(L(t4) + t5), u11 = R(L(t5) + t6), u12 = R(L(t6) + t7);
    const float z5 = R(L(R(L(u10) - u12)) * c6);
    const float z2 = R(L(R(c2m6 * u10)) + z5);
    const float z4 = R(L(R(c2p6 * u12)) + z5);
    const float z3 = R(L(u11) * c4);
    const float z11 = R(L(t7) + z3), z13 = R(L(t7) - z3);
    out[5] = R(L(z13) + z2);
    out[3] = R(L(z13) - z2);
    out[1] = R(L(z11) + z4);
    out[7] = R(L(z11) - z4);
    std::memcpy(d, out, sizeof(out));
}

inline void ReferenceDct(float block[64]) {
    for (int x = 0; x < 8; ++x) {  // columns first
        float column[8];
        for (int y = 0; y < 8; ++y)
            column[y] = block[8 * y + x];
        ReferencePass(column);
        for (int y = 0; y < 8; ++y)
            block[8 * y + x] = column[y];
    }
    for (int y = 0; y < 8; ++y) {
        ReferencePass(block + 8 * y);
    }
}

// The three coefficient planes, each block after block in raster order, 64 values per block
// in zig-zag order.
struct ReferencePlanes {
    std::vector<int> y, cb, cr;
};

inline ReferencePlanes ReferenceTransform(const uint8_t* pixels, int width, int height,
                                          int bitsPerPixel, int quality) {
    const int across = (width + 7) / 8, down = (height + 7) / 8;
    const int w8 = 8 * across, h8 = 8 * down;
    // The surface: rows of 3 * w8 bytes, bottom row first, black.
    std::vector<uint8_t> surface(static_cast<size_t>(3) * w8 * h8, 0);
    const size_t stride = (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
    for (int row = 0; row < height; ++row) {  // stored rows, bottom first
        const uint8_t* in = pixels + row * stride;
        // Stored row `row` of the picture is picture row height-1-row from the top, which
        // lands on surface row h8-1-(height-1-row) counted from the bottom.
        uint8_t* out = surface.data() + static_cast<size_t>(3) * w8 * (h8 - height + row);
        for (int x = 0; x < width; ++x) {
            uint8_t b, g, r;
            if (bitsPerPixel == 16) {
                const unsigned v = in[2 * x] | in[2 * x + 1] << 8;
                auto expand = [](unsigned c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
                b = expand(v & 31), g = expand(v >> 5 & 31), r = expand(v >> 10 & 31);
            } else {
                const int bytes = bitsPerPixel / 8;
                b = in[bytes * x], g = in[bytes * x + 1], r = in[bytes * x + 2];
            }
            out[3 * x] = b, out[3 * x + 1] = g, out[3 * x + 2] = r;
        }
    }

    const int q = (quality >= 50 && quality <= 100) ? quality : 75;
    const float k[3][3] = {
        {0.299f, 0.587f, 0.114f}, {-0.16874f, -0.33126f, 0.5f}, {0.5f, -0.41869f, -0.08131f}};
    const long double offset[3] = {-128.0L, 0.0L, 0.0L};
    ReferencePlanes planes;
    std::vector<int>* out[3] = {&planes.y, &planes.cb, &planes.cr};
    for (int component = 0; component < 3; ++component) {
        const QuantTable& base = component == 0 ? kLumaBaseTable : kChromaBaseTable;
        long double divisor[64];
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int z = kZigzagIndex[8 * y + x];
                const double value = std::nearbyint((base[z] * (200 - 2 * q) + 50) / 100.0);
                const float qz = static_cast<float>(value < 1 ? 1 : value > 255 ? 255 : value);
                divisor[z] =
                    static_cast<float>(static_cast<long double>(kAanScale[y]) * kAanScale[x] / qz);
            }
        }
        std::vector<int>& plane = *out[component];
        plane.assign(static_cast<size_t>(across) * down * 64, 0);
        size_t cursor = 0;
        for (int by = 0; by < down; ++by) {
            for (int bx = 0; bx < across; ++bx) {
                float block[64];
                for (int r = 0; r < 8; ++r) {
                    const int fromTop = 8 * by + r;
                    const uint8_t* row =
                        surface.data() + static_cast<size_t>(3) * w8 * (h8 - 1 - fromTop);
                    for (int c = 0; c < 8; ++c) {
                        const uint8_t* p = row + 3 * (8 * bx + c);
                        const long double sum = p[2] * static_cast<long double>(k[component][0]) +
                                                p[1] * static_cast<long double>(k[component][1]) +
                                                p[0] * static_cast<long double>(k[component][2]) +
                                                offset[component];
                        block[8 * r + c] = static_cast<float>(sum);
                    }
                }
                ReferenceDct(block);
                for (int i = 0; i < 64; ++i) {
                    const int z = kZigzagIndex[i];
                    const long double product =
                        static_cast<long double>(static_cast<float>(divisor[z])) * block[i];
                    plane[cursor + z] = static_cast<int>(std::nearbyintl(product));
                }
                cursor += 64;
            }
        }
    }
    return planes;
}

}  // namespace k3v::jpeg::testing
