#include "output/stereo_image_writer.h"

#include <array>
#include <optional>
#include <vector>

#include "output/bmp_writer.h"
#include "output/jpeg/jpeg_encoder.h"
#include "output/output_picture.h"
#include "output/panorama_xmp.h"
#include "output/photo_metadata_segments.h"
#include "output/safe_file_writer.h"
#include "output/stereo_jpeg_files.h"
#include "output/tiff_writer.h"
#include "stereo/banded_conversion.h"

namespace k3v {

namespace {

// The views a save writes: in planes, or coming from a source as they are made.
struct ViewsToSave {
    const StereoPlanes* planes = nullptr;
    const ViewRowSource* source = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    // How the rows of a file that places them (BMP, TIFF) are read; planes are read as a BMP
    // file stores them, a TIFF file from the top.
    std::optional<RowOrder> placedOrder;

    OutputPicture picture(const ConversionSettings& settings,
                          OutputPart part = OutputPart::Whole) const {
        return planes != nullptr ? OutputPicture(settings, *planes, part)
                                 : OutputPicture(settings, width, height, *source, part);
    }
};

// Of a file's progress, what its encoding takes; the rest is flushing it to the disk.
constexpr double kEncodingShare = 0.95;

// The encoder reads the rows straight from the view planes (several threads at once), so a
// side-by-side picture is never assembled into one copy.
JpegRows RowsOf(const OutputPicture& picture) {
    JpegRows rows;
    rows.width = picture.width();
    rows.height = picture.height();
    rows.readRow = [&picture](int32_t y, uint32_t* out) { picture.readRow(y, out); };
    return rows;
}

TiffRows TiffRowsOf(const OutputPicture& picture, RowOrder order) {
    return {picture.width(), picture.height(),
            [&picture](int32_t y, uint32_t* out) { picture.readRow(y, out); }, order};
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

// Encodes `picture` as one JPEG into `file`, with `segments` after APP0; where they went goes
// to *insertedAt.
Status EncodeInto(SafeFileWriter& file, const std::string& path, const OutputPicture& picture,
                  int jpegQuality, std::vector<uint8_t> segments, const Progress& progress,
                  size_t* insertedAt = nullptr) {
    const JpegSink sink =
        segments.empty() ? SinkInto(file)
                         : WithSegmentAfterApp0(std::move(segments), SinkInto(file), insertedAt);
    return EncodeJpegFile(path, RowsOf(picture), jpegQuality, sink, progress);
}

// A JPEG of one whole view of a 360-degree panorama says so to panorama viewers; a pair never
// does, as a viewer would wrap both views around the sphere as one picture. A JPS file holds
// the cross-eyed pair and says so.
std::vector<uint8_t> OwnSegment(const OutputTarget& target, const OutputPicture& picture) {
    if (target.format() == OutputFormat::Jps) {
        return JpsSegment(picture.halved());
    }
    const bool sphere = target.settings().WrapAround && picture.isOneWholeView() &&
                        IsFullSpherePicture(picture.width(), picture.height());
    return sphere ? PanoramaXmpSegment(picture.width(), picture.height()) : std::vector<uint8_t>{};
}

// Writes `picture` as the file `path` into `file`, for the caller to commit.
Status WritePicture(const OutputTarget& target, const std::string& path,
                    const OutputPicture& picture, std::optional<RowOrder> placedOrder,
                    const PhotoMetadata& metadata, SafeFileWriter& file, const Progress& progress) {
    if (target.format() == OutputFormat::Bmp) {
        return WriteBmp(path, picture, file, progress, placedOrder.value_or(RowOrder::BottomFirst));
    }
    if (target.format() == OutputFormat::Tiff) {
        if (Status opened = file.open(path); !opened) {
            return opened;
        }
        return EncodeTiffFile(path, TiffRowsOf(picture, placedOrder.value_or(RowOrder::TopFirst)),
                              {target.tiffCompression(), metadata.icc}, file, progress);
    }
    if (Status fits = CheckJpegSize(path, picture.width(), picture.height()); !fits) {
        return fits;
    }
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    return EncodeInto(file, path, picture, target.jpegQuality(),
                      SegmentsAfterApp0(metadata, picture, OwnSegment(target, picture)), progress);
}

// The pictures of the target's files, one each: the layout's picture, each eye's view of the
// separate files, or the cross-eyed pair of a JPS file (right eye on the left, as its segment
// says).
// An MPO file holds each eye's picture in turn too.
std::vector<OutputPicture> PicturesOf(const OutputTarget& target, const ViewsToSave& views) {
    const ConversionSettings& settings = target.settings();
    if (target.files().size() == 2 || target.format() == OutputFormat::Mpo) {
        return {views.picture(settings, OutputPart::LeftEye),
                views.picture(settings, OutputPart::RightEye)};
    }
    if (target.format() == OutputFormat::Jps) {
        ConversionSettings pair = settings;
        pair.PairOrder = EyeOrder::Cross;
        return {views.picture(pair)};
    }
    return {views.picture(settings)};
}

// Both eyes go to the file as they are encoded, the left eye's first; the first image's
// segment, which holds the sizes of both, is written with placeholder values and filled in at
// the end. Each image keeps the photo's Exif before its MPF segment.
Status WriteMpo(const OutputTarget& target, const ViewsToSave& views, const PhotoMetadata& metadata,
                SafeFileWriter& file, const Progress& progress) {
    const std::string& path = target.path();
    const Result<MpoSegments> placeholders = MakeMpoSegments(0, 0, 0, path);
    if (!placeholders) {
        return placeholders.status();
    }
    const OutputPicture leftEye = views.picture(target.settings(), OutputPart::LeftEye);
    const OutputPicture rightEye = views.picture(target.settings(), OutputPart::RightEye);
    if (Status fits = CheckJpegSize(path, leftEye.width(), leftEye.height()); !fits) {
        return fits;
    }
    if (Status opened = file.open(path); !opened) {
        return opened;
    }
    const std::array<const OutputPicture*, 2> eyes = {&leftEye, &rightEye};
    std::array<size_t, 2> insertedAt = {0, 0};
    std::array<size_t, 2> mpfAt = {0, 0};
    std::array<uint64_t, 2> sizes = {0, 0};  // each eye's JPEG without its MPF segment
    for (size_t i = 0; i < eyes.size(); ++i) {
        const std::vector<uint8_t>& mpf =
            i == 0 ? placeholders.value().leftEye : placeholders.value().rightEye;
        const uint64_t start = file.size();
        if (Status encoded =
                EncodeInto(file, path, *eyes[i], target.jpegQuality(),
                           SegmentsAfterApp0(metadata, *eyes[i], mpf),
                           progress.part(0.5 * double(i), 0.5 * double(i + 1)), &insertedAt[i]);
            !encoded) {
            return encoded;
        }
        sizes[i] = file.size() - start - mpf.size();
        mpfAt[i] = insertedAt[i] + ExifSegmentOf(metadata, *eyes[i]).size();
    }
    if (insertedAt[0] == 0 || insertedAt[1] == 0) {
        return CannotWrite(path, "the views did not encode as JPEG");
    }
    const Result<MpoSegments> segments =
        MakeMpoSegments(size_t(sizes[0]), mpfAt[0], size_t(sizes[1]), path);
    if (!segments) {
        return segments.status();
    }
    file.overwrite(mpfAt[0], segments.value().leftEye);
    return Status::Ok();
}

// Writes every file of the target from `views`.
Status WriteViews(const OutputTarget& target, const ViewsToSave& views,
                  const PhotoMetadata& metadata, const Progress& progress) {
    if (target.format() == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(target.path()));
    }
    const std::vector<std::string>& names = target.files();
    std::array<SafeFileWriter, 2> files;
    const Progress encoding = progress.part(0.0, kEncodingShare, "encode");
    if (target.format() == OutputFormat::Mpo) {
        if (Status written = WriteMpo(target, views, metadata, files[0], encoding); !written) {
            return written;
        }
    } else {
        const std::vector<OutputPicture> pictures = PicturesOf(target, views);
        const double share = 1.0 / double(pictures.size());
        for (size_t i = 0; i < pictures.size(); ++i) {
            const Progress part = encoding.part(share * double(i), share * double(i + 1));
            if (Status written = WritePicture(target, names[i], pictures[i], views.placedOrder,
                                              metadata, files[i], part);
                !written) {
                return written;
            }
        }
    }
    // Every file is complete on the disk before any replaces its target.
    const Progress writing = progress.part(kEncodingShare, 1.0, "write");
    for (size_t i = 0; i < names.size(); ++i) {
        if (Status finished = files[i].finish(); !finished) {
            return finished;
        }
        writing.report(i + 1, names.size() + 1);
    }
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (Status published = files[i].publish(); !published) {
            return published;
        }
    }
    if (Status synced = files[0].syncFolder(); !synced) {  // every file sits in one folder
        return synced;
    }
    writing.report(1.0);
    return Status::Ok();
}

// A source that is never asked: the pictures are only looked at.
class NoRows final : public ViewRowSource {
  public:
    void take(ViewIndex, int32_t, int32_t, int32_t, uint32_t*) const override {}
};

}  // namespace

