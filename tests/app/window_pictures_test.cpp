// Pictures through the window: loading the first and second picture, unreadable files, what
// the preview shows in each layout, and "Publish 3D Pano" with its warnings and failures.

#include <QCheckBox>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/app_state.h"
#include "app/full_size_view.h"
#include "app/job_runner.h"
#include "app/main_window.h"
#include "app/path_field.h"
#include "app/preview_widget.h"
#include "base/memory_probe.h"
#include "fake_services.h"
#include "input/picture_decoder.h"
#include "output/output_format.h"
#include "window_test_base.h"

using namespace k3v;
using k3v::testing::FakeDialogs;
using k3v::testing::FakeSound;

namespace {

// A picture whose left part (columns < split) has one colour and the rest another.
QString WritePicture(const QTemporaryDir& dir, const QString& name, QSize size, const QColor& left,
                     const QColor& right, int split) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(right);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < split && x < size.width(); ++x) {
            image.setPixelColor(x, y, left);
        }
    }
    const QString path = dir.filePath(name);
    if (!image.save(path)) {
        return {};
    }
    return path;
}

QString WritePlain(const QTemporaryDir& dir, const QString& name, QSize size, const QColor& c) {
    return WritePicture(dir, name, size, c, c, 0);
}

int Brightness(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return c.red() + c.green() + c.blue();
}

QByteArray Head(const QString& path, int bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.read(bytes);
}

}  // namespace

class WindowPicturesTest : public k3v::testing::WindowTestBase {
    Q_OBJECT

  private:
    PathField* pathField(int id) { return qobject_cast<PathField*>(window_->control(id)); }
    QImage previewPicture() { return window_->preview()->grab().toImage(); }

    void loadFirst(const QString& path) {
        dialogs_.openAnswers = {path};
        window_->loadFirstPicture();
    }

  private slots:
    void initTestCase() { setUpApplication(); }
    void init() { QVERIFY(startWindow()); }
    void cleanup() { window_.reset(); }

    // ---- Loading ------------------------------------------------------------------------

    void loadFirstPicture() {
        const QString path = WritePlain(*dir_, QStringLiteral("hall.png"), {40, 20}, Qt::white);
        QVERIFY(!path.isEmpty());
        loadFirst(path);
        QCOMPARE(dialogs_.openRequests.size(), 1);
        QCOMPARE(dialogs_.openRequests[0].first, dir_->path());  // starts in the start folder
        QCOMPARE(dialogs_.openRequests[0].second, PictureSlot::First);
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(state_.job.planes().SourceWidth, 40);
        QCOMPARE(state_.job.planes().SourceHeight, 20);
        QCOMPARE(state_.FirstPicturePath, path);
        QCOMPARE(pathField(kIdFirstPath)->text(), path);
        QCOMPARE(conversions_, 1);
        // The white picture now fills the middle of the preview.
        QVERIFY(Brightness(previewPicture(), 500, 150) > 600);
    }

    void cancellingTheDialogChangesNothing() {
        dialogs_.openAnswers = {QStringLiteral("   ")};
        window_->loadFirstPicture();
        window_->loadFirstPicture();  // and the empty answer: cancelled
        QCOMPARE(dialogs_.openRequests.size(), 2);
        QCOMPARE(state_.job.planes().SourceWidth, kPlaceholderWidth);
        QCOMPARE(state_.LastFolder, dir_->path());
        QCOMPARE(conversions_, 0);
        QVERIFY(dialogs_.warnings.isEmpty());
    }

