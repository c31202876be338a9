#include "input/turbo_image_loader.h"

#include <turbojpeg.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/memory_probe.h"
#include "input/bmp_file_check.h"

namespace k3v {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct TurboFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// The loader reads a Windows BMP (information header of 40 bytes or more) that is stored
// bottom-up, uncompressed, with 8, 24 or 32 bits a pixel. It refuses top-down files and the
// rest, which Qt's reader has always read.
bool IsPlainBmp(const uint8_t* header, size_t got) {
    if (got < 34 || header[0] != 'B' || header[1] != 'M') {
        return false;
    }
    const uint32_t infoSize = Read32(header + 14);
    const auto height = int32_t(Read32(header + 22));
    const uint32_t bits = uint32_t(header[28] | header[29] << 8);
    const uint32_t compression = Read32(header + 30);
    // A 32-bit file with a longer header may declare an alpha mask, which Qt's reader honours.
    return infoSize >= 40 && infoSize <= 124 && height > 0 && compression == 0 &&
           (bits == 8 || bits == 24 || (bits == 32 && infoSize == 40));
}

// Binary PGM (P5) and PPM (P6); the text forms and PBM stay with Qt.
bool IsBinaryPnm(const uint8_t* header, size_t got) {
    return got >= 3 && header[0] == 'P' && (header[1] == '5' || header[1] == '6') &&
           std::isspace(header[2]);
}

// Width and height from a PNM header ("P6 <w> <h> <maxval>", comments from '#' to the end
// of a line), so that memory is checked before the loader allocates.
bool PnmSize(std::FILE* file, int64_t& width, int64_t& height) {
    std::fseek(file, 2, SEEK_SET);
    int64_t values[2] = {};
    for (int64_t& value : values) {
        int c = std::fgetc(file);
        while (c == '#' || std::isspace(c)) {
            if (c == '#') {
                while (c != '\n' && c != EOF) {
                    c = std::fgetc(file);
                }
            }
            c = std::fgetc(file);
        }
        if (!std::isdigit(c)) {
            return false;
        }
        for (; std::isdigit(c) && value <= INT32_MAX; c = std::fgetc(file)) {
            value = value * 10 + (c - '0');
        }
    }
    width = values[0];
    height = values[1];
    return true;
}

}  // namespace

bool TurboLoaderReads(const unsigned char* header, size_t got) {
    return IsPlainBmp(header, got) || IsBinaryPnm(header, got);
}

Status DecodeWithTurboLoader(const std::string& path, PixelPlane& plane) {
    // Today's refusals of a BMP that ends before its last row, or whose header is unusual.
    if (Status complete = CheckBmpFileComplete(path); !complete) {
        return complete;
    }
    int64_t width = 0;
    int64_t height = 0;
    {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        uint8_t header[26] = {};
        if (!file || std::fread(header, 1, sizeof header, file.get()) < 3) {
            return Status::Error("the file cannot be read");
        }
        if (header[0] == 'B') {
            width = int32_t(Read32(header + 18));
            height = int32_t(Read32(header + 22));
        } else if (!PnmSize(file.get(), width, height)) {
            return Status::Error("the PNM header is damaged");
        }
    }
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX - 1) {
        return Status::Error("its header gives no valid picture size");
    }
    // The loader's buffer becomes the plane.
    if (Status fits = CheckPlanesFit(int32_t(width), int32_t(height), 1); !fits) {
        return fits;
    }
    int loadedWidth = 0;
    int loadedHeight = 0;
    int format = TJPF_BGRX;
    std::unique_ptr<unsigned char, TurboFree> loaded(
        tjLoadImage(path.c_str(), &loadedWidth, 1, &loadedHeight, &format, TJFLAG_BOTTOMUP));
    if (!loaded) {
        return Status::Error(tjGetErrorStr2(nullptr));
    }
    if (loadedWidth != width || loadedHeight != height || format != TJPF_BGRX) {
        return Status::Error("its header gives no valid picture size");
    }
    // The buffer (from malloc, rows bottom-up without padding) grows by the plane's spare row.
    const size_t pixels = size_t(width) * size_t(height);
    auto* grown = static_cast<uint32_t*>(
        std::realloc(loaded.get(), (pixels + size_t(width)) * sizeof(uint32_t)));
    if (grown == nullptr) {
        return Status::Error(MemoryShortageMessage(int32_t(width), int32_t(height), 1));
    }
    (void)loaded.release();
    PixelPlane decoded = PixelPlane::Adopt(grown, int32_t(width), int32_t(height));
    std::memset(grown + pixels, 0, size_t(width) * sizeof(uint32_t));
    // The loader leaves the fourth byte as it comes; planes keep it zero.
    for (size_t i = 0; i < pixels; ++i) {
        grown[i] &= 0x00FFFFFFu;
    }
    plane = std::move(decoded);
    return Status::Ok();
}

}  // namespace k3v
