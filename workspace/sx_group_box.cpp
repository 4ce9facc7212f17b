#include "workspace/sx_group_box.h"

#include <QPainter>

namespace workspace {

CSxGroupBox::CSxGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
  // Room for the caption above the contents.
  setContentsMargins(8, fontMetrics().height() + 4, 8, 8);
}

void CSxGroupBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const int captionMiddle = metrics.height() / 2;
  const QRect frame = rect().adjusted(0, captionMiddle, -2, -2);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(frame);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));
  if (title().isEmpty()) return;
  const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 8, metrics.height());
  painter.fillRect(caption, palette().color(backgroundRole()));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(caption, Qt::AlignCenter, title());
}

}  // namespace workspace
