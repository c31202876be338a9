#include "input/tiff_file_decoder.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/memory_probe.h"
#include "base/thread_runner.h"
#include "input/exif_orientation.h"
#include "input/page_prefault.h"
#include "input/pixel_conversion.h"

namespace k3v {

namespace {

// A striped picture reports its progress, and looks for a cancel, every this many rows.
constexpr uint32_t kRowsPerBand = 16;

// libtiff's complaints about this one file, caught through its per-file handlers (so that
// threads decoding other files keep theirs apart), instead of its default print to stderr.
struct Complaints {
    std::string path;
    std::string error;
    std::string warning;
};

std::string Formatted(const Complaints& c, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    // Some messages start with the file's name, which our message gives already.
    if (line.rfind(c.path + ": ", 0) == 0) {
        line.erase(0, c.path.size() + 2);
    }
    while (!line.empty() && (line.back() == '.' || line.back() == '\n')) {
        line.pop_back();
    }
    // A few messages run over two lines ("Improper JPEG sampling factors 2,2\nApparently
    // should be 1,1"); ours are one line.
    for (char& character : line) {
        if (character == '\n' || character == '\r') {
            character = ' ';
        }
    }
    return line;
}

// libtiff calls these from its C code, which an exception must not cross: a message that
// cannot be kept for want of memory is left out.
int OnError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* c = static_cast<Complaints*>(user);
    try {
        c->error = Formatted(*c, format, arguments);
    } catch (...) {  // the message is lost, the failure is not
    }
    return 1;  // handled: nothing reaches stderr
}

int OnWarning(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* c = static_cast<Complaints*>(user);
    try {
        c->warning = Formatted(*c, format, arguments);
    } catch (...) {
    }
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

// One libtiff handle's reading of the open file: by position (pread), so that the handles of
// several threads share the descriptor without moving each other's place in it. The procedures
// do what libtiff's own do on a descriptor of its opening, mapping the file included (libtiff
// words some read errors differently for a mapped file), but never close it.
struct TiffSource {
    int fd = -1;
    uint64_t position = 0;
};

TiffSource& SourceOf(thandle_t handle) {
    return *static_cast<TiffSource*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffSource& source = SourceOf(handle);
    if (size < 0) {
        errno = EINVAL;
        return -1;
    }
    size_t done = 0;
    ssize_t count = -1;
    while (done < size_t(size)) {
        // As libtiff reads: at most 2^31 - 1 bytes a call.
        const size_t part = std::min<size_t>(size_t(size) - done, INT32_MAX);
        count = pread(source.fd, static_cast<char*>(buffer) + done, part,
                      off_t(source.position + done));
        if (count <= 0) {
            break;
        }
        done += size_t(count);
    }
    source.position += done;
    return count < 0 ? -1 : tmsize_t(done);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    errno = EBADF;  // opened for reading
    return -1;
}

toff_t SizeProc(thandle_t handle) {
    struct stat info {};
    return fstat(SourceOf(handle).fd, &info) != 0 ? 0 : toff_t(info.st_size);
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffSource& source = SourceOf(handle);
    const auto signedOffset =
        int64_t(offset);  // libtiff passes a step back as its two's complement
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = int64_t(source.position);
    } else if (whence == SEEK_END) {
        base = int64_t(SizeProc(handle));
    } else if (whence != SEEK_SET || signedOffset < 0) {
        errno = EINVAL;
        return toff_t(-1);
    }
    if ((signedOffset > 0 && base > INT64_MAX - signedOffset) || base + signedOffset < 0) {
        errno = EINVAL;
        return toff_t(-1);
    }
    source.position = uint64_t(base + signedOffset);
    return source.position;
}

int CloseProc(thandle_t) {
    return 0;  // the descriptor is the caller's
}

int MapProc(thandle_t handle, void** base, toff_t* size) {
    const uint64_t bytes = SizeProc(handle);
    if (bytes == 0 || bytes > uint64_t(PTRDIFF_MAX)) {
        return 0;
    }
    void* mapped = mmap(nullptr, size_t(bytes), PROT_READ, MAP_SHARED, SourceOf(handle).fd, 0);
    if (mapped == MAP_FAILED) {
        return 0;
    }
    *base = mapped;
    *size = bytes;
    return 1;
}

void UnmapProc(thandle_t, void* base, toff_t size) {
    munmap(base, size_t(size));
}

// The file's first directory read through `source`, which must outlive the handle, libtiff's
// complaints going to `c`; null when it cannot be read.
TIFF* OpenTiff(TiffSource& source, Complaints& c) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        c.error = "there is not enough memory to open it";
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &c);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &c);
    source.position = 0;
    TIFF* tif = TIFFClientOpenExt(c.path.c_str(), "r", &source, ReadProc, WriteProc, SeekProc,
                                  CloseProc, SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

// Today's wording for a file libtiff gave up on, with libtiff's own reason: its error, or
// what we found wrong, or else its last warning.
Status Damaged(const Complaints& c, const std::string& found) {
    const std::string& text = !c.error.empty() ? c.error : !found.empty() ? found : c.warning;
    return Status::Error("the TIFF data is damaged (" + text + ")");
}

// How the samples of one pixel are laid out, for the kinds converted here.
struct Samples {
    int bits = 8;      // 8 or 16
    size_t count = 1;  // samples per pixel
    bool colour = false;
    bool palette = false;
    bool minIsWhite = false;
    bool straightAlpha = false;  // the sample after the colours is alpha, not premultiplied
    uint32_t map[256] = {};      // palette entries as plane pixels
};

template <typename T>
uint32_t To8(T v) {
    if constexpr (sizeof(T) == 1) {
        return v;
    } else {
        return Sample16To8(v);
    }
}

template <typename T>
void ConvertRun(const Samples& s, const T* in, uint32_t* out, size_t pixels) {
    const size_t n = s.count;
    if (s.palette) {
        for (size_t x = 0; x < pixels; ++x) {
            out[x] = s.map[in[x]];
        }
    } else if (s.colour) {
        for (size_t x = 0; x < pixels; ++x, in += n) {
            const uint32_t alpha = s.straightAlpha ? To8(in[3]) : 255;
            out[x] = OverBlack(To8(in[0]), To8(in[1]), To8(in[2]), alpha);
        }
    } else {
        for (size_t x = 0; x < pixels; ++x, in += n) {
            const uint32_t grey = s.minIsWhite ? 255 - To8(in[0]) : To8(in[0]);
            out[x] = OverBlack(grey, grey, grey, s.straightAlpha ? To8(in[1]) : 255);
        }
    }
}

void Convert(const Samples& s, const uint8_t* in, uint32_t* out, size_t pixels) {
    if (s.bits == 16) {
        ConvertRun(s, reinterpret_cast<const uint16_t*>(in), out, pixels);
    } else {
        ConvertRun(s, in, out, pixels);
    }
}

// Colour maps hold 16-bit values; some old writers stored 8-bit values in them, which every
// reader (libtiff's RGBA interface too) recognises by no entry reaching 256. The map is
// rewritten in place as 8-bit values, rounded to nearest, so that libtiff's RGBA interface,
// which would cut 16-bit entries down by truncation, reads the same colours as we do.
void RoundColourMap(TIFF* tif, int bits) {
    uint16_t* maps[3] = {};
    if (bits > 16 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2])) {
        return;
    }
    const size_t entries = size_t(1) << bits;
    bool sixteenBit = false;
    for (uint16_t* map : maps) {
        sixteenBit =
            sixteenBit || std::any_of(map, map + entries, [](uint16_t v) { return v >= 256; });
    }
    if (sixteenBit) {
        for (uint16_t* map : maps) {
            std::transform(map, map + entries, map,
                           [](uint16_t v) { return uint16_t(Sample16To8(v)); });
        }
    }
}

