// How the main window is put together: menus, header, path fields, command buttons and the
// setting groups, each control at its place with its colours, and the keyboard order.

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <tuple>

#include "app/control_style.h"
#include "app/gradient_button.h"
#include "app/main_window.h"
#include "app/path_field.h"
#include "app/product_info.h"
#include "app/setting_controls.h"
#include "stereo/depth_list.h"

namespace k3v {

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
    struct CommandButtonDef {
        int id;
        const char* caption;
        GradientKey key;
        QRect geometry;
    };
    const CommandButtonDef buttons[] = {
        {kCmdLoadFirst, "Select Pano #1", GradientKey::Cyan, {5, 120, 140, 22}},
        {kCmdLoadSecond, "Select Pano #2", GradientKey::Cyan, {146, 120, 140, 22}},
        {kCmdDefaults, "Options by default", GradientKey::Blue, {288, 120, 140, 22}},
        {kCmdPublish, "Publish 3D Pano", GradientKey::Blue, {430, 120, 140, 22}},
        {kCmdAbout, "About", GradientKey::Blue, {572, 120, 140, 22}},
        {kCmdExit, "Exit", GradientKey::Red, {856, 120, 148, 22}},
    };
    for (const CommandButtonDef& def : buttons) {
        auto* button = new GradientButton(QString::fromLatin1(def.caption), def.key, client);
        button->setGeometry(def.geometry);
        const int id = def.id;
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
        auto* option = new OptionButton(QString::fromLatin1(text), client);
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
    slider->setRange(SliderRange(id).min, SliderRange(id).max);
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

    struct ResetButtonDef {
        int id;
        int x;
        const char* name;
    };
    for (const ResetButtonDef& def :
         {ResetButtonDef{kCmdResetSharpen, 373, "Reset sharpen"},
          ResetButtonDef{kCmdResetBrightness, 546, "Reset brightness"},
          ResetButtonDef{kCmdResetContrast, 721, "Reset contrast"},
          ResetButtonDef{kCmdResetNoise, 896, "Reset noise median"},
          ResetButtonDef{kCmdResetStereo, 219, "Reset stereo effect"}}) {
        auto* reset = new QPushButton(QStringLiteral("Reset"), client);
        reset->setFlat(true);
        reset->setGeometry(def.x, 520, 42, 18);
        reset->setAccessibleName(QString::fromLatin1(def.name));
        const int id = def.id;
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

}  // namespace k3v
