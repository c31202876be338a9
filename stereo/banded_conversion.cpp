#include "stereo/banded_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "base/thread_runner.h"
#include "stereo/filters.h"
#include "stereo/noise_rows.h"
#include "stereo/row_pipeline.h"
#include "stereo/stereo_planes.h"
#include "stereo/view_synthesis.h"

namespace k3v {

namespace {

int32_t MeanPasses(const ConversionSettings& s) {
    return s.NoiseOn == 1 ? std::max(0, s.NoisePasses) : 0;
}

bool Toned(const ConversionSettings& s) {
    return s.BrightnessOn != 0 || s.ContrastOn != 0;
}

bool DisplacedByDepth(const ConversionSettings& s) {
    return s.TransformationMode != kStandardStereo && s.DepthOn != 0 && s.DepthValue != 0;
}

// How many rows the filtered rows trail the rows read: sharpening row y reads row y + 1, each
// mean pass reads up to row y + 2 as the pass before left it, and the tone of a row waits
// until the last pass has read it as the row below.
size_t FilterLag(const ConversionSettings& s) {
    const size_t passes = size_t(MeanPasses(s));
    return 1 + 2 * passes + (passes > 0 && Toned(s) ? 1 : 0);
}

// The rows below and above a band of views that their synthesis reads, and that must also
// keep the rules of the picture's own edges out of the band when the views are made from a
// window of rows as if it were the whole picture.
struct SynthesisMargins {
    size_t below = 0;
    size_t above = 0;
};

SynthesisMargins MarginsFor(const ConversionSettings& s, size_t w) {
    const bool depth = DisplacedByDepth(s);
    const bool anaglyph = s.StereoLayout == kAnaglyph;
    if (!depth && !anaglyph) {
        return {};  // copies of the pictures, row by row
    }
    // The farthest a displaced pixel's source lies from it (v / depth rounded, v up to 255),
    // plus the anaglyph's shift of the left eye's view along the flat index.
    const size_t most = depth ? 255 / size_t(std::abs(s.DepthValue)) + 1 : 0;
    const size_t shift = anaglyph ? 6 * size_t(std::abs(int32_t(s.StereoEffect))) : 0;
    const size_t reach = most + shift;
    // A window's first row is kept undisplaced and the classic anaglyph's first 63 pixels keep
    // the right eye's view; the pixels that read those lie within `reach` of them.
    return {(std::max<size_t>(63, w) + reach + w - 1) / w, (reach + w - 1) / w};
}

size_t MarginRows(const ConversionSettings& s, size_t w) {
    const SynthesisMargins m = MarginsFor(s, w);
    return FilterLag(s) + m.below + 2 * m.above + 2;
}

Status WindowShortage(int32_t width, int32_t bandRows) {
    return Status::Error("there is not enough memory for bands of " + std::to_string(bandRows) +
                         " rows of a picture " + std::to_string(width) + " pixels wide");
}

// Rows [begin(), end()) of a picture, one after the other in one buffer. A window going up
// the picture drops the rows below its first by moving the others to the buffer's start; one
// going down drops the rows above its last by moving the others to the buffer's end, where
// the rows it takes on below have room. New rows are not cleared: each is written before it
// is read.
template <typename Pixel>
class RowWindow {
  public:
    RowWindow(size_t width, size_t capacityRows) : w_(width), capacity_(capacityRows) {
        if (capacity_ > 0) {
            pixels_.reset(new Pixel[capacity_ * w_]);
        }
    }

    size_t begin() const { return begin_; }
    Pixel* row(size_t y) { return pixels_.get() + (slot_ + y - begin_) * w_; }

    // Forgets the rows below `y`.
    void dropBelow(size_t y) {
        y = std::min(y, end_);
        if (y <= begin_) {
            return;
        }
        std::memmove(pixels_.get(), row(y), (end_ - y) * w_ * sizeof(Pixel));
        begin_ = y;
        slot_ = 0;
    }

    // Holds rows up to `end` (not yet filled); grows the buffer only when a window is larger
    // than was foreseen.
    void extendTo(size_t end) {
        end_ = std::max(end_, end);
        if (slot_ + end_ - begin_ > capacity_) {
            Regrow(0);
        }
    }

    // An empty window at row `y`, to go down the picture from.
    void startAt(size_t y) {
        begin_ = end_ = y;
        slot_ = capacity_;
    }

