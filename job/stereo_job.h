#pragma once
// One stereo conversion as both programs run it: the pictures it is made from, the settings,
// the six planes, and the saves. The window keeps one for as long as it runs; the batch tool
// makes one per file. Every step reports its progress and polls the cancel flag (progress.h);
// a failed or cancelled load leaves the job exactly as it was, and a failed or cancelled
// conversion leaves the views to be made again by the next conversion or save.

#include <functional>
#include <optional>
#include <string>

#include "align/pair_alignment.h"
#include "base/photo_metadata.h"
#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "input/picture_file.h"
#include "output/output_naming.h"
#include "output/output_target.h"
#include "stereo/conversion_settings.h"
#include "stereo/stereo_planes.h"

namespace k3v {

// Told a picture's size once its header is read, before it is decoded: a batch waits there
// until the memory for it is free.
using PictureSizeCheck = std::function<void(const PictureSize& size)>;

// How a refused picture (another size, no memory for it) is worded: the window shows the
// refusal as it is, under the file name it shows anyway; the batch tool's one line names the file.
enum class RefusalWording { AsItIs, NamingTheFile };

// Whether an aligned pair keeps the pictures as loaded aside: the window does, so that another
// alignment, or none, starts from them again without loading them anew; the batch aligns once
// and lets them go.
enum class LoadedPair { Kept, Dropped };

class StereoJob {
  public:
    StereoJob() = default;
    explicit StereoJob(RefusalWording wording) : wording_(wording) {}

    // What the next conversion and save use.
    ConversionSettings settings;

    // The black placeholder picture the window starts with. Fails only when its planes cannot
    // be allocated.
    Status showPlaceholder();

    const StereoPlanes& planes() const { return planes_; }
    // False while the planes hold the placeholder: no first picture has loaded yet.
    bool hasFirstPicture() const { return !firstPath_.empty(); }

    // Decodes the file at `path` and makes it the first picture: every plane takes its size,
    // the second picture goes, and so does the depth map unless it has the new size.
    Status loadFirst(const std::string& path, const Progress& progress = {},
                     const PictureSizeCheck& sized = nullptr);
    // The second picture of a pair, of exactly the first picture's size.
    Status loadSecond(const std::string& path, const Progress& progress = {});
    // A depth map of exactly the first picture's size.
    Status loadDepthMap(const std::string& path, const Progress& progress = {});
    void clearDepthMap();

    // Lines up Standard Stereo's pair as `request` asks (align/pair_alignment.h): both pictures
    // become the aligned, cropped views, every plane takes their size, and the views are made
    // again by the next conversion. An aligned pair is aligned again from the pictures as
    // loaded, which `loaded` keeps or not. On failure (no second picture, too few matching
    // points) or cancel nothing changes.
    Result<AlignmentOutcome> alignPair(const AlignmentRequest& request, const Progress& progress,
                                       LoadedPair loaded = LoadedPair::Dropped);
    // Puts back the pair as loaded after an alignment that kept it; nothing to do otherwise.
    Status unalignPair();
    // Whether the pictures are an aligned pair, not the pictures as loaded.
    bool pairIsAligned() const { return aligned_; }

    // With the photo's information kept, each JPEG save carries the first picture's Exif and
    // colour profile. Returns what of it cannot be kept (empty when all can).
    std::string keepFirstPictureMetadata();
    void forgetFirstPictureMetadata() { metadata_ = {}; }

    // The files loaded, known by identity, so that no save replaces one of them.
    InputFiles inputFiles() const;

    // Makes the views afresh with `settings`.
    Status convert(const Progress& progress = {});
    // Makes the views afresh with `with`, a copy the caller may change `settings` beside (the
    // window does, while the work runs on another thread).
    Status convert(const ConversionSettings& with, const Progress& progress);
    // Makes the views afresh with the settings a save to `target` needs.
    Status convertFor(const OutputTarget& target, const Progress& progress = {});
    // Whether the planes hold the views that `with` makes (a setting that only places the
    // views, such as the pair's order or halving, makes no difference).
    bool viewsAreFor(const ConversionSettings& with) const;

    // Writes the target's files, making the views for it first unless they are made already.
    // A save that fails or is cancelled leaves every existing file as it was.
    Status save(const OutputTarget& target, const Progress& progress = {});

  private:
    Status convertWith(const ConversionSettings& with, const Progress& progress);
    Status refused(const std::string& path, const Status& refusal) const;
    Status installPair(PixelPlane&& first, PixelPlane&& second);
    void forgetLoadedPair();

    RefusalWording wording_ = RefusalWording::AsItIs;

    StereoPlanes planes_;
    std::string firstPath_;
    std::string secondPath_;
    std::string depthMapPath_;
    PhotoMetadata metadata_;
    // The settings the views were last made with; none while they are not made.
    std::optional<ConversionSettings> viewsMadeWith_;
    // The pair as loaded while the planes hold it aligned (empty when it was let go).
    bool aligned_ = false;
    PixelPlane loadedFirst_;
    PixelPlane loadedSecond_;
};

}  // namespace k3v
