// The worker thread of one job (repair, show object or save), and the starters that
// create one. A new job always gets a new thread; nothing reuses one.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"

class CSqliteRepair;

class CRecoveryThread {
 public:
  // Created "suspended": the thread does not exist until Resume(). The state, engine
  // and port must outlive the thread.
  CRecoveryThread(job::RepairState& state, CSqliteRepair& engine, job::FrontEndPort& port);
  // Waits for the thread if it still runs (it clears workerBusy as its last act, so
  // this wait is short once a job has ended).
  ~CRecoveryThread();
  CRecoveryThread(const CRecoveryThread&) = delete;
  CRecoveryThread& operator=(const CRecoveryThread&) = delete;

  // Starts the job. Call once, after the request fields of RepairState are written.
  void Resume();
  // Waits until the job has ended. For front ends that have nothing else to do.
  void Join();

  // The path the repair start hands over; the job reads the file through
  // databasePath, not through this.
  std::string jobPath;

 private:
  job::RepairState& state_;
  CSqliteRepair& engine_;
  job::FrontEndPort& port_;
  std::thread thread_;
};

namespace job {

// Performs the job that the request fields of `state` describe: start and end
// notifications, the body of the first requested job, the stop handling. Never
// throws: anything unexpected is logged and the job ends cleanly. `worker` is the
// thread running it, whose job path a successful repair empties (may be null).
// The size and modification time of databasePath are taken at the start and again
// at the end: a file that changed while the job read it gets a log line and
// InputChanged, and the repair or save does not end as a clean success.
void RunJob(RepairState& state, CSqliteRepair& engine, FrontEndPort& port,
            CRecoveryThread* worker = nullptr);

// The starters. Each starts nothing, writes nothing and sends nothing while a job
// runs (workerBusy set) and returns null then; otherwise it returns the running
// job's thread, which the caller keeps (and may join). Window thread (or the
// console's main thread) only.
std::unique_ptr<CRecoveryThread> StartRepairJob(RepairState& state, CSqliteRepair& engine,
                                                FrontEndPort& port, const std::string& path,
                                                bool includeDeleted);

// The save job: writes the checked objects (checkedTables, checkedViews,
// checkedTriggers) into a new database in destinationFolder.
std::unique_ptr<CRecoveryThread> StartSaveJob(RepairState& state, CSqliteRepair& engine,
                                              FrontEndPort& port);

// The categories of the object tree under which a clicked leaf stands.
enum class ObjectCategory { Table, View, Index, Trigger };

// The show-object job for the leaf `name` under `category`.
std::unique_ptr<CRecoveryThread> StartShowObjectJob(RepairState& state, CSqliteRepair& engine,
                                                    FrontEndPort& port, const std::string& name,
                                                    ObjectCategory category);

// Exit: the engine lets go of the recovered lists and the open file's objects. No
// job may run. Window thread only.
void ReleaseRecovery(RepairState& state, CSqliteRepair& engine);

}  // namespace job
