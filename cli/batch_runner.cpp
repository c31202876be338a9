#include "cli/batch_runner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <mutex>
#include <new>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "base/cpu_budget.h"
#include "base/memory_probe.h"
#include "base/thread_runner.h"
#include "cli/batch_report.h"
#include "input/photo_metadata_reader.h"
#include "input/picture_decoder.h"
#include "output/output_format.h"
#include "output/output_naming.h"
#include "output/stereo_image_writer.h"
#include "stereo/conversion.h"
#include "stereo/stereo_planes.h"

namespace k3v {

namespace {

// The warning texts of the picture checks hold line breaks; a report line does not.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            line += ' ';
        } else if (c != '\r') {
            line += c;
        }
    }
    return line;
}

// Every file the batch reads, so that no job's output replaces another job's input either.
InputFiles BatchInputs(const std::vector<ConversionJob>& jobs) {
    std::vector<std::string> paths;
    for (const ConversionJob& job : jobs) {
        paths.push_back(job.first);
        paths.push_back(job.second);
        paths.push_back(job.depthMap);
    }
    return InputFiles(paths);
}

// The job's depth map, from its file or found in its folder, goes with the first picture.
Status LoadDepthMap(const ConversionJob& job, StereoPlanes& planes) {
    std::string path = job.depthMap;
    if (path.empty() && !job.depthMapDir.empty()) {
        const Result<std::string> found = FindDepthMap(job.depthMapDir, job.first);
        if (!found) {
            return found.status();
        }
        path = found.value();
    }
    if (path.empty()) {
        return Status::Ok();
    }
    PixelPlane map;
    if (Status decoded = DecodePictureFile(path, map); !decoded) {
        return decoded;
    }
    if (Status installed = InstallDepthMap(planes, map); !installed) {
        return CannotLoad(path, installed.message());
    }
    return Status::Ok();
}

Status LoadPictures(const ConversionJob& job, StereoPlanes& planes) {
    PixelPlane first;
    if (Status decoded = DecodePictureFile(job.first, first); !decoded) {
        return decoded;
    }
    if (Status installed =
            InstallFirstPicture(planes, std::move(first), WorkingCopy::LeftToConversion);
        !installed) {
        return CannotLoad(job.first, installed.message());
    }
    if (Status mapped = LoadDepthMap(job, planes); !mapped) {
        return mapped;
    }
    if (job.second.empty()) {
        return Status::Ok();
    }
    PixelPlane second;
    if (Status decoded = DecodePictureFile(job.second, second); !decoded) {
        return decoded;
    }
    if (Status installed =
            InstallSecondPicture(planes, std::move(second), WorkingCopy::LeftToConversion);
        !installed) {
        return CannotLoad(job.second, OneLine(installed.message()));
    }
    return Status::Ok();
}

// Shares the machine's memory between the jobs that run at once: a job waits while its
// planes would not fit beside those of the running jobs. A job alone always runs (and fails
// cleanly if its picture is too large for the machine).
class MemoryGate {
  public:
    explicit MemoryGate(uint64_t budget) : free_(budget) {}

    void acquire(uint64_t bytes) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return running_ == 0 || bytes <= free_; });
        free_ -= std::min(bytes, free_);
        taken_ += bytes;
        ++running_;
        (void)taken_;
    }

    void release(uint64_t bytes, uint64_t budget) {
        {
            std::lock_guard lock(mutex_);
            taken_ -= bytes;
            --running_;
            free_ = taken_ >= budget ? 0 : budget - taken_;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t free_;
    uint64_t taken_ = 0;
    int running_ = 0;
};

// A job's hold on the gate for as long as it runs, released however the job ends.
class GatePass {
  public:
    GatePass(MemoryGate& gate, uint64_t bytes, uint64_t budget)
        : gate_(gate), bytes_(bytes), budget_(budget) {
        gate_.acquire(bytes_);
    }
    ~GatePass() { gate_.release(bytes_, budget_); }
    GatePass(const GatePass&) = delete;
    GatePass& operator=(const GatePass&) = delete;

  private:
    MemoryGate& gate_;
    uint64_t bytes_;
    uint64_t budget_;
};

// Six planes, a decode buffer and the encoder's working memory, roughly.
constexpr int kPlanesPerJob = 9;

uint64_t EstimatedJobBytes(const ConversionJob& job) {
    const Result<PictureSize> size = PeekPictureSize(job.first);
    return size ? PlaneBytes(size.value().width, size.value().height, kPlanesPerJob) : 0;
}

// The caller has made sure that the output replaces none of the batch's inputs. The
// picture's size goes to `outcome` once it is known, and what of the photo's information the
// outputs cannot keep to its message.
Status RunConversionJob(const ConversionJob& job, const CliOptions& options, JobOutcome& outcome) {
    if (OutputFormatOfName(job.output) == OutputFormat::Unknown) {
        return Status::Error(UnknownFormatMessage(job.output));
    }
    StereoPlanes planes;
    Status loaded = LoadPictures(job, planes);
    outcome.width = planes.SourceWidth;
    outcome.height = planes.SourceHeight;
    if (!loaded) {
        return loaded;
    }
    PhotoMetadataRead photo;
    if (options.keepMetadata) {
        photo = ReadPhotoMetadata(job.first);
        outcome.message = OneLine(photo.note);
    }
    const ConversionSettings settings = SettingsForSaving(options.settings, job.output);
    ConvertPlanes(settings, planes);
    return WriteStereoImage(job.output, settings, planes, options.jpegQuality, photo.metadata);
}

// Whatever a job throws, on any of its threads, fails that job alone.
Status Guarded(const ConversionJob& job, const std::function<Status()>& step) {
    const auto failed = [&](const std::string& reason) {
        return Status::Error("Cannot convert \"" + job.first + "\": " + reason);
    };
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return failed("there is not enough memory");
    } catch (const std::length_error&) {  // a vector asked for more than it can hold
        return failed("there is not enough memory");
    } catch (const std::exception& e) {
        return failed(e.what());
    } catch (...) {
        return failed("an unexpected error");
    }
}

