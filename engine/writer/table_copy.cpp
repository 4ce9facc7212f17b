// The copy of one table's records into the output database.
#include <algorithm>
#include <cctype>

#include <sqlite3.h>

#include "engine/reader/sqlite_repair.h"
#include "engine/schema/create_table_parser.h"
#include "engine/writer/output_connection.h"
#include "engine/writer/table_inserter.h"

using job::Notification;
using namespace engine;

namespace {

constexpr int64_t kCopyProgressRange = 100000;

}  // namespace

void CSqliteRepair::CopyDeletedRecords(const TableEntry& entry) {
  sqlite3* db = state_.outputDatabase;
  const std::string base = entry.name.substr(0, entry.name.size() - std::string(kDeletedSuffix).size());
  const std::string table = base + "_deleted";
  writer::TableInserter inserter;
  std::string error;
  if (!inserter.Open(db, table, false, &error)) {
    Log("Table " + table + " cannot receive records: " + error);
    return;
  }
  // The bar counts leaf pages; it steps once per freeblock and once per page.
  CollectTableLeaves(entry.rootPage);
  Notify(Notification::Progress, static_cast<int64_t>(tableLeafPages.size()), job::kProgressStart);
  writer::Exec(db, "BEGIN");
  std::vector<RecordValue> values;
  CarveDeletedRecords(entry, [&](CarvedRecord& record) {
    values.resize(record.values.size());
    for (size_t i = 0; i < values.size(); ++i) std::swap(values[i].value, record.values[i]);
    if (inserter.Insert(values, record.rowidKnown, record.rowid, nullptr)) ++state_.recordsWritten;
  });
  writer::Exec(db, "COMMIT");
  Notify(Notification::Progress, 0, job::kProgressFinish);
  tableInteriorQueue.clear();
  tableLeafPages.clear();
}

void CSqliteRepair::CopyTable(const TableEntry& entry) {
  state_.recordsPresent = 0;
  state_.recordsWritten = 0;
  state_.recordCounter = 0;
  currentTable = &entry;
  Notify(Notification::ShowRecordCount, 0, 0);
  sqlite3* db = state_.outputDatabase;
  // A companion's rows are the deleted records carved out of its table's leaf pages;
  // they go into "<name>_deleted", created from BuildDeletedTableDdl.
  if (IsCarvedCompanionName(entry.name)) {
    if (db) CopyDeletedRecords(entry);
    return;
  }
  if (!db) return;

  tableInteriorQueue.clear();
  tableLeafPages.clear();
  Notify(Notification::Progress, kCopyProgressRange, job::kProgressStart);
  state_.primaryKeyNames.clear();
  ExtractPrimaryKeyNames(entry.sql, state_.primaryKeyNames);
  CollectTableLeaves(entry.rootPage);
  std::sort(tableLeafPages.begin(), tableLeafPages.end());

  const bool internal =
      EqualIgnoringCase(entry.name, "sqlite_stat1") || EqualIgnoringCase(entry.name, "sqlite_sequence");
  bool barRunning = true;
  if (!state_.fileHandle || tableLeafPages.empty() || internal || EndsWithDeletedSuffix(entry.name)) {
    // Nothing to copy; the summary follows.
  } else if (state_.schemaMarker != job::kSchemaMarkerFilled) {
    Notify(Notification::Progress, 0, job::kProgressFinish);
    barRunning = false;
  } else {
    writer::TableInserter inserter;
    std::string error;
    // A table the output held before this save created anything (a virtual table's
    // shadow tables) has its rows replaced by the recovered ones.
    const bool replaceRows = !createdTables_.count(entry.name);
    const bool ready = inserter.Open(db, entry.name, replaceRows, &error);
    if (!ready) Log("Table " + entry.name + " cannot receive records: " + error);
    uint64_t dropped = 0;
    uint64_t failed = 0;
    std::string firstFailure;
    writer::Exec(db, "BEGIN");
    state_.recordsPresent = ReadLiveRecords(false, barRunning, [&](int64_t rowid) {
      if (!ready) return;
      // The rowid column itself stores NULL: its value is the rowid.
      const int alias = inserter.RowidAliasColumn();
      if (alias >= 0 && static_cast<size_t>(alias) < recordValues_.size() &&
          recordValues_[alias].value.kind == Value::Kind::Null) {
        recordValues_[alias].value = Value::Integer(rowid);
      }
      if (recordValues_.size() > inserter.ColumnCount()) ++dropped;
      std::string why;
      if (inserter.Insert(recordValues_, true, rowid, &why)) {
        ++state_.recordsWritten;
      } else if (failed++ == 0) {
        firstFailure = why;
      }
    });
    writer::Exec(db, "COMMIT");
    if (barRunning) Notify(Notification::Progress, 0, job::kProgressFinish);
    barRunning = false;
    if (dropped) {
      Log("Table " + entry.name + ": " + std::to_string(dropped) +
          " record(s) had more values than the table has columns; the extra values were left out.");
    }
    if (failed && ready) {
      Log("Table " + entry.name + ": " + std::to_string(failed) +
          " record(s) could not be written (" + firstFailure + ").");
    }
  }
  if (barRunning) Notify(Notification::Progress, 0, job::kProgressFinish);

  Log("");
  Log("Table name   : " + entry.name);
  Log("Total record(s) present    : " + std::to_string(state_.recordsPresent));
  Log("Total record(s) repaired    : " + std::to_string(state_.recordsWritten));
  tableInteriorQueue.clear();
  tableLeafPages.clear();
  state_.primaryKeyNames.clear();
}
