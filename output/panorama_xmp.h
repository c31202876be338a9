#pragma once
// The XMP packet that 360-degree viewers read to show an equirectangular panorama as a sphere:
// the GPano tags of a full, uncropped panorama of the picture's size, in an APP1 segment.

#include <cstdint>
#include <vector>

namespace k3v {

// Only a picture twice as wide as it is high covers the whole sphere.
bool IsFullSpherePicture(int64_t width, int64_t height);

// The whole APP1 segment, marker and length included: the XMP namespace name, a zero byte,
// then the packet.
std::vector<uint8_t> PanoramaXmpSegment(int64_t width, int64_t height);

}  // namespace k3v
