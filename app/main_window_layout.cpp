// How the main window is put together: menus, header, path fields, command buttons and the
// setting groups, each control at its place with its colours, and the keyboard order.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QSlider>
#include <tuple>

#include "app/control_style.h"
#include "app/flat_button.h"
#include "app/gradient_button.h"
#include "app/main_window.h"
#include "app/path_field.h"
#include "app/product_info.h"
#include "app/setting_controls.h"
#include "app/setting_slider.h"
#include "stereo/depth_list.h"

namespace k3v {

void MainWindow::buildMenus() {
    const auto add = [this](QMenu* menu, int id, const QString& text, const QKeySequence& keys,
                            const auto& slot) {
        QAction* item = menu->addAction(text);
        item->setShortcut(keys);
        item->setShortcutContext(Qt::WindowShortcut);
        connect(item, &QAction::triggered, this, slot);
        actions_.insert(id, item);
        return item;
    };
    // Each item has an access key of its own within its menu.
    QMenu* file = menuBar()->addMenu(tr("&File "));
    add(file, kCmdLoadFirst, tr("&Load 1.Panorama"), QKeySequence(QStringLiteral("Ctrl+L")),
        &MainWindow::loadFirstPicture);
    add(file, kCmdLoadSecond, tr("Load &2.Panorama"), {}, &MainWindow::loadSecondPicture);
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    recentMenu_->setAccessibleName(tr("Open Recent"));
    recentMenu_->setEnabled(false);  // until a picture has been loaded
    actions_.insert(kCmdOpenRecent, recentMenu_->menuAction());
    file->addSeparator();
    add(file, kCmdPublish, tr("&Publish 3D Pano"), QKeySequence(QStringLiteral("Ctrl+P")),
        &MainWindow::publish);
    add(file, kCmdDefaults, tr("Options by &default"), {}, &MainWindow::resetDefaults);
    file->addSeparator();
    // Check items, shown with a check mark: no exclusive action group, which would draw option
    // dots. They still act as one choice, since syncControls() checks only the chosen layout.
    for (const auto& [id, layout, text] :
         {std::tuple{kCmdAnaglyph, kAnaglyph, QT_TR_NOOP("&Anaglyph stereo mode")},
          std::tuple{kCmdVertical, kSideBySideVertical,
                     QT_TR_NOOP("SideBySide ver&tical stereo mode")},
          std::tuple{kCmdHorizontal, kSideBySideHorizontal,
                     QT_TR_NOOP("SideBySide &horizontal stereo mode")},
          std::tuple{kCmdSeparate, kSeparateFiles, QT_TR_NOOP("&Separate left and right files")}}) {
        const int chosen = layout;
        QAction* item = add(file, id, tr(text), {}, [this, chosen] { chooseLayout(chosen); });
        item->setCheckable(true);
    }
    file->addSeparator();
    add(file, kCmdKeepMetadata, tr("&Keep photo information (Exif, colour profile)"), {},
        &MainWindow::switchKeepMetadata)
        ->setCheckable(true);
    add(file, kCmdOpenSavedFile, tr("Open the saved &file after publishing"), {},
        &MainWindow::switchOpenSavedFile)
        ->setCheckable(true);
    file->addSeparator();
    // Alt+F4 is only shown: the window system's own close acts on it.
    add(file, kCmdExit, tr("&Exit\tAlt+F4"), {}, &MainWindow::exitProgram);

    buildStereoMenu();

    QMenu* view = menuBar()->addMenu(tr("&View"));
    add(view, kCmdFullSize, tr("&View at full size"), QKeySequence(QStringLiteral("Ctrl+1")),
        &MainWindow::showFullSize);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(help, kCmdHelp, tr("&Help"), QKeySequence(QStringLiteral("Ctrl+F1")),
        &MainWindow::showHelp);
    help->addSeparator();
    add(help, kCmdAbout, tr("&About"), {}, &MainWindow::showAbout);
}

// How the pair is made up for the viewer: two groups of check items that act as one choice
// each (as the layouts do), and two switches.
void MainWindow::buildStereoMenu() {
    QMenu* stereo = menuBar()->addMenu(tr("&Stereo"));
    const auto addItem = [this, stereo](int id, const char* text, auto slot) {
        QAction* item = stereo->addAction(tr(text));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, slot);
        actions_.insert(id, item);
    };
    for (const auto& [method, text] :
         {std::pair{AnaglyphKind::Colour, QT_TR_NOOP("&Colour anaglyph")},
          std::pair{AnaglyphKind::HalfColour, QT_TR_NOOP("H&alf-colour anaglyph")},
          std::pair{AnaglyphKind::Grey, QT_TR_NOOP("&Grey anaglyph")},
          std::pair{AnaglyphKind::Dubois, QT_TR_NOOP("&Dubois anaglyph")}}) {
        const AnaglyphKind chosen = method;
        addItem(AnaglyphCommand(chosen), text, [this, chosen] { chooseAnaglyphMethod(chosen); });
    }
    stereo->addSeparator();
    for (const auto& [glasses, text] :
         {std::pair{GlassesKind::RedCyan, QT_TR_NOOP("&Red/cyan glasses")},
          std::pair{GlassesKind::GreenMagenta, QT_TR_NOOP("Green/&magenta glasses")},
          std::pair{GlassesKind::AmberBlue, QT_TR_NOOP("Amber/&blue glasses")}}) {
        const GlassesKind chosen = glasses;
        addItem(GlassesCommand(chosen), text, [this, chosen] { chooseGlasses(chosen); });
    }
    stereo->addSeparator();
    addItem(kCmdSwapEyes, QT_TR_NOOP("&Swap eyes"), &MainWindow::switchSwapEyes);
    addItem(kCmdHalfSize, QT_TR_NOOP("&Half-size pair (3D TV)"), &MainWindow::switchHalfSize);
    addItem(kCmdParallelOrder, QT_TR_NOOP("&Parallel order (left eye on the left)"),
            &MainWindow::switchPairOrder);
    stereo->addSeparator();
    const auto addCommand = [this, stereo](int id, const char* text, auto slot) {
        QAction* item = stereo->addAction(tr(text));
        connect(item, &QAction::triggered, this, slot);
        actions_.insert(id, item);
    };
    addCommand(kCmdLoadDepthMap, QT_TR_NOOP("&Load depth map..."),
               &MainWindow::loadDepthMapCommand);
    addCommand(kCmdClearDepthMap, QT_TR_NOOP("Cl&ear depth map"), &MainWindow::clearDepthMap);
    addItem(kCmdInvertDepthMap, QT_TR_NOOP("&Invert depth map"), &MainWindow::switchInvertDepthMap);
    stereo->addSeparator();
    addItem(kCmdWrapAround, QT_TR_NOOP("&360-degree panorama (wrap around)"),
            &MainWindow::switchWrapAround);
    stereo->addSeparator();
    addItem(kCmdAlignPair, QT_TR_NOOP("Alig&n the pair"), &MainWindow::switchAlignPair);
    addItem(kCmdStereoWindow, QT_TR_NOOP("Stereo &window at the nearest point"),
            &MainWindow::switchStereoWindow);
}

