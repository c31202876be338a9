#pragma once
// A path field: the full path of a picture, shown with an ellipsis in the middle when it is
// longer than the field (so the drive, the start of the folder and the file name stay visible).

#include <QFrame>

namespace k3v {

class PathField : public QFrame {
    Q_OBJECT
  public:
    explicit PathField(QWidget* parent);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    // What the field shows for its current text and width.
    QString displayedText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

}  // namespace k3v
