// The application object (`CDravoltSqliteRepairApp`): owns the shared state, the
// engine and the main frame for the whole run.
#pragma once

#include <QApplication>
#include <memory>

#include "engine/sqlite_repair.h"
#include "job/contract/repair_state.h"
#include "workspace/main_frame.h"

namespace shell {

// The dialogs the frame asks for, as the program shows them.
class ProgramDialogs : public workspace::FrameDialogs {
 public:
  job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) override;
  QString AskDatabasePath(QWidget* parent) override;
  QString AskDestinationFolder(QWidget* parent) override;
  QString AskSaveFileName(QWidget* parent, const QString& suggested) override;
  bool AskOverwrite(QWidget* parent, const QString& path) override;
  void ShowError(QWidget* parent, const QString& text) override;
};

class CDravoltSqliteRepairApp : public QApplication {
  Q_OBJECT

 public:
  CDravoltSqliteRepairApp(int& argc, char** argv);
  ~CDravoltSqliteRepairApp() override;

  // Start-up: the single-instance rule, the main frame maximized, and the repair of
  // a database named on the command line. Then the event loop; its result.
  int Run();

 private:
  job::RepairState state_;
  ProgramDialogs dialogs_;
  std::unique_ptr<workspace::CMainFrame> frame_;
  std::unique_ptr<CSqliteRepair> engine_;
};

}  // namespace shell
