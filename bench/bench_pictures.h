#pragma once
// Test pictures and yardsticks shared by the benchmarks.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "output/safe_file_writer.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v::bench {

// A photo-like test picture, top row first, red-green-blue: smooth shading, a few hard edges
// and fine texture (noise & textureMask, centred), so that every coefficient category occurs.
inline std::vector<uint8_t> SyntheticRgb(int width, int height, uint32_t textureMask = 15) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    const int centre = static_cast<int>(textureMask + 1) / 2;
    uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double shade = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.003);
            const bool stripe = ((x / 97) + (y / 61)) % 5 == 0;
            const int texture = static_cast<int>(noise & textureMask) - centre;
            const int r = static_cast<int>(shade * 230) + texture + (stripe ? 40 : 0);
            const int g = static_cast<int>((1 - shade) * 200) + texture / 2;
            const int b = static_cast<int>(128 + 100 * std::sin((x + y) * 0.002)) + texture;
            uint8_t* p = rgb.data() + 3 * (static_cast<size_t>(y) * width + x);
            p[0] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
            p[1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
            p[2] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
        }
    }
    return rgb;
}

// The synthetic picture as a binary PPM file.
inline Status WriteSyntheticPpm(const std::string& path, int width, int height,
                                uint32_t textureMask = 15) {
    const std::vector<uint8_t> rgb = SyntheticRgb(width, height, textureMask);
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    return WriteFileSafely(path, bytes);
}

// Every filter at its heaviest, and the views displaced by a depth value.
inline ConversionSettings HeaviestSettings() {
    ConversionSettings s;
    s.SharpenOn = 1;
    s.SharpenLevel = 5;
    s.SharpenBlend = 3;
    s.NoiseOn = 1;
    s.NoisePasses = 5;
    s.BrightnessOn = 1;
    s.Brightness = 150;
    s.ContrastOn = 1;
    s.Contrast = 160;
    s.DepthOn = 1;
    s.DepthValue = 30;
    return s;
}

// Planes holding a random first picture of the given size, made once per size.
inline StereoPlanes& PlanesOfSize(int32_t width, int32_t height) {
    static std::map<std::pair<int32_t, int32_t>, StereoPlanes> cache;
    auto [at, fresh] = cache.try_emplace({width, height});
    if (fresh) {
        PixelPlane picture;
        if (!picture.allocate(width, height).ok()) {
            std::abort();
        }
        uint32_t state = 12345;
        for (size_t i = 0; i < picture.pixelCount(); ++i) {
            state = state * 1664525u + 1013904223u;
            picture.data()[i] = (state >> 8) & 0x00FFFFFFu;
        }
        if (!InstallFirstPicture(at->second, std::move(picture)).ok()) {
            std::abort();
        }
    }
    return at->second;
}

// How long `work` takes, in seconds.
template <typename Work>
double SecondsOf(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of three copies of one plane: the yardstick conversions are measured against.
inline double PlaneCopySeconds(StereoPlanes& planes) {
    using Clock = std::chrono::steady_clock;
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        std::memcpy(planes.SourceImage1.data(), planes.DecodedImage1.data(),
                    planes.SourceImage1.storedCount() * sizeof(uint32_t));
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace k3v::bench
