#include "stereo/filter_chain.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/thread_runner.h"
#include "stereo/filters.h"
#include "stereo/noise_rows.h"
#include "stereo/row_pipeline.h"

namespace k3v {

namespace {

// A band is at least this many pixels, so waiting for a band costs little against its work.
constexpr size_t kBandPixels = 8192;

}  // namespace

// Every filter runs as a stage of one row pipeline: a mean pass reads two rows above the
// band it smooths as the pass before left them, and toning a row must wait until the last pass
// has read it as the row below. The picture then crosses the memory bus once for the whole
// chain, and the stages share the cores.
void FilterPicture(const ConversionSettings& s, int32_t width, int32_t height,
                   const PixelPlane& decoded, PixelPlane& working) {
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    const int32_t passes = s.NoiseOn == 1 ? std::max(0, s.NoisePasses) : 0;
    const bool tone = s.BrightnessOn != 0 || s.ContrastOn != 0;
    if (passes == 0 && !tone) {
        if (s.SharpenOn == 1) {
            SharpenInto(width, height, decoded.data(), working.data(), s.SharpenLevel,
                        s.SharpenBlend);
        } else {
            CopyPixels(decoded.data(), working.data(), decoded.storedCount());
        }
        return;
    }
    const uint32_t* source = decoded.data();
    uint32_t* target = working.data();
    std::memcpy(target + h * w, source + h * w, w * sizeof(uint32_t));  // the spare row

    const int threads = ThreadsFor(w * h * size_t(passes + 2), size_t(1) << 18);
    std::vector<NoiseRowSmoother> smoothers;
    if (passes > 0) {
        for (int t = 0; t < threads; ++t) {
            smoothers.emplace_back(width);
        }
    }
    const int32_t level = s.SharpenOn == 1 ? s.SharpenLevel : 0;
    std::vector<RowStage> stages;
    stages.push_back({0, [&](size_t first, size_t end, int) {
                          SharpenRowsInto(width, height, source, target, level, s.SharpenBlend,
                                          first, end);
                      }});
    for (int32_t pass = 0; pass < passes; ++pass) {
        stages.push_back({2, [&](size_t first, size_t end, int thread) {
                              smoothers[size_t(thread)].smoothRows(height, target, first, end);
                          }});
    }
    if (tone) {
        stages.push_back({passes > 0 ? size_t(1) : size_t(0), [&](size_t first, size_t end, int) {
                              AdjustBrightnessContrastRange(target, first * w, end * w, s);
                          }});
    }
    const size_t bandRows = std::max<size_t>(1, kBandPixels / std::max<size_t>(1, w));
    RunRowPipeline(h, bandRows, stages, std::min(threads, int(stages.size())));
}

}  // namespace k3v
