#include "shell/file_exist.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVBoxLayout>

#include "workspace/color_button.h"
#include "workspace/white_dialog.h"

namespace shell {
namespace {

constexpr int kPictureSize = 48;

// A sheet of paper with a folded corner and an amber warning triangle over it;
// painted at the screen's scale so it is sharp everywhere.
QPixmap WarningPicture(qreal scale) {
  QPixmap picture(QSize(kPictureSize, kPictureSize) * scale);
  picture.setDevicePixelRatio(scale);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  QPainterPath sheet;
  sheet.moveTo(6, 2);
  sheet.lineTo(28, 2);
  sheet.lineTo(38, 12);
  sheet.lineTo(38, 40);
  sheet.lineTo(6, 40);
  sheet.closeSubpath();
  painter.setPen(QPen(QColor(90, 110, 130), 1.5));
  painter.setBrush(QColor(240, 246, 252));
  painter.drawPath(sheet);
  painter.drawPolyline(QPolygonF({QPointF(28, 2), QPointF(28, 12), QPointF(38, 12)}));
  for (int y = 16; y <= 26; y += 5) painter.drawLine(QPointF(11, y), QPointF(30, y));

  QPainterPath triangle;
  triangle.moveTo(33, 22);
  triangle.lineTo(47, 46);
  triangle.lineTo(19, 46);
  triangle.closeSubpath();
  painter.setPen(QPen(QColor(150, 90, 0), 1.5));
  painter.setBrush(QColor(255, 190, 40));
  painter.drawPath(triangle);
  painter.setPen(QPen(QColor(60, 40, 0), 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(33, 30), QPointF(33, 38));
  painter.drawPoint(QPointF(33, 42.5));
  return picture;
}

}  // namespace

CFileExist::CFileExist(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CFileExist"));
  setWindowTitle(QStringLiteral("Overwrite File"));
  setModal(true);
  workspace::MakeWhite(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->setSpacing(14);
  auto* row = new QHBoxLayout();
  row->setSpacing(16);
  layout->addLayout(row);
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("Picture"));
  picture->setPixmap(WarningPicture(devicePixelRatioF()));
  picture->setAlignment(Qt::AlignTop);
  row->addWidget(picture);
  message_ = new QLabel(QStringLiteral("File exists.\n\nDo you want to overwrite?"), this);
  message_->setObjectName(QStringLiteral("FileExistText"));
  message_->setTextFormat(Qt::PlainText);
  message_->setAlignment(Qt::AlignCenter);
  message_->setMinimumWidth(220);
  row->addWidget(message_, 1);

  auto* buttons = new QHBoxLayout();
  layout->addLayout(buttons);
  buttons->addStretch();
  auto* yes = new workspace::CColorButton(QStringLiteral("&Yes"), this);
  yes->setObjectName(QStringLiteral("YesButton"));
  yes->setAutoDefault(false);  // Enter on a focused "&Yes" still goes to "&No"
  buttons->addWidget(yes);
  auto* no = new workspace::CColorButton(QStringLiteral("&No"), this);
  no->setObjectName(QStringLiteral("NoButton"));
  no->setDefault(true);
  buttons->addWidget(no);
  no->setFocus();

  connect(yes, &QPushButton::clicked, this, &QDialog::accept);
  connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

void CFileExist::showEvent(QShowEvent* event) {
  // The common font may have been set after the dialog was made.
  message_->setFont(QApplication::font());
  QDialog::showEvent(event);
}

}  // namespace shell
