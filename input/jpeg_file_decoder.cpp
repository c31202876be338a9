#include "input/jpeg_file_decoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "base/memory_probe.h"
#include "input/exif_orientation.h"
#include "input/page_prefault.h"

namespace k3v {

namespace {

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to the
// stage that started the work. Only plain data lives in the frames it jumps over.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ExitWithError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (level -1) mean damaged data; the file is refused rather than half converted.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        ExitWithError(cinfo);
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    int orientation = 1;
    bool cmyk = false;
};

bool ReadHeader(Decoder& d, std::FILE* file) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_stdio_src(&d.cinfo, file);
    jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&d.cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            d.orientation = ExifOrientation(m->data, m->data_length);
            if (d.orientation != 1) {
                break;
            }
        }
    }
    d.cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
    d.cinfo.out_color_space = d.cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Adobe CMYK files store inverted inks; either way the colour is ink times black.
uint32_t CmykToPixel(const uint8_t* cmyk, bool inverted) {
    const uint32_t c = inverted ? cmyk[0] : 255u - cmyk[0];
    const uint32_t m = inverted ? cmyk[1] : 255u - cmyk[1];
    const uint32_t y = inverted ? cmyk[2] : 255u - cmyk[2];
    const uint32_t k = inverted ? cmyk[3] : 255u - cmyk[3];
    const uint32_t r = (c * k + 127) / 255;
    const uint32_t g = (m * k + 127) / 255;
    const uint32_t b = (y * k + 127) / 255;
    return b | g << 8 | r << 16;
}

bool ReadPixels(Decoder& d, PixelPlane& plane) {
    if (setjmp(d.errors.jump) != 0) {
        return false;
    }
    jpeg_start_decompress(&d.cinfo);
    const int32_t height = plane.height();
    const size_t width = size_t(plane.width());
    // A CMYK row needs room for four bytes per pixel, which a plane row has.
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int32_t top = int32_t(d.cinfo.output_scanline);
        uint32_t* row = plane.row(height - 1 - top);
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
        jpeg_read_scanlines(&d.cinfo, rows, 1);
        if (d.cmyk) {
            const bool inverted = d.cinfo.saw_Adobe_marker != 0;
            const auto* bytes = reinterpret_cast<const uint8_t*>(row);
            for (size_t x = 0; x < width; ++x) {
                row[x] = CmykToPixel(bytes + 4 * x, inverted);
            }
        } else {
            for (size_t x = 0; x < width; ++x) {
                row[x] &= 0x00FFFFFFu;  // the fourth byte carries no meaning; keep it zero
            }
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

}  // namespace

Status DecodeJpegFile(std::FILE* file, PixelPlane& plane) {
    Decoder d;
    d.cinfo.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = ExitWithError;
    d.errors.base.emit_message = EmitMessage;
    d.errors.message[0] = '\0';
    jpeg_create_decompress(&d.cinfo);

    bool ok = ReadHeader(d, file);
    std::string reason;
    PixelPlane decoded;
    if (ok) {
        const JDIMENSION w = d.cinfo.output_width;
        const JDIMENSION h = d.cinfo.output_height;
        // Two planes when the picture must be turned upright afterwards.
        Status fits = CheckPlanesFit(int32_t(w), int32_t(h), d.orientation == 1 ? 1 : 2);
        if (fits) {
            fits = decoded.allocate(int32_t(w), int32_t(h));
        }
        if (!fits) {
            reason = fits.message();
            ok = false;
        } else {
            // Outside ReadPixels, whose frame an error jumps across without destructors.
            const PagePrefault prefault(decoded.data(), decoded.storedCount() * sizeof(uint32_t));
            ok = ReadPixels(d, decoded);
        }
    }
    if (!ok && reason.empty()) {
        reason = d.errors.message[0] != '\0' ? d.errors.message : "the JPEG data is damaged";
    }
    jpeg_destroy_decompress(&d.cinfo);
    if (!ok) {
        return Status::Error(reason);
    }
    return InstallUpright(std::move(decoded), d.orientation, plane);
}

}  // namespace k3v