    // Esc as the work starts: the picture, the paths, the preview and the controls stay.
    void cancelledLoadKeepsThePreviousPicture() {
        const QString first = WritePlain(*dir_, QStringLiteral("first.png"), {40, 20}, Qt::white);
        const QString next = WritePlain(*dir_, QStringLiteral("next.png"), {300, 400}, Qt::red);
        QVERIFY(!first.isEmpty() && !next.isEmpty());
        loadFirst(first);
        const QImage before = previewPicture();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));

        bool disabledWhileBusy = false;
        const auto connection =
            connect(window_->runner(), &JobRunner::busyChanged, this, [&](bool busy) {
                if (busy) {
                    disabledWhileBusy = !window_->control(kCmdLoadFirst)->isEnabled() &&
                                        !window_->control(kCmdPublish)->isEnabled();
                    QTest::keyClick(window_.get(), Qt::Key_Escape);
                }
            });
        window_->loadPicture(next, PictureSlot::First);
        disconnect(connection);

        QVERIFY(disabledWhileBusy);
        QVERIFY(window_->control(kCmdLoadFirst)->isEnabled());
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(state_.job.planes().SourceWidth, 40);
        QCOMPARE(state_.FirstPicturePath, first);
        QCOMPARE(pathField(kIdFirstPath)->text(), first);
        QCOMPARE(conversions_, 1);
        QCOMPARE(previewPicture(), before);
        // The same file loads once the work is not cancelled.
        window_->loadPicture(next, PictureSlot::First);
        QCOMPARE(state_.job.planes().SourceWidth, 300);
        QCOMPARE(state_.FirstPicturePath, next);
    }

    void theNextDialogStartsInThePicturesFolder() {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("pictures")));
        const QString path = WritePlain(*dir_, QStringLiteral("pictures/a.png"), {8, 8}, Qt::red);
        loadFirst(path);
        window_->loadFirstPicture();
        QCOMPARE(dialogs_.openRequests.size(), 2);
        QCOMPARE(dialogs_.openRequests[1].first, dir_->filePath(QStringLiteral("pictures")));
    }

    void unreadableFileWarnsAndChangesNothing_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("name");
        QTest::newRow("not a picture") << QByteArray("this is text, not pixels") << "notes.jpg";
        QTest::newRow("empty file") << QByteArray() << "empty.png";
        QTest::newRow("missing file") << QByteArray("-") << "gone.bmp";
    }
    void unreadableFileWarnsAndChangesNothing() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, name);
        const QString good = WritePlain(*dir_, QStringLiteral("good.png"), {30, 10}, Qt::white);
        loadFirst(good);
        const QImage before = previewPicture();
        conversions_ = 0;

        const QString bad = dir_->filePath(name);
        if (contents != "-") {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        loadFirst(bad);
        // The decoder's own message, naming the file and the reason, is shown as it is.
        PixelPlane unused;
        const Status expected = DecodePictureFile(bad.toStdString(), unused);
        QVERIFY(!expected.ok());
        QCOMPARE(dialogs_.warnings, QStringList{QString::fromStdString(expected.message())});
        QVERIFY2(dialogs_.warnings[0].contains(name), qPrintable(dialogs_.warnings[0]));
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(state_.job.planes().SourceWidth, 30);
        QCOMPARE(state_.job.planes().SourceHeight, 10);
        QCOMPARE(state_.FirstPicturePath, good);
        QCOMPARE(pathField(kIdFirstPath)->text(), good);
        QCOMPARE(conversions_, 0);
        QCOMPARE(previewPicture(), before);
    }

    // A picture too large for the window's memory (a header that claims 100000 x 100000) is
    // refused with the reason, and the refusal names the batch converter, which takes it.
    void tooLargeAPictureNamesTheBatchConverter() {
        if (AvailableMemoryBytes() > PlaneBytes(100000, 100000, 6)) {
            QSKIP("this machine has the memory for such a picture");
        }
        const QString huge = dir_->filePath(QStringLiteral("huge.ppm"));
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("P6\n100000 100000\n255\n0123456789");
        file.close();
        loadFirst(huge);
        QCOMPARE(dialogs_.warnings.size(), 1);
        const QString& text = dialogs_.warnings[0];
        QVERIFY2(
            text.contains(QStringLiteral("not enough memory for a picture of 100000 x 100000")),
            qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("k3v-convert \"%1\" -o \"huge_Unwrapped.jpg\"")
                                   .arg(QDir::toNativeSeparators(huge))),
                 qPrintable(text));
        QVERIFY(!state_.job.hasFirstPicture());
    }

    // A failed first load leaves no picture, so a later conversion shows no size either: the
    // start's placeholder size belongs to no picture.
    void failedFirstLoadShowsNoSize() {
        QTest::mouseClick(window_->control(kCmdSharpen), Qt::LeftButton);
        QVERIFY(previewPicture().pixelColor(11, 12) != QColor(Qt::black));  // the start's size
        loadFirst(dir_->filePath(QStringLiteral("gone.png")));
        QCOMPARE(dialogs_.warnings.size(), 1);
        QTest::mouseClick(window_->control(kCmdSharpen), Qt::LeftButton);
        QCOMPARE(conversions_, 2);
        QCOMPARE(previewPicture().pixelColor(11, 12), QColor(Qt::black));  // no grey text box
    }

    void secondPictureOfEqualSize() {
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        const QString first = WritePlain(*dir_, QStringLiteral("l.png"), {50, 25}, Qt::white);
        const QString second = WritePlain(*dir_, QStringLiteral("r.png"), {50, 25}, Qt::black);
        loadFirst(first);
        dialogs_.openAnswers = {second};
        QTest::mouseClick(window_->control(kCmdLoadSecond), Qt::LeftButton);
        QCOMPARE(dialogs_.openRequests.last().second, PictureSlot::Second);
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(state_.SecondPicturePath, second);
        QCOMPARE(pathField(kIdSecondPath)->text(), second);
        QCOMPARE(conversions_, 3);  // the mode, the first and the second picture
    }

    void secondPictureOfAnotherSizeIsRefused() {
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        const QString first = WritePlain(*dir_, QStringLiteral("l.png"), {50, 25}, Qt::white);
        const QString second = WritePlain(*dir_, QStringLiteral("r.png"), {50, 25}, Qt::black);
        const QString other = WritePlain(*dir_, QStringLiteral("o.png"), {60, 25}, Qt::black);
        loadFirst(first);
        dialogs_.openAnswers = {second, other};
        window_->loadSecondPicture();
        conversions_ = 0;
        window_->loadSecondPicture();
        QCOMPARE(dialogs_.warnings.size(), 1);
        QCOMPARE(dialogs_.warnings[0],
                 QStringLiteral("You need to use both panoramas with the same size!\r\n"
                                "Panorama.1: 50x25\r\nPanorama.2: 60x25"));
        QCOMPARE(state_.SecondPicturePath, second);  // the earlier second picture stays
        QCOMPARE(conversions_, 0);
    }

    void secondPictureBeforeAnyFirstMustMatchThePlaceholder() {
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        const QString other = WritePlain(*dir_, QStringLiteral("o.png"), {60, 25}, Qt::black);
        dialogs_.openAnswers = {other};
        window_->loadSecondPicture();
        QCOMPARE(dialogs_.warnings.size(), 1);
        QVERIFY(dialogs_.warnings[0].contains(QStringLiteral("Panorama.1: 1000x250")));
    }

    void newFirstPictureClearsTheSecondPath() {
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        const QString first = WritePlain(*dir_, QStringLiteral("l.png"), {50, 25}, Qt::white);
        const QString second = WritePlain(*dir_, QStringLiteral("r.png"), {50, 25}, Qt::black);
        const QString bigger = WritePlain(*dir_, QStringLiteral("b.png"), {80, 40}, Qt::white);
        loadFirst(first);
        dialogs_.openAnswers = {second};
        window_->loadSecondPicture();
        loadFirst(bigger);
        QCOMPARE(state_.job.planes().SourceWidth, 80);
        QCOMPARE(state_.SecondPicturePath, QString());
        QCOMPARE(pathField(kIdSecondPath)->text(), QString());
    }

    // A depth map previews at once, is named below the strip, is refused with both sizes when
    // it does not fit, and goes (with a note) when a picture of another size comes.
    void depthMapPreviewsAndGoesWithAnotherSize() {
        const QString picture =
            WritePicture(*dir_, QStringLiteral("p.png"), {60, 20}, Qt::red, Qt::blue, 30);
        const QString map =
            WritePicture(*dir_, QStringLiteral("m.png"), {60, 20}, Qt::white, Qt::black, 20);
        const QString misfit = WritePlain(*dir_, QStringLiteral("x.png"), {61, 20}, Qt::white);
        loadFirst(picture);
        QTest::mouseClick(window_->control(kCmdDepth), Qt::LeftButton);
        const QImage colours = window_->preview()->picture();
        auto* line = qobject_cast<QLabel*>(window_->control(kIdDepthMapLine));
        QCOMPARE(line->text(), QString());

        conversions_ = 0;
        dialogs_.openAnswers = {misfit};
        window_->action(kCmdLoadDepthMap)->trigger();
        QCOMPARE(dialogs_.openRequests.last().second, PictureSlot::DepthMap);
        QCOMPARE(dialogs_.warnings.size(), 1);
        QVERIFY2(
            dialogs_.warnings[0].contains(QStringLiteral("61 x 20 pixels, the picture 60 x 20")),
            qPrintable(dialogs_.warnings[0]));
        QCOMPARE(conversions_, 0);
        QVERIFY(!window_->action(kCmdClearDepthMap)->isEnabled());

        dialogs_.openAnswers = {map};
        window_->action(kCmdLoadDepthMap)->trigger();
        QCOMPARE(conversions_, 1);
        const QImage mapped = window_->preview()->picture();
        QVERIFY(mapped != colours);
        QVERIFY(line->text().contains(map));
        window_->action(kCmdInvertDepthMap)->trigger();
        QVERIFY(window_->preview()->picture() != mapped);
        window_->action(kCmdWrapAround)->trigger();
        QVERIFY(state_.job.settings.WrapAround);
        QCOMPARE(conversions_, 3);
        window_->action(kCmdDefaults)->trigger();
        QVERIFY(!state_.job.settings.InvertDepthMap);
        QVERIFY(!state_.job.settings.WrapAround);
        QCOMPARE(window_->preview()->picture(), mapped);  // the map itself stays

        loadFirst(WritePlain(*dir_, QStringLiteral("q.png"), {30, 20}, Qt::white));
        QVERIFY(state_.job.planes().DepthMap.empty());
        QVERIFY(line->text().contains(QStringLiteral("dropped")));
        QVERIFY(!window_->action(kCmdClearDepthMap)->isEnabled());
        // The note told about that picture; the next one takes it away.
        loadFirst(WritePlain(*dir_, QStringLiteral("r.png"), {30, 20}, Qt::black));
        QCOMPARE(line->text(), QString());
    }

    // A map loaded while Depth is off says it waits for Depth, until Depth is on.
    void depthMapLoadedWithDepthOffSaysWhenItIsUsed() {
        const QString picture = WritePlain(*dir_, QStringLiteral("p.png"), {60, 20}, Qt::red);
        const QString map =
            WritePicture(*dir_, QStringLiteral("m.png"), {60, 20}, Qt::white, Qt::black, 20);
        loadFirst(picture);
        dialogs_.openAnswers = {map};
        window_->action(kCmdLoadDepthMap)->trigger();
        auto* line = qobject_cast<QLabel*>(window_->control(kIdDepthMapLine));
        const QString named = QStringLiteral("Depth map: ") + QDir::toNativeSeparators(map);
        QCOMPARE(line->text(), named + QStringLiteral(" (used once Depth is on)"));
        QTest::mouseClick(window_->control(kCmdDepth), Qt::LeftButton);
        QCOMPARE(line->text(), named);
        QTest::mouseClick(window_->control(kCmdDepth), Qt::LeftButton);
        QCOMPARE(line->text(), named + QStringLiteral(" (used once Depth is on)"));
    }

    // ---- The preview in each layout -----------------------------------------------------

    void previewLayouts_data() {
        // A 200 x 100 pair (aspect 2: displayed width 600, left offset 200). The first
        // picture is white, the second black, so the first view is the bright one.
        QTest::addColumn<int>("layoutCommand");
        QTest::addColumn<QList<QPoint>>("bright");
        QTest::addColumn<QList<QPoint>>("dark");
        QTest::newRow("anaglyph: 600 x 300 in the middle")
            << int(kCmdAnaglyph) << QList<QPoint>{{210, 150}, {500, 150}, {780, 290}}
            << QList<QPoint>{{190, 150}, {810, 150}, {20, 290}};
        QTest::newRow("vertical: first view above the second, 300 wide at 350")
            << int(kCmdVertical) << QList<QPoint>{{360, 75}, {500, 140}, {640, 75}}
            << QList<QPoint>{{500, 160}, {500, 225}, {340, 75}, {660, 75}};
        QTest::newRow("horizontal: first view from -100, second from 500")
            << int(kCmdHorizontal) << QList<QPoint>{{20, 150}, {250, 150}, {490, 290}}
            << QList<QPoint>{{510, 150}, {750, 150}, {990, 290}};
    }
    void previewLayouts() {
        QFETCH(int, layoutCommand);
        QFETCH(QList<QPoint>, bright);
        QFETCH(QList<QPoint>, dark);
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        loadFirst(WritePlain(*dir_, QStringLiteral("l.png"), {200, 100}, Qt::white));
        dialogs_.openAnswers = {WritePlain(*dir_, QStringLiteral("r.png"), {200, 100}, Qt::black)};
        window_->loadSecondPicture();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        window_->action(layoutCommand)->trigger();

        const QImage picture = previewPicture();
        for (const QPoint& p : bright) {
            QVERIFY2(
                Brightness(picture, p.x(), p.y()) >= 255,
                qPrintable(
                    QStringLiteral("(%1, %2) should show the first view").arg(p.x()).arg(p.y())));
        }
        for (const QPoint& p : dark) {
            QVERIFY2(Brightness(picture, p.x(), p.y()) == 0,
                     qPrintable(QStringLiteral("(%1, %2) should be black").arg(p.x()).arg(p.y())));
        }
    }

    // The first picture (white) is the right eye's view, the second (black) the left eye's.
    // "Parallel order" shows the left eye's view on the left and saves it there; it follows
    // "Half-size pair" until it is set itself, and "Options by default" makes it follow again.
    void parallelOrderPreviewsAndFollowsHalfSizeUntilSet() {
        QTest::mouseClick(window_->control(kCmdStandardStereo), Qt::LeftButton);
        loadFirst(WritePlain(*dir_, QStringLiteral("r.png"), {200, 100}, Qt::white));
        dialogs_.openAnswers = {WritePlain(*dir_, QStringLiteral("l.png"), {200, 100}, Qt::black)};
        window_->loadSecondPicture();
        window_->action(kCmdHorizontal)->trigger();
        QAction* parallel = window_->action(kCmdParallelOrder);
        QAction* half = window_->action(kCmdHalfSize);
        const auto leftIsBright = [this](int leftX, int rightX) {
            const QImage picture = previewPicture();
            const int left = Brightness(picture, leftX, 150);
            const int right = Brightness(picture, rightX, 150);
            return left > 600 && right == 0 ? 1 : left == 0 && right > 600 ? 0 : -1;
        };
        QCOMPARE(leftIsBright(250, 750), 1);

        half->trigger();  // the pair at 200..500 and 500..800
        QVERIFY(parallel->isChecked());
        QCOMPARE(leftIsBright(350, 650), 0);
        half->trigger();
        QVERIFY(!parallel->isChecked());
        QCOMPARE(leftIsBright(250, 750), 1);

        conversions_ = 0;
        parallel->trigger();
        QCOMPARE(conversions_, 0);  // the views stay; only their places change
        QCOMPARE(leftIsBright(250, 750), 0);
        half->trigger();
        half->trigger();
        QVERIFY(parallel->isChecked());
        const QString target = dir_->filePath(QStringLiteral("pair.bmp"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        const QImage saved(target);
        QCOMPARE(saved.size(), QSize(400, 100));
        QCOMPARE(saved.pixelColor(10, 50), QColor(Qt::black));
        QCOMPARE(saved.pixelColor(390, 50), QColor(Qt::white));

        window_->action(kCmdDefaults)->trigger();
        QVERIFY(!parallel->isChecked());
        half->trigger();
        QVERIFY(parallel->isChecked());
    }

    void previewShowsTheSizeTextOnGrey() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {64, 32}, Qt::black));
        const QImage picture = previewPicture();
        // The text begins with a blank, so its first pixels are the grey background.
        QCOMPARE(picture.pixelColor(11, 12), QColor(0x80, 0x80, 0x80));
        QCOMPARE(picture.pixelColor(500, 150), QColor(Qt::black));
        int white = 0;
        for (int x = 10; x < 160; ++x) {
            white += picture.pixelColor(x, 17) == QColor(Qt::white) ? 1 : 0;
        }
        QVERIFY(white > 0);
    }

    void previewKeepsTheFirstPictureUpright() {
        // Top half red, bottom half blue: planes keep the bottom row first, the preview must not.
        QImage image(100, 100, QImage::Format_RGB32);
        image.fill(Qt::blue);
        for (int y = 0; y < 50; ++y) {
            for (int x = 0; x < 100; ++x) {
                image.setPixelColor(x, y, Qt::red);
            }
        }
        const QString path = dir_->filePath(QStringLiteral("updown.png"));
        QVERIFY(image.save(path));
        window_->action(kCmdVertical)->trigger();  // side by side: the views unshifted
        loadFirst(path);
        const QImage picture = previewPicture();
        const QColor top = picture.pixelColor(500, 20);
        const QColor bottom = picture.pixelColor(500, 130);
        QVERIFY2(top.red() > 200 && top.blue() < 50, qPrintable(top.name()));
        QVERIFY2(bottom.blue() > 200 && bottom.red() < 50, qPrintable(bottom.name()));
    }

    // ---- Publishing ---------------------------------------------------------------------

    void publishWithoutPictureWarns() {
        window_->publish();
        QCOMPARE(dialogs_.warnings, QStringList{QStringLiteral("Image file not selected")});
        QVERIFY(dialogs_.saveRequests.isEmpty());
    }

    void publishAfterThePictureWasRemovedWarns() {
        const QString path = WritePlain(*dir_, QStringLiteral("gone.png"), {20, 10}, Qt::white);
        loadFirst(path);
        QVERIFY(QFile::remove(path));
        window_->publish();
        QCOMPARE(dialogs_.warnings, QStringList{QStringLiteral("Image file not found")});
        QVERIFY(dialogs_.saveRequests.isEmpty());
    }

    // A stereo file holds the pair whatever the layout: it is made once for the save, and the
    // anaglyph comes back on the next redraw.
    void stereoFileConvertsOnce() {
        loadFirst(
            WritePicture(*dir_, QStringLiteral("hall.png"), {64, 32}, Qt::white, Qt::blue, 32));
        const QImage anaglyph = window_->preview()->picture();
        conversions_ = 0;
        const QString target = dir_->filePath(QStringLiteral("hall.mpo"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(conversions_, 1);
        QCOMPARE(Head(target, 3), QByteArray("\xFF\xD8\xFF"));
        QCOMPARE(window_->preview()->picture(), anaglyph);
        window_->action(kCmdParallelOrder)->trigger();  // places the views only
        QCOMPARE(window_->preview()->picture(), anaglyph);
    }

    void publish_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("bmp") << "out/hall_Unwrapped.bmp" << QByteArray("BM");
        QTest::newRow("BMP in capitals") << "out/HALL.BMP" << QByteArray("BM");
        QTest::newRow("jpg") << "out/hall_Unwrapped.jpg" << QByteArray("\xFF\xD8\xFF");
        QTest::newRow("jpeg") << "out/hall.jpeg" << QByteArray("\xFF\xD8\xFF");
    }
    void publish() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, magic);
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("out")));
        const QString picture =
            WritePicture(*dir_, QStringLiteral("hall.png"), {64, 32}, Qt::white, Qt::blue, 32);
        loadFirst(picture);
        conversions_ = 0;
        const QString target = dir_->filePath(fileName);
        dialogs_.saveAnswers = {target};
        QTest::mouseClick(window_->control(kCmdPublish), Qt::LeftButton);

        QCOMPARE(dialogs_.saveRequests.size(), 1);
        QCOMPARE(dialogs_.saveRequests[0].first, dir_->path());
        QCOMPARE(dialogs_.saveRequests[0].second, QStringLiteral("hall_Unwrapped"));
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(conversions_, 1);  // converted afresh before writing
        QCOMPARE(Head(target, int(magic.size())), magic);
        QImage saved(target);
        QCOMPARE(saved.size(), QSize(64, 32));
        QCOMPARE(dialogs_.informations, QStringList{QStringLiteral("Publishing succeeded")});
        QCOMPARE(dialogs_.openedUrls, QList<QUrl>{QUrl::fromLocalFile(target)});
        QCOMPARE(state_.SaveFolder, dir_->filePath(QStringLiteral("out")));
        QApplication::processEvents();
        QVERIFY(!QApplication::overrideCursor());  // the wait cursor is gone again
    }

    void publishSideBySideSavesBothViews() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        window_->action(kCmdHorizontal)->trigger();
        const QString target = dir_->filePath(QStringLiteral("pair.bmp"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(QImage(target).size(), QSize(60, 20));
    }

    // "Keep photo information": a save carries the first picture's colour profile only while
    // the item is checked; checked after the load, it reads the loaded picture then.
    void publishKeepsTheColourProfileOnRequest() {
        QImage wide(30, 20, QImage::Format_RGB32);
        wide.fill(Qt::red);
        wide.setColorSpace(QColorSpace::DisplayP3);
        const QString picture = dir_->filePath(QStringLiteral("wide.png"));
        QVERIFY(wide.save(picture));
        loadFirst(picture);
        QAction* keep = window_->action(kCmdKeepMetadata);
        QVERIFY(keep->isCheckable() && !keep->isChecked());
        const auto save = [this](const QString& name) {
            dialogs_.saveAnswers = {dir_->filePath(name)};
            window_->publish();
            return QImage(dir_->filePath(name)).colorSpace();
        };
        QVERIFY(!save(QStringLiteral("plain.jpg")).isValid());

        conversions_ = 0;
        keep->trigger();
        QVERIFY(keep->isChecked());
        QCOMPARE(conversions_, 0);  // only the saved files change
        QCOMPARE(save(QStringLiteral("kept.mpo")).iccProfile(), wide.colorSpace().iccProfile());
        keep->trigger();
        QVERIFY(!save(QStringLiteral("dropped.jpg")).isValid());
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
    }

    // An MPO file holds both views whatever the layout: from the anaglyph layout they are made
    // for the save alone, and the preview shows the anaglyph again afterwards.
    void publishStereoFileFromTheAnaglyphKeepsThePreview() {
        loadFirst(WritePicture(*dir_, QStringLiteral("p.png"), {40, 20}, Qt::white, Qt::blue, 8));
        qobject_cast<QAbstractButton*>(window_->control(kCmdDepth))->click();
        const QImage anaglyph = previewPicture();
        const QString target = dir_->filePath(QStringLiteral("pair.mpo"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(Head(target, 4), QByteArray("\xFF\xD8\xFF\xE0"));
        QCOMPARE(previewPicture(), anaglyph);
    }

    void publishSeparateFilesSavesBothAndOpensTheLeft() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        window_->action(kCmdSeparate)->trigger();
        dialogs_.saveAnswers = {dir_->filePath(QStringLiteral("pair.bmp"))};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        const QString left = dir_->filePath(QStringLiteral("pair_left.bmp"));
        QCOMPARE(QImage(left).size(), QSize(30, 20));
        QCOMPARE(QImage(dir_->filePath(QStringLiteral("pair_right.bmp"))).size(), QSize(30, 20));
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("pair.bmp"))));
        QCOMPARE(dialogs_.openedUrls, QList<QUrl>{QUrl::fromLocalFile(left)});
    }

    // Separate files replace two files the save dialog never asked about: one question names
    // both, and Cancel leaves both as they were.
    void publishSeparateFilesAsksOnceBeforeReplacingThem() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        window_->action(kCmdSeparate)->trigger();
        const QStringList views = {dir_->filePath(QStringLiteral("pair_left.bmp")),
                                   dir_->filePath(QStringLiteral("pair_right.bmp"))};
        for (const QString& view : views) {
            QFile old(view);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        const QString target = dir_->filePath(QStringLiteral("pair.bmp"));
        dialogs_.saveAnswers = {target};
        dialogs_.confirmAnswers = {false};
        window_->publish();
        QCOMPARE(dialogs_.confirmations.size(), 1);
        const QString question = dialogs_.confirmations[0].first;
        QVERIFY2(question.contains(QStringLiteral("pair_left.bmp")) &&
                     question.contains(QStringLiteral("pair_right.bmp")),
                 qPrintable(question));
        for (const QString& view : views) {
            QCOMPARE(Head(view, 10), QByteArray("old"));
        }
        QVERIFY(dialogs_.informations.isEmpty());
        QVERIFY(dialogs_.openedUrls.isEmpty());

        dialogs_.saveAnswers = {target};
        dialogs_.confirmAnswers = {true};
        window_->publish();
        QCOMPARE(dialogs_.confirmations.size(), 2);
        for (const QString& view : views) {
            QCOMPARE(QImage(view).size(), QSize(30, 20));
        }
        const QString fresh = dir_->filePath(QStringLiteral("fresh.bmp"));
        dialogs_.saveAnswers = {fresh};
        window_->publish();
        QCOMPARE(dialogs_.confirmations.size(), 2);  // nothing to replace, nothing to ask
        QCOMPARE(dialogs_.informations.size(), 2);

        // One of the two left: the question still names both.
        QVERIFY(QFile::remove(dir_->filePath(QStringLiteral("fresh_right.bmp"))));
        dialogs_.saveAnswers = {fresh};
        window_->publish();
        QCOMPARE(dialogs_.confirmations.size(), 3);
        QVERIFY(dialogs_.confirmations[2].first.contains(QStringLiteral("fresh_left.bmp")));
        QVERIFY(dialogs_.confirmations[2].first.contains(QStringLiteral("fresh_right.bmp")));
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("fresh_right.bmp"))));
    }

    void publishCancelledWritesNothing() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        window_->publish();
        QCOMPARE(dialogs_.saveRequests.size(), 1);
        QVERIFY(dialogs_.informations.isEmpty());
        QVERIFY(dialogs_.openedUrls.isEmpty());
    }

    void publishUnknownTypeWarnsWhichTypesCanBeSaved() {
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        const QString target = dir_->filePath(QStringLiteral("stereo.png"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        QCOMPARE(dialogs_.warnings,
                 QStringList{QString::fromStdString(UnknownFormatMessage(target.toStdString()))});
        QVERIFY(!QFile::exists(target));
        QVERIFY(dialogs_.informations.isEmpty());
        QVERIFY(dialogs_.openedUrls.isEmpty());
    }

    void failingSaveWarnsAndLeavesTheOldFile_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("folder does not exist") << "no such folder/x.bmp";
        QTest::newRow("name of a folder") << "taken.bmp";
    }
    void failingSaveWarnsAndLeavesTheOldFile() {
        QFETCH(QString, target);
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("taken.bmp")));
        QFile keep(dir_->filePath(QStringLiteral("taken.bmp/keep.txt")));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("old");
        keep.close();
        loadFirst(WritePlain(*dir_, QStringLiteral("p.png"), {30, 20}, Qt::white));
        dialogs_.saveAnswers = {dir_->filePath(target)};
        window_->publish();
        QCOMPARE(dialogs_.warnings.size(), 1);
        QVERIFY2(dialogs_.warnings[0].contains(QFileInfo(target).fileName()),
                 qPrintable(dialogs_.warnings[0]));
        QVERIFY(dialogs_.informations.isEmpty());
        QVERIFY(dialogs_.openedUrls.isEmpty());
        QVERIFY(QFileInfo(dir_->filePath(QStringLiteral("taken.bmp"))).isDir());
        QCOMPARE(Head(keep.fileName(), 10), QByteArray("old"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // ---- What lasts between runs --------------------------------------------------------

    // The choices go to the store as they are made; a second window on it (a new run) starts
    // with them, and its Open Recent reopens the pair as a pair.
    void choicesAndRecentPicturesSurviveARestart() {
        const QString file = dir_->filePath(QStringLiteral("settings.ini"));
        QSettings store(file, QSettings::IniFormat);
        window_->rememberIn(&store);
        QVERIFY(state_.job.settings == ConversionSettings{});  // an empty store: today's start
        QVERIFY(!window_->action(kCmdOpenRecent)->isEnabled());

        const QString right = WritePlain(*dir_, QStringLiteral("r.png"), {40, 20}, Qt::white);
        const QString left = WritePlain(*dir_, QStringLiteral("l.png"), {40, 20}, Qt::black);
        const QString single = WritePlain(*dir_, QStringLiteral("s.png"), {40, 20}, Qt::red);
        window_->openPictures({right, left});
        QTest::mouseClick(window_->control(kCmdK3vStereo), Qt::LeftButton);
        loadFirst(single);
        window_->action(kCmdDuboisAnaglyph)->trigger();
        window_->action(kCmdAmberBlueGlasses)->trigger();
        window_->action(kCmdVertical)->trigger();
        window_->action(kCmdOpenSavedFile)->trigger();
        window_->action(kCmdFullSize)->trigger();
        window_->fullSizeView()->setMode(FullSizeView::Mode::RightEye);
        window_->fullSizeView()->setZoom(2.0);
        window_->fullSizeView()->setGeometry(60, 70, 500, 400);
        window_->fullSizeView()->close();
        dialogs_.saveAnswers = {dir_->filePath(QStringLiteral("saved.bmp"))};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QVERIFY(dialogs_.openedUrls.isEmpty());  // the switch is off
        store.sync();

        AppState nextState;
        QVERIFY(MakeStartState(nextState, QDir::homePath()).ok());
        FakeDialogs nextDialogs;
        MainWindow next(nextState, nextDialogs, sound_, dir_->path());
        QSettings reopened(file, QSettings::IniFormat);
        next.rememberIn(&reopened);
        QVERIFY(next.action(kCmdDuboisAnaglyph)->isChecked());
        QVERIFY(next.action(kCmdAmberBlueGlasses)->isChecked());
        QVERIFY(next.action(kCmdVertical)->isChecked());
        QVERIFY(!next.action(kCmdAnaglyph)->isChecked());
        QVERIFY(!next.action(kCmdOpenSavedFile)->isChecked());
        QCOMPARE(nextState.LastFolder, dir_->path());
        next.action(kCmdFullSize)->trigger();
        QCOMPARE(next.fullSizeView()->mode(), FullSizeView::Mode::RightEye);
        QCOMPARE(next.fullSizeView()->zoom(), 2.0);
        QCOMPARE(next.fullSizeView()->size(), QSize(500, 400));
        next.fullSizeView()->close();

        const QList<QAction*> recent = next.action(kCmdOpenRecent)->menu()->actions();
        QCOMPARE(recent.size(), 2);
        QVERIFY2(recent[0]->text().startsWith(QStringLiteral("&1 ")) &&
                     recent[0]->text().endsWith(QStringLiteral("s.png")),
                 qPrintable(recent[0]->text()));
        recent[1]->trigger();
        QVERIFY2(nextDialogs.warnings.isEmpty(), qPrintable(nextDialogs.warnings.join(u'\n')));
        QCOMPARE(nextState.job.settings.TransformationMode, int(kStandardStereo));
        QCOMPARE(nextState.FirstPicturePath, right);
        QCOMPARE(nextState.SecondPicturePath, left);
        nextDialogs.saveAnswers = {QString()};
        next.publish();
        QCOMPARE(nextDialogs.saveTypes, QStringList{QStringLiteral("bmp")});
    }

    void missingRecentPictureWarnsAndGoes() {
        QSettings store(dir_->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        window_->rememberIn(&store);
        const QString kept = WritePlain(*dir_, QStringLiteral("kept.png"), {20, 10}, Qt::white);
        const QString gone = WritePlain(*dir_, QStringLiteral("gone.png"), {20, 10}, Qt::white);
        loadFirst(kept);
        loadFirst(gone);
        QVERIFY(QFile::remove(gone));
        QMenu* recent = window_->action(kCmdOpenRecent)->menu();
        recent->actions().at(0)->trigger();
        QCOMPARE(dialogs_.warnings.size(), 1);
        QVERIFY2(dialogs_.warnings[0].contains(QDir::toNativeSeparators(gone)),
                 qPrintable(dialogs_.warnings[0]));
        QCOMPARE(state_.FirstPicturePath, gone);  // nothing was loaded
        QCOMPARE(recent->actions().size(), 1);
        QVERIFY(recent->actions().at(0)->text().endsWith(QStringLiteral("kept.png")));
        store.sync();
        QCOMPARE(store.value(QStringLiteral("recent/size")).toInt(), 1);

        // "Options by default" leaves the list alone.
        window_->action(kCmdDefaults)->trigger();
        QCOMPARE(recent->actions().size(), 1);
    }

    // The reset takes the settings back but keeps the picture: Publish saves it at once.
    void optionsByDefaultKeepsThePicture() {
        const QString picture = WritePlain(*dir_, QStringLiteral("hall.png"), {40, 20}, Qt::white);
        loadFirst(picture);
        window_->action(kCmdSwapEyes)->trigger();
        window_->action(kCmdDefaults)->trigger();
        QVERIFY(!state_.job.settings.SwapEyes);
        QCOMPARE(pathField(kIdFirstPath)->text(), picture);
        const QString target = dir_->filePath(QStringLiteral("hall_Unwrapped.bmp"));
        dialogs_.saveAnswers = {target};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QCOMPARE(QImage(target).size(), QSize(40, 20));
    }
};

QTEST_MAIN(WindowPicturesTest)
#include "window_pictures_test.moc"
