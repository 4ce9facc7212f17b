// The one record of shared state through which the window thread, the worker thread
// and the repair engine cooperate. Owned by the application (or the console program)
// for the whole run.
//
// Thread rules: flags written on one thread and read on another are atomic; every
// other field is written only while the other side stands still, which the
// synchronous FrontEndPort guarantees (a worker waits inside Send/ShowModal while the
// front end reads or writes). Jobs start only while `workerBusy` is clear.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/random_access_file.h"

class CRecoveryThread;
struct sqlite3;

namespace job {

using Flag = std::atomic<int32_t>;

// The schema marker value set when the object tree has been filled after a repair.
inline constexpr int16_t kSchemaMarkerFilled = 2010;

struct RepairState {
  // Job requests and job state.
  Flag workerBusy{0};
  Flag repairRequested{0};
  Flag showObjectRequested{0};
  Flag saveRequested{0};
  Flag saveFinished{0};
  Flag tableSelected{0};
  Flag viewSelected{0};
  Flag indexSelected{0};
  Flag triggerSelected{0};
  Flag stopRequested{0};
  Flag repairCompleted{0};
  Flag openFailed{0};
  Flag progressActive{0};
  std::shared_ptr<CRecoveryThread> currentWorker;  // the latest job's worker
  int16_t schemaMarker = 0;
  Flag includeDeletedRecords{0};

  // Paths and texts (UTF-8).
  std::string databasePath;
  std::string databaseFileName;
  std::string runPath;
  std::string destinationFolder;
  std::string outputPath;
  std::string messageBuffer;
  std::string selectedItemText;
  std::string selectedObjectName;

  // Engine inputs and outputs.
  std::unique_ptr<platform::RandomAccessFile> fileHandle;  // the damaged file, read-only
  uint32_t pageSize = 0;  // in bytes; 65536 is stored in the file as 1
  int64_t recordCounter = 0;
  int32_t gridColumn = 0;
  std::vector<std::string> primaryKeyNames;
  std::vector<std::string> checkedTables;
  std::vector<std::string> checkedViews;
  std::vector<std::string> checkedIndexes;
  std::vector<std::string> checkedTriggers;
  sqlite3* outputDatabase = nullptr;  // the repaired database while a save writes it
  Flag outputOpened{0};               // a save has opened its output database
  uint64_t recordsPresent = 0;        // cells read by the last table copy
  uint64_t recordsWritten = 0;        // records the last table copy wrote

  // Message-box selectors: a dialog shows the text of the first one set.
  int32_t msgCustomText = 0;
  int32_t msgStoppedByUser = 0;
  int32_t msgSavingCompleted = 0;
  int32_t msgSelectTables = 0;
  int32_t msgAnotherInstance = 0;
  int32_t exitRequested = 0;
  int32_t msgFirstStop = 0;
  std::string noticeText;  // the text of CUserDialog
};

}  // namespace job
