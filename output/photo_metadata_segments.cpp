#include "output/photo_metadata_segments.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>

namespace k3v {

namespace {

// TIFF field types and the tags of the picture size (Exif 2.32, 4.6.5).
constexpr uint32_t kShort = 3;
constexpr uint32_t kLong = 4;
constexpr uint32_t kExifIfdPointer = 0x8769;
constexpr uint32_t kPixelXDimension = 0xA002;
constexpr uint32_t kPixelYDimension = 0xA003;
constexpr size_t kIfdEntrySize = 12;

// The numbers of a TIFF structure in its byte order. A read outside the block gives nothing,
// so a damaged block is left as it is.
class TiffNumbers {
  public:
    explicit TiffNumbers(std::span<uint8_t> tiff)
        : tiff_(tiff), little_(tiff.size() >= 2 && tiff[0] == 'I' && tiff[1] == 'I') {}

    bool holds(size_t at, size_t bytes) const {
        return at <= tiff_.size() && tiff_.size() - at >= bytes;
    }

    std::optional<uint32_t> read(size_t at, size_t bytes) const {
        if (!holds(at, bytes)) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            value = value << 8 | tiff_[little_ ? at + bytes - 1 - i : at + i];
        }
        return value;
    }

    // Only where read() found the field.
    void write(size_t at, size_t bytes, uint32_t value) {
        for (size_t i = 0; i < bytes; ++i) {
            tiff_[little_ ? at + i : at + bytes - 1 - i] = uint8_t(value >> (8 * i));
        }
    }

    // Where the entry of `tag` in the IFD at `ifd` starts.
    std::optional<size_t> find(size_t ifd, uint32_t tag) const {
        const std::optional<uint32_t> entries = read(ifd, 2);
        for (size_t e = 0; entries && e < *entries; ++e) {
            const size_t at = ifd + 2 + e * kIfdEntrySize;
            if (!holds(at, kIfdEntrySize)) {
                return std::nullopt;
            }
            if (read(at, 2) == tag) {
                return at;
            }
        }
        return std::nullopt;
    }

    // An entry of one SHORT or LONG holds its value at the start of its 4-byte value field.
    void setNumber(size_t ifd, uint32_t tag, uint32_t value) {
        const std::optional<size_t> at = find(ifd, tag);
        if (!at || read(*at + 4, 4) != 1u) {
            return;
        }
        const std::optional<uint32_t> type = read(*at + 2, 2);
        if (type == kShort && value <= 0xFFFF) {
            write(*at + 8, 2, value);
        } else if (type == kLong) {
            write(*at + 8, 4, value);
        }
    }

  private:
    std::span<uint8_t> tiff_;
    bool little_;
};

void SetPictureSize(std::span<uint8_t> tiff, uint32_t width, uint32_t height) {
    TiffNumbers numbers(tiff);
    const bool ordered =
        tiff.size() >= 8 && tiff[0] == tiff[1] && (tiff[0] == 'I' || tiff[0] == 'M');
    const std::optional<uint32_t> ifd0 = ordered ? numbers.read(4, 4) : std::nullopt;
    const std::optional<size_t> pointer =
        ifd0 ? numbers.find(*ifd0, kExifIfdPointer) : std::nullopt;
    const std::optional<uint32_t> exifIfd = pointer ? numbers.read(*pointer + 8, 4) : std::nullopt;
    if (exifIfd) {
        numbers.setNumber(*exifIfd, kPixelXDimension, width);
        numbers.setNumber(*exifIfd, kPixelYDimension, height);
    }
}

void AppendSegmentHead(std::vector<uint8_t>& out, uint8_t marker, size_t payload,
                       std::string_view name) {
    const size_t length = 2 + payload;
    out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), name.begin(), name.end());
}

}  // namespace

std::vector<uint8_t> ExifSegment(const PhotoMetadata& metadata, uint32_t width, uint32_t height) {
    constexpr std::string_view kName("Exif\0\0", 6);
    if (metadata.exif.empty() || metadata.exif.size() > kMaxExifBytes) {
        return {};
    }
    std::vector<uint8_t> segment;
    AppendSegmentHead(segment, 0xE1, kName.size() + metadata.exif.size(), kName);
    const size_t tiffAt = segment.size();
    segment.insert(segment.end(), metadata.exif.begin(), metadata.exif.end());
    SetPictureSize(std::span(segment).subspan(tiffAt), width, height);
    return segment;
}

std::vector<uint8_t> IccSegments(const PhotoMetadata& metadata) {
    constexpr std::string_view kName("ICC_PROFILE\0", 12);
    const std::vector<uint8_t>& icc = metadata.icc;
    if (icc.empty() || icc.size() > kMaxIccBytes) {
        return {};
    }
    const size_t count = (icc.size() + kIccBytesPerSegment - 1) / kIccBytesPerSegment;
    std::vector<uint8_t> segments;
    segments.reserve(icc.size() + count * (4 + kName.size() + 2));
    for (size_t i = 0; i < count; ++i) {
        const size_t from = i * kIccBytesPerSegment;
        const size_t bytes = std::min(kIccBytesPerSegment, icc.size() - from);
        AppendSegmentHead(segments, 0xE2, kName.size() + 2 + bytes, kName);
        segments.push_back(uint8_t(i + 1));
        segments.push_back(uint8_t(count));
        segments.insert(segments.end(), icc.begin() + ptrdiff_t(from),
                        icc.begin() + ptrdiff_t(from + bytes));
    }
    return segments;
}

}  // namespace k3v