    // Forgets the rows from `y` up.
    void dropFrom(size_t y) {
        y = std::max(y, begin_);
        if (y >= end_) {
            return;
        }
        const size_t rows = y - begin_;
        std::memmove(pixels_.get() + (capacity_ - rows) * w_, row(begin_),
                     rows * w_ * sizeof(Pixel));
        end_ = y;
        slot_ = capacity_ - rows;
    }

    // Holds rows down to `begin` (not yet filled), growing the buffer as extendTo does.
    void extendDownTo(size_t begin) {
        if (begin >= begin_) {
            return;
        }
        if (slot_ < begin_ - begin) {
            Regrow(begin_ - begin);
        }
        slot_ -= begin_ - begin;
        begin_ = begin;
    }

  private:
    // Moves the rows held into a buffer large enough for them and `more` rows besides, the
    // room for those below them when `more` is not zero.
    void Regrow(size_t more) {
        const size_t rows = end_ - begin_;
        const size_t capacity = std::max(rows + more, 2 * capacity_);
        const size_t slot = more > 0 ? capacity - rows : 0;
        std::unique_ptr<Pixel[]> larger(new Pixel[capacity * w_]);
        // The rows up to end_ that are not yet filled are copied too, harmlessly.
        const size_t held = std::min(rows, capacity_ - slot_);
        if (held > 0) {
            std::memcpy(larger.get() + slot * w_, row(begin_), held * w_ * sizeof(Pixel));
        }
        pixels_ = std::move(larger);
        capacity_ = capacity;
        slot_ = slot;
    }

    size_t w_;
    size_t capacity_;
    size_t begin_ = 0;
    size_t end_ = 0;
    size_t slot_ = 0;  // where row begin_ lies in the buffer, in rows
    std::unique_ptr<Pixel[]> pixels_;
};

// A band of the mean passes' pipeline is at least this many pixels, as in the whole picture's.
constexpr size_t kPipelineBandPixels = 8192;

// Runs body(first, end) over rows [from, to) on the cores a band of that size is worth.
template <typename Body>
void ParallelRows(size_t from, size_t to, size_t w, Body body) {
    ParallelRanges(to - from, ThreadsFor((to - from) * w, size_t(1) << 17),
                   [&](size_t a, size_t b) { body(from + a, from + b); });
}

// One picture through the filter chain (filter_chain.cpp) a band at a time: the same kernels
// on windows of rows. Stage 0 sharpens (or copies) the rows read into the working rows, stages
// 1 .. passes are the mean passes in place, the last stage (when on) the tone. done_[k] counts
// the rows stage k has finished, from the bottom.
class FilteredRows {
  public:
    FilteredRows(const ConversionSettings& s, size_t w, size_t h, size_t capacityRows)
        : s_(s),
          w_(w),
          h_(h),
          passes_(size_t(MeanPasses(s))),
          level_(s.SharpenOn == 1 ? s.SharpenLevel : 0),
          copyOnly_(level_ == 0 || h < 3),
          read_(w, copyOnly_ ? 0 : capacityRows),
          work_(w, capacityRows),
          smoother_(int32_t(w)),
          done_(passes_ + 2, 0) {}

    // Where rows [first, first + count) of the picture go as they are read: straight into
    // the working rows when the first stage would only copy them.
    uint32_t* input(size_t first, size_t count) {
        if (copyOnly_) {
            work_.extendTo(first + count);
            return work_.row(first);
        }
        // Sharpening the next row reads the one below it.
        read_.dropBelow(done_[0] > 0 ? done_[0] - 1 : 0);
        read_.extendTo(first + count);
        return read_.row(first);
    }

    // Filters every row that the `received` rows read so far allow.
    void advance(size_t received) {
        const bool all = received == h_;
        if (passes_ > 0) {
            AdvanceTogether(all ? h_ : std::max(done_[0], received > 0 ? received - 1 : 0), all);
            return;
        }
        Sharpen(all ? h_ : std::max(done_[0], received > 0 ? received - 1 : 0), all);
        for (size_t p = 1; p <= passes_; ++p) {
            const size_t to = Following(done_[p - 1], 2, done_[p]);
            if (to > done_[p]) {
                smoother_.smoothRows(int32_t(h_), work_.row(work_.begin()), done_[p], to,
                                     work_.begin());
                done_[p] = to;
            }
        }
        // Without a tone this stage only passes the rows on.
        size_t& toned = done_[passes_ + 1];
        const bool tone = Toned(s_);
        const size_t to = Following(done_[passes_], tone && passes_ > 0 ? 1 : 0, toned);
        if (to > toned && tone) {
            uint32_t* rows = work_.row(toned);
            ParallelRows(0, (to - toned) * w_, 1, [&](size_t begin, size_t end) {
                AdjustBrightnessContrastRange(rows, begin, end, s_);
            });
        }
        toned = to;
    }

