// One whole repair of arbitrary bytes: open, scans, the preview of every table and
// companion, and the save of everything. Shared by the fuzz target and by the test
// that replays the inputs the fuzzer once broke the engine with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// What one repair came to, for callers that check it was sound.
struct RepairOutcome {
  bool opened = false;        // the bytes were taken for a database
  int64_t tables = 0;         // tables and companions recovered
  int64_t gridRows = 0;       // rows the previews produced
  int64_t crookedRows = 0;    // rows whose cells did not match their table's columns
  bool saveOpened = false;    // the save created its output database
  bool saveComplete = false;  // and reported every object written
  bool outputIntact = true;   // SQLite's integrity check passes on the output
  int64_t outputRows = 0;     // rows of the output's tables
  // Every broken promise of the run, one line each, empty for a sound run: crooked
  // grid rows, an output that fails SQLite's integrity check, an input file whose
  // bytes changed, a file left outside the output folder (beside the input, in the
  // current directory, or a second file beside the output), a reported output that
  // is missing or whose name does not say "(incomplete)" exactly when the report
  // does, a save reported complete without an output, a table whose row count
  // in the output differs from what the save reported written, a view or trigger
  // reported saved that the output lacks, a table in the output that no schema
  // entry names.
  std::vector<std::string> faults;
};

// Separates a database from its write-ahead log within one input: the bytes before
// the first occurrence are the file, those after it the file's "-wal".
inline constexpr const char* kWalMarker = "\n--kestrun-wal--\n";
// Likewise separates the file (and its log) from its rollback journal, "-journal":
// the bytes after the first occurrence.
inline constexpr const char* kJournalMarker = "\n--kestrun-journal--\n";

// Repairs `data` inside `workDir`, which this call owns (its contents are replaced):
// the file (its log and its journal, see kWalMarker and kJournalMarker) is written
// to "input/", the save goes to "output/", and the current directory is "cwd/"
// while the engine runs (restored before returning). The output is checked and
// removed again. Single-threaded: the current directory is the process's.
RepairOutcome RepairBytes(const uint8_t* data, size_t size, const std::string& workDir);

}  // namespace fuzz
