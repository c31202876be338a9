#pragma once
// "View at full size": the current result in a resizable window of its own. It shows the
// picture Publish would write for the window's settings, one eye's view alone, a wiggle that
// alternates the eyes five times a second, or the loaded depth map; zoomed to fit or at 25 % to
// 400 %, and panned with the mouse or the keys. At 100 % one screen pixel is one saved pixel.

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "base/progress.h"
#include "base/status.h"

class QComboBox;

namespace k3v {

class StereoJob;
class FullSizeCanvas;

// The zoom list's scales in its order; 0 is "Fit".
inline constexpr double kFullSizeZooms[] = {0.0, 0.25, 0.5, 1.0, 2.0, 4.0};
inline constexpr int kFullSizeModeCount = 5;

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
    // Runs a conversion the view needs; by default on the calling thread. The window hands in
    // its runner, so that a long one shows its progress, can be cancelled and keeps the window
    // painting. Whatever the view is asked meanwhile it takes once the conversion is over.
    using Step = std::function<Status(const Progress& progress)>;
    void setConversionRunner(std::function<Status(const Step& step)> run) { run_ = std::move(run); }

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

  signals:
    // The mode, the zoom or the window's place changed: what the window remembers.
    void shownChanged();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    std::function<bool()> busy_;
    std::function<Status(const Step& step)> run_ = [](const Step& step) { return step({}); };
    bool stale_ = false;
    bool building_ = false;
    void buildPictures();
    void buildOnce();
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
