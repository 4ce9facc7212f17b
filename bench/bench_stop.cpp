// How long Stop takes to end a save: during the longest stored statements a crafted
// file can hand the output connection, and during the copy of a database of about
// 1 GB. The time is from the stop request to the end of the save job (its file
// renamed "... (incomplete)"). Not a test.
//
//   bench_stop [DATABASE_1GB]   (default build/bench/bench-save-x10.db, built once)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "bench/save_database.h"
#include "engine/sqlite_repair.h"
#include "engine/writer/output_connection.h"
#include "job/recovery_thread.h"
#include "tests/fixture/fixture_db.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// A front end that only answers dialogs and notes when the copy's bar starts.
class QuietPort : public job::FrontEndPort {
 public:
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
  void Progress(job::ProgressAction action, int64_t) override {
    if (action == job::ProgressAction::Start) barStarts.fetch_add(1);
  }
  std::atomic<int> barStarts{0};
};

// The heaviest CREATE TABLE text the output connection still takes: 2000 columns
// (the library's limit), each with a CHECK of nested expressions, under 4 MiB.
std::string HeavyCreateText(const std::string& name) {
  std::string sql = "CREATE TABLE " + name + "(";
  for (int c = 0; c < 2000; ++c) {
    std::string check = "c" + std::to_string(c);
    for (int d = 0; d < 20; ++d) check = "abs(" + check + " + " + std::to_string(d) + ")";
    sql += (c ? ", c" : "c") + std::to_string(c) + " INTEGER CHECK (" + check + " >= 0)";
  }
  return sql + ")";
}

// One stored statement on a fresh output connection, stopped after `stopAfter`
// seconds (never when negative): its duration and whether it was created.
std::pair<double, bool> RunStatement(const std::string& sql, const std::string& name, double stopAfter) {
  const std::string path = "build/bench/stop/statement.db";
  fs::remove(path);
  job::Flag stop{0};
  std::string error;
  auto out = engine::writer::OutputConnection::Open(path, "PRAGMA encoding = 'UTF-8'", stop, &error);
  std::thread stopper;
  if (stopAfter >= 0) {
    stopper = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(stopAfter));
      stop = 1;
    });
  }
  const auto start = Clock::now();
  const bool created = out->RunStoredCreate(sql, engine::writer::CreateKind::Table, name, &error);
  const double seconds = Seconds(start);
  if (!created && stopAfter < 0) std::printf("  (%s)\n", error.c_str());
  if (stopper.joinable()) stopper.join();
  return {seconds, created};
}

// Repairs `path`, then saves every table, asking for a stop `stopAfter` seconds
// after the copy's progress bar first starts; returns the time from the stop
// request to the end of the save job (or the whole save's time when it ended first).
double StopDuringSave(const std::string& path, double stopAfter, bool* endedFirst) {
  job::RepairState state;
  QuietPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  state.databaseFileName = fs::path(path).filename().string();
  job::StartRepairJob(state, engine, port, path, false)->Join();
  state.schemaMarker = job::kSchemaMarkerFilled;  // as the object tree marks it once filled
  for (const auto& t : engine.RecoveredSchema().tableList) {
    if (!t.deletedCompanion) state.checkedTables.push_back(t.name);
  }
  fs::remove_all("build/bench/stop/out");
  fs::create_directories("build/bench/stop/out");
  state.destinationFolder = "build/bench/stop/out/";
  port.barStarts = 0;
  auto worker = job::StartSaveJob(state, engine, port);
  while (port.barStarts.load() == 0 && state.workerBusy) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::duration<double>(stopAfter));
  const auto asked = Clock::now();
  *endedFirst = state.workerBusy == 0;
  state.stopRequested = 1;
  worker->Join();
  return Seconds(asked);
}

}  // namespace

int main(int argc, char** argv) {
  fs::create_directories("build/bench/stop");
  std::printf("stored statements a crafted file can hand the save:\n");
  const std::string heavy = HeavyCreateText("heavy");
  const auto whole = RunStatement(heavy, "heavy", -1);
  std::printf("  CREATE TABLE of 2000 columns with nested CHECKs (%.1f MB): %.3f s, %s\n", heavy.size() / 1e6,
              whole.first, whole.second ? "created" : "refused");
  const auto stopped = RunStatement(heavy, "heavy", 0.02);
  std::printf("  the same, Stop after 0.020 s: ended after %.3f s (%s)\n", stopped.first,
              stopped.second ? "created" : "ended");
  const std::string recursive =
      "CREATE TABLE r AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c";
  const auto endless = RunStatement(recursive, "r", -1);
  std::printf("  CREATE TABLE ... AS WITH RECURSIVE (endless): %.3f s, %s\n", endless.first,
              endless.second ? "created" : "refused");

  const std::string big = argc > 1 ? argv[1] : bench::EnsureSaveDatabase(10);
  std::printf("save of %s (%.0f MB):\n", big.c_str(), fs::file_size(big) / 1e6);
  double worst = 0;
  for (double after : {0.5, 2.0, 5.0, 10.0}) {
    bool endedFirst = false;
    const double seconds = StopDuringSave(big, after, &endedFirst);
    std::printf("  Stop %.1f s into the copy: the save ended %.3f s later%s\n", after, seconds,
                endedFirst ? " (it had ended before)" : "");
    worst = std::max(worst, seconds);
  }
  std::printf("longest time to stop: %.3f s (target 0.5 s)\n", std::max(worst, stopped.first));
  fs::remove_all("build/bench/stop");
  return 0;
}