    // Rows below this are finished.
    size_t ready() const { return done_.back(); }
    // Finished row y; rows up to ready() (and the zero spare row on top, once every row is
    // finished) are held, from the lowest row not released.
    const uint32_t* row(size_t y) { return work_.row(y); }

    // Rows below `y` are no longer needed by the caller.
    void release(size_t y) {
        size_t keep = y;
        // Each stage still reads the row below the next one it does (a row still to be
        // toned is its own input).
        for (size_t k = 0; k + 1 < done_.size(); ++k) {
            keep = std::min(keep, done_[k] > 0 ? done_[k] - 1 : 0);
        }
        work_.dropBelow(std::min(keep, ready()));
    }

  private:
    // With mean passes, the stages run as one row pipeline over the rows each may now finish,
    // as the whole picture's filter chain runs: each pass reads its own new values and so
    // keeps to one core, but the passes share the cores. Sharpening rows up to `sharpenTo`.
    void AdvanceTogether(size_t sharpenTo, bool all) {
        const bool tone = Toned(s_);
        const size_t stages = passes_ + (tone ? 2 : 1);
        std::vector<size_t> from(stages), to(stages), lead(stages, 0);
        from[0] = done_[0];
        to[0] = std::max(done_[0], sharpenTo);
        for (size_t k = 1; k < stages; ++k) {
            lead[k] = k <= passes_ ? 2 : 1;  // the tone waits for the last pass to read a row
            from[k] = done_[k];
            to[k] = Following(to[k - 1], lead[k], done_[k]);
        }
        if (to[0] > from[0]) {
            work_.extendTo(all ? h_ + 1 : to[0]);
            if (all) {
                std::memset(work_.row(h_), 0, w_ * sizeof(uint32_t));  // the spare row
            }
        }
        const size_t origin = work_.begin();
        uint32_t* rows = work_.row(origin);
        std::vector<RowStage> pipeline;
        std::vector<size_t> counts;
        for (size_t k = 0; k < stages; ++k) {
            const size_t first = from[k];
            counts.push_back(to[k] - from[k]);
            // In rows counted from each stage's first: its row r needs the stage before to
            // have done its own row r plus this.
            const size_t ahead =
                k == 0 ? 0 : (first + lead[k] > from[k - 1] ? first + lead[k] - from[k - 1] : 0);
            std::function<void(size_t, size_t, int)> run;
            if (k == 0) {
                if (!copyOnly_) {
                    const uint32_t* source = read_.row(read_.begin());
                    const size_t sourceOrigin = read_.begin();
                    uint32_t* target = work_.row(sourceOrigin);
                    run = [this, first, source, target, sourceOrigin](size_t a, size_t b, int) {
                        SharpenRowsInto(int32_t(w_), int32_t(h_), source, target, level_,
                                        s_.SharpenBlend, first + a, first + b, sourceOrigin);
                    };
                }
            } else if (k <= passes_) {
                run = [this, first, rows, origin](size_t a, size_t b, int thread) {
                    smoothers_[size_t(thread)].smoothRows(int32_t(h_), rows, first + a, first + b,
                                                          origin);
                };
            } else {
                uint32_t* toned = work_.row(first);
                run = [this, toned](size_t a, size_t b, int) {
                    AdjustBrightnessContrastRange(toned, a * w_, b * w_, s_);
                };
            }
            if (!run) {
                run = [](size_t, size_t, int) {};
            }
            pipeline.push_back({ahead, std::move(run), nullptr});
        }
        const size_t total = std::accumulate(counts.begin(), counts.end(), size_t(0));
        const int threads = std::min(ThreadsFor(total * w_, size_t(1) << 17), int(stages));
        while (smoothers_.size() < size_t(threads)) {
            smoothers_.emplace_back(int32_t(w_));
        }
        RunRowPipeline(counts, std::max<size_t>(1, kPipelineBandPixels / w_), pipeline, threads);
        std::copy(to.begin(), to.end(), done_.begin());
        if (!tone) {
            done_[passes_ + 1] = to[passes_];  // without a tone the last stage passes them on
        }
    }

