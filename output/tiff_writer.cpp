#include "output/tiff_writer.h"

#include <libdeflate.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "base/thread_runner.h"

namespace k3v {

namespace {

constexpr uint64_t kTileBytes = uint64_t(kTiffTileSize) * kTiffTileSize * 3;

uint64_t TilesAlong(int64_t pixels) {
    return (uint64_t(pixels) + kTiffTileSize - 1) / kTiffTileSize;
}

// The most one coded tile can take. LZW codes are at most 12 bits and each stands for at least
// one byte, so a tile grows by half at worst, plus its clear and end codes. Deflate stores what
// it cannot compress in blocks of a few bytes' overhead, far below a 1/1024 share (zlib's
// deflateBound, and libdeflate's, which checks it below).
uint64_t WorstTileBytes(TiffCompression compression) {
    switch (compression) {
        case TiffCompression::Lzw:
            return kTileBytes + kTileBytes / 2 + kTileBytes / 256 + 16;
        case TiffCompression::Deflate:
            return kTileBytes + kTileBytes / 1024 + 64;
        case TiffCompression::None:
            break;
    }
    return kTileBytes;
}

// libtiff's complaints about the file being written, caught through its per-file handlers
// (other threads write other files at the same time) instead of its default print to stderr.
struct Complaint {
    std::string text;
};

int OnError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    try {
        auto* complaint = static_cast<Complaint*>(user);
        complaint->text = text;
        while (!complaint->text.empty() &&
               (complaint->text.back() == '.' || complaint->text.back() == '\n')) {
            complaint->text.pop_back();
        }
    } catch (...) {  // libtiff's C code must not see an exception; the failure is still told
    }
    return 1;  // handled: nothing reaches stderr
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;  // a warning leaves the file valid; it is dropped
}

// libtiff writes through these procedures into the safe writer's temporary file: at its end
// by appending, before it (the header's directory offset, at the end) by overwriting.
struct TiffSink {
    SafeFileWriter* file = nullptr;
    uint64_t position = 0;
};

TiffSink& SinkOf(thandle_t handle) {
    return *static_cast<TiffSink*>(handle);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffSink& sink = SinkOf(handle);
    if (size < 0) {
        errno = EINVAL;
        return -1;
    }
    SafeFileWriter& file = *sink.file;
    if (file.failed()) {
        return size;  // nothing more reaches the file; finish() reports why
    }
    // A directory starts on an even offset, which may lie a byte past the end.
    static constexpr uint8_t kZeros[16] = {};
    while (sink.position > file.size() && !file.failed()) {
        file.write(kZeros, size_t(std::min<uint64_t>(sizeof kZeros, sink.position - file.size())));
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    auto count = uint64_t(size);
    if (sink.position < file.size()) {
        const uint64_t inside = std::min(count, file.size() - sink.position);
        file.overwrite(sink.position, {bytes, size_t(inside)});
        bytes += inside;
        count -= inside;
        sink.position += inside;
    }
    file.write(bytes, size_t(count));
    sink.position += count;
    return size;
}

tmsize_t ReadProc(thandle_t, void*, tmsize_t) {
    errno = EBADF;  // a new file is only written
    return -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffSink& sink = SinkOf(handle);
    const auto step = int64_t(offset);  // libtiff passes a step back as its two's complement
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = int64_t(sink.position);
    } else if (whence == SEEK_END) {
        base = int64_t(sink.file->size());
    } else if (whence != SEEK_SET) {
        errno = EINVAL;
        return toff_t(-1);
    }
    if (base + step < 0) {
        errno = EINVAL;
        return toff_t(-1);
    }
    sink.position = uint64_t(base + step);
    return sink.position;
}

int CloseProc(thandle_t) {
    return 0;  // the safe writer closes its file
}

toff_t SizeProc(thandle_t handle) {
    return SinkOf(handle).file->size();
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;  // never mapped
}

void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's own reason, when it gave one.
Status EncoderFailure(const std::string& path, const Complaint& complaint) {
    return CannotWrite(
        path, complaint.text.empty() ? "the picture did not encode as TIFF" : complaint.text);
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

TiffFile OpenForWriting(const std::string& path, bool big, TiffSink& sink, Complaint& complaint) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &complaint);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    TIFF* tif = TIFFClientOpenExt(path.c_str(), big ? "w8l" : "wl", &sink, ReadProc, WriteProc,
                                  SeekProc, CloseProc, SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return TiffFile(tif);
}

bool SetTags(TIFF* tif, const TiffRows& rows, const TiffOptions& options) {
    static constexpr uint16_t kCompressions[] = {COMPRESSION_NONE, COMPRESSION_LZW,
                                                 COMPRESSION_ADOBE_DEFLATE};
    const uint16_t compression = kCompressions[int(options.compression)];
    bool set = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(rows.width)) &&
               TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(rows.height)) &&
               TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
               TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
               TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
               TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
               TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
               TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTiffTileSize) &&
               TIFFSetField(tif, TIFFTAG_TILELENGTH, kTiffTileSize) &&
               TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (set && compression != COMPRESSION_NONE) {
        set = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (set && !options.iccProfile.empty()) {
        set = TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(options.iccProfile.size()),
                           options.iccProfile.data());
    }
    return set;
}

