#pragma once
// A Standard Stereo pair made from one continuous texture, for the alignment's tests and
// benchmark: the first picture samples the texture as it is; the second samples it where a
// known distortion (keystone, turn, scale, vertical offset, about the picture's centre) and a
// horizontal depth that varies over the picture put each point. The texture can be sampled at
// any position, so the second picture is exact, not an interpolation of the first.

#include <array>
#include <cmath>
#include <cstdint>

#include "stereo/pixel_plane.h"

namespace k3v::testing {

inline constexpr double kPi = 3.14159265358979323846;

inline double Lattice(int64_t i, int64_t j, uint32_t seed) {
    uint64_t v = uint64_t(i) * 0x9E3779B97F4A7C15ull ^ uint64_t(j) * 0xC2B2AE3D27D4EB4Full ^ seed;
    v ^= v >> 29;
    v *= 0xBF58476D1CE4E5B9ull;
    v ^= v >> 32;
    return double(v & 0xFFFF) / 65535.0;
}

// Value noise: random values at the corners of square cells, smoothly interpolated.
inline double Noise(double x, double y, double cell, uint32_t seed) {
    x /= cell;
    y /= cell;
    const double fx = std::floor(x), fy = std::floor(y);
    const auto smooth = [](double t) { return t * t * t * (t * (t * 6 - 15) + 10); };
    const double sx = smooth(x - fx), sy = smooth(y - fy);
    const int64_t i = int64_t(fx), j = int64_t(fy);
    const double bottom = Lattice(i, j, seed) * (1 - sx) + Lattice(i + 1, j, seed) * sx;
    const double top = Lattice(i, j + 1, seed) * (1 - sx) + Lattice(i + 1, j + 1, seed) * sx;
    return bottom * (1 - sy) + top * sy;
}

// Four cell sizes from blobs to fine grain, in colour.
inline uint32_t Texture(double x, double y, uint32_t seed) {
    const double v = 0.35 * Noise(x, y, 41, seed) + 0.3 * Noise(x, y, 17, seed + 1) +
                     0.2 * Noise(x, y, 7, seed + 2) + 0.15 * Noise(x, y, 4, seed + 3);
    const uint32_t grey = uint32_t(std::lround(20 + 215 * v));
    return (200 - grey / 2) | (30 + grey * 3 / 4) << 8 | grey << 16;
}

// How the second picture is taken, in the plane's frame (y up) about the picture's centre: a
// keystone, then turned, scaled and moved up.
struct Distortion {
    double degrees = 0;
    double scale = 1;
    double keystoneX = 0;  // per pixel from the centre
    double keystoneY = 0;
    double up = 0;
};

using Matrix = std::array<double, 9>;

inline Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix c{};
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            for (int q = 0; q < 3; ++q) {
                c[r * 3 + q] += a[r * 3 + k] * b[k * 3 + q];
            }
        }
    }
    return c;
}

inline Matrix Inverse(const Matrix& m) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
            (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
            (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
            (m[0] * m[4] - m[1] * m[3]) / det};
}

// The distortion as a homography of coordinates centred on the picture.
inline Matrix Centred(const Distortion& d) {
    const double c = std::cos(d.degrees * kPi / 180) * d.scale;
    const double s = std::sin(d.degrees * kPi / 180) * d.scale;
    return Multiply({c, -s, 0, s, c, d.up, 0, 0, 1},
                    {1, 0, 0, 0, 1, 0, d.keystoneX, d.keystoneY, 1});
}

// How far right of its first-picture position a point lies in the second picture: 4 to 14
// pixels, nearest (14) where the sine and cosine peak together.
inline double Depth(double x, double y, int32_t width, int32_t height) {
    return 9 + 5 * std::sin(2 * kPi * 1.3 * x / width + 0.7) * std::cos(2 * kPi * y / height);
}

struct TexturedPair {
    PixelPlane first;
    PixelPlane second;
};

inline TexturedPair MakeTexturedPair(int32_t width, int32_t height, const Distortion& d,
                                     uint32_t seed = 7) {
    TexturedPair pair;
    if (!pair.first.allocate(width, height).ok() || !pair.second.allocate(width, height).ok()) {
        return pair;
    }
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const Matrix back = Inverse(Centred(d));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            pair.first.row(y)[x] = Texture(x, y, seed);
            const double u = x - cx, v = y - cy;
            const double w = back[6] * u + back[7] * v + back[8];
            const double qx = (back[0] * u + back[1] * v + back[2]) / w + cx;
            const double qy = (back[3] * u + back[4] * v + back[5]) / w + cy;
            // The first-picture point that the depth moves to qx: found by a few steps, the
            // depth changing slowly along the row.
            double px = qx;
            for (int i = 0; i < 4; ++i) {
                px = qx - Depth(px, qy, width, height);
            }
            pair.second.row(y)[x] = Texture(px, qy, seed);
        }
    }
    return pair;
}

}  // namespace k3v::testing
