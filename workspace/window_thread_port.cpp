#include "workspace/window_thread_port.h"

#include <QMetaObject>
#include <QThread>

namespace workspace {

// One blocking call from a worker: done when its handler ran on the window thread,
// abandoned when the worker stopped waiting (the port was shut down first).
struct WindowThreadPort::Call {
  bool done = false;
  bool abandoned = false;
};

WindowThreadPort::WindowThreadPort(job::FrontEndPort& window, QObject* parent)
    : QObject(parent), window_(window) {}

WindowThreadPort::~WindowThreadPort() { Shutdown(); }

bool WindowThreadPort::RunOnWindow(const std::function<void()>& handler) {
  if (QThread::currentThread() == thread()) {
    ApplyStaged();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (shutDown_) return false;
    }
    handler();
    return true;
  }
  auto call = std::make_shared<Call>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return false;
  }
  QMetaObject::invokeMethod(
      this,
      [this, call, &handler] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          // The worker stopped waiting: `handler` may be gone with its frame.
          if (call->abandoned || shutDown_) return;
        }
        ApplyStaged();  // what the worker staged before this call comes first
        handler();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          call->done = true;
        }
        changed_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return call->done || shutDown_; });
  if (!call->done) call->abandoned = true;
  return call->done;
}

bool WindowThreadPort::WaitForRoom(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return stagedCount_ < kStageLimit || shutDown_; });
  return !shutDown_;
}

void WindowThreadPort::RequestDrain(std::unique_lock<std::mutex>& lock) {
  ++stagedCount_;
  if (drainPosted_) return;
  drainPosted_ = true;
  lock.unlock();
  PostDrain();
}

void WindowThreadPort::Stage(std::function<void()> apply) {
  if (QThread::currentThread() == thread()) {
    ApplyStaged();
    apply();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitForRoom(lock)) return;
  staged_.push_back(Staged{std::move(apply), {}});
  RequestDrain(lock);
}

void WindowThreadPort::StageCell(const job::GridCell& cell) {
  if (QThread::currentThread() == thread()) {
    ApplyStaged();
    window_.GridData(cell);
    emit BatchApplied();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitForRoom(lock)) return;
  if (staged_.empty() || staged_.back().apply) staged_.push_back(Staged{});
  staged_.back().cells.push_back(cell);
  RequestDrain(lock);
}

void WindowThreadPort::PostDrain() {
  QMetaObject::invokeMethod(this, [this] { ApplyStaged(); }, Qt::QueuedConnection);
}

void WindowThreadPort::ApplyStaged() {
  std::deque<Staged> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return;
    batch.swap(staged_);
    stagedCount_ = 0;
    drainPosted_ = false;
  }
  if (batch.empty()) return;
  changed_.notify_all();  // a worker held back by the stage limit may go on
  for (Staged& staged : batch) {
    if (staged.apply) {
      staged.apply();
    } else {
      for (const job::GridCell& cell : staged.cells) window_.GridData(cell);
    }
  }
  emit BatchApplied();
}

void WindowThreadPort::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    staged_.clear();
    stagedCount_ = 0;
  }
  changed_.notify_all();
}

void WindowThreadPort::RepairDone(const job::ObjectListing& objects) {
  RunOnWindow([&] { window_.RepairDone(objects); });
}

void WindowThreadPort::ResetWorkspace() {
  RunOnWindow([&] { window_.ResetWorkspace(); });
}

void WindowThreadPort::CheckTopItem() {
  RunOnWindow([&] { window_.CheckTopItem(); });
}

void WindowThreadPort::GridColumns(const std::vector<std::string>& names) {
  RunOnWindow([&] { window_.GridColumns(names); });
}

void WindowThreadPort::GridData(const job::GridCell& cell) {
  StageCell(cell);
}

void WindowThreadPort::ClearGridRows() {
  RunOnWindow([&] { window_.ClearGridRows(); });
}

void WindowThreadPort::Progress(job::ProgressAction action, int64_t range) {
  Stage([this, action, range] { window_.Progress(action, range); });
}

void WindowThreadPort::LogLine(const std::string& text) {
  RunOnWindow([&] { window_.LogLine(text); });
}

void WindowThreadPort::TableLoaded(const job::TableInfo& table) {
  RunOnWindow([&] { window_.TableLoaded(table); });
}

void WindowThreadPort::ShowViewSql(const std::string& sql) {
  RunOnWindow([&] { window_.ShowViewSql(sql); });
}

void WindowThreadPort::ShowTriggerSql(const std::string& sql) {
  RunOnWindow([&] { window_.ShowTriggerSql(sql); });
}

void WindowThreadPort::ShowRecordCount(int64_t count) {
  Stage([this, count] { window_.ShowRecordCount(count); });
}

void WindowThreadPort::ObjectSaved(const std::string& name) {
  RunOnWindow([&] { window_.ObjectSaved(name); });
}

void WindowThreadPort::SaveFinished() {
  RunOnWindow([&] { window_.SaveFinished(); });
}

void WindowThreadPort::JobState(int64_t state) {
  RunOnWindow([&] { window_.JobState(state); });
}

job::DialogAnswer WindowThreadPort::ShowModal(job::Dialog dialog) {
  job::DialogAnswer answer = job::DialogAnswer::No;
  RunOnWindow([&] { answer = window_.ShowModal(dialog); });
  return answer;
}

}  // namespace workspace
