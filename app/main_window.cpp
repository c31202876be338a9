#include "app/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>

#include "app/balloon_help.h"
#include "app/click_sound.h"
#include "app/control_style.h"
#include "app/full_size_view.h"
#include "app/help_document.h"
#include "app/job_runner.h"
#include "app/lasting_settings.h"
#include "app/path_field.h"
#include "app/preview_renderer.h"
#include "app/preview_widget.h"
#include "app/product_info.h"
#include "app/setting_controls.h"
#include "base/memory_probe.h"
#include "output/output_target.h"

namespace k3v {

namespace {

// The wait cursor for as long as the object lives, removed however the scope is left.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString FromStatus(const Status& status) {
    return QString::fromStdString(status.message());
}

// A picture refused for want of memory: the window holds pictures whole, the batch converter
// does not, so the refusal says how to convert it there.
QString LoadRefusal(const Status& status, const QString& path, bool second) {
    QString text = FromStatus(status);
    if (!IsMemoryShortage(status.message())) {
        return text;
    }
    const QString name = QFileInfo(path).completeBaseName() + QStringLiteral("_Unwrapped.jpg");
    const QString example =
        second
            ? QStringLiteral("k3v-convert --mode standard RIGHT_EYE LEFT_EYE -o \"%1\"").arg(name)
            : QStringLiteral("k3v-convert \"%1\" -o \"%2\"")
                  .arg(QDir::toNativeSeparators(path), name);
    return text + QStringLiteral("\n\n") +
           QCoreApplication::translate(
               "MainWindow",
               "This window holds a picture whole. k3v-convert, the batch converter installed "
               "with it, converts pictures of any size a band of rows at a time; its options "
               "(k3v-convert --help) set what the window's controls set. For example:") +
           QStringLiteral("\n") + example;
}

}  // namespace

MainWindow::MainWindow(AppState& state, UserDialogs& dialogs, ClickSound& sound,
                       const QString& programFolder)
    : state_(state), dialogs_(dialogs), sound_(sound), programFolder_(programFolder) {
    setWindowTitle(ProductName());
    setWindowIcon(QIcon(QStringLiteral(":/k3v/VIDEO")));
    setAcceptDrops(true);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(1010, 590);
    client->setFont(DialogFont());
    SetColours(client, Qt::black, kWindowGrey);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    buildMenus();
    buildHeader(client);
    buildCommandButtons(client);
    MakeSunkenEdge(client, {5, 150, 1000, 300})->setObjectName(QStringLiteral("previewEdge"));
    auto* preview = new PreviewWidget(client);
    preview->setObjectName(QStringLiteral("preview"));
    preview->setGeometry(5, 150, 1000, 300);
    preview->showPicture(RenderStartPreview());
    controls_.insert(kIdPreview, preview);
    buildModeAndStereoGroups(client);
    buildAdjustmentGroups(client);

    auto* help = new BalloonHelp(this);
    help->setObjectName(QStringLiteral("balloonHelp"));
    help->attach(control(kCmdK3vStereo),
                 tr("K3V Stereo mode. \rOne image 2D to 3D converting mode."));
    help->attach(control(kCmdStandardStereo),
                 tr("3D Standard Stereo mode.\rTwo images 2D to 3D converting mode."));
    // The first picture of a pair is the right eye's view: loaded the other way round, the
    // depth comes out reversed with no other hint.
    const QString first = tr("The first picture. In Standard Stereo mode: the RIGHT eye's view.");
    const QString second =
        tr("Standard Stereo mode: the LEFT eye's view, of the first picture's size.");
    help->attach(control(kCmdLoadFirst), tr("Select Pano #1.\r%1").arg(first));
    help->attach(control(kIdFirstPath), tr("Panorama path:1.\r%1").arg(first));
    help->attach(control(kCmdLoadSecond), tr("Select Pano #2.\r%1").arg(second));
    help->attach(control(kIdSecondPath), tr("Panorama path:2.\r%1").arg(second));

    // F1 alone is bound to no work; it only clicks.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &MainWindow::clickOnly);

    auto* depthMapLine = static_cast<QLabel*>(control(kIdDepthMapLine));
    runner_ = new JobRunner(client, depthMapLine->geometry(), depthMapLine);
    connect(runner_, &JobRunner::busyChanged, this, &MainWindow::applyBusy);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, runner_, &JobRunner::cancel);

    setKeyboardOrder();
    syncControls();
}

