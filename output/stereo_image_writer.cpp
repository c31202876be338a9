#include "output/stereo_image_writer.h"

#include <cstring>

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
        return CannotWrite(path, "there is no stereo image");
    }
    const OutputPicture picture(settings, planes);
    if (format == OutputFormat::Bmp) {
        return WriteBmpFile(path, picture);
    }
    // The encoder reads the rows straight from the view planes (several threads at once),
    // so the horizontal layout is never assembled into one 2W x H copy.
    JpegRows rows;
    rows.width = picture.width();
    rows.height = picture.height();
    rows.readRow = [&picture](int32_t y, uint32_t* out) { picture.readRow(y, out); };
    return JPEGMAIN(path, rows, jpegQuality);
}

}  // namespace k3v
