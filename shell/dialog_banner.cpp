#include "shell/dialog_banner.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "job/contract/message_texts.h"

namespace shell {

DialogBanner::DialogBanner(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("banner"));
  setFixedHeight(64);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DialogBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, width(), 0);
  band.setColorAt(0, QColor(18, 72, 122));
  band.setColorAt(1, QColor(52, 170, 255));
  painter.fillRect(rect(), band);
  // A database drum with a cross of repair, in white.
  const QRectF drum(16, 12, 30, 40);
  painter.setPen(QPen(Qt::white, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), 10));
  QPainterPath side;
  side.moveTo(drum.left(), drum.top() + 5);
  side.lineTo(drum.left(), drum.bottom() - 5);
  side.arcTo(QRectF(drum.left(), drum.bottom() - 10, drum.width(), 10), 180, 180);
  side.lineTo(drum.right(), drum.top() + 5);
  painter.drawPath(side);
  painter.drawArc(QRectF(drum.left(), drum.top() + 12, drum.width(), 10), 180 * 16, 180 * 16);
  QFont title = font();
  title.setPixelSize(20);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRect(60, 0, width() - 70, height()), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromUtf8(job::kProductTitle));
}

}  // namespace shell
