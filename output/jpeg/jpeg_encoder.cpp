#include "output/jpeg/jpeg_encoder.h"

#include <optional>

#include "output/jpeg/encode_to_sink.h"
#include "output/safe_file_writer.h"

namespace k3v {

Status EncodeJpegFile(const std::string& path, const JpegRows& rows, int32_t quality,
                      const JpegSink& sink, const Progress& progress) {
    return jpeg::EncodeToSink(rows, quality, sink, progress, [&path](const std::string& reason) {
        return CannotWrite(path, reason);
    });
}

Status CheckJpegSize(const std::string& path, int64_t width, int64_t height) {
    if (std::optional<std::string> refused = jpeg::SizeRefusal(width, height)) {
        return CannotWrite(path, *refused);
    }
    return Status::Ok();
}

Status JPEGMAIN(const std::string& path, const JpegRows& rows, int32_t quality,
                const Progress& progress) {
    // A picture that cannot be a JPEG file is refused before the target is looked at.
    if (Status fits = CheckJpegSize(path, rows.width, rows.height); !fits) {
        return fits;
    }
    SafeFileWriter writer;
    if (Status opened = writer.open(path); !opened.ok()) {
        return opened;
    }
    const JpegSink sink = [&writer](const uint8_t* bytes, size_t count) {
        writer.write(bytes, count);
    };
    if (Status encoded = EncodeJpegFile(path, rows, quality, sink, progress); !encoded) {
        return encoded;  // the writer discards its temporary file
    }
    // A cancel that comes after the last band still keeps the existing file.
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    return writer.commit();
}

}  // namespace k3v
