// Any bytes as a picture file: decoding must either give a plane of the size the picture
// claims or refuse with a message naming the file; never crash, hang or read out of bounds.
// A decoded picture then goes through the same install step as a loaded first picture. A decode
// cancelled from its first report stops cleanly.

#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/decoded_plane_checks.h"
#include "input/jpeg_file_decoder.h"
#include "input/picture_decoder.h"
#include "input/picture_file.h"
#include "stereo/stereo_planes.h"

namespace {

// Pictures claiming more pixels than this are skipped: the memory check lets through what
// the machine has, and a few bytes claiming gigabytes would only measure the allocator.
constexpr int64_t kLargestFuzzedPixels = int64_t(1) << 24;

std::string g_path;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_decode: %s\n", what);
    std::abort();
}

// A JPEG decoded by two readers, the second from a row the input chooses, must give what one
// reader gave: the same pixels, or the same reason.
void CheckTwoReaders(const uint8_t* data, size_t size, const k3v::Status& decoded,
                     const k3v::PixelPlane& plane) {
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) {
        return;
    }
    std::FILE* file = std::fopen(g_path.c_str(), "rb");
    if (file == nullptr) {
        Fail("the input file cannot be opened again");
    }
    k3v::PixelPlane two;
    const auto row = int32_t(1 + data[size - 1] % (plane.empty() ? 64 : plane.height()));
    const k3v::Status status = k3v::DecodeJpegFileInTwo(file, two, row);
    std::fclose(file);
    const std::string prefix = "Cannot load \"" + g_path + "\": ";
    if (status.ok() != decoded.ok() ||
        (!status && prefix + status.message() != decoded.message())) {
        Fail("two readers of a JPEG disagree with one on whether or why it is refused");
    }
    if (status && (two.storedCount() != plane.storedCount() ||
                   std::memcmp(two.data(), plane.data(), plane.storedCount() * 4) != 0)) {
        Fail("two readers of a JPEG give other pixels than one");
    }
}

// A decode cancelled at its first report of progress stops there and leaves the plane alone;
// one that reported nothing before it ended (or failed) gives what the whole decode gave.
void CheckCancelled(const k3v::Status& decoded) {
    const k3v::Result<k3v::PictureFile> file = k3v::PictureFile::Open(g_path);
    if (!file) {
        if (decoded.ok() || file.message() != decoded.message()) {
            Fail("opening the file refuses it otherwise than decoding it");
        }
        return;
    }
    std::atomic<bool> cancel{false};
    const k3v::Progress progress([&](const char*, double) { cancel = true; }, &cancel);
    k3v::PixelPlane plane;
    const k3v::Status status = file.value().decode(plane, progress);
    if (status.cancelled()) {
        if (!plane.empty()) {
            Fail("a cancelled decode changed the plane");
        }
    } else if (status.ok() != decoded.ok() || status.message() != decoded.message()) {
        Fail("a decode that was not cancelled gave another result than the whole decode");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication application(*argc, *argv);  // Qt's image plugins need it
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    g_path = k3v::fuzzing::FuzzInputPath("fuzz-decode", ".pic");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    k3v::fuzzing::WriteFuzzInput("fuzz_decode", g_path, data, size);
    const k3v::Result<k3v::PictureSize> peeked = k3v::PeekPictureSize(g_path);
    if (peeked &&
        int64_t(peeked.value().width) * int64_t(peeked.value().height) > kLargestFuzzedPixels) {
        return -1;  // not added to the corpus
    }

    k3v::PixelPlane plane;
    const k3v::Status decoded = k3v::DecodePictureFile(g_path, plane);
    CheckTwoReaders(data, size, decoded, plane);
    CheckCancelled(decoded);
    if (!decoded) {
        if (!plane.empty() || decoded.message().rfind("Cannot load \"" + g_path + "\": ", 0) != 0) {
            Fail("a refusal must leave the plane alone and name the file");
        }
        return 0;
    }
    if (plane.empty() || plane.width() < 1 || plane.height() < 1) {
        Fail("a decoded picture has no pixels");
    }
    // Byte 3 is cleared by the decoders and the spare row stays zero.
    for (size_t i = 0; i < plane.storedCount(); ++i) {
        if ((plane.data()[i] >> 24) != 0 || (i >= plane.pixelCount() && plane.data()[i] != 0)) {
            Fail("a decoded pixel has a stray fourth byte or the spare row is not zero");
        }
    }
    k3v::StereoPlanes planes;
    const int32_t w = plane.width();
    const int32_t h = plane.height();
    if (!k3v::InstallFirstPicture(planes, std::move(plane)) || planes.SourceWidth != w ||
        planes.SourceHeight != h) {
        Fail("a small decoded picture could not be installed");
    }
    return 0;
}
