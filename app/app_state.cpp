#include "app/app_state.h"

#include "output/output_naming.h"

namespace k3v {

Status MakeStartState(AppState& state, const QString& startFolder) {
    Status status = state.job.showPlaceholder();
    if (!status.ok()) {
        return status;
    }
    state.job.settings = ConversionSettings{};
    state.LastFolder = startFolder;
    state.SaveFolder = startFolder;
    state.FirstPicturePath.clear();
    state.SecondPicturePath.clear();
    state.DepthEntry = kDefaultDepthEntry;
    state.PairOrderChosen = false;
    return Status::Ok();
}

QString ProposedSaveName(const QString& picturePath) {
    // A path typed the Windows way gives the same name.
    return QString::fromStdString(
        UnwrappedName(picturePath.toStdString(), FolderSeparators::AlsoWindows));
}

}  // namespace k3v
