// The main frame (`CMainFrame`): the object tree and the record view side by side,
// the "Log Report" pane, the status bar with its progress bar, and the window's
// handlers of every job notification.
#pragma once

#include <QLabel>
#include <QAction>
#include <QMainWindow>
#include <QSplitter>
#include <functional>
#include <map>
#include <memory>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"
#include "workspace/left_view.h"
#include "workspace/output_wnd.h"
#include "workspace/progress_bar.h"
#include "workspace/window_thread_port.h"

class CRecoveryThread;
class CSqliteRepair;

namespace workspace {

class CDravoltSqliteRepairView;
class CFindTreeItem;
class CRibbonBar;
class CMainFrame;

// The dialogs and pages the frame opens (the program's own dialogs, the help and
// support pages); tests answer them through their own implementation.
class FrameDialogs : public LogDialogs {
 public:
  virtual job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) = 0;
  // The Select Database dialog, modal, with `path` filled in when not empty (a file
  // named on the command line or dropped on the window). Its Repair starts the
  // repair through `frame.StartRepair`.
  virtual void SelectDatabase(CMainFrame& frame, const QString& path) = 0;
  // The save destination dialog, modal; its Save starts `frame.StartSave`.
  virtual void ChooseDestination(CMainFrame& frame) = 0;
  // Help, Submit Enquiry, Knowledgebase (the product key's pages), About, Update.
  virtual void OpenHelp(QWidget* parent) = 0;
  virtual void OpenEnquiry(QWidget* parent) = 0;
  virtual void OpenKnowledgebase(QWidget* parent) = 0;
  virtual void ShowAbout(QWidget* parent) = 0;
  virtual void ShowUpdate(QWidget* parent) = 0;
};

// Thread: the window thread. The handlers below are the window's side of the port;
// the worker reaches them only through Port(), which hands every call over to this
// thread. `state`, `dialogs` and the attached engine must outlive the frame; the
// engine is made with Port() and attached before the first job.
class CMainFrame : public QMainWindow, public job::FrontEndPort {
  Q_OBJECT

 public:
  CMainFrame(job::RepairState& state, FrameDialogs& dialogs, QWidget* parent = nullptr);
  void AttachEngine(CSqliteRepair& engine) { engine_ = &engine; }
  ~CMainFrame() override;

  // What the worker talks to.
  job::FrontEndPort& Port() { return *port_; }

  // The repair of `path` (the Select Database dialog's Repair). False while a job runs.
  bool StartRepair(const QString& path, bool includeDeleted);
  // The Save command's first half: the checked leaves of the tree into the state's
  // lists. Without a checked table: "Select table(s) for saving." and false.
  bool CollectChecked();
  // The save job into `folder` (the destination dialog's Save). False while a job
  // runs.
  bool StartSave(const QString& folder);
  // Both halves at once, without the destination dialog (tests, scripted use).
  bool SaveChecked(const QString& folder) { return CollectChecked() && StartSave(folder); }
  // Stop: asks "Do you want to stop the current process?" and, when confirmed while
  // the same job still runs, asks it to stop.
  void Stop();
  // Whether a job runs, as the window sees it (a job that sent its end counts as
  // ended).
  bool JobRunning() const { return jobRunning_; }
  // Waits for the last job's thread once it has ended (for tests and shutdown).
  void JoinWorker();
  // The end of the program: a running job is asked to stop, a worker waiting on the
  // window is answered at once, then it is joined. Safe to call twice.
  void Shutdown();

  // The command `id` ("ID_BUTTON_OPEN_FILE", "ID_BUTTON_START_REPAIR",
  // "ID_BUTTON_STOP", "ID_BUTTON_EXIT", "ID_STATUS_BAR", "ID_LOG_WINDOW",
  // "ID_BUTTON_SAVE_LOG", "ID_BUTTON_CLEAR_LOG", "ID_BUTTON_UPDATE",
  // "ID_HELP_ENQUIRY", "ID_HELP_KNOWLEDGE", "ID_HELP_HELLP", "ID_HELP_ABOUT"), or null.
  QAction* Command(const QString& id) const;
  // The window's geometry and docking state as the user left them (per user).
  void RestoreWindowSettings();
  // Recomputes which commands are enabled: on each job state change and repair.
  void UpdateCommands();

