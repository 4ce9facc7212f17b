// Times the preview and the save of a 1,000,000-row table without rowid (text key,
// three more columns) against a rowid table of the same rows in the same file and
// run: per value, the table without rowid should cost no more. Not a test.
//
//   bench_without_rowid [DB]   (default build/bench/bench-without-rowid.db, created when missing)
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "bench/bench_timing.h"
#include "engine/sqlite_repair.h"
#include "tests/fixture/fixture_db.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 1000000;

class CountingPort : public job::FrontEndPort {
 public:
  void GridData(const job::GridCell&) override { ++cells; }
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
  int64_t cells = 0;
};

void EnsureDatabase(const std::string& path) {
  if (fs::exists(path)) return;
  fs::create_directories(fs::path(path).parent_path());
  // The same rows in both tables, inserted in an order other than the key's.
  const std::string rows =
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(kRows - 1) +
      ") SELECT printf('key%07d', (i * 7919) % " + std::to_string(kRows) +
      "), i, i * 0.5, printf('text of row %d', i) FROM n";
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE plain(k TEXT, a INTEGER, b REAL, c TEXT);"
                         "CREATE TABLE keyed(k TEXT PRIMARY KEY, a INTEGER, b REAL, c TEXT) WITHOUT ROWID;"
                         "INSERT INTO plain " + rows + "; INSERT INTO keyed " + rows + ";");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "build/bench/bench-without-rowid.db";
  EnsureDatabase(path);
  const std::string outFolder = fs::path(path).parent_path().string() + "/without-rowid-out";

  job::RepairState state;
  CountingPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  state.databaseFileName = fs::path(path).filename().string();
  engine.OpenDatabaseFile();
  engine.ScanTables();
  state.schemaMarker = job::kSchemaMarkerFilled;

  struct Figures {
    double preview = 0;
    double save = 0;
    int64_t values = 0;
  };
  auto measure = [&](const std::string& name) {
    Figures f;
    const engine::TableEntry* entry = nullptr;
    for (const auto& e : engine.RecoveredSchema().tableList) {
      if (e.name == name) entry = &e;
    }
    if (!entry) {
      std::cerr << "no table " << name << "\n";
      std::exit(1);
    }
    f.preview = bench::BestSeconds(3, [&] {
      port.cells = 0;
      engine.PreviewTable(*entry);
      f.values = port.cells;
    });
    state.checkedTables = {name};
    f.save = bench::BestSeconds(2, [&] {
      fs::remove_all(outFolder);
      fs::create_directories(outFolder);
      state.destinationFolder = outFolder + "/";
      engine.SaveRepairedDatabase();
    });
    fs::remove_all(outFolder);
    return f;
  };
  const Figures plain = measure("plain");
  const Figures keyed = measure("keyed");

  auto perValue = [](double seconds, int64_t values) { return seconds / static_cast<double>(values) * 1e9; };
  std::printf("file: %s, %.0f MB\n", path.c_str(), fs::file_size(path) / 1e6);
  std::printf("rowid table:         preview %6.3f s, save %6.3f s, %lld values (%.1f / %.1f ns a value)\n",
              plain.preview, plain.save, static_cast<long long>(plain.values), perValue(plain.preview, plain.values),
              perValue(plain.save, plain.values));
  std::printf("table without rowid: preview %6.3f s, save %6.3f s, %lld values (%.1f / %.1f ns a value)\n",
              keyed.preview, keyed.save, static_cast<long long>(keyed.values), perValue(keyed.preview, keyed.values),
              perValue(keyed.save, keyed.values));
  std::printf("without rowid / rowid, per value: preview %.2fx, save %.2fx\n",
              perValue(keyed.preview, keyed.values) / perValue(plain.preview, plain.values),
              perValue(keyed.save, keyed.values) / perValue(plain.save, plain.values));
  return keyed.values == plain.values ? 0 : 1;
}
