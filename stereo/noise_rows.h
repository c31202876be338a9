#pragma once
// The eight-pixel mean done a band of rows at a time on one thread, for passes that run as
// stages of a row pipeline (several passes, and the filters around them, in one sweep).

#include <cstddef>
#include <cstdint>
#include <memory>

namespace k3v {

class NoiseRowChains;

// Holds the scratch memory of one worker. Rows must come in increasing order within a pass,
// each after the rows below it in the same pass and with the rows above it (up to two) as the
// previous pass left them.
class NoiseRowSmoother {
  public:
    explicit NoiseRowSmoother(int32_t width);
    ~NoiseRowSmoother();
    NoiseRowSmoother(NoiseRowSmoother&&) noexcept;
    NoiseRowSmoother& operator=(NoiseRowSmoother&&) noexcept;

    // One pass over rows [firstRow, endRow) of a picture `height` rows high; only rows
    // 1 .. H-2 change. `picture` may hold only a window of the rows, starting at row `origin`
    // (row y at (y - origin) * W), from row firstRow - 1 up to the first pixel of row
    // endRow + 1 (the spare row at the top).
    void smoothRows(int32_t height, uint32_t* picture, size_t firstRow, size_t endRow,
                    size_t origin = 0);

  private:
    int32_t width_;
    std::unique_ptr<NoiseRowChains> chains_;
};

}  // namespace k3v
