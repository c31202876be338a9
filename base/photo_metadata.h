#pragma once
// A photo's information that JPEG outputs carry from the first picture, as plain bytes: the
// reader (input/photo_metadata_reader.h) fills it, the writers (output/photo_metadata_segments.h)
// place it. Both parts empty: the outputs are as without it, byte for byte.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace k3v {

struct PhotoMetadata {
    // The Exif block as a TIFF structure (what follows "Exif\0\0" in a JPEG's APP1 segment),
    // orientation 1 and no thumbnail, at most kMaxExifBytes; empty for none.
    std::vector<uint8_t> exif;
    // The ICC colour profile, at most kMaxIccBytes; empty for none.
    std::vector<uint8_t> icc;

    bool empty() const { return exif.empty() && icc.empty(); }
};

// A JPEG marker segment holds at most 65533 bytes after its 2-byte length. The Exif block goes
// into one APP1 segment after "Exif\0\0"; the profile is split over up to 255 APP2 segments,
// each after "ICC_PROFILE\0", its number and the count (ICC.1, Annex B.4).
inline constexpr size_t kMaxSegmentPayload = 65533;
inline constexpr size_t kMaxExifBytes = kMaxSegmentPayload - 6;
inline constexpr size_t kIccBytesPerSegment = kMaxSegmentPayload - 14;
inline constexpr size_t kMaxIccBytes = 255 * kIccBytesPerSegment;

}  // namespace k3v
