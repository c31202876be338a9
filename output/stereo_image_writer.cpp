#include "output/stereo_image_writer.h"

#include <new>
#include <vector>

#include "output/bmp_writer.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/output_format.h"
#include "output/output_picture.h"

namespace k3v {

Status WriteStereoImage(const std::string& path, const ConversionSettings& settings,
                        const StereoPlanes& planes, int jpegQuality) {
    const OutputFormat format = OutputFormatOfName(path);
    if (format == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(path));
    }
    if (planes.FirstView.empty()) {
        return Status::Error("Cannot write \"" + path + "\": there is no stereo image");
    }
    const OutputPicture picture(settings, planes);
    if (format == OutputFormat::Bmp) {
        return WriteBmpFile(path, picture);
    }
    std::vector<uint32_t> storage;
    const uint32_t* pixels = nullptr;
    try {
        pixels = picture.contiguous(storage);
    } catch (const std::bad_alloc&) {
        return Status::Error("Cannot write \"" + path + "\": not enough memory to assemble a " +
                             std::to_string(picture.width()) + " x " +
                             std::to_string(picture.height()) + " picture");
    }
    return JPEGMAIN(path, reinterpret_cast<const uint8_t*>(pixels), picture.width(),
                    picture.height(), 32, jpegQuality);
}

}  // namespace k3v
