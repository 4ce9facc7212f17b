// The deleted records of a table: carved out of its leaf pages' freeblocks and
// unallocated gaps, then shown in the grid or written into "<name>_deleted".
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/sqlite_repair.h"
#include "engine/records/type_class.h"

using job::Notification;
using namespace engine;

namespace {

constexpr int64_t kCarveProgressRange = 10000;

// A record's values as one comparable key, the rowid's own column left out (a
// carved record seldom knows it).
std::string RowKey(const std::vector<Value>& values, size_t columns, int aliasColumn) {
  std::string key;
  for (size_t i = 0; i < columns; ++i) {
    if (static_cast<int>(i) == aliasColumn) continue;
    const Value null;
    const Value& v = i < values.size() ? values[i] : null;
    key += static_cast<char>('0' + static_cast<int>(v.kind));
    switch (v.kind) {
      case Value::Kind::Integer:
        key.append(reinterpret_cast<const char*>(&v.integer), sizeof v.integer);
        break;
      case Value::Kind::Real:
        key.append(reinterpret_cast<const char*>(&v.real), sizeof v.real);
        break;
      case Value::Kind::Text:
      case Value::Kind::Blob:
        key += std::to_string(v.bytes.size()) + ":" + v.bytes;
        break;
      case Value::Kind::Null:
        break;
    }
  }
  return key;
}

int AliasColumn(const TableEntry& entry) {
  int alias = -1, keys = 0;
  for (size_t i = 0; i < entry.columns.size(); ++i) {
    if (!entry.columns[i].primaryKey) continue;
    ++keys;
    const std::string& t = entry.columns[i].declaredType;
    if (t.size() == 7 && std::equal(t.begin(), t.end(), "INTEGER", [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == b;
        })) {
      alias = static_cast<int>(i);
    }
  }
  return keys == 1 ? alias : -1;
}

// A whole-number real of a REAL column is stored as an integer; it reads back a real.
void RealifyColumns(const TableEntry& entry, std::vector<Value>& values) {
  for (size_t i = 0; i < values.size() && i < entry.columns.size(); ++i) {
    if (values[i].kind == Value::Kind::Integer &&
        AffinityOf(entry.columns[i].declaredType) == Affinity::Real) {
      values[i].kind = Value::Kind::Real;
      values[i].real = static_cast<double>(values[i].integer);
    }
  }
}

// How well a record read from a freed page fits `entry`: -1 not at all, else more
// the closer it fits (every column filled; with `aliasBonus`, a NULL where the
// rowid's column stands counts for that table).
int Fit(const std::vector<RecordValue>& values, const TableEntry& entry, bool aliasBonus = false) {
  const size_t columns = entry.columns.size();
  if (values.empty() || values.size() > columns) return -1;
  const int alias = AliasColumn(entry);
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i].value;
    if (static_cast<int>(i) == alias && v.kind != Value::Kind::Null) return -1;
    const bool number = v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real;
    if (number && AffinityOf(entry.columns[i].declaredType) == Affinity::Text) return -1;
  }
  return (values.size() == columns ? 4 : 2) + (aliasBonus && alias >= 0 ? 1 : 0);
}

// How well the records of one freed page fit `entry` together: the cells of a leaf
// page all belonged to one table, so one record that cannot be its row counts hard
// against it.
int PageFit(const std::vector<std::vector<RecordValue>>& records, const TableEntry& entry,
            bool aliasBonus) {
  int total = 0;
  for (const auto& record : records) {
    const int fit = Fit(record, entry, aliasBonus);
    total += fit < 0 ? -8 : fit;
  }
  return total;
}

}  // namespace

