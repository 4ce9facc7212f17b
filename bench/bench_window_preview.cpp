// The preview of a 1,000,000-row table of five mixed columns in the desktop
// program, offscreen, through the real port, model and grid: the time until every
// row is in the model and the status bar counts them, the time until the first
// rows are painted, and the process's peak memory. The same preview into a front
// end that only counts, in the same run, is the baseline. Not a test.
//
//   bench_window_preview [DB]   (default build/bench/bench-preview.db, built when missing)
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include "bench/bench_timing.h"
#include "bench/event_loop_gaps.h"
#include "bench/preview_database.h"
#include "engine/sqlite_repair.h"
#include "tests/fixture/quiet_frame_dialogs.h"
#include "workspace/dravolt_sqlite_repair_view.h"
#include "workspace/grid_model.h"
#include "workspace/main_frame.h"
#include "workspace/my_list_ctrl.h"

namespace {

class CountingPort : public job::FrontEndPort {
 public:
  void GridData(const job::GridCell&) override { ++cells; }
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
  int64_t cells = 0;
};

// Notes the first paint of the grid that shows rows.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(const workspace::CGridModel& model) : model_(model) {}
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && model_.rowCount() > 0) painted = true;
    return false;
  }

 private:
  const workspace::CGridModel& model_;
};

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string path = argc > 1 ? argv[1] : bench::kPreviewDatabase;
  bench::EnsurePreviewDatabase(path);

  // The baseline: the engine's preview alone.
  double engineAlone = 0;
  int64_t values = 0;
  {
    job::RepairState state;
    CountingPort port;
    CSqliteRepair engine(state, port);
    state.databasePath = path;
    engine.OpenDatabaseFile();
    engine.ScanTables();
    state.schemaMarker = job::kSchemaMarkerFilled;
    if (engine.RecoveredSchema().tableList.empty()) {
      std::fprintf(stderr, "no table found in %s\n", path.c_str());
      return 1;
    }
    engineAlone = bench::BestSeconds(1, [&] { engine.PreviewTable(engine.RecoveredSchema().tableList.front()); });
    values = port.cells;
  }

  job::RepairState state;
  fixture::QuietFrameDialogs dialogs;
  workspace::CMainFrame frame(state, dialogs);
  CSqliteRepair engine(state, frame.Port());
  frame.AttachEngine(engine);
  frame.resize(1200, 800);
  frame.show();
  frame.StartRepair(QString::fromStdString(path), false);
  while (frame.JobRunning() || state.workerBusy) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  frame.JoinWorker();
  QTreeWidgetItem* tables = frame.Tree()->Category(QStringLiteral("Tables"));
  if (!tables || tables->childCount() == 0) {
    std::fprintf(stderr, "the repair found no table\n");
    return 1;
  }
  const double beforePreview = PeakMegabytes();

  QElapsedTimer clock;
  clock.start();
  bench::EventLoopGaps gaps;
  emit frame.Tree()->LabelClicked(tables->child(0));  // as a click on the leaf's label
  const workspace::CGridModel* model = frame.RecordView()->GridModel();
  if (!model) {
    std::fprintf(stderr, "no grid was built\n");
    return 1;
  }
  PaintWatch watch(*model);
  int batches = 0;
  QObject::connect(dynamic_cast<workspace::WindowThreadPort*>(&frame.Port()), &workspace::WindowThreadPort::BatchApplied,
                   [&] { ++batches; });
  frame.RecordView()->Grid()->viewport()->installEventFilter(&watch);
  const int64_t rows = values / 5;
  const QString allCounted = QString::asprintf(" Records :    %08lld", static_cast<long long>(rows));
  double first = -1;
  double all = -1;
  double ended = -1;
  while (all < 0 || frame.JobRunning() || state.workerBusy) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (ended < 0 && !frame.JobRunning()) ended = clock.nsecsElapsed() / 1e9;
    if (first < 0 && watch.painted) first = clock.nsecsElapsed() / 1e9;
    if (all < 0 && model->rowCount() == rows && frame.RecordCountText() == allCounted) {
      all = clock.nsecsElapsed() / 1e9;
    }
    if (clock.elapsed() > 120000) {
      std::fprintf(stderr, "the preview did not end within two minutes\n");
      return 1;
    }
  }
  frame.JoinWorker();
  std::printf("file: %s, %.0f MB\n", path.c_str(), std::filesystem::file_size(path) / 1e6);
  std::printf("engine preview alone:         %7.3f s  (%lld values)\n", engineAlone,
              static_cast<long long>(values));
  std::printf("window preview, all rows:     %7.3f s  = %.2fx the engine alone\n", all, all / engineAlone);
  std::printf("window preview, job ended:    %7.3f s  (%d batches applied)\n", ended, batches);
  std::printf("longest gap between event-loop turns during the preview: %.4f s\n", gaps.LongestSeconds());
  std::printf("peak memory before the preview: %.0f MB\n", beforePreview);
  std::printf("preview %lld rows: all %.2f s, first %.3f s, peak %.0f MB\n", static_cast<long long>(rows), all,
              first, PeakMegabytes());
  return 0;
}