  CLeftView* Tree() const { return tree_; }
  CRibbonBar* Ribbon() const { return ribbon_; }
  CDravoltSqliteRepairView* RecordView() const { return recordView_; }
  CFindTreeItem* FindBar() const { return find_; }
  COutputWnd* Log() const { return log_; }
  QString StatusText() const { return status_->text(); }
  QString RecordCountText() const { return records_->text(); }
  const CProgressBar* ProgressBar() const { return bar_; }

  // The window's handlers of the notifications.
  void RepairDone(const job::ObjectListing& objects) override;
  void ResetWorkspace() override;
  void CheckTopItem() override;
  void Progress(job::ProgressAction action, int64_t range) override;
  void LogLine(const std::string& text) override;
  void GridColumns(const std::vector<std::string>& names) override;
  void GridData(const job::GridCell& cell) override;
  void ClearGridRows() override;
  void TableLoaded(const job::TableInfo& table) override;
  void ShowViewSql(const std::string& sql) override;
  void ShowTriggerSql(const std::string& sql) override;
  void ShowRecordCount(int64_t count) override;
  void ObjectSaved(const std::string& name) override;
  void SaveFinished() override;
  void JobState(int64_t state) override;
  job::DialogAnswer ShowModal(job::Dialog dialog) override;

 signals:
  // The job state changed: the commands' enabling is to be recomputed.
  void JobStateChanged(bool running);

 private:
  void createCentralArea();
  void createLogPane();
  void createStatusBar();
  void createActions();
  // The ribbon over the commands: "File", "Tools" and "Help", the application
  // menu and the quick-access buttons.
  void createRibbon();
  // Exit: "First stop the current process." while a job runs, else the question;
  // true when the window may close.
  bool ConfirmExit();
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // The Ctrl keys of the commands, for every key aimed at the tree, the log, the
  // ribbon or the frame itself (text fields and the record view keep their keys).
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool HandleCtrlKey(int key);
  // Runs command `id` when it is enabled.
  void RunIfEnabled(const char* id);
  void SaveCommand();
  void SaveWindowSettings();
  void OnLabelClicked(QTreeWidgetItem* item);
  // FindItem: the Find bar's search; the next match is selected, or the user is told
  // there is none.
  void FindItem();
  // A batch of staged rows has been applied: the grid and the record count show it.
  void GridBatchApplied();
  void ShowRecordCountText();
  // Starts the job `start` makes, unless one runs: the last job's thread is joined
  // and a stop meant for it forgotten first. False when nothing started.
  bool Launch(const std::function<std::unique_ptr<CRecoveryThread>()>& start);

  job::RepairState& state_;
  CSqliteRepair* engine_ = nullptr;
  FrameDialogs& dialogs_;
  std::unique_ptr<WindowThreadPort> port_;
  std::unique_ptr<CRecoveryThread> worker_;
  CLeftView* tree_ = nullptr;
  QSplitter* splitter_ = nullptr;
  bool laidOut_ = false;
  CDravoltSqliteRepairView* recordView_ = nullptr;
  CFindTreeItem* find_ = nullptr;
  int64_t recordCounter_ = 0;  // complete rows of the grid
  CRibbonBar* ribbon_ = nullptr;
  COutputWnd* log_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* records_ = nullptr;
  CProgressBar* bar_ = nullptr;
  std::map<QString, QAction*> commands_;
  bool jobRunning_ = false;
  bool shutDown_ = false;
  uint64_t jobNumber_ = 0;  // which job a Stop question belongs to
};

}  // namespace workspace
