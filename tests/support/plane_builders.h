#pragma once
// Small helpers for building test pictures.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "stereo/conversion_settings.h"
#include "stereo/pixel_plane.h"
#include "stereo/stereo_planes.h"

namespace k3v::testing {

inline uint32_t Bgr(uint32_t blue, uint32_t green, uint32_t red) {
    return blue | green << 8 | red << 16;
}
inline uint32_t Grey(uint32_t value) {
    return Bgr(value, value, value);
}
inline uint32_t RedOf(uint32_t pixel) {
    return (pixel >> 16) & 0xFF;
}
inline uint32_t GreenOf(uint32_t pixel) {
    return (pixel >> 8) & 0xFF;
}
inline uint32_t BlueOf(uint32_t pixel) {
    return pixel & 0xFF;
}

// Every stored pixel of a plane, the spare row included.
inline std::vector<uint32_t> Pixels(const PixelPlane& plane) {
    return {plane.data(), plane.data() + plane.storedCount()};
}

// A plane of width x height filled with `value` (the spare row stays zero).
inline PixelPlane FilledPlane(int32_t width, int32_t height, uint32_t value) {
    PixelPlane plane;
    EXPECT_TRUE(plane.allocate(width, height).ok());
    for (size_t i = 0; i < plane.pixelCount(); ++i) {
        plane.data()[i] = value;
    }
    return plane;
}

// A plane whose pixels all differ, deterministic noise.
inline PixelPlane NoisePlane(int32_t width, int32_t height, uint32_t seed) {
    PixelPlane plane;
    EXPECT_TRUE(plane.allocate(width, height).ok());
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < plane.pixelCount(); ++i) {
        state = state * 1664525u + 1013904223u;
        plane.data()[i] = (state >> 8) & 0x00FFFFFFu;
    }
    return plane;
}

// Planes holding `first` (and `second`, if given) as loaded pictures.
inline StereoPlanes PlanesWith(PixelPlane first, PixelPlane* second = nullptr) {
    StereoPlanes planes;
    EXPECT_TRUE(InstallFirstPicture(planes, std::move(first)).ok());
    if (second != nullptr) {
        EXPECT_TRUE(InstallSecondPicture(planes, std::move(*second)).ok());
    }
    return planes;
}

// Every filter on, at strong values, and the colour depth.
inline ConversionSettings EveryFilter() {
    ConversionSettings s;
    s.SharpenOn = 1;
    s.SharpenLevel = 5;
    s.SharpenBlend = 1;
    s.NoiseOn = 1;
    s.NoisePasses = 5;
    s.BrightnessOn = 1;
    s.Brightness = 150;
    s.ContrastOn = 1;
    s.Contrast = 200;
    s.DepthOn = 1;
    s.DepthValue = 20;
    return s;
}

}  // namespace k3v::testing