// The kinds converted here: 8 or 16 unsigned bits, samples interleaved, grey (either sense),
// RGB, or 8-bit palette indices, with an optional alpha sample after the colours. JPEG-coded
// YCbCr counts as RGB: libjpeg converts it on the way out.
bool DirectSamples(TIFF* tif, Samples& s) {
    uint16_t bits = 0, count = 0, photometric = 0, planar = 0, format = 0, compression = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &count);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || (bits != 8 && bits != 16) ||
        format != SAMPLEFORMAT_UINT || (planar != PLANARCONFIG_CONTIG && count > 1)) {
        return false;
    }
    uint16_t extras = 0;
    uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extras, &extraKinds);
    // Premultiplied alpha (and, as libtiff's RGBA interface takes it, unspecified extra
    // samples) means the colours are already over black: the extra samples are skipped.
    const bool straight =
        extras > 0 && extraKinds != nullptr && extraKinds[0] == EXTRASAMPLE_UNASSALPHA;
    s.bits = bits;
    s.count = count;
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            s.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
            s.straightAlpha = straight && count >= 2;
            return count >= 1;
        case PHOTOMETRIC_YCBCR:
            if (compression != COMPRESSION_JPEG || bits != 8 || count != 3) {
                return false;
            }
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            s.colour = true;
            return true;
        case PHOTOMETRIC_RGB:
            s.colour = true;
            s.straightAlpha = straight && count >= 4;
            return count >= 3;
        case PHOTOMETRIC_PALETTE: {
            uint16_t* maps[3] = {};
            if (bits != 8 || count != 1 ||
                !TIFFGetField(tif, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2])) {
                return false;
            }
            RoundColourMap(tif, bits);
            s.palette = true;
            for (uint32_t i = 0; i < 256; ++i) {
                s.map[i] =
                    uint32_t(maps[2][i]) | uint32_t(maps[1][i]) << 8 | uint32_t(maps[0][i]) << 16;
            }
            return true;
        }
        default:
            return false;
    }
}

