#include "app/full_size_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

#include "job/stereo_job.h"
#include "output/output_picture.h"
#include "output/output_target.h"

namespace k3v {

namespace {

// An output picture's stored rows (bottom row first) as a top-down image. Empty when there is
// no picture or it is too big for one image.
QImage PictureOf(const OutputPicture& picture) {
    if (picture.width() <= 0 || picture.height() <= 0 || picture.width() > INT_MAX ||
        picture.height() > INT_MAX) {
        return {};
    }
    QImage image(int(picture.width()), int(picture.height()), QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    const int height = image.height();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(height - 1 - y));
        picture.readRow(y, line);
        // Byte 0 blue .. byte 2 red is RGB32's order; RGB32 wants the fourth byte opaque.
        for (int x = 0; x < image.width(); ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    return image;
}

bool HasDepthMap(const StereoPlanes& planes) {
    return !planes.DepthMap.empty() && planes.DepthMap.size() == planes.PixelCount();
}

QImage DepthPicture(const StereoPlanes& planes) {
    QImage image(planes.SourceWidth, planes.SourceHeight, QImage::Format_Grayscale8);
    if (image.isNull()) {
        return {};
    }
    const size_t width = size_t(planes.SourceWidth);
    for (int y = 0; y < planes.SourceHeight; ++y) {
        std::copy_n(planes.DepthMap.data() + size_t(y) * width, width,
                    image.scanLine(planes.SourceHeight - 1 - y));
    }
    return image;
}

}  // namespace

// The picture at the chosen scale. centre_ is the picture point (in picture pixels) at the
// middle of the canvas, kept where the picture covers the canvas; a picture smaller than the
// canvas along an axis is centred on it.
class FullSizeCanvas : public QWidget {
  public:
    explicit FullSizeCanvas(QWidget* parent) : QWidget(parent) {
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(240, 160);
        setCursor(Qt::OpenHandCursor);
    }

    std::function<void()> zoomChanged;

    void setPicture(const QImage* picture) {
        picture_ = picture;
        clampCentre();
        update();
    }
    double zoom() const { return zoom_; }
    void setZoom(double zoom) {
        if (zoom == zoom_) {
            return;
        }
        zoom_ = zoom;
        clampCentre();
        update();
        if (zoomChanged) {
            zoomChanged();
        }
    }
    // The next scale of the list above (direction > 0) or below the scale shown now.
    void stepZoom(int direction) {
        const double now = scale();
        double next = zoom_;
        if (direction > 0) {
            const auto* it = std::find_if(std::begin(kFullSizeZooms) + 1, std::end(kFullSizeZooms),
                                          [now](double z) { return z > now * 1.0001; });
            next = it == std::end(kFullSizeZooms) ? next : *it;
        } else {
            for (double z : kFullSizeZooms) {
                if (z > 0 && z < now / 1.0001) {
                    next = z;
                }
            }
        }
        setZoom(next);
    }
    double scale() const {
        if (zoom_ > 0 || !hasPicture()) {
            return zoom_ > 0 ? zoom_ : 1.0;
        }
        return std::min(double(width()) / picture_->width(), double(height()) / picture_->height());
    }
    QRect pictureRect() const {
        if (!hasPicture()) {
            return {};
        }
        const double s = scale();
        const QSize shown(int(std::lround(picture_->width() * s)),
                          int(std::lround(picture_->height() * s)));
        const auto origin = [s](int length, int room, double centre) {
            return length <= room ? (room - length) / 2 : int(std::lround(room / 2.0 - centre * s));
        };
        return {QPoint(origin(shown.width(), width(), centre_.x()),
                       origin(shown.height(), height(), centre_.y())),
                shown};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x33, 0x33, 0x33));
        const QRect target = pictureRect();
        const QRect visible = target.intersected(rect());
        if (visible.isEmpty()) {
            return;
        }
        const double s = scale();
        if (s == 1.0) {
            painter.drawImage(visible.topLeft(), *picture_, visible.translated(-target.topLeft()));
            return;
        }
        // Smooth when shrinking; enlarged pixels stay sharp squares for checking alignment.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
        const QRectF source((visible.x() - target.x()) / s, (visible.y() - target.y()) / s,
                            visible.width() / s, visible.height() / s);
        painter.drawImage(QRectF(visible), *picture_, source);
    }
    void resizeEvent(QResizeEvent*) override { clampCentre(); }
    void keyPressEvent(QKeyEvent* event) override {
        const double stepX = std::max(1, width() / 8);
        const double stepY = std::max(1, height() / 8);
        switch (event->key()) {
            case Qt::Key_Plus:
            case Qt::Key_Equal:
                stepZoom(1);
                break;
            case Qt::Key_Minus:
                stepZoom(-1);
                break;
            case Qt::Key_Left:
                pan({-stepX, 0});
                break;
            case Qt::Key_Right:
                pan({stepX, 0});
                break;
            case Qt::Key_Up:
                pan({0, -stepY});
                break;
            case Qt::Key_Down:
                pan({0, stepY});
                break;
            case Qt::Key_Home:
                moveTo(0.0);
                break;
            case Qt::Key_End:
                moveTo(HUGE_VAL);
                break;
            default:
                QWidget::keyPressEvent(event);
                return;
        }
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            dragFrom_ = event->position();
            setCursor(Qt::ClosedHandCursor);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (event->buttons() & Qt::LeftButton) {
            pan(dragFrom_ - event->position());
            dragFrom_ = event->position();
        }
    }
    void mouseReleaseEvent(QMouseEvent*) override { setCursor(Qt::OpenHandCursor); }
    void wheelEvent(QWheelEvent* event) override {
        const QPoint turn = event->angleDelta();
        if (event->modifiers() & Qt::ControlModifier) {
            if (turn.y() != 0) {
                stepZoom(turn.y() > 0 ? 1 : -1);
            }
        } else {
            pan(QPointF(-turn.x(), -turn.y()) / 2.0);
        }
        event->accept();
    }

