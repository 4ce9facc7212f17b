// Times the open (header and master walk), the freed-space probe, the leaf walk
// over every table and the page census with the attribution of every leaf, on a
// database of about 1 GB, against a plain sequential read of
// the same file in the same run. Not a test: run it by hand.
//
//   bench_open [DB]   (default build/bench/bench-1g.db, created when missing)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/reader/btree_walks.h"
#include "engine/sqlite_repair.h"
#include "tests/fixture/fixture_db.h"

namespace {

class NullPort : public job::FrontEndPort {
 public:
  void Progress(job::ProgressAction, int64_t) override { ++sent; }
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
  int64_t sent = 0;
};

void BuildBenchDatabase(const std::string& path) {
  std::cerr << "building " << path << " (about 1 GB, once)...\n";
  std::string sql = "BEGIN;";
  const int kTables = 200;
  for (int t = 0; t < kTables; ++t) {
    std::string name = "table_" + std::to_string(t);
    sql += "CREATE TABLE " + name + "(id INTEGER PRIMARY KEY, a INTEGER, b REAL, c TEXT, d BLOB);";
    sql += "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25000)"
           " INSERT INTO " + name + " SELECT i, i * 7, i / 3.0, printf('row %d of " + name +
           "', i), randomblob(120 + i % 80) FROM n;";
    // Some deleted rows, so that a few trees hold freeblocks.
    if (t % 4 == 0) sql += "DELETE FROM " + name + " WHERE id % 97 = 0;";
  }
  fixture::BuildDatabase(path, fixture::DbOptions{}, sql + "COMMIT;");
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : "build/bench/bench-1g.db";
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    BuildBenchDatabase(path);
  }
  std::vector<uint64_t> roots;
  for (const auto& row : fixture::Query(path, "SELECT rootpage FROM sqlite_schema WHERE type='table'")) {
    roots.push_back(std::stoull(row[0]));
  }
  const auto size = std::filesystem::file_size(path);

  const double sequential = bench::SequentialReadSeconds(path);

  job::RepairState state;
  NullPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  double open = bench::BestSeconds(3, [&] { engine.OpenDatabaseFile(); });
  const engine::Database& db = engine.OpenedDatabase();
  engine::Work work(port, state.stopRequested);
  size_t withFreedSpace = 0;
  double probe = bench::BestSeconds(3, [&] {
    withFreedSpace = 0;
    for (uint64_t root : roots) withFreedSpace += engine::ProbeFreedSpace(db, root, work);
  });
  size_t leaves = 0;
  double leafWalk = bench::BestSeconds(3, [&] {
    leaves = 0;
    for (uint64_t root : roots) leaves += engine::CollectTableLeaves(db, root, &work).size();
  });

  // The page census and the attribution of every leaf, as a repair runs them.
  engine.ScanTables();
  const double census = bench::BestSeconds(3, [&] { engine.FindStrayPages(); });

  std::printf("file: %s, %.0f MB, %zu tables, page size %u\n", path.c_str(), size / 1e6,
              roots.size(), db.pages.PageSize());
  std::printf("sequential read (floor):  %8.3f s  (%.0f MB/s)\n", sequential,
              size / 1e6 / sequential);
  std::printf("open + master walk:       %8.4f s  (%zu master leaves)\n", open,
              db.masterLeafPages.size());
  std::printf("ProbeFreedSpace, all:     %8.3f s  = %.2fx the sequential read (%zu with freed space)\n",
              probe, probe / sequential, withFreedSpace);
  std::printf("CollectTableLeaves, all:  %8.3f s  = %.2fx the sequential read (%zu leaves)\n",
              leafWalk, leafWalk / sequential, leaves);
  std::printf("page census + attribution: %7.3f s  = %.2fx the sequential read\n", census, census / sequential);
  return 0;
}
