#pragma once
// How far a long piece of work has come, told to whoever waits for it, and the wish to stop
// it. The work polls cancelled() between bands of rows (or tiles, or passes) and, once it is
// set, stops with Status::Cancelled(): nothing it was making is kept.
//
// A load, a conversion or a save is one whole, 0 to 1; each stage of it (decode, a filter
// pass, synthesis, composition, encoding, writing) is a part() of that range, so the fraction
// the callback sees only rises and a finished piece of work ends at exactly 1.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace k3v {

// Receives the stage under way ("decode", "sharpen", ...; a string literal) and the fraction
// done of the whole work. Called on whichever thread made progress, never twice at once.
using ProgressCallback = std::function<void(const char* stage, double fraction)>;

class Progress {
  public:
    Progress() = default;  // reports nowhere and is never cancelled
    // `cancel` (may be null) must outlive every copy of this Progress.
    Progress(ProgressCallback callback, const std::atomic<bool>* cancel);

    // The part [from, to] of this work (both 0..1 of it), named `stage`; reports to the part
    // are scaled into that range.
    Progress part(double from, double to, const char* stage) const;
    Progress part(double from, double to) const { return part(from, to, stage_); }

    // `fraction` (0..1) of this work is done. Thread-safe; a fraction below one already
    // reported is not passed on.
    void report(double fraction) const;
    void report(uint64_t done, uint64_t total) const {
        report(total == 0 ? 1.0 : double(done) / double(total));
    }

    bool cancelled() const {
        return (shared_ != nullptr && shared_->cancel != nullptr &&
                shared_->cancel->load(std::memory_order_relaxed)) ||
               (stop_ != nullptr && stop_->load(std::memory_order_relaxed));
    }

    // This work, also stopped once `stop` (which must outlive every copy) is set: for work that
    // another thread may have to end early, as when what it waits for has failed.
    Progress stoppedBy(const std::atomic<bool>* stop) const {
        Progress stoppable = *this;
        stoppable.stop_ = stop;
        return stoppable;
    }

  private:
    struct Shared {
        ProgressCallback callback;
        const std::atomic<bool>* cancel = nullptr;
        std::mutex mutex;
        double last = 0.0;
    };
    std::shared_ptr<Shared> shared_;
    const std::atomic<bool>* stop_ = nullptr;
    double from_ = 0.0;
    double to_ = 1.0;
    const char* stage_ = "";
};

}  // namespace k3v
