#pragma once
// The window's alignment of a Standard Stereo pair. It runs on the runner's thread when a pair
// is loaded with "Align the pair" or "Stereo window at the nearest point" checked, or when
// either is switched or the mode changes; never for a setting that only the conversion takes,
// so a slider converts the aligned pair kept in the job. The job keeps the pair as loaded
// beside it, so switching both items off needs no load.

#include <optional>

#include "align/pair_alignment.h"
#include "app/app_state.h"

namespace k3v {

class JobRunner;

class WindowAlignment {
  public:
    // What the Stereo menu's items ask of the loaded pictures: nothing outside Standard
    // Stereo mode or without a second picture.
    static AlignmentRequest Wanted(const AppState& state);

    // A picture was loaded: the pair is aligned afresh at the next update.
    void pairChanged() { done_.reset(); }

    // Aligns the job's pair as `state` asks, unless it holds that alignment already, or puts
    // back the pair as loaded when nothing is asked. `state.AlignmentNote` gets what was done,
    // or why the pair could not be aligned (the pair then stays as loaded); a depth map that
    // no longer fits is dropped, as a new picture drops it. Returns whether anything was
    // done, so that the controls follow. A cancelled alignment leaves the pair as loaded and
    // is tried again at the next update.
    bool update(AppState& state, JobRunner& runner);

  private:
    void apply(AppState& state, JobRunner& runner, const AlignmentRequest& wanted);

    // The request the job's pair was last aligned for (or failed to be); none: not yet.
    std::optional<AlignmentRequest> done_;
};

}  // namespace k3v
