// kestrun-repair: the console front end of the repair engine.
#include <algorithm>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include <sqlite3.h>

#include "cli/console_front_end.h"
#include "cli/object_listing.h"
#include "cli/options.h"
#include "engine/reader/sqlite_repair.h"
#include "job/recovery_thread.h"

namespace {

std::atomic<int32_t>* gStopFlag = nullptr;

// Ctrl+C acts as the Stop command: the job stops at its next unit of work and runs
// its stop handling. A second Ctrl+C ends the program at once (SA_RESETHAND).
void OnInterrupt(int) {
  if (gStopFlag) gStopFlag->store(1);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Runs the show-object job for the table, view or trigger `name` (looked up in that
// order, as the object tree lists them).
int ShowObject(job::RepairState& state, CSqliteRepair& engine, cli::ConsoleFrontEnd& port,
               const std::string& name) {
  auto named = [&](const auto& list) {
    return std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.name == name; });
  };
  job::ObjectCategory category;
  if (named(engine.tableList)) category = job::ObjectCategory::Table;
  else if (named(engine.viewList)) category = job::ObjectCategory::View;
  else if (named(engine.triggerList)) category = job::ObjectCategory::Trigger;
  else {
    std::cerr << "kestrun-repair: no table, view or trigger named " << name << "\n";
    return cli::kExitNoSuchObject;
  }
  job::StartShowObjectJob(state, engine, port, name, category);
  state.currentWorker->Join();
  return port.ExitStatus();
}

// Checks every object of the object tree that the options name and runs the save
// job; prints where the repaired database went.
int Save(job::RepairState& state, CSqliteRepair& engine, cli::ConsoleFrontEnd& port,
         const cli::Options& options) {
  auto wanted = [&](const std::string& name) {
    return options.tables.empty() ||
           std::find(options.tables.begin(), options.tables.end(), name) != options.tables.end();
  };
  for (const std::string& name : options.tables) {
    if (std::none_of(engine.tableList.begin(), engine.tableList.end(),
                     [&](const engine::TableEntry& t) { return t.name == name; })) {
      std::cerr << "kestrun-repair: no table named " << name << "\n";
      return cli::kExitNoSuchObject;
    }
  }
  state.checkedTables.clear();
  for (const engine::TableEntry& table : engine.tableList) {
    if (!table.deletedCompanion && wanted(table.name)) state.checkedTables.push_back(table.name);
    if (table.deletedCompanion && options.includeDeleted &&
        wanted(table.name.substr(0, table.name.size() - std::string(engine::kDeletedSuffix).size()))) {
      state.checkedTables.push_back(table.name);
    }
  }
  state.checkedViews.clear();
  for (const engine::ViewEntry& view : engine.viewList) state.checkedViews.push_back(view.name);
  state.checkedTriggers.clear();
  for (const engine::TriggerEntry& trigger : engine.triggerList) {
    state.checkedTriggers.push_back(trigger.name);
  }
  state.destinationFolder = options.outDir;
  if (state.destinationFolder.empty() || state.destinationFolder.back() != '/') {
    state.destinationFolder += '/';
  }
  state.outputOpened = 0;
  job::StartSaveJob(state, engine, port);
  state.currentWorker->Join();
  const int status = port.ExitStatus();
  if (status != cli::kExitRepaired) return status;
  if (!state.outputOpened) return cli::kExitCannotSave;
  std::cout << "Repaired database: " << state.outputPath << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // The program keeps no statistics of SQLite's memory: without them no allocation
  // of the output database takes a global lock.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::cerr << "kestrun-repair: " << error << "\n\n" << cli::UsageText();
    return cli::kExitUsage;
  }
  if (options.help) {
    std::cout << cli::UsageText();
    return 0;
  }

  job::RepairState state;
  cli::ConsoleFrontEnd port(state, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
  CSqliteRepair engine(state, port);
  port.AttachEngine(&engine);
  if (options.list || !options.show.empty()) port.SetLogStream(std::cerr);

  gStopFlag = &state.stopRequested;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  state.databasePath = options.file;
  state.databaseFileName = FileNameOf(options.file);
  job::StartRepairJob(state, engine, port, options.file, false);
  state.currentWorker->Join();
  int status = port.ExitStatus();
  if (status == cli::kExitRepaired && options.list) cli::PrintObjects(engine, std::cout);
  if (status == cli::kExitRepaired && !options.show.empty()) {
    status = ShowObject(state, engine, port, options.show);
  }
  if (status == cli::kExitRepaired && options.Saves()) status = Save(state, engine, port, options);
  gStopFlag = nullptr;
  return status;
}
