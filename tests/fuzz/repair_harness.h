// One whole repair of arbitrary bytes: open, scans, the preview of every table and
// companion, and the save of everything. Shared by the fuzz target and by the test
// that replays the inputs the fuzzer once broke the engine with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
};

// Separates a database from its write-ahead log within one input: the bytes before
// the first occurrence are the file, those after it the file's "-wal".
inline constexpr const char* kWalMarker = "\n--kestrun-wal--\n";
// Likewise separates the file (and its log) from its rollback journal, "-journal":
// the bytes after the first occurrence.
inline constexpr const char* kJournalMarker = "\n--kestrun-journal--\n";

// Writes `data` to a file in `workDir` (its log and its journal, see kWalMarker and kJournalMarker) and repairs it there; the repaired database
// is saved into `workDir`, checked and removed again.
RepairOutcome RepairBytes(const uint8_t* data, size_t size, const std::string& workDir);

}  // namespace fuzz