  private:
    bool hasPicture() const { return picture_ != nullptr && !picture_->isNull(); }
    void pan(QPointF screenPixels) {
        centre_ += screenPixels / scale();
        clampCentre();
        update();
    }
    // Home (0) or End (beyond the picture): its top-left or bottom-right corner.
    void moveTo(double corner) {
        centre_ = QPointF(corner, corner);
        clampCentre();
        update();
    }
    void clampCentre() {
        if (!hasPicture()) {
            return;
        }
        const double s = scale();
        const auto clamp = [s](double centre, int length, int room) {
            const double half = room / (2.0 * s);
            return length * s <= room ? length / 2.0 : std::clamp(centre, half, length - half);
        };
        centre_ = QPointF(clamp(centre_.x(), picture_->width(), width()),
                          clamp(centre_.y(), picture_->height(), height()));
    }

    const QImage* picture_ = nullptr;
    double zoom_ = 0.0;
    QPointF centre_;
    QPointF dragFrom_;
};

FullSizeView::FullSizeView(StereoJob& job, QWidget* parent)
    : QWidget(parent, Qt::Window), job_(job) {
    setWindowTitle(tr("Full size"));
    setAccessibleName(tr("Full-size view"));
    resize(960, 640);

    modeBox_ = new QComboBox(this);
    modeBox_->addItems({tr("Saved picture"), tr("Left eye"), tr("Right eye"),
                        tr("Wiggle (both eyes in turn)"), tr("Depth map")});
    modeBox_->setAccessibleName(tr("What to show"));
    zoomBox_ = new QComboBox(this);
    zoomBox_->addItems({tr("Fit"), tr("25 %"), tr("50 %"), tr("100 %"), tr("200 %"), tr("400 %")});
    zoomBox_->setAccessibleName(tr("Zoom"));
    auto* modeLabel = new QLabel(tr("&Show:"), this);
    modeLabel->setBuddy(modeBox_);
    auto* zoomLabel = new QLabel(tr("&Zoom:"), this);
    zoomLabel->setBuddy(zoomBox_);
    canvas_ = new FullSizeCanvas(this);
    canvas_->setAccessibleName(tr("Full-size picture"));
    canvas_->setAccessibleDescription(
        tr("Arrow keys, Home and End move the picture; + and - zoom."));
    canvas_->setPicture(&shown_);

    auto* bar = new QHBoxLayout;
    bar->addWidget(modeLabel);
    bar->addWidget(modeBox_);
    bar->addSpacing(16);
    bar->addWidget(zoomLabel);
    bar->addWidget(zoomBox_);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(canvas_, 1);
    setTabOrder(canvas_, modeBox_);
    setTabOrder(modeBox_, zoomBox_);

    connect(modeBox_, &QComboBox::activated, this, [this](int index) { setMode(Mode(index)); });
    connect(zoomBox_, &QComboBox::activated, this,
            [this](int index) { setZoom(kFullSizeZooms[index]); });
    canvas_->zoomChanged = [this] {
        syncControls();
        emit shownChanged();
    };
    // Five changes of eye a second.
    wiggle_.setInterval(200);
    connect(&wiggle_, &QTimer::timeout, this, [this] {
        std::swap(shown_, other_);
        canvas_->update();
    });
    syncControls();
}

