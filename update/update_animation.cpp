#include "update/update_animation.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace update {

CUpdateAnimation::CUpdateAnimation(QWidget* parent) : QWidget(parent) {
  setFixedSize(sizeHint());
  connect(&timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % kFrames;
    update();
  });
}

void CUpdateAnimation::Start() {
  frame_ = 0;
  timer_.start(kFrameMs);
  update();
}

void CUpdateAnimation::Stop() {
  timer_.stop();
  update();
}

void CUpdateAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(width() / 2.0, height() / 2.0);
  const double globe = qMin(width(), height()) * 0.30;
  // The globe: a blue disc with two meridians and the equator.
  QRadialGradient fill(centre - QPointF(globe / 3, globe / 3), globe * 1.6);
  fill.setColorAt(0, QColor(164, 203, 223));
  fill.setColorAt(1, QColor(30, 110, 180));
  painter.setPen(QPen(QColor(20, 80, 140), 1.2));
  painter.setBrush(fill);
  painter.drawEllipse(centre, globe, globe);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(255, 255, 255, 170), 1.0));
  painter.drawEllipse(centre, globe * 0.45, globe);
  painter.drawLine(QPointF(centre.x(), centre.y() - globe), QPointF(centre.x(), centre.y() + globe));
  painter.drawLine(QPointF(centre.x() - globe, centre.y()), QPointF(centre.x() + globe, centre.y()));
  // The ring: kFrames dots, the one of the current frame brightest and the ones
  // behind it fading, like a comet going round.
  const double ring = qMin(width(), height()) * 0.44;
  const double dot = qMin(width(), height()) * 0.055;
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < kFrames; ++i) {
    const int behind = (frame_ - i + kFrames) % kFrames;
    const double angle = 2 * M_PI * i / kFrames - M_PI / 2;
    const int alpha = Playing() ? qMax(40, 255 - behind * 36) : 60;
    painter.setBrush(QColor(52, 170, 255, alpha));
    painter.drawEllipse(centre + QPointF(qCos(angle) * ring, qSin(angle) * ring), dot, dot);
  }
}

}  // namespace update
