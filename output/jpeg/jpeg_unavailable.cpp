#include "output/jpeg/jpeg_encoder.h"

// Stands in until the encoder is built: JPEG output is refused with a clear message.
namespace k3v {

Status EncodeJpeg(const uint8_t*, int32_t, int32_t, int32_t, int32_t, std::vector<uint8_t>&) {
    return Status::Error("JPEG output is not supported yet; save as .bmp");
}

Status JPEGMAIN(const std::string& path, const uint8_t*, int32_t, int32_t, int32_t, int32_t) {
    return Status::Error("Cannot write \"" + path +
                         "\": JPEG output is not supported yet; save as .bmp");
}

}  // namespace k3v
