// Times the preview of a 1,000,000-row table of five mixed columns: every value
// decoded through PreviewTable into a front end that only counts, against a plain
// sequential read of the same file in the same run. Not a test: run it by hand.
//
//   bench_preview [DB]   (default build/bench/bench-preview.db, created when missing)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/preview_database.h"
#include "engine/sqlite_repair.h"

namespace {

class CountingPort : public job::FrontEndPort {
 public:
  void GridData(const job::GridCell&) override { ++cells; }
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
  int64_t cells = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : bench::kPreviewDatabase;
  bench::EnsurePreviewDatabase(path);
  const auto size = std::filesystem::file_size(path);

  const double sequential = bench::SequentialReadSeconds(path);

  job::RepairState state;
  CountingPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  engine.OpenDatabaseFile();
  engine.ScanTables();
  state.schemaMarker = job::kSchemaMarkerFilled;
  if (engine.RecoveredSchema().tableList.empty()) {
    std::cerr << "no table found\n";
    return 1;
  }
  int64_t values = 0;
  double preview = bench::BestSeconds(3, [&] {
    port.cells = 0;
    engine.PreviewTable(engine.RecoveredSchema().tableList.front());
    values = port.cells;
  });

  std::printf("file: %s, %.0f MB\n", path.c_str(), size / 1e6);
  std::printf("sequential read (floor): %8.3f s\n", sequential);
  std::printf("PreviewTable:            %8.3f s  %lld values, %.1f million values/s, %.2fx the sequential read\n",
              preview, static_cast<long long>(values), values / preview / 1e6, preview / sequential);
  return 0;
}
