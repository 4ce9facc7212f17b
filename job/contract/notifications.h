// The notifications that the worker and the engine send to the main frame, with the
// numbers the desktop program has always used (the window system's first user
// message number, 1024, plus an offset).
#pragma once

#include <cstdint>

namespace job {

inline constexpr uint32_t kWmUser = 1024;

enum class Notification : uint32_t {
  RepairDone = kWmUser + 101,       // (1, 0): fill the object tree
  ResetWorkspace = kWmUser + 103,   // (0, 0): clear grid, tree item and record view
  GridData = kWmUser + 104,         // (0, 1): set up columns; (0, 0): one cell
  TabChanged = kWmUser + 105,       // to the record view: which tab was selected
  Progress = kWmUser + 107,         // (N, 1) start, (0, 2) step, (0, 3) finish
  LogLine = kWmUser + 108,          // (0, 0): append messageBuffer to the log
  ClearGridRows = kWmUser + 112,    // (0, 0)
  TableLoaded = kWmUser + 114,      // (0, 0): fill the column properties
  ShowTriggerSql = kWmUser + 115,   // (0, 1)
  FindItem = kWmUser + 119,         // (0, 0)
  CheckTopItem = kWmUser + 123,     // (0, 0)
  ObjectSaved = kWmUser + 124,      // (0, 0)
  ShowViewSql = kWmUser + 125,      // (0, 0)
  ShowRecordCount = kWmUser + 126,  // (0, 0)
  JobState = kWmUser + 127,         // (0, 0) started, (0, 1) ended
  SaveFinished = kWmUser + 128,     // (0, 0)
  ShowMessageBox = 9,               // (0, 0): open CMessageOk
};

// Parameters of Progress.
inline constexpr int64_t kProgressStart = 1;
inline constexpr int64_t kProgressStep = 2;
inline constexpr int64_t kProgressFinish = 3;

// Parameters of JobState.
inline constexpr int64_t kJobStarted = 0;
inline constexpr int64_t kJobEnded = 1;

// A readable name for logs and test failure messages ("Progress", ...).
const char* NotificationName(Notification n);

}  // namespace job
