// The main window's controls and commands: start-up state, menus, positions, every command's
// effect on the settings and the controls, slider movements, the close confirmation.

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>
#include <memory>

#include "app/app_state.h"
#include "app/balloon_help.h"
#include "app/command_line.h"
#include "app/gradient_button.h"
#include "app/job_runner.h"
#include "app/main_window.h"
#include "app/path_field.h"
#include "app/preview_widget.h"
#include "fake_services.h"
#include "window_test_base.h"

using namespace k3v;
using k3v::testing::FakeDialogs;
using k3v::testing::FakeSound;

namespace {

QColor TextColour(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}
QColor Background(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

}  // namespace

class MainWindowTest : public k3v::testing::WindowTestBase {
    Q_OBJECT

  private:
    QCheckBox* checkBox(int id) { return qobject_cast<QCheckBox*>(window_->control(id)); }
    QSlider* slider(int id) { return qobject_cast<QSlider*>(window_->control(id)); }
    QComboBox* depthList() { return qobject_cast<QComboBox*>(window_->control(kCmdDepthList)); }
    QRadioButton* option(int id) { return qobject_cast<QRadioButton*>(window_->control(id)); }

    QString writePicture(const QString& name, int width) {
        QImage picture(width, 20, QImage::Format_RGB32);
        picture.fill(qRgb(width, 90, 200));
        const QString path = dir_->filePath(name);
        return picture.save(path) ? path : QString();
    }
    // A drag that enters the window and drops at `at` (window coordinates).
    void drop(const QMimeData& data, QPoint at) {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &dropped);
    }
    QPoint centreOf(int id) {
        QWidget* widget = window_->control(id);
        return widget->mapTo(window_.get(), widget->rect().center());
    }

  private slots:
    void initTestCase() { setUpApplication(); }
    void init() { QVERIFY(startWindow()); }
    void cleanup() {
        dialogs_.confirmAnswers = {true};
        window_.reset();
    }

    // ---- The window as it opens -------------------------------------------------------

    void windowFrame() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Quorvex Still K3V Stereo Converter"));
        QCOMPARE(window_->centralWidget()->size(), QSize(1010, 590));
        QCOMPARE(Background(window_->centralWidget()), QColor(0x87, 0x87, 0x87));
        QVERIFY(!(window_->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window_->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(window_->minimumSize(), window_->maximumSize());  // no sizing border
        QVERIFY(!window_->windowIcon().isNull());
    }

    void startState_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("Panorama checked") << int(kCmdPanorama) << true << true;
        QTest::newRow("Still Photo unchecked") << int(kCmdStillPhoto) << false << true;
        QTest::newRow("K3V Stereo selected") << int(kCmdK3vStereo) << true << true;
        QTest::newRow("Standard Stereo not") << int(kCmdStandardStereo) << false << true;
        QTest::newRow("Depth unchecked, enabled") << int(kCmdDepth) << false << true;
        QTest::newRow("Auto checked") << int(kCmdAuto) << true << true;
        QTest::newRow("Sharpen unchecked") << int(kCmdSharpen) << false << true;
        QTest::newRow("Brightness unchecked") << int(kCmdBrightness) << false << true;
        QTest::newRow("Contrast unchecked") << int(kCmdContrast) << false << true;
        QTest::newRow("Noise Median unchecked") << int(kCmdNoise) << false << true;
    }
    void startState() {
        QFETCH(int, id);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        auto* button = qobject_cast<QAbstractButton*>(window_->control(id));
        QVERIFY(button != nullptr);
        QCOMPARE(button->isChecked(), checked);
        QCOMPARE(button->isEnabled(), enabled);
    }

    void startStateOfListSlidersAndSecondPicture() {
        QCOMPARE(depthList()->currentText(), QStringLiteral("30"));
        QCOMPARE(depthList()->isEnabled(), true);
        QCOMPARE(depthList()->count(), 15);
        QCOMPARE(depthList()->itemText(0), QStringLiteral("20"));
        QCOMPARE(depthList()->itemText(14), QStringLiteral("90"));
        QCOMPARE(window_->control(kCmdLoadSecond)->isEnabled(), false);
        QCOMPARE(window_->action(kCmdLoadSecond)->isEnabled(), false);
        const int sliders[] = {kIdStereoSlider,     kIdSharpenSlider,  kIdBlendSlider,
                               kIdBrightnessSlider, kIdContrastSlider, kIdNoiseSlider};
        const int expected[] = {3, 1, 3, 127, 127, 1};
        for (size_t i = 0; i < std::size(sliders); ++i) {
            QCOMPARE(slider(sliders[i])->value(), expected[i]);
        }
        QCOMPARE(state_.job.settings, ConversionSettings{});
        QCOMPARE(conversions_, 0);
    }

    void startFlagBoxesHaveBlackText() {
        for (const int id : {kCmdDepth, kCmdSharpen, kCmdBrightness, kCmdContrast, kCmdNoise}) {
            QCOMPARE(TextColour(checkBox(id)), QColor(Qt::black));
            QCOMPARE(Background(checkBox(id)), QColor(0x88, 0x88, 0x88));
        }
        QCOMPARE(TextColour(checkBox(kCmdPanorama)), QColor(Qt::white));
        QCOMPARE(Background(checkBox(kCmdPanorama)), QColor(Qt::black));
    }

