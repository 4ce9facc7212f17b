// Times `kestrun-repair --out` on a damaged database of about 100 MB against the
// floor: a plain program that copies the same data from an intact copy through the
// SQLite library (SELECT, bound INSERT, one transaction per table). Both run as
// child processes of this one, so their peak memory is measured alike. Not a test.
//
//   bench_save [KESTRUN_REPAIR]   (default build/cli/kestrun-repair)
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include <sqlite3.h>

#include "bench/save_database.h"
#include "tests/fixture/fixture_db.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct ChildRun {
  double seconds = 0;
  long peakKb = 0;
  int status = -1;
};

ChildRun RunChild(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ChildRun run;
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.peakKb = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// The floor: every table of `source` copied into `target` with prepared, bound
// statements, one transaction per table.
int CopyFloor(const std::string& source, const std::string& target) {
  sqlite3* in = nullptr;
  sqlite3* out = nullptr;
  sqlite3_open_v2(source.c_str(), &in, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_open_v2(target.c_str(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  sqlite3_exec(out, "PRAGMA synchronous=0; PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_stmt* tables = nullptr;
  sqlite3_prepare_v2(in, "SELECT name, sql FROM sqlite_schema WHERE type='table'", -1, &tables, nullptr);
  while (sqlite3_step(tables) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(tables, 0));
    sqlite3_exec(out, reinterpret_cast<const char*>(sqlite3_column_text(tables, 1)), nullptr, nullptr, nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(in, ("SELECT * FROM \"" + name + "\"").c_str(), -1, &select, nullptr);
    const int columns = sqlite3_column_count(select);
    std::string marks;
    for (int i = 0; i < columns; ++i) marks += i ? ",?" : "?";
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(out, ("INSERT INTO \"" + name + "\" VALUES(" + marks + ")").c_str(), -1, &insert, nullptr);
    sqlite3_exec(out, "BEGIN", nullptr, nullptr, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
      for (int i = 0; i < columns; ++i) sqlite3_bind_value(insert, i + 1, sqlite3_column_value(select, i));
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_exec(out, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(select);
    sqlite3_finalize(insert);
  }
  sqlite3_finalize(tables);
  sqlite3_close(in);
  sqlite3_close(out);
  return 0;
}

const char* kFolder = "build/bench/save";

// Builds the intact database once and a copy of it with one page zeroed. It runs in
// a child process of its own: a child started with vfork or fork begins with its
// parent's peak memory, so the measuring process must stay small.
int Prepare(int scale) {
  const std::string intact = bench::EnsureSaveDatabase(scale);
  fs::remove_all(kFolder);
  fs::create_directories(kFolder);
  const std::string damaged = std::string(kFolder) + "/damaged.db";
  fs::copy_file(intact, damaged);
  uint32_t zeroed = 0;
  for (const auto& p : fixture::BtreePages(damaged, "big")) {
    if (p.type == "leaf") zeroed = p.page;  // the last leaf in key order
  }
  fixture::ZeroPage(damaged, zeroed / 2 + 100, 4096);  // a page in the middle of the file
  return 0;
}

struct SizeRun {
  double megabytes = 0;
  ChildRun floor;
  ChildRun repair;
};

SizeRun RunSize(const std::string& self, const std::string& tool, int scale) {
  SizeRun run;
  RunChild({self, "--prepare", std::to_string(scale)});
  const std::string folder = kFolder;
  run.megabytes = fs::file_size(bench::SaveDatabasePath(scale)) / 1e6;
  run.floor = RunChild({self, "--floor", bench::SaveDatabasePath(scale), folder + "/floor.db"});
  run.repair = RunChild({tool, "--out", folder, folder + "/damaged.db"});
  fs::remove_all(folder);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--floor") return CopyFloor(argv[2], argv[3]);
  if (argc == 3 && std::string(argv[1]) == "--prepare") return Prepare(std::stoi(argv[2]));
  const std::string tool = argc > 1 ? argv[1] : "build/cli/kestrun-repair";
  // The second database is ten times the first: the save's memory must not grow
  // with the size of the tables it copies.
  const SizeRun small = RunSize(argv[0], tool, 1);
  const SizeRun large = RunSize(argv[0], tool, 10);
  for (const SizeRun* r : {&small, &large}) {
    std::printf("database: %.0f MB, one page zeroed\n", r->megabytes);
    std::printf("  floor (SQLite copy):   %7.2f s  peak %6.1f MB\n", r->floor.seconds, r->floor.peakKb / 1024.0);
    std::printf("  kestrun-repair --out:  %7.2f s  peak %6.1f MB  = %.2fx the floor (exit %d)\n",
                r->repair.seconds, r->repair.peakKb / 1024.0, r->repair.seconds / r->floor.seconds,
                r->repair.status);
  }
  std::printf("peak of the large save / peak of the small one: %.2fx\n",
              static_cast<double>(large.repair.peakKb) / static_cast<double>(small.repair.peakKb));
  return small.repair.status != 0 ? small.repair.status : large.repair.status;
}
