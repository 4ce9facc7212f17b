// The console's front end: log lines on stdout, a progress bar on stderr when it is
// a terminal, and each message dialog's text, answered with its default.
#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>

#include "job/front_end_port.h"
#include "job/repair_state.h"

class CSqliteRepair;

namespace cli {

// Exit statuses of kestrun-repair.
inline constexpr int kExitRepaired = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 3;
inline constexpr int kExitNoSuchObject = 4;
inline constexpr int kExitCannotSave = 5;

// Thread: Send and ShowModal are called by the worker while the main thread only
// waits for it; the streams are written from the calling thread.
class ConsoleFrontEnd : public job::FrontEndPort {
 public:
  ConsoleFrontEnd(job::RepairState& state, std::ostream& out, std::ostream& err,
                  bool progressBar);

  // The engine whose grid slot and object lists the handlers read, as the main
  // frame's do. Set before the first job.
  void AttachEngine(CSqliteRepair* engine) { engine_ = engine; }
  // Where log lines and dialog texts go (stdout unless changed).
  void SetLogStream(std::ostream& log) { log_ = &log; }

  int64_t Send(job::Notification number, int64_t first, int64_t second) override;
  job::DialogAnswer ShowModal(job::Dialog dialog) override;

  // What the run came to, from the dialogs it showed.
  int ExitStatus() const;

 private:
  void ShowGridCell(bool header);
  void ShowViewSql();
  void ShowTriggerSql();
  void DrawProgress();
  void EndProgress();

  job::RepairState& state_;
  std::ostream& out_;
  std::ostream& err_;
  std::ostream* log_;
  CSqliteRepair* engine_ = nullptr;
  bool progressBar_;
  bool openFailedShown_ = false;
  bool stopShown_ = false;
  int64_t progressRange_ = 0;
  int64_t progressPosition_ = 0;
  int lastDrawn_ = -1;
};

}  // namespace cli
