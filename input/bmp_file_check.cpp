#include "input/bmp_file_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace k3v {

namespace {

uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

Status CutShort(long length, const std::string& what) {
    return Status::Error("the BMP file is cut short: it holds " + std::to_string(length) +
                         " bytes and ends " + what);
}

// Run-length encoded rows are a stream of two-byte codes: a run (count, colour), or an
// escape (0, n): 0 ends a row, 1 ends the picture, 2 moves by the next two bytes, n >= 3
// starts n literal pixels padded to a whole 16-bit word. Qt's reader fills whatever a cut
// stream leaves out, so the stream is walked here: it must end the picture, or end every
// row, before the file ends.
Status CheckRleComplete(std::FILE* file, uint32_t dataOffset, int64_t height, int bitsPerPixel) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return Status::Ok();
    }
    const long length = std::ftell(file);
    if (length < 0 || int64_t(dataOffset) >= int64_t(length)) {
        return CutShort(length, "before its pixel data");
    }
    std::fseek(file, long(dataOffset), SEEK_SET);
    int64_t row = 0;
    for (;;) {
        const int count = std::fgetc(file);
        const int code = std::fgetc(file);
        if (count == EOF || code == EOF) {
            return CutShort(length, "inside its compressed rows");
        }
        if (count != 0) {
            continue;  // a run
        }
        if (code == 0) {
            if (++row >= height) {
                return Status::Ok();
            }
        } else if (code == 1) {
            return Status::Ok();
        } else if (code == 2) {
            std::fgetc(file);
            const int down = std::fgetc(file);
            if (down == EOF) {
                return CutShort(length, "inside its compressed rows");
            }
            row += down;
            if (row >= height) {
                return Status::Ok();
            }
        } else {
            const long bytes = (long(code) * bitsPerPixel + 7) / 8;
            if (std::fseek(file, bytes + (bytes & 1), SEEK_CUR) != 0) {
                return CutShort(length, "inside its compressed rows");
            }
            if (std::ftell(file) > length) {
                return CutShort(length, "inside its compressed rows");
            }
        }
    }
}

}  // namespace

Status CheckBmpFileComplete(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return Status::Ok();  // the reader reports why it cannot open the file
    }
    uint8_t header[34] = {};
    const size_t got = std::fread(header, 1, sizeof header, file.get());
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        return Status::Ok();
    }
    if (got < sizeof header) {
        return Status::Error("the BMP file is cut short: it holds " + std::to_string(got) +
                             " bytes, less than its headers");
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
    constexpr uint32_t kRle8 = 1;
    constexpr uint32_t kRle4 = 2;
    constexpr uint32_t kBitfields = 3;
    if ((compression == kRle8 || compression == kRle4) && width > 0 && height > 0) {
        return CheckRleComplete(file.get(), dataOffset, height, compression == kRle8 ? 8 : 4);
    }
    if ((compression != kRgb && compression != kBitfields) || width <= 0 || bitsPerPixel == 0 ||
        bitsPerPixel > 32) {
        return Status::Ok();
    }
    // Rows are padded to whole 32-bit words. Unsigned 64 bits hold the largest header's
    // promise: below 2^33 bytes a row, 2^31 rows, plus an offset below 2^32.
    const uint64_t rowBytes = (uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    const uint64_t needed = uint64_t(dataOffset) + rowBytes * uint64_t(height);
    std::fseek(file.get(), 0, SEEK_END);
    const long length = std::ftell(file.get());
    if (length >= 0 && needed > uint64_t(length)) {
        return Status::Error("the BMP file is cut short: it holds " + std::to_string(length) +
                             " bytes, its header promises " + std::to_string(needed));
    }
    return Status::Ok();
}

}  // namespace k3v