PreviewWidget* MainWindow::preview() const {
    return static_cast<PreviewWidget*>(controls_.value(kIdPreview));
}

// ---- The one place where the controls follow the state ------------------------------------

void MainWindow::syncControls() {
    const ConversionSettings& settings = state_.job.settings;
    const bool standard = settings.TransformationMode == kStandardStereo;

    static_cast<QRadioButton*>(control(kCmdK3vStereo))->setChecked(!standard);
    static_cast<QRadioButton*>(control(kCmdStandardStereo))->setChecked(standard);
    control(kCmdDepth)->setEnabled(!standard);
    control(kCmdDepthList)->setEnabled(!standard);

    action(kCmdAnaglyph)->setChecked(settings.StereoLayout == kAnaglyph);
    action(kCmdVertical)->setChecked(settings.StereoLayout == kSideBySideVertical);
    action(kCmdHorizontal)->setChecked(settings.StereoLayout == kSideBySideHorizontal);
    action(kCmdSeparate)->setChecked(settings.StereoLayout == kSeparateFiles);
    for (int method = kCmdColourAnaglyph; method <= kCmdDuboisAnaglyph; ++method) {
        action(method)->setChecked(method == AnaglyphCommand(settings.AnaglyphMethod));
    }
    for (int glasses = kCmdRedCyanGlasses; glasses <= kCmdAmberBlueGlasses; ++glasses) {
        action(glasses)->setChecked(glasses == GlassesCommand(settings.Glasses));
    }
    auto* glassesIcon = static_cast<QLabel*>(control(kIdGlassesIcon));
    glassesIcon->setPixmap(QPixmap(QString::fromLatin1(GlassesPicture(settings.Glasses))));
    glassesIcon->setAccessibleDescription(action(GlassesCommand(settings.Glasses))->iconText());
    action(kCmdSwapEyes)->setChecked(settings.SwapEyes);
    action(kCmdHalfSize)->setChecked(settings.HalfSize);
    action(kCmdParallelOrder)->setChecked(settings.PairOrder == EyeOrder::Parallel);
    action(kCmdInvertDepthMap)->setChecked(settings.InvertDepthMap);
    action(kCmdWrapAround)->setChecked(settings.WrapAround);
    action(kCmdAlignPair)->setChecked(state_.AlignPair);
    action(kCmdStereoWindow)->setChecked(state_.StereoWindow);
    action(kCmdKeepMetadata)->setChecked(state_.KeepPhotoInformation);
    action(kCmdOpenSavedFile)->setChecked(state_.OpenSavedFile);
    showDepthMapLine();

    static_cast<QCheckBox*>(control(kCmdPanorama))->setChecked(settings.SourceKind == kPanorama);
    static_cast<QCheckBox*>(control(kCmdStillPhoto))
        ->setChecked(settings.SourceKind == kStillPhoto);

    for (const int id : kFlagIds) {
        auto* box = static_cast<QCheckBox*>(control(id));
        const bool on = settings.*FlagOf(id) != 0;
        box->setChecked(on);
        SetTextColour(box, on ? Qt::white : Qt::black);
    }

    static_cast<QComboBox*>(control(kCmdDepthList))->setCurrentIndex(state_.DepthEntry);
    for (const int id : kSliderIds) {
        auto* slider = static_cast<QSlider*>(control(id));
        if (slider->isSliderDown()) {
            continue;  // held while work ended: its release will set it
        }
        const QSignalBlocker quiet(slider);  // placing the thumb is not a movement
        slider->setValue(SliderSetting(settings, id));
    }

    static_cast<PathField*>(control(kIdFirstPath))->setText(state_.FirstPicturePath);
    static_cast<PathField*>(control(kIdSecondPath))->setText(state_.SecondPicturePath);
    remember();
    applyBusy();
}

// ---- What lasts between runs --------------------------------------------------------------

void MainWindow::rememberIn(QSettings* store) {
    store_ = store;
    if (store_ != nullptr) {
        ReadLastingSettings(*store_, state_);
    }
    buildRecentMenu();
    syncControls();
}

void MainWindow::remember() {
    if (store_ != nullptr) {
        WriteLastingSettings(*store_, state_);
    }
}

