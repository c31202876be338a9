#include "app/main_window.h"

#include <qdrawutil.h>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <array>

#include "app/balloon_help.h"
#include "app/click_sound.h"
#include "app/gradient_button.h"
#include "app/help_document.h"
#include "app/path_field.h"
#include "app/preview_renderer.h"
#include "app/preview_widget.h"
#include "app/product_info.h"
#include "input/picture_decoder.h"
#include "output/output_format.h"
#include "output/stereo_image_writer.h"
#include "stereo/conversion.h"

namespace k3v {

namespace {

const QColor kWindowGrey(0x87, 0x87, 0x87);
const QColor kGroupGrey(0x88, 0x88, 0x88);
const QColor kPathGrey(0xC7, 0xC7, 0xC7);
const QColor kOptionGrey(0xC0, 0xC0, 0xC0);

// The wait cursor for as long as the object lives, removed however the scope is left.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void SetColours(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(role, text);
    }
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
        palette.setColor(role, background);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    widget->setPalette(palette);
}

// A check box with the thin sunken "static edge" round it, that reacts to a click anywhere
// inside that edge, not only on its box and caption.
class EdgedCheckBox : public QCheckBox {
  public:
    EdgedCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent* event) override {
        QCheckBox::paintEvent(event);
        QPainter painter(this);
        qDrawShadeRect(&painter, rect(), palette(), true, 1, 0);
    }
};

// The flag each adjustment check box stands for.
int32_t ConversionSettings::*FlagOf(int id) {
    switch (id) {
        case kCmdDepth:
            return &ConversionSettings::DepthOn;
        case kCmdSharpen:
            return &ConversionSettings::SharpenOn;
        case kCmdBrightness:
            return &ConversionSettings::BrightnessOn;
        case kCmdContrast:
            return &ConversionSettings::ContrastOn;
        default:
            return &ConversionSettings::NoiseOn;
    }
}
constexpr std::array<int, 5> kFlagIds = {kCmdDepth, kCmdSharpen, kCmdBrightness, kCmdContrast,
                                         kCmdNoise};

int SliderSetting(const ConversionSettings& settings, int id) {
    switch (id) {
        case kIdStereoSlider:
            return settings.StereoEffect;
        case kIdSharpenSlider:
            return settings.SharpenLevel;
        case kIdBlendSlider:
            return settings.SharpenBlend;
        case kIdBrightnessSlider:
            return settings.Brightness;
        case kIdContrastSlider:
            return settings.Contrast;
        default:
            return settings.NoisePasses;
    }
}

void SetSliderSetting(ConversionSettings& settings, int id, int value) {
    switch (id) {
        case kIdStereoSlider:
            settings.StereoEffect = static_cast<int16_t>(value);
            break;
        case kIdSharpenSlider:
            settings.SharpenLevel = value;
            break;
        case kIdBlendSlider:
            settings.SharpenBlend = value;
            break;
        case kIdBrightnessSlider:
            settings.Brightness = value;
            break;
        case kIdContrastSlider:
            settings.Contrast = value;
            break;
        default:
            settings.NoisePasses = value;
            break;
    }
}

constexpr std::array<int, 6> kSliderIds = {kIdStereoSlider,     kIdSharpenSlider,  kIdBlendSlider,
                                           kIdBrightnessSlider, kIdContrastSlider, kIdNoiseSlider};

SettingRange RangeOf(int id) {
    switch (id) {
        case kIdStereoSlider:
            return kStereoEffectRange;
        case kIdSharpenSlider:
            return kSharpenLevelRange;
        case kIdBlendSlider:
            return kSharpenBlendRange;
        case kIdBrightnessSlider:
            return kBrightnessRange;
        case kIdContrastSlider:
            return kContrastRange;
        default:
            return kNoisePassesRange;
    }
}

QString FromStatus(const Status& status) {
    return QString::fromStdString(status.message());
}

}  // namespace

MainWindow::MainWindow(AppState& state, UserDialogs& dialogs, ClickSound& sound,
                       const QString& programFolder)
    : state_(state), dialogs_(dialogs), sound_(sound), programFolder_(programFolder) {
    setWindowTitle(kProductName);
    setWindowIcon(QIcon(QStringLiteral(":/k3v/VIDEO")));
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
                 QStringLiteral("K3V Stereo mode. \rOne image 2D to 3D converting mode."));
    help->attach(control(kCmdStandardStereo),
                 QStringLiteral("3D Standard Stereo mode.\rTwo images 2D to 3D converting mode."));

    // F1 alone is bound to no work; it only clicks.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { command(kCmdF1); });

    setKeyboardOrder();
    syncControls();
}

