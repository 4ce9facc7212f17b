// The wizard's last page (`CUpdateFinal`): the download of the installer with its
// live progress.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWizardPage>

#include "job/contract/repair_state.h"

class QLabel;
class QProgressBar;

namespace update {

class CAutoUpdater;
class UpdateHost;

// Window thread only. On becoming active it waits `startDelayMs`, then downloads;
// the bar follows the updater's signals, the time and rate labels those signals
// and a one-second tick, so a stalled transfer still shows its time passing.
// Finish is enabled once the download has ended, however it ended; the installer's
// path goes into the state only when it completed.
class CUpdateFinal : public QWizardPage {
  Q_OBJECT

 public:
  CUpdateFinal(job::RepairState& state, CAutoUpdater& updater, UpdateHost& host, int startDelayMs,
               QWidget* parent = nullptr);

  void initializePage() override;
  bool isComplete() const override { return ended_; }

  // Whether the download is waiting to start or running.
  bool Busy() const;
  // Cancel: a pending start is dropped, a running download broken off and its file
  // deleted, an installer downloaded meanwhile removed (nothing is to be started).
  void Cancel();

  QLabel* Status() const { return status_; }
  QLabel* FileLabel() const { return file_; }
  QLabel* TimeLabel() const { return time_; }
  QLabel* RateLabel() const { return rate_; }
  QProgressBar* Bar() const { return bar_; }

 private:
  void StartDownload();
  void ShowProgress(quint64 received, quint64 size);
  // The time and rate labels for what has arrived so far, at the present time.
  void ShowTimes();
  void DownloadEnded(int result);
  // The bar counts bytes, or KiB for an installer too large for its range.
  static int BarUnits(quint64 bytes, quint64 size);

  job::RepairState& state_;
  CAutoUpdater& updater_;
  UpdateHost& host_;
  QTimer delay_;
  QTimer tick_;
  QElapsedTimer clock_;
  quint64 received_ = 0;
  quint64 size_ = 0;
  qint64 divisor_ = 1;
  bool ended_ = false;
  QLabel* status_ = nullptr;
  QLabel* file_ = nullptr;
  QLabel* time_ = nullptr;
  QLabel* rate_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

}  // namespace update
