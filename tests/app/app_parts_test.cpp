// The window's parts on their own: the gradient buttons, the file dialogs and their filters,
// the proposed save name, the help document's places, the path fields, the balloon help, the
// splash screen and the About box.

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/about_dialog.h"
#include "app/app_state.h"
#include "app/balloon_help.h"
#include "app/click_sound.h"
#include "app/file_dialogs.h"
#include "app/gradient_button.h"
#include "app/help_document.h"
#include "app/path_field.h"
#include "app/preview_renderer.h"
#include "app/product_info.h"
#include "app/splash_dialog.h"

using namespace k3v;

namespace {

bool PatternMatches(const QString& pattern, const QString& name) {
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
    return re.match(name).hasMatch();
}

QStringList TypeListTexts(QFileDialog& dialog) {
    auto* typeList = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QStringList texts;
    for (int row = 0; typeList != nullptr && row < typeList->count(); ++row) {
        texts += typeList->itemText(row);
    }
    return texts;
}

}  // namespace

class AppPartsTest : public QObject {
    Q_OBJECT

  private slots:
    // ---- Gradient buttons -----------------------------------------------------------------

    void bandColours_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("band");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("red top") << int(GradientKey::Red) << 0 << QColor(255, 0, 0);
        QTest::newRow("red bottom") << int(GradientKey::Red) << 199 << QColor(56, 0, 0);
        QTest::newRow("cyan top") << int(GradientKey::Cyan) << 0 << QColor(0, 255, 255);
        QTest::newRow("cyan 100") << int(GradientKey::Cyan) << 100 << QColor(0, 155, 155);
        QTest::newRow("blue top") << int(GradientKey::Blue) << 0 << QColor(0, 199, 255);
        QTest::newRow("blue bottom") << int(GradientKey::Blue) << 199 << QColor(0, 0, 56);
    }
    void bandColours() {
        QFETCH(int, key);
        QFETCH(int, band);
        QFETCH(QColor, colour);
        QCOMPARE(GradientBandColor(GradientKey(key), band), colour);
    }

    void gradientRowsOnA20PixelFace() {
        // A 22-pixel button has a 20-pixel face inside its edge. step = 0.005f * 20 is just
        // under 0.1 in single precision (0.0999999). Band 5 spans 0.4999999 -> 0 to
        // 0.5999999 -> 1, so it is row 0's colour; band 195 spans 19.4999981 -> 19 to
        // 19.5999985 -> 20, the last row's colour. Bands 196..199 round to 20..20: empty.
        QImage face(140, 20, QImage::Format_RGB32);
        face.fill(Qt::magenta);
        QPainter painter(&face);
        PaintGradient(painter, 140, 20, GradientKey::Cyan);
        painter.end();
        QCOMPARE(face.pixelColor(70, 0), GradientBandColor(GradientKey::Cyan, 5));
        QCOMPARE(face.pixelColor(70, 19), GradientBandColor(GradientKey::Cyan, 195));
        QCOMPARE(face.pixelColor(139, 10), face.pixelColor(0, 10));  // full width
        QVERIFY(face.pixelColor(0, 19).green() < face.pixelColor(0, 0).green());
    }

    void buttonShowsCaptionOrProcess() {
        QWidget parent;
        GradientButton button(QStringLiteral("Publish 3D Pano"), GradientKey::Blue, &parent);
        button.setGeometry(0, 0, 140, 22);
        QCOMPARE(button.accessibleName(), QStringLiteral("Publish 3D Pano"));
        const QImage up = button.grab().toImage();
        button.setDown(true);
        const QImage down = button.grab().toImage();
        int blue = 0;
        int gradient = 0;
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 140; ++x) {
                const QColor c = down.pixelColor(x, y);
                blue += c.blue() > 150 && c.red() < 90 && c.green() < 90 ? 1 : 0;
                gradient += down.pixelColor(x, y) == up.pixelColor(x, y) ? 1 : 0;
            }
        }
        QVERIFY2(blue > 10, "\"Process\" is written in blue while the button is held");
        QVERIFY2(gradient < 140 * 22 / 4, "no gradient while the button is held");
        // Pixel row 2 is face row 1 (inside the 1-pixel edge): band 15 (1.4999999 -> 1 to
        // 1.5999999 -> 2) on the 20-pixel face.
        QCOMPARE(up.pixelColor(70, 2), GradientBandColor(GradientKey::Blue, 15));
    }

    // ---- File dialogs -----------------------------------------------------------------------

    void pictureFilterTexts() {
        QStringList texts;
        for (const FileFilter& filter : PictureFilters()) {
            texts += filter.text;
        }
        QCOMPARE(texts, QStringList({"All panorama files", "Panoramas/Photo JPG files  (*.JPG)",
                                     "Panoramas/Photo JPEG files (*.JPEG)",
                                     "Panoramas/Photo BMP files  (*.BMP)",
                                     "Panoramas/Photo PNG files  (*.PNG)",
                                     "Panoramas/Photo TIFF video files (*.TIF)"}));
        QCOMPARE(PictureFilters()[0].patterns.join(u';'),
                 QStringLiteral("*.jpg;*.jpeg;*.bmp;*.png;*.tif"));
    }

    void patternsIgnoreLetterCase_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("camera name") << "*.jpg"
                                     << "IMG_1.JPG" << true;
        QTest::newRow("mixed") << "*.jpeg"
                               << "a.JpEg" << true;
        QTest::newRow("lower") << "*.tif"
                               << "scan.tif" << true;
        QTest::newRow("other type") << "*.jpg"
                                    << "IMG_1.PNG" << false;
        QTest::newRow("longer extension") << "*.tif"
                                          << "scan.tiff" << false;
    }
    void patternsIgnoreLetterCase() {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(PatternMatches(CaseInsensitivePattern(pattern), name), matches);
    }

    void openDialogIsSetUp() {
        QTemporaryDir dir;
        std::unique_ptr<QFileDialog> dialog(
            MakeOpenPictureDialog(nullptr, QStringLiteral("Load 1.Panorama"), dir.path()));
        QCOMPARE(dialog->viewMode(), QFileDialog::Detail);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        QStringList expected;
        for (const FileFilter& filter : PictureFilters()) {
            expected += filter.text;
        }
        QCOMPARE(TypeListTexts(*dialog), expected);
        auto* typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QCOMPARE(typeList->currentIndex(), 0);
        QVERIFY(dialog->selectedNameFilter().startsWith(QStringLiteral("All panorama files")));
    }

    void openDialogOffersCapitalisedNames() {
        QTemporaryDir dir;
        for (const char* name : {"IMG_1.JPG", "b.png", "notes.txt"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        std::unique_ptr<QFileDialog> dialog(
            MakeOpenPictureDialog(nullptr, QStringLiteral("Load 1.Panorama"), dir.path()));
        dialog->show();
        QAbstractItemView* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        QVERIFY(list != nullptr);
        // The folder is read in the background; wait until its entries are listed.
        QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(list->rootIndex()), 2, 30000);
        QStringList shown;
        for (int row = 0; row < 2; ++row) {
            shown += list->model()->index(row, 0, list->rootIndex()).data().toString();
        }
        shown.sort();
        QCOMPARE(shown, QStringList({"IMG_1.JPG", "b.png"}));
    }

    void saveDialogIsSetUp() {
        QTemporaryDir dir;
        std::unique_ptr<QFileDialog> dialog(
            MakeSaveStereoDialog(nullptr, dir.path(), QStringLiteral("hall_Unwrapped")));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Save Stereo Image"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("jpg"));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(TypeListTexts(*dialog),
                 QStringList({"3D Stereo Files (*.jpg)", "3D Stereo Files (*.bmp)",
                              "MPO Stereo Files (*.mpo)", "JPS Stereo Files (*.jps)",
                              "3D Stereo Files (*.tif)"}));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name != nullptr);
        QCOMPARE(name->text(), QStringLiteral("hall_Unwrapped"));
        // Choosing the BMP type makes a bare name a BMP file.
        auto* typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        typeList->setCurrentIndex(1);
        emit typeList->activated(1);  // what a choice in the list sends
        emit typeList->textActivated(typeList->itemText(1));
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("bmp"));

        // The type of the last save comes back chosen.
        dialog.reset(MakeSaveStereoDialog(nullptr, dir.path(), QStringLiteral("hall_Unwrapped"),
                                          QStringLiteral("MPO")));
        typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QCOMPARE(typeList->currentIndex(), 2);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("mpo"));
        // A TIFF saved as .tiff comes back as the TIFF type; a bare name becomes NAME.tif.
        dialog.reset(MakeSaveStereoDialog(nullptr, dir.path(), QStringLiteral("hall_Unwrapped"),
                                          QStringLiteral("tiff")));
        typeList = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QCOMPARE(typeList->currentIndex(), 4);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("tif"));
        typeList->setCurrentIndex(0);
        emit typeList->activated(0);
        emit typeList->textActivated(typeList->itemText(0));
        typeList->setCurrentIndex(4);
        emit typeList->activated(4);
        emit typeList->textActivated(typeList->itemText(4));
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("tif"));
    }

    void proposedSaveName_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("tif") << "/pics/hall.tif"
                             << "hall_Unwrapped";
        QTest::newRow("Windows path") << "C:\\pics\\hall.tif"
                                      << "hall_Unwrapped";
        QTest::newRow("no extension") << "D:\\a.b\\photo"
                                      << "photo_Unwrapped";
        QTest::newRow("two dots") << "/x/pano.old.jpg"
                                  << "pano.old_Unwrapped";
        QTest::newRow("spaces") << "/my pictures/big hall.JPG"
                                << "big hall_Unwrapped";
    }
    void proposedSaveName() {
        QFETCH(QString, picture);
        QFETCH(QString, proposed);
        QCOMPARE(ProposedSaveName(picture), proposed);
    }

    // ---- Help document ----------------------------------------------------------------------

    void helpDocumentPlaces() {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("inst dir/bin"));
        const QString share = root.filePath(QStringLiteral("inst dir/share/k3v-stereo"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(share));
        QCOMPARE(FindHelpDocument(bin), QString());
        QVERIFY(MissingHelpMessage(bin).contains(bin + QStringLiteral("/Quorvex_K3V.pdf")));
        QFile installed(share + QStringLiteral("/Quorvex_K3V.pdf"));
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.close();
        QCOMPARE(FindHelpDocument(bin), installed.fileName());
        QFile beside(bin + QStringLiteral("/Quorvex_K3V.pdf"));
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.close();
        QCOMPARE(FindHelpDocument(bin), beside.fileName());  // next to the program first
    }

    // ---- Path fields ------------------------------------------------------------------------

    void longPathIsElidedInTheMiddle() {
        QWidget parent;
        PathField field(&parent);
        field.setGeometry(0, 0, 300, 20);
        const QString path = QStringLiteral("/home/someone/") + QString(200, u'x') +
                             QStringLiteral("/holiday/panorama.jpg");
        field.setText(path);
        const QString shown = field.displayedText();
        QCOMPARE(field.text(), path);
        QVERIFY(shown.size() < path.size());
        QVERIFY2(shown.startsWith(QStringLiteral("/home/")), qPrintable(shown));
        QVERIFY2(shown.endsWith(QStringLiteral("panorama.jpg")), qPrintable(shown));
        QVERIFY(shown.contains(QChar(0x2026)));
        field.setText(QStringLiteral("/a.jpg"));
        QCOMPARE(field.displayedText(), QStringLiteral("/a.jpg"));
    }

    // ---- Balloon help -----------------------------------------------------------------------

    void balloonShowsTitleTextAndColours() {
        QWidget control;
        control.resize(100, 20);
        control.show();
        BalloonHelp help;
        help.attach(&control,
                    QStringLiteral("K3V Stereo mode. \rOne image 2D to 3D converting mode."));
        help.showFor(&control);
        QVERIFY(help.isShowing());
        QCOMPARE(help.balloon().title(), QStringLiteral("Information:"));
        QCOMPARE(help.balloon().helpText(),
                 QStringLiteral("K3V Stereo mode. \nOne image 2D to 3D converting mode."));
        QVERIFY(help.balloon().width() <= kBalloonMaxWidth);
        const QImage image = help.balloon().grab().toImage();
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() - 4), kBalloonBackground);
        int yellow = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                yellow += image.pixelColor(x, y) == kBalloonTextColour ? 1 : 0;
            }
        }
        QVERIFY(yellow > 10);
        QEvent leave(QEvent::Leave);  // moving off the control takes the balloon away
        QApplication::sendEvent(&control, &leave);
        QVERIFY(!help.isShowing());
    }

    void balloonWaitsHalfASecondAfterEntering() {
        QWidget control;
        control.show();
        BalloonHelp help;
        help.attach(&control, QStringLiteral("text"));
        QCOMPARE(help.pendingDelay(), -1);
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(&control, &enter);
        QCOMPARE(help.pendingDelay(), kBalloonInitialDelayMs);
        QVERIFY(!help.isShowing());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&control, &leave);
        QCOMPARE(help.pendingDelay(), -1);
        QCOMPARE(kBalloonDisplayTimeMs, 5000);
    }

    void attachingAgainChangesNothing() {
        QWidget control;
        BalloonHelp help;
        help.attach(&control, QStringLiteral("one"));
        help.attach(&control, QStringLiteral("one"));
        QCOMPARE(help.helpTextOf(&control), QStringLiteral("one"));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(&control, &enter);
        QCOMPARE(help.pendingDelay(), kBalloonInitialDelayMs);
    }

    // ---- Splash and About -------------------------------------------------------------------

    void splashScreen() {
        QList<QUrl> opened;
        const QCursor link(Qt::PointingHandCursor);
        SplashDialog splash(link, [&opened](const QUrl& url) { opened.append(url); });
        QCOMPARE(splash.windowTitle(), QStringLiteral("Quorvex Still K3V Stereo Converter"));
        QCOMPARE(splash.size(), QSize(DialogX(437), DialogY(120)));
        QCOMPARE(splash.palette().color(QPalette::Window), QColor(Qt::white));
        auto* invitation = splash.findChild<QLabel*>(QStringLiteral("invitation"));
        QCOMPARE(invitation->text(), QStringLiteral("See a more of free Apps at:"));
        auto* address = splash.findChild<LinkLabel*>(QStringLiteral("webAddress"));
        QCOMPARE(address->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(address->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(invitation->cursor().shape() != Qt::PointingHandCursor);
        auto* start = splash.findChild<QPushButton*>(QStringLiteral("start"));
        QCOMPARE(start->text(), QStringLiteral("Start"));
        QCOMPARE(start->cursor().shape(), Qt::PointingHandCursor);

        splash.show();
        QTest::mouseClick(address, Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{QUrl(kWebAddress)});
        QVERIFY(splash.isVisible());  // the address leaves the splash open
        address->setFocus(Qt::TabFocusReason);
        QTest::keyClick(address, Qt::Key_Space);  // and so does the keyboard
        QCOMPARE(opened.size(), 2);
        QVERIFY(splash.isVisible());
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(!splash.isVisible());
        QCOMPARE(splash.result(), int(QDialog::Accepted));
    }

    void aboutBox() {
        QList<QUrl> opened;
        const QCursor link(Qt::PointingHandCursor);
        AboutDialog about(nullptr, link, [&opened](const QUrl& url) { opened.append(url); });
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.palette().color(QPalette::Window), QColor(20, 50, 195));
        auto* name = about.findChild<QLabel*>(QStringLiteral("productName"));
        QCOMPARE(name->text(), QStringLiteral("Quorvex Still K3V Stereo Converter"));
        QCOMPARE(name->palette().color(QPalette::WindowText), QColor(180, 170, 95));
        auto* build = about.findChild<QLabel*>(QStringLiteral("build"));
        QCOMPARE(build->text(), QStringLiteral(" Build 011.01"));
        QCOMPARE(build->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        auto* address = about.findChild<LinkLabel*>(QStringLiteral("webAddress"));
        QCOMPARE(address->palette().color(QPalette::Window), QColor(0, 0, 127));
        QCOMPARE(address->cursor().shape(), Qt::PointingHandCursor);
        about.show();
        QTest::mouseClick(address, Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{QUrl(kWebAddress)});
        QVERIFY(about.findChildren<QPushButton*>().isEmpty());  // closed by its close box
    }

    // ---- Sound and preview start --------------------------------------------------------------

    void clickSoundIsBuiltInAndPlaysWithoutAudioDevice() {
        QtClickSound sound;
        QVERIFY2(sound.hasSound(), "the click sound resource is compiled in");
        sound.play();
        sound.play();  // the second cuts the first; neither may fail without a device
        QVERIFY(sound.hasSound());
        // Not destroyed while Qt's loader thread still works on it: that sometimes left the
        // process unable to end.
        QTRY_VERIFY_WITH_TIMEOUT(!sound.loading(), 10000);
    }

    void startPreview() {
        const QImage picture = RenderStartPreview();
        QCOMPARE(picture.size(), QSize(1000, 300));
        QCOMPARE(picture.pixelColor(999, 299), QColor(0x33, 0x33, 0x33));
    }
};

QTEST_MAIN(AppPartsTest)
#include "app_parts_test.moc"
