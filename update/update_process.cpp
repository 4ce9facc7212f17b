#include "update/update_process.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWizard>

#include "update/page_parts.h"
#include "workspace/link_label.h"
#include "update/auto_updater.h"
#include "update/update_animation.h"
#include "update/update_host.h"
#include "update/update_texts.h"

namespace update {

CUpdateProcess::CUpdateProcess(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, int startDelayMs,
                               QWidget* parent)
    : QWizardPage(parent), state_(state), updater_(updater), host_(host) {
  setObjectName(QStringLiteral("CUpdateProcess"));
  setWindowTitle(QString::fromUtf8(kPageCaption));
  auto* layout = new QVBoxLayout(this);
  AddPageHeading(layout, kCheckingHeading, this);
  auto* row = new QHBoxLayout();
  animation_ = new CUpdateAnimation(this);
  animation_->setObjectName(QStringLiteral("Animation"));
  row->addWidget(animation_, 0, Qt::AlignTop);
  row->addSpacing(12);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("StatusLabel"));
  status_->setTextFormat(Qt::PlainText);  // the version comes from the server
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  status_->setMinimumHeight(animation_->sizeHint().height());
  row->addWidget(status_, 1);
  layout->addLayout(row);
  layout->addSpacing(16);
  majorRelease_ = new QLabel(QString::fromUtf8(kMajorReleaseText), this);
  majorRelease_->setObjectName(QStringLiteral("MajorReleaseLabel"));
  majorRelease_->setWordWrap(true);
  layout->addWidget(majorRelease_);
  link_ = new workspace::CLinkLabel(QString::fromUtf8(kUpgradeLinkText), this);
  link_->setObjectName(QStringLiteral("UpgradeLink"));
  layout->addWidget(link_, 0, Qt::AlignLeft);
  layout->addStretch();
  // The page may show before the labels are asked for: they start hidden.
  majorRelease_->hide();
  link_->hide();

  delay_.setSingleShot(true);
  delay_.setInterval(startDelayMs);
  connect(&delay_, &QTimer::timeout, this, &CUpdateProcess::StartCheck);
  connect(&updater_, &CAutoUpdater::CheckFinished, this, &CUpdateProcess::ShowResult);
  connect(link_, &workspace::CLinkLabel::Clicked, this, &CUpdateProcess::VisitUpgradePage);
}

void CUpdateProcess::initializePage() {
  code_ = -1;
  status_->setText(QString::fromUtf8(kSearchingText));
  majorRelease_->hide();
  link_->hide();
  animation_->Start();
  SetButtons(false, false);
  delay_.start();
}

void CUpdateProcess::cleanupPage() {
  delay_.stop();
  updater_.CancelCheck();
  animation_->Stop();
  nextEnabled_ = false;
  backEnabled_ = true;
}

void CUpdateProcess::Cancel() {
  delay_.stop();
  updater_.CancelCheck();
  animation_->Stop();
}

bool CUpdateProcess::Checking() const { return delay_.isActive() || updater_.Checking(); }

void CUpdateProcess::StartCheck() {
  animation_->Start();
  updater_.CheckForUpdate(updater_.BaseAddress().value_or(QUrl()));
}

void CUpdateProcess::ShowResult(int code) {
  if (wizard() && wizard()->currentPage() != this) return;  // a check of a page left behind
  code_ = code;
  animation_->Stop();
  QString newUpdate = QString::fromUtf8(kNewUpdateText);
  newUpdate.insert(kNewUpdateInsertAt, updater_.NewVersion());
  bool next = false;
  bool majorShown = false;
  switch (code) {
    case kCheckUpdate:
      status_->setText(newUpdate);
      next = true;
      break;
    case kCheckMajorRelease:
      status_->setText(QString::fromUtf8(kAllLatestText));
      majorShown = true;
      break;
    case kCheckUpdateAndMajor:
      status_->setText(newUpdate);
      majorShown = true;
      next = true;
      break;
    case kCheckUpToDate:
      status_->setText(QString::fromUtf8(kUpdatedText));
      break;
    case kCheckInvalidVersion:
      status_->setText(QString::fromUtf8(kUnreadableVersionText));
      break;
    case kCheckNoInstalledVersion:
      status_->setText(QString::fromUtf8(kNoInstalledVersionText));
      break;
    default:  // not connected, or the version file could not be fetched or was empty
      status_->setText(QString::fromUtf8(kConnectionFailedText));
      break;
  }
  majorRelease_->setVisible(majorShown);
  link_->setVisible(majorShown);
  SetButtons(next, true);
}

void CUpdateProcess::VisitUpgradePage() {
  // Only a web page is opened: the value could name a script or a local program.
  const std::optional<QUrl>& page = updater_.Key().upgradePage;
  if (page && host_.Open(*page)) {
    link_->SetVisited(true);
    return;
  }
  state_.noticeText = page ? QStringLiteral("The upgrade page %1 cannot be opened.").arg(page->toDisplayString()).toStdString()
                           : std::string(kNoUpgradePageText);
  host_.Ask(state_, job::Dialog::CUserDialog, this);
}

void CUpdateProcess::SetButtons(bool next, bool back) {
  nextEnabled_ = next;
  backEnabled_ = back;
  emit completeChanged();
  ApplyBackButton();
}

void CUpdateProcess::ApplyBackButton() {
  if (!wizard() || wizard()->currentPage() != this) return;
  if (QAbstractButton* button = wizard()->button(QWizard::BackButton)) button->setEnabled(backEnabled_);
}

}  // namespace update