    void controlColours_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("background");  // invalid: the window shows through
        const QColor none;
        QTest::newRow("title") << 105 << QColor(Qt::white) << none;
        QTest::newRow("title shadow") << 106 << QColor(Qt::black) << none;
        QTest::newRow("build") << 154 << QColor(0xC0, 0xC0, 0xC0) << none;
        QTest::newRow("path caption") << 135 << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("path field")
            << int(kIdFirstPath) << QColor(Qt::black) << QColor(0xC7, 0xC7, 0xC7);
        QTest::newRow("Still Photo")
            << int(kCmdStillPhoto) << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("K3V Stereo")
            << int(kCmdK3vStereo) << QColor(Qt::black) << QColor(0xC0, 0xC0, 0xC0);
        QTest::newRow("Standard Stereo")
            << int(kCmdStandardStereo) << QColor(Qt::black) << QColor(0xC0, 0xC0, 0xC0);
        QTest::newRow("Auto") << int(kCmdAuto) << QColor(Qt::black) << QColor(0x88, 0x88, 0x88);
        QTest::newRow("depth list") << int(kCmdDepthList) << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("stereo slider")
            << int(kIdStereoSlider) << QColor(Qt::black) << QColor(0x66, 0x66, 0x66);
        QTest::newRow("sharpen slider")
            << int(kIdSharpenSlider) << QColor(Qt::black) << QColor(0x80, 0x80, 0x80);
        QTest::newRow("blend slider")
            << int(kIdBlendSlider) << QColor(Qt::black) << QColor(0x66, 0x66, 0x66);
        QTest::newRow("brightness slider")
            << int(kIdBrightnessSlider) << QColor(Qt::black) << QColor(0x80, 0x80, 0x80);
        QTest::newRow("contrast slider")
            << int(kIdContrastSlider) << QColor(Qt::black) << QColor(0x80, 0x80, 0x80);
        QTest::newRow("noise slider")
            << int(kIdNoiseSlider) << QColor(Qt::black) << QColor(0x80, 0x80, 0x80);
    }
    void controlColours() {
        QFETCH(int, id);
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        QWidget* widget = window_->control(id);
        QCOMPARE(TextColour(widget), text);
        QCOMPARE(widget->autoFillBackground(), background.isValid());
        if (background.isValid()) {
            QCOMPARE(Background(widget), background);
        }
    }

    void startPreviewShowsMainWindowOnDarkGrey() {
        const QImage picture = window_->preview()->grab().toImage();
        QCOMPARE(picture.size(), QSize(1000, 300));
        QCOMPARE(picture.pixelColor(500, 150), QColor(0x33, 0x33, 0x33));
        QCOMPARE(picture.pixelColor(5, 5), QColor(0x33, 0x33, 0x33));
        // "Main Window" in white, from (10, 10); nothing light elsewhere.
        int white = 0;
        for (int y = 0; y < 300; ++y) {
            for (int x = 0; x < 1000; ++x) {
                if (picture.pixelColor(x, y).lightness() > 200) {
                    QVERIFY2(x >= 10 && y >= 10 && x < 150 && y < 40, "text outside its place");
                    ++white;
                }
            }
        }
        QVERIFY2(white > 20, qPrintable(QStringLiteral("white pixels: %1").arg(white)));
    }

    void sliderRanges_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("name");
        QTest::newRow("stereo effect") << int(kIdStereoSlider) << -10 << 10 << "Stereo effect";
        QTest::newRow("sharpen") << int(kIdSharpenSlider) << 0 << 5 << "Sharpen level";
        QTest::newRow("blend") << int(kIdBlendSlider) << 0 << 3 << "Sharpen blend";
        QTest::newRow("brightness") << int(kIdBrightnessSlider) << 1 << 255 << "Brightness";
        QTest::newRow("contrast") << int(kIdContrastSlider) << 0 << 255 << "Contrast";
        QTest::newRow("noise") << int(kIdNoiseSlider) << 1 << 5 << "Noise median passes";
    }
    void sliderRanges() {
        QFETCH(int, id);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(QString, name);
        QCOMPARE(slider(id)->minimum(), minimum);
        QCOMPARE(slider(id)->maximum(), maximum);
        QCOMPARE(slider(id)->orientation(), Qt::Horizontal);
        QCOMPARE(slider(id)->accessibleName(), name);
    }

    void menus_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::newRow("load 1") << int(kCmdLoadFirst) << "&Load 1.Panorama"
                                << "Ctrl+L" << false << false;
        QTest::newRow("load 2") << int(kCmdLoadSecond) << "Load &2.Panorama"
                                << "" << false << false;
        QTest::newRow("publish") << int(kCmdPublish) << "&Publish 3D Pano"
                                 << "Ctrl+P" << false << false;
        QTest::newRow("defaults") << int(kCmdDefaults) << "Options by &default"
                                  << "" << false << false;
        QTest::newRow("anaglyph") << int(kCmdAnaglyph) << "&Anaglyph stereo mode"
                                  << "" << true << true;
        QTest::newRow("vertical") << int(kCmdVertical) << "SideBySide ver&tical stereo mode"
                                  << "" << true << false;
        QTest::newRow("horizontal") << int(kCmdHorizontal) << "SideBySide &horizontal stereo mode"
                                    << "" << true << false;
        QTest::newRow("parallel order")
            << int(kCmdParallelOrder) << "&Parallel order (left eye on the left)"
            << "" << true << false;
        QTest::newRow("keep metadata")
            << int(kCmdKeepMetadata) << "&Keep photo information (Exif, colour profile)"
            << "" << true << false;
        QTest::newRow("open saved file")
            << int(kCmdOpenSavedFile) << "Open the saved &file after publishing"
            << "" << true << true;
        QTest::newRow("exit") << int(kCmdExit) << "&Exit\tAlt+F4"
                              << "" << false << false;
        QTest::newRow("full size") << int(kCmdFullSize) << "&View at full size"
                                   << "Ctrl+1" << false << false;
        QTest::newRow("help") << int(kCmdHelp) << "&Help"
                              << "Ctrl+F1" << false << false;
        QTest::newRow("about") << int(kCmdAbout) << "&About"
                               << "" << false << false;
    }
    void menus() {
        QFETCH(int, id);
        QFETCH(QString, text);
        QFETCH(QString, shortcut);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        QAction* item = window_->action(id);
        QVERIFY(item != nullptr);
        QCOMPARE(item->text(), text);
        QCOMPARE(item->shortcut(), QKeySequence(shortcut));
        QCOMPARE(item->isCheckable(), checkable);
        QCOMPARE(item->isChecked(), checked);
    }

    void menuOrder() {
        const QList<QAction*> menus = window_->menuBar()->actions();
        QCOMPARE(menus.size(), 4);
        QCOMPARE(menus[0]->text(), QStringLiteral("&File "));  // the trailing blank is meant
        QCOMPARE(menus[1]->text(), QStringLiteral("&Stereo"));
        QCOMPARE(menus[2]->text(), QStringLiteral("&View"));
        QCOMPARE(menus[3]->text(), QStringLiteral("&Help"));
        QStringList items;
        for (const QAction* item : menus[0]->menu()->actions()) {
            items += item->isSeparator() ? QStringLiteral("-") : item->text();
        }
        QCOMPARE(items, QStringList(
                            {"&Load 1.Panorama", "Load &2.Panorama", "Open &Recent", "-",
                             "&Publish 3D Pano", "Options by &default", "-",
                             "&Anaglyph stereo mode", "SideBySide ver&tical stereo mode",
                             "SideBySide &horizontal stereo mode", "&Separate left and right files",
                             "-", "&Keep photo information (Exif, colour profile)",
                             "Open the saved &file after publishing", "-", "&Exit\tAlt+F4"}));
    }

    // Every stereo item previews at once, "Options by default" takes each back, and the
    // method and glasses items act as one choice each.
    void stereoMenuPreviewsAndResets() {
        QImage picture(60, 20, QImage::Format_RGB32);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 60; ++x) {
                picture.setPixel(x, y, qRgb(x * 4, 255 - y * 10, (x * y) & 0xFF));
            }
        }
        const QString path = dir_->filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(path));
        window_->loadPicture(path, PictureSlot::First);
        const QImage classic = window_->preview()->picture();
        conversions_ = 0;
        for (const int id : {int(kCmdDuboisAnaglyph), int(kCmdGreenMagentaGlasses),
                             int(kCmdSwapEyes), int(kCmdHalfSize)}) {
            window_->action(id)->trigger();
        }
        QCOMPARE(conversions_, 4);
        QVERIFY(window_->preview()->picture() != classic);
        QVERIFY(window_->action(kCmdDuboisAnaglyph)->isChecked());
        QVERIFY(!window_->action(kCmdColourAnaglyph)->isChecked());
        QVERIFY(window_->action(kCmdGreenMagentaGlasses)->isChecked());
        QVERIFY(window_->state().job.settings.SwapEyes);
        window_->action(kCmdDefaults)->trigger();
        const ConversionSettings start;
        const ConversionSettings& now = window_->state().job.settings;
        QCOMPARE(now.AnaglyphMethod, start.AnaglyphMethod);
        QCOMPARE(now.Glasses, start.Glasses);
        QCOMPARE(now.SwapEyes, start.SwapEyes);
        QCOMPARE(now.HalfSize, start.HalfSize);
        QVERIFY(window_->action(kCmdColourAnaglyph)->isChecked());
        QCOMPARE(window_->preview()->picture(), classic);
    }

    void controlPlaces_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Panorama") << int(kCmdPanorama) << QRect(5, 20, 100, 18) << " Panorama";
        QTest::newRow("Still Photo")
            << int(kCmdStillPhoto) << QRect(5, 40, 100, 18) << " Still Photo";
        QTest::newRow("title") << 105 << QRect(5, 10, 1000, 65)
                               << "Quorvex K3V Still Stereo Converter";
        QTest::newRow("title shadow")
            << 106 << QRect(6, 11, 1000, 65) << "Quorvex K3V Still Stereo Converter";
        QTest::newRow("build") << 154 << QRect(940, 5, 70, 20) << " Build 011.01";
        QTest::newRow("path 1 caption") << 135 << QRect(5, 77, 99, 20) << "Panorama path:1";
        QTest::newRow("path 2 caption") << 162 << QRect(5, 97, 99, 20) << "Panorama path:2";
        QTest::newRow("Select Pano #1")
            << int(kCmdLoadFirst) << QRect(5, 120, 140, 22) << "Select Pano #1";
        QTest::newRow("Select Pano #2")
            << int(kCmdLoadSecond) << QRect(146, 120, 140, 22) << "Select Pano #2";
        QTest::newRow("Options by default")
            << int(kCmdDefaults) << QRect(288, 120, 140, 22) << "Options by default";
        QTest::newRow("Publish") << int(kCmdPublish) << QRect(430, 120, 140, 22)
                                 << "Publish 3D Pano";
        QTest::newRow("About") << int(kCmdAbout) << QRect(572, 120, 140, 22) << "About";
        QTest::newRow("Exit") << int(kCmdExit) << QRect(856, 120, 148, 22) << "Exit";
        QTest::newRow("mode group") << 146 << QRect(5, 460, 130, 82) << "  Transformation mode: ";
        QTest::newRow("K3V Stereo")
            << int(kCmdK3vStereo) << QRect(12, 485, 117, 19) << "K3V Stereo";
        QTest::newRow("Standard Stereo")
            << int(kCmdStandardStereo) << QRect(12, 505, 117, 19) << "Standard Stereo";
        QTest::newRow("stereo group") << 151 << QRect(137, 460, 165, 82) << "  Stereo effect: ";
        QTest::newRow("Depth") << int(kCmdDepth) << QRect(146, 480, 70, 18) << " Depth";
        QTest::newRow("Auto") << int(kCmdAuto) << QRect(146, 520, 70, 18) << " Auto";
        QTest::newRow("stereo reset") << int(kCmdResetStereo) << QRect(219, 520, 42, 18) << "Reset";
        QTest::newRow("sharpen group") << 165 << QRect(304, 460, 173, 82) << "  Sharpen effect: ";
        QTest::newRow("brightness group")
            << 190 << QRect(479, 460, 173, 82) << "  Brightness effect: ";
        QTest::newRow("contrast group") << 191 << QRect(654, 460, 173, 82) << "  Contrast effect: ";
        QTest::newRow("noise group") << 192 << QRect(829, 460, 173, 82) << "  Noise Median: ";
        QTest::newRow("Sharpen") << int(kCmdSharpen) << QRect(310, 480, 111, 18) << " Sharpen";
        QTest::newRow("Brightness")
            << int(kCmdBrightness) << QRect(485, 480, 161, 18) << " Brightness";
        QTest::newRow("Contrast") << int(kCmdContrast) << QRect(660, 480, 161, 18) << " Contrast";
        QTest::newRow("Noise Median")
            << int(kCmdNoise) << QRect(835, 480, 161, 18) << " Noise Median";
        QTest::newRow("sharpen reset")
            << int(kCmdResetSharpen) << QRect(373, 520, 42, 18) << "Reset";
        QTest::newRow("brightness reset")
            << int(kCmdResetBrightness) << QRect(546, 520, 42, 18) << "Reset";
        QTest::newRow("contrast reset")
            << int(kCmdResetContrast) << QRect(721, 520, 42, 18) << "Reset";
        QTest::newRow("noise reset") << int(kCmdResetNoise) << QRect(896, 520, 42, 18) << "Reset";
        QTest::newRow("stereo slider") << int(kIdStereoSlider) << QRect(173, 500, 90, 18) << "";
        QTest::newRow("sharpen slider") << int(kIdSharpenSlider) << QRect(345, 500, 90, 18) << "";
        QTest::newRow("blend slider") << int(kIdBlendSlider) << QRect(422, 480, 50, 18) << "";
        QTest::newRow("brightness slider")
            << int(kIdBrightnessSlider) << QRect(520, 500, 90, 18) << "";
        QTest::newRow("contrast slider") << int(kIdContrastSlider) << QRect(696, 500, 90, 18) << "";
        QTest::newRow("noise slider") << int(kIdNoiseSlider) << QRect(871, 500, 90, 18) << "";
        QTest::newRow("preview") << int(kIdPreview) << QRect(5, 150, 1000, 300) << "";
        QTest::newRow("path 1") << int(kIdFirstPath) << QRect(105, 77, 899, 20) << "";
        QTest::newRow("path 2") << int(kIdSecondPath) << QRect(105, 97, 899, 20) << "";
    }
    void controlPlaces() {
        QFETCH(int, id);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QWidget* widget = window_->control(id);
        QVERIFY2(widget != nullptr, qPrintable(QString::number(id)));
        QCOMPARE(widget->geometry(), geometry);
        QVERIFY(widget->isVisible());
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QCOMPARE(button->text(), text);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            QCOMPARE(label->text(), text);
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            QCOMPARE(box->title(), text);
        } else {
            QVERIFY(text.isEmpty());
        }
        QVERIFY2(!widget->accessibleName().isEmpty() || qobject_cast<QAbstractButton*>(widget) ||
                     qobject_cast<QLabel*>(widget) || qobject_cast<QGroupBox*>(widget),
                 "a control without a name for assistive technology");
    }

    void keyboardOrderFollowsTheLayout() {
        // Tabbing goes along the button row, then through the groups from left to right.
        const int order[] = {kCmdLoadFirst, kCmdLoadSecond, kCmdDefaults, kCmdPublish,
                             kCmdAbout,     kCmdExit,       kCmdPanorama};
        for (size_t i = 1; i < std::size(order); ++i) {
            QCOMPARE(window_->control(order[i - 1])->nextInFocusChain(),
                     window_->control(order[i]));
        }
        QCOMPARE(window_->control(kCmdResetContrast)->nextInFocusChain(),
                 window_->control(kCmdNoise));
        QCOMPARE(window_->preview()->focusPolicy(), Qt::NoFocus);
    }

    // ---- Commands ---------------------------------------------------------------------

    void layoutCommands_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("layout");
        QTest::newRow("vertical") << int(kCmdVertical) << int(kSideBySideVertical);
        QTest::newRow("horizontal") << int(kCmdHorizontal) << int(kSideBySideHorizontal);
        QTest::newRow("anaglyph again") << int(kCmdAnaglyph) << int(kAnaglyph);
    }
    void layoutCommands() {
        QFETCH(int, id);
        QFETCH(int, layout);
        window_->action(id)->trigger();
        QCOMPARE(state_.job.settings.StereoLayout, layout);
        QCOMPARE(conversions_, 1);
        QCOMPARE(sound_.plays, 1);
        int checkedItems = 0;
        for (const int item : {kCmdAnaglyph, kCmdVertical, kCmdHorizontal}) {
            checkedItems += window_->action(item)->isChecked() ? 1 : 0;
        }
        QCOMPARE(checkedItems, 1);
        QVERIFY(window_->action(id)->isChecked());
    }

    void modeOptions() {
        QTest::mouseClick(option(kCmdStandardStereo), Qt::LeftButton);
        QCOMPARE(state_.job.settings.TransformationMode, int(kStandardStereo));
        QVERIFY(option(kCmdStandardStereo)->isChecked());
        QVERIFY(!option(kCmdK3vStereo)->isChecked());
        QVERIFY(window_->control(kCmdLoadSecond)->isEnabled());
        QVERIFY(window_->action(kCmdLoadSecond)->isEnabled());
        QVERIFY(!checkBox(kCmdDepth)->isEnabled());
        QVERIFY(!depthList()->isEnabled());
        QCOMPARE(conversions_, 1);

        QTest::mouseClick(option(kCmdK3vStereo), Qt::LeftButton);
        QCOMPARE(state_.job.settings.TransformationMode, int(kK3vStereo));
        QVERIFY(!window_->control(kCmdLoadSecond)->isEnabled());
        QVERIFY(!window_->action(kCmdLoadSecond)->isEnabled());
        QVERIFY(checkBox(kCmdDepth)->isEnabled());
        QVERIFY(depthList()->isEnabled());
        QCOMPARE(conversions_, 2);

        // Clicking the selected option converts again.
        QTest::mouseClick(option(kCmdK3vStereo), Qt::LeftButton);
        QCOMPARE(conversions_, 3);
        QCOMPARE(sound_.plays, 3);
    }

    void doubleClickOnAnOptionIsOneChoice() {
        // What a double-click delivers: press, release, double-click, release.
        QRadioButton* button = option(kCmdStandardStereo);
        const QPoint centre = button->rect().center();
        QTest::mousePress(button, Qt::LeftButton, {}, centre);
        QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
        QMouseEvent twice(QEvent::MouseButtonDblClick, centre, button->mapToGlobal(centre),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &twice);
        QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
        QCOMPARE(state_.job.settings.TransformationMode, int(kStandardStereo));
        QCOMPARE(conversions_, 1);
        QCOMPARE(sound_.plays, 1);
    }

    void sourceKindBoxes() {
        QTest::mouseClick(checkBox(kCmdStillPhoto), Qt::LeftButton);
        QCOMPARE(state_.job.settings.SourceKind, int(kStillPhoto));
        QVERIFY(checkBox(kCmdStillPhoto)->isChecked());
        QVERIFY(!checkBox(kCmdPanorama)->isChecked());
        // Clicking the checked box leaves it checked.
        QTest::mouseClick(checkBox(kCmdStillPhoto), Qt::LeftButton);
        QVERIFY(checkBox(kCmdStillPhoto)->isChecked());
        QTest::mouseClick(checkBox(kCmdPanorama), Qt::LeftButton);
        QCOMPARE(state_.job.settings.SourceKind, int(kPanorama));
        QVERIFY(checkBox(kCmdPanorama)->isChecked());
        QVERIFY(!checkBox(kCmdStillPhoto)->isChecked());
        QCOMPARE(conversions_, 0);  // the kind only shapes the saved picture
        QCOMPARE(sound_.plays, 3);
    }

    void flagToggles_data() {
        QTest::addColumn<int>("id");
        QTest::newRow("Depth") << int(kCmdDepth);
        QTest::newRow("Sharpen") << int(kCmdSharpen);
        QTest::newRow("Brightness") << int(kCmdBrightness);
        QTest::newRow("Contrast") << int(kCmdContrast);
        QTest::newRow("Noise Median") << int(kCmdNoise);
    }
    void flagToggles() {
        QFETCH(int, id);
        const auto flag = [this, id] {
            switch (id) {
                case kCmdDepth:
                    return state_.job.settings.DepthOn;
                case kCmdSharpen:
                    return state_.job.settings.SharpenOn;
                case kCmdBrightness:
                    return state_.job.settings.BrightnessOn;
                case kCmdContrast:
                    return state_.job.settings.ContrastOn;
                default:
                    return state_.job.settings.NoiseOn;
            }
        };
        QTest::mouseClick(checkBox(id), Qt::LeftButton);
        QCOMPARE(flag(), 1);
        QVERIFY(checkBox(id)->isChecked());
        QCOMPARE(TextColour(checkBox(id)), QColor(Qt::white));
        QCOMPARE(conversions_, 1);
        QCOMPARE(sound_.plays, 2);  // the command's click and the toggle's own

        QTest::mouseClick(checkBox(id), Qt::LeftButton);
        QCOMPARE(flag(), 0);
        QCOMPARE(TextColour(checkBox(id)), QColor(Qt::black));
        QCOMPARE(conversions_, 2);
    }

    void depthListSelection() {
        depthList()->setFocus();
        QTest::keyClick(depthList(), Qt::Key_Down);  // "30" -> "35"
        QCOMPARE(depthList()->currentText(), QStringLiteral("35"));
        QCOMPARE(state_.DepthEntry, 3);
        QCOMPARE(state_.job.settings.DepthValue, 35);
        QCOMPARE(conversions_, 1);
        QCOMPARE(sound_.plays, 1);
        // The conversion reads the chosen row from the state, not the list's shown text.
        state_.DepthEntry = 14;
        window_->runConversion();
        QCOMPARE(state_.job.settings.DepthValue, 90);
    }

    void depthListOpensShortWithAScrollBar() {
        depthList()->showPopup();
        QAbstractItemView* list = depthList()->view();
        QVERIFY(QTest::qWaitForWindowExposed(list->window()));
        QVERIFY(list->verticalScrollBar()->isVisible());
        QCOMPARE(list->indexAt(QPoint(2, list->viewport()->height() - 2)).row(),
                 list->indexAt(QPoint(2, 2)).row() + 4);  // five rows in view
        depthList()->hidePopup();
    }

    void disabledDepthControlsLookDisabled() {
        const QImage enabledList = depthList()->grab().toImage();
        QTest::mouseClick(option(kCmdStandardStereo), Qt::LeftButton);
        QVERIFY(!depthList()->isEnabled());
        QVERIFY(depthList()->grab().toImage() != enabledList);
        const QPalette colours = checkBox(kCmdDepth)->palette();
        QVERIFY(colours.color(QPalette::Disabled, QPalette::WindowText) !=
                colours.color(QPalette::Active, QPalette::WindowText));
    }

    void uncheckedHeaderBoxIsVisible() {
        // Black on black: the box must show an outline of its own.
        QCheckBox* box = checkBox(kCmdStillPhoto);
        QVERIFY(!box->isChecked());
        QStyleOptionButton option;
        option.initFrom(box);
        // Inside the box's own two-pixel edge.
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box) &
            box->rect().adjusted(2, 2, -2, -2);
        const QImage picture = box->grab().toImage();
        int light = 0;
        for (int y = indicator.top(); y <= indicator.bottom(); ++y) {
            for (int x = indicator.left(); x <= indicator.right(); ++x) {
                light += picture.pixelColor(x, y).lightness() > 100 ? 1 : 0;
            }
        }
        QVERIFY2(light >= indicator.height(), qPrintable(QString::number(light)));
    }

    void autoBoxAndF1OnlyClick() {
        QTest::mouseClick(checkBox(kCmdAuto), Qt::LeftButton);
        window_->clickOnly();
        QCOMPARE(sound_.plays, 2);
        QCOMPARE(conversions_, 0);
        QCOMPARE(state_.job.settings, ConversionSettings{});
        QVERIFY(dialogs_.warnings.isEmpty());
    }

    void commandLineOpensOrAnswers() {
        using Action = StartRequest::Action;
        QCOMPARE(ParseStartArguments({}).pictures, QStringList());
        QCOMPARE(ParseStartArguments({"a.jpg", "--", "-b.jpg"}).pictures,
                 QStringList({"a.jpg", "-b.jpg"}));
        QCOMPARE(ParseStartArguments({"a.jpg", "--version"}).action, Action::PrintVersion);
        QCOMPARE(ParseStartArguments({"--help", "--bogus"}).action, Action::PrintHelp);
        QCOMPARE(ParseStartArguments({"--bogus"}).action, Action::UsageError);
        QCOMPARE(ParseStartArguments({"a", "b", "c"}).action, Action::UsageError);
    }

    // The first picture of a pair is the right eye's view: wherever a picture is chosen, the
    // user is told which eye it is.
    void picturesSayWhichEyeTheyAre_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("eye");
        QTest::newRow("Select Pano #1") << int(kCmdLoadFirst) << "RIGHT eye";
        QTest::newRow("Panorama path:1") << int(kIdFirstPath) << "RIGHT eye";
        QTest::newRow("Select Pano #2") << int(kCmdLoadSecond) << "LEFT eye";
        QTest::newRow("Panorama path:2") << int(kIdSecondPath) << "LEFT eye";
    }
    void picturesSayWhichEyeTheyAre() {
        QFETCH(int, id);
        QFETCH(QString, eye);
        const auto* help = window_->findChild<BalloonHelp*>(QStringLiteral("balloonHelp"));
        QVERIFY(help != nullptr);
        const QString text = help->helpTextOf(window_->control(id));
        QVERIFY2(text.contains(eye), qPrintable(text));
        QVERIFY(StartHelpText().contains(QStringLiteral("k3v-stereo RIGHT_EYE LEFT_EYE\n")));
        QVERIFY(!StartHelpText().contains(QStringLiteral("FIRST")));
    }

    // Open with: as chosen with the "Select" buttons, without a click.
    void openWithLoadsThePictureOrThePair() {
        const QString first = writePicture(QStringLiteral("first.png"), 60);
        const QString second = writePicture(QStringLiteral("second.png"), 60);
        const QString startFolder = QDir::currentPath();
        QDir::setCurrent(dir_->path());
        window_->openPictures({QStringLiteral("first.png")});  // as a shell passes it
        QDir::setCurrent(startFolder);
        QCOMPARE(state_.FirstPicturePath, first);
        QCOMPARE(state_.LastFolder, dir_->path());
        QCOMPARE(state_.job.settings.TransformationMode, int(kK3vStereo));
        QCOMPARE(state_.job.planes().SourceWidth, 60);

        window_->openPictures({first, second});
        QCOMPARE(state_.job.settings.TransformationMode, int(kStandardStereo));
        QVERIFY(option(kCmdStandardStereo)->isChecked());
        QCOMPARE(state_.SecondPicturePath, second);
        QVERIFY(dialogs_.warnings.isEmpty());
        QCOMPARE(sound_.plays, 0);

        // A second view of another size gets the button's warning; the first stays loaded.
        const QString narrow = writePicture(QStringLiteral("narrow.png"), 40);
        window_->openPictures({second, narrow});
        QCOMPARE(dialogs_.warnings.size(), 1);
        QCOMPARE(state_.FirstPicturePath, second);
        QVERIFY(state_.SecondPicturePath.isEmpty());
    }

    void drops_data() {
        QTest::addColumn<bool>("standard");
        QTest::addColumn<int>("target");
        QTest::addColumn<QStringList>("files");  // relative names; "text" drops plain text
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("picture on the preview")
            << false << int(kIdPreview) << QStringList{"b.png"} << "b.png"
            << "";
        QTest::newRow("on the second field in K3V mode: first")
            << false << int(kIdSecondPath) << QStringList{"b.png"} << "b.png"
            << "";
        QTest::newRow("on the second field in Standard mode: second")
            << true << int(kIdSecondPath) << QStringList{"b.png"} << "a.png"
            << "b.png";
        QTest::newRow("not a picture")
            << false << int(kIdPreview) << QStringList{"notes.txt"} << "a.png"
            << "";
        QTest::newRow("two files")
            << false << int(kIdPreview) << QStringList{"a.png", "b.png"} << "a.png"
            << "";
        QTest::newRow("text") << true << int(kIdSecondPath) << QStringList{"text"} << "a.png"
                              << "";
    }
    void drops() {
        QFETCH(bool, standard);
        QFETCH(int, target);
        QFETCH(QStringList, files);
        QFETCH(QString, first);
        QFETCH(QString, second);
        writePicture(QStringLiteral("a.png"), 60);
        writePicture(QStringLiteral("b.png"), 60);
        QFile notes(dir_->filePath(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("no picture") > 0);
        notes.close();
        window_->openPictures({dir_->filePath(QStringLiteral("a.png"))});
        if (standard) {
            window_->chooseMode(kStandardStereo);
        }
        const ConversionSettings settingsBefore = state_.job.settings;
        const QString folderBefore = state_.LastFolder;
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : files) {
            urls.append(QUrl::fromLocalFile(dir_->filePath(name)));
        }
        files == QStringList{"text"} ? data.setText(QStringLiteral("a.png")) : data.setUrls(urls);
        drop(data, centreOf(target));
        const auto path = [&](const QString& name) {
            return name.isEmpty() ? QString() : dir_->filePath(name);
        };
        QCOMPARE(state_.FirstPicturePath, path(first));
        QCOMPARE(state_.SecondPicturePath, path(second));
        QCOMPARE(state_.LastFolder, folderBefore);
        const bool refused = first == QLatin1String("a.png") && second.isEmpty();
        QCOMPARE(dialogs_.warnings.size(), refused ? 1 : 0);
        if (refused) {
            QCOMPARE(state_.job.settings, settingsBefore);
        }
    }

    void disabledSecondButtonDoesNothing() {
        auto* button = window_->control(kCmdLoadSecond);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(sound_.plays, 0);
        QVERIFY(dialogs_.openRequests.isEmpty());
        // It looks disabled: the same button enabled is drawn otherwise.
        const QImage disabled = button->grab().toImage();
        button->setEnabled(true);
        QVERIFY(button->grab().toImage() != disabled);
    }

    void resetButtons_data() {
        QTest::addColumn<int>("resetId");
        QTest::addColumn<int>("sliderId");
        QTest::addColumn<int>("moved");
        QTest::addColumn<int>("resetValue");
        QTest::newRow("stereo") << int(kCmdResetStereo) << int(kIdStereoSlider) << -7 << 3;
        QTest::newRow("sharpen") << int(kCmdResetSharpen) << int(kIdSharpenSlider) << 5 << 1;
        QTest::newRow("sharpen blend") << int(kCmdResetSharpen) << int(kIdBlendSlider) << 2 << 0;
        QTest::newRow("brightness")
            << int(kCmdResetBrightness) << int(kIdBrightnessSlider) << 1 << 127;
        QTest::newRow("contrast") << int(kCmdResetContrast) << int(kIdContrastSlider) << 0 << 127;
        QTest::newRow("noise") << int(kCmdResetNoise) << int(kIdNoiseSlider) << 5 << 1;
    }
    void resetButtons() {
        QFETCH(int, resetId);
        QFETCH(int, sliderId);
        QFETCH(int, moved);
        QFETCH(int, resetValue);
        slider(sliderId)->setValue(moved);  // a finished movement: converts
        QCOMPARE(conversions_, 1);
        QTest::mouseClick(window_->control(resetId), Qt::LeftButton);
        QCOMPARE(slider(sliderId)->value(), resetValue);
        QCOMPARE(conversions_, 2);  // placing the thumb is not a movement of its own
        QCOMPARE(sound_.plays, 1);
        const ConversionSettings& s = state_.job.settings;
        const int stored[] = {s.StereoEffect, s.SharpenLevel, s.SharpenBlend,
                              s.Brightness,   s.Contrast,     s.NoisePasses};
        const int ids[] = {kIdStereoSlider,     kIdSharpenSlider,  kIdBlendSlider,
                           kIdBrightnessSlider, kIdContrastSlider, kIdNoiseSlider};
        for (size_t i = 0; i < std::size(ids); ++i) {
            QCOMPARE(stored[i], slider(ids[i])->value());
        }
    }

    void optionsByDefault() {
        QTest::mouseClick(option(kCmdStandardStereo), Qt::LeftButton);
        window_->action(kCmdHorizontal)->trigger();
        QTest::mouseClick(checkBox(kCmdSharpen), Qt::LeftButton);
        QTest::mouseClick(checkBox(kCmdStillPhoto), Qt::LeftButton);
        for (const int id : {kIdStereoSlider, kIdSharpenSlider, kIdBrightnessSlider,
                             kIdContrastSlider, kIdNoiseSlider}) {
            slider(id)->setValue(slider(id)->maximum());
        }
        state_.FirstPicturePath = QStringLiteral("/pictures/hall.jpg");
        state_.SecondPicturePath = QStringLiteral("/pictures/hall2.jpg");
        state_.DepthEntry = 10;
        conversions_ = 0;

        QTest::mouseClick(window_->control(kCmdDefaults), Qt::LeftButton);
        const ConversionSettings& s = state_.job.settings;
        QCOMPARE(s.StereoEffect, int16_t(3));
        QCOMPARE(s.SharpenLevel, 1);
        QCOMPARE(s.SharpenBlend, 0);  // not its start value 3
        QCOMPARE(s.Brightness, 127);
        QCOMPARE(s.Contrast, 127);
        QCOMPARE(s.NoisePasses, 1);
        QCOMPARE(slider(kIdBlendSlider)->value(), 0);
        QCOMPARE(slider(kIdContrastSlider)->value(), 127);
        QCOMPARE(depthList()->currentText(), QStringLiteral("30"));
        QCOMPARE(s.DepthValue, 30);
        QVERIFY(option(kCmdK3vStereo)->isChecked());
        QCOMPARE(s.TransformationMode, int(kK3vStereo));
        QVERIFY(!window_->control(kCmdLoadSecond)->isEnabled());
        // What it keeps: the flags, the layout, the kind and both paths.
        QCOMPARE(s.SharpenOn, 1);
        QCOMPARE(s.StereoLayout, int(kSideBySideHorizontal));
        QCOMPARE(s.SourceKind, int(kStillPhoto));
        QCOMPARE(state_.FirstPicturePath, QStringLiteral("/pictures/hall.jpg"));
        QCOMPARE(qobject_cast<PathField*>(window_->control(kIdFirstPath))->text(),
                 QStringLiteral("/pictures/hall.jpg"));
        QCOMPARE(state_.SecondPicturePath, QStringLiteral("/pictures/hall2.jpg"));
        QCOMPARE(conversions_, 1);
    }

    // ---- Sliders ------------------------------------------------------------------------

    void sliderDragConvertsOnceOnRelease_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("released");
        QTest::newRow("stereo effect to -10") << int(kIdStereoSlider) << -10;
        QTest::newRow("sharpen") << int(kIdSharpenSlider) << 4;
        QTest::newRow("blend") << int(kIdBlendSlider) << 0;
        QTest::newRow("brightness") << int(kIdBrightnessSlider) << 200;
        QTest::newRow("contrast to 0") << int(kIdContrastSlider) << 0;
        QTest::newRow("noise") << int(kIdNoiseSlider) << 5;
    }
    void sliderDragConvertsOnceOnRelease() {
        QFETCH(int, id);
        QFETCH(int, released);
        const ConversionSettings before = state_.job.settings;
        QSlider* thumb = slider(id);
        thumb->setSliderDown(true);
        for (int value = thumb->minimum(); value <= thumb->maximum(); value += 2) {
            thumb->setSliderPosition(value);
        }
        thumb->setSliderPosition(released);
        QCOMPARE(conversions_, 0);  // nothing while the thumb is held
        QCOMPARE(state_.job.settings, before);
        thumb->setSliderDown(false);
        QCOMPARE(conversions_, 1);
        QCOMPARE(thumb->value(), released);
        const ConversionSettings& s = state_.job.settings;
        const int stored = id == kIdStereoSlider       ? s.StereoEffect
                           : id == kIdSharpenSlider    ? s.SharpenLevel
                           : id == kIdBlendSlider      ? s.SharpenBlend
                           : id == kIdBrightnessSlider ? s.Brightness
                           : id == kIdContrastSlider   ? s.Contrast
                                                       : s.NoisePasses;
        QCOMPARE(stored, released);
        QCOMPARE(sound_.plays, 0);
    }

    // The window still answers while it converts: the busy cursor keeps its arrow.
    void conversionShowsTheBusyCursorAndRemovesIt() {
        QList<int> shapes;
        const auto connection =
            connect(window_->runner(), &JobRunner::busyChanged, this, [&shapes](bool busy) {
                const QCursor* cursor = QApplication::overrideCursor();
                if (busy) {
                    shapes.append(cursor != nullptr ? int(cursor->shape()) : -1);
                }
            });
        window_->action(kCmdVertical)->trigger();
        disconnect(connection);
        QCOMPARE(shapes, QList<int>{int(Qt::BusyCursor)});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void releasingAtTheSameValueStillConverts() {
        QSlider* thumb = slider(kIdBrightnessSlider);
        thumb->setSliderDown(true);
        thumb->setSliderDown(false);
        QCOMPARE(conversions_, 1);
        QCOMPARE(state_.job.settings.Brightness, 127);
    }

    void pageStepIsAFifthOfTheRange_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("step");
        QTest::newRow("stereo effect -10..10") << int(kIdStereoSlider) << 4;
        QTest::newRow("sharpen 0..5") << int(kIdSharpenSlider) << 1;
        QTest::newRow("blend 0..3") << int(kIdBlendSlider) << 1;
        QTest::newRow("brightness 1..255") << int(kIdBrightnessSlider) << 51;
        QTest::newRow("contrast 0..255") << int(kIdContrastSlider) << 51;
        QTest::newRow("noise 1..5") << int(kIdNoiseSlider) << 1;
    }
    void pageStepIsAFifthOfTheRange() {
        QFETCH(int, id);
        QFETCH(int, step);
        QSlider* thumb = slider(id);
        thumb->setFocus();
        QTest::keyClick(thumb, Qt::Key_End);
        const int before = conversions_;
        QTest::keyClick(thumb, Qt::Key_PageDown);
        QCOMPARE(thumb->value(), thumb->maximum() - step);
        QCOMPARE(conversions_, before + 1);
    }

    void holdingTheGrooveConvertsOnceOnRelease() {
        QSlider* thumb = slider(kIdBrightnessSlider);
        const QPoint rightEnd(thumb->width() - 3, thumb->height() / 2);
        QTest::mousePress(thumb, Qt::LeftButton, {}, rightEnd);
        QCOMPARE(thumb->value(), 127 + 51);
        QCOMPARE(conversions_, 0);  // the button is still held
        QTest::mouseRelease(thumb, Qt::LeftButton, {}, rightEnd);
        QCOMPARE(conversions_, 1);
        QCOMPARE(state_.job.settings.Brightness, 127 + 51);
    }

    void keyboardMovementConvertsEachTime() {
        QSlider* thumb = slider(kIdStereoSlider);
        thumb->setFocus();
        QTest::keyClick(thumb, Qt::Key_Home);
        QCOMPARE(state_.job.settings.StereoEffect, int16_t(-10));  // negative values survive
        QTest::keyClick(thumb, Qt::Key_Right);
        QCOMPARE(state_.job.settings.StereoEffect, int16_t(-9));
        QCOMPARE(conversions_, 2);
    }

    void shortcuts_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("opens");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<int>("clicks");
        QTest::newRow("Ctrl+L loads") << int(Qt::Key_L) << int(Qt::ControlModifier) << 1 << 0 << 1;
        QTest::newRow("Ctrl+P publishes")
            << int(Qt::Key_P) << int(Qt::ControlModifier) << 0 << 1 << 1;
        QTest::newRow("Ctrl+F1 helps")
            << int(Qt::Key_F1) << int(Qt::ControlModifier) << 0 << 1 << 1;
        QTest::newRow("F1 only clicks") << int(Qt::Key_F1) << int(Qt::NoModifier) << 0 << 0 << 1;
        QTest::newRow("L alone is nothing") << int(Qt::Key_L) << int(Qt::NoModifier) << 0 << 0 << 0;
    }
    void shortcuts() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, opens);
        QFETCH(int, warnings);
        QFETCH(int, clicks);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(dialogs_.openRequests.size(), opens);
        // Publishing without a picture and help without its document both warn.
        QCOMPARE(dialogs_.warnings.size(), warnings);
        QCOMPARE(sound_.plays, clicks);
    }

    void commandButtonsShowKeyboardFocusOnly() {
        auto* button = window_->control(kCmdPublish);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        button->setFocus(Qt::MouseFocusReason);
        const QImage clicked = button->grab().toImage();
        button->clearFocus();
        const QImage unfocused = button->grab().toImage();
        QCOMPARE(clicked, unfocused);
        button->setFocus(Qt::TabFocusReason);
        QVERIFY(button->grab().toImage() != unfocused);
    }

    void resetButtonsShowAFrameAndKeyboardFocus() {
        QWidget* reset = window_->control(kCmdResetStereo);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        const QImage plain = reset->grab().toImage();
        QCOMPARE(plain.pixelColor(0, plain.height() / 2), QColor(Qt::black));
        QTest::mouseClick(reset, Qt::LeftButton);
        QVERIFY(reset->hasFocus());
        QCOMPARE(reset->grab().toImage(), plain);  // a click shows no focus
        window_->control(kCmdAuto)->setFocus();
        QTest::keyClick(window_->control(kCmdAuto), Qt::Key_Tab);
        QVERIFY(reset->hasFocus());
        QVERIFY(reset->grab().toImage() != plain);
    }

    void headerBoxesShowKeyboardFocusOnBlack() {
        QWidget* box = window_->control(kCmdStillPhoto);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        const QImage unfocused = box->grab().toImage();
        box->setFocus(Qt::TabFocusReason);
        QVERIFY(box->hasFocus());
        const QImage focused = box->grab().toImage();
        // A dotted frame round the caption: every other pixel of its sides, at least 40, turned
        // light on the black background.
        int lit = 0;
        for (int y = 0; y < focused.height(); ++y) {
            for (int x = 0; x < focused.width(); ++x) {
                lit += focused.pixelColor(x, y).lightness() > 100 &&
                               unfocused.pixelColor(x, y).lightness() <= 100
                           ? 1
                           : 0;
            }
        }
        QVERIFY2(lit >= 40, qPrintable(QString::number(lit)));
    }

    // Alt and a letter reaches one item only, in every menu and on the menu bar.
    void menuItemsHaveTheirOwnAccessKeys() {
        const auto checkUnique = [](const QList<QAction*>& items) {
            QStringList keys;
            for (const QAction* item : items) {
                if (item->isSeparator()) {
                    continue;
                }
                const QString key = QKeySequence::mnemonic(item->text()).toString();
                QVERIFY2(!key.isEmpty(), qPrintable(item->text() + " has no access key"));
                QVERIFY2(!keys.contains(key), qPrintable(item->text() + " repeats " + key));
                keys += key;
            }
        };
        const QList<QAction*> menus = window_->menuBar()->actions();
        checkUnique(menus);
        for (const QAction* menu : menus) {
            checkUnique(menu->menu()->actions());
        }
    }

    // The pointer resting on a slider, and the thumb while dragged, show the slider's value.
    void slidersShowTheirValueInTheTooltip() {
        QSlider* brightness = slider(kIdBrightnessSlider);
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), brightness->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(brightness, &hover);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("127"));
        QToolTip::hideText();

        QStyleOptionSlider option;
        option.initFrom(brightness);
        option.minimum = brightness->minimum();
        option.maximum = brightness->maximum();
        option.sliderPosition = option.sliderValue = brightness->value();
        option.orientation = Qt::Horizontal;
        const QPoint thumb =
            brightness->style()
                ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, brightness)
                .center();
        QTest::mousePress(brightness, Qt::LeftButton, Qt::NoModifier, thumb);
        QVERIFY(brightness->isSliderDown());
        const QPoint moved = thumb + QPoint(20, 0);
        QMouseEvent drag(QEvent::MouseMove, moved, brightness->mapToGlobal(moved), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(brightness, &drag);
        QVERIFY(brightness->value() > 127);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString::number(brightness->value()));
        QTest::mouseRelease(brightness, Qt::LeftButton, Qt::NoModifier, moved);
        QCOMPARE(state_.job.settings.Brightness, brightness->value());

        // Placed by a command, the thumb's tooltip follows as well.
        window_->resetBrightness();
        QCOMPARE(brightness->toolTip(), QStringLiteral("127"));
        QToolTip::hideText();
    }

    // The icon beside the depth list: each lens in the chosen glasses' colour (left lens
    // first), and at the start exactly the red/cyan picture.
    void glassesIconFollowsTheSetting_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QColor>("left");
        QTest::addColumn<QColor>("right");
        QTest::newRow("red/cyan") << int(kCmdRedCyanGlasses) << QColor(Qt::red) << QColor(Qt::cyan);
        QTest::newRow("green/magenta")
            << int(kCmdGreenMagentaGlasses) << QColor(Qt::green) << QColor(Qt::magenta);
        QTest::newRow("amber/blue")
            << int(kCmdAmberBlueGlasses) << QColor(255, 176, 0) << QColor(Qt::blue);
    }
    void glassesIconFollowsTheSetting() {
        QFETCH(int, command);
        QFETCH(QColor, left);
        QFETCH(QColor, right);
        auto* icon = qobject_cast<QLabel*>(window_->control(kIdGlassesIcon));
        const auto shown = [icon] {
            return icon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        };
        const QImage start = shown();
        QCOMPARE(start, QPixmap(QStringLiteral(":/k3v/glasses"))
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32));
        window_->action(command)->trigger();
        // Hue within 30 degrees of the lens colour, well inside each lens.
        const auto near = [](const QColor& seen, const QColor& meant) {
            const int apart = std::abs(seen.hsvHue() - meant.hsvHue());
            return std::min(apart, 360 - apart) < 30 && seen.hsvSaturation() > 128;
        };
        const QImage glasses = shown();
        QVERIFY2(near(glasses.pixelColor(12, 12), left),
                 qPrintable(glasses.pixelColor(12, 12).name()));
        QVERIFY2(near(glasses.pixelColor(30, 12), right),
                 qPrintable(glasses.pixelColor(30, 12).name()));
        window_->action(kCmdDefaults)->trigger();
        QCOMPARE(shown(), start);
    }

    // ---- Closing ------------------------------------------------------------------------

    void closeConfirmation_data() {
        QTest::addColumn<bool>("fromExitCommand");
        QTest::addColumn<bool>("answer");
        QTest::newRow("close box, Cancel") << false << false;
        QTest::newRow("close box, OK") << false << true;
        QTest::newRow("Exit button, Cancel") << true << false;
        QTest::newRow("Exit button, OK") << true << true;
    }
    void closeConfirmation() {
        QFETCH(bool, fromExitCommand);
        QFETCH(bool, answer);
        slider(kIdContrastSlider)->setValue(40);
        dialogs_.confirmAnswers = {answer};
        if (fromExitCommand) {
            QTest::mouseClick(window_->control(kCmdExit), Qt::LeftButton);
        } else {
            window_->close();
        }
        QCOMPARE(dialogs_.confirmations.size(), 1);
        QCOMPARE(dialogs_.confirmations[0].first, QStringLiteral("Are you sure?"));
        QCOMPARE(dialogs_.confirmations[0].second, QStringLiteral("Exit IDE"));
        QCOMPARE(window_->isVisible(), !answer);
        QCOMPARE(state_.job.settings.Contrast, 40);  // Cancel changes nothing
        QCOMPARE(sound_.plays, fromExitCommand ? 1 : 0);
    }

    // ---- Help and About -----------------------------------------------------------------

    void aboutCommand() {
        QTest::mouseClick(window_->control(kCmdAbout), Qt::LeftButton);
        window_->action(kCmdAbout)->trigger();
        QCOMPARE(dialogs_.aboutShown, 2);
        QCOMPARE(sound_.plays, 2);
    }

    void helpOpensTheDocumentInAFolderWithSpaces() {
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("my programs/k3v"));
        QVERIFY(QDir().mkpath(program));
        QFile document(program + QStringLiteral("/Quorvex_K3V.pdf"));
        QVERIFY(document.open(QIODevice::WriteOnly));
        document.write("%PDF-1.4\n");
        document.close();
        FakeDialogs dialogs;
        FakeSound sound;
        MainWindow window(state_, dialogs, sound, program);
        window.action(kCmdHelp)->trigger();
        QVERIFY(dialogs.warnings.isEmpty());
        QCOMPARE(dialogs.openedUrls.size(), 1);
        QCOMPARE(dialogs.openedUrls[0].toLocalFile(), document.fileName());
        QCOMPARE(sound.plays, 1);
        dialogs.confirmAnswers = {true};
    }

    void helpWarnsWhenTheDocumentIsMissing() {
        window_->action(kCmdHelp)->trigger();
        QVERIFY(dialogs_.openedUrls.isEmpty());
        QCOMPARE(dialogs_.warnings.size(), 1);
        QVERIFY(dialogs_.warnings[0].contains(QStringLiteral("Quorvex_K3V.pdf")));
        QVERIFY(dialogs_.warnings[0].contains(dir_->path()));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
