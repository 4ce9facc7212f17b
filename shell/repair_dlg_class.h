// The save destination dialog (`CRepairDlgClass`): asks for the folder the repaired
// database is written into, and starts the save job there.
#pragma once

#include <QDialog>
#include <QString>

#include "job/contract/repair_state.h"

class QLineEdit;
class QPushButton;

namespace shell {

// What the destination dialog needs from the program. The frame has collected the
// checked objects before the dialog opens. Called on the window thread.
class RepairDlgHost {
 public:
  virtual ~RepairDlgHost() = default;
  // Shows the folder picker titled "Repair"; empty when it was cancelled.
  virtual QString AskFolder(QWidget* parent) = 0;
  // Starts the save job into `folder` (ending in a separator); false, and nothing
  // started, while a job runs.
  virtual bool StartSave(const QString& folder) = 0;
  virtual void OpenHelp(QWidget* parent) = 0;
};

// The platform's folder picker titled "Repair", folders only; empty when cancelled.
QString PickFolder(QWidget* parent);

// Modal; always ends with the Rejected result. Every showing starts with an empty
// path and "Save" disabled; the folder chosen by an earlier showing stays in
// `destinationFolder` but is not shown. Browse empties the path, then shows the
// picker: a chosen folder is shown and stored ending in exactly one
// QDir::separator(), and enables "Save"; a cancelled picker leaves the path empty
// and `destinationFolder` as it was. Save hands the shown folder to
// RepairDlgHost::StartSave and closes, whether a job started or not. Cancel and
// Escape close and change nothing.
//
// Object names: "DestinationPath", "BrowseButton", "HelpButton", "CancelButton",
// "SaveButton". `state` and `host` must outlive the dialog. Thread: the window
// thread.
class CRepairDlgClass : public QDialog {
  Q_OBJECT

 public:
  CRepairDlgClass(job::RepairState& state, RepairDlgHost& host, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Browse();
  void Save();

  job::RepairState& state_;
  RepairDlgHost& host_;
  QLineEdit* path_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace shell
