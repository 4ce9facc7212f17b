#include "workspace/color_button.h"

#include <QEnterEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace workspace {

CColorButton::CColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAttribute(Qt::WA_Hover);
  setMinimumHeight(24);
}

QColor CColorButton::LowerColour() const {
  // A light grey: the gradient stays light, so the greyed label stays readable.
  if (!isEnabled()) return QColor(200, 200, 200);
  return hovered_ ? kHover : kNormal;
}

void CColorButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient gradient(area.topLeft(), area.bottomLeft());
  const QColor lower = LowerColour();
  if (isDown()) {
    gradient.setColorAt(0, lower);
    gradient.setColorAt(1, kTop);
  } else {
    gradient.setColorAt(0, kTop);
    gradient.setColorAt(1, lower);
  }
  painter.setPen(QPen(hasFocus() ? QColor(40, 110, 170) : QColor(120, 150, 170), 1));
  painter.setBrush(gradient);
  painter.drawRoundedRect(area, 3, 3);
  // The text is drawn in a dark colour of its own: the gradient is light whatever
  // the desktop's theme.
  painter.setPen(isEnabled() ? QColor(20, 20, 20) : QColor(140, 140, 140));
  painter.setFont(font());
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

void CColorButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QPushButton::enterEvent(event);
}

void CColorButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QPushButton::leaveEvent(event);
}

void CColorButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a double-click presses the button again.
  mousePressEvent(event);
}

}  // namespace workspace
