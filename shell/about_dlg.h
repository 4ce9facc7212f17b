// `CAboutDlg`: the About box, with the product's name and version, facts about the
// operating system, the Support and live chat links, and the licence text.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <functional>

#include "shell/eula_dlg.h"
#include "workspace/link_label.h"
#include "shell/product_key.h"

namespace shell {

// What the About box says of the operating system: its name and its version as
// "major. minor.build" (a space after the first full stop).
struct SystemFacts {
  QString name;
  QString version;
};
// Windows: the name the registry gives ("ProductName" of Windows NT\CurrentVersion,
// or of Windows\CurrentVersion when that one has at most six characters; "Error"
// when a key cannot be opened) and the version of QOperatingSystemVersion.
// Elsewhere: the name the platform reports (QSysInfo) and the kernel's version.
SystemFacts CurrentSystemFacts();
// "%ld. %ld.%ld" of the three numbers.
QString SystemVersionText(long major, long minor, long build);

// Modal; closed with "Close" or Escape. The links open through `links` (which
// outlives the box); each turns purple once clicked in this showing. "View User
// License" shows the licence text of the product key's folder through
// `showLicence` (exec by default; tests look at the dialog instead). Window
// thread only.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg(ProductLinks& links, const SystemFacts& system, QWidget* parent = nullptr,
            std::function<void(CEulaDlg&)> showLicence = {});

  QString VersionText() const { return version_->text(); }
  workspace::CLinkLabel* SupportLink() const { return support_; }
  workspace::CLinkLabel* ChatLink() const { return chat_; }
  QPushButton* LicenceButton() const { return licence_; }

 private:
  void ShowLicence();

  ProductLinks& links_;
  std::function<void(CEulaDlg&)> showLicence_;
  QLabel* version_ = nullptr;
  workspace::CLinkLabel* support_ = nullptr;
  workspace::CLinkLabel* chat_ = nullptr;
  QPushButton* licence_ = nullptr;
};

}  // namespace shell
