#include "job/stereo_job.h"

#include <utility>

#include "input/photo_metadata_reader.h"
#include "output/stereo_image_writer.h"
#include "stereo/conversion.h"

namespace k3v {

namespace {

// Of a load, what the decode takes; the rest is installing the picture into the planes.
constexpr double kDecodeShare = 0.9;

// The settings that make the same views as `settings`: the source kind, the pair's order and
// halving only shape the saved or shown picture, and every pair layout holds the same two
// views, which only the anaglyph composes into one (with its method and glasses).
ConversionSettings ViewsOnly(ConversionSettings settings) {
    const ConversionSettings start;
    settings.SourceKind = start.SourceKind;
    settings.PairOrder = start.PairOrder;
    settings.HalfSize = start.HalfSize;
    if (settings.StereoLayout != kAnaglyph) {
        settings.StereoLayout = kSideBySideHorizontal;
        settings.AnaglyphMethod = start.AnaglyphMethod;
        settings.Glasses = start.Glasses;
    }
    return settings;
}

// Opens and decodes a picture file, reading it through one open file.
Status Decode(const std::string& path, PixelPlane& plane, const Progress& progress,
              const PictureSizeCheck& sized = nullptr) {
    Result<PictureFile> file = PictureFile::Open(path);
    if (!file) {
        return file.status();
    }
    if (sized) {
        const Result<PictureSize> size = file.value().peekSize();
        sized(size ? size.value() : PictureSize{});
    }
    if (Status decoded = file.value().decode(plane, progress.part(0.0, kDecodeShare, "decode"));
        !decoded) {
        return decoded;
    }
    // The last moment a load can still stop with nothing changed.
    return progress.cancelled() ? Status::Cancelled() : Status::Ok();
}

// A copy of `picture` to align, which leaves the picture as it is.
Status CopyOf(const PixelPlane& picture, PixelPlane& copy) {
    if (Status allocated = copy.allocate(picture.width(), picture.height()); !allocated) {
        return allocated;
    }
    copy.copyFrom(picture);
    return Status::Ok();
}

}  // namespace

Status StereoJob::showPlaceholder() {
    if (Status made = MakePlaceholderPlanes(planes_); !made) {
        return made;
    }
    firstPath_.clear();
    secondPath_.clear();
    depthMapPath_.clear();
    viewsMadeWith_.reset();
    forgetLoadedPair();
    return Status::Ok();
}

Status StereoJob::loadFirst(const std::string& path, const Progress& progress,
                            const PictureSizeCheck& sized) {
    PixelPlane picture;
    if (Status decoded = Decode(path, picture, progress, sized); !decoded) {
        return decoded;
    }
    // Every conversion starts from the decoded picture; the working copy waits for one.
    if (Status installed =
            InstallFirstPicture(planes_, std::move(picture), WorkingCopy::LeftToConversion);
        !installed) {
        return refused(path, installed);
    }
    firstPath_ = path;
    secondPath_.clear();  // the second picture went with the old planes
    if (planes_.DepthMap.empty()) {
        depthMapPath_.clear();
    }
    metadata_ = {};
    viewsMadeWith_.reset();
    forgetLoadedPair();
    progress.report(1.0);
    return Status::Ok();
}

Status StereoJob::loadSecond(const std::string& path, const Progress& progress) {
    PixelPlane picture;
    if (Status decoded = Decode(path, picture, progress); !decoded) {
        return decoded;
    }
    // A new second picture pairs with the first as it was loaded, not as it was cropped.
    if (!loadedFirst_.empty()) {
        if (picture.width() != loadedFirst_.width() || picture.height() != loadedFirst_.height()) {
            return refused(
                path, Status::Error(PairSizeMismatch(loadedFirst_.width(), loadedFirst_.height(),
                                                     picture.width(), picture.height())));
        }
        if (Status restored = InstallFirstPicture(planes_, std::move(loadedFirst_),
                                                  WorkingCopy::LeftToConversion);
            !restored) {
            return refused(path, restored);
        }
        secondPath_.clear();  // the aligned second picture went with the cropped planes
        forgetLoadedPair();
    }
    if (Status installed =
            InstallSecondPicture(planes_, std::move(picture), WorkingCopy::LeftToConversion);
        !installed) {
        return refused(path, installed);
    }
    secondPath_ = path;
    viewsMadeWith_.reset();
    aligned_ = false;
    progress.report(1.0);
    return Status::Ok();
}

Status StereoJob::loadDepthMap(const std::string& path, const Progress& progress) {
    PixelPlane map;
    if (Status decoded = Decode(path, map, progress); !decoded) {
        return decoded;
    }
    if (Status installed = InstallDepthMap(planes_, map); !installed) {
        return CannotLoad(path, installed.message());
    }
    depthMapPath_ = path;
    viewsMadeWith_.reset();
    progress.report(1.0);
    return Status::Ok();
}

Result<AlignmentOutcome> StereoJob::alignPair(const AlignmentRequest& request,
                                              const Progress& progress, LoadedPair loaded) {
    if (secondPath_.empty()) {
        return Status::Error("cannot align: there is no second picture");
    }
    // An aligned pair is aligned again from the pictures as loaded, never from its own crop.
    const bool fromLoaded = !loadedFirst_.empty();
    PixelPlane first;
    PixelPlane second;
    if (fromLoaded || loaded == LoadedPair::Kept) {
        const PixelPlane& loadedFirst = fromLoaded ? loadedFirst_ : planes_.DecodedImage1;
        const PixelPlane& loadedSecond = fromLoaded ? loadedSecond_ : planes_.DecodedImage2;
        if (Status copied = CopyOf(loadedFirst, first); !copied) {
            return copied;
        }
        if (Status copied = CopyOf(loadedSecond, second); !copied) {
            return copied;
        }
    } else {
        first = std::move(planes_.DecodedImage1);
        second = std::move(planes_.DecodedImage2);
    }
    Result<AlignmentOutcome> outcome = AlignPair(first, second, request, progress);
    if (!outcome) {
        if (planes_.DecodedImage1.empty()) {  // taken, not copied: back as it was
            planes_.DecodedImage1 = std::move(first);
            planes_.DecodedImage2 = std::move(second);
        }
        return outcome;
    }
    if (loaded == LoadedPair::Kept && !fromLoaded) {
        loadedFirst_ = std::move(planes_.DecodedImage1);
        loadedSecond_ = std::move(planes_.DecodedImage2);
    } else if (loaded == LoadedPair::Dropped) {
        loadedFirst_ = {};
        loadedSecond_ = {};
    }
    if (Status installed = installPair(std::move(first), std::move(second)); !installed) {
        // No memory for the planes at the aligned size: back to the pair as loaded if it was
        // kept; otherwise the job holds no pair any more.
        const bool restored = !loadedFirst_.empty() &&
                              installPair(std::move(loadedFirst_), std::move(loadedSecond_)).ok();
        forgetLoadedPair();
        if (!restored) {
            firstPath_.clear();
            secondPath_.clear();
        }
        return installed;
    }
    aligned_ = true;
    return outcome;
}

Status StereoJob::unalignPair() {
    if (!aligned_ || loadedFirst_.empty()) {
        return Status::Ok();
    }
    if (Status installed = installPair(std::move(loadedFirst_), std::move(loadedSecond_));
        !installed) {
        return installed;
    }
    forgetLoadedPair();
    return Status::Ok();
}

Status StereoJob::installPair(PixelPlane&& first, PixelPlane&& second) {
    viewsMadeWith_.reset();
    if (Status installed =
            InstallFirstPicture(planes_, std::move(first), WorkingCopy::LeftToConversion);
        !installed) {
        return installed;
    }
    if (Status installed =
            InstallSecondPicture(planes_, std::move(second), WorkingCopy::LeftToConversion);
        !installed) {
        secondPath_.clear();
        return installed;
    }
    if (planes_.DepthMap.empty()) {
        depthMapPath_.clear();
    }
    return Status::Ok();
}

void StereoJob::forgetLoadedPair() {
    aligned_ = false;
    loadedFirst_ = {};
    loadedSecond_ = {};
}

Status StereoJob::refused(const std::string& path, const Status& refusal) const {
    return wording_ == RefusalWording::AsItIs ? refusal
                                              : CannotLoad(path, OnOneLine(refusal.message()));
}

void StereoJob::clearDepthMap() {
    planes_.DepthMap.clear();
    depthMapPath_.clear();
    viewsMadeWith_.reset();
}

std::string StereoJob::keepFirstPictureMetadata() {
    metadata_ = {};
    if (firstPath_.empty()) {
        return {};
    }
    PhotoMetadataRead read = ReadPhotoMetadata(firstPath_);
    metadata_ = std::move(read.metadata);
    return read.note;
}

InputFiles StereoJob::inputFiles() const {
    const std::string paths[] = {firstPath_, secondPath_, depthMapPath_};
    return InputFiles(paths);
}

Status StereoJob::convertWith(const ConversionSettings& with, const Progress& progress) {
    viewsMadeWith_.reset();
    if (Status converted = ConvertPlanes(with, planes_, progress); !converted) {
        return converted;
    }
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    viewsMadeWith_ = ViewsOnly(with);
    return Status::Ok();
}

Status StereoJob::convert(const Progress& progress) {
    return convertWith(settings, progress);
}

Status StereoJob::convert(const ConversionSettings& with, const Progress& progress) {
    return convertWith(with, progress);
}

Status StereoJob::convertFor(const OutputTarget& target, const Progress& progress) {
    return convertWith(target.settings(), progress);
}

bool StereoJob::viewsAreFor(const ConversionSettings& with) const {
    return viewsMadeWith_ && *viewsMadeWith_ == ViewsOnly(with);
}

Status StereoJob::save(const OutputTarget& target, const Progress& progress) {
    const bool made = viewsAreFor(target.settings());
    const double convertShare = made ? 0.0 : 0.4;
    if (!made) {
        if (Status converted = convertFor(target, progress.part(0.0, convertShare, "convert"));
            !converted) {
            return converted;
        }
    }
    const PhotoMetadata none;
    return WriteStereoImage(target, planes_, target.keepsMetadata() ? metadata_ : none,
                            progress.part(convertShare, 1.0, "save"));
}

}  // namespace k3v
