#include "engine/reader/page_size.h"

#include <vector>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/format.h"
#include "engine/reader/page_reader.h"

namespace engine {

using namespace format;

uint32_t DecodePageSize(uint16_t stored) {
  uint32_t size = stored == 1 ? kMaxPageSize : stored;
  return IsPowerOfTwoPageSize(size) ? size : 0;
}

uint32_t UsableSize(uint32_t pageSize, uint8_t reserved) {
  if (pageSize > reserved && pageSize - reserved >= kMinUsableSize) return pageSize - reserved;
  return pageSize;
}

namespace {

struct Fit {
  bool consistent = false;
  bool cellsReachPageEnd = false;  // the first cell written sits at the end of the page
};

// End offset of a cell of page 1 under `usable`, or 0 when it does not fit.
uint32_t CellEnd(const uint8_t* page, uint32_t usable, uint8_t type, uint32_t offset) {
  const uint8_t* end = page + usable;
  const uint8_t* p = page + offset;
  int64_t value = 0;
  if (type == kTableInteriorPage) {
    p += kChildPointerSize;
    if (p > end || !(p = ReadVarint64(p, end, &value))) return 0;  // rowid
    return static_cast<uint32_t>(p - page);
  }
  int64_t payload = 0;
  if (!(p = ReadVarint64(p, end, &payload)) || payload < 0) return 0;
  if (!(p = ReadVarint64(p, end, &value))) return 0;  // rowid
  int64_t local = TableLeafLocalPayload(payload, usable);
  int64_t cellEnd = (p - page) + local + (local < payload ? kOverflowPointerSize : 0);
  return cellEnd <= usable ? static_cast<uint32_t>(cellEnd) : 0;
}

Fit TryPageSize(const platform::RandomAccessFile& file, uint32_t pageSize, uint8_t reserved) {
  Fit fit;
  PageReader pages(&file, pageSize);
  std::vector<uint8_t> page;
  if (!pages.ReadPage(1, page)) return fit;
  const uint32_t usable = UsableSize(pageSize, reserved);
  BtreePageHeader h = ParseBtreeHeader(page.data(), usable, 1);
  if (h.type != kTableInteriorPage && h.type != kTableLeafPage) return fit;
  if (h.cellCount != h.storedCellCount) return fit;
  if (h.cellCount > 0 && h.contentStart > usable) return fit;
  uint32_t maxEnd = 0;
  for (uint32_t i = 0; i < h.cellCount; ++i) {
    uint32_t offset = CellOffset(page.data(), usable, h, i);
    if (offset == 0 || offset < h.contentStart) return fit;
    uint32_t end = CellEnd(page.data(), usable, h.type, offset);
    if (end == 0) return fit;
    if (end > maxEnd) maxEnd = end;
    if (h.type == kTableInteriorPage) {
      uint32_t child = CellLeftChild(page.data(), usable, h, i);
      uint8_t childType = 0;
      if (child <= 1 || !pages.ReadPagePrefix(child, 1, &childType)) return fit;
      if (childType != kTableInteriorPage && childType != kTableLeafPage) return fit;
    }
  }
  if (h.type == kTableInteriorPage) {
    uint8_t childType = 0;
    if (h.rightChild <= 1 || !pages.ReadPagePrefix(h.rightChild, 1, &childType)) return fit;
    if (childType != kTableInteriorPage && childType != kTableLeafPage) return fit;
  }
  fit.consistent = true;
  fit.cellsReachPageEnd = h.cellCount > 0 && maxEnd == usable;
  return fit;
}

}  // namespace

int PageSizeFit(const platform::RandomAccessFile& file, uint32_t pageSize, uint8_t reserved) {
  const Fit fit = TryPageSize(file, pageSize, reserved);
  if (!fit.consistent) return -1;
  return (fit.cellsReachPageEnd ? 2 : 0) + (file.Size() % pageSize == 0 ? 1 : 0);
}

uint32_t InferPageSize(const platform::RandomAccessFile& file, uint8_t reserved) {
  // Rank: cells reaching the end of the page is the strongest sign (SQLite fills a
  // page from its end); a file size that is a whole number of pages comes next.
  int bestRank = -1;
  int bestCount = 0;
  uint32_t best = 0;
  for (uint32_t size = kMinPageSize; size <= kMaxPageSize; size *= 2) {
    const int rank = PageSizeFit(file, size, reserved);
    if (rank < 0) continue;
    if (rank > bestRank) {
      bestRank = rank;
      bestCount = 1;
      best = size;
    } else if (rank == bestRank) {
      ++bestCount;
      // Without a page-end sign, an empty page 1 fits every size: the largest that
      // divides the file is the size the file was written with when it is one page.
      best = size;
    }
  }
  if (bestRank < 0) return 0;
  if (bestRank >= 2 && bestCount > 1) return 0;
  return best;
}

}  // namespace engine
