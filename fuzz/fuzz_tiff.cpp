// Any bytes as a TIFF file, straight into libtiff through our decoder: every layout, the
// tile and strip arithmetic and the RGBA fallback must refuse or decode, never crash, hang or
// read out of bounds.

#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/decoded_plane_checks.h"
#include "input/tiff_file_decoder.h"

namespace {

// Pictures claiming more pixels than this are skipped: the memory check lets through what
// the machine has, and a few bytes claiming gigabytes would only measure the allocator.
constexpr uint64_t kLargestFuzzedPixels = uint64_t(1) << 24;

std::string g_path;

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// The size in the first directory, read by libtiff itself; 0 when it cannot be read.
uint64_t ClaimedPixels() {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tif = TIFFOpenExt(g_path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (tif == nullptr) {
        return 0;
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFClose(tif);
    return uint64_t(width) * height;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = k3v::fuzzing::FuzzInputPath("fuzz-tiff", ".tif");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    k3v::fuzzing::WriteFuzzInput("fuzz_tiff", g_path, data, size);
    if (ClaimedPixels() > kLargestFuzzedPixels) {
        return -1;  // not added to the corpus
    }
    k3v::PixelPlane plane;
    const k3v::Status decoded = k3v::DecodeTiffFile(g_path, plane);
    k3v::fuzzing::CheckDecoded("fuzz_tiff", decoded, plane);
    return 0;
}
