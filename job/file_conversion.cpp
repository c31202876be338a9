#include "job/file_conversion.h"

#include <filesystem>
#include <iterator>
#include <set>

#include "input/photo_metadata_reader.h"
#include "job/aligned_view_rows.h"
#include "job/banded_file_conversion.h"

namespace k3v {

namespace {

// How a file conversion's time goes, roughly: loading, then making the views and saving.
constexpr double kLoadShare = 0.3;
// Where aligning a pair ends, when it is asked: it takes its share from making the views.
constexpr double kAlignedShare = 0.5;

// The job's depth map, from its file or found in its folder; empty when it has none.
Result<std::string> DepthMapOf(const ConversionJob& job) {
    if (job.depthMap.empty() && !job.depthMapDir.empty()) {
        return FindDepthMap(job.depthMapDir, job.first);
    }
    return job.depthMap;
}

Status LoadFiles(const ConversionJob& job, StereoJob& stereo, const PictureSizeCheck& sized,
                 const Progress& progress) {
    const double parts = job.second.empty() ? 2.0 : 3.0;
    if (Status loaded = stereo.loadFirst(job.first, progress.part(0.0, 1.0 / parts), sized);
        !loaded) {
        return loaded;
    }
    const Result<std::string> map = DepthMapOf(job);
    if (!map) {
        return map.status();
    }
    if (!map.value().empty()) {
        if (Status loaded =
                stereo.loadDepthMap(map.value(), progress.part(1.0 / parts, 2.0 / parts));
            !loaded) {
            return loaded;
        }
    }
    if (job.second.empty()) {
        return Status::Ok();
    }
    return stereo.loadSecond(job.second, progress.part(2.0 / parts, 1.0));
}

// The stereo window's nearest point depends on which picture is the left eye.
AlignmentRequest WithEyes(AlignmentRequest request, const ConversionSettings& settings) {
    request.swapEyes = settings.SwapEyes;
    return request;
}

}  // namespace

Result<std::string> FindDepthMap(const std::string& folder, const std::string& input) {
    namespace fs = std::filesystem;
    const std::string wanted = fs::path(input).stem().string() + "_depth";
    std::set<std::string> found;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().stem() == wanted && entry->is_regular_file(error)) {
            found.insert(entry->path().string());
        }
    }
    if (error) {
        return Status::Error("cannot read the depth map folder \"" + folder +
                             "\": " + error.message());
    }
    if (found.empty()) {
        return Status::Error("no depth map for \"" + input + "\": there is no " + wanted +
                             ".<ext> in \"" + folder + "\"");
    }
    if (found.size() > 1) {
        return Status::Error("two depth maps for \"" + input + "\": \"" + *found.begin() +
                             "\" and \"" + *std::next(found.begin()) + "\"");
    }
    return *found.begin();
}

FileConversion::FileConversion(const ConversionJob& files, const BatchOptions& options)
    : files_(files),
      settings_(options.settings),
      alignment_(WithEyes(options.alignment, options.settings)),
      target_(files_.output, settings_, options.jpegQuality, options.keepMetadata,
              options.tiffCompression) {}

bool FileConversion::outputsExist() const {
    return target_.existingFiles().size() == target_.files().size();
}

Status FileConversion::check(const InputFiles& inputs) const {
    return target_.check(inputs);
}

bool FileConversion::aligns() const {
    return settings_.TransformationMode == kStandardStereo && alignment_.any();
}

Status FileConversion::run(const PictureSizeCheck& sized, const Progress& progress,
                           ConversionNotes& notes) const {
    // In bands where the pictures allow; a depth map that cannot be found is left to the whole
    // conversion to report, after the picture it belongs to. Aligning needs the pair whole.
    if (const Result<std::string> map = DepthMapOf(files_); map && !aligns()) {
        PhotoMetadataRead read;
        if (target_.keepsMetadata()) {
            read = ReadPhotoMetadata(files_.first);
        }
        const std::optional<Status> converted =
            ConvertFilesInBands({files_.first, files_.second, map.value()}, target_, read.metadata,
                                sized, progress, notes.width, notes.height);
        if (converted) {
            notes.note = OnOneLine(read.note);
            return *converted;
        }
        notes = {};
    }
    StereoJob stereo(RefusalWording::NamingTheFile);
    stereo.settings = settings_;
    const Status loaded = LoadFiles(files_, stereo, sized, progress.part(0.0, kLoadShare, "load"));
    notes.width = stereo.planes().SourceWidth;
    notes.height = stereo.planes().SourceHeight;
    if (!loaded) {
        return loaded;
    }
    double saveFrom = kLoadShare;
    if (aligns()) {
        // The views are made from the pair as loaded a band of rows at a time while they are
        // converted, which spares a plane of the views' size. Standard Stereo takes no depth map.
        const Progress aligning = progress.part(kLoadShare, kAlignedShare, "align");
        const StereoPlanes& pair = stereo.planes();
        const Result<PairCorrection> found =
            FindPairCorrection(pair.DecodedImage1, pair.DecodedImage2, alignment_, aligning);
        if (!found) {
            return found.status().cancelled()
                       ? found.status()
                       : CannotConvert(files_.first, OnOneLine(found.message()));
        }
        notes.alignment = found.value().outcome;
        const auto views = [&](PairView view, const std::string& path) {
            return [&, view, path](RowOrder order) {
                return PictureRowReader::OfRows(
                    path,
                    AlignedViewRows(pair.DecodedImage1, pair.DecodedImage2, found.value(), view,
                                    order),
                    order);
            };
        };
        BandedFiles banded{files_.first, files_.second, {}};
        banded.firstRows = views(PairView::First, files_.first);
        banded.secondRows = views(PairView::Second, files_.second);
        PhotoMetadataRead read;
        if (target_.keepsMetadata()) {
            read = ReadPhotoMetadata(files_.first);
        }
        int32_t width = 0;
        int32_t height = 0;
        const std::optional<Status> converted =
            ConvertFilesInBands(banded, target_, read.metadata, nullptr,
                                progress.part(kAlignedShare, 1.0), width, height);
        if (converted) {
            notes.note = OnOneLine(read.note);
            return *converted;
        }
        // No thread or temporary file for the bands: the pair is aligned in place and
        // converted whole.
        Result<AlignmentOutcome> aligned = stereo.alignPair(alignment_, aligning);
        if (!aligned) {
            return aligned.status().cancelled()
                       ? aligned.status()
                       : CannotConvert(files_.first, OnOneLine(aligned.message()));
        }
        saveFrom = kAlignedShare;
    }
    if (target_.keepsMetadata()) {
        notes.note = OnOneLine(stereo.keepFirstPictureMetadata());
    }
    return stereo.save(target_, progress.part(saveFrom, 1.0));
}

}  // namespace k3v