// Ok when `bytes` of working buffer fit beside the planes already counted.
Status CheckBufferFits(uint64_t bytes, int32_t width, int32_t height, int planes) {
    const uint64_t available = AvailableMemoryBytes();
    const uint64_t used = PlaneBytes(width, height, planes);
    if (available > 0 && (used > available || bytes > available - used)) {
        return Status::Error(MemoryShortageMessage(width, height, planes + 1));
    }
    return Status::Ok();
}

// The plane row that holds picture row `top`, counted from the top as stored.
uint32_t* RowFromTop(PixelPlane& plane, uint32_t top) {
    return plane.row(plane.height() - 1 - int32_t(top));
}

Status ReadStrips(TIFF* tif, const Samples& s, PixelPlane& plane, const Complaints& c,
                  const Progress& progress) {
    // Row by row: libtiff decodes a strip as it goes, so a picture stored as one compressed
    // strip never needs a buffer of its size.
    std::vector<uint16_t> line((size_t(TIFFScanlineSize64(tif)) + 1) / 2);
    const size_t width = size_t(plane.width());
    if (uint64_t(line.size()) * 2 < width * s.count * size_t(s.bits / 8)) {
        return Damaged(c, "its rows are shorter than its width");
    }
    const auto height = uint32_t(plane.height());
    for (uint32_t y = 0; y < height; ++y) {
        if (y % kRowsPerBand == 0 && y > 0) {
            progress.report(y, height);
            if (progress.cancelled()) {
                return Status::Cancelled();
            }
        }
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            return Damaged(c, "a row cannot be read");
        }
        Convert(s, reinterpret_cast<const uint8_t*>(line.data()), RowFromTop(plane, y), width);
    }
    return Status::Ok();
}

// The tiles' size, checked against the picture's, and the bytes of one tile and of its rows.
struct TileLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t bytes = 0;
    uint64_t rowBytes = 0;
};

