#include "input/exif_orientation.h"

#include <cstring>
#include <utility>

namespace k3v {

namespace {

class TiffReader {
  public:
    TiffReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}

    bool littleEndian() const { return little_; }
    void setLittleEndian(bool little) { little_ = little; }

    bool read16(size_t at, uint32_t& value) const {
        if (at > length_ || length_ - at < 2) {
            return false;
        }
        value = little_ ? uint32_t(data_[at] | data_[at + 1] << 8)
                        : uint32_t(data_[at] << 8 | data_[at + 1]);
        return true;
    }

    bool read32(size_t at, uint32_t& value) const {
        uint32_t high = 0;
        uint32_t low = 0;
        if (!read16(at, little_ ? low : high) || !read16(at + 2, little_ ? high : low)) {
            return false;
        }
        value = high << 16 | low;
        return true;
    }

  private:
    const uint8_t* data_;
    size_t length_;
    bool little_ = true;
};

}  // namespace

int ExifOrientation(const uint8_t* app1, size_t length) {
    constexpr size_t kExifHeader = 6;  // "Exif\0\0"
    if (app1 == nullptr || length < kExifHeader + 8 || std::memcmp(app1, "Exif\0\0", 6) != 0) {
        return 1;
    }
    const uint8_t* tiff = app1 + kExifHeader;
    TiffReader reader(tiff, length - kExifHeader);
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        reader.setLittleEndian(true);
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        reader.setLittleEndian(false);
    } else {
        return 1;
    }
    uint32_t firstIfd = 0;
    uint32_t entries = 0;
    if (!reader.read32(4, firstIfd) || !reader.read16(firstIfd, entries)) {
        return 1;
    }
    // Each IFD entry: tag (2), type (2), count (4), value (4, a SHORT in its first two bytes).
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t entry = size_t(firstIfd) + 2 + size_t(e) * 12;
        uint32_t tag = 0;
        uint32_t value = 0;
        if (!reader.read16(entry, tag)) {
            return 1;
        }
        if (tag == 0x0112) {
            if (!reader.read16(entry + 8, value) || value < 1 || value > 8) {
                return 1;
            }
            return int(value);
        }
    }
    return 1;
}

Status ApplyOrientation(PixelPlane& plane, int orientation) {
    if (orientation < 2 || orientation > 8) {
        return Status::Ok();
    }
    const int32_t w = plane.width();
    const int32_t h = plane.height();
    const bool swaps = orientation >= 5;
    const int32_t outW = swaps ? h : w;
    const int32_t outH = swaps ? w : h;
    PixelPlane upright;
    if (Status allocated = upright.allocate(outW, outH); !allocated) {
        return allocated;
    }
    // Coordinates below run top-down (row 0 the top row), as EXIF describes them; planes
    // store the bottom row first.
    auto source = [&](int32_t x, int32_t yTop) { return plane.row(h - 1 - yTop)[x]; };
    for (int32_t y = 0; y < outH; ++y) {
        uint32_t* out = upright.row(outH - 1 - y);
        for (int32_t x = 0; x < outW; ++x) {
            switch (orientation) {
                case 2:
                    out[x] = source(w - 1 - x, y);
                    break;
                case 3:
                    out[x] = source(w - 1 - x, h - 1 - y);
                    break;
                case 4:
                    out[x] = source(x, h - 1 - y);
                    break;
                case 5:
                    out[x] = source(y, x);
                    break;
                case 6:
                    out[x] = source(y, h - 1 - x);
                    break;
                case 7:
                    out[x] = source(w - 1 - y, h - 1 - x);
                    break;
                default:
                    out[x] = source(w - 1 - y, x);
                    break;  // 8
            }
        }
    }
    plane = std::move(upright);
    return Status::Ok();
}

Status InstallUpright(PixelPlane&& decoded, int orientation, PixelPlane& plane) {
    if (Status upright = ApplyOrientation(decoded, orientation); !upright) {
        return upright;
    }
    plane = std::move(decoded);
    return Status::Ok();
}

}  // namespace k3v
