#include "job/aligned_view_rows.h"

#include <algorithm>
#include <vector>

#include "base/thread_runner.h"

namespace k3v {

namespace {

// Resampled rows are made this many pixels' worth at a time (16 to 64 rows): enough to share
// between the cores, little enough to stay in the caches until the conversion reads them.
constexpr size_t kAheadPixels = size_t(1) << 20;
constexpr size_t kLeastRowsAhead = 16;
constexpr size_t kMostRowsAhead = 64;

class ViewRows final : public RowBands {
  public:
    ViewRows(const PixelPlane& first, const PixelPlane& second, const PairCorrection& correction,
             PairView view, RowOrder order)
        : first_(first), second_(second), c_(correction), view_(view), order_(order) {}

    PictureSize size() const override { return {c_.outcome.width, c_.outcome.height}; }

    Status read(int32_t count, uint32_t* out) override {
        const auto width = size_t(c_.outcome.width);
        for (int32_t i = 0; i < count; ++i, ++served_) {
            const int32_t y =
                order_ == RowOrder::BottomFirst ? served_ : c_.outcome.height - 1 - served_;
            const uint32_t* row = rowAt(y);
            std::copy(row, row + width, out + size_t(i) * width);
        }
        return Status::Ok();
    }

  private:
    // View row y, counted from the bottom.
    const uint32_t* rowAt(int32_t y) {
        if (view_ == PairView::First) {
            return first_.row(c_.firstY + y) + c_.firstX;
        }
        if (!c_.outcome.aligned) {
            return second_.row(c_.secondY + y) + c_.secondX;
        }
        if (y < from_ || y >= to_) {
            makeRowsFrom(y);
        }
        return made_.data() + size_t(y - from_) * size_t(c_.outcome.width);
    }

    // Resamples the rows that follow `y` in the reading order, `y` included.
    void makeRowsFrom(int32_t y) {
        const auto width = size_t(c_.outcome.width);
        const auto ahead =
            int32_t(std::clamp(kAheadPixels / width, kLeastRowsAhead, kMostRowsAhead));
        if (order_ == RowOrder::BottomFirst) {
            from_ = y;
            to_ = std::min(c_.outcome.height, y + ahead);
        } else {
            from_ = std::max(0, y + 1 - ahead);
            to_ = y + 1;
        }
        const auto rows = size_t(to_ - from_);
        made_.resize(rows * width);
        ParallelRanges(rows, ThreadsFor(rows * width), [&](size_t begin, size_t end) {
            SecondViewRows(second_, c_, from_ + int32_t(begin), from_ + int32_t(end),
                           made_.data() + begin * width);
        });
    }

    const PixelPlane& first_;
    const PixelPlane& second_;
    const PairCorrection& c_;
    PairView view_;
    RowOrder order_;
    int32_t served_ = 0;
    int32_t from_ = 0;  // the resampled rows at hand: [from_, to_)
    int32_t to_ = 0;
    std::vector<uint32_t> made_;
};

}  // namespace

std::unique_ptr<RowBands> AlignedViewRows(const PixelPlane& first, const PixelPlane& second,
                                          const PairCorrection& correction, PairView view,
                                          RowOrder order) {
    return std::make_unique<ViewRows>(first, second, correction, view, order);
}

}  // namespace k3v
