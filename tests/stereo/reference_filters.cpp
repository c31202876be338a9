#include "tests/stereo/reference_engine.h"

#include <algorithm>
#include <cstring>

namespace k3v::reference {

namespace {

uint32_t Channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFFu;
}

struct SharpenWeights {
    int32_t centre;
    int32_t neighbour;
};

// c = 4n + 1, so a flat area keeps its value. Unknown levels sharpen like level 1.
SharpenWeights WeightsForLevel(int32_t level) {
    if (level >= 1 && level <= 5) {
        return {4 * level + 1, level};
    }
    return {5, 1};
}

// The blend with the unsharpened value o: 0 keeps the sharpened s, 3 keeps mostly o.
int32_t Blend(int32_t s, int32_t o, int32_t blend) {
    switch (blend) {
        case 1:
            return (s + o) / 2;
        case 2:
            return (s + 3 * o) / 4;
        default:
            return blend >= 3 ? (s + 7 * o) / 8 : s;
    }
}

}  // namespace

void SharpenPicture(int32_t width, int32_t height, uint32_t* picture, uint32_t* scratch,
                    int32_t level, int32_t blend) {
    if (level == 0 || height < 3) {
        return;
    }
    const auto [c, n] = WeightsForLevel(level);
    const size_t w = size_t(width);
    const size_t end = w * (size_t(height) - 1);  // first index of the top row
    for (size_t i = w; i < end; ++i) {
        const uint32_t o = picture[i];
        const uint32_t up = picture[i + w];
        const uint32_t down = picture[i - w];
        const uint32_t left = picture[i - 1];
        const uint32_t right = picture[i + 1];
        uint32_t result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const int32_t centre = int32_t(Channel(o, shift));
            const int32_t around = int32_t(Channel(up, shift) + Channel(down, shift) +
                                           Channel(left, shift) + Channel(right, shift));
            const int32_t s = std::clamp(c * centre - n * around, 0, 255);
            result |= uint32_t(Blend(s, centre, blend)) << shift;
        }
        scratch[i] = result;
    }
    std::memcpy(picture + w, scratch + w, (end - w) * sizeof(uint32_t));
}

void SmoothNoise(int32_t width, int32_t height, uint32_t* picture) {
    if (height < 3) {
        return;
    }
    scalar::SmoothNoiseRows(width, height, picture, 1, size_t(height) - 1);
}

}  // namespace k3v::reference
