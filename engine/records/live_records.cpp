#include "engine/records/live_records.h"

#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/cell_scan.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"

namespace engine {

uint64_t ReadLiveRecords(const Database& db, const std::vector<uint64_t>& leaves, Work& work,
                         LiveBar& bar, RowSink& sink) {
  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  std::vector<RecordValue> values;
  OverflowClaims claims(db.pages);
  uint64_t cells = 0;
  for (uint64_t pageNumber : leaves) {
    if (work.Stopped()) break;
    db.pages.ReadPage(pageNumber, page);
    BtreePageHeader h = ParseBtreeHeader(page.data(), db.usableSize, pageNumber);
    // Where the pointers cannot be right, the cells a scan of the content finds.
    const std::vector<uint32_t> offsets = LeafCellOffsets(page.data(), db.usableSize, h);
    for (uint32_t i = 0; i < offsets.size() && !work.Stopped(); ++i) {
      ++cells;
      const uint32_t cellOffset = offsets[i];
      // A pointer or header that cannot be read names no record: nothing is sent.
      if (cellOffset != 0 &&
          ReadTableLeafCell(db.pages, page.data(), db.usableSize, cellOffset, &cell, &claims) &&
          DecodeRecordValues(cell, db.textEncoding, fields, values)) {
        sink.Row(values, true, cell.rowid);
      }
      if (bar.running) work.Step();
    }
    if (bar.running) {
      work.Step();
      if (h.cellCount == 0 && bar.emptyPageEndsBar) {
        work.FinishBar();
        bar.running = false;
      }
    }
  }
  return cells;
}

uint64_t ReadIndexRecords(const Database& db, uint64_t rootPage, Work& work, LiveBar& bar,
                          RowSink& sink) {
  // An interior page's frame: its cells and children, walked in key order as steps
  // 2i (the left child of cell i), 2i + 1 (cell i itself) and 2n (the right child).
  struct Frame {
    uint64_t page = 0;
    std::vector<uint32_t> cells;     // offsets; 0 for an unusable pointer
    std::vector<uint32_t> children;  // left child of each cell, then the right child
    size_t step = 0;
  };
  const uint32_t usable = db.usableSize;
  std::vector<uint8_t> page;
  std::vector<uint8_t> interior;  // the interior page whose cell is read
  uint64_t interiorNumber = 0;
  LeafCell cell;
  std::vector<RecordField> fields;
  std::vector<RecordValue> values;
  OverflowClaims claims(db.pages);
  std::unordered_set<uint64_t> visited;
  std::vector<Frame> stack;
  uint64_t cells = 0;

  auto emit = [&](const uint8_t* bytes, uint32_t offset, bool isInterior) {
    ++cells;
    if (offset != 0 && ReadIndexCell(db.pages, bytes, usable, offset, isInterior, &cell, &claims) &&
        DecodeRecordValues(cell, db.textEncoding, fields, values)) {
      sink.Row(values, false, 0);
    }
    if (bar.running) work.Step();
  };
  // Reads page `number`: a leaf's cells are handed on at once, an interior page
  // becomes a frame. Page 1 and pages met before are not part of the tree.
  auto enter = [&](uint64_t number) {
    if (number <= 1 || !db.pages.IsValidPage(number) || !visited.insert(number).second) return;
    db.pages.ReadPage(number, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), usable, number);
    if (h.type == format::kIndexLeafPage) {
      for (uint32_t at : IndexCellOffsets(page.data(), usable, h)) {
        if (work.Stopped()) break;
        emit(page.data(), at, false);
      }
      if (bar.running) {
        work.Step();
        if (h.cellCount == 0 && bar.emptyPageEndsBar) {
          work.FinishBar();
          bar.running = false;
        }
      }
    } else if (h.type == format::kIndexInteriorPage) {
      Frame frame;
      frame.page = number;
      // The children of every pointer, the record of each cell once.
      const std::vector<uint32_t> offsets = IndexCellOffsets(page.data(), usable, h);
      std::unordered_set<uint32_t> kept(offsets.begin(), offsets.end());
      for (uint32_t i = 0; i < h.cellCount; ++i) {
        const uint32_t at = CellOffset(page.data(), usable, h, i);
        frame.cells.push_back(kept.erase(at) != 0 ? at : 0);
        frame.children.push_back(CellLeftChild(page.data(), usable, h, i));
      }
      frame.children.push_back(h.rightChild);
      stack.push_back(std::move(frame));
      if (bar.running) work.Step();
    }
  };

  enter(rootPage);
  while (!stack.empty() && !work.Stopped()) {
    Frame& frame = stack.back();
    const size_t n = frame.cells.size();
    if (frame.step > 2 * n) {
      stack.pop_back();
      continue;
    }
    const size_t step = frame.step++;
    if (step % 2 == 0) {
      enter(frame.children[step / 2]);  // may grow the stack: `frame` is not used after
      continue;
    }
    if (interiorNumber != frame.page) {
      db.pages.ReadPage(frame.page, interior);
      interiorNumber = frame.page;
    }
    emit(interior.data(), frame.cells[step / 2], true);
  }
  return cells;
}

uint64_t ReadIndexLeafRecords(const Database& db, const std::vector<uint64_t>& leaves, Work& work, LiveBar& bar,
                              RowSink& sink) {
  const uint32_t usable = db.usableSize;
  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  std::vector<RecordValue> values;
  OverflowClaims claims(db.pages);
  uint64_t cells = 0;
  for (uint64_t number : leaves) {
    if (work.Stopped() || !db.pages.ReadPage(number, page)) break;
    const BtreePageHeader h = ParseBtreeHeader(page.data(), usable, number);
    if (h.type != format::kIndexLeafPage) continue;
    for (uint32_t at : IndexCellOffsets(page.data(), usable, h)) {
      if (work.Stopped()) break;
      ++cells;
      if (ReadIndexCell(db.pages, page.data(), usable, at, false, &cell, &claims) &&
          DecodeRecordValues(cell, db.textEncoding, fields, values)) {
        sink.Row(values, false, 0);
      }
    }
    if (bar.running) work.Step();
  }
  return cells;
}

}  // namespace engine

