// libFuzzer entry: every input is a damaged database file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include "tests/fuzz/repair_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One private folder per fuzzing process for the input, the repaired output and
  // the current directory of the run.
  // Removed when the process exits normally; a crash leaves it for a look.
  static const std::string workDir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrun-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  static const bool removeAtExit = [] {
    return std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(workDir, ec);
    }) == 0;
  }();
  (void)removeAtExit;
  const fuzz::RepairOutcome outcome = fuzz::RepairBytes(data, size, workDir);
  // Whatever the input, every promise the harness checks holds (see RepairOutcome).
  if (!outcome.faults.empty()) {
    for (const std::string& fault : outcome.faults) std::fprintf(stderr, "fuzz_repair: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
