#include "input/png_file_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/memory_probe.h"
#include "base/progress.h"
#include "input/exif_orientation.h"
#include "input/page_prefault.h"
#include "input/pixel_conversion.h"

namespace k3v {

namespace {

// libpng reports an error by calling OnError, which jumps back to the stage that started the
// work (png_jmpbuf). Only plain data lives in the frames it jumps over.
struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char error[256] = {};
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;
    int kind = 0;
    int passes = 1;
    const Progress* progress = nullptr;
    bool cancelled = false;
};

// Progress is reported, and a cancel looked for, every this many rows of a pass.
constexpr int32_t kRowsPerBand = 16;

void OnError(png_structp png, png_const_charp text) {
    auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
    std::snprintf(reader->error, sizeof reader->error, "%s", text);
    png_longjmp(png, 1);
}

// Warnings are about ancillary data (a damaged text chunk, an odd colour profile) that the
// pixels do not need; the file still loads, as it always has.
void OnWarning(png_structp, png_const_charp) {}

// The header up to the first pixels: the size and the colour type.
bool ReadHeader(Reader& r, std::FILE* file) {
    if (setjmp(png_jmpbuf(r.png)) != 0) {
        return false;
    }
    png_init_io(r.png, file);
    // The size limit is ours (the memory check), not libpng's default of a million pixels.
    png_set_user_limits(r.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(r.png, r.info);
    png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.depth, &r.kind, nullptr, nullptr, nullptr);
    return true;
}

// Asks libpng for 8-bit BGRA whatever the file holds: palettes and grey expanded, a
// transparent colour turned into alpha, 16-bit samples rounded to nearest, opaque kinds
// given an alpha of 255. libpng allocates its row buffers here, so the picture's size has
// been checked before.
bool SetUpTransforms(Reader& r) {
    if (setjmp(png_jmpbuf(r.png)) != 0) {
        return false;
    }
    const int depth = r.depth;
    const int kind = r.kind;
    if (kind == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(r.png);
    }
    if ((kind & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) {
        png_set_expand_gray_1_2_4_to_8(r.png);
    }
    const bool transparentColour = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
    if (transparentColour) {
        png_set_tRNS_to_alpha(r.png);
    }
    if (depth == 16) {
        png_set_scale_16(r.png);  // (v x 255 + 32895) >> 16: v / 257 rounded to nearest
    }
    if ((kind & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(r.png);
    }
    png_set_bgr(r.png);
    if ((kind & PNG_COLOR_MASK_ALPHA) == 0 && !transparentColour) {
        png_set_filler(r.png, 0xFF, PNG_FILLER_AFTER);
    }
    r.passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    return png_get_rowbytes(r.png, r.info) == size_t(r.width) * 4;
}

// Straight BGRA in place to plane pixels over black.
void CompositeRow(uint32_t* row, size_t width) {
    for (size_t x = 0; x < width; ++x) {
        const uint32_t p = row[x];
        row[x] = p >= 0xFF000000u ? p & 0x00FFFFFFu
                                  : OverBlack(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24);
    }
}

bool ReadPixels(Reader& r, PixelPlane& plane) {
    if (setjmp(png_jmpbuf(r.png)) != 0) {
        return false;
    }
    const int32_t height = plane.height();
    const size_t width = size_t(plane.width());
    // Interlaced files fill each row over seven passes, so the rows are composited at the end.
    const uint64_t rows = uint64_t(r.passes) * uint64_t(height);
    for (int pass = 0; pass < r.passes; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
            if (y % kRowsPerBand == 0 && (pass > 0 || y > 0)) {
                r.progress->report(uint64_t(pass) * uint64_t(height) + uint64_t(y), rows);
                if (r.progress->cancelled()) {
                    r.cancelled = true;
                    return false;
                }
            }
            uint32_t* row = plane.row(height - 1 - y);
            png_read_row(r.png, reinterpret_cast<png_bytep>(row), nullptr);
            if (r.passes == 1) {
                CompositeRow(row, width);
            }
        }
    }
    if (r.passes > 1) {
        for (int32_t y = 0; y < height; ++y) {
            CompositeRow(plane.row(y), width);
        }
    }
    // The rest of the file: a stream cut off after the pixels is refused as well.
    png_read_end(r.png, r.info);
    return true;
}

// The orientation from an eXIf chunk (a bare TIFF block), read where ExifOrientation reads
// a JPEG's APP1 body.
int PngOrientation(const Reader& r) {
    png_uint_32 length = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(r.png, r.info, &length, &exif) == 0 || exif == nullptr) {
        return 1;
    }
    std::vector<uint8_t> app1 = {'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), exif, exif + length);
    return ExifOrientation(app1.data(), app1.size());
}

std::string Reason(const char* error) {
    const std::string text = error;
    if (text.empty()) {
        return "the PNG data is damaged";
    }
    // libpng's "Read Error" means the stream ended early.
    return text == "Read Error" ? "the PNG file is cut short"
                                : "the PNG data is damaged (" + text + ")";
}

// The next `count` rows into `out`; after the last one the rest of the file is read, as a
// whole decode reads it.
bool ReadNextRows(Reader& r, int32_t count, uint32_t* out, bool last) {
    if (setjmp(png_jmpbuf(r.png)) != 0) {
        return false;
    }
    const size_t width = r.width;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t* row = out + size_t(i) * width;
        png_read_row(r.png, reinterpret_cast<png_bytep>(row), nullptr);
        CompositeRow(row, width);
    }
    if (last) {
        png_read_end(r.png, r.info);
    }
    return true;
}

// A file stored without interlacing and upright, top row first.
class PngRows final : public RowBands {
  public:
    explicit PngRows(OwnedStream file) : file_(std::move(file)) {}
    ~PngRows() override { png_destroy_read_struct(&r_.png, &r_.info, nullptr); }

