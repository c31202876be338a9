#include "input/bmp_file_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "base/memory_probe.h"
#include "base/progress.h"
#include "input/bmp_file_check.h"
#include "input/page_prefault.h"

namespace k3v {

namespace {

// libjpeg-turbo's loader's words for the faults it found.
constexpr const char* kEnded = "Premature end of input file";
constexpr const char* kBadHeaderLength = "Invalid BMP file: bad header length";
constexpr const char* kBadPlanes = "Invalid BMP file: biPlanes not equal to 1";
constexpr const char* kBadPalette = "Unsupported BMP colormap format";
constexpr const char* kIndexOutOfRange = "Numeric value out of range in BMP file";
constexpr const char* kTooWide = "Image too wide for this implementation";

uint32_t Read16(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}

uint32_t Read32(const uint8_t* at) {
    return Read16(at) | Read16(at + 2) << 16;
}

// What lies between the file's start and its first row.
struct Layout {
    int32_t width = 0;
    int32_t height = 0;
    bool topDown = false;
    uint32_t bytesPerPixel = 0;  // 1: an index into the palette
    size_t rowBytes = 0;         // padded to whole 32-bit words
    uint32_t palette[256] = {};  // as plane pixels
    uint32_t paletteSize = 0;
};

// Reads and checks the headers, the palette and the gap before the pixels, as the loader did
// and in its order, and leaves the file at the first row.
Status ReadLayout(std::FILE* file, Layout& layout) {
    uint8_t header[14 + 124] = {};
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, 18, file) != 18) {
        return Status::Error(kEnded);
    }
    const auto dataOffset = int64_t(int32_t(Read32(header + 10)));  // signed to the loader
    const uint32_t infoSize = Read32(header + 14);
    // The loader knew the 40- and 64-byte headers; the others of 52 to 124 bytes only add
    // colour masks and colour spaces, which uncompressed pixels of these depths do not use.
    if (infoSize < 40 || infoSize > 124 || int64_t(infoSize) + 14 > dataOffset) {
        return Status::Error(kBadHeaderLength);
    }
    if (std::fread(header + 18, 1, infoSize - 4, file) != infoSize - 4) {
        return Status::Error(kEnded);
    }
    if (Read16(header + 26) != 1) {
        return Status::Error(kBadPlanes);
    }
    const uint32_t bits = Read16(header + 28);
    layout.bytesPerPixel = bits / 8;
    int64_t gap = dataOffset - (int64_t(infoSize) + 14);
    if (bits == 8) {
        const auto colours = int32_t(Read32(header + 46));
        if (colours > 256) {
            return Status::Error(kBadPalette);
        }
        layout.paletteSize = colours <= 0 ? 256 : uint32_t(colours);
        uint8_t entries[256 * 4];
        if (std::fread(entries, 4, layout.paletteSize, file) != layout.paletteSize) {
            return Status::Error(kEnded);
        }
        for (uint32_t i = 0; i < layout.paletteSize; ++i) {
            layout.palette[i] = Read32(entries + 4 * i) & 0x00FFFFFFu;  // blue, green, red, unused
        }
        gap -= int64_t(layout.paletteSize) * 4;
    }
    if (gap < 0) {
        return Status::Error(kBadHeaderLength);
    }
    for (; gap > 0; --gap) {
        if (std::fgetc(file) == EOF) {
            return Status::Error(kEnded);
        }
    }
    layout.rowBytes = (size_t(layout.width) * layout.bytesPerPixel + 3) / 4 * 4;
    if (uint64_t(layout.width) * 4 > UINT32_MAX) {
        return Status::Error(kTooWide);
    }
    return Status::Ok();
}

// One stored row into plane pixels; false for a palette index past the palette's end.
// A 24-bit row is read 4 bytes a pixel, so one byte past the row must be readable.
bool SpreadRow(const uint8_t* stored, const Layout& layout, uint32_t* row) {
    const auto width = size_t(layout.width);
    switch (layout.bytesPerPixel) {
        case 1:
            for (size_t x = 0; x < width; ++x) {
                if (stored[x] >= layout.paletteSize) {
                    return false;
                }
                row[x] = layout.palette[stored[x]];
            }
            return true;
        case 3:
            for (size_t x = 0; x < width; ++x) {
                row[x] = Read32(stored + 3 * x) & 0x00FFFFFFu;
            }
            return true;
        default:
            for (size_t x = 0; x < width; ++x) {
                row[x] = Read32(stored + 4 * x) & 0x00FFFFFFu;  // the fourth byte is not alpha
            }
            return true;
    }
}

