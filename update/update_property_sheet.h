// The update wizard (`CUpdatePropertySheet`, "Update Wizard"): welcome, version
// check, download.
#pragma once

#include <QWizard>

#include "job/contract/repair_state.h"

namespace update {

class CAutoUpdater;
class CUpdateFinal;
class CUpdateProcess;
class CUpdateStart;
class UpdateHost;

// Window thread only; shown modally by the Update command. `state`, `updater` and
// `host` must outlive the sheet. Opening clears `updateCancelled` and
// `installerPath`; Cancel on the first two pages sets `updateCancelled`; Cancel
// during the download asks whether to stop it and, when confirmed, breaks it off,
// deletes the partial file (or the installer, when the download ended while the
// question was open) and sets `updateCancelled`; after the download has ended
// Cancel and Finish close the sheet alike.
class CUpdatePropertySheet : public QWizard {
  Q_OBJECT

 public:
  enum PageId { kStartPage = 0, kProcessPage = 1, kFinalPage = 2 };
  static constexpr int kStartDelayMs = 1000;

  CUpdatePropertySheet(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, QWidget* parent = nullptr,
                       int startDelayMs = kStartDelayMs);

  CUpdateStart* StartPage() const { return start_; }
  CUpdateProcess* ProcessPage() const { return process_; }
  CUpdateFinal* FinalPage() const { return final_; }

 public slots:
  void reject() override;

 private:
  void OnPageChanged(int id);

  job::RepairState& state_;
  UpdateHost& host_;
  CUpdateStart* start_ = nullptr;
  CUpdateProcess* process_ = nullptr;
  CUpdateFinal* final_ = nullptr;
};

// What the Update command does once the sheet has closed: when a download
// completed in this sheet and the user did not cancel, the installer is opened and
// the program ends; true then. An installer that cannot be opened is told, its
// folder removed through `updater`, and the program goes on.
bool StartInstallerAfterWizard(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, QWidget* parent);

// The Update command: the sheet, modally, then StartInstallerAfterWizard.
void RunUpdateCommand(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, QWidget* parent);

}  // namespace update
