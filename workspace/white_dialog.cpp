#include "workspace/white_dialog.h"

#include <QPalette>
#include <QWidget>

namespace workspace {

void MakeWhite(QWidget* dialog) {
  QPalette palette = dialog->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const QColor text = group == QPalette::Disabled ? QColor(110, 110, 110) : QColor(Qt::black);
    palette.setColor(group, QPalette::Window, Qt::white);
    palette.setColor(group, QPalette::Base, Qt::white);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::ButtonText, text);
  }
  dialog->setAutoFillBackground(true);
  dialog->setPalette(palette);
}

}  // namespace workspace
