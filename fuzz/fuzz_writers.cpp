// Both file writers on any small stereo image: the BMP file must be exactly the header and
// the output picture's rows; the JPEG encoder must accept the picture, and libjpeg must
// decode its file, without a single warning, to the same size.

#include <unistd.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "fuzz/fuzz_input.h"
#include "input/tiff_file_decoder.h"
#include "output/bmp_writer.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/output_picture.h"
#include "output/output_target.h"
#include "output/stereo_image_writer.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"
#include "tests/support/jpeg_test_encoding.h"

namespace {

std::string g_folder;

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_writers: %s\n", what.c_str());
    std::abort();
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

void CheckBmp(const k3v::OutputPicture& picture, const k3v::ConversionSettings& settings,
              const k3v::StereoPlanes& planes) {
    const std::string path = g_folder + "/out.bmp";
    if (k3v::Status written = k3v::WriteStereoImage(k3v::OutputTarget(path, settings, 100), planes);
        !written) {
        Fail("a small BMP could not be written: " + written.message());
    }
    const std::vector<uint8_t> bytes = ReadAll(path);
    const size_t w = size_t(picture.width());
    const size_t h = size_t(picture.height());
    if (bytes.size() != k3v::kBmpHeaderSize + 4 * w * h) {
        Fail("the BMP file's length is not header plus rows");
    }
    const auto header = k3v::MakeBmpHeader(int32_t(picture.width()), int32_t(picture.height()));
    if (std::memcmp(bytes.data(), header.data(), header.size()) != 0) {
        Fail("the BMP file's header differs");
    }
    const uint8_t* at = bytes.data() + k3v::kBmpHeaderSize;
    for (int32_t y = 0; y < picture.height(); ++y) {
        const k3v::OutputPicture::Row row = picture.row(y);
        const bool rightDiffers =
            !row.right.empty() &&
            std::memcmp(at + row.left.size_bytes(), row.right.data(), row.right.size_bytes()) != 0;
        if (std::memcmp(at, row.left.data(), row.left.size_bytes()) != 0 || rightDiffers) {
            Fail("a BMP row differs from the output picture");
        }
        at += row.left.size_bytes() + row.right.size_bytes();
    }
}

// The TIFF file, read back by the program's own decoder, holds the output picture's pixels.
void CheckTiff(const k3v::OutputPicture& picture, const k3v::ConversionSettings& settings,
               const k3v::StereoPlanes& planes, k3v::TiffCompression compression) {
    const std::string path = g_folder + "/out.tif";
    const k3v::OutputTarget target(path, settings, 100, false, compression);
    if (k3v::Status written = k3v::WriteStereoImage(target, planes); !written) {
        Fail("a small TIFF could not be written: " + written.message());
    }
    k3v::PixelPlane read;
    if (k3v::Status decoded = k3v::DecodeTiffFile(path, read); !decoded) {
        Fail("the TIFF file does not decode: " + decoded.message());
    }
    if (read.width() != picture.width() || read.height() != picture.height()) {
        Fail("the TIFF file's size differs from the picture's");
    }
    std::vector<uint32_t> row(size_t(picture.width()));
    for (int32_t y = 0; y < picture.height(); ++y) {
        picture.readRow(y, row.data());
        const uint32_t* stored = read.data() + size_t(y) * size_t(read.width());
        for (size_t x = 0; x < row.size(); ++x) {
            if (((row[x] ^ stored[x]) & 0x00FFFFFFu) != 0) {
                Fail("a TIFF row differs from the output picture");
            }
        }
    }
}

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void JpegExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

void JpegWarning(j_common_ptr cinfo, int level) {
    if (level < 0) {
        JpegExit(cinfo);
    }
}

// Width and height as libjpeg decodes them, every row read; false when libjpeg objects.
bool DecodedSize(const std::vector<uint8_t>& file, JDIMENSION& width, JDIMENSION& height) {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegExit;
    errors.base.emit_message = JpegWarning;
    jpeg_create_decompress(&cinfo);
    std::vector<uint8_t> row;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    width = cinfo.output_width;
    height = cinfo.output_height;
    row.resize(size_t(width) * size_t(cinfo.output_components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void CheckJpeg(const k3v::OutputPicture& picture, int32_t quality) {
    std::vector<uint32_t> storage;
    const uint32_t* pixels = picture.contiguous(storage).value();
    std::vector<uint8_t> file;
    k3v::JpegRows rows;
    k3v::Status encoded =
        k3v::testing::BitmapRows(reinterpret_cast<const uint8_t*>(pixels), int32_t(picture.width()),
                                 int32_t(picture.height()), 32, rows);
    if (encoded) {
        encoded =
            k3v::testing::EncodeJpeg(rows, quality, [&file](const uint8_t* bytes, size_t count) {
                file.insert(file.end(), bytes, bytes + count);
            });
    }
    if (!encoded) {
        Fail("the JPEG encoder refused a small picture: " + encoded.message());
    }
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8 || file[file.size() - 2] != 0xFF ||
        file[file.size() - 1] != 0xD9) {
        Fail("the JPEG file does not run from SOI to EOI");
    }
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    if (!DecodedSize(file, width, height)) {
        Fail("libjpeg cannot decode the encoder's file");
    }
    if (width != JDIMENSION(picture.width()) || height != JDIMENSION(picture.height())) {
        Fail("the JPEG file's size differs from the picture's");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/k3v-fuzz-writers-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        Fail("cannot make a scratch folder");
    }
    g_folder = pattern;
    std::atexit([] {
        std::remove((g_folder + "/out.bmp").c_str());
        std::remove((g_folder + "/out.tif").c_str());
        rmdir(g_folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    k3v::fuzzing::ByteStream in(data, size);
    const k3v::ConversionSettings settings = k3v::fuzzing::ReadSettings(in);
    const int32_t quality = in.in(40, 110);  // outside 50..100 the encoder uses 75
    const int32_t width = in.in(1, 70);
    const int32_t height = in.in(1, 40);
    k3v::PixelPlane first;
    k3v::PixelPlane second;
    if (!first.allocate(width, height) || !second.allocate(width, height)) {
        Fail("a small plane could not be allocated");
    }
    in.fill(first);
    for (size_t i = 0; i < second.pixelCount(); ++i) {
        second.data()[i] = ~first.data()[i] & 0x00FFFFFFu;
    }
    k3v::StereoPlanes planes;
    if (!k3v::InstallFirstPicture(planes, std::move(first)) ||
        !k3v::InstallSecondPicture(planes, std::move(second))) {
        Fail("small pictures could not be installed");
    }
    k3v::ConvertPlanes(settings, planes);
    const k3v::OutputPicture picture(settings, planes);
    CheckBmp(picture, settings, planes);
    CheckJpeg(picture, quality);
    CheckTiff(picture, settings, planes, k3v::TiffCompression(in.in(0, 2)));
    return 0;
}
