#include "workspace/window_thread_port.h"

#include <QMetaObject>
#include <QThread>

#include <cstring>

namespace workspace {
namespace {

constexpr size_t kRunBytes = 16 * 1024;
// The cell handed to the window keeps its text's storage for the next cell, unless
// a text this large left it: one huge cell does not hold its size for the table.
constexpr size_t kKeptScratchBytes = size_t{1} << 20;
// The column of a packed entry that stands for one Progress step, not a cell.
constexpr int32_t kStepEntry = -1;

// The fixed part of a packed grid cell; its text follows.
struct CellHeader {
  int32_t column = 0;
  job::Value::Kind kind = job::Value::Kind::Null;
  size_t textSize = 0;
};

}  // namespace

// One blocking call from a worker: started when its handler began on the window
// thread, done when it returned, abandoned when the worker stopped waiting (the
// port was shut down before the handler started).
struct WindowThreadPort::Call {
  bool started = false;
  bool done = false;
  bool abandoned = false;
};

WindowThreadPort::WindowThreadPort(job::FrontEndPort& window, QObject* parent)
    : QObject(parent), window_(window) {
  drainTimer_.setSingleShot(true);
  drainTimer_.setInterval(kDrainInterval);
  connect(&drainTimer_, &QTimer::timeout, this, &WindowThreadPort::Drain);
}

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
          // From here the worker waits for the end, shut down or not: the handler
          // may run an event loop of its own and then write into the worker's frame.
          call->started = true;
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
  changed_.wait(lock, [&] {
    if (shutDown_ && hook) hook(HookPoint::CallWaitAfterShutdown);
    return call->done || (shutDown_ && !call->started);
  });
  if (!call->done) call->abandoned = true;
  return call->done;
}

bool WindowThreadPort::WaitForRoom(std::unique_lock<std::mutex>& lock) {
  if (StageFull() && !fullPosted_ && !shutDown_) {
    // A full stage is not left to the drain timer: the worker would idle.
    fullPosted_ = true;
    lock.unlock();
    PostDrain();
    lock.lock();
  }
  if (StageFull() && !shutDown_ && hook) hook(HookPoint::StageFullWait);
  // A cell larger than the whole budget still goes on an emptied stage.
  changed_.wait(lock, [&] { return !StageFull() || shutDown_; });
  return !shutDown_;
}

void WindowThreadPort::RequestDrain(std::unique_lock<std::mutex>& lock, size_t bytes) {
  ++stagedCount_;
  stagedBytes_ += bytes;
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
  RequestDrain(lock, 0);
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
  std::vector<char>& run = RunToFill();
  const size_t before = run.size();
  PackCell(cell, run);
  RequestDrain(lock, run.size() - before);
}

void WindowThreadPort::StageStep() {
  if (QThread::currentThread() == thread()) {
    ApplyStaged();
    window_.Progress(job::ProgressAction::Step, 0);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitForRoom(lock)) return;
  std::vector<char>& run = RunToFill();
  const size_t before = run.size();
  PackStep(run);
  RequestDrain(lock, run.size() - before);
}

std::vector<char>& WindowThreadPort::RunToFill() {
  // A run ends at about kRunBytes, so the window starts on the first rows early and
  // a run's buffer never grows far.
  if (staged_.empty() || staged_.back().apply || staged_.back().packed.size() >= kRunBytes) {
    staged_.push_back(Staged{});
    staged_.back().packed.reserve(kRunBytes + 256);
  }
  return staged_.back().packed;
}

void WindowThreadPort::PackCell(const job::GridCell& cell, std::vector<char>& out) {
  CellHeader header;
  header.column = cell.column;
  header.kind = cell.value.kind;
  header.textSize = cell.text.size();
  const size_t at = out.size();
  out.resize(at + sizeof header + header.textSize);
  char* p = out.data() + at;
  std::memcpy(p, &header, sizeof header);
  std::memcpy(p + sizeof header, cell.text.data(), header.textSize);
}

void WindowThreadPort::PackStep(std::vector<char>& out) {
  CellHeader header;
  header.column = kStepEntry;
  const size_t at = out.size();
  out.resize(at + sizeof header);
  std::memcpy(out.data() + at, &header, sizeof header);
}

const char* WindowThreadPort::UnpackEntry(const char* p, job::GridCell& cell, bool& step) {
  CellHeader header;
  std::memcpy(&header, p, sizeof header);
  p += sizeof header;
  step = header.column == kStepEntry;
  if (step) return p;
  cell.column = header.column;
  cell.value.kind = header.kind;
  cell.text.assign(p, header.textSize);
  return p + header.textSize;
}

void WindowThreadPort::PostDrain() {
  QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
}

void WindowThreadPort::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return;
    // Nothing came since the last drain: the next staged notification posts anew.
    if (staged_.empty()) {
      drainPosted_ = false;
      return;
    }
  }
  ApplyStaged();
  // While notifications keep coming, the window takes them in batches a few
  // milliseconds apart rather than waking for every few: a wake-up per batch costs
  // both threads more than the batch itself.
  drainTimer_.start();
}

void WindowThreadPort::ApplyStaged() {
  std::deque<Staged> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return;
    batch.swap(staged_);
    stagedCount_ = 0;
    stagedBytes_ = 0;
    fullPosted_ = false;
  }
  if (batch.empty()) return;
  changed_.notify_all();  // a worker held back by the stage limit may go on
  for (Staged& staged : batch) {
    if (staged.apply) {
      staged.apply();
      continue;
    }
    const char* end = staged.packed.data() + staged.packed.size();
    for (const char* p = staged.packed.data(); p < end;) {
      bool step = false;
      p = UnpackEntry(p, unpacked_, step);
      if (step) {
        window_.Progress(job::ProgressAction::Step, 0);
      } else {
        window_.GridData(unpacked_);
        if (unpacked_.text.capacity() > kKeptScratchBytes) std::string().swap(unpacked_.text);
      }
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
    stagedBytes_ = 0;
  }
  drainTimer_.stop();
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
  if (action == job::ProgressAction::Step) {
    StageStep();
    return;
  }
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