void MainWindow::buildRecentMenu() {
    recentMenu_->clear();
    for (int i = 0; i < state_.RecentPictures.size(); ++i) {
        const RecentPicture& entry = state_.RecentPictures[i];
        QString text = QDir::toNativeSeparators(entry.first);
        if (!entry.second.isEmpty()) {
            text += QStringLiteral(" + ") + QDir::toNativeSeparators(entry.second);
        }
        // The number is the access key; an ampersand of a file name is shown as it is.
        text.replace(u'&', QStringLiteral("&&"));
        QAction* item = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(text));
        connect(item, &QAction::triggered, this, [this, i] { openRecent(i); });
    }
    recentMenu_->setEnabled(!state_.RecentPictures.isEmpty());
}

void MainWindow::addRecentPicture(const QString& path, PictureSlot slot) {
    QList<RecentPicture>& recent = state_.RecentPictures;
    if (slot == PictureSlot::First) {
        AddRecentPicture(recent, {path, {}});
    } else {
        // The pair takes the place of its first picture alone.
        if (!recent.isEmpty() && recent.front() == RecentPicture{state_.FirstPicturePath, {}}) {
            recent.removeFirst();
        }
        AddRecentPicture(recent, {state_.FirstPicturePath, path});
    }
    buildRecentMenu();
}

void MainWindow::openRecent(int entry) {
    sound_.play();
    if (entry < 0 || entry >= state_.RecentPictures.size()) {
        return;
    }
    const RecentPicture chosen = state_.RecentPictures[entry];
    for (const QString& path : {chosen.first, chosen.second}) {
        if (!path.isEmpty() && !QFileInfo::exists(path)) {
            dialogs_.warning(tr("%1 is no longer there; it is taken off Open Recent")
                                 .arg(QDir::toNativeSeparators(path)));
            state_.RecentPictures.removeAt(entry);
            buildRecentMenu();
            remember();
            return;
        }
    }
    openPictures(chosen.second.isEmpty() ? QStringList{chosen.first}
                                         : QStringList{chosen.first, chosen.second});
}

void MainWindow::showDepthMapLine() {
    // Standard Stereo has no use for a depth map: there the line says what aligning did.
    const bool alignment = state_.job.settings.TransformationMode == kStandardStereo &&
                           !state_.AlignmentNote.isEmpty();
    auto* line = static_cast<QLabel*>(control(kIdDepthMapLine));
    line->setText(alignment ? state_.AlignmentNote : depthMapLine());
    line->setAccessibleName(alignment ? tr("Alignment") : tr("Depth map"));
}

QString MainWindow::depthMapLine() const {
    if (state_.DepthMapPath.isEmpty()) {
        return state_.DepthMapNote;
    }
    const QString path = QDir::toNativeSeparators(state_.DepthMapPath);
    // The map changes nothing while Depth is off: say what it waits for.
    return state_.job.settings.DepthOn != 0 ? tr("Depth map: %1").arg(path)
                                            : tr("Depth map: %1 (used once Depth is on)").arg(path);
}

void MainWindow::applyBusy() {
    const bool idle = !runner_->busy();
    const bool standard = state_.job.settings.TransformationMode == kStandardStereo;
    const auto enable = [this](int id, bool on) {
        if (QWidget* widget = control(id)) {
            widget->setEnabled(on);
        }
        if (QAction* item = action(id)) {
            item->setEnabled(on);
        }
    };
    enable(kCmdLoadFirst, idle);
    enable(kCmdLoadSecond, idle && standard);
    enable(kCmdLoadDepthMap, idle);
    enable(kCmdClearDepthMap, idle && !state_.DepthMapPath.isEmpty());
    enable(kCmdPublish, idle);
    enable(kCmdDefaults, idle);
    enable(kCmdKeepMetadata, idle);
    enable(kCmdK3vStereo, idle);
    enable(kCmdStandardStereo, idle);
    enable(kCmdAlignPair, standard);
    enable(kCmdStereoWindow, standard);
    if (idle && fullSizeView_ != nullptr) {
        fullSizeView_->refreshIfStale();
    }
}

// ---- Commands -----------------------------------------------------------------------------

void MainWindow::loadFirstPicture() {
    sound_.play();
    loadCommand(PictureSlot::First);
}

void MainWindow::loadSecondPicture() {
    sound_.play();
    loadCommand(PictureSlot::Second);
}