void MainWindow::buildHeader(QWidget* client) {
    for (const auto& [id, kind, text, y] :
         {std::tuple{kCmdPanorama, kPanorama, QT_TR_NOOP(" Panorama"), 20},
          std::tuple{kCmdStillPhoto, kStillPhoto, QT_TR_NOOP(" Still Photo"), 40}}) {
        auto* box = new EdgedCheckBox(tr(text), client);
        box->setGeometry(5, y, 100, 18);
        SetColours(box, Qt::white, Qt::black);
        box->setIndicatorOutline(kOptionGrey);
        const int chosen = kind;
        connect(box, &QCheckBox::clicked, this, [this, chosen] { chooseSourceKind(chosen); });
        controls_.insert(id, box);
    }

    // The title and its shadow one pixel down and right; the pointer passes through them.
    for (const auto& [id, colour, offset] : {std::tuple{kIdTitleShadow, QColor(Qt::black), 1},
                                             std::tuple{kIdTitle, QColor(Qt::white), 0}}) {
        auto* title = new QLabel(TitleText(), client);
        title->setFont(TitleSerifFont(25));
        title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        title->setGeometry(5 + offset, 10 + offset, 1000, 65);
        SetTextColour(title, colour);
        title->setAttribute(Qt::WA_TransparentForMouseEvents);
        title->lower();
        controls_.insert(id, title);
    }
    controls_.value(kIdTitleShadow)->lower();

    auto* build = new QLabel(BuildText(), client);
    build->setGeometry(940, 5, 70, 20);
    SetTextColour(build, QColor(0xC0, 0xC0, 0xC0));
    controls_.insert(kIdBuild, build);

    auto* strip = new QLabel(client);
    strip->setPixmap(QPixmap(QStringLiteral(":/k3v/LineN")));
    strip->setScaledContents(true);
    strip->setFrameStyle(QFrame::Box | QFrame::Plain);
    strip->setLineWidth(1);
    strip->setGeometry(0, 550, 1010, 20);
    strip->setAccessibleName(tr("Decorative strip"));

    auto* depthMapLine = new QLabel(client);
    depthMapLine->setGeometry(5, 571, 1000, 18);
    depthMapLine->setAccessibleName(tr("Depth map"));
    depthMapLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    controls_.insert(kIdDepthMapLine, depthMapLine);

    for (const auto& [captionId, fieldId, caption, y] :
         {std::tuple{kIdFirstPathCaption, kIdFirstPath, QT_TR_NOOP("Panorama path:1"), 77},
          std::tuple{kIdSecondPathCaption, kIdSecondPath, QT_TR_NOOP("Panorama path:2"), 97}}) {
        auto* label = new QLabel(tr(caption), client);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setGeometry(5, y, 99, 20);
        SetColours(label, Qt::white, Qt::black);
        controls_.insert(captionId, label);
        auto* field = new PathField(client);
        field->setGeometry(105, y, 899, 20);
        field->setAccessibleName(tr(caption));
        label->setBuddy(field);
        controls_.insert(fieldId, field);
    }
}

