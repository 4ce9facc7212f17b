#include "engine/reader/leaf_cell.h"

#include <algorithm>
#include <unordered_set>

#include "engine/reader/coding.h"
#include "engine/reader/format.h"

namespace engine {

using namespace format;

bool ReadTableLeafCell(const PageReader& pages, const uint8_t* page, uint32_t usable,
                       uint32_t cellOffset, LeafCell* cell, OverflowClaims* claims) {
  const uint8_t* end = page + usable;
  const uint8_t* p = page + cellOffset;
  cell->payload.clear();
  cell->localSize = 0;
  cell->possibleSize = 0;
  cell->complete = false;
  if (cellOffset >= usable) return false;
  if (!(p = ReadVarint64(p, end, &cell->payloadSize)) || cell->payloadSize < 0) return false;
  if (!(p = ReadVarint64(p, end, &cell->rowid))) return false;

  const int64_t local = TableLeafLocalPayload(cell->payloadSize, usable);
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

}  // namespace engine
