// The Select Database dialog (`SelectFile`): where every repair begins. The user
// picks the damaged database with the open-file dialog or from a drive search's
// result list, chooses whether deleted records are recovered too, and presses Repair.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

#include "job/contract/repair_state.h"
#include "shell/file_property.h"
#include "shell/search_thread.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace workspace {
class CColorButton;
}

namespace shell {

class CDBFileList;

// What the Select Database dialog asks of the rest of the program. Called on the
// window thread only.
class SelectFileHost {
 public:
  virtual ~SelectFileHost() = default;
  // The platform's open-file dialog; empty when cancelled.
  virtual QString AskDatabaseFile(QWidget* parent) = 0;
  // The stop question "Do you want to stop the current process?"; true on yes.
  virtual bool ConfirmStop(QWidget* parent) = 0;
  // Starts the repair job of `path` (setting databasePath, databaseFileName and
  // includeDeletedRecords and resetting the workspace); false when a job already
  // runs and nothing was started.
  virtual bool StartRepair(const QString& path, bool includeDeleted) = 0;
  virtual void OpenHelp(QWidget* parent) = 0;
  // The drives to offer in "Look in:" (root paths of mounted volumes).
  virtual QStringList Drives() = 0;
};

// Shown modally; it always ends with the Rejected result. Its effects are the
// changes to the shared state and, after Repair, the repair job the host started.
//
// One drive search runs at a time, on a thread of its own; it reports through
// queued signals, so the dialog's controls change on the window thread only.
// Escape or closing the window during a search stops it without a question and the
// dialog closes once the search has ended; the destructor stops and waits for a
// running search, so the search never outlives the dialog.
//
// Thread: the window thread. `state` and `host` must outlive the dialog.
class SelectFile : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kCountFormat = "Total %1 file(s) found in the drive.";

  // A non-empty `initialPath` (a file named on the command line or dropped on the
  // window) is put into the path field, ready for Repair.
  SelectFile(job::RepairState& state, SelectFileHost& host, const QString& initialPath = {},
             QWidget* parent = nullptr);
  ~SelectFile() override;

  // A hook every later search calls at its checkpoints, on the searching thread;
  // for tests that need a search to stand still at a known point.
  void SetSearchHook(SearchThread::Hook hook) { searchHook_ = std::move(hook); }
  bool Searching() const { return search_ != nullptr; }

 public slots:
  void reject() override;

 private:
  void CreateControls();
  void CreateResultColumns();
  void FillDrives();

  void SelectFileClicked();
  void FindFiles();
  void StopClicked();
  void ClearList();
  void Repair();
  void RowChosen(int row);
  void PathChanged(const QString& text);

  void SearchStarted(int maximum);
  void SearchStepped();
  void SearchEnded();
  void SearchFinished(const FileProperties& files);
  void FillList(const FileProperties& files);
  void StopSearchAndWait();

  job::RepairState& state_;
  SelectFileHost& host_;
  SearchThread::Hook searchHook_;
  std::unique_ptr<SearchThread> search_;   // the running search
  std::unique_ptr<SearchThread> retired_;  // the last finished one, see SearchFinished
  bool closeAfterSearch_ = false;

  QLineEdit* path_ = nullptr;
  workspace::CColorButton* selectButton_ = nullptr;
  QComboBox* lookIn_ = nullptr;
  workspace::CColorButton* findButton_ = nullptr;
  QCheckBox* subfolders_ = nullptr;
  CDBFileList* list_ = nullptr;
  QProgressBar* activity_ = nullptr;
  QLabel* count_ = nullptr;
  workspace::CColorButton* stopButton_ = nullptr;
  workspace::CColorButton* clearButton_ = nullptr;
  QCheckBox* includeDeleted_ = nullptr;
  workspace::CColorButton* repairButton_ = nullptr;
  workspace::CColorButton* helpButton_ = nullptr;
  workspace::CColorButton* cancelButton_ = nullptr;
};

// The platform's open-file dialog for a database: "DB Files (*.db *.sqlite)" first,
// then "All Files (*)". Empty when cancelled.
QString PickDatabaseFile(QWidget* parent);

// The root paths of the mounted volumes that are valid and ready, without the
// kernel's and the devices' pseudo file systems.
QStringList MountedDrives();

}  // namespace shell
