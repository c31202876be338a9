#pragma once
// Runs a batch of file conversions: as many at once as there are cores this process may use
// (or as asked), each with its share of the cores, while their planes fit in memory beside
// each other. A batch goes on past a failed file; an exception from a conversion (no memory,
// say), on any of its threads, fails that file alone. No output replaces any input of the
// batch.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "job/file_conversion.h"
#include "output/output_format.h"
#include "stereo/conversion_settings.h"

namespace k3v {

// How one file of the batch ended, for its report.
struct JobOutcome {
    enum class Status { Ok, Failed, Skipped };
    std::string input;
    std::string second;                // standard mode's second picture; empty otherwise
    std::vector<std::string> outputs;  // the files written, or that would have been
    Status status = Status::Ok;
    // Why it failed or was skipped (on one line); when ok, what of the photo's information was
    // not kept, or empty.
    std::string message;
    int width = 0, height = 0;                  // the first picture's size; 0 when it was not read
    std::optional<AlignmentOutcome> alignment;  // what aligning the pair did, when it was asked
    double seconds = 0;
};

// Told of each finished job, one at a time, as it ends: its outcome, and the status whose
// message goes to the user (ok for a skipped job).
using JobFinished = std::function<void(const JobOutcome& outcome, const Status& result)>;

// Does one job instead of the conversion, filling in what it learns (tests give one).
using FileConverter = std::function<Status(const ConversionJob& job, JobOutcome& outcome)>;

void RunBatch(const std::vector<ConversionJob>& jobs, const BatchOptions& options,
              const JobFinished& finished, const FileConverter& convert = nullptr);

}  // namespace k3v
