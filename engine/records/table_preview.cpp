// The preview of a table's live records: every value of every record to the grid.
#include <algorithm>
#include <cctype>

#include "engine/reader/btree_page.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/sqlite_repair.h"
#include "engine/records/type_class.h"
#include "engine/schema/create_table_parser.h"

using job::Notification;
using namespace engine;

namespace {

constexpr int64_t kPreviewProgressRange = 100000;

}  // namespace

void CSqliteRepair::SendRecordValues(const TableEntry& entry, const std::vector<int16_t>& classes,
                                     const std::vector<bool>& realColumns, int64_t rowid,
                                     size_t keyNames) {
  const size_t columns = entry.columns.size();
  if (columns == 0) return;
  // Values past the table's columns are labelled with the last column; missing
  // ones (a column added after the record was written) are padded with NULL.
  const size_t count = std::max(recordValues_.size(), columns);
  for (size_t k = 0; k < count; ++k) {
    const size_t c = std::min(k, columns - 1);
    cellColumn = &entry.columns[c];
    if (k < recordValues_.size()) {
      RecordValue& v = recordValues_[k];
      // The sole primary-key column of a rowid table stores NULL: its value is the rowid.
      if (v.value.kind == Value::Kind::Null && entry.columns[c].primaryKey && keyNames < 2) {
        v.value = Value::Integer(rowid);
      }
      // SQLite stores a whole-number real of a REAL column as an integer and reads it
      // back as a real.
      if (v.value.kind == Value::Kind::Integer && realColumns[c]) {
        v.value.kind = Value::Kind::Real;
        v.value.real = static_cast<double>(v.value.integer);
      }
      WriteGridText(v.value, classes[c], v.storedInCell, cellText);
      std::swap(cellValue, v.value);  // both keep their storage for the next values
    } else {
      cellValue = Value::Null();
      cellText = "null";
    }
    Notify(Notification::GridData, 0, 0);
  }
}

uint64_t CSqliteRepair::ReadLiveRecords(bool emptyPageEndsBar, bool& barRunning,
                                        const std::function<void(int64_t rowid)>& onRecord) {
  std::vector<uint8_t> page;
  LeafCell cell;
  uint64_t cells = 0;
  const uint32_t pageSize = pages_.PageSize();
  for (int64_t offset : tableLeafPages) {
    if (StopRequested()) break;
    const uint64_t pageNumber = static_cast<uint64_t>(offset / pageSize) + 1;
    pages_.ReadPage(pageNumber, page);
    BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, pageNumber);
    for (uint32_t i = 0; i < h.cellCount && !StopRequested(); ++i) {
      ++cells;
      const uint32_t cellOffset = CellOffset(page.data(), usableSize, h, i);
      // A pointer or header that cannot be read names no record: nothing is sent.
      if (cellOffset != 0 &&
          ReadTableLeafCell(pages_, page.data(), usableSize, cellOffset, &cell) &&
          DecodeRecordValues(cell, textEncoding, recordFields_, recordValues_)) {
        onRecord(cell.rowid);
      }
      if (barRunning) Notify(Notification::Progress, 0, job::kProgressStep);
    }
    if (barRunning) {
      Notify(Notification::Progress, 0, job::kProgressStep);
      if (h.cellCount == 0 && emptyPageEndsBar) {
        Notify(Notification::Progress, 0, job::kProgressFinish);
        barRunning = false;
      }
    }
  }
  return cells;
}

void CSqliteRepair::PreviewTable(const TableEntry& entry) {
  state_.gridColumn = 0;
  state_.recordCounter = 0;
  currentTable = &entry;
  Notify(Notification::ShowRecordCount, 0, 0);
  // A companion stands for the table's deleted records, which are carved out of
  // freeblocks rather than read from cells. "CalendarCache(deleted)" has always been
  // shown as a live table.
  if (IsCarvedCompanionName(entry.name)) {
    PreviewDeletedRecords(entry);
    return;
  }
  if (!state_.saveRequested && state_.showObjectRequested) {
    Notify(Notification::GridData, 0, 1);
    Notify(Notification::ClearGridRows, 0, 0);
  }
  tableInteriorQueue.clear();
  tableLeafPages.clear();
  Notify(Notification::Progress, kPreviewProgressRange, job::kProgressStart);
  state_.primaryKeyNames.clear();
  ExtractPrimaryKeyNames(entry.sql, state_.primaryKeyNames);
  const size_t keyNames = state_.primaryKeyNames.size();
  CollectTableLeaves(entry.rootPage);
  std::sort(tableLeafPages.begin(), tableLeafPages.end());

  std::vector<int16_t> classes;
  std::vector<bool> realColumns;
  for (const columndata& c : entry.columns) {
    classes.push_back(ClassifyDeclaredType(c.declaredType));
    realColumns.push_back(AffinityOf(c.declaredType) == Affinity::Real);
  }

  bool barRunning = true;
  if (!state_.fileHandle || tableLeafPages.empty() ||
      state_.schemaMarker != job::kSchemaMarkerFilled) {
    Notify(Notification::Progress, 0, job::kProgressFinish);
    barRunning = false;
  } else {
    ReadLiveRecords(true, barRunning, [&](int64_t rowid) {
      SendRecordValues(entry, classes, realColumns, rowid, keyNames);
    });
  }
  if (barRunning) Notify(Notification::Progress, 0, job::kProgressFinish);
  tableInteriorQueue.clear();
  tableLeafPages.clear();
  state_.primaryKeyNames.clear();
}
