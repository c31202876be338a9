// Any bytes as a PNG file, straight into libpng through our decoder: every colour type, depth,
// interlacing and the eXIf orientation must refuse or decode, never crash or read out of
// bounds.

#include <cstdint>
#include <cstdio>

#include "fuzz/decoded_plane_checks.h"
#include "input/png_file_decoder.h"

namespace {

// Pictures claiming more pixels than this are skipped (see fuzz_decode.cpp).
constexpr uint64_t kLargestFuzzedPixels = uint64_t(1) << 24;

uint32_t BigEndian32(const uint8_t* at) {
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libpng insists on IHDR as the first chunk, its width and height at bytes 16 to 23.
    if (size >= 24 &&
        uint64_t(BigEndian32(data + 16)) * BigEndian32(data + 20) > kLargestFuzzedPixels) {
        return -1;
    }
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;  // fmemopen refuses an empty buffer
    }
    k3v::PixelPlane plane;
    const k3v::Status decoded = k3v::DecodePngFile(file, plane);
    std::fclose(file);
    k3v::fuzzing::CheckDecoded("fuzz_png", decoded, plane);
    return 0;
}