void MainWindow::showAbout() {
    sound_.play();
    dialogs_.showAbout();
}

void MainWindow::exitProgram() {
    sound_.play();
    close();
}

void MainWindow::chooseLayout(int layout) {
    sound_.play();
    state_.job.settings.StereoLayout = layout;
    settingsChanged();
}

void MainWindow::chooseAnaglyphMethod(AnaglyphKind method) {
    sound_.play();
    state_.job.settings.AnaglyphMethod = method;
    settingsChanged();
}

void MainWindow::chooseGlasses(GlassesKind glasses) {
    sound_.play();
    state_.job.settings.Glasses = glasses;
    settingsChanged();
}

void MainWindow::switchSetting(bool ConversionSettings::*setting) {
    sound_.play();
    state_.job.settings.*setting = !(state_.job.settings.*setting);
    settingsChanged();
}

void MainWindow::switchSwapEyes() {
    switchSetting(&ConversionSettings::SwapEyes);
}

void MainWindow::switchHalfSize() {
    // A half-size pair is made for a 3D TV, which wants the parallel order.
    if (!state_.PairOrderChosen) {
        state_.job.settings.PairOrder =
            state_.job.settings.HalfSize ? EyeOrder::Cross : EyeOrder::Parallel;
    }
    switchSetting(&ConversionSettings::HalfSize);
}

void MainWindow::switchPairOrder() {
    sound_.play();
    ConversionSettings& settings = state_.job.settings;
    settings.PairOrder =
        settings.PairOrder == EyeOrder::Parallel ? EyeOrder::Cross : EyeOrder::Parallel;
    state_.PairOrderChosen = true;
    syncControls();
    redrawPreview();
}

void MainWindow::loadDepthMapCommand() {
    sound_.play();
    loadCommand(PictureSlot::DepthMap);
}

void MainWindow::clearDepthMap() {
    sound_.play();
    state_.job.clearDepthMap();
    state_.DepthMapPath.clear();
    state_.DepthMapNote.clear();
    settingsChanged();
}

void MainWindow::switchInvertDepthMap() {
    switchSetting(&ConversionSettings::InvertDepthMap);
}

void MainWindow::switchWrapAround() {
    switchSetting(&ConversionSettings::WrapAround);
}

void MainWindow::switchAlignPair() {
    sound_.play();
    state_.AlignPair = !state_.AlignPair;
    settingsChanged();
}

void MainWindow::switchStereoWindow() {
    sound_.play();
    state_.StereoWindow = !state_.StereoWindow;
    settingsChanged();
}

// Only the saved files change: no conversion.
void MainWindow::switchKeepMetadata() {
    sound_.play();
    state_.KeepPhotoInformation = !state_.KeepPhotoInformation;
    syncControls();
    readFirstPictureMetadata();
}

// Only what happens after a save changes: no conversion.
void MainWindow::switchOpenSavedFile() {
    sound_.play();
    state_.OpenSavedFile = !state_.OpenSavedFile;
    syncControls();
}

void MainWindow::readFirstPictureMetadata() {
    state_.job.forgetFirstPictureMetadata();
    if (!state_.KeepPhotoInformation || state_.FirstPicturePath.isEmpty()) {
        return;
    }
    std::string note;
    {
        const WaitCursor wait;
        note = state_.job.keepFirstPictureMetadata();
    }
    if (!note.empty()) {
        dialogs_.warning(QString::fromStdString(note));
    }
}

void MainWindow::chooseMode(int mode) {
    sound_.play();
    state_.job.settings.TransformationMode = mode;
    settingsChanged();
}

void MainWindow::chooseSourceKind(int kind) {
    sound_.play();
    // The kind only shapes the saved picture: no conversion.
    state_.job.settings.SourceKind = kind;
    syncControls();
}

void MainWindow::switchFlag(int boxId) {
    sound_.play();
    sound_.play();  // the flag boxes click twice, the second cutting the first
    state_.job.settings.*FlagOf(boxId) =
        static_cast<QCheckBox*>(control(boxId))->isChecked() ? 1 : 0;
    settingsChanged();
}

void MainWindow::chooseDepthEntry(int row) {
    sound_.play();
    state_.DepthEntry = row;
    settingsChanged();
}

void MainWindow::resetStereoEffect() {
    sound_.play();
    state_.job.settings.StereoEffect = 3;
    settingsChanged();
}

