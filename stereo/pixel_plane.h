#pragma once
// A pixel plane: W x (H + 1) 32-bit pixels, x varying fastest, row 0 the bottom row of the
// picture, so the memory is that of a bottom-up 32-bit bitmap. Byte 0 of a pixel is blue,
// byte 1 green, byte 2 red; byte 3 carries no meaning. The extra row at the top (y = H) is a
// spare row that stays zero: filters that look one pixel past the last one read it as black.
//
// Only whoever owns the plane set may re-dimension a plane; re-dimensioning discards the old
// contents and yields zeros (cropTo alone keeps them). Planes are move-only: copying pixels is
// always an explicit copyFrom(), never an accident of passing by value.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/status.h"

namespace k3v {

class PixelPlane {
  public:
    PixelPlane() = default;
    PixelPlane(PixelPlane&&) noexcept = default;
    PixelPlane& operator=(PixelPlane&&) noexcept = default;
    PixelPlane(const PixelPlane&) = delete;
    PixelPlane& operator=(const PixelPlane&) = delete;

    // Allocates a zeroed plane of width x (height + 1) pixels. Fails (leaving *this unchanged)
    // when the size is not positive or the memory cannot be had.
    Status allocate(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }  // picture rows, without the spare row
    bool empty() const { return pixels_ == nullptr; }
    size_t pixelCount() const { return size_t(width_) * size_t(height_); }  // W * H
    size_t storedCount() const { return size_t(width_) * (size_t(height_) + 1); }

    uint32_t* data() { return pixels_.get(); }
    const uint32_t* data() const { return pixels_.get(); }
    uint32_t* row(int32_t y) { return data() + size_t(y) * size_t(width_); }
    const uint32_t* row(int32_t y) const { return data() + size_t(y) * size_t(width_); }

    // Takes over `pixels`, memory from malloc holding width x (height + 1) pixels (the spare
    // row zero), for a plane that a library has already filled.
    static PixelPlane Adopt(uint32_t* pixels, int32_t width, int32_t height);

    // Copies every stored pixel (the spare row included) from a plane of the same size.
    void copyFrom(const PixelPlane& other);

    // Keeps only the width x height pixels from column x, row y (a rectangle inside the
    // plane), moved into place in the same memory, with a zero spare row above them: a crop
    // that needs no second plane.
    void cropTo(int32_t x, int32_t y, int32_t width, int32_t height);

  private:
    struct FreeDeleter {
        void operator()(uint32_t* p) const;
    };
    std::unique_ptr<uint32_t[], FreeDeleter> pixels_;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

// Y(p) of a pixel, blue in byte 0: (299 red + 587 green + 114 blue + 500) div 1000.
inline uint32_t Luma(uint32_t p) {
    return (299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF) + 500) / 1000;
}

}  // namespace k3v
