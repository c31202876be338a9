#pragma once
// Runs the conversions the command line asks for through the batch of conversion jobs
// (job/batch_run.h) and tells how each ended: a "Saved" or "Skipped" line on the report, a
// failure on one line of standard error, a JSON line, and a running count on a terminal.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/status.h"
#include "cli/batch_report.h"
#include "cli/cli_options.h"

namespace k3v {

// The progress a batch shows on a terminal: "3 of 10 files done, 1 failed (4.5 files a
// minute)".
std::string ProgressLine(size_t done, size_t total, size_t failed, double seconds);

// Does one job: loads, converts and saves, filling in the picture's size. RunJobs has its own;
// a test may give another.
using JobConversion =
    std::function<Status(const ConversionJob& job, const CliOptions& options, JobOutcome& outcome)>;

// Returns the exit status: 0 when every job succeeded or was skipped, 1 otherwise. Failures go
// to `errors` one line each; `progress` (may be null) receives a running count on a terminal;
// `jsonReport` (may be null) one JSON line per job as it finishes (batch_report.h). The jobs
// share the cores this process may use (cpu_budget.h): as many run at once as there are cores
// (or as --jobs says), each with its share of them. An exception from a job (no memory, say)
// fails that job alone.
int RunJobs(const std::vector<ConversionJob>& jobs, const CliOptions& options, std::ostream& report,
            std::ostream& errors, std::ostream* progress, std::ostream* jsonReport = nullptr,
            const JobConversion& convert = nullptr);

}  // namespace k3v
