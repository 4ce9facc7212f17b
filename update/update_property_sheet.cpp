#include "update/update_property_sheet.h"

#include <QAbstractButton>

#include "workspace/white_dialog.h"
#include "update/auto_updater.h"
#include "update/update_final.h"
#include "update/update_host.h"
#include "update/update_process.h"
#include "update/update_start.h"
#include "update/update_texts.h"
#include "workspace/color_button.h"

namespace update {

CUpdatePropertySheet::CUpdatePropertySheet(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host,
                                           QWidget* parent, int startDelayMs)
    : QWizard(parent), state_(state), host_(host) {
  setObjectName(QStringLiteral("CUpdatePropertySheet"));
  setWindowTitle(QString::fromUtf8(kSheetTitle));
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnLastPage, true);
  setOption(QWizard::NoDefaultButton, false);
  workspace::MakeWhite(this);
  const std::pair<WizardButton, const char*> buttons[] = {
      {BackButton, "< &Back"}, {NextButton, "&Next >"}, {CancelButton, "Cancel"}, {FinishButton, "&Finish"}};
  for (const auto& [which, text] : buttons) {
    auto* button = new workspace::CColorButton(QString::fromUtf8(text), this);
    button->setMinimumWidth(88);
    setButton(which, button);
  }
  start_ = new CUpdateStart(this);
  process_ = new CUpdateProcess(state, updater, host, startDelayMs, this);
  final_ = new CUpdateFinal(state, updater, host, startDelayMs, this);
  setPage(kStartPage, start_);
  setPage(kProcessPage, process_);
  setPage(kFinalPage, final_);
  setStartId(kStartPage);
  // Wide enough for the offer of an update to fit on two lines beside the
  // animation without a word left alone on the second.
  setMinimumSize(560, 360);
  state_.updateCancelled = 0;
  state_.installerPath.clear();
  // The wizard sets its buttons after a page has been entered; the check's
  // page then takes Back away again while the check runs.
  connect(this, &QWizard::currentIdChanged, this, &CUpdatePropertySheet::OnPageChanged);
}

void CUpdatePropertySheet::OnPageChanged(int id) {
  if (id == kProcessPage) process_->ApplyBackButton();
}

void CUpdatePropertySheet::reject() {
  if (currentId() == kFinalPage) {
    if (final_->Busy()) {
      // A download in progress is stopped only when the user confirms; it may
      // end while the question is open, and Yes still means nothing is started.
      state_.msgNotResumable = 1;
      if (host_.Ask(state_, job::Dialog::CStopDialog, this) != job::DialogAnswer::Yes) return;
      final_->Cancel();
      state_.updateCancelled = 1;
    }
  } else {
    if (currentId() == kProcessPage) process_->Cancel();
    state_.updateCancelled = 1;
  }
  QWizard::reject();
}

bool StartInstallerAfterWizard(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, QWidget* parent) {
  if (state.updateCancelled || state.installerPath.empty()) return false;
  const QString path = QString::fromStdString(state.installerPath);
  if (!host.Open(QUrl::fromLocalFile(path))) {
    // The program goes on: the installer is not left behind in its folder.
    updater.RemoveInstaller();
    state.installerPath.clear();
    state.noticeText = QString::fromUtf8(kInstallerNotOpenedText).arg(path).toStdString();
    host.Ask(state, job::Dialog::CUserDialog, parent);
    return false;
  }
  host.Quit();
  return true;
}

void RunUpdateCommand(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, QWidget* parent) {
  {
    CUpdatePropertySheet sheet(state, updater, host, parent);
    sheet.exec();
  }
  StartInstallerAfterWizard(state, updater, host, parent);
}

}  // namespace update
