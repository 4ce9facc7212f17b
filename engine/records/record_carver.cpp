#include "engine/records/record_carver.h"

#include <algorithm>
#include <unordered_map>

#include "engine/reader/coding.h"
#include "engine/records/candidate_finder.h"
#include "engine/records/carve_candidate.h"
#include "engine/records/cell_heads.h"
#include "engine/records/freeblock_chain.h"

namespace engine {

using namespace format;
using namespace carving;

RecordCarver::RecordCarver(const std::vector<columndata>& columns, size_t minColumns,
                           format::TextEncoding encoding, uint32_t usableSize, const PageReader& pages,
                           int aliasColumn, bool indexCells)
    : state_(columns, minColumns, encoding, usableSize, pages, aliasColumn, indexCells) {}

void RecordCarver::StartPage(const uint8_t* page, const BtreePageHeader& header,
                             const std::vector<std::pair<uint32_t, uint32_t>>& liveCells) const {
  state_.budget = CarverState::kWorkPerPage;
  state_.interiorPage = state_.indexCells && header.type == kIndexInteriorPage;
  state_.boundaries.clear();
  for (uint32_t i = 0; i < header.cellCount; ++i) {
    const uint32_t at = CellOffset(page, state_.usable, header, i);
    if (at != 0) state_.boundaries.push_back(at);
  }
  // The freeblock chain, followed while it ascends inside the page.
  for (uint32_t at = header.firstFreeblock; at != 0 && at + kLostBytes <= state_.usable;) {
    state_.boundaries.push_back(at);
    const uint32_t next = ReadBigEndian16(page + at, page + state_.usable);
    if (next <= at) break;
    at = next;
  }
  state_.boundaries.push_back(state_.usable);
  std::sort(state_.boundaries.begin(), state_.boundaries.end());
  state_.liveCells.clear();
  if (header.type == kTableLeafPage && !state_.indexCells) state_.liveCells = liveCells;
}

void RecordCarver::CarveFreeblock(const uint8_t* page, uint32_t start, uint32_t end,
                                  std::vector<CarvedRecord>& out) const {
  FreeblockChain(state_).CarveBlock(page, start, end, {}, out);
}

void RecordCarver::CarveGap(const uint8_t* page, uint32_t start, uint32_t end,
                            std::vector<CarvedRecord>& out) const {
  end = std::min(end, state_.usable);
  if (start + kLostBytes >= end) return;
  const CellHeads heads(state_);
  const FreeblockChain chain(state_);
  const CandidateFinder finder(state_);
  // A freed cell that bordered the content keeps the freeblock header SQLite wrote
  // over its first bytes (next freeblock, size) before it moved the content start
  // past it; so those cells chain from header to header up to the content start.
  // Old cell pointers left past the pointer array look like such headers too, but
  // seldom chain.
  std::vector<uint32_t> chained(end - start, 0);  // the freeblock's size, 0: not on a chain
  // A live cell at the gap's end may have been written over the end of the last
  // cell freed: that one's header states a size to exactly the live cell's end.
  const uint32_t cutEnd = heads.LiveCellEndFrom(end);
  for (uint32_t x = end - kLostBytes; x-- > start;) {
    uint32_t size = 0;
    if (cutEnd != 0 && heads.OldFreeblockHeader(page, x, end, true, &size) && x + size == cutEnd) {
      chained[x - start] = end - x;
      continue;
    }
    if (!heads.OldFreeblockHeader(page, x, end, false, &size) || size <= kLostBytes) continue;
    for (uint32_t f = 0; f <= kMaxFragment; ++f) {
      const uint32_t y = x + size + f;
      if (y == end || (y < end && chained[y - start] != 0)) {
        chained[x - start] = size;
        break;
      }
    }
  }
  // Old freeblocks can overlap: bytes freed once were given out and freed again.
  // A cell of one does not reach across where another began, when that one gave
  // records: the bytes of a cell can pass for a header (zeros and a small number
  // chain up to the content start) and must not cut the cell they belong to. From
  // the last block back, each is carved knowing the nearest block after it that
  // gave any.
  std::vector<uint32_t> barriers;  // descending while they are found
  std::unordered_map<uint32_t, std::vector<CarvedRecord>> fromBlock;
  for (uint32_t x = end; x-- > start;) {
    if (chained[x - start] == 0) continue;
    std::vector<CarvedRecord> found;
    const std::vector<uint32_t> after = barriers.empty() ? std::vector<uint32_t>{} : std::vector<uint32_t>{barriers.back()};
    chain.CarveBlock(page, x, x + chained[x - start], after, found);
    if (found.empty()) continue;
    barriers.push_back(x);
    fromBlock[x] = std::move(found);
  }
  std::reverse(barriers.begin(), barriers.end());
  std::vector<Candidate> whole;
  for (uint32_t x = start; x + kLostBytes < end;) {
    if (auto block = fromBlock.find(x); block != fromBlock.end()) {
      for (CarvedRecord& record : block->second) out.push_back(std::move(record));
      x += chained[x - start];
      continue;
    }
    // Otherwise only a whole cell whose stated payload size is the one its header
    // describes: stale pointers and old bytes fill the rest of the gap.
    // A record of one or two values proves too little to be read at any offset.
    // Nor one that reaches across where a chained freeblock begins: a cell freed
    // later was written over its end.
    whole.clear();
    if (page[x] != 0) finder.CandidatesAt(page, x, end, Start::kWholeCell, whole);
    auto next = std::upper_bound(barriers.begin(), barriers.end(), x);
    const bool crosses = !whole.empty() && next != barriers.end() && *next < x + whole[0].length;
    if (!whole.empty() && !crosses && whole[0].score >= 0 && whole[0].typeCount >= 3 && !whole[0].empty) {
      out.push_back(std::move(whole[0].record));
      x += whole[0].length;
    } else {
      ++x;
    }
  }
}

}  // namespace engine
