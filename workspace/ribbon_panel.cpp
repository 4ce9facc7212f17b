#include "workspace/ribbon_panel.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>

#include "workspace/ribbon_button.h"

namespace workspace {

CRibbonPanel::CRibbonPanel(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption), row_(new QHBoxLayout(this)) {
  row_->setSpacing(1);
  row_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  UpdateMargins();
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void CRibbonPanel::AddButton(QWidget* button) { row_->addWidget(button, 0, Qt::AlignTop); }

int CRibbonPanel::CaptionHeight() const { return fontMetrics().height() + 1; }

void CRibbonPanel::UpdateMargins() {
  row_->setContentsMargins(2, 2, 2, CaptionHeight() + 1);
  // A short row of buttons still leaves the whole caption readable.
  setMinimumWidth(fontMetrics().horizontalAdvance(caption_) + 16);
}

void CRibbonPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) UpdateMargins();
  QWidget::changeEvent(event);
}

void CRibbonPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const QRectF caption(frame.left(), frame.bottom() - CaptionHeight(), frame.width(), CaptionHeight());

  QLinearGradient face(frame.topLeft(), frame.bottomLeft());
  face.setColorAt(0, QColor(250, 252, 255, 200));
  face.setColorAt(1, QColor(226, 236, 248, 200));
  painter.setPen(QColor(197, 210, 227));
  painter.setBrush(face);
  painter.drawRoundedRect(frame, 3, 3);

  // The caption band: a darker strip closing the panel at the bottom.
  painter.save();
  painter.setClipRect(caption);
  QLinearGradient band(caption.topLeft(), caption.bottomLeft());
  band.setColorAt(0, QColor(206, 223, 244));
  band.setColorAt(1, QColor(190, 211, 238));
  painter.setBrush(band);
  painter.drawRoundedRect(frame, 3, 3);
  painter.restore();

  painter.setPen(ribbon::kCaptionText);
  painter.drawText(caption.toRect(), Qt::AlignCenter, caption_);
}

}  // namespace workspace