// Fills a row of tiles from the picture's rows `top` on (counted from the top), each tile's
// bytes together: the tile of columns 256c.. starts at band[c * kTileBytes]. Rows below the
// picture are black; the columns right of it stay black from the start. The rows are read in
// the picture's order: from the top, or from the bottom.
void FillBand(const TiffRows& rows, int64_t top, std::vector<uint32_t>& row,
              std::vector<uint8_t>& band) {
    const auto width = size_t(rows.width);
    const bool topFirst = rows.order == RowOrder::TopFirst;
    for (uint32_t i = 0; i < kTiffTileSize; ++i) {
        const uint32_t ty = topFirst ? i : kTiffTileSize - 1 - i;
        uint8_t* tileRow = band.data() + size_t(ty) * kTiffTileSize * 3;
        if (top + ty >= rows.height) {
            for (size_t x = 0; x < width; x += kTiffTileSize) {
                std::memset(tileRow + x / kTiffTileSize * kTileBytes, 0, kTiffTileSize * 3);
            }
            continue;
        }
        rows.readRow(int32_t(rows.height - 1 - (top + ty)), row.data());
        for (size_t x = 0; x < width; ++x) {
            const uint32_t pixel = row[x];
            uint8_t* out =
                tileRow + x / kTiffTileSize * kTileBytes + (x % kTiffTileSize) * size_t(3);
            out[0] = uint8_t(pixel >> 16);
            out[1] = uint8_t(pixel >> 8);
            out[2] = uint8_t(pixel);
        }
    }
}

// libdeflate's level: about zlib's default ratio at a third of its time.
constexpr int kDeflateLevel = 6;

struct CompressorFree {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

// Deflate tiles are coded here, a row of tiles at a time on every core, and handed to libtiff
// as they are: its own codec works on one thread. Each tile is coded as libtiff would: each
// row of it differenced (predictor 2, a byte minus the same sample of the pixel before it),
// then a zlib stream.
class TileDeflater {
  public:
    explicit TileDeflater(uint64_t across) : coded_(across) {}

    // Codes tiles [0, across) of `band`; false when memory runs out (or a tile would not fit
    // its bound, which cannot be).
    bool code(const std::vector<uint8_t>& band) {
        const size_t bound = std::max<size_t>(WorstTileBytes(TiffCompression::Deflate),
                                              libdeflate_zlib_compress_bound(nullptr, kTileBytes));
        std::atomic<bool> failed{false};
        ParallelRanges(
            coded_.size(), ThreadsFor(coded_.size() * kTileBytes, kTileBytes),
            [&](size_t begin, size_t end) {
                std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(
                    libdeflate_alloc_compressor(kDeflateLevel));
                std::vector<uint8_t> differenced(kTileBytes);
                for (size_t c = begin; c < end && compressor; ++c) {
                    Difference(band.data() + c * kTileBytes, differenced.data());
                    coded_[c].resize(bound);
                    coded_[c].resize(libdeflate_zlib_compress(compressor.get(), differenced.data(),
                                                              kTileBytes, coded_[c].data(), bound));
                }
                if (!compressor ||
                    std::any_of(coded_.begin() + ptrdiff_t(begin), coded_.begin() + ptrdiff_t(end),
                                [](const auto& tile) { return tile.empty(); })) {
                    failed = true;
                }
            });
        return !failed;
    }

    const std::vector<uint8_t>& tile(uint64_t c) const { return coded_[c]; }