    // Rows a stage may finish when the stage before it has finished `before` rows and it
    // reads `lead` rows past its own.
    size_t Following(size_t before, size_t lead, size_t done) const {
        if (before == h_) {
            return h_;
        }
        return std::max(done, before > lead ? before - lead : 0);
    }

    void Sharpen(size_t to, bool all) {
        const size_t from = done_[0];
        if (to <= from) {
            return;
        }
        work_.extendTo(all ? h_ + 1 : to);
        if (all) {
            // The spare row, which the last rows' mean reads as black.
            std::memset(work_.row(h_), 0, w_ * sizeof(uint32_t));
        }
        if (!copyOnly_) {
            // Both windows hold this row: the read rows from the one below the next to
            // sharpen, the working rows from no higher (release keeps it).
            const size_t origin = read_.begin();
            const uint32_t* source = read_.row(origin);
            uint32_t* target = work_.row(origin);
            ParallelRows(from, to, w_, [&](size_t first, size_t end) {
                SharpenRowsInto(int32_t(w_), int32_t(h_), source, target, level_, s_.SharpenBlend,
                                first, end, origin);
            });
        }
        done_[0] = to;
    }

    const ConversionSettings& s_;
    size_t w_;
    size_t h_;
    size_t passes_;
    int32_t level_;
    bool copyOnly_;  // SharpenRowsInto would copy the rows unchanged
    RowWindow<uint32_t> read_;
    RowWindow<uint32_t> work_;
    NoiseRowSmoother smoother_;
    std::vector<NoiseRowSmoother> smoothers_;  // one per pipeline worker
    std::vector<size_t> done_;
};

// One picture through the filter chain without mean passes, top row first: the rows are
// sharpened (or copied) from the rows read into the working rows and toned there. Sharpening
// a row reads the rows next to it, so the rows finished trail the rows read by one, until the
// bottom row is read. Both windows go down the picture; the working rows start with the zero
// spare row on top, which the views of the top rows read.
class DescendingRows {
  public:
    DescendingRows(const ConversionSettings& s, size_t w, size_t h, size_t capacityRows)
        : s_(s),
          w_(w),
          h_(h),
          level_(s.SharpenOn == 1 ? s.SharpenLevel : 0),
          copyOnly_(level_ == 0 || h < 3),
          read_(w, copyOnly_ ? 0 : capacityRows),
          work_(w, capacityRows + 1),
          ready_(h) {
        read_.startAt(h);
        work_.startAt(h + 1);
        work_.extendDownTo(h);
        std::memset(work_.row(h), 0, w_ * sizeof(uint32_t));
    }

    // Where the rows from `first` up to the lowest read before go, as they are read.
    uint32_t* input(size_t first) {
        work_.extendDownTo(first);
        if (copyOnly_) {
            return work_.row(first);
        }
        // Sharpening the next row reads the one above it.
        read_.dropFrom(ready_ + 1);
        read_.extendDownTo(first);
        return read_.row(first);
    }

    // Filters every row that the rows read so far, down to `received`, allow.
    void advance(size_t received) {
        const size_t to = received == 0 ? 0 : std::min(ready_, received + 1);
        if (to >= ready_) {
            return;
        }
        if (!copyOnly_) {
            // Both windows hold rows from the lowest read one, the working rows since input.
            const size_t origin = read_.begin();
            const uint32_t* source = read_.row(origin);
            uint32_t* target = work_.row(origin);
            ParallelRows(to, ready_, w_, [&](size_t first, size_t end) {
                SharpenRowsInto(int32_t(w_), int32_t(h_), source, target, level_, s_.SharpenBlend,
                                first, end, origin);
            });
        }
        if (Toned(s_)) {
            uint32_t* rows = work_.row(to);
            ParallelRows(0, (ready_ - to) * w_, 1, [&](size_t begin, size_t end) {
                AdjustBrightnessContrastRange(rows, begin, end, s_);
            });
        }
        ready_ = to;
    }

    // Rows from this up are finished.
    size_t ready() const { return ready_; }
    // Finished row y (or the spare row), for rows held: from ready() up to the rows released.
    const uint32_t* row(size_t y) { return work_.row(y); }
    // Rows from `y` up are no longer needed.
    void release(size_t y) { work_.dropFrom(std::max(y, ready_)); }

