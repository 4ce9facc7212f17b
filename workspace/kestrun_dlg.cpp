#include "workspace/kestrun_dlg.h"

#include <QPainter>

#include "workspace/icons.h"

namespace workspace {

CKestrunDlg::CKestrunDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CKestrunDlg"));
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(kLogoSize);
}

void CKestrunDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(QPoint(0, 0), ProgramPicture(QStringLiteral("logo"), kLogoSize));
}

}  // namespace workspace
