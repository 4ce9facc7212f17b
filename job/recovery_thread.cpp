#include "job/recovery_thread.h"

#include <exception>

#include <sqlite3.h>

#include "engine/reader/sqlite_repair.h"
#include "job/format_now.h"
#include "job/log_line.h"

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

void RunStopHandling(RepairState& state, FrontEndPort& port, JobKind kind) {
  port.Send(Notification::Progress, 0, kProgressFinish);
  WriteLogLine(state, port, "Process stopped by user on " + FormatNow());
  state.saveRequested = 0;
  state.msgStoppedByUser = 1;
  port.ShowModal(Dialog::CMessageOk);
  state.stopRequested = 0;
  if (kind == JobKind::ShowObject) state.showObjectRequested = 0;
}

void RunRepairBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port,
                   CRecoveryThread* worker) {
  WriteLogLine(state, port, "");
  const std::string startTime = FormatNow();
  engine.ClearObjectLists();
  engine.ClearPropertyLists();
  // All four always run, in this order; each returns early on a stop request, and the
  // scans find nothing after a failed open.
  engine.OpenDatabaseFile();
  engine.ScanTables();
  engine.ScanViews();
  engine.ScanTriggers();
  if (state.stopRequested || state.openFailed) {
    state.openFailed = 0;
    return;
  }

  state.repairCompleted = 1;
  port.Send(Notification::RepairDone, 1, 0);
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
      "Total Table(s) present     : " + std::to_string(engine.tableCount),
      "Total View(s) present      : " + std::to_string(engine.viewCount),
      "Total Trigger(s) present  : " + std::to_string(engine.triggerCount),
      "",
      "Repairing process completed on " + FormatNow(),
  };
  for (const std::string& line : lines) WriteLogLine(state, port, line);
  port.ShowModal(Dialog::CRepairedSuccessfully);
}

void RunSaveBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port) {
  WriteLogLine(state, port, "");
  WriteLogLine(state, port, "Saving process started on " + FormatNow());
  engine.SaveRepairedDatabase();
  if (state.outputDatabase) {
    sqlite3_close(state.outputDatabase);
    state.outputDatabase = nullptr;
  }
  if (state.outputOpened) state.selectedItemText.clear();
}

void RunShowObjectBody(RepairState& state, CSqliteRepair& engine, FrontEndPort& port) {
  const bool schemaShown = state.schemaMarker == kSchemaMarkerFilled;
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
    walk(engine.tableList, [&](const engine::TableEntry& entry) {
      engine.PreviewTable(entry);
      port.Send(Notification::TableLoaded, 0, 0);
    });
  } else if (state.viewSelected) {
    walk(engine.viewList,
         [&](const engine::ViewEntry&) { port.Send(Notification::ShowViewSql, 0, 0); });
  } else if (state.triggerSelected) {
    walk(engine.triggerList,
         [&](const engine::TriggerEntry&) { port.Send(Notification::ShowTriggerSql, 0, 1); });
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
    port.Send(Notification::JobState, 0, kJobStarted);
    if (kind == JobKind::Repair) RunRepairBody(state, engine, port, worker);
    if (kind == JobKind::ShowObject) RunShowObjectBody(state, engine, port);
    if (kind == JobKind::Save) RunSaveBody(state, engine, port);
    if (state.stopRequested) RunStopHandling(state, port, kind);
  } catch (const std::exception& e) {
    if (state.outputDatabase) {
      sqlite3_close(state.outputDatabase);
      state.outputDatabase = nullptr;
    }
    // The engine is built not to throw; whatever slips through ends this job only.
    state.openFailed = 0;
    WriteLogLine(state, port, std::string("Unexpected error: ") + e.what());
  } catch (...) {
    state.openFailed = 0;
    WriteLogLine(state, port, "Unexpected error.");
  }
  port.Send(Notification::JobState, 0, kJobEnded);
  state.stopRequested = 0;
  state.workerBusy = 0;
}

bool StartRepairJob(RepairState& state, CSqliteRepair& engine, FrontEndPort& port,
                    const std::string& path, bool includeDeleted) {
  state.includeDeletedRecords = includeDeleted ? 1 : 0;
  engine.tableCount = 0;
  engine.viewCount = 0;
  engine.triggerCount = 0;
  port.Send(Notification::ResetWorkspace, 0, 0);
  port.Send(Notification::CheckTopItem, 0, 0);
  if (state.workerBusy) return false;
  auto worker = std::make_shared<CRecoveryThread>(state, engine, port);
  state.currentWorker = worker;
  worker->jobPath = path;
  state.runPath = path;
  state.saveRequested = 0;
  state.repairRequested = 1;
  state.workerBusy = 1;
  worker->Resume();
  return true;
}

bool StartShowObjectJob(RepairState& state, CSqliteRepair& engine, FrontEndPort& port,
                        const std::string& name, ObjectCategory category) {
  if (state.workerBusy) return false;
  auto worker = std::make_shared<CRecoveryThread>(state, engine, port);
  state.currentWorker = worker;
  state.selectedItemText = name;
  state.selectedObjectName = name;
  state.tableSelected = category == ObjectCategory::Table;
  state.viewSelected = category == ObjectCategory::View;
  state.indexSelected = category == ObjectCategory::Index;
  state.triggerSelected = category == ObjectCategory::Trigger;
  state.showObjectRequested = 1;
  state.workerBusy = 1;
  worker->Resume();
  return true;
}

bool StartSaveJob(RepairState& state, CSqliteRepair& engine, FrontEndPort& port) {
  if (state.workerBusy) return false;
  auto worker = std::make_shared<CRecoveryThread>(state, engine, port);
  state.currentWorker = worker;
  state.saveRequested = 1;
  state.showObjectRequested = 0;
  state.repairRequested = 0;
  state.msgSelectTables = 0;
  state.workerBusy = 1;
  worker->Resume();
  return true;
}

}  // namespace job
