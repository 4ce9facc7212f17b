// kestrun-repair: the console front end of the repair engine.
#include <algorithm>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include <sqlite3.h>

#include "cli/console_front_end.h"
#include "cli/object_listing.h"
#include "cli/options.h"
#include "engine/schema/names.h"
#include "engine/sqlite_repair.h"
#include "job/recovery_thread.h"
#include "platform/random_access_file.h"
#include "platform/safe_text.h"

namespace {

std::atomic<int32_t>* gStopFlag = nullptr;

// Ctrl+C (and SIGTERM) acts as the Stop command: the job stops at its next unit of
// work and runs its stop handling. A second one ends the program at once (SA_RESETHAND).
void OnInterrupt(int) {
  if (gStopFlag) gStopFlag->store(1);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the run goes on to its next step: a file that changed while it was read
// gives results all the same, and the run ends with that status.
bool GoesOn(int status) { return status == cli::kExitRepaired || status == cli::kExitInputChanged; }

// Runs a job to its end; the console has nothing else to do meanwhile.
void RunToEnd(std::unique_ptr<CRecoveryThread> worker) {
  if (worker) worker->Join();
}

// Runs the show-object job for the table, view or trigger `name` (looked up in that
// order, as the object tree lists them).
int ShowObject(job::RepairState& state, CSqliteRepair& engine, cli::ConsoleFrontEnd& port,
               const std::string& name) {
  auto named = [&](const auto& list) {
    return std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.name == name; });
  };
  const job::ObjectListing& objects = port.Objects();
  job::ObjectCategory category;
  if (named(objects.tables)) category = job::ObjectCategory::Table;
  else if (named(objects.views)) category = job::ObjectCategory::View;
  else if (named(objects.triggers)) category = job::ObjectCategory::Trigger;
  else {
    std::cerr << "kestrun-repair: no table, view or trigger named " << platform::SafeLineText(name) << "\n";
    return cli::kExitNoSuchObject;
  }
  RunToEnd(job::StartShowObjectJob(state, engine, port, name, category));
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
  const job::ObjectListing& objects = port.Objects();
  for (const std::string& name : options.tables) {
    if (std::none_of(objects.tables.begin(), objects.tables.end(),
                     [&](const job::TableInfo& t) { return t.name == name; })) {
      std::cerr << "kestrun-repair: no table named " << platform::SafeLineText(name) << "\n";
      return cli::kExitNoSuchObject;
    }
  }
  state.checkedTables.clear();
  for (const job::TableInfo& table : objects.tables) {
    if (!table.deletedCompanion && wanted(table.name)) state.checkedTables.push_back(table.name);
    if (table.deletedCompanion && options.includeDeleted &&
        wanted(engine::WithoutDeletedSuffix(table.name))) {
      state.checkedTables.push_back(table.name);
    }
  }
  state.checkedViews.clear();
  for (const job::SqlObjectInfo& view : objects.views) state.checkedViews.push_back(view.name);
  // A trigger can only be created on a table the output has: with --table, the
  // triggers of the tables left out stay out too.
  state.checkedTriggers.clear();
  for (const job::SqlObjectInfo& trigger : objects.triggers) {
    const bool onSavedTable =
        std::any_of(state.checkedTables.begin(), state.checkedTables.end(),
                    [&](const std::string& t) { return engine::EqualIgnoringCase(t, trigger.tableName); });
    if (options.tables.empty() || onSavedTable) state.checkedTriggers.push_back(trigger.name);
  }
  state.destinationFolder = options.outDir;
  if (state.destinationFolder.empty() || state.destinationFolder.back() != '/') {
    state.destinationFolder += '/';
  }
  state.outputOpened = 0;
  RunToEnd(job::StartSaveJob(state, engine, port));
  const int status = port.ExitStatus();
  if (!GoesOn(status)) return status;
  if (!state.outputOpened) return cli::kExitCannotSave;
  // The save says "successfully" only when every checked object was written.
  if (!state.saveFinished) {
    if (state.outputPath.empty()) {
      std::cerr << "kestrun-repair: the repaired database could not be written; nothing was kept\n";
    } else {
      std::cerr << "kestrun-repair: " << platform::SafeLineText(state.outputPath) << " was not written completely\n";
    }
    return cli::kExitCannotSave;
  }
  // Written whole from a file that changed meanwhile, the output is still named: the
  // status and the line on stderr say what it is worth.
  std::cout << "Repaired database: " << platform::SafeLineText(state.outputPath) << "\n";
  return status;
}

// Why `path` cannot be read as a database, for the console's own line on stderr.
std::string OpenFailureReason(const std::string& path) {
  std::string reason;
  if (platform::RandomAccessFile::Open(path, &reason)) reason = "not an SQLite 3 database";
  return reason;
}

}  // namespace

int main(int argc, char** argv) {
  // The program keeps no statistics of SQLite's memory: without them no allocation
  // of the output database takes a global lock.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::cerr << "kestrun-repair: " << platform::SafeLineText(error) << "\n\n" << cli::UsageText();
    return cli::kExitUsage;
  }
  if (options.help) {
    std::cout << cli::UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "kestrun-repair " << KESTRUN_VERSION << "\n";
    return 0;
  }

  job::RepairState state;
  cli::ConsoleFrontEnd port(state, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
  CSqliteRepair engine(state, port);
  if (options.list || !options.show.empty()) port.SetLogStream(std::cerr);

  gStopFlag = &state.stopRequested;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  // A system shutting the program down stops it the same way: what a save wrote is
  // kept under its "(incomplete)" name rather than lost.
  sigaction(SIGTERM, &action, nullptr);

  state.databasePath = options.file;
  state.databaseFileName = FileNameOf(options.file);
  RunToEnd(job::StartRepairJob(state, engine, port, options.file, false));
  int status = port.ExitStatus();
  if (status == cli::kExitCannotOpen) {
    std::cerr << "kestrun-repair: " << platform::SafeLineText(options.file) << ": "
              << platform::SafeLineText(OpenFailureReason(options.file)) << "\n";
  }
  if (GoesOn(status) && options.list) cli::PrintObjects(port.Objects(), std::cout);
  if (GoesOn(status) && !options.show.empty()) status = ShowObject(state, engine, port, options.show);
  if (GoesOn(status) && options.Saves()) status = Save(state, engine, port, options);
  gStopFlag = nullptr;
  return status;
}
