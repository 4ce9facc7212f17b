// The repair engine: reads a damaged SQLite 3 file itself, page by page, and keeps
// what it recovers. One object serves the whole run; its operations live in the
// engine's folders (reader, schema, records, writer).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/reader/page_reader.h"
#include "engine/reader/format.h"
#include "engine/reader/record.h"
#include "engine/records/record_values.h"
#include "engine/records/record_carver.h"
#include "engine/records/value.h"
#include "engine/schema/schema_entries.h"
#include "job/front_end_port.h"
#include "job/repair_state.h"

class CSqliteRepair {
 public:
  // `state` and `notifyWindow` must outlive the engine. Thread: every operation runs
  // on the worker thread of the current job; front ends read the lists and counts
  // only while the worker waits inside a notification or after the job has ended.
  CSqliteRepair(job::RepairState& state, job::FrontEndPort& notifyWindow);

  // --- File access and header (open_database.cpp) ---

  // Opens databasePath read-only, checks the header, takes the page size and lists
  // the master table's leaf pages. On failure sets openFailed and shows the open
  // message; the scans then find nothing.
  void OpenDatabaseFile();
  void ClearObjectLists();
  void ClearPropertyLists();
  // Classifies the children of one master-table interior page at `pageOffset`.
  void VisitMasterInterior(int64_t pageOffset);

  // --- Table b-tree walks (btree_walks.cpp) ---

  // Appends the leaf pages of the tree rooted at `rootPage` to tableLeafPages, with
  // progress steps to a bar the caller started.
  void CollectTableLeaves(int64_t rootPage);
  // Sets freedSpaceSeen when a leaf of the tree has a freeblock.
  void ProbeFreedSpace(int64_t rootPage);
  // Appends the offsets of the freeblocks of the leaf page at `pageOffset`, starting
  // at `firstFreeblock`, to freeblockOffsets.
  void CollectFreeblocks(int64_t pageOffset, uint16_t firstFreeblock);

  // --- Schema recovery (engine/schema) ---

  // Read the master table's leaf pages for records of type "table", "view" and
  // "trigger" and append the recovered objects to tableList, viewList and
  // triggerList. Each returns early on a stop request.
  void ScanTables();
  void ScanViews();
  void ScanTriggers();
  // Fills parsedColumns from a CREATE TABLE text.
  void ParseCreateTable(const std::string& createSql);
  // The CREATE TABLE statement of the "_deleted" table of companion `entry`, which
  // becomes the current table.
  std::string BuildDeletedTableDdl(const engine::TableEntry& entry);

  // --- Record recovery (engine/records) ---

  // Sends every live record of `entry` to the grid, value by value (GridData), with
  // the value's column in cellColumn, its text in cellText and the value itself in
  // cellValue. Leaf pages are read in ascending file offset.
  void PreviewTable(const engine::TableEntry& entry);

  // --- Repaired database writer (engine/writer) ---

  // Creates the output database in destinationFolder and writes the checked tables,
  // "(deleted)" companions, views and triggers into it. Reports through the log, the
  // object notifications and a closing message.
  void SaveRepairedDatabase();
  void CreateCheckedTables();
  void CopyCheckedTables();
  // Writes the records of `entry` into its table of the output database.
  void CopyTable(const engine::TableEntry& entry);

  std::string savedObjectName;  // the object just saved, for ObjectSaved

  // The leaf pages of the freelist that still hold a table leaf page's layout: pages
  // SQLite freed when a table shrank, whose cells are old rows. Each once. The
  // freelist's trunk pages go to `trunks` when given.
  std::vector<uint64_t> FreedTableLeaves(std::vector<uint64_t>* trunks = nullptr);

  // Carves the deleted records of companion `entry`'s table out of the freeblocks and
  // unallocated gaps of its leaf pages, and out of freed leaf pages whose records fit
  // no other table, and hands each to `onRecord` once; records that equal a live row
  // of the table (old copies of moved cells) are left out. One Progress step per
  // freeblock and per page.
  void CarveDeletedRecords(const engine::TableEntry& entry,
                           const std::function<void(engine::CarvedRecord&)>& onRecord);

  // The grid's message slot, valid while a GridData notification is handled.
  const engine::columndata* cellColumn = nullptr;
  std::string cellText;
  engine::Value cellValue;

  // Reading-side results.
  uint8_t freedSpaceSeen = 0;
  int32_t tableCount = 0;
  int32_t viewCount = 0;
  int32_t triggerCount = 0;
  std::vector<engine::TableEntry> tableList;
  std::vector<engine::ViewEntry> viewList;
  std::vector<engine::TriggerEntry> triggerList;
  std::vector<int64_t> masterLeafPages;
  std::vector<int64_t> masterInteriorQueue;
  std::vector<std::string> propertyLines;
  std::vector<int64_t> freeblockOffsets;
  std::vector<int64_t> tableLeafPages;
  std::vector<int64_t> tableInteriorQueue;
  std::vector<engine::columndata> parsedColumns;
  const engine::TableEntry* currentTable = nullptr;

  // What the open learnt of the file, for the record side.
  uint32_t usableSize = 0;  // page size minus the reserved bytes at the end of each page
  engine::format::TextEncoding textEncoding = engine::format::TextEncoding::Utf8;
  bool pageSizeInferred = false;  // the stored page size was unusable

  const engine::PageReader& Pages() const { return pages_; }

 private:
  bool ReadHeader();
  void WalkMasterTable();
  void ClassifyPage1Child(uint64_t child);
  void FailOpen();
  // Non-zero bytes in the unallocated gap of leaf `pageNumber`, whose first 8 header
  // bytes are `header`.
  bool LeafGapHoldsData(uint64_t pageNumber, const uint8_t* header);
  struct SchemaRecord;
  // Calls `onRecord` for each master record of type `type` on masterLeafPages, in
  // page and cell order; Progress steps per page when `progress`. False on a stop.
  bool ForEachSchemaRecord(std::string_view type, bool progress,
                           const std::function<void(const SchemaRecord&)>& onRecord);
  // Reads every cell of tableLeafPages (in list order) into recordValues_ and calls
  // `onRecord` with its rowid; Progress steps per cell and per page while
  // `barRunning`. Returns the number of cells visited.
  uint64_t ReadLiveRecords(bool emptyPageEndsBar, bool& barRunning,
                           const std::function<void(int64_t rowid)>& onRecord);
  void PreviewDeletedRecords(const engine::TableEntry& entry);
  void CopyDeletedRecords(const engine::TableEntry& entry);
  void SendRecordValues(const engine::TableEntry& entry, const std::vector<int16_t>& classes,
                        const std::vector<bool>& realColumns, int64_t rowid, size_t keyNames);
  bool StopRequested() const { return state_.stopRequested.load() != 0; }
  void Notify(job::Notification n, int64_t first, int64_t second) {
    notifyWindow_.Send(n, first, second);
  }

  job::RepairState& state_;
  job::FrontEndPort& notifyWindow_;
  engine::PageReader pages_;
  void Log(const std::string& text);
  void FailSave(const std::string& logLine, const std::string& message);

  std::unordered_set<uint64_t> visited_;
  std::vector<uint8_t> gapBuffer_;
  std::unordered_set<std::string> createdTables_;  // tables this save created itself
  std::vector<engine::RecordValue> recordValues_;  // the record in hand
  std::vector<engine::RecordField> recordFields_;  // pages a walk has reached, each walk its own
};
