// Where a cell may begin on the page in hand and what its head shows: an old
// freeblock header, a whole cell's varints, or a live cell written over a freed one.
#include "engine/records/cell_heads.h"

#include <algorithm>

#include "engine/reader/coding.h"
#include "engine/records/value.h"

namespace engine::carving {

using namespace format;

bool CellHeads::OldFreeblockHeader(const uint8_t* page, uint32_t x, uint32_t end, bool mayPassEnd,
                                   uint32_t* size) const {
  // SQLite wrote a freeblock header (next freeblock, size) over a cell it freed; when
  // a lower neighbour was freed later, the two merged and that header stayed behind.
  // The merged freeblock may have lost its end since (SQLite allocates new cells
  // from a freeblock's end), so the old size may reach past it.
  if (x + kLostBytes > end) return false;
  const uint32_t next = ReadBigEndian16(page + x, page + end);
  *size = ReadBigEndian16(page + x + kFreeblockSizeOffset, page + end);
  const uint32_t limit = mayPassEnd ? s_.usable : end;
  return *size >= kLostBytes && x + *size <= limit && (next == 0 || (next >= x + *size && next < s_.usable));
}

const uint8_t* CellHeads::WholeCellStart(const uint8_t* page, uint32_t x, uint32_t end, int64_t* payload,
                                         int64_t* rowid, int64_t* header, const uint8_t** afterPayload,
                                         const uint8_t** afterRowid) const {
  const uint8_t* limit = page + end;
  // An interior cell of an index tree leads with its left child's page number.
  const uint32_t lead = s_.interiorPage ? kChildPointerSize : 0;
  if (x + lead >= end) return nullptr;
  *rowid = 0;
  const uint8_t* a = ReadVarint64(page + x + lead, limit, payload);
  const uint8_t* b = a && !s_.indexCells ? ReadVarint64(a, limit, rowid) : a;
  const uint8_t* h = b ? ReadVarint64(b, limit, header) : nullptr;
  if (!h || *payload <= 0 || *header <= 0 || *header > *payload) return nullptr;
  *afterPayload = a;
  *afterRowid = b;
  return h;
}

bool CellHeads::CellMayStart(const uint8_t* page, uint32_t x, uint32_t end) const {
  uint32_t size = 0;
  if (OldFreeblockHeader(page, x, end, true, &size)) return true;
  int64_t payload = 0, rowid = 0, header = 0;
  const uint8_t *a = nullptr, *b = nullptr;
  return WholeCellStart(page, x, end, &payload, &rowid, &header, &a, &b) != nullptr;
}

bool CellHeads::SameAsCellAt(const uint8_t* page, uint32_t at, const CarvedRecord& record, size_t known,
                             int lostTypes) const {
  const uint8_t* limit = page + s_.usable;
  int64_t payload = 0, rowid = 0, header = 0;
  const uint8_t* a = ReadVarint64(page + at, limit, &payload);
  const uint8_t* b = a ? ReadVarint64(a, limit, &rowid) : nullptr;
  const uint8_t* t = b ? ReadVarint64(b, limit, &header) : nullptr;
  if (!t || payload <= 0 || header <= 0 || header > limit - b) return false;
  const uint8_t* headerEnd = b + header;
  const uint8_t* bodyEnd = b + std::min<int64_t>(TableLeafLocalPayload(payload, s_.usable), limit - b);
  const uint8_t* body = headerEnd;
  Value live;
  for (size_t i = 0; i < known && i < record.values.size(); ++i) {
    int64_t type = 0;
    t = t < headerEnd ? ReadVarint64(t, headerEnd, &type) : nullptr;
    if (!t || type < 0 || type == kSerialReserved10 || type == kSerialReserved11) return false;
    const uint64_t size = SerialTypeSize(static_cast<uint64_t>(type));
    if (size > static_cast<uint64_t>(bodyEnd - body)) return false;
    DecodeValueInto(static_cast<uint64_t>(type), body, size, s_.encoding, size, live);
    body += size;
    const Value& old = record.values[i];
    // The rowid's column, and a lost value not told, say nothing.
    if (static_cast<int>(i) == s_.aliasColumn || (static_cast<int>(i) < lostTypes && old.kind == Value::Kind::Null)) {
      continue;
    }
    if (old.kind != live.kind || old.integer != live.integer) return false;
    if (old.kind == Value::Kind::Real && old.real != live.real) return false;
    // The last value known may be cut: the bytes before the newer cell.
    const bool last = i + 1 == known;
    if (last ? live.bytes.compare(0, old.bytes.size(), old.bytes) != 0 : live.bytes != old.bytes) return false;
  }
  return true;
}

uint32_t CellHeads::LiveCellEndFrom(uint32_t at) const {
  const auto live = std::lower_bound(s_.liveCells.begin(), s_.liveCells.end(), std::make_pair(at, uint32_t{0}));
  return live != s_.liveCells.end() && live->first == at ? live->second : 0;
}

bool CellHeads::IsBoundary(uint32_t x) const {
  return std::binary_search(s_.boundaries.begin(), s_.boundaries.end(), x);
}

}  // namespace engine::carving
