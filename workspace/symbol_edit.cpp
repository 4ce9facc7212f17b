#include "workspace/symbol_edit.h"

#include <QPainter>

namespace workspace {

CSymbolEdit::CSymbolEdit(QWidget* parent) : QLineEdit(parent) {
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);
}

void CSymbolEdit::SetSymbol(const QIcon& icon) {
  symbol_ = icon;
  // The text stops short of the icon.
  setTextMargins(0, 0, icon.isNull() ? 0 : 20, 0);
  update();
}

void CSymbolEdit::SetPromptText(const QString& prompt) {
  prompt_ = prompt;
  update();
}

void CSymbolEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  if (!symbol_.isNull() && !ShowsPrompt()) {
    QPainter painter(this);
    symbol_.paint(&painter, QRect(width() - 20, (height() - 16) / 2, 16, 16));
  }
  if (!ShowsPrompt()) return;
  QPainter painter(this);
  QFont italic(QStringLiteral("Times New Roman"));
  italic.setStyleHint(QFont::Serif);
  italic.setItalic(true);
  italic.setPixelSize(font().pixelSize() > 0 ? font().pixelSize() : 12);
  painter.setFont(italic);
  painter.setPen(QColor(127, 127, 127));
  painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, prompt_);
}

}  // namespace workspace
