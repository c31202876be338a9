#pragma once
// One conversion of the batch tool from files to files: the picture (in standard mode the
// pair, right eye then left eye), its depth map, and the output, converted once and saved.

#include <cstdint>
#include <optional>
#include <string>

#include "align/pair_alignment.h"
#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "job/stereo_job.h"
#include "output/output_format.h"
#include "output/output_naming.h"
#include "output/output_target.h"
#include "stereo/conversion_settings.h"

namespace k3v {

struct ConversionJob {
    std::string first;
    std::string second;
    std::string output;
    std::string depthMap;     // the map's file, when it is known
    std::string depthMapDir;  // otherwise the folder that holds it, when there is one
};

// The depth map of `input` in `folder`: the one file named like it with "_depth" before the
// extension, in any picture format. Fails, naming what was looked for, when there is none.
Result<std::string> FindDepthMap(const std::string& folder, const std::string& input);

// The options every file of a batch is converted with.
struct BatchOptions {
    ConversionSettings settings;
    // Standard Stereo's pairs lined up before the conversion (no effect in K3V mode).
    AlignmentRequest alignment;
    int jpegQuality = kDefaultJpegQuality;
    TiffCompression tiffCompression = kDefaultTiffCompression;
    bool keepMetadata = false;  // JPEG outputs keep the photo's information
    bool skipExisting = false;  // a job whose outputs all exist is skipped
    int jobs = 0;               // files converted at once; 0: as many as cores and memory allow
};

// What a conversion learnt on its way, for the batch's report: the first picture's size (0
// when it was not read) and what of the photo's information the outputs could not keep.
struct ConversionNotes {
    int32_t width = 0;
    int32_t height = 0;
    std::string note;
    std::optional<AlignmentOutcome> alignment;  // what aligning the pair did, when it was asked
};

// One conversion of the batch tool from files to files. It owns its files and the output
// target decided from them and the options, once.
class FileConversion {
  public:
    FileConversion(const ConversionJob& files, const BatchOptions& options);

    const ConversionJob& files() const { return files_; }
    const OutputTarget& target() const { return target_; }
    // Whether every output exists; saves are atomic, so an output that exists is complete.
    bool outputsExist() const;
    // Ok when the outputs replace none of `inputs` and their format is known.
    Status check(const InputFiles& inputs) const;
    // Whether the pair is aligned before the conversion: then the pictures are loaded whole.
    bool aligns() const;

    // Loads the files, aligns the pair if asked, makes the views once for the target and saves
    // them there. `sized` is told the first picture's size before it is decoded. A refused
    // picture's message names its file on one line; a pair that cannot be aligned fails as
    // "Cannot convert "FIRST": cannot align: ..." and nothing is saved.
    Status run(const PictureSizeCheck& sized, const Progress& progress,
               ConversionNotes& notes) const;

  private:
    ConversionJob files_;
    ConversionSettings settings_;
    AlignmentRequest alignment_;
    OutputTarget target_;
};

}  // namespace k3v
