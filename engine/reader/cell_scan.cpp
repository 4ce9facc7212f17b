#include "engine/reader/cell_scan.h"

#include <algorithm>
#include <map>

#include "engine/reader/coding.h"
#include "engine/reader/format.h"

namespace engine {

using namespace format;

namespace {

// The length of a whole table leaf cell at `x` that ends by `to`, or 0: its payload
// size is what its record header describes, and its local part fits.
uint32_t WholeCellLength(const uint8_t* page, uint32_t usable, uint32_t x, uint32_t to) {
  const uint8_t* limit = page + to;
  int64_t payload = 0, rowid = 0, headerSize = 0;
  const uint8_t* a = ReadVarint64(page + x, limit, &payload);
  const uint8_t* b = a ? ReadVarint64(a, limit, &rowid) : nullptr;
  const uint8_t* h = b ? ReadVarint64(b, limit, &headerSize) : nullptr;
  if (!h || payload <= 0 || payload > kMaxPayloadSize || headerSize < h - b || headerSize > payload) return 0;
  const int64_t local = TableLeafLocalPayload(payload, usable);
  const int64_t length = (b - (page + x)) + local + (local < payload ? kOverflowPointerSize : 0);
  if (x + length > to || headerSize > local) return 0;
  // The serial types, and the bytes they take.
  const uint8_t* headerEnd = b + headerSize;
  int64_t body = 0;
  for (const uint8_t* t = h; t < headerEnd;) {
    int64_t type = 0;
    t = ReadVarint64(t, headerEnd, &type);
    if (!t || type < 0 || type == 10 || type == 11) return 0;
    body += static_cast<int64_t>(SerialTypeSize(static_cast<uint64_t>(type)));
    if (body > payload) return 0;
  }
  return headerSize + body == payload ? static_cast<uint32_t>(length) : 0;
}

}  // namespace

std::vector<uint32_t> ScanTableLeafCells(const uint8_t* page, uint32_t usable, uint32_t from, uint32_t to,
                                         const std::vector<std::pair<uint32_t, uint32_t>>& skip) {
  std::vector<uint32_t> cells;
  to = std::min(to, usable);
  for (uint32_t x = from; x + 3 < to;) {
    auto blocked = std::find_if(skip.begin(), skip.end(), [&](const auto& r) { return x >= r.first && x < r.second; });
    if (blocked != skip.end()) {
      x = blocked->second;
      continue;
    }
    const uint32_t length = page[x] != 0 ? WholeCellLength(page, usable, x, to) : 0;
    if (length == 0) {
      ++x;
      continue;
    }
    cells.push_back(x);
    x += length;
  }
  return cells;
}

std::vector<uint32_t> LeafCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h) {
  std::vector<uint32_t> offsets;
  offsets.reserve(h.cellCount);
  for (uint32_t i = 0; i < h.cellCount; ++i) offsets.push_back(CellOffset(page, usable, h, i));
  // The pointers are believed when each names a whole cell inside the content area
  // and no two cells overlap.
  const uint32_t pointersEnd = h.cellPointerStart + kCellPointerSize * h.cellCount;
  const bool contentSane = h.contentStart >= pointersEnd && h.contentStart <= usable;
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  bool plausible = h.cellCount == h.storedCellCount;
  for (uint32_t at : offsets) {
    if (!plausible) break;
    const uint32_t length = at == 0 ? 0 : WholeCellLength(page, usable, at, usable);
    plausible = length != 0 && (!contentSane || at >= h.contentStart);
    spans.emplace_back(at, at + length);
  }
  if (plausible) {
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size() && plausible; ++i) plausible = spans[i].first >= spans[i - 1].second;
  }
  if (plausible) return offsets;
  // The freeblocks hold deleted cells, not live ones.
  std::vector<std::pair<uint32_t, uint32_t>> freeblocks;
  uint32_t previous = pointersEnd;
  for (uint32_t at = h.firstFreeblock; at != 0 && at > previous && at + kFreeblockHeaderSize <= usable;) {
    const uint32_t size = ReadBigEndian16(page + at + kFreeblockSizeOffset, page + usable);
    freeblocks.emplace_back(at, std::min(at + size, usable));
    previous = at;
    at = ReadBigEndian16(page + at, page + usable);
  }
  return ScanTableLeafCells(page, usable, contentSane ? h.contentStart : pointersEnd, usable, freeblocks);
}

void FirstLeafCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h, uint32_t n,
                          std::vector<uint32_t>& offsets) {
  offsets.clear();
  const uint32_t pointersEnd = h.cellPointerStart + kCellPointerSize * h.cellCount;
  bool whole = h.cellCount == h.storedCellCount && h.contentStart >= pointersEnd && h.contentStart <= usable;
  for (uint32_t i = 0; i < std::min(n, h.cellCount) && whole; ++i) {
    const uint32_t at = CellOffset(page, usable, h, i);
    whole = at >= h.contentStart && WholeCellLength(page, usable, at, usable) != 0;
    offsets.push_back(at);
  }
  if (whole) return;
  offsets = LeafCellOffsets(page, usable, h);
  if (offsets.size() > n) offsets.resize(n);
}

std::vector<uint32_t> IndexCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h) {
  std::vector<uint32_t> offsets;
  std::map<uint32_t, uint32_t> taken;  // start -> end of each cell kept
  const uint32_t lead = h.type == kIndexInteriorPage ? kChildPointerSize : 0;
  const uint8_t* end = page + usable;
  for (uint32_t i = 0; i < h.cellCount; ++i) {
    const uint32_t at = CellOffset(page, usable, h, i);
    if (at == 0 || at + lead >= usable) continue;
    int64_t payload = 0;
    const uint8_t* q = ReadVarint64(page + at + lead, end, &payload);
    uint64_t length = static_cast<uint64_t>(lead) + 1;
    if (q && payload > 0) {
      const int64_t local = IndexLocalPayload(payload, usable);
      length = static_cast<uint64_t>(q - (page + at)) + static_cast<uint64_t>(local) +
               (local < payload ? kOverflowPointerSize : 0);
    }
    const uint32_t stop = static_cast<uint32_t>(std::min<uint64_t>(at + length, usable));
    // A cell another pointer's cell already covers is no cell of its own.
    auto next = taken.lower_bound(at);
    if (next != taken.end() && next->first < stop) continue;
    if (next != taken.begin() && std::prev(next)->second > at) continue;
    taken.emplace(at, stop);
    offsets.push_back(at);
  }
  return offsets;
}

std::vector<std::pair<uint32_t, uint32_t>> LiveCellSpans(const uint8_t* page, uint32_t usable,
                                                         const BtreePageHeader& h) {
  std::vector<std::pair<uint32_t, uint32_t>> spans;
  const bool table = h.type == kTableLeafPage;
  const bool interior = h.type == kIndexInteriorPage || h.type == kTableInteriorPage;
  std::vector<uint32_t> offsets;
  if (table) {
    offsets = LeafCellOffsets(page, usable, h);
  } else {
    for (uint32_t i = 0; i < h.cellCount; ++i) offsets.push_back(CellOffset(page, usable, h, i));
  }
  const uint8_t* end = page + usable;
  for (uint32_t at : offsets) {
    if (at == 0 || at >= usable) continue;
    const uint8_t* p = page + at + (interior ? kChildPointerSize : 0);
    int64_t payload = 0, rowid = 0;
    uint64_t length = kFreeblockHeaderSize;
    if (h.type == kTableInteriorPage) {
      // A child pointer and the rowid varint.
      if (const uint8_t* q = p < end ? ReadVarint64(p, end, &rowid) : nullptr; q) length = static_cast<uint64_t>(q - (page + at));
    } else if (p < end) {
      if (const uint8_t* q = ReadVarint64(p, end, &payload); q && payload > 0) {
        if (table) q = ReadVarint64(q, end, &rowid);
        if (q) {
          const int64_t local = table ? TableLeafLocalPayload(payload, usable) : IndexLocalPayload(payload, usable);
          length = static_cast<uint64_t>(q - (page + at)) + static_cast<uint64_t>(local) +
                   (local < payload ? kOverflowPointerSize : 0);
        }
      }
    }
    length = std::max<uint64_t>(length, kFreeblockHeaderSize);
    spans.emplace_back(at, static_cast<uint32_t>(std::min<uint64_t>(at + length, usable)));
  }
  std::sort(spans.begin(), spans.end());
  return spans;
}

}  // namespace engine

