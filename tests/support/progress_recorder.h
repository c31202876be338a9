#pragma once
// A Progress for tests of long work: it keeps every fraction the work reports and cancels the
// work at the first report of at least a given fraction.

#include <atomic>
#include <cstddef>
#include <vector>

#include "base/progress.h"

namespace k3v::testing {

class ProgressRecorder {
  public:
    // `cancelAt` above 1: never cancels.
    explicit ProgressRecorder(double cancelAt = 2.0)
        : progress_(
              [this, cancelAt](const char*, double fraction) {
                  fractions_.push_back(fraction);
                  if (fraction >= cancelAt && !cancel_.load()) {
                      cancel_.store(true);
                      reportsBeforeCancel_ = fractions_.size();
                  }
              },
              &cancel_) {}
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    const Progress& progress() const { return progress_; }

    // Read once the work has returned (the callback runs on the work's threads).
    const std::vector<double>& fractions() const { return fractions_; }
    bool cancelled() const { return cancel_.load(); }
    size_t reportsAfterCancel() const {
        return cancelled() ? fractions_.size() - reportsBeforeCancel_ : 0;
    }

  private:
    std::atomic<bool> cancel_{false};
    std::vector<double> fractions_;
    size_t reportsBeforeCancel_ = 0;
    Progress progress_;  // last: its callback uses the members above
};

}  // namespace k3v::testing
