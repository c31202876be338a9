#include "stereo/filter_chain.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/thread_runner.h"
#include "stereo/conversion_stages.h"
#include "stereo/filters.h"
#include "stereo/noise_rows.h"
#include "stereo/row_pipeline.h"

namespace k3v {

namespace {

// A band is at least this many pixels, so waiting for a band costs little against its work.
constexpr size_t kBandPixels = 8192;

int32_t MeanPasses(const ConversionSettings& s) {
    return s.NoiseOn == 1 ? std::max(0, s.NoisePasses) : 0;
}

bool Toned(const ConversionSettings& s) {
    return s.BrightnessOn != 0 || s.ContrastOn != 0;
}

}  // namespace

int FilterPasses(const ConversionSettings& s) {
    return 1 + int(MeanPasses(s)) + (Toned(s) ? 1 : 0);
}

// Every filter runs as a stage of one row pipeline: a mean pass reads two rows above the
// band it smooths as the pass before left them, and toning a row must wait until the last pass
// has read it as the row below. The picture then crosses the memory bus once for the whole
// chain, and the stages share the cores.
bool FilterPicture(const ConversionSettings& s, int32_t width, int32_t height,
                   const PixelPlane& decoded, PixelPlane& working, const Progress& progress) {
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    const int32_t passes = MeanPasses(s);
    const bool tone = Toned(s);
    if (passes == 0 && !tone) {
        const Progress sharpen = progress.part(0, 1, kSharpenStage);
        return s.SharpenOn == 1
                   ? SharpenInto(width, height, decoded.data(), working.data(), s.SharpenLevel,
                                 s.SharpenBlend, sharpen)
                   : CopyPixels(decoded.data(), working.data(), decoded.storedCount(), sharpen);
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
    // Without sharpening the first stage only copies the picture for the filter after it to
    // work on in place, and is reported as the start of that filter.
    const char* opening = level != 0 ? kSharpenStage : passes > 0 ? kNoiseStage : kToneStage;
    std::vector<RowStage> stages;
    stages.push_back({0,
                      [&](size_t first, size_t end, int) {
                          SharpenRowsInto(width, height, source, target, level, s.SharpenBlend,
                                          first, end);
                      },
                      opening});
    for (int32_t pass = 0; pass < passes; ++pass) {
        stages.push_back({2,
                          [&](size_t first, size_t end, int thread) {
                              smoothers[size_t(thread)].smoothRows(height, target, first, end);
                          },
                          kNoiseStage});
    }
    if (tone) {
        stages.push_back({passes > 0 ? size_t(1) : size_t(0),
                          [&](size_t first, size_t end, int) {
                              AdjustBrightnessContrastRange(target, first * w, end * w, s);
                          },
                          kToneStage});
    }
    const size_t bandRows = std::max<size_t>(1, kBandPixels / std::max<size_t>(1, w));
    return RunRowPipeline(h, bandRows, stages, std::min(threads, int(stages.size())), progress);
}

}  // namespace k3v
