#include "input/pnm_file_decoder.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "base/memory_probe.h"
#include "base/progress.h"
#include "input/page_prefault.h"

namespace k3v {

namespace {

// libjpeg-turbo's loader's words for the faults it found.
constexpr const char* kEnded = "Premature end of input file";
constexpr const char* kNonNumeric = "Nonnumeric data in PPM file";
constexpr const char* kOutOfRange = "Numeric value out of range in PPM file";
constexpr const char* kNotPnm = "Not a PPM/PGM file";

// A header character, a comment ('#' to the end of its line) read as the line's end.
int HeaderCharacter(std::FILE* file) {
    int c = std::fgetc(file);
    if (c == '#') {
        do {
            c = std::fgetc(file);
        } while (c != '\n' && c != EOF);
    }
    return c;
}

// A header number as the loader read it: after blanks, tabs and line ends, at most 65535,
// and the one character after it swallowed (the pixels start right after that).
Status ReadHeaderNumber(std::FILE* file, uint32_t& value) {
    int c = 0;
    do {
        c = HeaderCharacter(file);
        if (c == EOF) {
            return Status::Error(kEnded);
        }
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c < '0' || c > '9') {
        return Status::Error(kNonNumeric);
    }
    value = uint32_t(c - '0');
    while ((c = HeaderCharacter(file)) >= '0' && c <= '9') {
        value = value * 10 + uint32_t(c - '0');
        if (value > 65535) {
            return Status::Error(kOutOfRange);
        }
    }
    return Status::Ok();
}

struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;  // 1 grey, 3 red, green, blue
    uint32_t maxValue = 0;
    bool twoByteSamples = false;  // big-endian, when the maximum value is above 255
    // Each sample value scaled to 0..255; values above the maximum of a one-byte file
    // become 0, as they did in the loader.
    uint8_t scaled[65536] = {};

    size_t rowBytes() const { return size_t(width) * channels * (twoByteSamples ? 2 : 1); }
};

// Reads the header from the file's start and leaves the file at the first row.
Status ReadLayout(std::FILE* file, Layout& layout) {
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fgetc(file) != 'P') {
        return Status::Error(kNotPnm);
    }
    const int kind = std::fgetc(file);
    if (kind != '5' && kind != '6') {
        return Status::Error(kNotPnm);
    }
    for (uint32_t* value : {&layout.width, &layout.height, &layout.maxValue}) {
        if (Status read = ReadHeaderNumber(file, *value); !read) {
            return read;
        }
    }
    if (layout.width == 0 || layout.height == 0 || layout.maxValue == 0) {
        return Status::Error(kNotPnm);
    }
    layout.channels = kind == '6' ? 3 : 1;
    layout.twoByteSamples = layout.maxValue > 255;
    for (uint32_t value = 0; value <= layout.maxValue; ++value) {
        layout.scaled[value] = uint8_t((value * 255 + layout.maxValue / 2) / layout.maxValue);
    }
    return Status::Ok();
}

uint32_t Pixel(uint32_t red, uint32_t green, uint32_t blue) {
    return blue | green << 8 | red << 16;
}

// One stored row into plane pixels; false for a two-byte sample above the maximum value.
bool SpreadRow(const uint8_t* stored, const Layout& layout, uint32_t* row) {
    const uint8_t* scaled = layout.scaled;
    const size_t width = layout.width;
    if (!layout.twoByteSamples) {
        for (size_t x = 0; x < width; ++x) {
            const uint8_t* sample = stored + layout.channels * x;
            row[x] = layout.channels == 3
                         ? Pixel(scaled[sample[0]], scaled[sample[1]], scaled[sample[2]])
                         : Pixel(scaled[sample[0]], scaled[sample[0]], scaled[sample[0]]);
        }
        return true;
    }
    uint32_t values[3] = {};
    for (size_t x = 0; x < width; ++x) {
        for (uint32_t c = 0; c < layout.channels; ++c) {
            const uint8_t* sample = stored + 2 * (layout.channels * x + c);
            values[c] = uint32_t(sample[0]) << 8 | sample[1];
            if (values[c] > layout.maxValue) {
                return false;
            }
            values[c] = scaled[values[c]];
        }
        row[x] = layout.channels == 3 ? Pixel(values[0], values[1], values[2])
                                      : Pixel(values[0], values[0], values[0]);
    }
    return true;
}

// Rows are read a block of about a megabyte at a time: few calls, and each block is still in
// the cache while its pixels are spread into the plane (top row first, so from the plane's
// last row down).
Status ReadRows(std::FILE* file, const Layout& layout, PixelPlane& plane,
                const Progress& progress) {
    const size_t rowBytes = layout.rowBytes();
    const size_t blockRows = std::max<size_t>(1, (size_t(1) << 20) / rowBytes);
    const std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockRows * rowBytes]);
    if (!block) {
        return Status::Error(MemoryShortageMessage(plane.width(), plane.height(), 1));
    }
    const auto height = int32_t(layout.height);
    for (int32_t done = 0; done < height;) {
        if (done > 0) {
            progress.report(uint64_t(done), uint64_t(height));
            if (progress.cancelled()) {
                return Status::Cancelled();
            }
        }
        const size_t rows = std::min(blockRows, size_t(height - done));
        if (std::fread(block.get(), rowBytes, rows, file) != rows) {
            return Status::Error(kEnded);
        }
        for (size_t i = 0; i < rows; ++i) {
            uint32_t* row = plane.row(height - 1 - (done + int32_t(i)));
            if (!SpreadRow(block.get() + i * rowBytes, layout, row)) {
                return Status::Error(kOutOfRange);
            }
        }
        done += int32_t(rows);
    }
    return Status::Ok();
}

}  // namespace

