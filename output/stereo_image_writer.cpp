#include "output/stereo_image_writer.h"

#include <array>

#include "output/bmp_writer.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/output_format.h"
#include "output/output_picture.h"
#include "output/panorama_xmp.h"
#include "output/photo_metadata_segments.h"
#include "output/safe_file_writer.h"
#include "output/stereo_jpeg_files.h"

namespace k3v {

namespace {

bool IsStereoFile(OutputFormat format) {
    return format == OutputFormat::Mpo || format == OutputFormat::Jps;
}

// The encoder reads the rows straight from the view planes (several threads at once), so a
// side-by-side picture is never assembled into one copy.
JpegRows RowsOf(const OutputPicture& picture) {
    JpegRows rows;
    rows.width = picture.width();
    rows.height = picture.height();
    rows.readRow = [&picture](int32_t y, uint32_t* out) { picture.readRow(y, out); };
    return rows;
}

JpegSink SinkInto(SafeFileWriter& file) {
    return [&file](const uint8_t* bytes, size_t count) { file.write(bytes, count); };
}

// A JPEG is at most 65535 pixels either way (the encoder refuses more), so its size fits the
// Exif block's 32-bit fields.
std::vector<uint8_t> ExifSegmentOf(const PhotoMetadata& metadata, const OutputPicture& picture) {
    return ExifSegment(metadata, uint32_t(picture.width()), uint32_t(picture.height()));
}

// What goes after APP0: the photo's Exif first, where viewers look for it, then the file
// kind's own segment (may be empty), then the colour profile.
std::vector<uint8_t> SegmentsAfterApp0(const PhotoMetadata& metadata, const OutputPicture& picture,
                                       const std::vector<uint8_t>& own) {
    std::vector<uint8_t> segments = ExifSegmentOf(metadata, picture);
    segments.insert(segments.end(), own.begin(), own.end());
    const std::vector<uint8_t> icc = IccSegments(metadata);
    segments.insert(segments.end(), icc.begin(), icc.end());
    return segments;
}

// Writes `picture` into `file` opened on `path`, for the caller to commit. A JPEG of one whole
// view of a 360-degree panorama says so to panorama viewers; a pair never does, as a viewer
// would wrap both views around the sphere as one picture.
Status WritePicture(const std::string& path, OutputFormat format,
                    const ConversionSettings& settings, const OutputPicture& picture,
                    int jpegQuality, const PhotoMetadata& metadata, SafeFileWriter& file) {
    if (format == OutputFormat::Bmp) {
        return WriteBmp(path, picture, file);
    }
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    const bool sphere = settings.WrapAround && picture.isOneWholeView() &&
                        IsFullSpherePicture(picture.width(), picture.height());
    const std::vector<uint8_t> segments = SegmentsAfterApp0(
        metadata, picture,
        sphere ? PanoramaXmpSegment(picture.width(), picture.height()) : std::vector<uint8_t>{});
    const JpegSink sink =
        segments.empty() ? SinkInto(file) : WithSegmentAfterApp0(segments, SinkInto(file));
    return EncodeJpegFile(path, RowsOf(picture), jpegQuality, sink);
}

Status WriteSeparateViews(const std::vector<std::string>& names, OutputFormat format,
                          const ConversionSettings& settings, const StereoPlanes& planes,
                          int jpegQuality, const PhotoMetadata& metadata) {
    const std::array<OutputPart, 2> parts = {OutputPart::LeftEye, OutputPart::RightEye};
    std::array<SafeFileWriter, 2> files;
    for (size_t i = 0; i < parts.size(); ++i) {
        const OutputPicture picture(settings, planes, parts[i]);
        if (Status written =
                WritePicture(names[i], format, settings, picture, jpegQuality, metadata, files[i]);
            !written) {
            return written;
        }
        if (Status finished = files[i].finish(); !finished) {
            return finished;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (Status published = files[i].publish(); !published) {
            return published;
        }
    }
    return files[0].syncFolder();  // both files sit in one folder
}

Status WriteJps(const std::string& path, const ConversionSettings& settings,
                const StereoPlanes& planes, int jpegQuality, const PhotoMetadata& metadata) {
    ConversionSettings pair = settings;
    pair.StereoLayout = kSideBySideHorizontal;
    pair.PairOrder = EyeOrder::Cross;  // right eye on the left, as the descriptor says
    const OutputPicture picture(pair, planes);
    SafeFileWriter file;
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    const JpegSink sink = WithSegmentAfterApp0(
        SegmentsAfterApp0(metadata, picture, JpsSegment(picture.halved())), SinkInto(file));
    if (Status encoded = EncodeJpegFile(path, RowsOf(picture), jpegQuality, sink); !encoded) {
        return encoded;
    }
    return file.commit();
}

// Both views go to the file as they are encoded; the first image's segment, which holds the
// sizes of both, is written with placeholder values and filled in at the end. Each image keeps
// the photo's Exif before its MPF segment.
Status WriteMpo(const std::string& path, const ConversionSettings& settings,
                const StereoPlanes& planes, int jpegQuality, const PhotoMetadata& metadata) {
    const Result<MpoSegments> placeholders = MakeMpoSegments(0, 0, 0, path);
    if (!placeholders) {
        return placeholders.status();
    }
    SafeFileWriter file;
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    std::array<size_t, 2> insertedAt = {0, 0};
    std::array<size_t, 2> mpfAt = {0, 0};
    std::array<uint64_t, 2> sizes = {0, 0};  // each view's JPEG without its MPF segment
    const std::array<OutputPart, 2> parts = {OutputPart::LeftEye, OutputPart::RightEye};
    for (size_t i = 0; i < parts.size(); ++i) {
        const OutputPicture picture(settings, planes, parts[i]);
        const std::vector<uint8_t>& mpf =
            i == 0 ? placeholders.value().first : placeholders.value().second;
        const uint64_t start = file.size();
        const JpegSink sink = WithSegmentAfterApp0(SegmentsAfterApp0(metadata, picture, mpf),
                                                   SinkInto(file), &insertedAt[i]);
        if (Status encoded = EncodeJpegFile(path, RowsOf(picture), jpegQuality, sink); !encoded) {
            return encoded;
        }
        sizes[i] = file.size() - start - mpf.size();
        mpfAt[i] = insertedAt[i] + ExifSegmentOf(metadata, picture).size();
    }
    if (insertedAt[0] == 0 || insertedAt[1] == 0) {
        return CannotWrite(path, "the views did not encode as JPEG");
    }
    const Result<MpoSegments> segments =
        MakeMpoSegments(size_t(sizes[0]), mpfAt[0], size_t(sizes[1]), path);
    if (!segments) {
        return segments.status();
    }
    file.overwrite(mpfAt[0], segments.value().first);
    return file.commit();
}

}  // namespace

ConversionSettings SettingsForSaving(const ConversionSettings& settings, const std::string& path) {
    ConversionSettings forSaving = settings;
    if (IsStereoFile(OutputFormatOfName(path))) {
        forSaving.StereoLayout = kSideBySideHorizontal;
    }
    return forSaving;
}

std::vector<std::string> SavedFileNames(const std::string& path,
                                        const ConversionSettings& settings) {
    if (settings.StereoLayout != kSeparateFiles || IsStereoFile(OutputFormatOfName(path))) {
        return {path};
    }
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t stem =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
    return {path.substr(0, stem) + "_left" + path.substr(stem),
            path.substr(0, stem) + "_right" + path.substr(stem)};
}

Status WriteStereoImage(const std::string& path, const ConversionSettings& settings,
                        const StereoPlanes& planes, int jpegQuality,
                        const PhotoMetadata& metadata) {
    const OutputFormat format = OutputFormatOfName(path);
    if (format == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(path));
    }
    if (planes.FirstView.empty()) {
        return CannotWrite(path, "there is no stereo image");
    }
    if (format == OutputFormat::Mpo) {
        return WriteMpo(path, settings, planes, jpegQuality, metadata);
    }
    if (format == OutputFormat::Jps) {
        return WriteJps(path, settings, planes, jpegQuality, metadata);
    }
    if (settings.StereoLayout == kSeparateFiles) {
        return WriteSeparateViews(SavedFileNames(path, settings), format, settings, planes,
                                  jpegQuality, metadata);
    }
    const OutputPicture picture(settings, planes);
    if (format == OutputFormat::Bmp) {
        return WriteBmpFile(path, picture);
    }
    if (settings.WrapAround || !metadata.empty()) {
        SafeFileWriter file;
        if (Status written =
                WritePicture(path, format, settings, picture, jpegQuality, metadata, file);
            !written) {
            return written;
        }
        return file.commit();
    }
    return JPEGMAIN(path, RowsOf(picture), jpegQuality);
}

}  // namespace k3v
