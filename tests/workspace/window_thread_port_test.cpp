// The window's side of the port: handlers run on the window thread, in the order
// the worker sent them, with the worker waiting only where it must.
#include <gtest/gtest.h>

#include <QTest>

#include <QApplication>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "workspace/window_thread_port.h"

namespace {

// The window's handlers: what ran, in order, and on which thread.
class Handlers : public job::FrontEndPort {
 public:
  std::vector<std::string> calls;
  bool offThread = false;
  job::DialogAnswer answer = job::DialogAnswer::Yes;

  void Note(std::string call) {
    offThread = offThread || QThread::currentThread() != qApp->thread();
    calls.push_back(std::move(call));
  }
  void LogLine(const std::string& text) override { Note("log:" + text); }
  void GridData(const job::GridCell& cell) override {
    std::string call = "cell:" + cell.text;
    if (cell.value.kind != job::Value::Kind::Null) call += "/kind" + std::to_string(static_cast<int>(cell.value.kind));
    Note(call);
  }
  void Progress(job::ProgressAction action, int64_t range) override {
    Note("progress:" + std::to_string(static_cast<int>(action)) + "," + std::to_string(range));
  }
  void ResetWorkspace() override { Note("reset"); }
  void JobState(int64_t state) override { Note("job:" + std::to_string(state)); }
  job::DialogAnswer ShowModal(job::Dialog) override {
    Note("dialog");
    return answer;
  }
};

// Runs `work` on a worker thread while the window thread handles events.
void OnWorker(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
  QCoreApplication::processEvents();
}

job::GridCell Cell(int i) {
  job::GridCell cell;
  cell.text = std::to_string(i);
  return cell;
}

TEST(WindowThreadPortTest, WorkerNotificationsRunOnTheWindowThreadInOrder) {
  Handlers window;
  window.answer = job::DialogAnswer::No;
  workspace::WindowThreadPort port(window);
  job::DialogAnswer answer = job::DialogAnswer::Yes;
  OnWorker([&] {
    port.JobState(0);
    port.Progress(job::ProgressAction::Start, 3);
    for (int i = 0; i < 3; ++i) port.GridData(Cell(i));
    port.Progress(job::ProgressAction::Step, 0);
    port.LogLine("between");
    job::GridCell blob = Cell(3);
    blob.value.kind = job::Value::Kind::Blob;
    blob.value.bytes = std::string("a\0b", 3);
    port.GridData(blob);
    port.Progress(job::ProgressAction::Step, 0);
    job::GridCell number = Cell(4);
    number.value = job::Value::Integer(-7);
    port.GridData(number);
    port.Progress(job::ProgressAction::Finish, 0);
    answer = port.ShowModal(job::Dialog::CMessageOk);
    port.JobState(1);
  });
  EXPECT_FALSE(window.offThread) << "every handler ran on the window thread";
  EXPECT_EQ(window.calls,
            (std::vector<std::string>{"job:0", "progress:1,3", "cell:0", "cell:1", "cell:2", "progress:2,0",
                                      "log:between", "cell:3/kind4", "progress:2,0", "cell:4/kind1",
                                      "progress:3,0", "dialog", "job:1"}));
  EXPECT_EQ(answer, job::DialogAnswer::No) << "the worker gets the dialog's answer";
}

TEST(WindowThreadPortTest, ACallOnTheWindowThreadRunsAtOnce) {
  Handlers window;
  workspace::WindowThreadPort port(window);
  port.ResetWorkspace();  // as a job starter does, without an event loop turning
  port.GridData(Cell(7));
  EXPECT_EQ(window.calls, (std::vector<std::string>{"reset", "cell:7"}));
}

TEST(WindowThreadPortTest, ManyCellsArriveWholeAndInOrder) {
  Handlers window;
  workspace::WindowThreadPort port(window);
  const int cells = 3 * static_cast<int>(workspace::WindowThreadPort::kStageLimit) + 17;
  OnWorker([&] {
    for (int i = 0; i < cells; ++i) port.GridData(Cell(i));
    port.LogLine("end");
  });
  ASSERT_EQ(window.calls.size(), static_cast<size_t>(cells) + 1);
  for (int i = 0; i < cells; ++i) ASSERT_EQ(window.calls[i], "cell:" + std::to_string(i));
  EXPECT_EQ(window.calls.back(), "log:end");
}

TEST(WindowThreadPortTest, ALastCellWithNothingAfterItStillArrives) {
  Handlers window;
  workspace::WindowThreadPort port(window);
  std::atomic<bool> sent{false};
  std::atomic<bool> release{false};
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) port.GridData(Cell(i));
    sent = true;
    while (!release) std::this_thread::yield();  // the worker goes quiet
  });
  while (!sent) std::this_thread::yield();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.calls.size() == 5; }, 2000));
  release = true;
  worker.join();
  EXPECT_EQ(window.calls.back(), "cell:4");
}