// "P6 <w> <h> <maxval>", comments from '#' to the end of a line.
bool ReadPnmSize(std::FILE* file, int64_t& width, int64_t& height) {
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

bool IsBinaryPnm(const unsigned char* header, size_t got) {
    return got >= 3 && header[0] == 'P' && (header[1] == '5' || header[1] == '6') &&
           std::isspace(header[2]);
}

namespace {

Status ReadSize(std::FILE* file, int64_t& width, int64_t& height) {
    if (!ReadPnmSize(file, width, height)) {
        return Status::Error("the PNM header is damaged");
    }
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX - 1) {
        return Status::Error("its header gives no valid picture size");
    }
    return Status::Ok();
}

// The header after the size; the file is left at the first row.
Status ReadRest(std::FILE* file, int64_t width, int64_t height, Layout& layout) {
    if (Status read = ReadLayout(file, layout); !read) {
        return read;
    }
    if (layout.width != width || layout.height != height) {
        return Status::Error("its header gives no valid picture size");
    }
    return Status::Ok();
}

// Rows read from their places in the file, in either order.
class PnmRows final : public RowBands {
  public:
    PnmRows(OwnedStream file, bool bottomFirst)
        : file_(std::move(file)), bottomFirst_(bottomFirst) {}

    Status open() {
        int64_t width = 0;
        int64_t height = 0;
        if (Status size = ReadSize(file_.get(), width, height); !size) {
            return size;
        }
        layout_ = std::unique_ptr<Layout>(new (std::nothrow) Layout);
        if (!layout_) {
            return Status::Error(MemoryShortageMessage(int32_t(width), int32_t(height), 1));
        }
        if (Status read = ReadRest(file_.get(), width, height, *layout_); !read) {
            return read;
        }
        start_ = ftello(file_.get());
        return start_ < 0 ? Status::Error(kEnded) : Status::Ok();
    }

    PictureSize size() const override {
        return {int32_t(layout_->width), int32_t(layout_->height)};
    }

    Status read(int32_t count, uint32_t* out) override {
        const int64_t height = layout_->height;
        const size_t rowBytes = layout_->rowBytes();
        const int64_t first = std::min(StoredRow(height, false, bottomFirst_, served_, 0),
                                       StoredRow(height, false, bottomFirst_, served_, count - 1));
        if (!ReadStoredRows(file_.get(), start_, rowBytes, first, count, block_)) {
            return Status::Error(kEnded);
        }
        for (int32_t i = 0; i < count; ++i) {
            const int64_t stored = StoredRow(height, false, bottomFirst_, served_, i);
            if (!SpreadRow(block_.data() + size_t(stored - first) * rowBytes, *layout_,
                           out + size_t(i) * size_t(layout_->width))) {
                return Status::Error(kOutOfRange);
            }
        }
        served_ += count;
        return Status::Ok();
    }

  private:
    OwnedStream file_;
    bool bottomFirst_;
    std::unique_ptr<Layout> layout_;  // large: its table of scaled samples
    int64_t start_ = 0;
    int64_t served_ = 0;
    std::vector<uint8_t> block_;
};

}  // namespace

Result<std::unique_ptr<RowBands>> OpenPnmRows(OwnedStream file, bool bottomFirst) {
    auto rows = std::make_unique<PnmRows>(std::move(file), bottomFirst);
    if (Status opened = rows->open(); !opened) {
        return opened;
    }
    return std::unique_ptr<RowBands>(std::move(rows));
}

Status DecodePnmFile(std::FILE* file, PixelPlane& plane, const Progress& progress) {
    int64_t width = 0;
    int64_t height = 0;
    // The size first, so that memory is checked before anything is read or allocated.
    if (Status size = ReadSize(file, width, height); !size) {
        return size;
    }
    if (Status fits = CheckPlanesFit(int32_t(width), int32_t(height), 1); !fits) {
        return fits;
    }
    const auto layout = std::unique_ptr<Layout>(new (std::nothrow) Layout);
    if (!layout) {
        return Status::Error(MemoryShortageMessage(int32_t(width), int32_t(height), 1));
    }
    if (Status read = ReadRest(file, width, height, *layout); !read) {
        return read;
    }
    PixelPlane decoded;
    if (Status allocated = decoded.allocate(int32_t(width), int32_t(height)); !allocated) {
        return allocated;
    }
    {
        const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
        if (Status read = ReadRows(file, *layout, decoded, progress); !read) {
            return read;
        }
    }
    plane = std::move(decoded);
    return Status::Ok();
}

}  // namespace k3v