void MainWindow::resetSharpen() {
    sound_.play();
    state_.job.settings.SharpenLevel = 1;
    state_.job.settings.SharpenBlend = 0;
    settingsChanged();
}

void MainWindow::resetBrightness() {
    sound_.play();
    state_.job.settings.Brightness = 127;
    settingsChanged();
}

void MainWindow::resetContrast() {
    sound_.play();
    state_.job.settings.Contrast = 127;
    settingsChanged();
}

void MainWindow::resetNoise() {
    sound_.play();
    state_.job.settings.NoisePasses = 1;
    settingsChanged();
}

void MainWindow::clickOnly() {
    sound_.play();
}

void MainWindow::settingsChanged() {
    syncControls();
    runConversion();
}

void MainWindow::redrawPreview() {
    // A save may have left the planes holding the views it needed rather than the window's.
    if (runner_->busy() || !state_.job.viewsAreFor(state_.job.settings)) {
        runConversion();
        return;
    }
    showResult();
}

QImage MainWindow::renderPreview() const {
    return RenderPreview(
        state_.job.settings, state_.job.planes(),
        hideSize_ && !state_.job.hasFirstPicture() ? SizeText::Hidden : SizeText::Shown);
}

void MainWindow::showResult() {
    preview()->showPicture(renderPreview());
    if (fullSizeView_ != nullptr) {
        fullSizeView_->refresh();
    }
}

void MainWindow::showFullSize() {
    sound_.play();
    if (fullSizeView_ == nullptr) {
        fullSizeView_ = new FullSizeView(state_.job, this);
        fullSizeView_->setBusyCheck([this] { return runner_->busy(); });
        fullSizeView_->setConversionRunner([this](const FullSizeView::Step& step) {
            return runner_->run(tr("Converting"), step);
        });
        fullSizeView_->restoreGeometry(state_.FullSizeGeometry);
        fullSizeView_->setMode(FullSizeView::Mode(state_.FullSizeMode));
        fullSizeView_->setZoom(state_.FullSizeZoom);
        connect(fullSizeView_, &FullSizeView::shownChanged, this, [this] {
            state_.FullSizeGeometry = fullSizeView_->saveGeometry();
            state_.FullSizeMode = int(fullSizeView_->mode());
            state_.FullSizeZoom = fullSizeView_->zoom();
            remember();
        });
    }
    fullSizeView_->show();
    fullSizeView_->raise();
    fullSizeView_->activateWindow();
}

void MainWindow::sliderMovementEnded(int id) {
    SetSliderSetting(state_.job.settings, id, static_cast<QSlider*>(control(id))->value());
    runConversion();
}

void MainWindow::resetDefaults() {
    sound_.play();
    ConversionSettings& settings = state_.job.settings;
    // Back to one-picture mode, so the option buttons and the enabled controls agree with it.
    settings.TransformationMode = kK3vStereo;
    // The pictures and their paths stay: the settings go back, the work does not.
    state_.DepthEntry = kDefaultDepthEntry;
    settings.SharpenLevel = 1;
    settings.SharpenBlend = 0;
    settings.Brightness = 127;
    settings.Contrast = 127;
    settings.NoisePasses = 1;
    settings.StereoEffect = 3;
    const ConversionSettings start;
    settings.AnaglyphMethod = start.AnaglyphMethod;
    settings.Glasses = start.Glasses;
    settings.SwapEyes = start.SwapEyes;
    settings.HalfSize = start.HalfSize;
    settings.PairOrder = start.PairOrder;
    state_.PairOrderChosen = false;
    settings.InvertDepthMap = start.InvertDepthMap;
    settings.WrapAround = start.WrapAround;
    state_.AlignPair = false;
    state_.StereoWindow = false;
    settingsChanged();
}

void MainWindow::runConversion() {
    conversionWanted_ = true;
    if (runner_->busy()) {
        // Views for settings already changed again are not worth finishing.
        if (converting_) {
            runner_->cancel();
        }
        return;
    }
    while (conversionWanted_) {
        conversionWanted_ = false;
        if (alignment_.update(state_, *runner_)) {
            syncControls();
        }
        takeDepthEntry();
        const ConversionSettings with = state_.job.settings;
        converting_ = true;
        const Status converted = runner_->run(tr("Converting"), [&](const Progress& progress) {
            return state_.job.convert(with, progress);
        });
        converting_ = false;
        if (converted.cancelled()) {
            continue;
        }
        if (converted.ok() && !conversionWanted_) {
            showResult();
        }
        if (conversionHook_) {
            conversionHook_();
        }
    }
}