Status CheckTiles(TIFF* tif, const Samples& s, uint32_t width, uint32_t height, const Complaints& c,
                  TileLayout& tiles) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tiles.width);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tiles.height);
    tiles.bytes = TIFFTileSize64(tif);
    tiles.rowBytes = TIFFTileRowSize64(tif);
    if (tiles.width == 0 || tiles.height == 0 || tiles.bytes == 0 ||
        tiles.rowBytes < uint64_t(tiles.width) * s.count * uint64_t(s.bits / 8) ||
        tiles.bytes < tiles.rowBytes * tiles.height) {
        return Damaged(c, "its tiles have no valid size");
    }
    // Tiles may reach past the picture, but by less than a tile: a few header bytes claiming
    // gigantic tiles for a small picture would otherwise cost that much memory before the
    // missing data is noticed.
    const auto tooLarge = [](uint32_t tile, uint32_t picture) {
        return tile > std::max<uint32_t>(picture, 1024) + 15;
    };
    if (tooLarge(tiles.width, width) || tooLarge(tiles.height, height)) {
        return Damaged(c, "tiles of " + std::to_string(tiles.width) + " x " +
                              std::to_string(tiles.height) + " pixels for a picture of " +
                              std::to_string(width) + " x " + std::to_string(height));
    }
    return Status::Ok();
}

// The helper threads read `fd`, the file `tif` reads.
Status ReadTiles(TIFF* tif, int fd, const Samples& s, PixelPlane& plane, Complaints& c, int planes,
                 const Progress& progress) {
    const uint32_t width = uint32_t(plane.width());
    const uint32_t height = uint32_t(plane.height());
    TileLayout layout;
    if (Status valid = CheckTiles(tif, s, width, height, c, layout); !valid) {
        return valid;
    }
    const uint32_t tileWidth = layout.width;
    const uint32_t tileHeight = layout.height;
    const uint64_t tileBytes = layout.bytes;
    const uint64_t rowBytes = layout.rowBytes;
    // A row of tiles at a time. Rows of tiles decode independently, so on a large picture
    // each thread takes the next undecoded row through a handle of its own (a libtiff handle
    // serves one thread); the rows land in their own plane rows, so the pixels are the same.
    const uint32_t across = (width - 1) / tileWidth + 1;
    const uint32_t tileRows = (height - 1) / tileHeight + 1;
    const uint64_t bufferBytes = tileBytes * across;
    const int threads =
        int(std::min<uint64_t>(ThreadsFor(size_t(width) * height, size_t(1) << 20), tileRows));
    const int32_t w = plane.width();
    const int32_t h = plane.height();
    if (Status fits = CheckBufferFits(bufferBytes * uint64_t(threads), w, h, planes); !fits) {
        return fits;
    }
    std::atomic<uint32_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<uint32_t> done{0};
    std::atomic<bool> cancelled{false};
    const auto count = size_t(threads);
    std::vector<Status> results(count, Status::Ok());
    std::vector<uint32_t> failedRow(count, UINT32_MAX);
    std::vector<Complaints> helpers(count);
    const auto readRows = [&](int t) {
        TIFF* handle = tif;
        Samples own = s;
        TiffSource source{fd};
        TiffFile opened;
        if (t > 0) {  // a helper that cannot open the file leaves its rows to the others
            helpers[size_t(t)].path = c.path;
            opened.reset(OpenTiff(source, helpers[size_t(t)]));
            if (!opened || !DirectSamples(opened.get(), own)) {
                return;
            }
            handle = opened.get();
        }
        std::vector<uint16_t> tiles;
        try {
            tiles.resize(size_t((bufferBytes + 1) / 2));
        } catch (const std::bad_alloc&) {
            if (t == 0) {
                results[0] = Status::Error(MemoryShortageMessage(w, h, planes + 1));
                failedRow[0] = 0;
                failed = true;
            }
            return;
        }
        auto* bytes = reinterpret_cast<uint8_t*>(tiles.data());
        for (uint32_t row; !failed && (row = next.fetch_add(1)) < tileRows;) {
            if (progress.cancelled()) {
                cancelled = true;
                failed = true;
                return;
            }
            const uint32_t y0 = row * tileHeight;
            for (uint32_t i = 0; i < across; ++i) {
                const uint32_t tile = TIFFComputeTile(handle, i * tileWidth, y0, 0, 0);
                if (TIFFReadEncodedTile(handle, tile, bytes + i * tileBytes, tmsize_t(tileBytes)) <
                    0) {
                    results[size_t(t)] =
                        Damaged(t == 0 ? c : helpers[size_t(t)], "a tile cannot be read");
                    failedRow[size_t(t)] = row;
                    failed = true;
                    return;
                }
            }
            const uint32_t rows = std::min(tileHeight, height - y0);
            for (uint32_t r = 0; r < rows; ++r) {
                uint32_t* out = RowFromTop(plane, y0 + r);
                for (uint32_t i = 0; i < across; ++i) {
                    const uint32_t x0 = i * tileWidth;
                    Convert(own, bytes + i * tileBytes + r * rowBytes, out + x0,
                            std::min(tileWidth, width - x0));
                }
            }
            progress.report(done.fetch_add(1) + 1, tileRows);
        }
    };
    RunOnThreads(threads, [&](int t) {
        try {
            readRows(t);
        } catch (const std::bad_alloc&) {  // rows this thread took may be missing
            results[size_t(t)] = Status::Error(MemoryShortageMessage(w, h, planes + 1));
            failedRow[size_t(t)] = 0;
            failed = true;
        }
    });
    if (cancelled) {
        return Status::Cancelled();
    }
    // Every row before a damaged one was taken, and so decoded, before it: the first damaged
    // row's reason is the one given, however the rows fell to the threads.
    const auto first = std::min_element(failedRow.begin(), failedRow.end()) - failedRow.begin();
    for (const Complaints& helper : helpers) {
        if (c.error.empty() && !helper.error.empty()) {
            c.error = helper.error;  // reported, yet the helper's tile came back: damaged too
        }
    }
    return results[size_t(first)];
}

