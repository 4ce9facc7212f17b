// The overwrite dialog (`CFileExist`): may an existing file be replaced?
#pragma once

#include <QDialog>

class QLabel;

namespace shell {

// Caption "Overwrite File", a warning picture at the left, the question "File
// exists.\n\nDo you want to overwrite?" centred in the application's common font,
// and the buttons "&Yes" and "&No". Escape answers No, and so does Enter: "&No" is
// the default button and "&Yes" never takes Enter, so only a deliberate choice of
// "&Yes" replaces a file. Object names: "FileExistText", "YesButton", "NoButton".
// Thread: the window thread.
class CFileExist : public QDialog {
  Q_OBJECT

 public:
  explicit CFileExist(QWidget* parent = nullptr);

  // After the dialog has ended: true for "&Yes" only.
  bool Overwrite() const { return result() == QDialog::Accepted; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* message_ = nullptr;
};

}  // namespace shell
