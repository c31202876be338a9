#pragma once
// One conversion of the batch tool from files to files: the picture (in standard mode the
// pair, right eye then left eye), its depth map, and the output, converted once and saved.

#include <cstdint>
#include <string>

#include "base/progress.h"
#include "base/result.h"
#include "base/status.h"
#include "job/stereo_job.h"
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

// What a conversion learnt on its way, for the batch's report: the first picture's size (0
// when it was not read) and what of the photo's information the outputs could not keep.
struct ConversionNotes {
    int32_t width = 0;
    int32_t height = 0;
    std::string note;
};

// Loads the files of `job` with `settings`, makes the views once for `target` and saves them
// there. The caller has checked the target against the inputs. `sized` is told the first
// picture's size before it is decoded. A refused picture's message names its file on one line.
Status ConvertFiles(const ConversionJob& job, const ConversionSettings& settings,
                    const OutputTarget& target, const PictureSizeCheck& sized,
                    const Progress& progress, ConversionNotes& notes);

}  // namespace k3v
