#include "job/recovery_thread.h"

#include <exception>
#include <iterator>

#include "engine/schema/deleted_table_ddl.h"
#include "engine/sqlite_repair.h"
#include "job/contract/format_now.h"
#include "platform/file_status.h"

CRecoveryThread::CRecoveryThread(job::RepairState& state, CSqliteRepair& engine,
                                 job::FrontEndPort& port)
    : state_(state), engine_(engine), port_(port) {}

CRecoveryThread::~CRecoveryThread() { Join(); }

void CRecoveryThread::Resume() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { job::RunJob(state_, engine_, port_, this); });
}

void CRecoveryThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

namespace job {
namespace {

enum class JobKind { None, Repair, ShowObject, Save };

// The input's status at the start of a job, for the comparison at its end. A file
// that changes while it is read (another program writes to it, a copy into it is
// still running, it is cut short) gives rows of two versions or fewer rows than it
// holds, and nothing in what was read tells: only its size and modification time do.
class InputWatch {
 public:
  explicit InputWatch(std::string path) : path_(std::move(path)), before_(platform::StatusOf(path_)) {}

  // Whether the file has changed since the job started (once changed, it stays so).
  bool Changed() {
    checked_ = true;
    changed_ = changed_ || platform::StatusOf(path_) != before_;
    return changed_;
  }
  bool Checked() const { return checked_; }

  // Once the change is known: the log line, then the front end's notice. Once a job.
  void Report(FrontEndPort& port) {
    if (!changed_ || reported_) return;
    reported_ = true;
    port.LogLine("");
    port.LogLine("The selected file changed while it was read; the results may be incomplete.");
    port.InputChanged(path_);
  }

