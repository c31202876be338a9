#include "output/output_picture.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "base/memory_probe.h"

namespace k3v {

namespace {

// The per-byte average of two pixels, rounded half up: (a | b) - ((a ^ b) >> 1) byte by byte.
uint32_t Average(uint32_t a, uint32_t b) {
    return (a | b) - (((a ^ b) >> 1) & 0x7F7F7F7Fu);
}

// A row of `width` pixels halved into (width + 1) / 2.
void HalveRow(const uint32_t* in, size_t width, uint32_t* out) {
    for (size_t j = 0; j < width / 2; ++j) {
        out[j] = Average(in[2 * j], in[2 * j + 1]);
    }
    if (width % 2 != 0) {
        out[width / 2] = in[width - 1];
    }
}

}  // namespace

OutputPicture::OutputPicture(const ConversionSettings& settings, const StereoPlanes& planes,
                             OutputPart part)
    : first_(planes.FirstView.data()),
      second_(planes.SecondView.data()),
      planeWidth_(planes.SourceWidth),
      planeHeight_(planes.SourceHeight),
      layout_(settings.StereoLayout == kSeparateFiles ? kSideBySideHorizontal
                                                      : settings.StereoLayout),
      width_(planes.SourceWidth),
      height_(planes.SourceHeight) {
    if (part != OutputPart::Whole) {
        // One view alone is stored like the full-width anaglyph.
        layout_ = kAnaglyph;
        if (part == OutputPart::LeftEye) {
            first_ = second_;
        }
        return;
    }
    if (LeftEyeOnTheLeft(settings)) {
        std::swap(first_, second_);
    }
    halved_ = settings.HalfSize && layout_ != kAnaglyph;
    if (layout_ == kSideBySideVertical) {
        height_ = 2 * int64_t(halved_ ? (planeHeight_ + 1) / 2 : planeHeight_);
    } else if (layout_ == kSideBySideHorizontal) {
        width_ = 2 * int64_t(halved_ ? (planeWidth_ + 1) / 2 : planeWidth_);
    } else if (settings.SourceKind == kStillPhoto) {
        // The red shift leaves 6 * |effect| pixels without valid red: on the right for a
        // positive effect, on the left for a negative one. A picture narrower than the stripe
        // is saved whole.
        const int32_t stripe = 6 * std::abs(int32_t(settings.StereoEffect));
        if (planeWidth_ - stripe >= 1) {
            width_ = planeWidth_ - stripe;
            cutOffset_ = settings.StereoEffect < 0 ? stripe : 0;
        }
    } else {
        layout_ = kAnaglyph;
    }
}

OutputPicture::Row OutputPicture::row(int32_t y) const {
    const size_t w = size_t(planeWidth_);
    switch (layout_) {
        case kSideBySideVertical:
            return y < planeHeight_ ? Row{{first_ + size_t(y) * w, w}, {}}
                                    : Row{{second_ + size_t(y - planeHeight_) * w, w}, {}};
        case kSideBySideHorizontal:
            return Row{{first_ + size_t(y) * w, w}, {second_ + size_t(y) * w, w}};
        default:
            return Row{{first_ + size_t(y) * w + size_t(cutOffset_), size_t(width_)}, {}};
    }
}

void OutputPicture::readRow(int32_t y, uint32_t* out) const {
    if (halved_) {
        readHalvedRow(y, out);
        return;
    }
    const Row r = row(y);
    std::memcpy(out, r.left.data(), r.left.size_bytes());
    if (!r.right.empty()) {
        std::memcpy(out + r.left.size(), r.right.data(), r.right.size_bytes());
    }
}

void OutputPicture::readHalvedRow(int32_t y, uint32_t* out) const {
    const size_t w = size_t(planeWidth_);
    if (layout_ == kSideBySideHorizontal) {
        HalveRow(first_ + size_t(y) * w, w, out);
        HalveRow(second_ + size_t(y) * w, w, out + (w + 1) / 2);
        return;
    }
    // Vertical: rows are paired from the picture's top, which is the last stored row.
    const int32_t viewHeight = (planeHeight_ + 1) / 2;
    const uint32_t* view = y < viewHeight ? first_ : second_;
    const int32_t fromTop = 2 * (viewHeight - 1 - (y % viewHeight));
    const uint32_t* upper = view + size_t(planeHeight_ - 1 - fromTop) * w;
    if (fromTop + 1 == planeHeight_) {
        std::memcpy(out, upper, w * sizeof(uint32_t));
        return;
    }
    const uint32_t* lower = upper - w;
    for (size_t x = 0; x < w; ++x) {
        out[x] = Average(upper[x], lower[x]);
    }
}

Result<const uint32_t*> OutputPicture::contiguous(std::vector<uint32_t>& storage) const {
    if (layout_ == kAnaglyph && width_ == planeWidth_) {
        return first_;
    }
    try {
        storage.resize(size_t(width_) * size_t(height_));
    } catch (const std::bad_alloc&) {
        return Status::Error(MemoryShortageMessage(width_, height_, 1));
    } catch (const std::length_error&) {  // more than a vector can hold
        return Status::Error(MemoryShortageMessage(width_, height_, 1));
    }
    for (int32_t y = 0; y < height_; ++y) {
        readRow(y, storage.data() + size_t(y) * size_t(width_));
    }
    return storage.data();
}

}  // namespace k3v
