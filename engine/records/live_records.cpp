#include "engine/records/live_records.h"

#include "engine/reader/btree_page.h"
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
    for (uint32_t i = 0; i < h.cellCount && !work.Stopped(); ++i) {
      ++cells;
      const uint32_t cellOffset = CellOffset(page.data(), db.usableSize, h, i);
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

}  // namespace engine