void MainWindow::buildCommandButtons(QWidget* client) {
    struct CommandButtonDef {
        int id;
        const char* caption;
        GradientKey key;
        QRect geometry;
        void (MainWindow::*slot)();
    };
    const CommandButtonDef buttons[] = {
        {kCmdLoadFirst,
         QT_TR_NOOP("Select Pano #1"),
         GradientKey::Cyan,
         {5, 120, 140, 22},
         &MainWindow::loadFirstPicture},
        {kCmdLoadSecond,
         QT_TR_NOOP("Select Pano #2"),
         GradientKey::Cyan,
         {146, 120, 140, 22},
         &MainWindow::loadSecondPicture},
        {kCmdDefaults,
         QT_TR_NOOP("Options by default"),
         GradientKey::Blue,
         {288, 120, 140, 22},
         &MainWindow::resetDefaults},
        {kCmdPublish,
         QT_TR_NOOP("Publish 3D Pano"),
         GradientKey::Blue,
         {430, 120, 140, 22},
         &MainWindow::publish},
        {kCmdAbout,
         QT_TR_NOOP("About"),
         GradientKey::Blue,
         {572, 120, 140, 22},
         &MainWindow::showAbout},
        {kCmdExit,
         QT_TR_NOOP("Exit"),
         GradientKey::Red,
         {856, 120, 148, 22},
         &MainWindow::exitProgram},
    };
    for (const CommandButtonDef& def : buttons) {
        auto* button = new GradientButton(tr(def.caption), def.key, client);
        button->setGeometry(def.geometry);
        connect(button, &QAbstractButton::clicked, this, def.slot);
        controls_.insert(def.id, button);
    }
}

