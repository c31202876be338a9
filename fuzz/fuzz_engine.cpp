// The conversion engine with any settings on any small pictures, at every vector level the
// processor has: the result must equal the plain scalar reference bit for bit. The sanitizers
// catch reads and writes outside the planes (filters at the borders, displacements past the
// ends, the anaglyph shift, vector row tails), and the checks below catch results that break
// the planes' rules.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/simd_level.h"
#include "fuzz/fuzz_input.h"
#include "output/output_picture.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"
#include "tests/stereo/reference_engine.h"

namespace {

volatile uint64_t g_sink = 0;

bool SamePixels(const k3v::PixelPlane& a, const k3v::PixelPlane& b) {
    return a.storedCount() == b.storedCount() &&
           std::memcmp(a.data(), b.data(), a.storedCount() * sizeof(uint32_t)) == 0;
}

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_engine: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    k3v::fuzzing::ByteStream in(data, size);
    k3v::ConversionSettings settings = k3v::fuzzing::ReadSettings(in);
    // Short inputs read zeros and give small pictures. Rows of 512 pixels and more take the
    // noise filter's segmented path. Pictures large enough to be split over threads (half a
    // megapixel) would take a second each here; tests/stereo/fast_kernels_test.cpp covers them.
    const bool wide = in.in(0, 63) >= 58;
    const int32_t width = wide ? in.in(512, 1100) : in.in(1, 80);
    const int32_t height = wide ? in.in(1, 12) : in.in(1, 40);
    const int runs = in.in(1, 2);
    const auto level = k3v::SimdLevel(in.in(0, 2));

    k3v::PixelPlane first;
    k3v::PixelPlane second;
    if (!first.allocate(width, height) || !second.allocate(width, height)) {
        Fail("a small plane could not be allocated");
    }
    in.fill(first);
    // The stereo output settings come last, so inputs kept from before they existed read
    // their defaults.
    settings.AnaglyphMethod = k3v::AnaglyphKind(in.in(0, 3));
    settings.Glasses = k3v::GlassesKind(in.in(0, 2));
    settings.SwapEyes = in.in(0, 1) == 1;
    settings.HalfSize = in.in(0, 1) == 1;
    if (in.in(0, 3) == 3) {
        settings.StereoLayout = k3v::kSeparateFiles;
    }
    // Then the depth map (the first picture's pixels turned into other values) and the wrap.
    settings.WrapAround = in.in(0, 1) == 1;
    settings.InvertDepthMap = in.in(0, 1) == 1;
    const bool mapped = in.in(0, 1) == 1;
    const uint32_t mapFactor = uint32_t(in.in(1, 255));
    settings.PairOrder = in.in(0, 1) == 1 ? k3v::EyeOrder::Parallel : k3v::EyeOrder::Cross;
    for (size_t i = 0; i < second.pixelCount(); ++i) {
        second.data()[i] = (first.data()[i] * 2654435761u) & 0x00FFFFFFu;
    }
    k3v::PixelPlane first2;
    k3v::PixelPlane second2;
    if (!first2.allocate(width, height) || !second2.allocate(width, height)) {
        Fail("a small plane could not be allocated");
    }
    first2.copyFrom(first);
    second2.copyFrom(second);
    k3v::StereoPlanes planes;
    k3v::StereoPlanes reference;
    if (!k3v::InstallFirstPicture(planes, std::move(first)) ||
        !k3v::InstallSecondPicture(planes, std::move(second)) ||
        !k3v::InstallFirstPicture(reference, std::move(first2)) ||
        !k3v::InstallSecondPicture(reference, std::move(second2))) {
        Fail("small pictures could not be installed");
    }
    if (mapped) {
        k3v::PixelPlane map;
        if (!map.allocate(width, height)) {
            Fail("a small plane could not be allocated");
        }
        for (size_t i = 0; i < map.pixelCount(); ++i) {
            map.data()[i] = (planes.DecodedImage1.data()[i] * mapFactor) & 0x00FFFFFFu;
        }
        if (!k3v::InstallDepthMap(planes, map) || !k3v::InstallDepthMap(reference, map)) {
            Fail("a depth map of the picture's size was refused");
        }
    }
    k3v::reference::ConvertPlanes(settings, reference);
    k3v::LimitSimdLevel(level);
    // The decoded pictures are never changed, so a second run gives the same views.
    std::vector<uint32_t> firstRun;
    for (int run = 0; run < runs; ++run) {
        k3v::ConvertPlanes(settings, planes);
        const k3v::PixelPlane& view = planes.FirstView;
        if (view.width() != width || view.height() != height) {
            Fail("the conversion changed a plane's size");
        }
        for (const k3v::PixelPlane* plane : {&planes.FirstView, &planes.SecondView}) {
            const uint32_t* spare = plane->row(height);
            for (int32_t x = 0; x < width; ++x) {
                if (spare[x] != 0) {
                    Fail("the conversion wrote into a plane's spare row");
                }
            }
        }
        // What is shown and saved: the composite, and the second view beside it.
        if (!SamePixels(planes.FirstView, reference.FirstView) ||
            (settings.StereoLayout != k3v::kAnaglyph &&
             !SamePixels(planes.SecondView, reference.SecondView))) {
            Fail("the fast kernels differ from the scalar reference");
        }
        const std::vector<uint32_t> result(view.data(), view.data() + view.pixelCount());
        if (run == 0) {
            firstRun = result;
        } else if (result != firstRun) {
            Fail("a second conversion with the same settings gave another picture");
        }
    }

    // The saved picture's rows must lie inside the view planes (the sanitizers check the
    // copy) and have the layout's size.
    const k3v::OutputPicture picture(settings, planes);
    if (picture.width() < 1 || picture.height() < 1 || picture.width() > 2 * width ||
        picture.height() > 2 * height) {
        Fail("the output picture's size does not follow from the layout");
    }
    std::vector<uint32_t> storage;
    const uint32_t* pixels = picture.contiguous(storage).value();
    uint64_t sum = 0;
    for (size_t i = 0; i < size_t(picture.width()) * size_t(picture.height()); ++i) {
        sum += pixels[i];
    }
    g_sink = sum;  // keeps the pixel reads from being optimised away
    return 0;
}