// Every other kind libtiff can turn into RGBA, a strip or a row of tiles at a time. The
// interface hands back colours already over black (it premultiplies straight alpha).
Status ReadThroughRgba(TIFF* tif, PixelPlane& plane, const Complaints& c, int planes,
                       const Progress& progress) {
    char refusal[1024] = {};
    uint16_t bits = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    RoundColourMap(tif, bits);
    if (!TIFFRGBAImageOK(tif, refusal)) {
        return Status::Error(std::string("the TIFF picture is of a kind this program does not "
                                         "read (") +
                             refusal + ")");
    }
    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif, 0, refusal)) {
        return Damaged(c, refusal);
    }
    // Rows as stored, top first; the orientation is applied afterwards, for every kind alike.
    image.req_orientation = ORIENTATION_TOPLEFT;
    image.orientation = ORIENTATION_TOPLEFT;
    uint32_t chunk = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &chunk);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &chunk);
    }
    const uint32_t width = uint32_t(plane.width());
    const uint32_t height = uint32_t(plane.height());
    chunk = std::clamp<uint32_t>(chunk, 1, height);
    std::vector<uint32_t> raster;
    Status read =
        CheckBufferFits(uint64_t(width) * chunk * 4, plane.width(), plane.height(), planes);
    if (read) {
        try {
            raster.resize(size_t(width) * chunk);
        } catch (const std::bad_alloc&) {
            read = Status::Error(MemoryShortageMessage(plane.width(), plane.height(), planes + 1));
        }
    }
    for (uint32_t y0 = 0; read && y0 < height; y0 += chunk) {
        if (y0 > 0) {
            progress.report(y0, height);
            if (progress.cancelled()) {
                read = Status::Cancelled();
                break;
            }
        }
        const uint32_t rows = std::min(chunk, height - y0);
        image.row_offset = int(y0);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster.data(), width, rows)) {
            read = Damaged(c, "a strip cannot be read");
            break;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* in = raster.data() + size_t(r) * width;
            uint32_t* out = RowFromTop(plane, y0 + r);
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t abgr = in[x];
                out[x] = TIFFGetB(abgr) | TIFFGetG(abgr) << 8 | TIFFGetR(abgr) << 16;
            }
        }
    }
    TIFFRGBAImageEnd(&image);
    return read;
}

// The rows of a first page of the kinds converted here, stored upright, a block of rows at a
// time: a row (striped, top row first), a strip (striped, bottom row first: a compressed strip
// decodes only from its start) or a row of tiles.
// The most a band of tiled rows read at once may take as pixels.
constexpr uint64_t kTileRowsBytes = uint64_t(64) << 20;