void CSqliteRepair::CarveDeletedRecords(const TableEntry& entry,
                                        const std::function<void(CarvedRecord&)>& onRecord) {
  tableInteriorQueue.clear();
  tableLeafPages.clear();
  CollectTableLeaves(entry.rootPage);
  const size_t columns = entry.columns.size();
  if (columns == 0 || !state_.fileHandle) return;
  const int alias = AliasColumn(entry);

  // The live rows, so that an old copy of a moved cell is not taken for a deleted row.
  std::unordered_set<std::string> live;
  size_t fewestValues = columns;
  bool noBar = false;
  ReadLiveRecords(false, noBar, [&](int64_t) {
    fewestValues = std::min(fewestValues, recordValues_.size());
    std::vector<Value> values;
    for (RecordValue& v : recordValues_) values.push_back(v.value);
    RealifyColumns(entry, values);
    live.insert(RowKey(values, columns, alias));
  });

  RecordCarver carver(entry.columns, fewestValues, textEncoding, usableSize, pages_);
  // A record is handed on once, and never when it is a live row's old copy.
  std::unordered_set<std::string> emitted;
  auto emit = [&](std::vector<CarvedRecord>& records) {
    for (CarvedRecord& record : records) {
      RealifyColumns(entry, record.values);
      const std::string key = RowKey(record.values, columns, alias);
      if (live.count(key) || !emitted.insert(key).second) continue;
      onRecord(record);
    }
  };
  std::vector<uint8_t> page;
  std::vector<CarvedRecord> carved;
  const uint32_t pageSize = pages_.PageSize();
  // The records in the freeblocks of the leaf page held in `page`, and between its
  // cell pointers and its cell content, where a freed cell that bordered the content
  // was given back whole.
  auto CarvePage = [&](uint64_t pageNumber, const BtreePageHeader& h, std::vector<CarvedRecord>& out) {
    const int64_t offset = PageOffset(pageNumber, pageSize);
    carver.StartPage(page.data(), h);
    freeblockOffsets.clear();
    if (h.firstFreeblock != 0) CollectFreeblocks(offset, h.firstFreeblock);
    for (int64_t freeblock : freeblockOffsets) {
      const uint32_t at = static_cast<uint32_t>(freeblock - offset);
      const uint32_t size = ReadBigEndian16(page.data() + at + 2, page.data() + usableSize);
      carver.CarveFreeblock(page.data(), at, std::min<uint32_t>(at + size, usableSize), out);
      Notify(Notification::Progress, 0, job::kProgressStep);
    }
    freeblockOffsets.clear();
    const uint32_t gapStart = h.cellPointerStart + 2 * h.cellCount;
    const uint32_t gapEnd = std::min(h.contentStart, usableSize);
    if (gapStart < gapEnd) carver.CarveGap(page.data(), gapStart, gapEnd, out);
    Notify(Notification::Progress, 0, job::kProgressStep);
  };
  for (int64_t offset : tableLeafPages) {
    if (StopRequested()) break;
    const uint64_t pageNumber = static_cast<uint64_t>(offset / pageSize) + 1;
    pages_.ReadPage(pageNumber, page);
    carved.clear();
    CarvePage(pageNumber, ParseBtreeHeader(page.data(), usableSize, pageNumber), carved);
    emit(carved);
  }

  // Leaf pages SQLite freed when the table shrank still hold their old cells whole.
  // A page is this table's when its cells fit this table better than any other;
  // a page without cells, when each record carved from it does.
  std::vector<RecordValue> values;
  std::vector<RecordField> fields;
  LeafCell cell;
  // Every other table a freed page could have belonged to.
  auto IsRival = [&](const TableEntry& other) {
    return &other != &entry && !other.deletedCompanion && other.rootPage != entry.rootPage;
  };
  auto Beats = [&](const std::vector<std::vector<RecordValue>>& records, bool aliasBonus) {
    const int fit = PageFit(records, entry, aliasBonus);
    if (fit <= 0) return false;
    for (const TableEntry& other : tableList) {
      if (IsRival(other) && PageFit(records, other, aliasBonus) >= fit) return false;
    }
    return true;
  };
  // Two tables alike but for the rowid's column: the rows of either can have NULL
  // there. The page is the table's with that column when it also holds a copy of
  // one of the table's rows, live or carved from its own pages (SQLite copied the
  // cells to a sibling before it freed the page), or else when it lies nearer the
  // table's pages than the other table's (a table's pages are mostly allocated
  // together).
  auto PageNumbers = [&](const std::vector<int64_t>& offsets) {
    std::vector<uint64_t> numbers;
    for (int64_t offset : offsets) numbers.push_back(static_cast<uint64_t>(offset / pageSize) + 1);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  };
  const std::vector<uint64_t> ownLeaves = PageNumbers(tableLeafPages);
  std::unordered_map<int64_t, std::vector<uint64_t>> othersLeaves;
  auto LeavesOf = [&](const TableEntry& other) -> const std::vector<uint64_t>& {
    auto found = othersLeaves.find(other.rootPage);
    if (found != othersLeaves.end()) return found->second;
    std::vector<int64_t> saved;
    saved.swap(tableLeafPages);
    CollectTableLeaves(other.rootPage);
    std::vector<uint64_t> numbers = PageNumbers(tableLeafPages);
    tableLeafPages.swap(saved);
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
    const int fit = PageFit(records, entry, false);
    const uint64_t own = Distance(ownLeaves, pageNumber);
    for (const TableEntry& other : tableList) {
      if (IsRival(other) && PageFit(records, other, false) >= fit &&
          Distance(LeavesOf(other), pageNumber) <= own) {
        return false;
      }
    }
    return true;
  };
  std::vector<std::vector<RecordValue>> cellRecords;
  std::vector<int64_t> cellRowids;
  const std::vector<uint64_t> freedLeaves = FreedTableLeaves();
  for (uint64_t pageNumber : freedLeaves) {
    if (StopRequested()) break;
    pages_.ReadPage(pageNumber, page);
    BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, pageNumber);
    cellRecords.clear();
    cellRowids.clear();
    bool holdsLiveCopy = false;
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint32_t at = CellOffset(page.data(), usableSize, h, i);
      if (at == 0 || !ReadTableLeafCell(pages_, page.data(), usableSize, at, &cell) ||
          !DecodeRecordValues(cell, textEncoding, fields, values)) {
        continue;
      }
      cellRecords.push_back(values);
      cellRowids.push_back(cell.rowid);
      std::vector<Value> plain;
      for (const RecordValue& v : values) plain.push_back(v.value);
      RealifyColumns(entry, plain);
      const std::string key = RowKey(plain, columns, alias);
      holdsLiveCopy = holdsLiveCopy || live.count(key) > 0 || emitted.count(key) > 0;
    }
    const bool pageIsOurs = !cellRecords.empty() && FitsBest(cellRecords, holdsLiveCopy, pageNumber);
    if (!cellRecords.empty() && !pageIsOurs) continue;
    carved.clear();
    for (size_t r = 0; r < cellRecords.size(); ++r) {
      if (Fit(cellRecords[r], entry) < 0) continue;
      CarvedRecord record;
      record.rowidKnown = true;
      record.rowid = cellRowids[r];
      record.values.resize(columns);
      for (size_t k = 0; k < cellRecords[r].size(); ++k) record.values[k] = cellRecords[r][k].value;
      if (alias >= 0) record.values[alias] = Value::Integer(cellRowids[r]);
      carved.push_back(std::move(record));
    }
    // A page emptied row by row keeps its rows in freeblocks and in its gap.
    std::vector<CarvedRecord> pieces;
    CarvePage(pageNumber, h, pieces);
    std::vector<std::vector<RecordValue>> one(1);
    for (CarvedRecord& record : pieces) {
      one[0].resize(record.values.size());
      for (size_t k = 0; k < record.values.size(); ++k) one[0][k].value = record.values[k];
      if (pageIsOurs ? Fit(one[0], entry) >= 0 : FitsBest(one, false, pageNumber)) carved.push_back(std::move(record));
    }
    emit(carved);
  }
}

void CSqliteRepair::PreviewDeletedRecords(const TableEntry& entry) {
  if (!state_.saveRequested && state_.showObjectRequested) {
    Notify(Notification::GridData, 0, 1);
    Notify(Notification::ClearGridRows, 0, 0);
  }
  Notify(Notification::Progress, kCarveProgressRange, job::kProgressStart);
  if (state_.schemaMarker == job::kSchemaMarkerFilled) {
    std::vector<int16_t> classes;
    for (const columndata& c : entry.columns) classes.push_back(ClassifyDeclaredType(c.declaredType));
    CarveDeletedRecords(entry, [&](CarvedRecord& record) {
      for (size_t k = 0; k < record.values.size(); ++k) {
        cellColumn = &entry.columns[k];
        WriteGridText(record.values[k], classes[k], false, cellText);
        std::swap(cellValue, record.values[k]);
        Notify(Notification::GridData, 0, 0);
      }
    });
  }
  Notify(Notification::Progress, 0, job::kProgressFinish);
  tableInteriorQueue.clear();
  tableLeafPages.clear();
}
