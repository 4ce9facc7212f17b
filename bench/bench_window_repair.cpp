// Repairs the 1 GB benchmark database (bench_open builds it) with the main frame
// open, offscreen, and reports the longest time the window thread went without
// processing events while the job ran, against the same measure on an idle window
// in the same run. Not a test.
//
//   bench_window_repair [DB]   (default build/bench/bench-1g.db)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "bench/event_loop_gaps.h"
#include "engine/sqlite_repair.h"
#include "job/contract/message_texts.h"
#include "tests/fixture/quiet_frame_dialogs.h"
#include "workspace/main_frame.h"

namespace {

// The longest gap between two turns of the event loop while `running` holds, as
// seen by a 1 ms timer.
double LongestGapSeconds(const std::function<bool()>& running) {
  bench::EventLoopGaps gaps;
  while (running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return gaps.LongestSeconds();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string path = argc > 1 ? argv[1] : "build/bench/bench-1g.db";
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "%s is missing: build/bench/bench_open builds it\n", path.c_str());
    return 1;
  }
  job::RepairState state;
  fixture::QuietFrameDialogs dialogs;
  workspace::CMainFrame frame(state, dialogs);
  CSqliteRepair engine(state, frame.Port());
  frame.AttachEngine(engine);
  frame.resize(1200, 800);
  frame.show();

  QElapsedTimer idleFor;
  idleFor.start();
  const double idle = LongestGapSeconds([&] { return idleFor.elapsed() < 2000; });

  QElapsedTimer job;
  job.start();
  frame.StartRepair(QString::fromStdString(path), true);
  const double busy = LongestGapSeconds([&] { return frame.JobRunning() || state.workerBusy; });
  const double seconds = job.elapsed() / 1e3;
  frame.JoinWorker();
  std::printf("file: %s, %.0f MB\n", path.c_str(), std::filesystem::file_size(path) / 1e6);
  std::printf("idle window, longest gap between event-loop turns:   %7.4f s\n", idle);
  std::printf("repair (%.2f s), longest gap between event-loop turns: %7.4f s\n", seconds, busy);
  std::printf("tree leaves after the repair: %d tables\n", frame.Tree()->Category("Tables")
                                                               ? frame.Tree()->Category("Tables")->childCount()
                                                               : 0);
  return 0;
}
