// The desktop program's side of the front-end port: every notification from the
// worker is handed to the window's own handlers on the window thread.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "job/contract/front_end_port.h"

namespace workspace {

// Thread rules: construct, and call Shutdown, on the window thread (the thread the
// object lives in). Every port method may be called from any thread:
// - on the window thread, the handler runs at once (the job starters send
//   ResetWorkspace and CheckTopItem from there);
// - from a worker, the notifications that change the window's state and every
//   dialog run on the window thread while the worker waits;
// - the high-volume ones (GridData, Progress, ShowRecordCount) are staged and
//   applied on the window thread in batches, in order with everything else; the
//   worker waits only while kStageLimit of them, or kStageBytes of packed cells,
//   are pending, which bounds the memory a fast worker can fill. Grid cells are
//   staged side by side in runs, without a call object each; after every applied
//   batch BatchApplied is emitted, so the window shows a batch of rows at once.
// - a grid cell reaches the window with its column, its value's kind and its text
//   only: the window shows the text, and the value's content stays with the
//   worker (its bytes, integer and real arrive empty).
// The handlers (`window`) must outlive this object and are only ever called on the
// window thread.
class WindowThreadPort : public QObject, public job::FrontEndPort {
  Q_OBJECT

 public:
  static constexpr size_t kStageLimit = 20000;
  static constexpr size_t kStageBytes = size_t{16} << 20;

  // Points at which a test hook is called, on the worker, under the port's lock (a
  // hook must not call the port):
  // - StageFullWait: the worker begins to wait for room on a full stage;
  // - CallWaitAfterShutdown: a worker waiting for a handler looked at its call again
  //   after Shutdown.
  enum class HookPoint { StageFullWait, CallWaitAfterShutdown };
  // Set before any worker calls the port; empty in the program.
  std::function<void(HookPoint)> hook;
  static constexpr std::chrono::milliseconds kDrainInterval{10};

  explicit WindowThreadPort(job::FrontEndPort& window, QObject* parent = nullptr);
  ~WindowThreadPort() override;

  void RepairDone(const job::ObjectListing& objects) override;
  void ResetWorkspace() override;
  void CheckTopItem() override;
  void GridColumns(const std::vector<std::string>& names) override;
  void GridData(const job::GridCell& cell) override;
  void ClearGridRows() override;
  void Progress(job::ProgressAction action, int64_t range) override;
  void LogLine(const std::string& text) override;
  void TableLoaded(const job::TableInfo& table) override;
  void ShowViewSql(const std::string& sql) override;
  void ShowTriggerSql(const std::string& sql) override;
  void ShowRecordCount(int64_t count) override;
  void ObjectSaved(const std::string& name) override;
  void SaveFinished() override;
  void JobState(int64_t state) override;
  job::DialogAnswer ShowModal(job::Dialog dialog) override;

  // Applies whatever is staged now. Window thread only; the window calls it before
  // it reads state a staged notification may change.
  void ApplyStaged();

  // From now on no handler starts: a worker waiting on a call whose handler has not
  // started is released at once (a dialog answers No), and later calls return at
  // once. A handler already running (a dialog with its own event loop) is waited
  // for, as it writes into the waiting worker's frame. For quitting while a job
  // runs, before the worker is joined. Window thread only.
  void Shutdown();

 signals:
  // A batch of staged notifications has been applied (window thread).
  void BatchApplied();

 private:
  struct Call;
  // One staged notification, or (when `apply` is empty) a run of grid cells and
  // progress steps in their order, packed into one buffer: neither costs an
  // allocation of its own on either thread.
  struct Staged {
    std::function<void()> apply;
    std::vector<char> packed;
  };
  // The run the next cell or step joins (under the lock).
  std::vector<char>& RunToFill();
  static void PackCell(const job::GridCell& cell, std::vector<char>& out);
  static void PackStep(std::vector<char>& out);
  // Unpacks the entry at `p`: a cell's column, kind and text into `cell` (reusing
  // its storage), or a step; returns the next entry.
  static const char* UnpackEntry(const char* p, job::GridCell& cell, bool& step);
  // Runs `handler` on the window thread and waits for it (or runs it at once when
  // already there); false when the port was shut down first.
  bool RunOnWindow(const std::function<void()>& handler);
  // Adds one high-volume notification to the stage.
  void Stage(std::function<void()> apply);
  void StageCell(const job::GridCell& cell);
  void StageStep();
  // Whether the stage holds as much as the worker may leave pending (under the lock).
  bool StageFull() const { return stagedCount_ >= kStageLimit || stagedBytes_ >= kStageBytes; }
  // Waits for room on the stage; false when the port was shut down meanwhile.
  bool WaitForRoom(std::unique_lock<std::mutex>& lock);
  // After an addition of `bytes` to the stage: makes sure a drain is on its way.
  void RequestDrain(std::unique_lock<std::mutex>& lock, size_t bytes);
  void PostDrain();
  // Applies what is staged and, when there was something, looks again after
  // kDrainInterval; when there was nothing, the next notification posts a drain.
  void Drain();

  job::FrontEndPort& window_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Staged> staged_;
  size_t stagedCount_ = 0;  // notifications on the stage, each cell counted
  size_t stagedBytes_ = 0;  // bytes of packed cells on the stage
  job::GridCell unpacked_;  // the cell handed to the window, reused (window thread)
  bool drainPosted_ = false;  // a drain is on its way: posted, or on drainTimer_
  QTimer drainTimer_;
  bool fullPosted_ = false;  // a drain was posted because the stage is full
  bool shutDown_ = false;
};

}  // namespace workspace
