#include "app/lasting_settings.h"

#include <algorithm>
#include <iterator>

#include "app/full_size_view.h"

namespace k3v {

namespace {

// The keys, grouped as the menus are.
const QString kKeyAnaglyph = QStringLiteral("stereo/anaglyph");
const QString kKeyGlasses = QStringLiteral("stereo/glasses");
const QString kKeySwapEyes = QStringLiteral("stereo/swapEyes");
const QString kKeyHalfSize = QStringLiteral("stereo/halfSize");
const QString kKeyParallelOrder = QStringLiteral("stereo/parallelOrder");
const QString kKeyPairOrderChosen = QStringLiteral("stereo/parallelOrderChosen");
const QString kKeyWrapAround = QStringLiteral("stereo/wrapAround");
const QString kKeyInvertDepthMap = QStringLiteral("stereo/invertDepthMap");
const QString kKeyAlignPair = QStringLiteral("stereo/alignPair");
const QString kKeyStereoWindow = QStringLiteral("stereo/stereoWindow");
const QString kKeyLayout = QStringLiteral("file/layout");
const QString kKeyKeepPhotoInformation = QStringLiteral("file/keepPhotoInformation");
const QString kKeyOpenSavedFile = QStringLiteral("file/openSavedFile");
const QString kKeyOpenFolder = QStringLiteral("dialogs/openFolder");
const QString kKeySaveFolder = QStringLiteral("dialogs/saveFolder");
const QString kKeySaveType = QStringLiteral("dialogs/saveType");
const QString kKeyFullSizeGeometry = QStringLiteral("view/fullSizeGeometry");
const QString kKeyFullSizeMode = QStringLiteral("view/fullSizeMode");
const QString kKeyFullSizeZoom = QStringLiteral("view/fullSizeZoom");
const QString kKeyRecent = QStringLiteral("recent");
const QString kKeyFirst = QStringLiteral("first");
const QString kKeySecond = QStringLiteral("second");

// An integer of [0, count), or nothing; an edited file may hold anything.
bool ReadIndex(const QSettings& store, const QString& key, int count, int& index) {
    bool ok = false;
    const int value = store.value(key).toInt(&ok);
    if (!store.contains(key) || !ok || value < 0 || value >= count) {
        return false;
    }
    index = value;
    return true;
}

void ReadSwitch(const QSettings& store, const QString& key, bool& value) {
    if (store.contains(key)) {
        value = store.value(key).toBool();
    }
}

void ReadText(const QSettings& store, const QString& key, QString& value) {
    if (store.contains(key)) {
        value = store.value(key).toString();
    }
}

// The array keeps the latest first.
QList<RecentPicture> ReadRecent(QSettings& store) {
    QList<RecentPicture> list;
    const int count = store.beginReadArray(kKeyRecent);
    for (int i = 0; i < count && list.size() < kRecentPictureCount; ++i) {
        store.setArrayIndex(i);
        const RecentPicture entry{store.value(kKeyFirst).toString(),
                                  store.value(kKeySecond).toString()};
        if (!entry.first.isEmpty() && !list.contains(entry)) {
            list.append(entry);
        }
    }
    store.endArray();
    return list;
}

}  // namespace

std::unique_ptr<QSettings> OpenUserSettings() {
    return std::make_unique<QSettings>(QStringLiteral("Quorvex"), QStringLiteral("k3v-stereo"));
}

void ReadLastingSettings(QSettings& store, AppState& state) {
    ConversionSettings& settings = state.job.settings;
    int index = 0;
    if (ReadIndex(store, kKeyAnaglyph, int(AnaglyphKind::Dubois) + 1, index)) {
        settings.AnaglyphMethod = AnaglyphKind(index);
    }
    if (ReadIndex(store, kKeyGlasses, int(GlassesKind::AmberBlue) + 1, index)) {
        settings.Glasses = GlassesKind(index);
    }
    if (ReadIndex(store, kKeyLayout, kSeparateFiles + 1, index)) {
        settings.StereoLayout = index;
    }
    ReadSwitch(store, kKeySwapEyes, settings.SwapEyes);
    ReadSwitch(store, kKeyHalfSize, settings.HalfSize);
    bool parallel = settings.PairOrder == EyeOrder::Parallel;
    ReadSwitch(store, kKeyParallelOrder, parallel);
    settings.PairOrder = parallel ? EyeOrder::Parallel : EyeOrder::Cross;
    ReadSwitch(store, kKeyPairOrderChosen, state.PairOrderChosen);
    ReadSwitch(store, kKeyWrapAround, settings.WrapAround);
    ReadSwitch(store, kKeyInvertDepthMap, settings.InvertDepthMap);
    ReadSwitch(store, kKeyAlignPair, state.AlignPair);
    ReadSwitch(store, kKeyStereoWindow, state.StereoWindow);
    ReadSwitch(store, kKeyKeepPhotoInformation, state.KeepPhotoInformation);
    ReadSwitch(store, kKeyOpenSavedFile, state.OpenSavedFile);
    ReadText(store, kKeyOpenFolder, state.LastFolder);
    ReadText(store, kKeySaveFolder, state.SaveFolder);
    ReadText(store, kKeySaveType, state.SaveType);
    if (store.contains(kKeyFullSizeGeometry)) {
        state.FullSizeGeometry = store.value(kKeyFullSizeGeometry).toByteArray();
    }
    ReadIndex(store, kKeyFullSizeMode, kFullSizeModeCount, state.FullSizeMode);
    const double zoom = store.value(kKeyFullSizeZoom).toDouble();
    if (std::find(std::begin(kFullSizeZooms), std::end(kFullSizeZooms), zoom) !=
        std::end(kFullSizeZooms)) {
        state.FullSizeZoom = zoom;
    }
    state.RecentPictures = ReadRecent(store);
}

void WriteLastingSettings(QSettings& store, const AppState& state) {
    const ConversionSettings& settings = state.job.settings;
    store.setValue(kKeyAnaglyph, int(settings.AnaglyphMethod));
    store.setValue(kKeyGlasses, int(settings.Glasses));
    store.setValue(kKeyLayout, int(settings.StereoLayout));
    store.setValue(kKeySwapEyes, settings.SwapEyes);
    store.setValue(kKeyHalfSize, settings.HalfSize);
    store.setValue(kKeyParallelOrder, settings.PairOrder == EyeOrder::Parallel);
    store.setValue(kKeyPairOrderChosen, state.PairOrderChosen);
    store.setValue(kKeyWrapAround, settings.WrapAround);
    store.setValue(kKeyInvertDepthMap, settings.InvertDepthMap);
    store.setValue(kKeyAlignPair, state.AlignPair);
    store.setValue(kKeyStereoWindow, state.StereoWindow);
    store.setValue(kKeyKeepPhotoInformation, state.KeepPhotoInformation);
    store.setValue(kKeyOpenSavedFile, state.OpenSavedFile);
    store.setValue(kKeyOpenFolder, state.LastFolder);
    store.setValue(kKeySaveFolder, state.SaveFolder);
    store.setValue(kKeySaveType, state.SaveType);
    store.setValue(kKeyFullSizeGeometry, state.FullSizeGeometry);
    store.setValue(kKeyFullSizeMode, state.FullSizeMode);
    store.setValue(kKeyFullSizeZoom, state.FullSizeZoom);
    store.remove(kKeyRecent);  // a longer old list would leave its tail
    store.beginWriteArray(kKeyRecent, int(state.RecentPictures.size()));
    for (int i = 0; i < state.RecentPictures.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(kKeyFirst, state.RecentPictures[i].first);
        store.setValue(kKeySecond, state.RecentPictures[i].second);
    }
    store.endArray();
}

void AddRecentPicture(QList<RecentPicture>& list, const RecentPicture& entry) {
    list.removeAll(entry);
    list.prepend(entry);
    while (list.size() > kRecentPictureCount) {
        list.removeLast();
    }
}

}  // namespace k3v
