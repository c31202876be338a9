// "Align the pair" in the Stereo menu: a misaligned pair is aligned once, the preview shows the
// aligned views and the line below the strip says what was done; a pair with nothing to match
// keeps its unaligned preview and says why.

#include <QAction>
#include <QLabel>
#include <QtTest>

#include "app/control_ids.h"
#include "app/preview_widget.h"
#include "tests/support/misaligned_pair.h"
#include "window_test_base.h"

using namespace k3v;

class WindowAlignmentTest : public k3v::testing::WindowTestBase {
    Q_OBJECT

  private:
    QImage previewPicture() { return window_->preview()->grab().toImage(); }
    QString lineBelowTheStrip() {
        return qobject_cast<QLabel*>(window_->control(kIdDepthMapLine))->text();
    }
    // The pair loaded as Open With loads it, in Standard Stereo mode.
    bool openPair(const QImage& right, const QImage& left) {
        const QString rightPath = dir_->filePath(QStringLiteral("right.png"));
        const QString leftPath = dir_->filePath(QStringLiteral("left.png"));
        if (!right.save(rightPath) || !left.save(leftPath)) {
            return false;
        }
        window_->openPictures({rightPath, leftPath});
        return state_.SecondPicturePath == leftPath;
    }

  private slots:
    void initTestCase() { setUpApplication(); }
    void init() { QVERIFY(startWindow()); }
    void cleanup() { window_.reset(); }

    void aligningChangesThePreviewAndSaysWhatWasDone() {
        QAction* align = window_->action(kCmdAlignPair);
        QVERIFY(!align->isEnabled());  // K3V mode has no pair to align
        const QImage right = k3v::testing::TexturedPicture(480, 360, 7);
        QVERIFY(openPair(right, k3v::testing::Misaligned(right, 1.0, 1.01, 8.0)));
        QVERIFY(align->isEnabled());
        const QImage unaligned = previewPicture();
        const int converted = conversions_;

        align->trigger();
        QVERIFY2(dialogs_.warnings.isEmpty(), qPrintable(dialogs_.warnings.join(u'\n')));
        QVERIFY(align->isChecked());
        QVERIFY(state_.job.pairIsAligned());
        QCOMPARE(conversions_, converted + 1);
        const int width = state_.job.planes().SourceWidth;
        QVERIFY2(width < 480 && width > 400, qPrintable(QString::number(width)));
        const QString line = lineBelowTheStrip();
        QVERIFY2(line.startsWith(QStringLiteral("aligned: turned ")), qPrintable(line));
        QVERIFY2(line.endsWith(QStringLiteral("cropped to %1 x %2")
                                   .arg(width)
                                   .arg(state_.job.planes().SourceHeight)),
                 qPrintable(line));
        QVERIFY(previewPicture() != unaligned);

        // Back to K3V mode and to Standard Stereo: the pair as loaded, then aligned again.
        window_->chooseMode(kK3vStereo);
        QVERIFY(!align->isEnabled());
        QCOMPARE(state_.job.planes().SourceWidth, 480);
        window_->chooseMode(kStandardStereo);
        QCOMPARE(state_.job.planes().SourceWidth, width);
        QCOMPARE(lineBelowTheStrip(), line);

        align->trigger();
        QVERIFY(!state_.job.pairIsAligned());
        QCOMPARE(state_.job.planes().SourceWidth, 480);
        QCOMPARE(lineBelowTheStrip(), QString());
        QCOMPARE(previewPicture(), unaligned);
    }

    void aBlankPairKeepsItsPreviewAndSaysWhy() {
        QImage sky(480, 360, QImage::Format_RGB32);
        sky.fill(QColor(135, 190, 235));
        QVERIFY(openPair(sky, sky));
        const QImage unaligned = previewPicture();
        window_->action(kCmdAlignPair)->trigger();
        QVERIFY2(lineBelowTheStrip().startsWith(QStringLiteral("cannot align: ")),
                 qPrintable(lineBelowTheStrip()));
        QVERIFY(!state_.job.pairIsAligned());
        QCOMPARE(state_.job.planes().SourceWidth, 480);
        QCOMPARE(previewPicture(), unaligned);
        QVERIFY(dialogs_.warnings.isEmpty());
    }
};

QTEST_MAIN(WindowAlignmentTest)
#include "window_alignment_test.moc"
