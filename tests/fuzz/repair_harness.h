// One whole repair of arbitrary bytes: open, scans, the preview of every table and
// companion, and the save of everything. Shared by the fuzz target and by the test
// that replays the inputs the fuzzer once broke the engine with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Writes `data` to a file in `workDir` and repairs it there; the repaired database
// is saved into `workDir` and removed again. Returns the number of grid cells the
// previews produced (so that a caller can tell the run did something).
int64_t RepairBytes(const uint8_t* data, size_t size, const std::string& workDir);

}  // namespace fuzz