void MainWindow::buildModeAndStereoGroups(QWidget* client) {
    const auto group = [this, client](int id, const QString& title, QRect geometry) {
        auto* box = new QGroupBox(title, client);
        box->setGeometry(geometry);
        box->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 2px groove #b0b0b0; margin-top: 6px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 6px; color: white; background-color: black; }"));
        box->lower();  // beneath the controls it frames
        box->setFocusPolicy(Qt::NoFocus);
        controls_.insert(id, box);
    };
    group(kIdModeGroup, tr("  Transformation mode: "), {5, 460, 130, 82});
    for (const auto& [id, mode, text, y] :
         {std::tuple{kCmdK3vStereo, kK3vStereo, QT_TR_NOOP("K3V Stereo"), 485},
          std::tuple{kCmdStandardStereo, kStandardStereo, QT_TR_NOOP("Standard Stereo"), 505}}) {
        auto* option = new OptionButton(tr(text), client);
        option->setGeometry(12, y, 117, 19);
        SetColours(option, Qt::black, kOptionGrey);
        const int chosen = mode;
        connect(option, &QRadioButton::clicked, this, [this, chosen] { chooseMode(chosen); });
        controls_.insert(id, option);
    }

    auto* depth = new EdgedCheckBox(tr(" Depth"), client);
    depth->setGeometry(146, 480, 70, 18);
    controls_.insert(kCmdDepth, depth);

    auto* depthList = new QComboBox(client);
    for (const std::string_view entry : kDepthEntries) {
        depthList->addItem(QString::fromLatin1(entry.data(), qsizetype(entry.size())));
    }
    depthList->setGeometry(219, 478, 60, 20);
    // The open list stays short, with a scroll bar: the control and its open list together
    // are about 90 pixels tall. Fusion shows every entry unless told to use a plain list.
    depthList->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    depthList->setMaxVisibleItems(5);
    SetColours(depthList, Qt::white, Qt::black);
    depthList->setAccessibleName(tr("Depth value"));
    connect(depthList, &QComboBox::activated, this, &MainWindow::chooseDepthEntry);
    controls_.insert(kCmdDepthList, depthList);

    auto* autoBox = new EdgedCheckBox(tr(" Auto"), client);
    autoBox->setGeometry(146, 520, 70, 18);
    autoBox->setChecked(true);
    SetColours(autoBox, Qt::black, kGroupGrey);
    connect(autoBox, &QCheckBox::clicked, this, &MainWindow::clickOnly);
    controls_.insert(kCmdAuto, autoBox);

    group(kIdStereoGroup, tr("  Stereo effect: "), {137, 460, 165, 82});
    auto* glasses = new QLabel(client);  // its picture follows the glasses setting
    glasses->setGeometry(240, 457, 36, 20);
    glasses->setAccessibleName(tr("Stereo glasses"));
    controls_.insert(kIdGlassesIcon, glasses);
    buildSlider(client, kIdStereoSlider, tr("Stereo effect"), {173, 500, 90, 18},
                QColor(0x66, 0x66, 0x66));
    group(kIdSharpenGroup, tr("  Sharpen effect: "), {304, 460, 173, 82});
    group(kIdBrightnessGroup, tr("  Brightness effect: "), {479, 460, 173, 82});
    group(kIdContrastGroup, tr("  Contrast effect: "), {654, 460, 173, 82});
    group(kIdNoiseGroup, tr("  Noise Median: "), {829, 460, 173, 82});
    // The groups stack beneath everything, in the order they were made.
    for (const int id : {kIdNoiseGroup, kIdContrastGroup, kIdBrightnessGroup, kIdSharpenGroup,
                         kIdStereoGroup, kIdModeGroup}) {
        control(id)->lower();
    }
}

