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
    : OutputPicture(settings, planes.SourceWidth, planes.SourceHeight, nullptr, part) {
    first_ = planes.FirstView.data();
    second_ = planes.SecondView.data();
    if (part == OutputPart::LeftEye || (part == OutputPart::Whole && LeftEyeOnTheLeft(settings))) {
        std::swap(first_, second_);
    }
}

OutputPicture::OutputPicture(const ConversionSettings& settings, int32_t viewWidth,
                             int32_t viewHeight, const ViewRowSource& views, OutputPart part)
    : OutputPicture(settings, viewWidth, viewHeight, &views, part) {}

OutputPicture::OutputPicture(const ConversionSettings& settings, int32_t viewWidth,
                             int32_t viewHeight, const ViewRowSource* views, OutputPart part)
    : views_(views),
      planeWidth_(viewWidth),
      planeHeight_(viewHeight),
      layout_(settings.StereoLayout == kSeparateFiles ? kSideBySideHorizontal
                                                      : settings.StereoLayout),
      width_(viewWidth),
      height_(viewHeight) {
    if (part != OutputPart::Whole) {
        // One view alone is stored like the full-width anaglyph.
        layout_ = kAnaglyph;
        if (part == OutputPart::LeftEye) {
            std::swap(firstIndex_, secondIndex_);
        }
        return;
    }
    if (LeftEyeOnTheLeft(settings)) {
        std::swap(firstIndex_, secondIndex_);
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

std::vector<ViewIndex> OutputPicture::views() const {
    if (layout_ == kAnaglyph) {
        return {firstIndex_};
    }
    return {firstIndex_, secondIndex_};
}

void OutputPicture::copyViewRow(bool first, int32_t y, int32_t x, int32_t count,
                                uint32_t* out) const {
    if (views_ != nullptr) {
        views_->take(first ? firstIndex_ : secondIndex_, y, x, count, out);
        return;
    }
    const uint32_t* plane = first ? first_ : second_;
    std::memcpy(out, plane + size_t(y) * size_t(planeWidth_) + size_t(x),
                size_t(count) * sizeof(uint32_t));
}

const uint32_t* OutputPicture::viewRow(bool first, int32_t y, uint32_t* scratch) const {
    if (views_ != nullptr) {
        copyViewRow(first, y, 0, planeWidth_, scratch);
        return scratch;
    }
    return (first ? first_ : second_) + size_t(y) * size_t(planeWidth_);
}

void OutputPicture::readRow(int32_t y, uint32_t* out) const {
    if (halved_) {
        readHalvedRow(y, out);
        return;
    }
    switch (layout_) {
        case kSideBySideVertical:
            copyViewRow(y < planeHeight_, y < planeHeight_ ? y : y - planeHeight_, 0, planeWidth_,
                        out);
            return;
        case kSideBySideHorizontal:
            copyViewRow(true, y, 0, planeWidth_, out);
            copyViewRow(false, y, 0, planeWidth_, out + planeWidth_);
            return;
        default:
            copyViewRow(true, y, cutOffset_, int32_t(width_), out);
    }
}

void OutputPicture::readHalvedRow(int32_t y, uint32_t* out) const {
    const size_t w = size_t(planeWidth_);
    // Rows taken from a source need room of their own: two rows for the vertical pairing.
    thread_local std::vector<uint32_t> scratch;
    if (views_ != nullptr && scratch.size() < 2 * w) {
        scratch.resize(2 * w);
    }
    if (layout_ == kSideBySideHorizontal) {
        HalveRow(viewRow(true, y, scratch.data()), w, out);
        HalveRow(viewRow(false, y, scratch.data()), w, out + (w + 1) / 2);
        return;
    }
    // Vertical: rows are paired from the picture's top, which is the last stored row.
    const int32_t viewHeight = (planeHeight_ + 1) / 2;
    const bool first = y < viewHeight;
    const int32_t fromTop = 2 * (viewHeight - 1 - (y % viewHeight));
    const int32_t upperRow = planeHeight_ - 1 - fromTop;
    const uint32_t* upper = viewRow(first, upperRow, scratch.data());
    if (fromTop + 1 == planeHeight_) {
        std::memcpy(out, upper, w * sizeof(uint32_t));
        return;
    }
    const uint32_t* lower = viewRow(first, upperRow - 1, scratch.data() + (views_ ? w : 0));
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
