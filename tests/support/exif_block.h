#pragma once
// A JPEG file given an EXIF orientation, as a camera writes it.

#include <cstdint>
#include <vector>

namespace k3v::testing {

// Puts an EXIF block with the given orientation right after the JPEG's SOI marker.
inline std::vector<uint8_t> WithOrientation(std::vector<uint8_t> jpeg, uint8_t orientation) {
    const std::vector<uint8_t> app1 = {
        0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'M', 'M',         0, 42, 0, 0, 0, 8,
        0,    1,    0x01, 0x12, 0,   3,   0,   0,   0, 1, 0,   orientation, 0, 0,  0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

}  // namespace k3v::testing
