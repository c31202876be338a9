// The full-size window through the main window: at 100 % it shows the saved files' pixels,
// it follows the settings, and its mode list, zoom keys and pan keys change what is shown.

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/app_state.h"
#include "app/full_size_view.h"
#include "app/job_runner.h"
#include "app/main_window.h"
#include "fake_services.h"
#include "window_test_base.h"

using namespace k3v;
using k3v::testing::FakeDialogs;
using k3v::testing::FakeSound;

namespace {

// Every pixel different from its neighbours, so that a shift, a flip or a halving shows.
QString WriteGradient(const QTemporaryDir& dir, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixel(x, y,
                           qRgb((x * 5) & 0xFF, (255 - y * 7) & 0xFF, (x * 3 + y * 11) & 0xFF));
        }
    }
    const QString path = dir.filePath(QStringLiteral("gradient.png"));
    return image.save(path) ? path : QString();
}

// Where two pictures of the same size first differ, or an empty string.
QString FirstDifference(const QImage& shown, const QImage& saved) {
    if (shown.size() != saved.size()) {
        return QStringLiteral("sizes %1x%2 and %3x%4")
            .arg(shown.width())
            .arg(shown.height())
            .arg(saved.width())
            .arg(saved.height());
    }
    for (int y = 0; y < saved.height(); ++y) {
        for (int x = 0; x < saved.width(); ++x) {
            if ((shown.pixel(x, y) & 0xFFFFFFu) != (saved.pixel(x, y) & 0xFFFFFFu)) {
                return QStringLiteral("pixel (%1, %2)").arg(x).arg(y);
            }
        }
    }
    return {};
}

}  // namespace

class FullSizeViewTest : public k3v::testing::WindowTestBase {
    Q_OBJECT

  private:
    FullSizeView* openView() {
        window_->action(kCmdFullSize)->trigger();
        FullSizeView* view = window_->fullSizeView();
        if (view != nullptr && !QTest::qWaitForWindowExposed(view)) {
            return nullptr;
        }
        return view;
    }
    static QComboBox* box(FullSizeView* view, const char* name) {
        for (QComboBox* box : view->findChildren<QComboBox*>()) {
            if (box->accessibleName() == QLatin1String(name)) {
                return box;
            }
        }
        return nullptr;
    }
    // What the canvas draws where the picture lies.
    static QImage shownPixels(FullSizeView* view) {
        return view->canvas()->grab().toImage().copy(view->pictureRect());
    }

  private slots:
    void initTestCase() { setUpApplication(); }
    void init() {
        QVERIFY(startWindow());
        const QString picture = WriteGradient(*dir_, {96, 60});
        QVERIFY(!picture.isEmpty());
        window_->loadPicture(picture, PictureSlot::First);
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
    }
    void cleanup() { window_.reset(); }

