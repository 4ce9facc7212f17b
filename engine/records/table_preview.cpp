#include "engine/records/table_preview.h"

#include <algorithm>

#include "engine/reader/btree_walks.h"
#include "engine/records/deleted_records.h"
#include "engine/records/live_records.h"

namespace engine {
namespace {

constexpr int64_t kPreviewProgressRange = 100000;
constexpr int64_t kCarveProgressRange = 10000;

std::vector<std::string> ColumnNames(const TableEntry& entry) {
  std::vector<std::string> names;
  for (const columndata& c : entry.columns) names.push_back(c.name);
  return names;
}

}  // namespace

void GridRowSink::Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) {
  // One record is one grid row: a cell for each declared column. Values past them
  // (a CREATE text cut short) stay out of the grid; the save logs them.
  for (size_t c = 0; c < shape_.ColumnCount(); ++c) {
    bool storedInCell = false;
    shape_.ColumnValue(c, values, rowidKnown, rowid, cell_.value, &storedInCell);
    WriteGridText(cell_.value, shape_.TypeClass(c), storedInCell, cell_.text);
    cell_.column = static_cast<int32_t>(c);
    port_.GridData(cell_);
  }
}

void PreviewTable(const Database& db, const Schema& schema, const TableEntry& entry,
                  const PreviewRequest& request, Work& work) {
  job::FrontEndPort& port = work.Port();
  port.ShowRecordCount(0);
  const TableRowShape shape(entry);
  GridRowSink grid(port, shape);
  if (request.objectJob) {
    port.GridColumns(ColumnNames(entry));
    port.ClearGridRows();
  }
  // A companion stands for the table's deleted records, which are carved out of
  // freed space rather than read from cells. "CalendarCache(deleted)" has always
  // been shown as a live table.
  if (IsCarvedCompanionName(entry.name)) {
    work.StartBar(kCarveProgressRange);
    if (request.schemaShown) CarveDeletedRecords(db, schema, entry, work, false, grid);
    work.FinishBar();
    return;
  }
  work.StartBar(kPreviewProgressRange);
  if (entry.withoutRowid) {
    // The rows of a table without rowid stand in its index tree, shown in key order.
    LiveBar bar{true, true};
    if (db.IsOpen() && request.schemaShown && entry.rootPage > 1) {
      ReadIndexRecords(db, static_cast<uint64_t>(entry.rootPage), work, bar, grid);
    }
    // Then the leaves found outside its tree, in the order they lie in the file.
    if (db.IsOpen() && request.schemaShown && !entry.outsidePages.empty()) {
      std::vector<uint64_t> outside = entry.outsidePages;
      std::sort(outside.begin(), outside.end());
      ReadIndexLeafRecords(db, outside, work, bar, grid);
    }
    if (bar.running) work.FinishBar();
    return;
  }
  // The walk drives the bar as it always has, also where the pages were attributed.
  std::vector<uint64_t> leaves =
      entry.rootPage > 0 ? CollectTableLeaves(db, static_cast<uint64_t>(entry.rootPage), &work)
                         : std::vector<uint64_t>{};
  if (entry.leavesAttributed) leaves = entry.leafPages;
  // Leaf pages in the order they lie in the file, not in key order.
  std::sort(leaves.begin(), leaves.end());
  LiveBar bar{true, true};
  if (!db.IsOpen() || leaves.empty() || !request.schemaShown) {
    work.FinishBar();
    bar.running = false;
  } else {
    ValueCountFilter rows(grid, entry.lostValueCount);
    ReadLiveRecords(db, leaves, work, bar, rows);
  }
  if (bar.running) work.FinishBar();
}

}  // namespace engine
