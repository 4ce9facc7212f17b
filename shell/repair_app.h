// The application object (`CDravoltSqliteRepairApp`): owns the shared state, the
// engine and the main frame for the whole run.
#pragma once

#include <QApplication>
#include <memory>

#include "engine/sqlite_repair.h"
#include "job/contract/repair_state.h"
#include "shell/desktop_update_host.h"
#include "shell/product_key.h"
#include "update/auto_updater.h"
#include "workspace/main_frame.h"

namespace shell {

// The dialogs and pages the frame asks for, as the program shows them. Window
// thread only.
class ProgramDialogs : public workspace::FrameDialogs {
 public:
  explicit ProgramDialogs(job::RepairState& state);

  job::DialogAnswer ShowModal(job::RepairState& state, job::Dialog dialog, QWidget* parent) override;
  void SelectDatabase(workspace::CMainFrame& frame, const QString& path) override;
  void ChooseDestination(workspace::CMainFrame& frame) override;
  void OpenHelp(QWidget* parent) override;
  void OpenEnquiry(QWidget* parent) override;
  void OpenKnowledgebase(QWidget* parent) override;
  void ShowAbout(QWidget* parent) override;
  void ShowUpdate(QWidget* parent) override;
  QString AskSaveFileName(QWidget* parent, const QString& suggested) override;
  bool AskOverwrite(QWidget* parent, const QString& path) override;
  void ShowError(QWidget* parent, const QString& text) override;

  // The product key's pages, as the About box opens them.
  ProductLinks& Links() { return links_; }

 private:
  job::RepairState& state_;
  ProductLinks links_;
  // Made at the first Update command, kept for the run: a downloaded installer's
  // folder belongs to it.
  std::unique_ptr<update::CAutoUpdater> updater_;
  DesktopUpdateHost updateHost_;
};

class CDravoltSqliteRepairApp : public QApplication {
  Q_OBJECT

 public:
  CDravoltSqliteRepairApp(int& argc, char** argv);
  ~CDravoltSqliteRepairApp() override;

  // Start-up: the single-instance rule, the main frame maximized, then the Select
  // Database dialog with the database named on the command line filled in. Then
  // the event loop; its result.
  int Run();

 private:
  job::RepairState state_;
  ProgramDialogs dialogs_{state_};
  std::unique_ptr<workspace::CMainFrame> frame_;
  std::unique_ptr<CSqliteRepair> engine_;
};

}  // namespace shell
