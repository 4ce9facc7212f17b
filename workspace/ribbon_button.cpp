#include "workspace/ribbon_button.h"

#include <QAction>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace workspace {

namespace {

constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;
constexpr int kApplicationIcon = 20;
constexpr int kPad = 3;        // around a large button's icon and label
constexpr int kIconGap = 1;    // between a large button's icon and its label
constexpr int kTabPad = 12;    // either side of a tab's name

QLinearGradient Vertical(const QRectF& area, const QColor& top, const QColor& bottom) {
  QLinearGradient gradient(area.topLeft(), area.bottomLeft());
  gradient.setColorAt(0, top);
  gradient.setColorAt(1, bottom);
  return gradient;
}

}  // namespace

CRibbonButton::CRibbonButton(Kind kind, QWidget* parent) : QToolButton(parent), kind_(kind) {
  setAutoRaise(true);
  setAttribute(Qt::WA_Hover);
  // The ribbon never takes the keyboard focus from the window's panes.
  setFocusPolicy(Qt::NoFocus);
  switch (kind_) {
    case Kind::Large: setIconSize(QSize(kLargeIcon, kLargeIcon)); break;
    case Kind::Small: setIconSize(QSize(kSmallIcon, kSmallIcon)); break;
    case Kind::Tab: setCheckable(true); break;
    case Kind::Application:
      setIconSize(QSize(kApplicationIcon, kApplicationIcon));
      setPopupMode(QToolButton::InstantPopup);
      break;
  }
}

QStringList CRibbonButton::LabelLines() const {
  const QString label = text();
  if (kind_ != Kind::Large || !label.contains(QLatin1Char(' '))) return {label};
  const QFontMetrics metrics(font());
  QStringList best{label};
  int bestWidth = metrics.horizontalAdvance(label);
  for (qsizetype at = label.indexOf(QLatin1Char(' ')); at >= 0; at = label.indexOf(QLatin1Char(' '), at + 1)) {
    const QString first = label.left(at);
    const QString second = label.mid(at + 1);
    const int width = std::max(metrics.horizontalAdvance(first), metrics.horizontalAdvance(second));
    if (width < bestWidth) {
      bestWidth = width;
      best = {first, second};
    }
  }
  return best;
}

QString CRibbonButton::RichToolTip(const QAction* action) {
  if (!action) return {};
  const QString title = action->iconText().trimmed();
  const QString tip = action->toolTip().trimmed();
  QString html = QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped());
  if (!tip.isEmpty() && tip != title) html += QStringLiteral("<br>%1").arg(tip.toHtmlEscaped());
  return html;
}

QSize CRibbonButton::sizeHint() const {
  const QFontMetrics metrics(font());
  switch (kind_) {
    case Kind::Large: {
      int width = kLargeIcon;
      for (const QString& line : LabelLines()) width = std::max(width, metrics.horizontalAdvance(line));
      // Room for two lines always, so every large button of a panel has one height.
      return {width + 2 * kPad + 2, kPad + kLargeIcon + kIconGap + 2 * metrics.height() + kPad};
    }
    case Kind::Small:
      if (icon().isNull()) return {metrics.horizontalAdvance(text()) + 2 * kPad, kSmallIcon + 4};
      return {kSmallIcon + 5, kSmallIcon + 4};
    case Kind::Tab: return {metrics.horizontalAdvance(text()) + 2 * kTabPad, metrics.height() + 6};
    case Kind::Application: return {kApplicationIcon + 24, metrics.height() + 6};
  }
  return {};
}

bool CRibbonButton::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && (kind_ == Kind::Large || kind_ == Kind::Small) && defaultAction()) {
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), RichToolTip(defaultAction()), this);
    return true;
  }
  return QToolButton::event(event);
}

QPixmap CRibbonButton::IconPixmap(int size) const {
  const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : (underMouse() ? QIcon::Active : QIcon::Normal);
  return icon().pixmap(QSize(size, size), devicePixelRatio(), mode, isChecked() ? QIcon::On : QIcon::Off);
}

void CRibbonButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setFont(font());
  switch (kind_) {
    case Kind::Large:
    case Kind::Small: PaintCommandFace(painter); break;
    case Kind::Tab: PaintTab(painter); break;
    case Kind::Application: PaintApplication(painter); break;
  }
}

