#pragma once
// "View at full size": the current result in a resizable window of its own. It shows the
// picture Publish would write for the window's settings, one eye's view alone, a wiggle that
// alternates the eyes five times a second, or the loaded depth map; zoomed to fit or at 25 % to
// 400 %, and panned with the mouse or the keys. At 100 % one screen pixel is one saved pixel.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>

class QComboBox;

namespace k3v {

class StereoJob;
class FullSizeCanvas;

class FullSizeView : public QWidget {
    Q_OBJECT
  public:
    enum class Mode { SavedPicture, LeftEye, RightEye, Wiggle, DepthMap };

    // Reads the job's settings and planes whenever it refreshes; the job outlives the view.
    // The anaglyph's planes hold no eye alone, so for an eye the view has the job make the
    // views a stereo file holds, as a save would; the owner's next redraw makes its own again.
    FullSizeView(StereoJob& job, QWidget* parent = nullptr);

    // Takes the job's current result. The owner calls it after every conversion and redraw;
    // a hidden view drops its pictures and takes them afresh when it is shown.
    void refresh();
    // While `busy` says that work runs on the job, the view keeps what it shows and touches no
    // plane; refreshIfStale() then takes what it missed.
    void setBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }
    void refreshIfStale();

    Mode mode() const { return mode_; }
    void setMode(Mode mode);
    // The scale of one picture pixel on the screen; 0 fits the whole picture in the window.
    double zoom() const;
    void setZoom(double zoom);

    // The picture drawn now, top row first, at its own size (in the wiggle, the eye shown now).
    const QImage& picture() const;
    QWidget* canvas() const;
    // Where picture() lies on the canvas, in canvas pixels.
    QRect pictureRect() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    std::function<bool()> busy_;
    bool stale_ = false;
    void buildPictures();
    bool makeViews();  // the views the mode shows, unless the planes hold them
    void syncControls();

    StereoJob& job_;
    Mode mode_ = Mode::SavedPicture;
    QImage shown_;
    QImage other_;  // the wiggle's second eye
    QTimer wiggle_;
    QComboBox* modeBox_ = nullptr;
    QComboBox* zoomBox_ = nullptr;
    FullSizeCanvas* canvas_ = nullptr;
};

}  // namespace k3v
