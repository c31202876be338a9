#include "input/bmp_file_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace k3v {

namespace {

uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

Status CheckBmpFileComplete(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return Status::Ok();  // the reader reports why it cannot open the file
    }
    uint8_t header[34] = {};
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header || header[0] != 'B' ||
        header[1] != 'M') {
        return Status::Ok();
    }
    const uint32_t dataOffset = Read32(header + 10);
    const uint32_t infoSize = Read32(header + 14);
    if (infoSize < 40) {
        return Status::Ok();  // old OS/2 headers: left to the reader
    }
    const int64_t width = int32_t(Read32(header + 18));
    const int64_t height = std::llabs(int32_t(Read32(header + 22)));
    const uint32_t bitsPerPixel = uint32_t(header[28] | header[29] << 8);
    const uint32_t compression = Read32(header + 30);
    constexpr uint32_t kRgb = 0;
    constexpr uint32_t kBitfields = 3;
    if ((compression != kRgb && compression != kBitfields) || width <= 0 || bitsPerPixel == 0 ||
        bitsPerPixel > 32) {
        return Status::Ok();
    }
    // Rows are padded to whole 32-bit words.
    const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
    const int64_t needed = int64_t(dataOffset) + rowBytes * height;
    std::fseek(file.get(), 0, SEEK_END);
    const long length = std::ftell(file.get());
    if (length >= 0 && needed > int64_t(length)) {
        return Status::Error("the BMP file is cut short: it holds " + std::to_string(length) +
                             " bytes, its header promises " + std::to_string(needed));
    }
    return Status::Ok();
}

}  // namespace k3v
