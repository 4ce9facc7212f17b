// The one record of shared state through which the window thread, the worker thread
// and the repair engine cooperate. Owned by the application (or the console program)
// for the whole run.
//
// It holds the fields of the shared record only: the worker object belongs to the
// starter, the output connection to the save, the grid counters to the front end,
// the open file to the engine.
//
// Thread rules: flags written on one thread and read on another are atomic; every
// other field is written only while the other side stands still, which the
// synchronous FrontEndPort guarantees (a worker waits inside a notification while
// the front end reads or writes). Jobs start only while `workerBusy` is clear.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

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
  int16_t schemaMarker = 0;
  Flag includeDeletedRecords{0};

  // The drive search of the Select Database dialog: the window thread sets the
  // stop flag, the search worker polls it; the running flag spans one search.
  Flag searchStopRequested{0};
  Flag searchRunning{0};
  // An online update is in progress (the Update command is disabled meanwhile).
  Flag updateRunning{0};
  // The user cancelled the update wizard (nothing is to be started after it).
  Flag updateCancelled{0};

  // Paths and texts (UTF-8).
  std::string databasePath;
  std::string databaseFileName;
  std::string runPath;
  std::string destinationFolder;
  std::string outputPath;
  std::string messageBuffer;
  std::string selectedItemText;
  std::string selectedObjectName;

  // The checked leaves of the object tree, collected by the Save command.
  std::vector<std::string> checkedTables;
  std::vector<std::string> checkedViews;
  std::vector<std::string> checkedIndexes;
  std::vector<std::string> checkedTriggers;
  Flag outputOpened{0};  // a save has opened its output database; never cleared

  // Message-box selectors: a dialog shows the text of the first one set.
  int32_t msgCustomText = 0;
  int32_t msgStoppedByUser = 0;
  int32_t msgSavingCompleted = 0;
  int32_t msgSelectTables = 0;
  int32_t msgAnotherInstance = 0;
  int32_t exitRequested = 0;
  int32_t msgFirstStop = 0;
  // The stop question adds that the process cannot be resumed (the update's
  // download); cleared when the question opens.
  int32_t msgNotResumable = 0;
  std::string noticeText;  // the text of CUserDialog
  std::string installerPath;  // the installer the update wizard downloaded, or empty
};

}  // namespace job