  private:
    const ConversionSettings& s_;
    size_t w_;
    size_t h_;
    int32_t level_;
    bool copyOnly_;  // SharpenRowsInto would copy the rows unchanged
    RowWindow<uint32_t> read_;
    RowWindow<uint32_t> work_;
    size_t ready_;
};

// The views of a window of rows, made by SynthesizeViewsFrom as if the window were the whole
// picture; the rows far enough from the window's edges are those of the whole picture. The
// two view planes are allocated once, for the tallest window, and hold each window in their
// first rows.
class ViewWindow {
  public:
    // `tallest` rows, the most any window holds: the first window is shorter than the
    // others, and growing the planes after it would map their pages twice.
    ViewWindow(size_t w, size_t tallest) : tallest_(int32_t(tallest)) {
        planes_.SourceWidth = int32_t(w);
    }

    // Views of rows [lo, hi) from the filtered rows (which hold row hi too, as a spare row that
    // the copies read), with `depth` the map's bytes for those rows, or null.
    Status make(const ConversionSettings& s, size_t lo, size_t hi, const uint32_t* first,
                const uint32_t* second, const uint8_t* depth) {
        const int32_t rows = int32_t(hi - lo);
        if (planes_.FirstView.height() < rows) {
            const int32_t height = std::max(rows, tallest_);
            for (PixelPlane* plane : {&planes_.FirstView, &planes_.SecondView}) {
                if (Status allocated = plane->allocate(planes_.SourceWidth, height); !allocated) {
                    return WindowShortage(planes_.SourceWidth, height);
                }
            }
        }
        planes_.SourceHeight = rows;
        if (depth != nullptr) {
            planes_.DepthMap.assign(depth, depth + planes_.PixelCount());
        }
        SynthesizeViewsFrom(s, first, second, planes_);
        return Status::Ok();
    }

    ViewRows rows(size_t lo, size_t first, size_t end) {
        const size_t offset = (first - lo) * size_t(planes_.SourceWidth);
        return {int32_t(first), int32_t(end - first), planes_.SourceWidth,
                planes_.FirstView.data() + offset, planes_.SecondView.data() + offset};
    }