// Shares the process's cores between the jobs that run at once for as long as it lives.
class CoreShare {
  public:
    explicit CoreShare(int perJob) {
        const int cap = LimitThreads(0);
        previous_ = cap;
        LimitThreads(cap > 0 ? std::min(cap, perJob) : perJob);
    }
    ~CoreShare() { LimitThreads(previous_); }
    CoreShare(const CoreShare&) = delete;
    CoreShare& operator=(const CoreShare&) = delete;

  private:
    int previous_ = 0;
};

bool AllExist(const std::vector<std::string>& files) {
    std::error_code error;
    return std::all_of(files.begin(), files.end(), [&](const std::string& file) {
        return std::filesystem::exists(file, error);
    });
}

}  // namespace

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
    const JobConversion conversion = convert ? convert : RunConversionJob;
    const int cores = CpuBudget();
    const size_t asked = options.jobs > 0 ? size_t(options.jobs) : size_t(cores);
    const size_t workers = std::clamp<size_t>(asked, 1, std::max<size_t>(jobs.size(), 1));
    // Jobs x threads stay within the cores: more would only wait for each other.
    const CoreShare share(std::max(1, cores / int(std::min<size_t>(workers, size_t(cores)))));
    const uint64_t budget = AvailableMemoryBytes() / 10 * 8;
    MemoryGate gate(budget == 0 ? UINT64_MAX : budget);
    std::mutex outputMutex;
    const InputFiles inputs = BatchInputs(jobs);
    std::atomic<size_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    size_t done = 0;
    size_t failed = 0;
    bool reportFailed = false;

    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            const ConversionJob& job = jobs[i];
            const auto jobStart = std::chrono::steady_clock::now();
            const std::vector<std::string> saved = SavedFileNames(job.output, options.settings);
            JobOutcome outcome;
            outcome.input = job.first;
            outcome.second = job.second;
            outcome.outputs = saved;
            Status result = Status::Ok();
            // Saves are atomic, so an output that exists is complete.
            const bool skip = options.skipExisting && AllExist(saved);
            if (skip) {
                outcome.status = JobOutcome::Status::Skipped;
                outcome.message = "the output exists";
            } else {
                result = Guarded(job, [&] {
                    const GatePass pass(gate, EstimatedJobBytes(job),
                                        budget == 0 ? UINT64_MAX : budget);
                    for (const std::string& file : saved) {
                        if (Status allowed = inputs.checkOutput(file); !allowed) {
                            return allowed;
                        }
                    }
                    return conversion(job, options, outcome);
                });
            }
            if (!result) {
                outcome.status = JobOutcome::Status::Failed;
                outcome.message = OneLine(result.message());
            }
            outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - jobStart).count();

            std::lock_guard lock(outputMutex);
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
            if (skip) {
                report << "Skipped \"" << job.first << "\": \"" << saved.front() << "\" exists"
                       << std::endl;
            } else if (result) {
                if (!outcome.message.empty()) {
                    errors << "k3v-convert: " << outcome.message << std::endl;
                }
                for (const std::string& file : saved) {
                    report << "Saved \"" << file << "\"" << std::endl;
                }
            } else {
                ++failed;
                errors << "k3v-convert: " << result.message() << std::endl;
            }
            if (progress != nullptr) {
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                *progress << "\r" << ProgressLine(done, jobs.size(), failed, seconds) << std::flush;
            }
        }
    };
    RunOnThreads(int(workers), [&](int) { work(); });
    if (progress != nullptr) {
        *progress << "\n";
    }
    return failed == 0 && !reportFailed ? 0 : 1;
}

}  // namespace k3v
