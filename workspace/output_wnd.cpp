#include "workspace/output_wnd.h"

#include <QFileInfo>
#include <QSaveFile>

#include "workspace/log_report.h"

namespace workspace {

COutputWnd::COutputWnd(QWidget* parent) : QDockWidget(QStringLiteral("Log Report"), parent) {
  setObjectName(QStringLiteral("COutputWnd"));
  setAllowedAreas(Qt::AllDockWidgetAreas);
  list_ = new COutputList(this);
  setWidget(list_);
  AddLine(QString::fromUtf8(kLogHeader));
}

void COutputWnd::AddLine(const QString& text) {
  auto* item = new QListWidgetItem(text, list_);
  list_->setCurrentItem(item);
  list_->scrollToItem(item);
}

void COutputWnd::ClearLog() {
  list_->clear();
  AddLine(QString::fromUtf8(kLogHeader));
}

QStringList COutputWnd::Lines() const {
  QStringList lines;
  for (int i = 0; i < list_->count(); ++i) lines << list_->item(i)->text();
  return lines;
}

bool COutputWnd::SaveLog(LogDialogs& dialogs) {
  QString target;
  for (;;) {
    const QString chosen = dialogs.AskSaveFileName(this, QString::fromUtf8(kLogSuggestedName));
    if (chosen.isEmpty()) return false;
    target = LogReportTarget(chosen);
    if (!QFileInfo::exists(target) || dialogs.AskOverwrite(this, target)) break;
  }
  // The old file is replaced only by a complete report: a failed write leaves it.
  QSaveFile file(target);
  const QByteArray bytes = LogReportBytes(Lines());
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    dialogs.ShowError(this, QStringLiteral("The log report cannot be written to %1: %2")
                                .arg(target, file.errorString()));
    return false;
  }
  return true;
}

}  // namespace workspace
