#include "app/app_state.h"

#include <algorithm>

namespace k3v {

Status MakeStartState(AppState& state, const QString& startFolder) {
    Status status = MakePlaceholderPlanes(state.planes);
    if (!status.ok()) {
        return status;
    }
    state.settings = ConversionSettings{};
    state.LastFolder = startFolder;
    state.SaveFolder = startFolder;
    state.FirstPicturePath.clear();
    state.SecondPicturePath.clear();
    state.DepthEntry = kDefaultDepthEntry;
    return Status::Ok();
}

QString ProposedSaveName(const QString& picturePath) {
    // Both separators count, so a path typed the Windows way gives the same name.
    const qsizetype slash = std::max({picturePath.lastIndexOf(u'/'), picturePath.lastIndexOf(u'\\'),
                                      picturePath.lastIndexOf(u':')});
    QString name = picturePath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name + QStringLiteral("_Unwrapped");
}

}  // namespace k3v