class TiffRows final : public RowBands {
  public:
    TiffRows(int fd, const std::string& path, bool bottomFirst)
        : source_{fd}, bottomFirst_(bottomFirst) {
        complaints_.path = path;
    }

    // Null (and Ok) when the page is of a kind decoded whole.
    static Result<std::unique_ptr<RowBands>> Open(int fd, const std::string& path,
                                                  bool bottomFirst) {
        auto rows = std::make_unique<TiffRows>(fd, path, bottomFirst);
        if (Status opened = rows->start(); !opened) {
            return opened;
        }
        if (!rows->tif_) {
            return std::unique_ptr<RowBands>();
        }
        return std::unique_ptr<RowBands>(std::move(rows));
    }

    PictureSize size() const override { return {int32_t(width_), int32_t(height_)}; }

    Status read(int32_t count, uint32_t* out) override {
        const size_t width = size_t(width_);
        for (int32_t i = 0; i < count; ++i, ++served_) {
            const uint32_t top = bottomFirst_ ? height_ - 1 - served_ : served_;
            const uint32_t block = top / blockHeight_;
            if (block != loaded_) {
                if (Status filled = load(block); !filled) {
                    return filled;
                }
                loaded_ = block;
            }
            const uint32_t* row = rows_.data() + size_t(top - block * blockHeight_) * width;
            std::copy(row, row + width, out + size_t(i) * width);
        }
        // An error libtiff reported means damaged data even where it carried on.
        return complaints_.error.empty() ? Status::Ok() : Damaged(complaints_, "");
    }

