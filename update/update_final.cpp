#include "update/update_final.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <limits>

#include "update/auto_updater.h"
#include "update/page_parts.h"
#include "update/update_host.h"
#include "update/update_texts.h"

namespace update {

CUpdateFinal::CUpdateFinal(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, int startDelayMs,
                           QWidget* parent)
    : QWizardPage(parent), state_(state), updater_(updater), host_(host) {
  setObjectName(QStringLiteral("CUpdateFinal"));
  setWindowTitle(QString::fromUtf8(kPageCaption));
  setFinalPage(true);
  auto* layout = new QVBoxLayout(this);
  AddPageHeading(layout, kDownloadingHeading, this);
  auto label = [this](const QString& text, const char* name) {
    auto* made = new QLabel(text, this);
    made->setObjectName(QString::fromLatin1(name));
    made->setTextFormat(Qt::PlainText);
    return made;
  };
  status_ = label(QString::fromUtf8(kSavingFileText), "StatusLabel");
  file_ = label(QString(), "FileLabel");
  layout->addWidget(status_);
  layout->addWidget(file_);
  layout->addSpacing(12);
  auto* grid = new QGridLayout();
  grid->addWidget(label(QString::fromUtf8(kTimeElapsedText), "TimeCaption"), 0, 0);
  time_ = label(QString(), "TimeLabel");
  grid->addWidget(time_, 0, 1);
  grid->addWidget(label(QString::fromUtf8(kTransferRateText), "RateCaption"), 1, 0);
  rate_ = label(QString(), "RateLabel");
  grid->addWidget(rate_, 1, 1);
  grid->setColumnStretch(1, 1);
  grid->setHorizontalSpacing(12);
  layout->addLayout(grid);
  layout->addSpacing(12);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("ProgressBar"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  layout->addWidget(bar_);
  layout->addStretch();

  delay_.setSingleShot(true);
  delay_.setInterval(startDelayMs);
  connect(&delay_, &QTimer::timeout, this, &CUpdateFinal::StartDownload);
  tick_.setInterval(1000);
  connect(&tick_, &QTimer::timeout, this, &CUpdateFinal::ShowTimes);
  connect(&updater_, &CAutoUpdater::DownloadStarted, this, [this](const QString& fileLabel) {
    status_->setText(QString::fromUtf8(kDownloadingText));
    file_->setText(fileLabel);
  });
  connect(&updater_, &CAutoUpdater::DownloadProgress, this, &CUpdateFinal::ShowProgress);
  connect(&updater_, &CAutoUpdater::DownloadFinished, this, &CUpdateFinal::DownloadEnded);
}

void CUpdateFinal::initializePage() {
  ended_ = false;
  emit completeChanged();
  bar_->setRange(0, 100);
  bar_->setValue(0);
  delay_.start();
}

bool CUpdateFinal::Busy() const { return delay_.isActive() || updater_.Downloading(); }

void CUpdateFinal::Cancel() {
  delay_.stop();
  tick_.stop();
  updater_.AbortDownload();
  updater_.RemoveInstaller();
  state_.installerPath.clear();
  state_.updateRunning = 0;
}

void CUpdateFinal::StartDownload() {
  state_.updateRunning = 1;
  state_.updateCancelled = 0;
  status_->setText(QString::fromUtf8(kGettingSessionText));
  divisor_ = 1;
  received_ = 0;
  size_ = 0;
  clock_.start();
  tick_.start();
  updater_.DownloadUpdate(updater_.BaseAddress().value_or(QUrl()));
}

int CUpdateFinal::BarUnits(quint64 bytes, quint64 size) {
  return size > static_cast<quint64>(std::numeric_limits<int>::max()) ? static_cast<int>(bytes / 1024)
                                                                      : static_cast<int>(bytes);
}

void CUpdateFinal::ShowProgress(quint64 received, quint64 size) {
  received_ = received;
  size_ = size;
  ShowTimes();
  if (size > 0) {
    bar_->setRange(0, BarUnits(size, size));
    bar_->setValue(BarUnits(received, size));
  }
}

void CUpdateFinal::ShowTimes() {
  const int64_t elapsed = ElapsedSeconds(clock_.elapsed());
  divisor_ = RateDivisor(elapsed, divisor_);
  time_->setText(QString::fromStdString(update::TimeLabel(elapsed, received_, size_)));
  rate_->setText(QString::fromStdString(update::RateLabel(received_, divisor_, size_)));
}

void CUpdateFinal::DownloadEnded(int result) {
  ended_ = true;
  tick_.stop();
  if (result == kDownloadOk) {
    const quint64 size = updater_.InstallerSize();
    if (size == 0) bar_->setRange(0, 1);  // the size was never announced: the bar still ends full
    bar_->setValue(bar_->maximum());
    status_->setText(QString::fromUtf8(kDownloadCompletedText));
    state_.installerPath = updater_.InstallerPath().toStdString();
  }
  emit completeChanged();
  if (result != kDownloadOk) {
    // Every failure, a request that could not be made included, is told as one.
    state_.noticeText = kConnectionFailedText;
    host_.Ask(state_, job::Dialog::CUserDialog, this);
  }
  state_.updateRunning = 0;
}

}  // namespace update