void MainWindow::convertIfWanted() {
    if (conversionWanted_) {
        runConversion();
    }
}

void MainWindow::takeDepthEntry() {
    state_.job.settings.DepthValue = ParseDepthText(kDepthEntries[size_t(state_.DepthEntry)]);
}

void MainWindow::loadCommand(PictureSlot slot) {
    const QString path = dialogs_.openPicture(state_.LastFolder, slot);
    if (path.trimmed().isEmpty()) {
        return;
    }
    loadChosenPicture(path, slot);
}

void MainWindow::loadChosenPicture(const QString& path, PictureSlot slot) {
    state_.LastFolder = QFileInfo(path).absolutePath();
    if (slot == PictureSlot::DepthMap) {
        loadDepthMap(path);
    } else {
        loadPicture(path, slot);
    }
}

void MainWindow::openPictures(const QStringList& names) {
    // A dialog gives full paths; so does a file manager, but a shell may not.
    QStringList paths;
    for (const QString& name : names) {
        paths.append(QFileInfo(name).absoluteFilePath());
    }
    if (paths.size() == 2) {
        state_.job.settings.TransformationMode = kStandardStereo;
        settingsChanged();
    }
    if (!paths.isEmpty()) {
        loadChosenPicture(paths[0], PictureSlot::First);
    }
    // The second view is measured against the first: without it, only the first warning.
    if (paths.size() == 2 && state_.FirstPicturePath == paths[0]) {
        loadChosenPicture(paths[1], PictureSlot::Second);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Everything is taken, so that what cannot be loaded gets its warning on the drop.
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile()) {
        dialogs_.warning(tr("Drop one picture file to load it"));
        return;
    }
    const QWidget* target = childAt(event->position().toPoint());
    const bool second = state_.job.settings.TransformationMode == kStandardStereo &&
                        target != nullptr && target == control(kIdSecondPath);
    // A drop is no dialog choice: the dialogs' folder stays, and a failed drop changes nothing.
    loadPicture(urls[0].toLocalFile(), second ? PictureSlot::Second : PictureSlot::First);
}

void MainWindow::loadPicture(const QString& path, PictureSlot slot) {
    if (runner_->busy()) {
        return;  // a drop while other work runs
    }
    const std::string file = path.toStdString();
    const Status status = runner_->run(tr("Reading"), [&](const Progress& progress) {
        return slot == PictureSlot::First ? state_.job.loadFirst(file, progress)
                                          : state_.job.loadSecond(file, progress);
    });
    if (!status.ok()) {
        // The placeholder's size would now be taken for the refused picture's.
        hideSize_ = hideSize_ || (slot == PictureSlot::First && !state_.job.hasFirstPicture());
        if (!status.cancelled()) {
            dialogs_.warning(LoadRefusal(status, path, slot == PictureSlot::Second));
        }
        convertIfWanted();
        return;
    }
    addRecentPicture(path, slot);
    alignment_.pairChanged();
    state_.DepthMapNote.clear();  // it told about the picture before
    if (slot == PictureSlot::First) {
        state_.FirstPicturePath = path;
        state_.SaveFolder = QFileInfo(path).absolutePath();  // saves go beside the picture
        state_.SecondPicturePath.clear();  // the second picture went with the old planes
        // A depth map stays only with a picture of its own size.
        if (!state_.DepthMapPath.isEmpty() && state_.job.planes().DepthMap.empty()) {
            state_.DepthMapNote = tr("Depth map %1 dropped: the new picture has another size")
                                      .arg(QDir::toNativeSeparators(state_.DepthMapPath));
            state_.DepthMapPath.clear();
        }
    } else {
        state_.SecondPicturePath = path;
    }
    syncControls();
    runConversion();
    if (slot == PictureSlot::First) {
        readFirstPictureMetadata();  // its warning comes over the new preview
    }
}

