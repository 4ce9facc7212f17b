// libFuzzer entry: every input is a damaged database file.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "tests/fuzz/repair_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One private folder per fuzzing process for the input and the repaired output.
  static const std::string workDir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrun-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  const fuzz::RepairOutcome outcome = fuzz::RepairBytes(data, size, workDir);
  // Whatever the input, a grid row is one record of its table's columns and the
  // output is a well-formed database.
  if (outcome.crookedRows != 0 || !outcome.outputIntact) std::abort();
  return 0;
}
