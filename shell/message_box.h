// The program's own message dialogs (CMessageOk, CMessageDialog, CStopDialog,
// CUserDialog, CRepairedSuccessfully): one window whose text and buttons come from
// the selector flags when it opens.
#pragma once

#include <QDialog>

#include "job/contract/front_end_port.h"
#include "job/contract/message_texts.h"
#include "job/contract/repair_state.h"

class QPushButton;

namespace shell {

// Thread: the window thread. Escape answers No where Yes and No are shown, so it
// never confirms a question such as "Exit ...?", and OK where OK is the only
// button; Enter presses the default button: OK, or Yes in
// the stop question, No in the exit question; CUserDialog's OK answers No, as its
// hidden default never answers Yes.
class CMessageBox : public QDialog {
  Q_OBJECT

 public:
  CMessageBox(job::Dialog dialog, const job::DialogContent& content, QWidget* parent = nullptr);

  // Picks the text of `dialog` from `state` (clearing the flags it uses), shows it
  // modally and returns the answer.
  static job::DialogAnswer Ask(job::RepairState& state, job::Dialog dialog, QWidget* parent);

  job::DialogAnswer Answer() const { return result() == QDialog::Accepted ? job::DialogAnswer::Yes
                                                                          : job::DialogAnswer::No; }

 protected:
  void reject() override;

 private:
  bool escapeConfirms_ = false;
  QPushButton* AddButton(const QString& text, const char* name, bool yes, bool isDefault);
};

}  // namespace shell
