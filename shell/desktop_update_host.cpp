#include "shell/desktop_update_host.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include "shell/message_box.h"

namespace shell {

job::DialogAnswer DesktopUpdateHost::Ask(job::RepairState& state, job::Dialog dialog, QWidget* parent) {
  return CMessageBox::Ask(state, dialog, parent);
}

bool DesktopUpdateHost::Open(const QUrl& url) { return QDesktopServices::openUrl(url); }

// exit, not quit: quit would close the main window, which asks whether to exit.
void DesktopUpdateHost::Quit() { QCoreApplication::exit(0); }

update::UpdateKey UpdateKeyOf(const ProductKey& key) {
  update::UpdateKey values;
  values.version = key.Value(QStringLiteral("Version"));
  values.exeName = key.Value(QStringLiteral("ExeName"));
  values.updateServer = key.WebAddress(QStringLiteral("UpdateServer"));
  values.upgradePage = key.WebAddress(QStringLiteral("Update"));
  return values;
}

}  // namespace shell