  private:
    Status start() {
        tif_.reset(OpenTiff(source_, complaints_));
        if (!tif_) {
            return Damaged(complaints_, "its first directory cannot be read");
        }
        TIFF* tif = tif_.get();
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width_);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height_);
        if (width_ == 0 || height_ == 0 || width_ > INT32_MAX || height_ > INT32_MAX - 1) {
            return Status::Error("its header gives no valid picture size");
        }
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        if ((orientation >= 2 && orientation <= 8) || !DirectSamples(tif, samples_)) {
            tif_.reset();
            return Status::Ok();
        }
        uint64_t bufferBytes = 0;
        if (TIFFIsTiled(tif)) {
            if (Status valid = CheckTiles(tif, samples_, width_, height_, complaints_, tiles_);
                !valid) {
                return valid;
            }
            // Several rows of tiles at once, each through a handle of its own, as the whole
            // decode reads them: a handle that cannot be opened leaves its rows to the first.
            const uint32_t tileRows = (height_ - 1) / tiles_.height + 1;
            const int threads = int(std::min<uint64_t>(
                ThreadsFor(size_t(width_) * height_, size_t(1) << 20), tileRows));
            helpers_.resize(size_t(threads));
            for (size_t t = 1; t < helpers_.size(); ++t) {
                helpers_[t].complaints.path = path();
                helpers_[t].source.fd = source_.fd;
                helpers_[t].tif.reset(OpenTiff(helpers_[t].source, helpers_[t].complaints));
                Samples own;
                if (!helpers_[t].tif || !DirectSamples(helpers_[t].tif.get(), own)) {
                    helpers_[t].tif.reset();
                }
            }
            // Twice as many rows of tiles as handles, while they take little memory, so that
            // a handle that is slowed (the cores are shared with the conversion and the
            // encoder) holds the others up less.
            const uint64_t rowOfTilesBytes = uint64_t(tiles_.height) * width_ * 4;
            tileRowsAtOnce_ = uint32_t(std::min<uint64_t>(
                tileRows, rowOfTilesBytes * 2 * uint64_t(threads) <= kTileRowsBytes
                              ? 2 * uint64_t(threads)
                              : uint64_t(threads)));
            blockHeight_ = tiles_.height * tileRowsAtOnce_;
            bufferBytes = tiles_.bytes * ((width_ - 1) / tiles_.width + 1) * tileRowsAtOnce_;
        } else {
            const uint64_t lineBytes = TIFFScanlineSize64(tif);
            // Rounded up to 16-bit units, as the whole decode's row buffer is.
            if ((lineBytes + 1) / 2 * 2 < width_ * samples_.count * uint64_t(samples_.bits / 8)) {
                return Damaged(complaints_, "its rows are shorter than its width");
            }
            uint32_t rowsPerStrip = height_;
            TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            blockHeight_ = bottomFirst_ ? std::clamp<uint32_t>(rowsPerStrip, 1, height_) : 1;
            bufferBytes = bottomFirst_ ? TIFFStripSize64(tif) : lineBytes;
            if (bufferBytes < lineBytes * blockHeight_) {
                return Damaged(complaints_, "its strips are shorter than their rows");
            }
        }
        const uint32_t blockRows = std::min(blockHeight_, height_);
        if (Status fits = CheckBufferFits(bufferBytes + uint64_t(blockRows) * width_ * 4, 0, 0, 0);
            !fits) {
            return Status::Error("there is not enough memory to read it in bands");
        }
        raw_.resize(size_t((bufferBytes + 1) / 2));
        rows_.resize(size_t(blockRows) * width_);
        return Status::Ok();
    }

    // Picture rows [block x blockHeight_, ...) as plane pixels into rows_.
    Status load(uint32_t block) {
        TIFF* tif = tif_.get();
        auto* bytes = reinterpret_cast<uint8_t*>(raw_.data());
        const uint32_t y0 = block * blockHeight_;
        const uint32_t rows = std::min(blockHeight_, height_ - y0);
        if (TIFFIsTiled(tif)) {
            return loadTileRows(y0, rows, bytes);
        }
        if (!bottomFirst_) {
            if (TIFFReadScanline(tif, raw_.data(), y0, 0) < 0) {
                return Damaged(complaints_, "a row cannot be read");
            }
            Convert(samples_, bytes, rows_.data(), width_);
            return Status::Ok();
        }
        const uint32_t strip = TIFFComputeStrip(tif, y0, 0);
        const tmsize_t lineBytes = TIFFScanlineSize(tif);
        if (TIFFReadEncodedStrip(tif, strip, bytes, lineBytes * tmsize_t(rows)) <
            lineBytes * tmsize_t(rows)) {
            return Damaged(complaints_, "a strip cannot be read");
        }
        for (uint32_t r = 0; r < rows; ++r) {
            Convert(samples_, bytes + size_t(r) * size_t(lineBytes),
                    rows_.data() + size_t(r) * width_, width_);
        }
        return Status::Ok();
    }

    // Rows [y0, y0 + rows) of a tiled picture, a row of tiles per handle at once. The first
    // damaged row of tiles gives the reason, however the rows fell to the handles.
    Status loadTileRows(uint32_t y0, uint32_t rows, uint8_t* bytes) {
        const uint32_t across = (width_ - 1) / tiles_.width + 1;
        const uint32_t count = (rows - 1) / tiles_.height + 1;
        const uint64_t rowOfTiles = tiles_.bytes * across;
        std::vector<Status> results(count, Status::Ok());
        std::atomic<uint32_t> next{0};
        RunOnThreads(int(std::min<size_t>(helpers_.size(), count)), [&](int t) {
            TIFF* handle = t == 0 ? tif_.get() : helpers_[size_t(t)].tif.get();
            Complaints& said = t == 0 ? complaints_ : helpers_[size_t(t)].complaints;
            if (handle == nullptr) {
                return;  // its rows go to the first handle
            }
            for (uint32_t k; (k = next.fetch_add(1)) < count;) {
                const uint32_t top = y0 + k * tiles_.height;
                uint8_t* tilesAt = bytes + k * rowOfTiles;
                for (uint32_t i = 0; i < across; ++i) {
                    const uint32_t tile = TIFFComputeTile(handle, i * tiles_.width, top, 0, 0);
                    if (TIFFReadEncodedTile(handle, tile, tilesAt + i * tiles_.bytes,
                                            tmsize_t(tiles_.bytes)) < 0) {
                        results[k] = Damaged(said, "a tile cannot be read");
                        break;
                    }
                }
                const uint32_t tileRows = std::min(tiles_.height, y0 + rows - top);
                for (uint32_t r = 0; results[k] && r < tileRows; ++r) {
                    uint32_t* out = rows_.data() + size_t(top - y0 + r) * width_;
                    for (uint32_t i = 0; i < across; ++i) {
                        const uint32_t x0 = i * tiles_.width;
                        Convert(samples_, tilesAt + i * tiles_.bytes + r * tiles_.rowBytes,
                                out + x0, std::min(tiles_.width, width_ - x0));
                    }
                }
            }
        });
        for (const Helper& helper : helpers_) {
            if (complaints_.error.empty() && !helper.complaints.error.empty()) {
                complaints_.error = helper.complaints.error;  // damaged even if read
            }
        }
        for (const Status& result : results) {
            if (!result) {
                return result;
            }
        }
        return Status::Ok();
    }

    const std::string& path() const { return complaints_.path; }

    // A handle of its own, with its own place in the file and its own complaints.
    struct Helper {
        Complaints complaints;
        TiffSource source;
        TiffFile tif;
    };

    Complaints complaints_;
    TiffSource source_;
    TiffFile tif_;
    std::vector<Helper> helpers_;  // [0] unused: the first handle is tif_
    uint32_t tileRowsAtOnce_ = 1;
    bool bottomFirst_;
    Samples samples_;
    TileLayout tiles_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t blockHeight_ = 1;
    uint32_t loaded_ = UINT32_MAX;
    uint32_t served_ = 0;
    std::vector<uint16_t> raw_;  // 16-bit units, so that 16-bit samples are aligned
    std::vector<uint32_t> rows_;
};

}  // namespace

