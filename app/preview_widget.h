#pragma once
// The preview area: shows the last rendered 1000 x 300 picture in one step.

#include <QImage>
#include <QWidget>

namespace k3v {

class PreviewWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewWidget(QWidget* parent);

    void showPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
};

}  // namespace k3v