void FullSizeView::refresh() {
    if (isVisible()) {
        buildPictures();
    }
}

bool FullSizeView::makeViews() {
    if (mode_ == Mode::DepthMap) {
        return true;
    }
    if (mode_ == Mode::SavedPicture) {
        return job_.viewsAreFor(job_.settings) ||
               run_([this](const Progress& progress) { return job_.convert(progress); }).ok();
    }
    // Whatever the layout, a stereo file holds both eyes' views; no file is written here.
    const OutputTarget eyes("eyes.mpo", job_.settings);
    return job_.viewsAreFor(eyes.settings()) ||
           run_([&](const Progress& progress) { return job_.convertFor(eyes, progress); }).ok();
}

void FullSizeView::setMode(Mode mode) {
    if (mode == mode_) {
        return;
    }
    mode_ = mode;
    if (isVisible()) {
        buildPictures();
    }
    syncControls();
    emit shownChanged();
}

double FullSizeView::zoom() const {
    return canvas_->zoom();
}

void FullSizeView::setZoom(double zoom) {
    canvas_->setZoom(zoom);
}

const QImage& FullSizeView::picture() const {
    return shown_;
}

QWidget* FullSizeView::canvas() const {
    return canvas_;
}

QRect FullSizeView::pictureRect() const {
    return canvas_->pictureRect();
}

void FullSizeView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    buildPictures();
    canvas_->setFocus();
}

void FullSizeView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit shownChanged();  // the place it closes at
    // A full-size picture is big; a closed window keeps none.
    wiggle_.stop();
    shown_ = {};
    other_ = {};
    canvas_->setPicture(&shown_);
}

void FullSizeView::refreshIfStale() {
    if (stale_) {
        refresh();
    }
}

void FullSizeView::buildPictures() {
    // A conversion the view runs lets events in; a change they bring is taken once it is over.
    if (building_ || (busy_ && busy_())) {
        stale_ = true;
        return;
    }
    building_ = true;
    do {
        stale_ = false;
        buildOnce();
    } while (stale_ && isVisible() && !(busy_ && busy_()));
    building_ = false;
}

void FullSizeView::buildOnce() {
    const StereoPlanes& planes = job_.planes();
    if (mode_ == Mode::DepthMap && !HasDepthMap(planes)) {
        mode_ = Mode::SavedPicture;
    }
    const bool made = makeViews();
    if (stale_ || !isVisible()) {
        return;  // asked again meanwhile, or closed
    }
    other_ = {};
    shown_ = {};
    if (!made) {
        wiggle_.stop();
        canvas_->setPicture(&shown_);
        return;
    }
    switch (mode_) {
        case Mode::SavedPicture: {
            ConversionSettings settings = job_.settings;
            // Separate files are the two views at full size, whatever "half size" says.
            if (settings.StereoLayout == kSeparateFiles) {
                settings.HalfSize = false;
            }
            shown_ = PictureOf(OutputPicture(settings, planes));
            break;
        }
        case Mode::LeftEye:
        case Mode::Wiggle:
            shown_ = PictureOf(OutputPicture(job_.settings, planes, OutputPart::LeftEye));
            break;
        case Mode::RightEye:
            shown_ = PictureOf(OutputPicture(job_.settings, planes, OutputPart::RightEye));
            break;
        case Mode::DepthMap:
            shown_ = DepthPicture(planes);
            break;
    }
    if (mode_ == Mode::Wiggle) {
        other_ = PictureOf(OutputPicture(job_.settings, planes, OutputPart::RightEye));
        wiggle_.start();
    } else {
        wiggle_.stop();
    }
    canvas_->setPicture(&shown_);
    syncControls();
}

void FullSizeView::syncControls() {
    modeBox_->setCurrentIndex(int(mode_));
    if (auto* model = qobject_cast<QStandardItemModel*>(modeBox_->model())) {
        model->item(int(Mode::DepthMap))->setEnabled(HasDepthMap(job_.planes()));
    }
    const auto* zoom =
        std::find(std::begin(kFullSizeZooms), std::end(kFullSizeZooms), canvas_->zoom());
    zoomBox_->setCurrentIndex(int(zoom - std::begin(kFullSizeZooms)));
}

}  // namespace k3v
