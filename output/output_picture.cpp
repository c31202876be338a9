#include "output/output_picture.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/memory_probe.h"

namespace k3v {

OutputPicture::OutputPicture(const ConversionSettings& settings, const StereoPlanes& planes)
    : first_(planes.FirstView.data()),
      second_(planes.SecondView.data()),
      planeWidth_(planes.SourceWidth),
      planeHeight_(planes.SourceHeight),
      layout_(settings.StereoLayout),
      width_(planes.SourceWidth),
      height_(planes.SourceHeight) {
    if (layout_ == kSideBySideVertical) {
        height_ = 2 * planeHeight_;
    } else if (layout_ == kSideBySideHorizontal) {
        width_ = 2 * planeWidth_;
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
    uint32_t* out = storage.data();
    for (int32_t y = 0; y < height_; ++y) {
        const Row r = row(y);
        std::memcpy(out, r.left.data(), r.left.size_bytes());
        out += r.left.size();
        if (!r.right.empty()) {
            std::memcpy(out, r.right.data(), r.right.size_bytes());
            out += r.right.size();
        }
    }
    return storage.data();
}

}  // namespace k3v
