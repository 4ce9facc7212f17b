// kestrun-repair: the console front end of the repair engine.
#include <csignal>
#include <iostream>
#include <unistd.h>

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

}  // namespace

int main(int argc, char** argv) {
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
  gStopFlag = nullptr;
  const int status = port.ExitStatus();
  if (status == cli::kExitRepaired && options.list) cli::PrintObjects(engine, std::cout);
  return status;
}
