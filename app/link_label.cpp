#include "link_label.h"

#include <QMouseEvent>
#include <QPalette>

namespace zandrex::desktop {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QPalette linkPalette = palette();
  linkPalette.setColor(QPalette::WindowText, QColor(kLinkRed, kLinkGreen, kLinkBlue));
  setPalette(linkPalette);
  setCursor(Qt::PointingHandCursor);
  // The text is plain: a path may hold characters that rich text would swallow.
  setTextFormat(Qt::PlainText);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool wasPressed = pressed_;
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  // Releasing outside the label cancels the click, as with a button.
  if (wasPressed && event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint()))
    emit clicked();
}

} // namespace zandrex::desktop
