#include "job/batch_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "base/cpu_budget.h"
#include "base/memory_probe.h"
#include "base/thread_runner.h"

namespace k3v {

namespace {

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

// Shares the machine's memory between the jobs that run at once: a job waits while its
// planes would not fit beside those of the running jobs. A job alone always runs (and fails
// cleanly if its picture is too large for the machine).
class MemoryGate {
  public:
    explicit MemoryGate(uint64_t budget) : budget_(budget), free_(budget) {}

    void acquire(uint64_t bytes) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return running_ == 0 || bytes <= free_; });
        free_ -= std::min(bytes, free_);
        taken_ += bytes;
        ++running_;
        (void)taken_;
    }

    void release(uint64_t bytes) {
        {
            std::lock_guard lock(mutex_);
            taken_ -= bytes;
            --running_;
            free_ = taken_ >= budget_ ? 0 : budget_ - taken_;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const uint64_t budget_;
    uint64_t free_;
    uint64_t taken_ = 0;
    int running_ = 0;
};

// A job's hold on the gate for as long as it runs, released however the job ends.
class GatePass {
  public:
    GatePass(MemoryGate& gate, uint64_t bytes) : gate_(gate), bytes_(bytes) {
        gate_.acquire(bytes_);
    }
    ~GatePass() { gate_.release(bytes_); }
    GatePass(const GatePass&) = delete;
    GatePass& operator=(const GatePass&) = delete;

  private:
    MemoryGate& gate_;
    uint64_t bytes_;
};

// Six planes, a decode buffer and the encoder's working memory, roughly.
constexpr int kPlanesPerJob = 9;
// An aligned pair adds the pictures' aligned copies and the alignment's grey working pictures.
constexpr int kAlignmentPlanes = 4;

// The job waits at the memory gate once its first picture's size is known, and holds its pass
// until it ends.
Status ConvertJob(const FileConversion& conversion, MemoryGate& gate, JobOutcome& outcome) {
    std::optional<GatePass> pass;
    const PictureSizeCheck admit = [&](const PictureSize& size) {
        const int planes = kPlanesPerJob + (conversion.aligns() ? kAlignmentPlanes : 0);
        pass.emplace(gate, PlaneBytes(size.width, size.height, planes));
    };
    ConversionNotes notes;
    const Status converted = conversion.run(admit, {}, notes);
    outcome.width = notes.width;
    outcome.height = notes.height;
    outcome.message = notes.note;
    outcome.alignment = notes.alignment;
    return converted;
}

// Whatever a job throws, on any of its threads, fails that job alone.
Status Guarded(const std::string& picture, const std::function<Status()>& step) {
    const auto failed = [&](const std::string& reason) { return CannotConvert(picture, reason); };
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

}  // namespace

void RunBatch(const std::vector<ConversionJob>& jobs, const BatchOptions& options,
              const JobFinished& finished, const FileConverter& convert) {
    const int cores = CpuBudget();
    const size_t asked = options.jobs > 0 ? size_t(options.jobs) : size_t(cores);
    const size_t workers = std::clamp<size_t>(asked, 1, std::max<size_t>(jobs.size(), 1));
    // Jobs x threads stay within the cores: more would only wait for each other.
    const CoreShare share(std::max(1, cores / int(std::min<size_t>(workers, size_t(cores)))));
    const uint64_t budget = AvailableMemoryBytes() / 10 * 8;
    MemoryGate gate(budget == 0 ? UINT64_MAX : budget);
    std::mutex finishedMutex;
    const InputFiles inputs = BatchInputs(jobs);
    std::atomic<size_t> next{0};

    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            const auto start = std::chrono::steady_clock::now();
            const FileConversion conversion(jobs[i], options);
            const ConversionJob& files = conversion.files();
            JobOutcome outcome;
            outcome.input = files.first;
            outcome.second = files.second;
            outcome.outputs = conversion.target().files();
            Status result = Status::Ok();
            if (options.skipExisting && conversion.outputsExist()) {
                outcome.status = JobOutcome::Status::Skipped;
                outcome.message = "the output exists";
            } else {
                result = Guarded(files.first, [&] {
                    if (Status allowed = conversion.check(inputs); !allowed) {
                        return allowed;
                    }
                    return convert ? convert(files, outcome)
                                   : ConvertJob(conversion, gate, outcome);
                });
            }
            if (!result) {
                outcome.status = JobOutcome::Status::Failed;
                outcome.message = OnOneLine(result.message());
            }
            outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const std::lock_guard lock(finishedMutex);
            finished(outcome, result);
        }
    };
    RunOnThreads(int(workers), [&](int) { work(); });
}

}  // namespace k3v