  private:
    int32_t tallest_;
    StereoPlanes planes_;
};

}  // namespace

bool CanConvertTopFirst(const ConversionSettings& settings) {
    return MeanPasses(settings) == 0;
}

int32_t BandedMarginRows(const ConversionSettings& settings, int32_t width) {
    return int32_t(MarginRows(settings, size_t(std::max(width, 1))));
}

namespace {

// What a conversion in either order works out first.
struct BandPlan {
    size_t width;
    size_t height;
    size_t band;
    bool standard;  // a second picture comes
    bool mapped;    // a depth map comes
    SynthesisMargins margins;
    size_t capacity;  // rows each window of the pictures holds
};

BandPlan PlanOf(const ConversionSettings& settings, const BandedPicture& picture) {
    const size_t w = size_t(picture.width);
    const size_t band = size_t(std::max(picture.bandRows, 1));
    return {w,
            size_t(picture.height),
            band,
            settings.TransformationMode == kStandardStereo,
            picture.depthMap && DisplacedByDepth(settings),
            MarginsFor(settings, w),
            band + MarginRows(settings, w)};
}

Status ConvertBandsOrThrow(const ConversionSettings& settings, const BandedPicture& picture,
                           const RowSource& source, const ViewSink& sink,
                           const Progress& progress) {
    const auto [w, h, band, standard, mapped, margins, capacity] = PlanOf(settings, picture);

    FilteredRows first(settings, w, h, capacity);
    std::optional<FilteredRows> second;
    if (standard) {
        second.emplace(settings, w, h, capacity);
    }
    RowWindow<uint8_t> depth(w, mapped ? capacity : 0);
    ViewWindow views(w, std::min(h, band + margins.below + margins.above));

    size_t received = 0;
    size_t emitted = 0;
    while (emitted < h) {
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        if (received < h) {
            const size_t count = std::min(band, h - received);
            InputRows rows{int32_t(received), int32_t(count), int32_t(w),
                           first.input(received, count)};
            if (second) {
                rows.second = second->input(received, count);
            }
            if (mapped) {
                depth.extendTo(received + count);
                rows.depth = depth.row(received);
            }
            if (Status read = source(rows); !read) {
                return read;
            }
            received += count;
            first.advance(received);
            if (second) {
                second->advance(received);
            }
        }
        // The views of a row are final once the rows they read are, and the row above the
        // window is held for the copies to read as its spare row.
        const size_t ready = std::min(first.ready(), second ? second->ready() : h);
        const size_t finished = ready == h                  ? h
                                : ready > margins.above + 1 ? ready - margins.above - 1
                                                            : 0;
        // A band at a time, so that every window fits the same two view planes.
        const size_t end = std::min(emitted + band, finished);
        if (end <= emitted) {
            continue;
        }
        const size_t lo = emitted > margins.below ? emitted - margins.below : 0;
        const size_t hi = std::min(h, end + margins.above);
        if (Status made =
                views.make(settings, lo, hi, first.row(lo), second ? second->row(lo) : nullptr,
                           mapped ? depth.row(lo) : nullptr);
            !made) {
            return made;
        }
        if (Status written = sink(views.rows(lo, emitted, end)); !written) {
            return written;
        }
        emitted = end;
        progress.report(emitted, h);
        const size_t next = emitted > margins.below ? emitted - margins.below : 0;
        first.release(next);
        if (second) {
            second->release(next);
        }
        depth.dropBelow(next);
    }
    return Status::Ok();
}

// ConvertBandsOrThrow top row first: the same windows of views, made once the rows below
// them are finished, and handed down the picture.
Status ConvertTopFirstOrThrow(const ConversionSettings& settings, const BandedPicture& picture,
                              const RowSource& source, const ViewSink& sink,
                              const Progress& progress) {
    const auto [w, h, band, standard, mapped, margins, capacity] = PlanOf(settings, picture);

    DescendingRows first(settings, w, h, capacity);
    std::optional<DescendingRows> second;
    if (standard) {
        second.emplace(settings, w, h, capacity);
    }
    RowWindow<uint8_t> depth(w, mapped ? capacity : 0);
    depth.startAt(h);
    ViewWindow views(w, std::min(h, band + margins.below + margins.above));

    // Rows from `received` up have been read, from `emitted` up given to the sink.
    size_t received = h;
    size_t emitted = h;
    while (emitted > 0) {
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        if (received > 0) {
            const size_t count = std::min(band, received);
            received -= count;
            InputRows rows{int32_t(received), int32_t(count), int32_t(w), first.input(received)};
            if (second) {
                rows.second = second->input(received);
            }
            if (mapped) {
                depth.extendDownTo(received);
                rows.depth = depth.row(received);
            }
            if (Status read = source(rows); !read) {
                return read;
            }
            first.advance(received);
            if (second) {
                second->advance(received);
            }
        }
        // The views of a row are final once the rows down to the window's first are.
        const size_t ready = std::max(first.ready(), second ? second->ready() : 0);
        const size_t finished = ready == 0 ? 0 : ready + margins.below;
        const size_t start = std::max(emitted > band ? emitted - band : 0, finished);
        if (start >= emitted) {
            continue;
        }
        const size_t lo = start > margins.below ? start - margins.below : 0;
        const size_t hi = std::min(h, emitted + margins.above);
        if (Status made =
                views.make(settings, lo, hi, first.row(lo), second ? second->row(lo) : nullptr,
                           mapped ? depth.row(lo) : nullptr);
            !made) {
            return made;
        }
        if (Status written = sink(views.rows(lo, start, emitted)); !written) {
            return written;
        }
        emitted = start;
        progress.report(h - emitted, h);
        // The next window reaches up to the row above its own, held as its spare row.
        const size_t next = std::min(h, emitted + margins.above) + 1;
        first.release(next);
        if (second) {
            second->release(next);
        }
        depth.dropFrom(next - 1);
    }
    return Status::Ok();
}

}  // namespace

Status ConvertBands(const ConversionSettings& settings, const BandedPicture& picture,
                    const RowSource& source, const ViewSink& sink, const Progress& progress) {
    if (picture.order == RowOrder::TopFirst && !CanConvertTopFirst(settings)) {
        return Status::Error(
            "the noise filter's mean passes need the rows bottom row first, not top row first");
    }
    if (picture.width <= 0 || picture.height <= 0) {
        progress.report(1.0);
        return Status::Ok();
    }
    try {
        if (picture.order == RowOrder::TopFirst) {
            return ConvertTopFirstOrThrow(settings, picture, source, sink, progress);
        }
        return ConvertBandsOrThrow(settings, picture, source, sink, progress);
    } catch (const std::bad_alloc&) {
        return WindowShortage(picture.width, picture.bandRows);
    }
}

}  // namespace k3v