void CRibbonButton::PaintCommandFace(QPainter& painter) const {
  const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const bool hot = isEnabled() && underMouse();
  // Pressed, checked and hovered buttons take the warm highlight of the ribbon;
  // a checked button keeps it, so the state of Status Bar and Log Window shows.
  if (isEnabled() && isDown()) {
    painter.setPen(QColor(194, 138, 48));
    painter.setBrush(Vertical(area, QColor(252, 179, 95), QColor(255, 214, 130)));
    painter.drawRoundedRect(area, 3, 3);
  } else if (isChecked()) {
    painter.setPen(QColor(194, 150, 70));
    painter.setBrush(hot ? Vertical(area, QColor(255, 214, 140), QColor(253, 190, 100))
                         : Vertical(area, QColor(255, 228, 160), QColor(255, 205, 120)));
    painter.drawRoundedRect(area, 3, 3);
  } else if (hot) {
    painter.setPen(QColor(219, 186, 110));
    painter.setBrush(Vertical(area, QColor(255, 251, 225), QColor(255, 228, 150)));
    painter.drawRoundedRect(area, 3, 3);
  }

  const int iconSide = iconSize().width();
  if (kind_ == Kind::Small) {
    if (icon().isNull()) {
      painter.setPen(isEnabled() ? ribbon::kText : ribbon::kDisabledText);
      painter.drawText(rect(), Qt::AlignCenter, text());
    } else {
      painter.drawPixmap((width() - iconSide) / 2, (height() - iconSide) / 2, IconPixmap(iconSide));
    }
    return;
  }
  painter.drawPixmap((width() - iconSide) / 2, kPad, IconPixmap(iconSide));
  painter.setPen(isEnabled() ? ribbon::kText : ribbon::kDisabledText);
  const int lineHeight = QFontMetrics(font()).height();
  int top = kPad + iconSide + kIconGap;
  for (const QString& line : LabelLines()) {
    painter.drawText(QRect(0, top, width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop, line);
    top += lineHeight;
  }
}

void CRibbonButton::PaintTab(QPainter& painter) const {
  const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, 0.5);
  if (isChecked() || underMouse()) {
    // The selected tab opens into the panel area below it: no bottom edge, and its
    // fill ends in the panel area's top colour.
    QPainterPath outline;
    outline.moveTo(area.bottomLeft());
    outline.lineTo(area.left(), area.top() + 3);
    outline.quadTo(area.topLeft(), QPointF(area.left() + 3, area.top()));
    outline.lineTo(area.right() - 3, area.top());
    outline.quadTo(area.topRight(), QPointF(area.right(), area.top() + 3));
    outline.lineTo(area.bottomRight());
    if (isChecked()) {
      painter.fillPath(outline, Vertical(area, QColor(246, 250, 255), ribbon::kPanelTop));
      painter.setPen(ribbon::kPanelBorder);
    } else {
      painter.fillPath(outline, Vertical(area, QColor(240, 246, 253), QColor(226, 236, 249)));
      painter.setPen(QColor(180, 203, 233));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
  }
  painter.setPen(isEnabled() ? ribbon::kTabText : ribbon::kDisabledText);
  painter.drawText(rect().adjusted(0, 1, 0, 0), Qt::AlignCenter, text());
}

void CRibbonButton::PaintApplication(QPainter& painter) const {
  const QRectF area = QRectF(rect()).adjusted(0.5, 1.5, -0.5, -0.5);
  QColor top = ribbon::kBrightBlue;
  QColor bottom = ribbon::kDarkBlue;
  if (isDown() || (menu() && menu()->isVisible())) std::swap(top, bottom);
  else if (underMouse()) top = QColor(120, 200, 255);
  painter.setPen(QColor(12, 50, 86));
  painter.setBrush(Vertical(area, top, bottom));
  painter.drawRoundedRect(area, 5, 5);
  // A light disc behind the program's icon keeps the blue drum apart from the blue
  // face of the button.
  const int side = iconSize().width();
  const QPointF centre = area.center();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 150));
  painter.drawEllipse(centre, side / 2.0 + 2, side / 2.0 + 1);
  painter.drawPixmap(QPointF(centre.x() - side / 2.0, centre.y() - side / 2.0), IconPixmap(side));
}

}  // namespace workspace