Result<PictureSize> PeekTiffSize(int fd, const std::string& path) {
    Complaints complaints;
    complaints.path = path;
    TiffSource source{fd};
    const TiffFile tif(OpenTiff(source, complaints));
    uint32_t width = 0, height = 0;
    if (tif) {
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    }
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX - 1) {
        return Status::Error("the size of \"" + path + "\" cannot be told");
    }
    return PictureSize{int32_t(width), int32_t(height)};
}

Status DecodeTiffFile(int fd, const std::string& path, PixelPlane& plane,
                      const Progress& progress) {
    Complaints complaints;
    complaints.path = path;
    TiffSource source{fd};
    const TiffFile tif(OpenTiff(source, complaints));
    if (!tif) {
        return Damaged(complaints, "its first directory cannot be read");
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX - 1) {
        return Status::Error("its header gives no valid picture size");
    }
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    // Two planes when the picture must be turned upright afterwards.
    const int planes = orientation >= 2 && orientation <= 8 ? 2 : 1;
    if (Status fits = CheckPlanesFit(int32_t(width), int32_t(height), planes); !fits) {
        return fits;
    }
    PixelPlane decoded;
    if (Status allocated = decoded.allocate(int32_t(width), int32_t(height)); !allocated) {
        return allocated;
    }
    Status read = Status::Ok();
    {
        const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
        Samples samples;
        if (!DirectSamples(tif.get(), samples)) {
            read = ReadThroughRgba(tif.get(), decoded, complaints, planes, progress);
        } else if (TIFFIsTiled(tif.get())) {
            read = ReadTiles(tif.get(), fd, samples, decoded, complaints, planes, progress);
        } else {
            read = ReadStrips(tif.get(), samples, decoded, complaints, progress);
        }
    }
    // An error libtiff reported means damaged data even where it filled in what it could not
    // read and carried on; such a picture is refused.
    if (read && !complaints.error.empty()) {
        read = Damaged(complaints, "");
    }
    if (!read) {
        return read;
    }
    return InstallUpright(std::move(decoded), orientation, plane);
}

Result<std::unique_ptr<RowBands>> OpenTiffRows(int fd, const std::string& path, bool bottomFirst) {
    return TiffRows::Open(fd, path, bottomFirst);
}

Status DecodeTiffFile(const std::string& path, PixelPlane& plane) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Status::Error("the TIFF data is damaged (" + std::string(std::strerror(errno)) +
                             ")");
    }
    const Status decoded = DecodeTiffFile(fd, path, plane);
    close(fd);
    return decoded;
}

}  // namespace k3v
