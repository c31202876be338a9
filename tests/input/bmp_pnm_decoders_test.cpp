// Our BMP and PNM decoders against libjpeg-turbo's image loader, which read these files
// before: for every layout both read, the same pixels; for every fault, the same refusal in
// the same words. Files are made here, over widths that leave each amount of row padding.

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>
#include <functional>

#include "input/picture_decoder.h"
#include "tests/support/temp_folder.h"

namespace k3v {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& bytes, size_t at, uint32_t value, int size = 4) {
    for (int i = 0; i < size; ++i) {
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
    }
}

// A bottom-up BMP of pseudo-random pixels; 8-bit files get a palette of `colours` entries
// (the count written to the header as `declared`) and indexes below `colours`.
Bytes Bmp(int32_t width, int32_t height, int bits, uint32_t infoSize = 40, uint32_t colours = 5,
          uint32_t declared = 5) {
    const size_t palette = bits == 8 ? colours * 4 : 0;
    const size_t rowBytes = (size_t(width) * size_t(bits / 8) + 3) / 4 * 4;
    Bytes bmp(14 + infoSize + palette + rowBytes * size_t(height));
    for (size_t i = 14 + infoSize; i < bmp.size(); ++i) {
        bmp[i] = uint8_t(i * 2654435761u >> 11);
        if (bits == 8 && i >= 14 + infoSize + palette) {
            bmp[i] = uint8_t(bmp[i] % colours);
        }
    }
    bmp[0] = 'B';
    bmp[1] = 'M';
    Put(bmp, 2, uint32_t(bmp.size()));
    Put(bmp, 10, uint32_t(14 + infoSize + palette));
    Put(bmp, 14, infoSize);
    Put(bmp, 18, uint32_t(width));
    Put(bmp, 22, uint32_t(height));
    Put(bmp, 26, 1, 2);
    Put(bmp, 28, uint32_t(bits), 2);
    Put(bmp, 30, 0);
    Put(bmp, 46, bits == 8 ? declared : 0);
    return bmp;
}

// A PGM (P5) or PPM (P6) of pseudo-random samples below 256, or up to `maxValue` for two bytes.
Bytes Pnm(char kind, int width, int height, uint32_t maxValue, const std::string& gap = " ") {
    const std::string header = std::string("P") + kind + gap + std::to_string(width) + gap +
                               std::to_string(height) + gap + std::to_string(maxValue) + "\n";
    Bytes pnm(header.begin(), header.end());
    const size_t samples = size_t(width) * size_t(height) * (kind == '6' ? 3 : 1);
    for (size_t i = 0; i < samples; ++i) {
        const uint32_t value =
            uint32_t(i * 2654435761u >> 13) % (maxValue > 255 ? maxValue + 1 : 256);
        if (maxValue > 255) {
            pnm.push_back(uint8_t(value >> 8));
        }
        pnm.push_back(uint8_t(value));
    }
    return pnm;
}

void ExpectAsTheLoader(const std::string& label, const Bytes& bytes) {
    SCOPED_TRACE(label);
    testing::TempFolder folder;
    const std::string path = folder.file("picture");
    testing::WriteBytes(path, bytes);
    int width = 0;
    int height = 0;
    int format = TJPF_BGRX;
    unsigned char* loaded = tjLoadImage(path.c_str(), &width, 1, &height, &format, TJFLAG_BOTTOMUP);
    PixelPlane plane;
    const Status decoded = DecodePictureFile(path, plane);
    if (loaded == nullptr) {
        const std::string prefix = "Cannot load \"" + path + "\": ";
        EXPECT_EQ(decoded.message(), prefix + tjGetErrorStr2(nullptr));
        return;
    }
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    ASSERT_EQ(plane.width(), width);
    ASSERT_EQ(plane.height(), height);
    size_t differences = 0;
    for (size_t i = 0; i < plane.pixelCount(); ++i) {
        uint32_t pixel = 0;
        std::memcpy(&pixel, loaded + 4 * i, 4);
        differences += plane.data()[i] != (pixel & 0x00FFFFFFu);
    }
    tjFree(loaded);
    EXPECT_EQ(differences, 0u);
}

TEST(BmpAndPnmDecoders, ReadAndRefuseAsLibjpegTurbosLoader) {
    for (int32_t width = 1; width <= 6; ++width) {
        for (const int bits : {8, 24, 32}) {
            ExpectAsTheLoader("BMP " + std::to_string(bits), Bmp(width, 3, bits));
        }
        ExpectAsTheLoader("BMP 64-byte header", Bmp(width, 2, 24, 64));
        ExpectAsTheLoader("BMP 256 colours by default", Bmp(width, 2, 8, 40, 256, 0));
        for (const uint32_t maxValue : {255u, 7u, 1000u, 65535u}) {
            ExpectAsTheLoader("PPM " + std::to_string(maxValue), Pnm('6', width, 3, maxValue));
        }
        for (const uint32_t maxValue : {255u, 100u}) {
            ExpectAsTheLoader("PGM " + std::to_string(maxValue), Pnm('5', width, 2, maxValue));
        }
    }
    const std::vector<std::pair<std::string, std::function<void(Bytes&)>>> bmpFaults = {
        {"two planes", [](Bytes& b) { Put(b, 26, 2, 2); }},
        {"257 colours", [](Bytes& b) { Put(b, 46, 257); }},
        {"an index past the palette", [](Bytes& b) { b[b.size() - 8] = 5; }},
        {"pixels inside the headers", [](Bytes& b) { Put(b, 10, 50); }},
        {"pixels inside the palette", [](Bytes& b) { Put(b, 10, 60); }},
        {"no palette but the default", [](Bytes& b) { Put(b, 46, 0); }},
    };
    for (const auto& [label, damage] : bmpFaults) {
        Bytes bmp = Bmp(7, 3, 8);
        damage(bmp);
        ExpectAsTheLoader("BMP with " + label, bmp);
    }
    Bytes outOfRange = Pnm('6', 2, 2, 1000);
    outOfRange[outOfRange.size() - 2] = 0x03;
    outOfRange[outOfRange.size() - 1] = 0xE9;  // 1001
    const Bytes pnm = Pnm('6', 3, 2, 255);
    for (const auto& [label, bytes] : std::vector<std::pair<std::string, Bytes>>{
             {"PPM cut short", Bytes(pnm.begin(), pnm.end() - 1)},
             {"PPM cut in its header", Bytes(pnm.begin(), pnm.begin() + 8)},
             {"PPM with a sample above its maximum", outOfRange},
             {"PPM with comments and line ends", Pnm('6', 3, 2, 255, "\n#c\r\n\t")},
             {"PPM with a form feed", Pnm('6', 3, 2, 255, "\f")},
             {"PPM with a maximum of 0", Pnm('6', 3, 2, 0)},
             {"PPM wider than 65535", Pnm('6', 70000, 1, 255)},
         }) {
        ExpectAsTheLoader(label, bytes);
    }
}

}  // namespace
}  // namespace k3v