    // At 100 % the screen shows the file Publish wrote, pixel for pixel: the cut still photo,
    // the halved pair, and each eye's file of a separate pair (which is not halved), also when
    // the window has gone back to the anaglyph, whose planes hold no eye alone.
    void showsTheSavedPixelsAtFullSize_data() {
        QTest::addColumn<int>("saveLayout");
        QTest::addColumn<int>("viewLayout");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("file");
        QTest::newRow("still photo anaglyph")
            << int(kCmdAnaglyph) << int(kCmdAnaglyph) << int(FullSizeView::Mode::SavedPicture)
            << "pair.bmp";
        QTest::newRow("half-size pair") << int(kCmdHorizontal) << int(kCmdHorizontal)
                                        << int(FullSizeView::Mode::SavedPicture) << "pair.bmp";
        QTest::newRow("separate, left") << int(kCmdSeparate) << int(kCmdSeparate)
                                        << int(FullSizeView::Mode::LeftEye) << "pair_left.bmp";
        QTest::newRow("anaglyph, right") << int(kCmdSeparate) << int(kCmdAnaglyph)
                                         << int(FullSizeView::Mode::RightEye) << "pair_right.bmp";
    }
    void showsTheSavedPixelsAtFullSize() {
        QFETCH(int, saveLayout);
        QFETCH(int, viewLayout);
        QFETCH(int, mode);
        QFETCH(QString, file);
        window_->action(saveLayout)->trigger();
        if (saveLayout == kCmdAnaglyph) {
            window_->chooseSourceKind(kStillPhoto);  // the red shift's stripe is cut off
        } else {
            window_->action(kCmdHalfSize)->trigger();
        }
        dialogs_.saveAnswers = {dir_->filePath(QStringLiteral("pair.bmp"))};
        window_->publish();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        const QImage saved(dir_->filePath(file));
        QVERIFY(!saved.isNull());
        window_->action(viewLayout)->trigger();

        FullSizeView* view = openView();
        QVERIFY(view != nullptr);
        view->setMode(FullSizeView::Mode(mode));
        view->setZoom(1.0);
        const QString difference = FirstDifference(shownPixels(view), saved);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // A setting changed in the main window shows at once in the open window.
    void followsTheSettings() {
        FullSizeView* view = openView();
        QVERIFY(view != nullptr);
        QCOMPARE(view->picture().size(), QSize(96, 60));
        window_->action(kCmdVertical)->trigger();
        QCOMPARE(view->picture().size(), QSize(96, 120));
        window_->action(kCmdHalfSize)->trigger();
        QCOMPARE(view->picture().size(), QSize(96, 60));
    }

    // The mode list and the keys of the canvas, as a keyboard user drives them.
    void keysChangeWhatIsShown() {
        static_cast<QCheckBox*>(window_->control(kCmdDepth))->click();  // eyes that differ
        FullSizeView* view = openView();
        QVERIFY(view != nullptr);
        QWidget* canvas = view->canvas();
        QCOMPARE(view->zoom(), 0.0);  // opens fitted: the small picture fills the canvas
        QVERIFY(view->pictureRect().width() == canvas->width() ||
                view->pictureRect().height() == canvas->height());

        view->setZoom(1.0);
        QTest::keyClick(canvas, Qt::Key_Plus);
        QCOMPARE(view->zoom(), 2.0);
        QCOMPARE(view->pictureRect().size(), QSize(192, 120));
        QTest::keyClick(canvas, Qt::Key_Minus);
        QTest::keyClick(canvas, Qt::Key_Minus);
        QCOMPARE(view->zoom(), 0.5);
        QCOMPARE(view->pictureRect().size(), QSize(48, 30));
        QCOMPARE(box(view, "Zoom")->currentText(), QStringLiteral("50 %"));

        // Larger than the canvas at 400 %: Home shows the top-left corner, End the bottom-right,
        // and the arrows move between them.
        view->resize(300, 200);
        QTRY_VERIFY(canvas->width() < 4 * 96);
        view->setZoom(4.0);
        QTest::keyClick(canvas, Qt::Key_Home);
        QCOMPARE(view->pictureRect().topLeft(), QPoint(0, 0));
        QTest::keyClick(canvas, Qt::Key_Right);
        QVERIFY(view->pictureRect().left() < 0);
        QTest::keyClick(canvas, Qt::Key_End);
        QCOMPARE(view->pictureRect().right(), canvas->rect().right());

        // Down in the mode list: the left eye, the right eye (seen from elsewhere), then the
        // wiggle, which starts on the left eye and turns to the right one.
        QComboBox* modes = box(view, "What to show");
        const QImage whole = view->picture();
        // The anaglyph holds no eye alone: the eyes are made on the window's worker thread.
        int steps = 0;
        const auto counting = connect(window_->runner(), &JobRunner::busyChanged, this,
                                      [&steps](bool busy) { steps += busy ? 1 : 0; });
        QTest::keyClick(modes, Qt::Key_Down);
        disconnect(counting);
        QCOMPARE(view->mode(), FullSizeView::Mode::LeftEye);
        QCOMPARE(steps, 1);
        const QImage left = view->picture();
        QVERIFY(left != whole);
        QTest::keyClick(modes, Qt::Key_Down);
        QCOMPARE(view->mode(), FullSizeView::Mode::RightEye);
        const QImage right = view->picture();
        QVERIFY(right != left);
        QTest::keyClick(modes, Qt::Key_Down);
        QCOMPARE(view->mode(), FullSizeView::Mode::Wiggle);
        QCOMPARE(view->picture(), left);
        QTRY_COMPARE(view->picture(), right);
        // No depth map is loaded, so the list stops at the wiggle.
        QTest::keyClick(modes, Qt::Key_Down);
        QCOMPARE(view->mode(), FullSizeView::Mode::Wiggle);
        // Back to the anaglyph, made afresh after the eyes.
        QTest::keyClick(modes, Qt::Key_Home);
        QCOMPARE(view->mode(), FullSizeView::Mode::SavedPicture);
        QCOMPARE(view->picture(), whole);
    }
};

QTEST_MAIN(FullSizeViewTest)
#include "full_size_view_test.moc"
