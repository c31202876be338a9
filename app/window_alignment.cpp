#include "app/window_alignment.h"

#include <QCoreApplication>
#include <QDir>

#include "app/job_runner.h"

namespace k3v {

namespace {

bool SameRequest(const AlignmentRequest& a, const AlignmentRequest& b) {
    return a.align == b.align && a.stereoWindow == b.stereoWindow &&
           a.windowBehind == b.windowBehind && a.swapEyes == b.swapEyes;
}

}  // namespace

AlignmentRequest WindowAlignment::Wanted(const AppState& state) {
    AlignmentRequest request;
    if (state.job.settings.TransformationMode != kStandardStereo ||
        state.SecondPicturePath.isEmpty()) {
        return request;
    }
    request.align = state.AlignPair;
    request.stereoWindow = state.StereoWindow;  // the nearest point at the screen plane
    // Which point is nearest depends on which picture is the left eye.
    request.swapEyes = state.StereoWindow && state.job.settings.SwapEyes;
    return request;
}

bool WindowAlignment::update(AppState& state, JobRunner& runner) {
    const AlignmentRequest wanted = Wanted(state);
    if (done_ && SameRequest(*done_, wanted)) {
        return false;
    }
    apply(state, runner, wanted);
    // A depth map stays only with pictures of its size, and the aligned pair is cropped.
    if (!state.DepthMapPath.isEmpty() && state.job.planes().DepthMap.empty()) {
        state.DepthMapNote =
            QCoreApplication::translate("MainWindow",
                                        "Depth map %1 dropped: the aligned pair has another size")
                .arg(QDir::toNativeSeparators(state.DepthMapPath));
        state.DepthMapPath.clear();
    }
    return true;
}

void WindowAlignment::apply(AppState& state, JobRunner& runner, const AlignmentRequest& wanted) {
    if (!wanted.any()) {
        // Putting the loaded pair back moves planes, it does not decode: no thread needed.
        const Status restored = state.job.unalignPair();
        state.AlignmentNote =
            restored.ok() ? QString() : QString::fromStdString(restored.message());
        done_ = wanted;
        return;
    }
    std::optional<AlignmentOutcome> outcome;
    const Status aligned = runner.run(
        QCoreApplication::translate("MainWindow", "Aligning"), [&](const Progress& progress) {
            Result<AlignmentOutcome> result =
                state.job.alignPair(wanted, progress, LoadedPair::Kept);
            if (!result) {
                return result.status();
            }
            outcome = result.value();
            return Status::Ok();
        });
    if (outcome) {
        state.AlignmentNote = QString::fromStdString(outcome->describe());
        done_ = wanted;
        return;
    }
    // The preview shows the pair as loaded, not an alignment asked for before.
    (void)state.job.unalignPair();
    if (aligned.cancelled()) {
        state.AlignmentNote.clear();
        done_.reset();
    } else {
        state.AlignmentNote = QString::fromStdString(OnOneLine(aligned.message()));
        done_ = wanted;
    }
}

}  // namespace k3v