void MainWindow::buildSlider(QWidget* client, int id, const QString& name, QRect geometry,
                             const QColor& background) {
    auto* slider = new SettingSlider(SliderRange(id), client);
    slider->setGeometry(geometry);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setAccessibleName(name);
    SetColours(slider, Qt::black, background);
    connect(slider, &SettingSlider::movementEnded, this, [this, id] { sliderMovementEnded(id); });
    controls_.insert(id, slider);
}

void MainWindow::buildAdjustmentGroups(QWidget* client) {
    buildSlider(client, kIdSharpenSlider, tr("Sharpen level"), {345, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdBlendSlider, tr("Sharpen blend"), {422, 480, 50, 18},
                QColor(0x66, 0x66, 0x66));
    buildSlider(client, kIdBrightnessSlider, tr("Brightness"), {520, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdContrastSlider, tr("Contrast"), {696, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));
    buildSlider(client, kIdNoiseSlider, tr("Noise median passes"), {871, 500, 90, 18},
                QColor(0x80, 0x80, 0x80));

    struct ResetButtonDef {
        int id;
        int x;
        const char* name;
        void (MainWindow::*slot)();
    };
    for (const ResetButtonDef& def :
         {ResetButtonDef{kCmdResetSharpen, 373, QT_TR_NOOP("Reset sharpen"),
                         &MainWindow::resetSharpen},
          ResetButtonDef{kCmdResetBrightness, 546, QT_TR_NOOP("Reset brightness"),
                         &MainWindow::resetBrightness},
          ResetButtonDef{kCmdResetContrast, 721, QT_TR_NOOP("Reset contrast"),
                         &MainWindow::resetContrast},
          ResetButtonDef{kCmdResetNoise, 896, QT_TR_NOOP("Reset noise median"),
                         &MainWindow::resetNoise},
          ResetButtonDef{kCmdResetStereo, 219, QT_TR_NOOP("Reset stereo effect"),
                         &MainWindow::resetStereoEffect}}) {
        auto* reset = new FlatButton(tr("Reset"), client);
        reset->setGeometry(def.x, 520, 42, 18);
        reset->setAccessibleName(tr(def.name));
        connect(reset, &QPushButton::clicked, this, def.slot);
        controls_.insert(def.id, reset);
    }

    const auto endLabel = [client](const QString& text, int x, int width) {
        auto* label = new QLabel(text, client);
        label->setGeometry(x, 500, width, 15);
        SetColours(label, Qt::black, kGroupGrey);
    };
    for (const int x : {315, 490, 665, 840}) {
        endLabel(tr("Min."), x, 24);
    }
    endLabel(tr("Left"), 150, 24);
    for (const int x : {443, 620, 795, 970}) {
        endLabel(tr("Max."), x, 24);
    }
    endLabel(tr("Right"), 268, 25);

    for (const auto& [id, text, x, width] :
         {std::tuple{kCmdSharpen, QT_TR_NOOP(" Sharpen"), 310, 111},
          std::tuple{kCmdBrightness, QT_TR_NOOP(" Brightness"), 485, 161},
          std::tuple{kCmdContrast, QT_TR_NOOP(" Contrast"), 660, 161},
          std::tuple{kCmdNoise, QT_TR_NOOP(" Noise Median"), 835, 161}}) {
        auto* box = new EdgedCheckBox(tr(text), client);
        box->setGeometry(x, 480, width, 18);
        controls_.insert(id, box);
    }
    for (const int id : kFlagIds) {
        auto* box = static_cast<QCheckBox*>(control(id));
        SetColours(box, Qt::black, kGroupGrey);
        connect(box, &QCheckBox::clicked, this, [this, id] { switchFlag(id); });
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

}  // namespace k3v
