#include "stereo/pixel_plane.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "base/huge_pages.h"
#include "base/memory_probe.h"

namespace k3v {

void PixelPlane::FreeDeleter::operator()(uint32_t* p) const {
    std::free(p);
}

Status PixelPlane::allocate(int32_t width, int32_t height) {
    if (width < 1 || height < 1) {
        return Status::Error("a picture of " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels has no pixels");
    }
    const size_t count = size_t(width) * (size_t(height) + 1);
    if (count > std::numeric_limits<size_t>::max() / sizeof(uint32_t)) {
        return Status::Error(MemoryShortageMessage(width, height, 1));
    }
    // calloc hands out zeroed pages lazily, so a fresh plane costs no time to clear.
    auto* pixels = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
    if (pixels == nullptr) {
        return Status::Error(MemoryShortageMessage(width, height, 1));
    }
    AskForHugePages(pixels, count * sizeof(uint32_t));
    pixels_.reset(pixels);
    width_ = width;
    height_ = height;
    return Status::Ok();
}

PixelPlane PixelPlane::Adopt(uint32_t* pixels, int32_t width, int32_t height) {
    PixelPlane plane;
    plane.pixels_.reset(pixels);
    plane.width_ = width;
    plane.height_ = height;
    return plane;
}

void PixelPlane::cropTo(int32_t x, int32_t y, int32_t width, int32_t height) {
    // Each row moves to a lower address than it had (or stays), and rows are moved bottom
    // first, so no row is overwritten before it has moved.
    for (int32_t r = 0; r < height; ++r) {
        std::memmove(data() + size_t(r) * size_t(width), row(y + r) + x,
                     size_t(width) * sizeof(uint32_t));
    }
    std::memset(data() + size_t(height) * size_t(width), 0, size_t(width) * sizeof(uint32_t));
    width_ = width;
    height_ = height;
}

void PixelPlane::copyFrom(const PixelPlane& other) {
    if (&other != this && !empty() && other.storedCount() == storedCount()) {
        std::memcpy(data(), other.data(), storedCount() * sizeof(uint32_t));
    }
}

}  // namespace k3v
