// The deleted records of a table: carved out of its leaf pages' freeblocks and
// unallocated gaps, and out of freed leaf pages whose cells fit it best.
#include "engine/records/deleted_records.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/btree_walks.h"
#include "engine/reader/coding.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/records/live_records.h"
#include "engine/records/record_carver.h"
#include "engine/records/row_hash.h"
#include "engine/records/table_row.h"
#include "engine/records/type_class.h"

namespace engine {
namespace {

// How well a record read from a freed page fits a table of `shape`: -1 not at
// all, else more the closer it fits (every column filled; with `aliasBonus`, a
// NULL where the rowid's column stands counts for that table).
int Fit(const std::vector<RecordValue>& values, const TableRowShape& shape, bool aliasBonus = false) {
  const std::vector<columndata>& columns = shape.StoredColumns();
  if (values.empty() || values.size() > columns.size()) return -1;
  const int alias = shape.AliasRecordIndex();
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i].value;
    if (static_cast<int>(i) == alias && v.kind != Value::Kind::Null) return -1;
    const bool number = v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real;
    if (number && ColumnAffinity(columns[i]) == Affinity::Text) return -1;
  }
  return (values.size() == columns.size() ? 4 : 2) + (aliasBonus && alias >= 0 ? 1 : 0);
}

// How well the records of one freed page fit a table together: the cells of a leaf
// page all belonged to one table, so one record that cannot be its row counts hard
// against it.
int PageFit(const std::vector<std::vector<RecordValue>>& records, const TableRowShape& shape,
            bool aliasBonus) {
  int total = 0;
  for (const auto& record : records) {
    const int fit = Fit(record, shape, aliasBonus);
    total += fit < 0 ? -8 : fit;
  }
  return total;
}

}  // namespace

