// A clickable text link: blue, with a pointing-hand cursor; emits clicked() when the left mouse
// button is pressed and released over it.
#pragma once

#include <QLabel>

namespace zandrex::desktop {

class LinkLabel : public QLabel {
  Q_OBJECT
public:
  // The link colour, RGB(0, 0, 255).
  static constexpr int kLinkRed = 0;
  static constexpr int kLinkGreen = 0;
  static constexpr int kLinkBlue = 255;

  explicit LinkLabel(const QString& text = {}, QWidget* parent = nullptr);

signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool pressed_ = false;
};

} // namespace zandrex::desktop
