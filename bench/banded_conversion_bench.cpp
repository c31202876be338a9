// The conversion in bands of rows against the whole-plane conversion of the same picture, both
// timed in each iteration, with the start settings and with every filter at its heaviest (and
// every one but the mean, which the conversion top row first cannot run). The fourth argument
// is the row order: 0 bottom row first, 1 top row first. Reported as megapixels per second of
// each and as banded/whole, the time ratio.
//
// The whole-plane run starts from a decoded picture in planes whose pages are already mapped;
// the banded run maps its windows afresh each time, as it would for each picture. Its source
// stands for a decoder that hands over rows it has just made (in the caches): it copies the
// first band of the decoded plane each time, so that the ratio measures the conversion and
// not a copy of the picture from memory. The sink keeps nothing.
//
//   build/release/bench/banded_conversion_bench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "bench/bench_pictures.h"
#include "stereo/banded_conversion.h"
#include "stereo/conversion.h"

namespace {

using k3v::bench::HeaviestSettings;
using k3v::bench::PlanesOfSize;
using k3v::bench::SecondsOf;

void Compare(benchmark::State& state, const k3v::ConversionSettings& settings) {
    const auto width = int32_t(state.range(0));
    const auto height = int32_t(state.range(1));
    const auto bandRows = int32_t(state.range(2));
    const k3v::RowOrder order =
        state.range(3) == 0 ? k3v::RowOrder::BottomFirst : k3v::RowOrder::TopFirst;
    k3v::StereoPlanes& planes = PlanesOfSize(width, height);
    const size_t w = size_t(width);
    const auto source = [&](const k3v::InputRows& rows) {
        std::memcpy(rows.first, planes.DecodedImage1.data(),
                    size_t(rows.rowCount) * w * sizeof(uint32_t));
        return k3v::Status::Ok();
    };
    const auto sink = [](const k3v::ViewRows& rows) {
        benchmark::DoNotOptimize(rows.firstView[0]);
        return k3v::Status::Ok();
    };
    const auto banded = [&] {
        if (!k3v::ConvertBands(settings, {width, height, false, bandRows, order}, source, sink)
                 .ok()) {
            std::abort();
        }
    };
    k3v::ConvertPlanes(settings, planes);  // touch every page once before timing
    double wholeSeconds = 0;
    double bandedSeconds = 0;
    for (auto _ : state) {
        wholeSeconds += SecondsOf([&] { k3v::ConvertPlanes(settings, planes); });
        bandedSeconds += SecondsOf(banded);
    }
    const double megapixels = double(planes.PixelCount()) / 1e6 * double(state.iterations());
    state.counters["whole_MP/s"] = benchmark::Counter(megapixels / wholeSeconds);
    state.counters["banded_MP/s"] = benchmark::Counter(megapixels / bandedSeconds);
    state.counters["banded/whole"] = benchmark::Counter(bandedSeconds / wholeSeconds);
}

void DefaultSettings(benchmark::State& state) {
    Compare(state, k3v::ConversionSettings{});
}
void EveryFilter(benchmark::State& state) {
    Compare(state, HeaviestSettings());
}
void EveryFilterButMean(benchmark::State& state) {
    k3v::ConversionSettings s = HeaviestSettings();
    s.NoiseOn = 0;
    Compare(state, s);
}

BENCHMARK(DefaultSettings)
    ->Args({12000, 4000, 256, 0})
    ->Args({12000, 4000, 64, 0})
    ->Args({12000, 4000, 256, 1})
    ->Args({12000, 4000, 64, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(EveryFilter)
    ->Args({12000, 4000, 256, 0})
    ->Args({12000, 4000, 64, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(EveryFilterButMean)
    ->Args({12000, 4000, 256, 0})
    ->Args({12000, 4000, 256, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