 private:
  std::string path_;
  platform::FileStatus before_;
  bool checked_ = false;
  bool changed_ = false;
  bool reported_ = false;
};

void ShowCustomMessage(RepairState& state, FrontEndPort& port, const std::string& text) {
  state.messageBuffer = text;
  state.msgCustomText = 1;
  port.ShowModal(Dialog::CMessageOk);
}

void RunStopHandling(RepairState& state, FrontEndPort& port, JobKind kind) {
  port.Progress(ProgressAction::Finish, 0);
  port.LogLine("Process stopped by user on " + FormatNow());
  state.saveRequested = 0;
  state.msgStoppedByUser = 1;
  port.ShowModal(Dialog::CMessageOk);
  state.stopRequested = 0;
  if (kind == JobKind::ShowObject) state.showObjectRequested = 0;
}

TableInfo InfoOf(const engine::TableEntry& entry) {
  TableInfo info;
  info.name = entry.name;
  info.deletedCompanion = entry.deletedCompanion;
  info.rootPage = entry.rootPage;
  for (const engine::columndata& c : entry.columns) {
    info.columns.push_back({c.name, c.declaredType, c.notNull != 0, c.hasDefault != 0, c.primaryKey != 0});
  }
  return info;
}

ObjectListing ListingOf(const engine::Schema& schema) {
  ObjectListing listing;
  for (const engine::TableEntry& t : schema.tableList) listing.tables.push_back(InfoOf(t));
  for (const engine::ViewEntry& v : schema.viewList) listing.views.push_back({v.name, v.sql, {}});
  for (const engine::TriggerEntry& t : schema.triggerList) {
    listing.triggers.push_back({t.name, t.sql, t.tableName});
  }
  listing.tableCount = schema.tableCount;
  listing.viewCount = schema.viewCount;
  listing.triggerCount = schema.triggerCount;
  return listing;
}

// The log line of the write-ahead log the repair read, or empty when there was none.
std::string WalLine(const engine::WalSummary* wal) {
  if (!wal) return {};
  const std::string name = "Write-ahead log " + wal->path;
  if (wal->state != engine::WalSummary::State::Applied) return name + " ignored: " + wal->ignoredBecause + ".";
  std::string line = name + " applied: " + std::to_string(wal->framesUsed) + " frame(s) of " +
                     std::to_string(wal->transactions) + " committed transaction(s) used";
  if (wal->firstUnusedFrame != 0) {
    line += "; frames " + std::to_string(wal->firstUnusedFrame) + " to " + std::to_string(wal->framesInFile) +
            " not used (";
    if (wal->firstBadFrame == 0) {
      line += "no commit follows them";
    } else if (wal->firstBadFrame == wal->firstUnusedFrame) {
      line += "frame " + std::to_string(wal->firstBadFrame) + ": " + wal->badReason;
    } else {
      line += "no commit before frame " + std::to_string(wal->firstBadFrame) + ", where " + wal->badReason;
    }
    line += ")";
  }
  return line + ".";
}

// The log line of the rollback journal the repair read, or empty when there was none.
std::string JournalLine(const engine::JournalSummary* journal) {
  if (!journal) return {};
  const std::string name = "Rollback journal " + journal->path;
  if (journal->state != engine::JournalSummary::State::Read) return name + " ignored: " + journal->ignoredBecause + ".";
  std::string line = name + " read: " + std::to_string(journal->imagesUsed) + " page image(s) of older page versions used";
  if (journal->headerLost) line += " (its header was zeroed after its commit)";
  if (journal->firstBadRecord != 0) {
    line += "; page records from " + std::to_string(journal->firstBadRecord) +
            " on not used (a checksum or page number does not match)";
  }
  return line + ".";
}

void RunRepairBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port, InputWatch& input,
                   CRecoveryThread* worker) {
  port.LogLine("");
  const std::string startTime = FormatNow();
  engine.ClearObjectLists();
  engine.ClearPropertyLists();
  // All four always run, in this order; each returns early on a stop request, and the
  // scans find nothing after a failed open.
  if (!engine.OpenDatabaseFile()) port.ShowModal(Dialog::CMessageDialog);
  engine.ScanTables();
  engine.ScanViews();
  engine.ScanTriggers();
  engine.FindStrayPages();
  if (state.stopRequested || state.openFailed) {
    state.openFailed = 0;
    return;
  }
  // The repair's reads end here; what it found is listed all the same, with the warning.
  const bool inputChanged = input.Changed();

  const engine::Schema& schema = engine.RecoveredSchema();
  state.repairCompleted = 1;
  port.RepairDone(ListingOf(schema));
  state.repairRequested = 0;
  if (worker) worker->jobPath.clear();
  state.selectedItemText.clear();

  const std::string lines[] = {
      "Repairing process started on " + startTime,
      "",
      "Database Name : " + state.databasePath,
      "",
      "Database Details: ",
      "",
      "Total Table(s) present     : " + std::to_string(schema.tableCount),
      "Total View(s) present      : " + std::to_string(schema.viewCount),
      "Total Trigger(s) present  : " + std::to_string(schema.triggerCount),
      "",
      "Repairing process completed on " + FormatNow(),
  };
  for (const std::string& line : lines) {
    if (&line == &lines[std::size(lines) - 2]) input.Report(port);
    port.LogLine(line);
    // The log the pages were read through, right after the file it belongs to.
    if (&line == &lines[2]) {
      if (engine.ReplacedPageSize() != 0) {
        port.LogLine("");
        port.LogLine("The page size in the header (" + std::to_string(engine.ReplacedPageSize()) +
                     " bytes) does not fit the file; its pages were read as " + std::to_string(engine.PageSize()) +
                     " bytes.");
      }
      if (const std::string wal = WalLine(engine.WriteAheadLog()); !wal.empty()) {
        port.LogLine("");
        port.LogLine(wal);
      }
      if (const std::string journal = JournalLine(engine.RollbackJournal()); !journal.empty()) {
        port.LogLine("");
        port.LogLine(journal);
      }
      // Tables no SQLite database can hold were left out before anything of them was built.
      for (const engine::RefusedTable& refused : schema.refusedTableList) {
        port.LogLine("");
        port.LogLine("Table " + refused.name + " was not recovered: " + refused.reason + ".");
      }
    }
  }
  if (inputChanged) {
    ShowCustomMessage(state, port,
                      "The selected database was repaired, but the file changed while it was read; the results "
                      "may be incomplete.");
    return;
  }
  port.ShowModal(Dialog::CRepairedSuccessfully);
}

// The log lines of one copied table: what failed, then the table's summary.
void LogTable(FrontEndPort& port, const engine::writer::TableReport& t) {
  const std::string target = !t.target.empty() ? t.target : t.companion ? engine::DeletedTableName(t.name) : t.name;
  if (!t.created) port.LogLine("Table " + target + " was not created: " + t.createError);
  if (!t.received) port.LogLine("Table " + target + " cannot receive records: " + t.receiveError);
  if (t.extraValues) {
    port.LogLine("Table " + t.name + ": " + std::to_string(t.extraValues) +
                 " record(s) had more values than the table has columns; the extra values were left out.");
  }
  if (t.refused) {
    port.LogLine("Table " + target + ": " + std::to_string(t.refused) + " record(s) could not be written (" +
                 t.firstRefusal + ").");
  }
  if (!t.committed) port.LogLine("Table " + target + " was not saved: " + t.commitError);
  port.LogLine("");
  port.LogLine("Table name   : " + target);
  port.LogLine("Total record(s) present    : " + std::to_string(t.present));
  port.LogLine("Total record(s) repaired    : " + std::to_string(t.written));
  if (t.outside) {
    port.LogLine("Record(s) from pages outside its tree : " + std::to_string(t.outside));
  }
  // A companion's records by where they were carved from, the sources that gave any.
  static const char* const kSources[engine::kCarveSources] = {
      "freeblocks and gaps", "freed pages", "overwritten cells", "the rollback journal", "the write-ahead log"};
  for (size_t s = 0; s < engine::kCarveSources && t.companion; ++s) {
    if (t.carvedFrom.rows[s] != 0) {
      port.LogLine(std::string("Deleted record(s) from ") + kSources[s] + " : " + std::to_string(t.carvedFrom.rows[s]));
    }
  }
  if (const uint64_t cut = t.companion ? t.carvedFrom.cutValues : t.cutValues; cut != 0) {
    port.LogLine("Value(s) cut short where their overflow pages were lost : " + std::to_string(cut));
  }
}

// Where an output short of some checked object went, and what it holds.
void LogIncompleteOutput(FrontEndPort& port, const engine::writer::SaveReport& report) {
  port.LogLine("");
  port.LogLine("The repaired database is incomplete; it was kept as " + report.outputPath + ".");
  std::string whole;
  for (const engine::writer::TableReport& t : report.tables) {
    if (t.Saved()) whole += (whole.empty() ? "" : ", ") + t.target;
  }
  if (!whole.empty()) port.LogLine("Table(s) saved whole: " + whole);
  for (const engine::writer::TableReport& t : report.tables) {
    if (t.cutShort) {
      port.LogLine("Table " + t.target + " was cut short: " + std::to_string(t.written) + " record(s) written.");
    }
  }
}

void RunSaveBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port, InputWatch& input) {
  port.LogLine("");
  port.LogLine("Saving process started on " + FormatNow());
  state.msgSavingCompleted = 0;
  const engine::writer::SaveReport report =
      engine.SaveRepairedDatabase([&](const engine::writer::TableReport& t) { LogTable(port, t); });
  if (state.outputOpened) state.selectedItemText.clear();
  if (!report.opened) {
    port.LogLine("Saving process failed: the repaired database cannot be created in " + report.openWhere +
                 " (" + report.openError + ")");
    state.saveRequested = 0;
    ShowCustomMessage(state, port, "The repaired database cannot be created: " + report.openError + ".");
    return;
  }
  for (const std::string& setting : report.settingErrors) {
    port.LogLine("Setting of the repaired database refused: " + setting);
  }
  for (const engine::writer::ObjectReport& o : report.objects) {
    if (!o.saved) port.LogLine(o.kind + " " + o.name + " was not saved: " + o.error);
  }
  if (report.discarded) {
    port.LogLine("The repaired database could not be written (" + report.FirstFailure() +
                 "); the unfinished file was removed.");
  }
  if (report.incomplete) LogIncompleteOutput(port, report);
  if (report.stopped) return;  // the stop handling takes over
  const bool inputChanged = input.Changed();
  input.Report(port);
  port.LogLine("");
  if (!report.Complete()) {
    // Something checked is not in the output: the run must not read as a success.
    port.LogLine("Saving process failed on " + FormatNow());
    state.saveRequested = 0;
    ShowCustomMessage(state, port,
                      "The repaired database was not saved completely: " + report.FirstFailure() + ".");
    return;
  }
  state.saveFinished = 1;
  // Every checked object was written; read from a file that changed meanwhile, that
  // is no clean success, and neither the log nor the message may say it is.
  port.LogLine(inputChanged ? "Saving process completed on " + FormatNow() +
                                  ", but the selected file changed while it was read."
                            : "Saving process completed successfully on " + FormatNow());
  port.SaveFinished();
  state.saveRequested = 0;
  if (inputChanged) {
    ShowCustomMessage(state, port,
                      "The repaired database was saved, but the selected file changed while it was read; the "
                      "results may be incomplete.");
    return;
  }
  state.msgSavingCompleted = 1;
  port.ShowModal(Dialog::CMessageOk);
}

