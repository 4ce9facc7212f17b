#include "workspace/link_label.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace workspace {

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  // The text may come from the product key: never read as markup.
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  ApplyColour();
}

void CLinkLabel::SetVisited(bool visited) {
  visited_ = visited;
  ApplyColour();
}

void CLinkLabel::ApplyColour() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Colour());
  setPalette(colours);
  update();
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    emit Clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    emit Clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

}  // namespace workspace