    // Null (and Ok) when the file is to be decoded whole.
    static Result<std::unique_ptr<RowBands>> Open(OwnedStream file) {
        auto rows = std::make_unique<PngRows>(std::move(file));
        Reader& r = rows->r_;
        r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnError, OnWarning);
        if (r.png != nullptr) {
            r.info = png_create_info_struct(r.png);
        }
        if (r.info == nullptr) {
            return Status::Error("there is not enough memory to open it");
        }
        if (!ReadHeader(r, rows->file_.get())) {
            return Status::Error(Reason(r.error));
        }
        if (r.width == 0 || r.height == 0 || r.width > INT32_MAX || r.height > INT32_MAX - 1) {
            return Status::Error("its header gives no valid picture size");
        }
        if (png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE || PngOrientation(r) != 1) {
            return std::unique_ptr<RowBands>();
        }
        if (!SetUpTransforms(r)) {
            return Status::Error(Reason(r.error));
        }
        return std::unique_ptr<RowBands>(std::move(rows));
    }

    PictureSize size() const override { return {int32_t(r_.width), int32_t(r_.height)}; }

    Status read(int32_t count, uint32_t* out) override {
        rowsRead_ += count;
        const bool last = rowsRead_ == int64_t(r_.height);
        if (failed_ || !ReadNextRows(r_, count, out, last)) {
            failed_ = true;
            return Status::Error(Reason(r_.error));
        }
        // An eXIf chunk after the pixels would have turned the picture: its rows came in the
        // wrong order.
        if (last && PngOrientation(r_) != 1) {
            failed_ = true;
            return Status::Error(
                "its orientation comes after its pixels, so it cannot be read "
                "in bands");
        }
        return Status::Ok();
    }

  private:
    OwnedStream file_;
    Reader r_;
    int64_t rowsRead_ = 0;
    bool failed_ = false;
};

}  // namespace

Status DecodePngFile(std::FILE* file, PixelPlane& plane, const Progress& progress) {
    Reader r;
    r.progress = &progress;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnError, OnWarning);
    if (r.png != nullptr) {
        r.info = png_create_info_struct(r.png);
    }
    if (r.info == nullptr) {
        png_destroy_read_struct(&r.png, nullptr, nullptr);
        return Status::Error("there is not enough memory to open it");
    }
    Status read = Status::Ok();
    PixelPlane decoded;
    int orientation = 1;
    if (!ReadHeader(r, file)) {
        read = Status::Error(Reason(r.error));
    } else if (r.width == 0 || r.height == 0 || r.width > INT32_MAX || r.height > INT32_MAX - 1) {
        read = Status::Error("its header gives no valid picture size");
    } else {
        orientation = PngOrientation(r);
        // Two planes when the picture must be turned upright afterwards.
        read = CheckPlanesFit(int32_t(r.width), int32_t(r.height), orientation == 1 ? 1 : 2);
        if (read && !SetUpTransforms(r)) {
            read = Status::Error(Reason(r.error));
        }
        if (read) {
            read = decoded.allocate(int32_t(r.width), int32_t(r.height));
        }
        if (read) {
            // Outside ReadPixels, whose frame an error jumps across without destructors.
            const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
            if (!ReadPixels(r, decoded)) {
                read = r.cancelled ? Status::Cancelled() : Status::Error(Reason(r.error));
            }
        }
        if (read && orientation == 1) {
            orientation = PngOrientation(r);  // an eXIf chunk after the pixels
        }
    }
    png_destroy_read_struct(&r.png, &r.info, nullptr);
    if (!read) {
        return read;
    }
    return InstallUpright(std::move(decoded), orientation, plane);
}

}  // namespace k3v

namespace k3v {

Result<std::unique_ptr<RowBands>> OpenPngRows(OwnedStream file) {
    return PngRows::Open(std::move(file));
}

}  // namespace k3v
