#include "workspace/my_rich_edit_ctl.h"

#include <QFontDatabase>

namespace workspace {

CMyRichEditCtl::CMyRichEditCtl(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("CMyRichEditCtl"));
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);
  QFont sql = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  sql.setPixelSize(font().pixelSize() > 0 ? font().pixelSize() : 13);
  setFont(sql);
}

}  // namespace workspace
