#include "cli/batch_runner.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/batch_report.h"

namespace k3v {

std::string ProgressLine(size_t done, size_t total, size_t failed, double seconds) {
    std::ostringstream line;
    line << done << " of " << total << " files done";
    if (failed > 0) {
        line << ", " << failed << " failed";
    }
    if (seconds > 0) {
        const double perMinute = double(done) * 60.0 / seconds;
        line << " (" << std::fixed << std::setprecision(perMinute < 10 ? 1 : 0) << perMinute
             << " files a minute)";
    }
    return line.str();
}

int RunJobs(const std::vector<ConversionJob>& jobs, const CliOptions& options, std::ostream& report,
            std::ostream& errors, std::ostream* progress, std::ostream* jsonReport,
            const JobConversion& convert) {
    const size_t total = jobs.size();
    const auto start = std::chrono::steady_clock::now();
    size_t done = 0;
    size_t failed = 0;
    bool reportFailed = false;
    // Each finished job's lines, one job at a time.
    const JobFinished finished = [&](const JobOutcome& outcome, const Status& result) {
        ++done;
        if (progress != nullptr) {
            *progress << "\r\033[K" << std::flush;  // the report line replaces the count
        }
        // Flushed line by line: a scheduler or a person reads it while the batch runs.
        // A report that stops taking lines (a full disk) is said once and fails the batch;
        // the conversions go on, since their files are still worth having.
        if (jsonReport != nullptr && !reportFailed) {
            errno = 0;
            *jsonReport << ReportLine(outcome) << std::endl;
            if (!*jsonReport) {
                reportFailed = true;
                const std::string reason = errno != 0 ? std::strerror(errno) : "write failed";
                errors << "k3v-convert: " << CannotWrite(options.report, reason).message()
                       << std::endl;
            }
        }
        if (outcome.status == JobOutcome::Status::Skipped) {
            report << "Skipped \"" << outcome.input << "\": \"" << outcome.outputs.front()
                   << "\" exists" << std::endl;
        } else if (result) {
            if (!outcome.message.empty()) {
                errors << "k3v-convert: " << outcome.message << std::endl;
            }
            const std::string aligned =
                outcome.alignment ? " (" + outcome.alignment->describe() + ")" : "";
            for (const std::string& file : outcome.outputs) {
                report << "Saved \"" << file << "\"" << aligned << std::endl;
            }
        } else {
            ++failed;
            errors << "k3v-convert: " << result.message() << std::endl;
        }
        if (progress != nullptr) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            *progress << "\r" << ProgressLine(done, total, failed, seconds) << std::flush;
        }
    };
    BatchOptions batch;
    batch.settings = options.settings;
    batch.alignment = options.alignment;
    batch.jpegQuality = options.jpegQuality;
    batch.tiffCompression = options.tiffCompression;
    batch.keepMetadata = options.keepMetadata;
    batch.skipExisting = options.skipExisting;
    batch.jobs = options.jobs;
    FileConverter standIn;
    if (convert) {
        standIn = [&](const ConversionJob& job, JobOutcome& outcome) {
            return convert(job, options, outcome);
        };
    }
    RunBatch(jobs, batch, finished, standIn);
    if (progress != nullptr) {
        *progress << "\n";
    }
    return failed == 0 && !reportFailed ? 0 : 1;
}

}  // namespace k3v