TEST(WindowThreadPortTest, LargeCellsFillTheStageByTheirBytesAndTheWorkerWaits) {
  // The window keeps the first character and the size of each text.
  class Texts : public job::FrontEndPort {
   public:
    std::vector<std::pair<char, size_t>> cells;
    void GridData(const job::GridCell& cell) override { cells.emplace_back(cell.text.at(0), cell.text.size()); }
    job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::No; }
  } window;
  workspace::WindowThreadPort port(window);
  // Far fewer cells than kStageLimit, twice kStageBytes of text.
  constexpr size_t kSize = workspace::WindowThreadPort::kStageBytes / 8;
  constexpr int kCells = 16;
  std::atomic<int> sent{0};
  // The worker either waits for room (the hook) or runs through all its cells.
  std::mutex mutex;
  std::condition_variable changed;
  bool waited = false;
  port.hook = [&](workspace::WindowThreadPort::HookPoint point) {
    if (point != workspace::WindowThreadPort::HookPoint::StageFullWait) return;
    std::lock_guard<std::mutex> lock(mutex);
    waited = true;
    changed.notify_all();
  };
  std::thread worker([&] {
    for (int i = 0; i < kCells; ++i) {
      job::GridCell cell;
      cell.text.assign(kSize, static_cast<char>('a' + i));
      port.GridData(cell);
      std::lock_guard<std::mutex> lock(mutex);
      ++sent;
      changed.notify_all();
    }
  });
  // The window turns no event loop: the worker must stop once the stage holds
  // kStageBytes, not run on through all of its cells.
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return waited || sent == kCells; });
  }
  EXPECT_LT(sent.load(), kCells) << "the worker did not wait for the window";
  while (sent < kCells) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.cells.size() == static_cast<size_t>(kCells); }, 2000));
  for (int i = 0; i < static_cast<int>(window.cells.size()); ++i) {
    EXPECT_EQ(window.cells[i], std::make_pair(static_cast<char>('a' + i), kSize));
  }
}

TEST(WindowThreadPortTest, ShutdownWhileADialogIsOpenWaitsForItsAnswer) {
  // The dialog's own event loop sees the program quit; the dialog still returns
  // its answer into the worker's frame afterwards.
  // The dialog answers only once the worker has looked at its call after the
  // shutdown: a worker that gave up then would have left with the default answer.
  class QuitsInDialog : public job::FrontEndPort {
   public:
    workspace::WindowThreadPort* port = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    bool workerLooked = false;
    job::DialogAnswer ShowModal(job::Dialog) override {
      port->Shutdown();
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return workerLooked; });
      return job::DialogAnswer::Yes;
    }
  } window;
  workspace::WindowThreadPort port(window);
  window.port = &port;
  port.hook = [&](workspace::WindowThreadPort::HookPoint point) {
    if (point != workspace::WindowThreadPort::HookPoint::CallWaitAfterShutdown) return;
    std::lock_guard<std::mutex> lock(window.mutex);
    window.workerLooked = true;
    window.changed.notify_all();
  };
  job::DialogAnswer answer = job::DialogAnswer::No;
  OnWorker([&] { answer = port.ShowModal(job::Dialog::CMessageOk); });
  EXPECT_EQ(answer, job::DialogAnswer::Yes) << "the worker waited for the open dialog";
}

TEST(WindowThreadPortTest, ShutdownReleasesAWaitingWorker) {
  Handlers window;
  workspace::WindowThreadPort port(window);
  std::atomic<bool> asking{false};
  std::atomic<bool> answered{false};
  job::DialogAnswer answer = job::DialogAnswer::Yes;
  std::thread worker([&] {
    asking = true;
    answer = port.ShowModal(job::Dialog::CMessageDialog);
    answered = true;
    port.LogLine("after the shutdown");  // returns at once, runs nothing
  });
  while (!asking) std::this_thread::yield();
  // The window never turns its event loop again (the program quits): the worker
  // must not stay blocked.
  port.Shutdown();
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_TRUE(answered);
  EXPECT_EQ(answer, job::DialogAnswer::No);
  EXPECT_TRUE(window.calls.empty()) << "no handler runs after the shutdown";
}

}  // namespace