  private:
    static void Difference(const uint8_t* tile, uint8_t* out) {
        constexpr size_t kRowBytes = size_t(kTiffTileSize) * 3;
        for (size_t row = 0; row < kTiffTileSize; ++row) {
            const uint8_t* in = tile + row * kRowBytes;
            uint8_t* to = out + row * kRowBytes;
            std::copy(in, in + 3, to);
            for (size_t i = 3; i < kRowBytes; ++i) {
                to[i] = uint8_t(in[i] - in[i - 3]);
            }
        }
    }

    std::vector<std::vector<uint8_t>> coded_;
};

Status WriteTiles(TIFF* tif, const std::string& path, const TiffRows& rows,
                  TiffCompression compression, SafeFileWriter& file, const Complaint& complaint,
                  const Progress& progress) {
    const uint64_t across = TilesAlong(rows.width);
    std::vector<uint32_t> row(size_t(rows.width));
    std::vector<uint8_t> band(size_t(across * kTileBytes));
    std::optional<TileDeflater> deflater;
    if (compression == TiffCompression::Deflate) {
        deflater.emplace(across);
    }
    // Tiles may be written in any order: each one's place is in the directory.
    const uint64_t down = TilesAlong(rows.height);
    for (uint64_t i = 0; i < down; ++i) {
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        if (file.failed()) {
            return Status::Ok();  // finish() says why
        }
        const uint64_t tileRow = rows.order == RowOrder::TopFirst ? i : down - 1 - i;
        const auto top = int64_t(tileRow * kTiffTileSize);
        FillBand(rows, top, row, band);
        if (deflater && !deflater->code(band)) {
            throw std::bad_alloc();
        }
        for (uint64_t c = 0; c < across; ++c) {
            const auto tile = uint32_t(tileRow * across + c);
            const tmsize_t written =
                deflater
                    ? TIFFWriteRawTile(tif, tile, const_cast<uint8_t*>(deflater->tile(c).data()),
                                       tmsize_t(deflater->tile(c).size()))
                    : TIFFWriteEncodedTile(tif, tile, band.data() + c * kTileBytes,
                                           tmsize_t(kTileBytes));
            if (written < 0) {
                return EncoderFailure(path, complaint);
            }
        }
        progress.report(std::min<uint64_t>((i + 1) * kTiffTileSize, uint64_t(rows.height)),
                        uint64_t(rows.height));
    }
    return Status::Ok();
}

}  // namespace

bool NeedsBigTiff(int64_t width, int64_t height, TiffCompression compression, uint64_t extraBytes) {
    const uint64_t tiles = TilesAlong(width) * TilesAlong(height);
    // Each tile's offset and byte count (8 bytes each, as in a BigTIFF), the header, the
    // directory's entries and their values.
    const uint64_t directory = tiles * 16 + 4096;
    const uint64_t most = tiles * WorstTileBytes(compression) + directory + extraBytes;
    return most > std::numeric_limits<uint32_t>::max();
}

Status EncodeTiffFile(const std::string& path, const TiffRows& rows, const TiffOptions& options,
                      SafeFileWriter& file, const Progress& progress) {
    if (rows.width < 1 || rows.height < 1 || rows.width > std::numeric_limits<uint32_t>::max() ||
        rows.height > std::numeric_limits<int32_t>::max()) {
        return CannotWrite(path, "a picture of " + std::to_string(rows.width) + " x " +
                                     std::to_string(rows.height) + " pixels cannot be a TIFF file");
    }
    try {
        TiffSink sink{&file, 0};  // the file was just opened
        Complaint complaint;
        const bool big =
            NeedsBigTiff(rows.width, rows.height, options.compression, options.iccProfile.size());
        const TiffFile tif = OpenForWriting(path, big, sink, complaint);
        if (!tif || !SetTags(tif.get(), rows, options)) {
            return EncoderFailure(path, complaint);
        }
        if (Status written =
                WriteTiles(tif.get(), path, rows, options.compression, file, complaint, progress);
            !written || file.failed()) {
            return written;
        }
        if (!TIFFWriteDirectory(tif.get())) {
            return EncoderFailure(path, complaint);
        }
        return Status::Ok();
    } catch (const std::bad_alloc&) {
        return CannotWrite(path, "there is not enough memory to encode it");
    }
}

}  // namespace k3v
