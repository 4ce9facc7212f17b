#include "engine/writer/table_copy.h"

#include <algorithm>
#include <iterator>

#include <sqlite3.h>

#include "engine/reader/btree_walks.h"
#include "engine/records/deleted_records.h"
#include "engine/records/live_records.h"
#include "engine/records/table_row.h"
#include "engine/schema/deleted_table_ddl.h"
#include "engine/writer/output_connection.h"
#include "engine/writer/table_inserter.h"

namespace engine::writer {
namespace {

constexpr int64_t kCopyProgressRange = 100000;

// Inserts each record it is given, counting what the output took and refused.
class InsertSink : public RowSink {
 public:
  InsertSink(TableInserter& inserter, TableReport& report, const TableRowShape& shape, int aliasRecord)
      : inserter_(inserter), report_(report), shape_(shape), aliasRecord_(aliasRecord) {}

  void Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) override {
    if (report_.companion) ++report_.present;
    // A companion's cut values are counted where they were carved (carvedFrom).
    else report_.cutValues += CountCutValues(values);
    if (!report_.committed) return;  // the transaction is lost: nothing more can land
    // The output table's columns are in declared order; a table without rowid
    // stores its key first.
    shape_.ToDeclaredOrder(values, scratch_);
    // The rowid column itself is the rowid, as SQLite reads it, whatever a damaged
    // record stores there.
    if (rowidKnown && aliasRecord_ >= 0 && static_cast<size_t>(aliasRecord_) < values.size()) {
      values[aliasRecord_].value = Value::Integer(rowid);
    }
    if (values.size() > inserter_.StoredCount()) ++report_.extraValues;
    std::string why;
    if (inserter_.Insert(values, rowidKnown, rowid, &why)) {
      ++report_.written;
    } else if (IsWriteFailure(inserter_.LastCode())) {
      report_.committed = false;
      report_.commitError = why;
    } else if (report_.refused++ == 0) {
      report_.firstRefusal = why;
    }
  }

 private:
  TableInserter& inserter_;
  TableReport& report_;
  const TableRowShape& shape_;
  int aliasRecord_;
  std::vector<RecordValue> scratch_;
};

// Runs the copy between BEGIN and COMMIT; a failure of either, or of a write, is
// the table's and the transaction is rolled back.
template <typename F>
void InTransaction(sqlite3* output, TableReport& report, F copy) {
  std::string error;
  if (!Exec(output, "BEGIN", &error)) {
    report.committed = false;
    report.commitError = error;
    return;
  }
  copy();
  if (report.committed && !Exec(output, "COMMIT", &error)) {
    report.committed = false;
    report.commitError = error;
  }
  if (!report.committed) {
    // What the transaction held is gone with it: none of its records is in the output.
    Exec(output, "ROLLBACK");
    report.written = 0;
  }
}

}  // namespace

void CopyTable(const Database& db, const Schema& schema, const TableEntry& entry, sqlite3* output,
               const std::set<std::string>& createdHere, bool schemaShown, Work& work,
               TableReport& report) {
  work.Port().ShowRecordCount(0);
  const TableRowShape shape(entry);
  // A companion's rows are the deleted records carved out of its table's leaf
  // pages; they go into "<name>_deleted", created from BuildDeletedTableDdl.
  if (IsCarvedCompanionName(entry.name)) {
    report.companion = true;
    if (!output || !report.created) return;
    TableInserter inserter;
    if (!inserter.Open(output, CompanionTableName(entry), false, -1, &report.receiveError)) {
      report.received = false;
      return;
    }
    report.read = true;
    InsertSink sink(inserter, report, shape, -1);
    InTransaction(output, report,
                  [&] { CarveDeletedRecords(db, schema, entry, work, true, sink, &report.carvedFrom); });
    report.cutShort = work.Stopped();
    work.FinishBar();
    return;
  }
  if (!output) return;

  work.StartBar(kCopyProgressRange);
  // A table without rowid is read from its index tree as it is walked.
  std::vector<uint64_t> leaves;
  if (entry.withoutRowid) {
    if (entry.rootPage > 1 && db.pages.IsValidPage(static_cast<uint64_t>(entry.rootPage))) {
      leaves.push_back(static_cast<uint64_t>(entry.rootPage));
    }
  } else if (entry.leavesAttributed) {
    leaves = entry.leafPages;
  } else if (entry.rootPage > 0) {
    leaves = CollectTableLeaves(db, static_cast<uint64_t>(entry.rootPage), &work);
  }
  std::sort(leaves.begin(), leaves.end());
  // The pages of its own tree first, then those found outside it, counted apart.
  std::vector<uint64_t> outside;
  if (!entry.outsidePages.empty()) {
    outside = entry.outsidePages;
    std::sort(outside.begin(), outside.end());
  }
  if (!entry.withoutRowid && !outside.empty()) {
    std::vector<uint64_t> own;
    std::set_difference(leaves.begin(), leaves.end(), outside.begin(), outside.end(), std::back_inserter(own));
    leaves.swap(own);
  }
  auto readLive = [&](LiveBar& bar, RowSink& sink) -> uint64_t {
    if (entry.withoutRowid) {
      const uint64_t cells = leaves.empty() ? 0 : ReadIndexRecords(db, leaves.front(), work, bar, sink);
      report.outside = ReadIndexLeafRecords(db, outside, work, bar, sink);
      return cells + report.outside;
    }
    // A lost-and-found table counts its own records only, all from outside any tree.
    ValueCountFilter rows(sink, entry.lostValueCount);
    const uint64_t cells = ReadLiveRecords(db, leaves, work, bar, rows);
    report.outside = ReadLiveRecords(db, outside, work, bar, rows);
    if (entry.lostValueCount != 0) return report.outside = rows.Passed();
    return cells + report.outside;
  };
  // Nothing to copy from an internal table SQLite keeps itself, from a name ending
  // in "(deleted)" (the entry "CalendarCache(deleted)"), or from a table without
  // pages; the summary follows all the same.
  if (!db.IsOpen() || (leaves.empty() && outside.empty()) || IsInternalTableName(entry.name) ||
      EndsWithDeletedSuffix(entry.name)) {
    work.FinishBar();
    return;
  }
  if (!schemaShown) {
    work.FinishBar();
    return;
  }
  TableInserter inserter;
  // A table the output held before this save created anything (a virtual table's
  // shadow tables) has its rows replaced by the recovered ones.
  const bool replaceRows = !createdHere.count(entry.name);
  LiveBar bar{true, false};
  if (!report.created ||
      !inserter.Open(output, entry.name, replaceRows, shape.AliasRecordIndex(), &report.receiveError)) {
    // The records are still counted, so the summary says how many were lost.
    if (report.created) report.received = false;
    CallbackSink count([](std::vector<RecordValue>&, bool, int64_t) {});
    report.present = readLive(bar, count);
    if (bar.running) work.FinishBar();
    return;
  }
  report.read = true;
  InsertSink sink(inserter, report, shape, shape.AliasRecordIndex());
  InTransaction(output, report, [&] { report.present = readLive(bar, sink); });
  // What was read before a stop is kept, but the table is not reported saved.
  report.cutShort = work.Stopped();
  if (bar.running) work.FinishBar();
}

}  // namespace engine::writer