PreviewWidget* MainWindow::preview() const {
    return static_cast<PreviewWidget*>(controls_.value(kIdPreview));
}

// ---- Construction -------------------------------------------------------------------------

void MainWindow::buildMenus() {
    const auto add = [this](QMenu* menu, int id, const QString& text, const QKeySequence& keys) {
        QAction* item = menu->addAction(text);
        item->setShortcut(keys);
        item->setShortcutContext(Qt::WindowShortcut);
        connect(item, &QAction::triggered, this, [this, id] { command(id); });
        actions_.insert(id, item);
        return item;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File "));
    add(file, kCmdLoadFirst, QStringLiteral("&Load 1.Panorama"),
        QKeySequence(QStringLiteral("Ctrl+L")));
    add(file, kCmdLoadSecond, QStringLiteral("&Load 2.Panorama"), {});
    file->addSeparator();
    add(file, kCmdPublish, QStringLiteral("Publish 3D Pano"),
        QKeySequence(QStringLiteral("Ctrl+P")));
    add(file, kCmdDefaults, QStringLiteral("Options by default"), {});
    file->addSeparator();
    auto* layouts = new QActionGroup(this);
    for (const auto& [id, text] :
         {std::pair{kCmdAnaglyph, "Anaglyph stereo mode"},
          std::pair{kCmdVertical, "SideBySide vertical stereo mode"},
          std::pair{kCmdHorizontal, "SideBySide horizontal stereo mode"}}) {
        QAction* item = add(file, id, QString::fromLatin1(text), {});
        item->setCheckable(true);
        layouts->addAction(item);
    }
    file->addSeparator();
    // Alt+F4 is only shown: the window system's own close acts on it.
    add(file, kCmdExit, QStringLiteral("&Exit\tAlt+F4"), {});

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, kCmdHelp, QStringLiteral("&Help"), QKeySequence(QStringLiteral("Ctrl+F1")));
    help->addSeparator();
    add(help, kCmdAbout, QStringLiteral("&About"), {});
}

void MainWindow::buildHeader(QWidget* client) {
    for (const auto& [id, text, y] : {std::tuple{kCmdPanorama, " Panorama", 20},
                                      std::tuple{kCmdStillPhoto, " Still Photo", 40}}) {
        auto* box = new EdgedCheckBox(QString::fromLatin1(text), client);
        box->setGeometry(5, y, 100, 18);
        SetColours(box, Qt::white, Qt::black);
        connect(box, &QCheckBox::clicked, this, [this, id] { command(id); });
        controls_.insert(id, box);
    }

    // The title and its shadow one pixel down and right; the pointer passes through them.
    for (const auto& [id, colour, offset] :
         {std::tuple{106, QColor(Qt::black), 1}, std::tuple{105, QColor(Qt::white), 0}}) {
        auto* title = new QLabel(kTitleText, client);
        title->setFont(TitleSerifFont(25));
        title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        title->setGeometry(5 + offset, 10 + offset, 1000, 65);
        SetTextColour(title, colour);
        title->setAttribute(Qt::WA_TransparentForMouseEvents);
        title->lower();
        controls_.insert(id, title);
    }
    controls_.value(106)->lower();

    auto* build = new QLabel(kBuildText, client);
    build->setGeometry(940, 5, 70, 20);
    SetTextColour(build, QColor(0xC0, 0xC0, 0xC0));
    controls_.insert(154, build);

    auto* strip = new QLabel(client);
    strip->setPixmap(QPixmap(QStringLiteral(":/k3v/LineN")));
    strip->setScaledContents(true);
    strip->setFrameStyle(QFrame::Box | QFrame::Plain);
    strip->setLineWidth(1);
    strip->setGeometry(0, 550, 1010, 20);
    strip->setAccessibleName(QStringLiteral("Decorative strip"));

    for (const auto& [captionId, fieldId, caption, y] :
         {std::tuple{135, kIdFirstPath, "Panorama path:1", 77},
          std::tuple{162, kIdSecondPath, "Panorama path:2", 97}}) {
        auto* label = new QLabel(QString::fromLatin1(caption), client);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setGeometry(5, y, 99, 20);
        SetColours(label, Qt::white, Qt::black);
        controls_.insert(captionId, label);
        auto* field = new PathField(client);
        field->setGeometry(105, y, 899, 20);
        field->setAccessibleName(QString::fromLatin1(caption));
        label->setBuddy(field);
        controls_.insert(fieldId, field);
    }
}