void MainWindow::loadDepthMap(const QString& path) {
    if (runner_->busy()) {
        return;
    }
    const std::string file = path.toStdString();
    const Status status = runner_->run(tr("Reading"), [&](const Progress& progress) {
        return state_.job.loadDepthMap(file, progress);
    });
    if (!status.ok()) {
        if (!status.cancelled()) {
            dialogs_.warning(FromStatus(status));
        }
        convertIfWanted();
        return;
    }
    state_.DepthMapPath = path;
    state_.DepthMapNote.clear();
    syncControls();
    runConversion();
}

void MainWindow::publish() {
    sound_.play();
    if (runner_->busy()) {
        return;
    }
    publishPicture();
    convertIfWanted();
}

void MainWindow::publishPicture() {
    const QString picture = state_.FirstPicturePath.trimmed();
    if (picture.isEmpty()) {
        dialogs_.warning(tr("Image file not selected"));
        return;
    }
    if (!QFileInfo::exists(picture)) {
        dialogs_.warning(tr("Image file not found"));
        return;
    }
    const QString target =
        dialogs_.savePicture(state_.SaveFolder, ProposedSaveName(picture), state_.SaveType)
            .trimmed();
    if (target.isEmpty()) {
        return;
    }
    state_.SaveFolder = QFileInfo(target).absolutePath();
    takeDepthEntry();
    const OutputTarget output(target.toStdString(), state_.job.settings, kDefaultJpegQuality,
                              state_.KeepPhotoInformation);
    // The file always holds a freshly converted image.
    if (convertFor(output).cancelled()) {
        return;
    }

    // Saving over a source picture would lose it: the overwrite prompt only asked about a file.
    if (Status allowed = output.check(state_.job.inputFiles()); !allowed.ok()) {
        dialogs_.warning(FromStatus(allowed));
        return;
    }
    if (output.files().size() > 1 && !confirmReplacing(output)) {
        return;
    }
    const Status written = runner_->run(
        tr("Saving"), [&](const Progress& progress) { return state_.job.save(output, progress); });
    if (!written.ok()) {
        if (!written.cancelled()) {
            dialogs_.warning(FromStatus(written));
        }
        return;
    }
    state_.SaveType = QFileInfo(target).suffix().toLower();
    remember();
    dialogs_.information(tr("Publishing succeeded"));
    if (state_.OpenSavedFile) {
        dialogs_.openUrl(QUrl::fromLocalFile(QString::fromStdString(output.files().front())));
    }
}

// The save's views, made once: a stereo file holds both eyes whatever the layout, and the
// preview keeps what it shows until a setting changes.
Status MainWindow::convertFor(const OutputTarget& output) {
    const Status converted = runner_->run(tr("Converting"), [&](const Progress& progress) {
        return state_.job.convertFor(output, progress);
    });
    if (converted.cancelled()) {
        return converted;
    }
    if (converted.ok() && state_.job.viewsAreFor(state_.job.settings)) {
        // The full-size window shows this result already: the settings are unchanged.
        preview()->showPicture(renderPreview());
    }
    if (conversionHook_) {
        conversionHook_();
    }
    return converted;
}

// The save dialog asked only about the name chosen in it; separate files are written under
// two other names, so replacing either is asked here, once for both.
bool MainWindow::confirmReplacing(const OutputTarget& output) {
    const std::vector<std::string> existing = output.existingFiles();
    if (existing.empty()) {
        return true;
    }
    const auto name = [](const std::string& file) {
        return QFileInfo(QString::fromStdString(file)).fileName();
    };
    QString fresh;
    for (const std::string& file : output.files()) {
        if (std::find(existing.begin(), existing.end(), file) == existing.end()) {
            fresh = name(file);
        }
    }
    const QString question = fresh.isEmpty()
                                 ? tr("%1 and %2 already exist.\nDo you want to replace them?")
                                       .arg(name(existing[0]), name(existing[1]))
                                 : tr("%1 already exists (%2 is new).\nDo you want to replace it?")
                                       .arg(name(existing[0]), fresh);
    return dialogs_.confirm(question, tr("Save Stereo Image"));
}

void MainWindow::showHelp() {
    sound_.play();
    const QString document = FindHelpDocument(programFolder_);
    if (document.isEmpty()) {
        dialogs_.warning(MissingHelpMessage(programFolder_));
        return;
    }
    dialogs_.openUrl(QUrl::fromLocalFile(document));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (dialogs_.confirm(tr("Are you sure?"), tr("Exit IDE"))) {
        runner_->cancel();  // the work stops at its next band; nothing it made is kept
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace k3v