// Rows are read a block of about a megabyte at a time: few calls, and each block is still in
// the cache while its pixels are spread into the plane.
Status ReadRows(std::FILE* file, const Layout& layout, PixelPlane& plane,
                const Progress& progress) {
    const size_t blockRows = std::max<size_t>(1, (size_t(1) << 20) / layout.rowBytes);
    const std::unique_ptr<uint8_t[]> block(new (std::nothrow)
                                               uint8_t[blockRows * layout.rowBytes + 1]);
    if (!block) {
        return Status::Error(MemoryShortageMessage(layout.width, layout.height, 1));
    }
    for (int32_t done = 0; done < layout.height;) {
        if (done > 0) {
            progress.report(uint64_t(done), uint64_t(layout.height));
            if (progress.cancelled()) {
                return Status::Cancelled();
            }
        }
        const size_t rows = std::min(blockRows, size_t(layout.height - done));
        if (std::fread(block.get(), layout.rowBytes, rows, file) != rows) {
            return Status::Error(kEnded);
        }
        block[rows * layout.rowBytes] = 0;
        for (size_t i = 0; i < rows; ++i) {
            const int32_t stored = done + int32_t(i);
            uint32_t* row = plane.row(layout.topDown ? layout.height - 1 - stored : stored);
            if (!SpreadRow(block.get() + i * layout.rowBytes, layout, row)) {
                return Status::Error(kIndexOutOfRange);
            }
        }
        done += int32_t(rows);
    }
    return Status::Ok();
}

// A BMP that ends before its last row, or whose header is unusual, is refused first; then
// the size from the header.
Status ReadSize(std::FILE* file, Layout& layout) {
    if (Status complete = CheckBmpFileComplete(file); !complete) {
        return complete;
    }
    uint8_t header[26] = {};
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, file) < 3) {
        return Status::Error("the file cannot be read");
    }
    const auto width = int64_t(int32_t(Read32(header + 18)));
    const auto storedHeight = int64_t(int32_t(Read32(header + 22)));  // < 0: top-down
    const int64_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    if (width < 1 || height < 1 || height > INT32_MAX - 1) {
        return Status::Error("its header gives no valid picture size");
    }
    layout.width = int32_t(width);
    layout.height = int32_t(height);
    layout.topDown = storedHeight < 0;
    return Status::Ok();
}

// Rows read from their places in the file, in either order.
class BmpRows final : public RowBands {
  public:
    BmpRows(OwnedStream file, bool bottomFirst)
        : file_(std::move(file)), bottomFirst_(bottomFirst) {}

    Status open() {
        if (Status size = ReadSize(file_.get(), layout_); !size) {
            return size;
        }
        if (Status read = ReadLayout(file_.get(), layout_); !read) {
            return read;
        }
        start_ = ftello(file_.get());
        return start_ < 0 ? Status::Error(kEnded) : Status::Ok();
    }

    PictureSize size() const override { return {layout_.width, layout_.height}; }

    Status read(int32_t count, uint32_t* out) override {
        const int64_t height = layout_.height;
        const bool bottomUp = !layout_.topDown;
        const int64_t first =
            std::min(StoredRow(height, bottomUp, bottomFirst_, served_, 0),
                     StoredRow(height, bottomUp, bottomFirst_, served_, count - 1));
        if (!ReadStoredRows(file_.get(), start_, layout_.rowBytes, first, count, block_)) {
            return Status::Error(kEnded);
        }
        for (int32_t i = 0; i < count; ++i) {
            const int64_t stored = StoredRow(height, bottomUp, bottomFirst_, served_, i);
            if (!SpreadRow(block_.data() + size_t(stored - first) * layout_.rowBytes, layout_,
                           out + size_t(i) * size_t(layout_.width))) {
                return Status::Error(kIndexOutOfRange);
            }
        }
        served_ += count;
        return Status::Ok();
    }

  private:
    OwnedStream file_;
    bool bottomFirst_;
    Layout layout_;
    int64_t start_ = 0;
    int64_t served_ = 0;
    std::vector<uint8_t> block_;
};

}  // namespace

Result<std::unique_ptr<RowBands>> OpenBmpRows(OwnedStream file, bool bottomFirst) {
    auto rows = std::make_unique<BmpRows>(std::move(file), bottomFirst);
    if (Status opened = rows->open(); !opened) {
        return opened;
    }
    return std::unique_ptr<RowBands>(std::move(rows));
}

bool BmpDecoderReads(const unsigned char* header, size_t got) {
    if (got < 34 || header[0] != 'B' || header[1] != 'M') {
        return false;
    }
    const uint32_t infoSize = Read32(header + 14);
    const auto height = int32_t(Read32(header + 22));
    const uint32_t bits = Read16(header + 28);
    const uint32_t compression = Read32(header + 30);
    // A 32-bit file with a longer header may declare an alpha mask, which Qt's reader honours.
    return infoSize >= 40 && infoSize <= 124 && compression == 0 &&
           ((bits == 8 && height > 0) || bits == 24 || (bits == 32 && infoSize == 40));
}

Status DecodeBmpFile(std::FILE* file, PixelPlane& plane, const Progress& progress) {
    Layout layout;
    if (Status size = ReadSize(file, layout); !size) {
        return size;
    }
    if (Status fits = CheckPlanesFit(layout.width, layout.height, 1); !fits) {
        return fits;
    }
    if (Status read = ReadLayout(file, layout); !read) {
        return read;
    }
    PixelPlane decoded;
    if (Status allocated = decoded.allocate(layout.width, layout.height); !allocated) {
        return allocated;
    }
    {
        const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
        if (Status read = ReadRows(file, layout, decoded, progress); !read) {
            return read;
        }
    }
    plane = std::move(decoded);
    return Status::Ok();
}

}  // namespace k3v