// SQLite's own rule for names: letters compared without case in ASCII only.
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void RunShowObjectBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port) {
  const bool schemaShown = state.schemaMarker == kSchemaMarkerFilled;
  const engine::Schema& schema = engine.RecoveredSchema();
  // Every entry of the clicked name is shown, in list order; a stop request ends the
  // walk before the next entry and runs the stop handling at once.
  auto walk = [&](const auto& list, auto&& show) {
    for (const auto& entry : list) {
      if (state.stopRequested) {
        RunStopHandling(state, port, JobKind::ShowObject);
        return;
      }
      if (entry.name == state.selectedObjectName && schemaShown) show(entry);
    }
  };
  if (state.tableSelected) {
    walk(schema.tableList, [&](const engine::TableEntry& entry) {
      engine.PreviewTable(entry);
      port.TableLoaded(InfoOf(entry));
      state.selectedItemText.clear();
    });
  } else if (state.viewSelected) {
    // Views are found by name without regard to case, the first one winning: two
    // views differing only in case both show the first one's text.
    for (const engine::ViewEntry& entry : schema.viewList) {
      if (!schemaShown || !SameNameIgnoringCase(entry.name, state.selectedObjectName)) continue;
      port.ShowViewSql(entry.sql);
      break;
    }
    state.selectedItemText.clear();
  } else if (state.triggerSelected) {
    // A trigger without SQL text leaves the text box as it is.
    walk(schema.triggerList, [&](const engine::TriggerEntry& entry) {
      if (!entry.sql.empty()) port.ShowTriggerSql(entry.sql);
    });
  }
  // An index leaf has no body: the job is its start and end notifications.
}

}  // namespace

