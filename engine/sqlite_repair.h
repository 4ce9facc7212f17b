// The repair engine's facade: the operations the jobs call, each a short delegation
// to the engine's folders (reader, schema, records, writer). It keeps the open
// database and the recovered schema between jobs, and nothing else.
#pragma once

#include <functional>
#include <string>

#include "engine/reader/database.h"
#include "engine/schema/schema_entries.h"
#include "engine/writer/save_report.h"
#include "job/contract/front_end_port.h"
#include "job/contract/repair_state.h"


class CSqliteRepair {
 public:
  // `state` and `port` must outlive the engine. Thread: every operation runs on the
  // worker thread of the current job; the schema may be read by the job's starter
  // only while no job runs.
  CSqliteRepair(job::RepairState& state, job::FrontEndPort& port);

  // --- Repair ---

  // Forget the previous run's objects.
  void ClearObjectLists();
  void ClearPropertyLists();
  // Opens databasePath read-only, checks the header, takes the page size and lists
  // the master table's leaf pages. False, with openFailed set and the reason in
  // `reason`, when the file cannot be read as an SQLite 3 database; the scans then
  // find nothing. Shows no dialog: the job does.
  bool OpenDatabaseFile(std::string* reason = nullptr);
  // The scans of the master table; each returns early on a stop request.
  void ScanTables();
  void ScanViews();
  void ScanTriggers();
  // Classifies every page of the file and gives each table the leaf pages whose
  // rows are its own: those of its tree that fit it, those another tree reached,
  // and stray ones. After the scans; returns early on a stop request.
  void FindStrayPages();

  // What the last repair recovered.
  const engine::Schema& RecoveredSchema() const { return schema_; }
  // The page size the file is read with, and the stored one it replaced (0 when the
  // header's own was used).
  uint32_t PageSize() const { return db_.pages.PageSize(); }
  uint32_t ReplacedPageSize() const { return db_.storedPageSize; }
  // What the write-ahead log beside the file gave, or null when there was none.
  const engine::WalSummary* WriteAheadLog() const { return db_.wal ? &db_.wal->Summary() : nullptr; }
  // What reading the rollback journal beside the file found, or null when none lies there.
  const engine::JournalSummary* RollbackJournal() const { return db_.journal ? &db_.journal->Summary() : nullptr; }
  // The open database (for tests and benchmarks that drive the reader directly).
  const engine::Database& OpenedDatabase() const { return db_; }

  // --- Show object ---

  // Shows the records of `entry` in the grid through the port (a companion's carved
  // records); the grid is set up first in a show-object job.
  void PreviewTable(const engine::TableEntry& entry);

  // --- Save ---

  // Writes the checked objects of RepairState into a new database in
  // destinationFolder; outputPath and outputOpened tell where it went. `onTable`
  // hears of each table as soon as it is copied.
  engine::writer::SaveReport SaveRepairedDatabase(
      const std::function<void(const engine::writer::TableReport&)>& onTable = {});

 private:
  // Tables "lost_and_found_N" for the records of `pages` no table took.
  void AddLostAndFound(const std::vector<uint64_t>& pages);

  job::RepairState& state_;
  job::FrontEndPort& port_;
  engine::Database db_;
  engine::Schema schema_;
};
