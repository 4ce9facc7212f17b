#include "shell/eula_dlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "workspace/white_dialog.h"

namespace shell {

CEulaDlg::CEulaDlg(const QString& path, QWidget* parent) : QDialog(parent), list_(new QTreeWidget(this)) {
  setObjectName(QStringLiteral("CEulaDlg"));
  setWindowTitle(QStringLiteral("End User License Agreement"));
  workspace::MakeWhite(this);
  list_->setObjectName(QStringLiteral("LicenceText"));
  list_->setColumnCount(1);
  list_->setHeaderLabels({QStringLiteral("ID")});
  list_->header()->hide();
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setColumnWidth(0, kColumnWidth);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(kColumnWidth + 60, 440);
  Load(path);
}

void CEulaDlg::Load(const QString& path) {
  list_->clear();
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  // UTF-8 where the file is valid UTF-8, else the 8-bit text as Latin-1.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) text = QString::fromLatin1(bytes);
  QStringList lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();  // the last line's end
  QList<QTreeWidgetItem*> rows;
  rows.reserve(lines.size());
  for (QString& line : lines) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    rows.append(new QTreeWidgetItem(QStringList{line}));
  }
  list_->addTopLevelItems(rows);
}

}  // namespace shell
