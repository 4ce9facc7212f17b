// The wizard's second page (`CUpdateProcess`): the version check and its result.
#pragma once

#include <QTimer>
#include <QWizardPage>

#include "job/contract/repair_state.h"

class QLabel;

namespace workspace {
class CLinkLabel;
}

namespace update {

class CAutoUpdater;
class CUpdateAnimation;
class UpdateHost;

// Window thread only. On becoming active it shows the searching text, plays the
// animation and, after `startDelayMs`, starts the check, which runs while the page
// stays responsive. Next is enabled only when an update is offered; Back is
// disabled while the check runs.
class CUpdateProcess : public QWizardPage {
  Q_OBJECT

 public:
  CUpdateProcess(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, int startDelayMs,
                 QWidget* parent = nullptr);

  void initializePage() override;
  void cleanupPage() override;
  bool isComplete() const override { return nextEnabled_; }

  // Cancel while the page is shown: the check is abandoned.
  void Cancel();
  // Sets the wizard's Back button as the page wants it (after the wizard's own
  // button updates).
  void ApplyBackButton();
  bool Checking() const;
  // The last check's code, -1 while none has ended.
  int Code() const { return code_; }

  QLabel* Status() const { return status_; }
  QLabel* MajorRelease() const { return majorRelease_; }
  workspace::CLinkLabel* UpgradeLink() const { return link_; }
  CUpdateAnimation* Animation() const { return animation_; }

 private:
  void StartCheck();
  void ShowResult(int code);
  void VisitUpgradePage();
  void SetButtons(bool next, bool back);

  job::RepairState& state_;
  CAutoUpdater& updater_;
  UpdateHost& host_;
  QTimer delay_;
  QLabel* status_ = nullptr;
  QLabel* majorRelease_ = nullptr;
  workspace::CLinkLabel* link_ = nullptr;
  CUpdateAnimation* animation_ = nullptr;
  bool nextEnabled_ = false;
  bool backEnabled_ = true;
  int code_ = -1;
};

}  // namespace update
