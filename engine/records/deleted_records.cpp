// The deleted records of a table: carved out of its leaf pages' freeblocks and
// unallocated gaps, and out of freed leaf pages whose cells fit it best.
#include "engine/records/deleted_records.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/btree_walks.h"
#include "engine/reader/cell_scan.h"
#include "engine/reader/coding.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/text_codec.h"
#include "engine/records/live_records.h"
#include "engine/records/record_carver.h"
#include "engine/records/record_fit.h"
#include "engine/records/row_hash.h"
#include "engine/records/table_row.h"
#include "engine/records/type_class.h"

namespace engine {
namespace {

// The bytes `v` takes in a record of a database in `encoding`: what its serial type
// states, the integers 0 and 1 taking none.
uint64_t StoredSize(const Value& v, format::TextEncoding encoding) {
  switch (v.kind) {
    case Value::Kind::Null: return 0;
    case Value::Kind::Real: return 8;
    case Value::Kind::Blob: return v.bytes.size();
    case Value::Kind::Text: {
      if (encoding == format::TextEncoding::Utf8) return v.bytes.size();
      uint64_t units = 0;  // UTF-16 code units: one per character, two past U+FFFF
      for (unsigned char c : v.bytes) units += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
      return 2 * units;
    }
    case Value::Kind::Integer: {
      const int64_t i = v.integer;
      if (i == 0 || i == 1) return 0;
      for (uint64_t width : {1, 2, 3, 4, 6}) {
        const int64_t bound = int64_t{1} << (8 * width - 1);
        if (i >= -bound && i < bound) return width;
      }
      return 8;
    }
  }
  return 0;
}

}  // namespace

void CarveFreeSpace(const Database& db, const RecordCarver& carver, const uint8_t* page, uint64_t pageNumber,
                    const BtreePageHeader& h, Work& work, std::vector<CarvedRecord>& found) {
  const uint32_t usable = db.usableSize;
  const std::vector<std::pair<uint32_t, uint32_t>> cells = LiveCellSpans(page, usable, h);
  carver.StartPage(page, h, cells);
  const uint32_t pointersEnd = h.cellPointerStart + format::kCellPointerSize * h.cellCount;
  const uint32_t firstCell = cells.empty() ? usable : cells.front().first;
  const uint32_t contentStart =
      h.contentStart >= pointersEnd && h.contentStart <= firstCell ? h.contentStart : std::max(pointersEnd, firstCell);
  // An interior page was a leaf before its tree grew a level, and SQLite leaves the
  // leaf's old cells below the interior cells it writes from the page's end: only
  // whole cells are read there, nothing is taken for a freed leaf cell.
  if (h.type == format::kTableInteriorPage) {
    uint32_t at = pointersEnd;
    for (const auto& [start, end] : cells) {
      if (start > at) carver.CarveGap(page, at, start, found);
      at = std::max(at, end);
    }
    if (at < usable) carver.CarveGap(page, at, usable, found);
    work.Step();
    return;
  }
  if (pointersEnd < contentStart) carver.CarveGap(page, pointersEnd, contentStart, found);
  // The chain's freeblocks are believed where each lies in free space; what free
  // space they leave is carved as freeblocks of its own.
  std::vector<std::pair<uint32_t, uint32_t>> chained;
  if (h.firstFreeblock != 0) {
    for (uint32_t at : CollectFreeblocks(db, page, pageNumber, h.firstFreeblock)) {
      const uint32_t size = ReadBigEndian16(page + at + format::kFreeblockSizeOffset, page + usable);
      if (size >= format::kFreeblockHeaderSize && at >= contentStart && at + size <= usable) {
        chained.emplace_back(at, at + size);
      }
    }
    std::sort(chained.begin(), chained.end());
  }
  auto carve = [&](uint32_t from, uint32_t to) {
    if (to >= from + format::kFreeblockHeaderSize) carver.CarveFreeblock(page, from, to, found);
    work.Step();
  };
  auto region = [&](uint32_t from, uint32_t to) {
    uint32_t x = from;
    for (const auto& [start, end] : chained) {
      if (start < x || end > to) continue;  // outside the stretch, or overlapping another
      carve(x, start);
      carve(start, end);
      x = end;
    }
    carve(x, to);
  };
  uint32_t at = contentStart;
  for (const auto& [start, end] : cells) {
    if (start > at) region(at, start);
    at = std::max(at, end);
  }
  if (at < usable) region(at, usable);
}

void CarveDeletedRecords(const Database& db, const Schema& schema, const TableEntry& entry,
                         Work& work, bool startBar, RowSink& sink, CarveCounts* counts) {
  const TableRowShape shape(entry);
  const size_t columns = shape.StoredCount();
  if (columns == 0 || !db.IsOpen()) {
    if (startBar) work.StartBar(0);
    return;
  }
  const uint32_t usable = db.usableSize;
  // A table without rowid keeps rows in every page of its index tree. Freed index
  // pages are not searched for its rows: the indexes of other tables, which are not
  // recovered, leave pages of records alike on the freelist.
  const bool indexTree = entry.withoutRowid;
  const uint64_t root = entry.rootPage > 0 ? static_cast<uint64_t>(entry.rootPage) : 0;
  std::vector<uint64_t> interiors;
  std::vector<uint64_t> ownLeavesInOrder = indexTree ? CollectIndexPages(db, root, nullptr)
                                                     : CollectTableLeaves(db, root, nullptr, &interiors);
  if (!indexTree && entry.leavesAttributed) ownLeavesInOrder = entry.leafPages;
  std::vector<uint64_t> trunks;
  std::vector<uint64_t> freedLeaves = indexTree ? std::vector<uint64_t>{} : FreedTableLeaves(db, &work, &trunks);
  // Stray pages found to be pages the table freed hold its deleted rows too. The
  // freed pages of a dropped table's own tree are its pages, read first, apart.
  {
    std::unordered_set<uint64_t> listed(freedLeaves.begin(), freedLeaves.end());
    for (uint64_t stray : entry.strayFreedPages) {
      if (listed.insert(stray).second) freedLeaves.push_back(stray);
    }
    const std::unordered_set<uint64_t> dropped(entry.droppedPages.begin(), entry.droppedPages.end());
    if (!dropped.empty()) {
      freedLeaves.erase(std::remove_if(freedLeaves.begin(), freedLeaves.end(),
                                       [&](uint64_t p) { return dropped.count(p) != 0; }),
                        freedLeaves.end());
    }
  }
  // Versions of pages the write-ahead log replaced hold rows changed or deleted since.
  const std::vector<PageImage> images = db.pages.SupersededImages();
  if (startBar) {
    work.StartBar(static_cast<int64_t>(ownLeavesInOrder.size() + interiors.size() + freedLeaves.size() + images.size()));
  }
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
  // The first one and the first two values known of each carved row, the last of
  // them cut to its first bytes: an older version whose end a newer cell was written
  // over keeps no more than a row's first values, and is not told when a carved row
  // known whole begins so. (The newer version of a live row is the cell over it: the
  // carver tells that one.)
  constexpr size_t kLeadBytes = 8;
  RowHashSet leads;
  std::vector<Value> lead;
  auto Lead = [&](const std::vector<Value>& values, size_t count) {
    lead.assign(values.size(), Value::Null());
    for (size_t i = 0, taken = 0; i < values.size() && taken < count; ++i) {
      if (static_cast<int>(i) == alias || values[i].kind == Value::Kind::Null) continue;
      lead[i] = values[i];
      if (++taken == count && lead[i].bytes.size() > kLeadBytes) lead[i].bytes.resize(kLeadBytes);
    }
    return HashRow(lead, alias);
  };
  auto KnownCount = [&](const std::vector<Value>& values) {
    size_t known = 0;
    for (size_t i = 0; i < values.size(); ++i) {
      known += static_cast<int>(i) != alias && values[i].kind != Value::Kind::Null;
    }
    return known;
  };
  size_t fewestValues = columns;
  // How long the first two values of the live rows are: an index cell freed whole
  // lost the serial types of both.
  std::unordered_map<uint64_t, uint64_t> leadSizes[2];
  std::vector<uint8_t> liveKinds(columns, 0);  // a bit per value kind, by column
  {
    LiveBar noBar{false, false};
    std::vector<Value> plain;
    CallbackSink liveSink([&](std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) {
      fewestValues = std::min(fewestValues, values.size());
      for (size_t i = 0; i < values.size() && i < columns; ++i) {
        liveKinds[i] |= static_cast<uint8_t>(1u << static_cast<unsigned>(values[i].value.kind));
      }
      if (indexTree) {
        for (size_t i = 0; i < 2 && i < values.size(); ++i) {
          ++leadSizes[i][StoredSize(values[i].value, db.textEncoding)];
        }
      }
      plain.resize(values.size());
      for (size_t i = 0; i < values.size(); ++i) plain[i] = values[i].value;
      live.Add(Key(plain, rowidKnown, rowid));
    });
    if (indexTree) ReadIndexRecords(db, root, work, noBar, liveSink);
    else ReadLiveRecords(db, ownLeavesInOrder, work, noBar, liveSink);
    live.Seal();
  }

  RecordCarver carver(shape.StoredColumns(entry.columns), fewestValues, db.textEncoding, usable, db.pages,
                      shape.AliasRecordIndex(), indexTree);
  auto mostCommon = [](const std::unordered_map<uint64_t, uint64_t>& counts) {
    uint64_t size = UINT64_MAX, most = 0;
    for (const auto& [s, n] : counts) {
      if (n > most || (n == most && s < size)) {
        size = s;
        most = n;
      }
    }
    return size;
  };
  carver.SetTypicalLeadSizes(mostCommon(leadSizes[0]), mostCommon(leadSizes[1]));
  carver.SetLiveKinds(std::move(liveKinds));
  {
    std::vector<uint8_t> first;
    carver.SetSmallIntegerTypes(db.pages.ReadPage(1, first) &&
                                ReadBigEndian32(first.data() + format::kSchemaFormatOffset,
                                                first.data() + first.size()) == 4);
  }
  // A record is handed on once, and never when it is a live row's old copy.
  RowHashSet emitted;
  std::vector<RecordValue> out;
  // Older versions cut by a newer cell wait until every row known whole is handed on.
  std::vector<CarvedRecord> cut;
  auto emit = [&](std::vector<CarvedRecord>& records, CarveSource source) {
    for (CarvedRecord& record : records) {
      if (record.overwritten && source != CarveSource::OverwrittenCells) {
        cut.push_back(std::move(record));
        continue;
      }
      const RowHash key = Key(record.values, record.rowidKnown, record.rowid);
      if (live.Contains(key) || !emitted.Insert(key)) continue;
      if (record.overwritten) {
        if (leads.Contains(Lead(record.values, std::min<size_t>(2, KnownCount(record.values))))) continue;
      } else {
        leads.Insert(Lead(record.values, 1));
        leads.Insert(Lead(record.values, 2));
      }
      if (counts) {
        ++counts->rows[static_cast<size_t>(source)];
        counts->cutValues += record.cutValues;
      }
      out.resize(record.values.size());
      for (size_t i = 0; i < out.size(); ++i) {
        std::swap(out[i].value, record.values[i]);
        out[i].storedInCell = false;
        out[i].cutShort = false;  // counted with the record
      }
      sink.Row(out, record.rowidKnown, record.rowid);
    }
  };
  std::vector<uint8_t> page;
  std::vector<CarvedRecord> carved;
  auto CarvePage = [&](uint64_t pageNumber, const BtreePageHeader& h, std::vector<CarvedRecord>& found) {
    CarveFreeSpace(db, carver, page.data(), pageNumber, h, work, found);
  };
  // Leaf pages SQLite freed when the table shrank still hold their old cells whole.
  // A page is this table's when its cells fit this table better than any other;
  // a page without cells, when each record carved from it does.
  std::vector<RecordValue> values;
  std::vector<RecordField> fields;
  LeafCell cell;
  // Every other table a freed page could have belonged to, with its record shape.
  std::vector<std::pair<const TableEntry*, TableRowShape>> rivals;
  for (const TableEntry& other : schema.tableList) {
    // A lost-and-found table takes any record of its size: it is no rival.
    // A dropped table is a rival too: its freed pages are its own.
    const bool table = !other.deletedCompanion || other.dropped;
    const bool sameTree = !other.dropped && !entry.dropped && other.rootPage == entry.rootPage;
    if (&other != &entry && table && !sameTree && other.lostValueCount == 0) {
      rivals.emplace_back(&other, TableRowShape(other));
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
  auto readCell = [&](const BtreePageHeader& h, uint32_t at, OverflowClaims* claims) {
    return indexTree ? ReadIndexCell(db.pages, page.data(), usable, at, h.type == format::kIndexInteriorPage,
                                     &cell, claims)
                     : ReadTableLeafCell(db.pages, page.data(), usable, at, &cell, claims);
  };
  // The rows of a page held in `page` that is not part of the table's tree now (a
  // freed page, an old version): its cells, and what its freed space holds. A page
  // of another table is left alone, unless `ours` says whose it is.
  auto CarveOldPage = [&](uint64_t pageNumber, const BtreePageHeader& h, bool ours, CarveSource source) {
    cellRecords.clear();
    cellRowids.clear();
    bool holdsLiveCopy = false;
    // Each cell once, however many pointers name it.
    const std::vector<uint32_t> offsets = h.type == format::kTableLeafPage ? LeafCellOffsets(page.data(), usable, h)
                                                                           : IndexCellOffsets(page.data(), usable, h);
    for (uint32_t at : offsets) {
      // Two freed pages may hold copies of one moved cell, whose chain both must
      // read whole to be recognised as that cell: chains are read again freely, up
      // to twice the file's pages in all; past that allowance each page serves one
      // chain, so crafted cells sharing a chain cannot cost cells x chain.
      const bool allowance = overflowReads < overflowAllowance;
      const bool read = at != 0 && readCell(h, at, allowance ? nullptr : &lateClaims);
      if (read && cell.payload.size() > cell.localSize) {
        overflowReads += (cell.payload.size() - cell.localSize) / (usable - format::kOverflowPointerSize) + 1;
      }
      if (!read || !DecodeRecordValues(cell, db.textEncoding, fields, values)) continue;
      cellRecords.push_back(values);
      cellRowids.push_back(cell.rowid);
      plain.resize(values.size());
      for (size_t k = 0; k < values.size(); ++k) plain[k] = values[k].value;
      const RowHash key = Key(plain, !indexTree, cell.rowid);
      holdsLiveCopy = holdsLiveCopy || live.Contains(key) || emitted.Contains(key);
    }
    // A page number of the table's tree may have served another table before: an
    // old version of it is the table's when it holds a copy of a live row, else
    // when its cells fit the table best (for a table without rowid, when each is a
    // whole row of it: another table's index pages are not told apart otherwise).
    bool pageIsOurs = ours;
    if (!cellRecords.empty() && !(ours && holdsLiveCopy)) {
      if (indexTree) {
        pageIsOurs = ours && std::all_of(cellRecords.begin(), cellRecords.end(), [&](const auto& record) {
                       return record.size() == columns && Fit(record, shape) >= 0;
                     });
      } else {
        pageIsOurs = FitsBest(cellRecords, holdsLiveCopy, pageNumber);
      }
    }
    if (!cellRecords.empty() && !pageIsOurs) {
      work.Step();
      return;
    }
    carved.clear();
    for (size_t r = 0; r < cellRecords.size(); ++r) {
      if (Fit(cellRecords[r], shape) < 0) continue;
      CarvedRecord record;
      record.rowidKnown = !indexTree;
      record.rowid = cellRowids[r];
      record.cutValues = CountCutValues(cellRecords[r]);
      record.values.resize(columns);
      for (size_t k = 0; k < cellRecords[r].size() && k < columns; ++k) record.values[k] = cellRecords[r][k].value;
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
    emit(carved, source);
  };
  const std::unordered_set<uint64_t> own(ownLeavesInOrder.begin(), ownLeavesInOrder.end());
  for (const PageImage& image : images) {
    if (work.Stopped()) break;
    db.pages.ReadImage(image, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), usable, image.page);
    const bool tableLeaf = h.type == format::kTableLeafPage;
    const bool indexPage = h.type == format::kIndexLeafPage || h.type == format::kIndexInteriorPage;
    // An old version of one of the table's own pages is the table's; another old
    // page is judged as a freed one is (only table leaves: see above).
    const bool ours = own.count(image.page) != 0 && (indexTree ? indexPage : tableLeaf);
    const CarveSource source = image.journal ? CarveSource::Journal : CarveSource::WriteAheadLog;
    if (ours || (!indexTree && tableLeaf)) CarveOldPage(image.page, h, ours, source);
    else work.Step();
  }
  // The table's own pages after their old versions: a row a version still holds
  // whole comes back whole, before what its freeblock kept of it (the same values
  // but the rowid) is taken for it. Its leaves, then its interior pages' old cells.
  for (const std::vector<uint64_t>* pages : {&ownLeavesInOrder, &interiors}) {
    for (uint64_t pageNumber : *pages) {
      if (work.Stopped()) break;
      db.pages.ReadPage(pageNumber, page);
      carved.clear();
      CarvePage(pageNumber, ParseBtreeHeader(page.data(), usable, pageNumber), carved);
      emit(carved, CarveSource::FreeSpace);
    }
  }

  for (uint64_t pageNumber : entry.droppedPages) {
    if (work.Stopped()) break;
    db.pages.ReadPage(pageNumber, page);
    CarveOldPage(pageNumber, ParseBtreeHeader(page.data(), usable, pageNumber), true, CarveSource::FreedPages);
  }
  for (uint64_t pageNumber : freedLeaves) {
    if (work.Stopped()) break;
    db.pages.ReadPage(pageNumber, page);
    CarveOldPage(pageNumber, ParseBtreeHeader(page.data(), usable, pageNumber), false, CarveSource::FreedPages);
  }
  // A leaf page SQLite made a freelist trunk keeps the cells past its list of leaf
  // numbers: whole cells found there that fit this table best are its rows.
  std::vector<std::vector<RecordValue>> one(1);
  for (uint64_t trunk : trunks) {
    if (work.Stopped()) break;
    db.pages.ReadPage(trunk, page);
    const uint32_t count = ReadBigEndian32(page.data() + format::kTrunkLeafCountOffset, page.data() + usable);
    const uint32_t fits = (usable - format::kTrunkLeavesOffset) / format::kTrunkLeafSize;
    const uint32_t from = format::kTrunkLeavesOffset + format::kTrunkLeafSize * std::min(count, fits);
    carved.clear();
    for (uint32_t at : ScanTableLeafCells(page.data(), usable, from, usable)) {
      if (!ReadTableLeafCell(db.pages, page.data(), usable, at, &cell, &lateClaims) ||
          !DecodeRecordValues(cell, db.textEncoding, fields, values)) {
        continue;
      }
      // Stale bytes can pass for a cell: texts with zero characters or broken UTF-8
      // are not a row's.
      const bool clean = std::all_of(values.begin(), values.end(), [&](const RecordValue& v) {
        return v.value.kind != Value::Kind::Text ||
               (v.value.bytes.find('\0') == std::string::npos && IsValidUtf8(v.value.bytes));
      });
      one[0] = values;
      if (!clean || Fit(values, shape) < 0 || !FitsBest(one, false, trunk)) continue;
      CarvedRecord record;
      record.rowidKnown = true;
      record.rowid = cell.rowid;
      record.cutValues = CountCutValues(values);
      record.values.resize(columns);
      for (size_t k = 0; k < values.size() && k < columns; ++k) record.values[k] = values[k].value;
      carved.push_back(std::move(record));
    }
    emit(carved, CarveSource::FreedPages);
    work.Step();
  }
  // An older version whose known values are too few to tell it (one number, or the
  // first few bytes of one text or blob) gives no row.
  auto tooFew = [&](const CarvedRecord& record) {
    const size_t known = KnownCount(record.values);
    if (known != 1) return known == 0;
    return !std::any_of(record.values.begin(), record.values.end(), [](const Value& v) {
      return (v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob) && v.bytes.size() >= kLeadBytes;
    });
  };
  cut.erase(std::remove_if(cut.begin(), cut.end(), tooFew), cut.end());
  emit(cut, CarveSource::OverwrittenCells);
}

}  // namespace engine