void CarveDeletedRecords(const Database& db, const Schema& schema, const TableEntry& entry,
                         Work& work, bool startBar, RowSink& sink) {
  const TableRowShape shape(entry.columns);
  const size_t columns = shape.StoredCount();
  if (columns == 0 || !db.IsOpen()) {
    if (startBar) work.StartBar(0);
    return;
  }
  const uint32_t usable = db.usableSize;
  const std::vector<uint64_t> ownLeavesInOrder = CollectTableLeaves(db, entry.rootPage, nullptr);
  const std::vector<uint64_t> freedLeaves = FreedTableLeaves(db, &work);
  if (startBar) work.StartBar(static_cast<int64_t>(ownLeavesInOrder.size() + freedLeaves.size()));
  const int alias = shape.AliasRecordIndex();
  // The fingerprint of a record as SQLite would read it; `values` is normalised in
  // place (the callers hand scratch copies or records about to be handed on).
  auto Key = [&](std::vector<Value>& values, bool rowidKnown, int64_t rowid) {
    values.resize(columns);
    shape.Normalize(values, rowidKnown, rowid);
    return HashRow(values, alias);
  };

  // The live rows, so that an old copy of a moved cell is not taken for a deleted
  // row: a fingerprint each, not the rows' bytes.
  SortedRowHashes live;
  size_t fewestValues = columns;
  {
    LiveBar noBar{false, false};
    std::vector<Value> plain;
    CallbackSink liveSink([&](std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) {
      fewestValues = std::min(fewestValues, values.size());
      plain.resize(values.size());
      for (size_t i = 0; i < values.size(); ++i) plain[i] = values[i].value;
      live.Add(Key(plain, rowidKnown, rowid));
    });
    ReadLiveRecords(db, ownLeavesInOrder, work, noBar, liveSink);
    live.Seal();
  }

  RecordCarver carver(shape.StoredColumns(), fewestValues, db.textEncoding, usable, db.pages);
  // A record is handed on once, and never when it is a live row's old copy.
  RowHashSet emitted;
  std::vector<RecordValue> out;
  auto emit = [&](std::vector<CarvedRecord>& records) {
    for (CarvedRecord& record : records) {
      const RowHash key = Key(record.values, record.rowidKnown, record.rowid);
      if (live.Contains(key) || !emitted.Insert(key)) continue;
      out.resize(record.values.size());
      for (size_t i = 0; i < out.size(); ++i) {
        std::swap(out[i].value, record.values[i]);
        out[i].storedInCell = false;
      }
      sink.Row(out, record.rowidKnown, record.rowid);
    }
  };
  std::vector<uint8_t> page;
  std::vector<CarvedRecord> carved;
  // The records in the freeblocks of the leaf page held in `page`, and between its
  // cell pointers and its cell content, where a freed cell that bordered the content
  // was given back whole.
  auto CarvePage = [&](uint64_t pageNumber, const BtreePageHeader& h, std::vector<CarvedRecord>& found) {
    carver.StartPage(page.data(), h);
    if (h.firstFreeblock != 0) {
      for (uint32_t at : CollectFreeblocks(db, page.data(), pageNumber, h.firstFreeblock)) {
        const uint32_t size = ReadBigEndian16(page.data() + at + format::kFreeblockSizeOffset, page.data() + usable);
        carver.CarveFreeblock(page.data(), at, std::min<uint32_t>(at + size, usable), found);
        work.Step();
      }
    }
    const uint32_t gapStart = h.cellPointerStart + format::kCellPointerSize * h.cellCount;
    const uint32_t gapEnd = std::min(h.contentStart, usable);
    if (gapStart < gapEnd) carver.CarveGap(page.data(), gapStart, gapEnd, found);
    work.Step();
  };
  for (uint64_t pageNumber : ownLeavesInOrder) {
    if (work.Stopped()) break;
    db.pages.ReadPage(pageNumber, page);
    carved.clear();
    CarvePage(pageNumber, ParseBtreeHeader(page.data(), usable, pageNumber), carved);
    emit(carved);
  }

  // Leaf pages SQLite freed when the table shrank still hold their old cells whole.
  // A page is this table's when its cells fit this table better than any other;
  // a page without cells, when each record carved from it does.
  std::vector<RecordValue> values;
  std::vector<RecordField> fields;
  LeafCell cell;
  // Every other table a freed page could have belonged to, with its record shape.
  std::vector<std::pair<const TableEntry*, TableRowShape>> rivals;
  for (const TableEntry& other : schema.tableList) {
    if (&other != &entry && !other.deletedCompanion && other.rootPage != entry.rootPage) {
      rivals.emplace_back(&other, TableRowShape(other.columns));
    }
  }
  auto Beats = [&](const std::vector<std::vector<RecordValue>>& records, bool aliasBonus) {
    const int fit = PageFit(records, shape, aliasBonus);
    if (fit <= 0) return false;
    for (const auto& [other, otherShape] : rivals) {
      if (PageFit(records, otherShape, aliasBonus) >= fit) return false;
    }
    return true;
  };
  // Two tables alike but for the rowid's column: the rows of either can have NULL
  // there. The page is the table's with that column when it also holds a copy of
  // one of the table's rows, live or carved from its own pages (SQLite copied the
  // cells to a sibling before it freed the page), or else when it lies nearer the
  // table's pages than the other table's (a table's pages are mostly allocated
  // together).
  auto Sorted = [](std::vector<uint64_t> numbers) {
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  };
  const std::vector<uint64_t> ownLeaves = Sorted(ownLeavesInOrder);
  std::unordered_map<int64_t, std::vector<uint64_t>> othersLeaves;
  auto LeavesOf = [&](const TableEntry& other) -> const std::vector<uint64_t>& {
    auto found = othersLeaves.find(other.rootPage);
    if (found != othersLeaves.end()) return found->second;
    std::vector<uint64_t> numbers = Sorted(CollectTableLeaves(db, other.rootPage, nullptr));
    return othersLeaves.emplace(other.rootPage, std::move(numbers)).first->second;
  };
  auto Distance = [](const std::vector<uint64_t>& sorted, uint64_t number) {
    uint64_t best = UINT64_MAX;
    auto it = std::lower_bound(sorted.begin(), sorted.end(), number);
    if (it != sorted.end()) best = *it - number;
    if (it != sorted.begin()) best = std::min(best, number - *std::prev(it));
    return best;
  };
  auto FitsBest = [&](const std::vector<std::vector<RecordValue>>& records, bool holdsCopy,
                      uint64_t pageNumber) {
    if (Beats(records, false)) return true;
    if (!Beats(records, true)) return false;
    if (holdsCopy) return true;
    const int fit = PageFit(records, shape, false);
    const uint64_t own = Distance(ownLeaves, pageNumber);
    for (const auto& [other, otherShape] : rivals) {
      if (PageFit(records, otherShape, false) >= fit &&
          Distance(LeavesOf(*other), pageNumber) <= own) {
        return false;
      }
    }
    return true;
  };
  std::vector<std::vector<RecordValue>> cellRecords;
  std::vector<int64_t> cellRowids;
  std::vector<Value> plain;
  const uint64_t overflowAllowance = 2 * db.pages.PageCount() + 1024;
  uint64_t overflowReads = 0;
  OverflowClaims lateClaims(db.pages);
  for (uint64_t pageNumber : freedLeaves) {
    if (work.Stopped()) break;
    db.pages.ReadPage(pageNumber, page);
    BtreePageHeader h = ParseBtreeHeader(page.data(), usable, pageNumber);
    cellRecords.clear();
    cellRowids.clear();
    bool holdsLiveCopy = false;
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint32_t at = CellOffset(page.data(), usable, h, i);
      // Two freed pages may hold copies of one moved cell, whose chain both must
      // read whole to be recognised as that cell: chains are read again freely, up
      // to twice the file's pages in all; past that allowance each page serves one
      // chain, so crafted cells sharing a chain cannot cost cells x chain.
      const bool allowance = overflowReads < overflowAllowance;
      const bool read = at != 0 && ReadTableLeafCell(db.pages, page.data(), usable, at, &cell,
                                                     allowance ? nullptr : &lateClaims);
      if (read && cell.payload.size() > cell.localSize) {
        overflowReads += (cell.payload.size() - cell.localSize) / (usable - format::kOverflowPointerSize) + 1;
      }
      if (!read || !DecodeRecordValues(cell, db.textEncoding, fields, values)) continue;
      cellRecords.push_back(values);
      cellRowids.push_back(cell.rowid);
      plain.resize(values.size());
      for (size_t k = 0; k < values.size(); ++k) plain[k] = values[k].value;
      const RowHash key = Key(plain, true, cell.rowid);
      holdsLiveCopy = holdsLiveCopy || live.Contains(key) || emitted.Contains(key);
    }
    const bool pageIsOurs = !cellRecords.empty() && FitsBest(cellRecords, holdsLiveCopy, pageNumber);
    if (!cellRecords.empty() && !pageIsOurs) {
      work.Step();
      continue;
    }
    carved.clear();
    for (size_t r = 0; r < cellRecords.size(); ++r) {
      if (Fit(cellRecords[r], shape) < 0) continue;
      CarvedRecord record;
      record.rowidKnown = true;
      record.rowid = cellRowids[r];
      record.values.resize(columns);
      for (size_t k = 0; k < cellRecords[r].size(); ++k) record.values[k] = cellRecords[r][k].value;
      carved.push_back(std::move(record));
    }
    // A page emptied row by row keeps its rows in freeblocks and in its gap.
    std::vector<CarvedRecord> pieces;
    CarvePage(pageNumber, h, pieces);
    std::vector<std::vector<RecordValue>> one(1);
    for (CarvedRecord& record : pieces) {
      one[0].resize(record.values.size());
      for (size_t k = 0; k < record.values.size(); ++k) one[0][k].value = record.values[k];
      if (pageIsOurs ? Fit(one[0], shape) >= 0 : FitsBest(one, false, pageNumber)) {
        carved.push_back(std::move(record));
      }
    }
    emit(carved);
  }
}

}  // namespace engine
