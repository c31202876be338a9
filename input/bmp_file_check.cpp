#include "input/bmp_file_check.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace k3v {

namespace {

uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

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

Status Damaged(const std::string& what) {
    return Status::Error("the BMP header is damaged (" + what + ")");
}

bool KnownInfoSize(uint32_t size) {
    // OS/2 1.x and 2.x, Windows 3 to 5 and the two Adobe variants of the Windows 3 header.
    for (const uint32_t known : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        if (size == known) {
            return true;
        }
    }
    return false;
}

}  // namespace

Status CheckBmpFileComplete(std::FILE* file) {
    uint8_t header[34] = {};
    const size_t got =
        std::fseek(file, 0, SEEK_SET) == 0 ? std::fread(header, 1, sizeof header, file) : 0;
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        return Status::Ok();
    }
    const uint32_t infoSize = got >= 18 ? Read32(header + 14) : 0;
    // The fields read below: an OS/2 1.x header ends at byte 26, the others hold the
    // compression at 30..33 (a 16-byte OS/2 2.x header has none: uncompressed).
    const size_t headerBytes = infoSize == 12 ? 26 : infoSize == 16 ? 30 : 34;
    if (got < 18 || got < headerBytes) {
        return Status::Error("the BMP file is cut short: it holds " + std::to_string(got) +
                             " bytes, less than its headers");
    }
    // Qt's reader makes a picture of some size out of a header it does not understand; only
    // the known layouts with sane fields are handed on.
    if (!KnownInfoSize(infoSize)) {
        return Damaged("an information header of " + std::to_string(infoSize) + " bytes");
    }
    const uint32_t dataOffset = Read32(header + 10);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = 0;
    if (infoSize == 12) {
        width = header[18] | header[19] << 8;
        height = header[20] | header[21] << 8;
        bitsPerPixel = uint32_t(header[24] | header[25] << 8);
    } else {
        const int32_t storedHeight = int32_t(Read32(header + 22));
        width = int32_t(Read32(header + 18));
        height = storedHeight == INT32_MIN ? 0 : std::llabs(storedHeight);  // < 0: top-down
        bitsPerPixel = uint32_t(header[28] | header[29] << 8);
        compression = infoSize == 16 ? 0 : Read32(header + 30);
    }
    if (width <= 0 || height <= 0) {
        return Damaged("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels");
    }
    constexpr uint32_t kRgb = 0;
    constexpr uint32_t kRle8 = 1;
    constexpr uint32_t kRle4 = 2;
    constexpr uint32_t kBitfields = 3;
    constexpr uint32_t kAlphaBitfields = 6;
    if ((compression == kRle8 && bitsPerPixel == 8) ||
        (compression == kRle4 && bitsPerPixel == 4)) {
        return CheckRleComplete(file, dataOffset, height, int(bitsPerPixel));
    }
    if (compression != kRgb && compression != kBitfields && compression != kAlphaBitfields) {
        return Damaged("compression " + std::to_string(compression) + " with " +
                       std::to_string(bitsPerPixel) + " bits a pixel");
    }
    if (bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4 && bitsPerPixel != 8 &&
        bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return Damaged(std::to_string(bitsPerPixel) + " bits a pixel");
    }
    // Rows are padded to whole 32-bit words. Unsigned 64 bits hold the largest header's
    // promise: below 2^33 bytes a row, 2^31 rows, plus an offset below 2^32.
    const uint64_t rowBytes = (uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    const uint64_t needed = uint64_t(dataOffset) + rowBytes * uint64_t(height);
    std::fseek(file, 0, SEEK_END);
    const long length = std::ftell(file);
    if (length >= 0 && needed > uint64_t(length)) {
        return Status::Error("the BMP file is cut short: it holds " + std::to_string(length) +
                             " bytes, its header promises " + std::to_string(needed));
    }
    return Status::Ok();
}

}  // namespace k3v