Status WriteStereoImage(const OutputTarget& target, const StereoPlanes& planes,
                        const PhotoMetadata& metadata, const Progress& progress) {
    if (target.format() != OutputFormat::Unknown && planes.FirstView.empty()) {
        return CannotWrite(target.path(), "there is no stereo image");
    }
    return WriteViews(target,
                      {&planes, nullptr, planes.SourceWidth, planes.SourceHeight, std::nullopt},
                      metadata, progress);
}

Status WriteStereoImage(const OutputTarget& target, int32_t viewWidth, int32_t viewHeight,
                        const ViewRowSource& views, const PhotoMetadata& metadata,
                        const Progress& progress) {
    return WriteViews(target, {nullptr, &views, viewWidth, viewHeight, ViewReadingOf(target).order},
                      metadata, progress);
}

ViewReading ViewReadingOf(const OutputTarget& target) {
    ViewReading reading;
    // A bitmap or a TIFF file is written at the rows' places, in the order the conversion
    // can go in; a JPEG file from the top.
    const bool placed =
        target.format() == OutputFormat::Bmp || target.format() == OutputFormat::Tiff;
    reading.order = placed && !CanConvertTopFirst(target.settings()) ? RowOrder::BottomFirst
                                                                     : RowOrder::TopFirst;
    const NoRows none;
    const std::vector<OutputPicture> pictures =
        PicturesOf(target, {nullptr, &none, 1, 1, std::nullopt});
    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::vector<ViewIndex> views = pictures[i].views();
        for (size_t v = 0; v < views.size(); ++v) {
            // The lower view of a stack is read after the upper one from the top, and the
            // upper after the lower from the bottom.
            const bool afterAnother = i > 0 || (pictures[i].stacksViews() &&
                                                (v == 0) == (reading.order == RowOrder::TopFirst));
            reading.read[size_t(views[v])] = true;
            reading.later[size_t(views[v])] = afterAnother;
        }
    }
    return reading;
}

}  // namespace k3v