void RunJob(RepairState& state, CSqliteRepair& engine, FrontEndPort& port,
            CRecoveryThread* worker) {
  JobKind kind = state.repairRequested       ? JobKind::Repair
                 : state.showObjectRequested ? JobKind::ShowObject
                 : state.saveRequested       ? JobKind::Save
                                             : JobKind::None;
  try {
    InputWatch input(state.databasePath);
    port.JobState(kJobStarted);
    if (kind == JobKind::Repair) RunRepairBody(state, engine, port, input, worker);
    if (kind == JobKind::ShowObject) RunShowObjectBody(state, engine, port);
    if (kind == JobKind::Save) RunSaveBody(state, engine, port, input);
    if (state.stopRequested) RunStopHandling(state, port, kind);
    // A job that ended before a check of its own (a show, a stop, a failed open or
    // save) is compared here. One that checked when its reads ended is not asked
    // again: a change after them changed nothing it found.
    if (!input.Checked()) input.Changed();
    input.Report(port);
  } catch (const std::exception& e) {
    // The engine is built not to throw; whatever slips through ends this job only.
    // The output connection of a save closed as the save unwound.
    state.openFailed = 0;
    port.LogLine(std::string("Unexpected error: ") + e.what());
  } catch (...) {
    state.openFailed = 0;
    port.LogLine("Unexpected error.");
  }
  port.JobState(kJobEnded);
  state.stopRequested = 0;
  state.workerBusy = 0;
}

std::unique_ptr<CRecoveryThread> StartRepairJob(RepairState& state, CSqliteRepair& engine,
                                                FrontEndPort& port, const std::string& path,
                                                bool includeDeleted) {
  if (state.workerBusy) return nullptr;
  state.includeDeletedRecords = includeDeleted ? 1 : 0;
  port.ResetWorkspace();
  port.CheckTopItem();
  auto worker = std::make_unique<CRecoveryThread>(state, engine, port);
  worker->jobPath = path;
  state.runPath = path;
  state.saveRequested = 0;
  state.repairRequested = 1;
  state.workerBusy = 1;
  worker->Resume();
  return worker;
}

std::unique_ptr<CRecoveryThread> StartShowObjectJob(RepairState& state, CSqliteRepair& engine,
                                                    FrontEndPort& port, const std::string& name,
                                                    ObjectCategory category) {
  if (state.workerBusy) return nullptr;
  auto worker = std::make_unique<CRecoveryThread>(state, engine, port);
  state.selectedItemText = name;
  state.selectedObjectName = name;
  state.tableSelected = category == ObjectCategory::Table;
  state.viewSelected = category == ObjectCategory::View;
  state.indexSelected = category == ObjectCategory::Index;
  state.triggerSelected = category == ObjectCategory::Trigger;
  state.showObjectRequested = 1;
  state.workerBusy = 1;
  worker->Resume();
  return worker;
}

std::unique_ptr<CRecoveryThread> StartSaveJob(RepairState& state, CSqliteRepair& engine,
                                              FrontEndPort& port) {
  if (state.workerBusy) return nullptr;
  auto worker = std::make_unique<CRecoveryThread>(state, engine, port);
  state.saveRequested = 1;
  state.showObjectRequested = 0;
  state.repairRequested = 0;
  state.msgSelectTables = 0;
  state.workerBusy = 1;
  worker->Resume();
  return worker;
}

void ReleaseRecovery(RepairState& state, CSqliteRepair& engine) {
  if (state.workerBusy) return;
  engine.ClearObjectLists();
  engine.ClearPropertyLists();
}

}  // namespace job
