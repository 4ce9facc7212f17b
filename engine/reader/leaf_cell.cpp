#include "engine/reader/leaf_cell.h"

#include <algorithm>
#include <unordered_set>

#include "engine/reader/coding.h"
#include "engine/reader/format.h"

namespace engine {

using namespace format;

namespace {

// The payload of a cell whose size varint has been read, from `p`: the `local`
// bytes in the cell, then the overflow chain.
bool ReadPayload(const PageReader& pages, const uint8_t* p, const uint8_t* end, uint32_t usable,
                 int64_t local, LeafCell* cell, OverflowClaims* claims) {
  // No payload is longer than its cell's part plus every page of the file.
  const int64_t fileBound =
      local + static_cast<int64_t>(pages.PageCount()) * (usable - kOverflowPointerSize);
  const int64_t wanted = std::min({cell->payloadSize, kMaxPayloadSize, fileBound});
  cell->possibleSize = wanted;
  // A damaged cell may claim more local bytes than the page has left: take what is there.
  const int64_t inCell = std::min<int64_t>({local, wanted, end - p});
  cell->payload.assign(p, p + inCell);
  cell->localSize = static_cast<size_t>(inCell);
  if (inCell < local) return true;
  if (wanted <= local) {
    cell->complete = true;
    return true;
  }
  if (p + local + kOverflowPointerSize > end) return true;
  uint64_t next = ReadBigEndian32(p + local, end);
  const size_t perPage = usable - kOverflowPointerSize;
  std::unordered_set<uint64_t> visited;
  std::vector<uint8_t> overflow;
  while (static_cast<int64_t>(cell->payload.size()) < wanted) {
    // Claimed before it is read: a chain that loops, or reaches another cell's, ends
    // here without reading the page again.
    if (!pages.IsValidPage(next)) return true;
    if (claims ? !claims->Claim(next) : !visited.insert(next).second) return true;
    pages.ReadPage(next, overflow);
    const size_t take =
        std::min<size_t>(perPage, static_cast<size_t>(wanted) - cell->payload.size());
    cell->payload.insert(cell->payload.end(), overflow.begin() + kOverflowPointerSize,
                         overflow.begin() + kOverflowPointerSize + take);
    next = ReadBigEndian32(overflow.data(), overflow.data() + overflow.size());
  }
  cell->complete = wanted == cell->payloadSize;
  return true;
}

void ResetCell(LeafCell* cell) {
  cell->payload.clear();
  cell->localSize = 0;
  cell->possibleSize = 0;
  cell->complete = false;
  cell->rowid = 0;
}

}  // namespace

bool ReadTableLeafCell(const PageReader& pages, const uint8_t* page, uint32_t usable,
                       uint32_t cellOffset, LeafCell* cell, OverflowClaims* claims) {
  const uint8_t* end = page + usable;
  const uint8_t* p = page + cellOffset;
  ResetCell(cell);
  if (cellOffset >= usable) return false;
  if (!(p = ReadVarint64(p, end, &cell->payloadSize)) || cell->payloadSize < 0) return false;
  if (!(p = ReadVarint64(p, end, &cell->rowid))) return false;
  return ReadPayload(pages, p, end, usable, TableLeafLocalPayload(cell->payloadSize, usable), cell, claims);
}

bool ReadIndexCell(const PageReader& pages, const uint8_t* page, uint32_t usable, uint32_t cellOffset,
                   bool interior, LeafCell* cell, OverflowClaims* claims) {
  const uint8_t* end = page + usable;
  ResetCell(cell);
  const uint32_t skip = interior ? kChildPointerSize : 0;
  if (cellOffset >= usable || usable - cellOffset <= skip) return false;
  const uint8_t* p = page + cellOffset + skip;
  if (!(p = ReadVarint64(p, end, &cell->payloadSize)) || cell->payloadSize < 0) return false;
  return ReadPayload(pages, p, end, usable, IndexLocalPayload(cell->payloadSize, usable), cell, claims);
}

}  // namespace engine
