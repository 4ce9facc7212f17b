// The console's front end: log lines on stdout, a progress bar on stderr when it is
// a terminal, the grid as tab-separated lines, and each message dialog's text,
// answered with its default. Everything it shows comes through the port.
#pragma once

#include <cstdint>
#include <ostream>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

namespace cli {

// Exit statuses of kestrun-repair.
inline constexpr int kExitRepaired = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 3;
inline constexpr int kExitNoSuchObject = 4;
inline constexpr int kExitCannotSave = 5;
inline constexpr int kExitInputChanged = 6;

// Text that reaches a line of its streams from outside (paths, names and texts of the
// damaged file, in log lines and dialog texts) goes through platform::SafeLineText,
// so no such text breaks a line or sends the terminal a control sequence. The grid's
// cells and the SQL texts are the object itself and keep their own form.
//
// Thread: its methods are called by the worker while the main thread only waits for
// it; the streams are written from the calling thread.
class ConsoleFrontEnd : public job::FrontEndPort {
 public:
  ConsoleFrontEnd(job::RepairState& state, std::ostream& out, std::ostream& err,
                  bool progressBar);

  // Where log lines and dialog texts go (stdout unless changed).
  void SetLogStream(std::ostream& log) { log_ = &log; }

  void RepairDone(const job::ObjectListing& objects) override;
  void GridColumns(const std::vector<std::string>& names) override;
  void GridData(const job::GridCell& cell) override;
  void Progress(job::ProgressAction action, int64_t range) override;
  void LogLine(const std::string& text) override;
  void ShowViewSql(const std::string& sql) override;
  void ShowTriggerSql(const std::string& sql) override;
  void ShowRecordCount(int64_t count) override { recordCounter_ = count; }
  // Says on the error stream, once a run, that the file changed while it was read.
  void InputChanged(const std::string& path) override;
  job::DialogAnswer ShowModal(job::Dialog dialog) override;

  // What the last repair recovered, as RepairDone carried it.
  const job::ObjectListing& Objects() const { return objects_; }
  // What the run came to, from the dialogs it showed and whether a job saw the file
  // change (kExitInputChanged, unless the run failed or was stopped).
  int ExitStatus() const;
  int64_t RecordCount() const { return recordCounter_; }

 private:
  void DrawProgress();
  void EndProgress();

  job::RepairState& state_;
  std::ostream& out_;
  std::ostream& err_;
  std::ostream* log_;
  bool progressBar_;
  bool openFailedShown_ = false;
  bool stopShown_ = false;
  bool inputChanged_ = false;
  job::ObjectListing objects_;
  size_t gridColumns_ = 0;
  int64_t recordCounter_ = 0;
  int64_t progressRange_ = 0;
  int64_t progressPosition_ = 0;
  int lastDrawn_ = -1;
};

}  // namespace cli
