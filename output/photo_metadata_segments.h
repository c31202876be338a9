#pragma once
// The first picture's photo information (base/photo_metadata.h) as the segments of a JPEG
// output. The Exif block goes into one APP1 segment: "Exif\0\0", then the TIFF structure, whose
// picture size (PixelXDimension, PixelYDimension) is set to the output's, since a pair or one
// eye's view is not the photo's size. The ICC profile is split over APP2 segments: each
// "ICC_PROFILE\0", its number counted from 1, the number of segments, then the next at most
// 65519 bytes of the profile (ICC.1, Annex B.4).

#include <cstdint>
#include <vector>

#include "base/photo_metadata.h"

namespace k3v {

// The Exif segment of an output of width x height pixels, marker and length included; empty
// when there is no Exif block or it is too large for one segment.
std::vector<uint8_t> ExifSegment(const PhotoMetadata& metadata, uint32_t width, uint32_t height);

// The ICC segments, one after the other; empty when there is no profile or it is too large for
// 255 segments.
std::vector<uint8_t> IccSegments(const PhotoMetadata& metadata);

}  // namespace k3v