void MainWindow::buildCommandButtons(QWidget* client) {
    struct ButtonSpec {
        int id;
        const char* caption;
        GradientKey key;
        QRect geometry;
    };
    const ButtonSpec buttons[] = {
        {kCmdLoadFirst, "Select Pano #1", GradientKey::Cyan, {5, 120, 140, 22}},
        {kCmdLoadSecond, "Select Pano #2", GradientKey::Cyan, {146, 120, 140, 22}},
        {kCmdDefaults, "Options by default", GradientKey::Blue, {288, 120, 140, 22}},
        {kCmdPublish, "Publish 3D Pano", GradientKey::Blue, {430, 120, 140, 22}},
        {kCmdAbout, "About", GradientKey::Blue, {572, 120, 140, 22}},
        {kCmdExit, "Exit", GradientKey::Red, {856, 120, 148, 22}},
    };
    for (const ButtonSpec& spec : buttons) {
        auto* button = new GradientButton(QString::fromLatin1(spec.caption), spec.key, client);
        button->setGeometry(spec.geometry);
        const int id = spec.id;
        connect(button, &QAbstractButton::clicked, this, [this, id] { command(id); });
        controls_.insert(id, button);
    }
}

void MainWindow::buildModeAndStereoGroups(QWidget* client) {
    const auto group = [this, client](int id, const char* title, QRect geometry) {
        auto* box = new QGroupBox(QString::fromLatin1(title), client);
        box->setGeometry(geometry);
        box->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 2px groove #b0b0b0; margin-top: 6px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 6px; color: white; background-color: black; }"));
        box->lower();  // beneath the controls it frames
        box->setFocusPolicy(Qt::NoFocus);
        controls_.insert(id, box);
    };
    group(146, "  Transformation mode: ", {5, 460, 130, 82});
    for (const auto& [id, text, y] : {std::tuple{kCmdK3vStereo, "K3V Stereo", 485},
                                      std::tuple{kCmdStandardStereo, "Standard Stereo", 505}}) {
        auto* option = new QRadioButton(QString::fromLatin1(text), client);
        option->setGeometry(12, y, 117, 19);
        SetColours(option, Qt::black, kOptionGrey);
        connect(option, &QRadioButton::clicked, this, [this, id] { command(id); });
        controls_.insert(id, option);
    }

    auto* depth = new EdgedCheckBox(QStringLiteral(" Depth"), client);
    depth->setGeometry(146, 480, 70, 18);
    controls_.insert(kCmdDepth, depth);

    auto* depthList = new QComboBox(client);
    for (const std::string_view entry : kDepthEntries) {
        depthList->addItem(QString::fromLatin1(entry.data(), qsizetype(entry.size())));
    }
    depthList->setGeometry(219, 478, 60, 20);
    depthList->setMaxVisibleItems(5);  // the open list reaches 90 pixels down, as drawn
    SetColours(depthList, Qt::white, Qt::black);
    depthList->setAccessibleName(QStringLiteral("Depth value"));
    connect(depthList, &QComboBox::activated, this, [this](int row) {
        state_.DepthEntry = row;
        command(kCmdDepthList);
    });
    controls_.insert(kCmdDepthList, depthList);

    auto* autoBox = new EdgedCheckBox(QStringLiteral(" Auto"), client);
    autoBox->setGeometry(146, 520, 70, 18);
    autoBox->setChecked(true);
    SetColours(autoBox, Qt::black, kGroupGrey);
    connect(autoBox, &QCheckBox::clicked, this, [this] { command(kCmdAuto); });
    controls_.insert(kCmdAuto, autoBox);

    group(151, "  Stereo effect: ", {137, 460, 165, 82});
    auto* glasses = new QLabel(client);
    glasses->setPixmap(QPixmap(QStringLiteral(":/k3v/glasses")));
    glasses->setGeometry(240, 457, 36, 20);
    glasses->setAccessibleName(QStringLiteral("Stereo glasses"));
    buildSlider(client, kIdStereoSlider, QStringLiteral("Stereo effect"), {173, 500, 90, 18},
                QColor(0x66, 0x66, 0x66));
    group(165, "  Sharpen effect: ", {304, 460, 173, 82});
    group(190, "  Brightness effect: ", {479, 460, 173, 82});
    group(191, "  Contrast effect: ", {654, 460, 173, 82});
    group(192, "  Noise Median: ", {829, 460, 173, 82});
    // The groups stack beneath everything, in the order they were made.
    for (const int id : {192, 191, 190, 165, 151, 146}) {
        control(id)->lower();
    }
}

