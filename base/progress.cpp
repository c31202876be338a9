#include "base/progress.h"

#include <algorithm>
#include <utility>

namespace k3v {

Progress::Progress(ProgressCallback callback, const std::atomic<bool>* cancel)
    : shared_(std::make_shared<Shared>()) {
    shared_->callback = std::move(callback);
    shared_->cancel = cancel;
}

Progress Progress::part(double from, double to, const char* stage) const {
    Progress part = *this;
    const double span = to_ - from_;
    part.from_ = from_ + std::clamp(from, 0.0, 1.0) * span;
    part.to_ = from_ + std::clamp(to, 0.0, 1.0) * span;
    part.stage_ = stage;
    return part;
}

void Progress::report(double fraction) const {
    if (shared_ == nullptr || !shared_->callback) {
        return;
    }
    const double whole = from_ + std::clamp(fraction, 0.0, 1.0) * (to_ - from_);
    std::lock_guard lock(shared_->mutex);
    if (whole < shared_->last) {
        return;
    }
    shared_->last = whole;
    shared_->callback(stage_, whole);
}

}  // namespace k3v