void MainWindow::buildSlider(QWidget* client, int id, const QString& name, QRect geometry,
                             const QColor& background) {
    auto* slider = new QSlider(Qt::Horizontal, client);
    slider->setGeometry(geometry);
    slider->setRange(RangeOf(id).min, RangeOf(id).max);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setPageStep(1);
    slider->setAccessibleName(name);
    SetColours(slider, Qt::black, background);
    // A conversion per finished movement: the release after a drag (even at the same value),
    // or a change made without holding the thumb (keys, a click on the groove, the wheel).
    connect(slider, &QSlider::sliderReleased, this, [this, id] { sliderMovementEnded(id); });
    connect(slider, &QSlider::valueChanged, this, [this, id, slider] {
        if (!slider->isSliderDown()) {
            sliderMovementEnded(id);
        }
    });
    controls_.insert(id, slider);
}

void MainWindow::buildAdjustmentGroups(QWidget* client) {
    buildSlider(client, kIdSharpenSlider, QStringLiteral("Sharpen level"), {345, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdBlendSlider, QStringLiteral("Sharpen blend"), {422, 480, 50, 18},
                QColor(0x66, 0x66, 0x66));
    buildSlider(client, kIdBrightnessSlider, QStringLiteral("Brightness"), {520, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdContrastSlider, QStringLiteral("Contrast"), {696, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdNoiseSlider, QStringLiteral("Noise median passes"), {871, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));

    struct ResetSpec {
        int id;
        int x;
        const char* name;
    };
    for (const ResetSpec& spec : {ResetSpec{kCmdResetSharpen, 373, "Reset sharpen"},
                                  ResetSpec{kCmdResetBrightness, 546, "Reset brightness"},
                                  ResetSpec{kCmdResetContrast, 721, "Reset contrast"},
                                  ResetSpec{kCmdResetNoise, 896, "Reset noise median"},
                                  ResetSpec{kCmdResetStereo, 219, "Reset stereo effect"}}) {
        auto* reset = new QPushButton(QStringLiteral("Reset"), client);
        reset->setFlat(true);
        reset->setGeometry(spec.x, 520, 42, 18);
        reset->setAccessibleName(QString::fromLatin1(spec.name));
        const int id = spec.id;
        connect(reset, &QPushButton::clicked, this, [this, id] { command(id); });
        controls_.insert(id, reset);
    }

    const auto endLabel = [client](const char* text, int x, int width) {
        auto* label = new QLabel(QString::fromLatin1(text), client);
        label->setGeometry(x, 500, width, 15);
        SetColours(label, Qt::black, kGroupGrey);
    };
    for (const int x : {315, 490, 665, 840}) {
        endLabel("Min.", x, 24);
    }
    endLabel("Left", 150, 24);
    for (const int x : {443, 620, 795, 970}) {
        endLabel("Max.", x, 24);
    }
    endLabel("Right", 268, 25);

    for (const auto& [id, text, x, width] : {std::tuple{kCmdSharpen, " Sharpen", 310, 111},
                                             std::tuple{kCmdBrightness, " Brightness", 485, 161},
                                             std::tuple{kCmdContrast, " Contrast", 660, 161},
                                             std::tuple{kCmdNoise, " Noise Median", 835, 161}}) {
        auto* box = new EdgedCheckBox(QString::fromLatin1(text), client);
        box->setGeometry(x, 480, width, 18);
        controls_.insert(id, box);
    }
    for (const int id : kFlagIds) {
        auto* box = static_cast<QCheckBox*>(control(id));
        SetColours(box, Qt::black, kGroupGrey);
        connect(box, &QCheckBox::clicked, this, [this, id] { command(id); });
    }
}

void MainWindow::setKeyboardOrder() {
    const int order[] = {kCmdLoadFirst,       kCmdLoadSecond, kCmdDefaults,
                         kCmdPublish,         kCmdAbout,      kCmdExit,
                         kCmdPanorama,        kCmdStillPhoto, kCmdK3vStereo,
                         kCmdStandardStereo,  kCmdDepth,      kCmdDepthList,
                         kIdStereoSlider,     kCmdAuto,       kCmdResetStereo,
                         kCmdSharpen,         kIdBlendSlider, kIdSharpenSlider,
                         kCmdResetSharpen,    kCmdBrightness, kIdBrightnessSlider,
                         kCmdResetBrightness, kCmdContrast,   kIdContrastSlider,
                         kCmdResetContrast,   kCmdNoise,      kIdNoiseSlider,
                         kCmdResetNoise};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(control(order[i - 1]), control(order[i]));
    }
}

// ---- The one place where the controls follow the state ------------------------------------

void MainWindow::syncControls() {
    const ConversionSettings& settings = state_.settings;
    const bool standard = settings.TransformationMode == kStandardStereo;

    static_cast<QRadioButton*>(control(kCmdK3vStereo))->setChecked(!standard);
    static_cast<QRadioButton*>(control(kCmdStandardStereo))->setChecked(standard);
    control(kCmdLoadSecond)->setEnabled(standard);
    action(kCmdLoadSecond)->setEnabled(standard);
    control(kCmdDepth)->setEnabled(!standard);
    control(kCmdDepthList)->setEnabled(!standard);

    action(kCmdAnaglyph)->setChecked(settings.StereoLayout == kAnaglyph);
    action(kCmdVertical)->setChecked(settings.StereoLayout == kSideBySideVertical);
    action(kCmdHorizontal)->setChecked(settings.StereoLayout == kSideBySideHorizontal);

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
        const QSignalBlocker quiet(slider);  // placing the thumb is not a movement
        slider->setValue(SliderSetting(settings, id));
    }

    static_cast<PathField*>(control(kIdFirstPath))->setText(state_.FirstPicturePath);
    static_cast<PathField*>(control(kIdSecondPath))->setText(state_.SecondPicturePath);
}

// ---- Commands -----------------------------------------------------------------------------

void MainWindow::command(int id) {
    sound_.play();
    ConversionSettings& settings = state_.settings;
    switch (id) {
        case kCmdLoadFirst:
            return loadCommand(PictureSlot::First);
        case kCmdLoadSecond:
            return loadCommand(PictureSlot::Second);
        case kCmdPublish:
            return publish();
        case kCmdDefaults:
            return resetToDefaults();
        case kCmdAbout:
            return dialogs_.showAbout();
        case kCmdExit:
            close();
            return;
        case kCmdHelp:
            return openHelp();
        case kCmdAnaglyph:
        case kCmdVertical:
        case kCmdHorizontal:
            settings.StereoLayout = id - kCmdAnaglyph;
            break;
        case kCmdK3vStereo:
        case kCmdStandardStereo:
            settings.TransformationMode = id - kCmdK3vStereo;
            break;
        case kCmdPanorama:
        case kCmdStillPhoto:
            // The kind only shapes the saved picture: no conversion.
            settings.SourceKind = id == kCmdPanorama ? kPanorama : kStillPhoto;
            syncControls();
            return;
        case kCmdDepth:
        case kCmdSharpen:
        case kCmdBrightness:
        case kCmdContrast:
        case kCmdNoise:
            return toggleFlag(id);
        case kCmdDepthList:
            break;
        case kCmdResetStereo:
            settings.StereoEffect = 3;
            break;
        case kCmdResetSharpen:
            settings.SharpenLevel = 1;
            settings.SharpenBlend = 0;
            break;
        case kCmdResetBrightness:
            settings.Brightness = 127;
            break;
        case kCmdResetContrast:
            settings.Contrast = 127;
            break;
        case kCmdResetNoise:
            settings.NoisePasses = 1;
            break;
        default:
            return;  // F1, " Auto" and the like: the click is all
    }
    syncControls();
    runConversion();
}

void MainWindow::toggleFlag(int id) {
    sound_.play();  // the flag boxes click twice, the second cutting the first
    state_.settings.*FlagOf(id) = static_cast<QCheckBox*>(control(id))->isChecked() ? 1 : 0;
    syncControls();
    runConversion();
}

void MainWindow::sliderMovementEnded(int id) {
    SetSliderSetting(state_.settings, id, static_cast<QSlider*>(control(id))->value());
    runConversion();
}

void MainWindow::resetToDefaults() {
    ConversionSettings& settings = state_.settings;
    // Back to one-picture mode, so the option buttons and the enabled controls agree with it.
    settings.TransformationMode = kK3vStereo;
    // The pictures stay in the planes; only the first path is forgotten, so publishing asks
    // for a picture again.
    state_.FirstPicturePath.clear();
    state_.DepthEntry = kDefaultDepthEntry;
    settings.SharpenLevel = 1;
    settings.SharpenBlend = 0;
    settings.Brightness = 127;
    settings.Contrast = 127;
    settings.NoisePasses = 1;
    settings.StereoEffect = 3;
    syncControls();
    runConversion();
}

void MainWindow::runConversion() {
    const WaitCursor wait;
    const QString depthText = static_cast<QComboBox*>(control(kCmdDepthList))->currentText();
    state_.settings.DepthValue = ParseDepthText(depthText.toStdString());
    ConvertPlanes(state_.settings, state_.planes);
    preview()->showPicture(RenderPreview(state_.settings, state_.planes));
    if (conversionHook_) {
        conversionHook_();
    }
}

void MainWindow::loadCommand(PictureSlot slot) {
    const QString path = dialogs_.openPicture(state_.LastFolder, slot);
    if (path.trimmed().isEmpty()) {
        return;
    }
    state_.LastFolder = QFileInfo(path).absolutePath();
    loadPicture(path, slot);
}

void MainWindow::loadPicture(const QString& path, PictureSlot slot) {
    PixelPlane picture;
    Status status = Status::Ok();
    {
        const WaitCursor wait;
        status = DecodePictureFile(path.toStdString(), picture);
    }
    if (status.ok()) {
        status = slot == PictureSlot::First
                     ? InstallFirstPicture(state_.planes, std::move(picture))
                     : InstallSecondPicture(state_.planes, std::move(picture));
    }
    if (!status.ok()) {
        dialogs_.warning(FromStatus(status));
        return;
    }
    if (slot == PictureSlot::First) {
        state_.FirstPicturePath = path;
        state_.SecondPicturePath.clear();  // the second picture went with the old planes
    } else {
        state_.SecondPicturePath = path;
    }
    syncControls();
    runConversion();
}

void MainWindow::publish() {
    const QString picture = state_.FirstPicturePath.trimmed();
    if (picture.isEmpty()) {
        dialogs_.warning(QStringLiteral("Image file not selected"));
        return;
    }
    if (!QFileInfo::exists(picture)) {
        dialogs_.warning(QStringLiteral("Image file not found"));
        return;
    }
    const QString target =
        dialogs_.savePicture(state_.SaveFolder, ProposedSaveName(picture)).trimmed();
    if (target.isEmpty()) {
        return;
    }
    state_.SaveFolder = QFileInfo(target).absolutePath();
    runConversion();  // the file always holds a freshly converted image

    const std::string targetName = target.toStdString();
    if (OutputFormatOfName(targetName) == OutputFormat::Unknown) {
        dialogs_.warning(QString::fromStdString(UnknownFormatMessage(targetName)));
        return;
    }
    Status written = Status::Ok();
    {
        const WaitCursor wait;
        written = WriteStereoImage(targetName, state_.settings, state_.planes, kDefaultJpegQuality);
    }
    if (!written.ok()) {
        dialogs_.warning(FromStatus(written));
        return;
    }
    dialogs_.information(QStringLiteral("Publishing succeeded"));
    dialogs_.openUrl(QUrl::fromLocalFile(target));
}

void MainWindow::openHelp() {
    const QString document = FindHelpDocument(programFolder_);
    if (document.isEmpty()) {
        dialogs_.warning(MissingHelpMessage(programFolder_));
        return;
    }
    dialogs_.openUrl(QUrl::fromLocalFile(document));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (dialogs_.confirm(QStringLiteral("Are you sure?"), QStringLiteral("Exit IDE"))) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace k3v
