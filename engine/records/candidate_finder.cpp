// Alignments of a candidate record at a position: the layouts a cell's varints and a
// freeblock header over them allow, and the serial types each layout reads.
#include "engine/records/candidate_finder.h"

#include <algorithm>

#include "engine/reader/coding.h"
#include "engine/records/table_row.h"

namespace engine::carving {

using namespace format;

void CandidateFinder::ForEachShape(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                                   const std::function<void(const Shape&)>& onShape) const {
  const uint8_t* limit = page + end;
  const size_t c = s_.columns.size();
  Shape shape;
  std::vector<uint64_t>& types = shape.types;
  const uint32_t prefix = static_cast<uint32_t>(layout.lead + layout.p + layout.q);  // bytes before the header
  const uint8_t* t = nullptr;
  const uint8_t* headerEnd = limit;
  size_t bytes = 0;  // header bytes after the header-size varint
  if (layout.headerKnown) {
    if (layout.headerSize > end) return;  // (before any pointer is formed from it)
    headerEnd = page + x + prefix + layout.headerSize;
    if (headerEnd > limit ||
        layout.headerSize < static_cast<uint64_t>(layout.hsb) + 1) {
      return;
    }
    t = page + x + prefix + layout.hsb;
  } else {
    // The header size was lost: the serial types that survived follow the lost bytes.
    t = page + x + layout.typesAt;
    for (int lost = 0; lost < layout.lostTypes; ++lost) {
      types.push_back(kSerialNull);  // stands for a lost type
      ++bytes;
    }
  }
  shape.body = 0;
  while (types.size() < c && t < headerEnd) {
    int64_t value = 0;
    const uint8_t* next = ReadVarint64(t, headerEnd, &value);
    if (!next) return;
    bytes += static_cast<size_t>(next - t);
    t = next;
    const uint64_t type = static_cast<uint64_t>(value);
    const size_t i = types.size();
    if (type == kSerialReserved10 || type == kSerialReserved11) return;
    if (static_cast<int>(i) == s_.aliasColumn && type != kSerialNull) return;  // it stores NULL
    // A TEXT column stores its numbers as text.
    if (type >= kSerialInt8 && type <= kSerialOne && s_.affinities[i] == Affinity::Text) return;
    // A UTF-16 text is whole code units.
    if (type >= kSerialFirstText && type % 2 == 1 && s_.encoding != format::TextEncoding::Utf8 &&
        SerialTypeSize(type) % 2 != 0) {
      return;
    }
    shape.body += SerialTypeSize(type);
    if (shape.body > static_cast<uint64_t>(kMaxPayloadSize)) return;
    types.push_back(type);
    if (layout.headerKnown) continue;
    // Without the header size, every count of values is a record of its own.
    // Without one serial type that survived, nothing shows that this is a record.
    if (types.size() < s_.minColumns || types.size() < static_cast<size_t>(layout.lostTypes) + 1) continue;
    shape.headerSize = layout.hsb + bytes;
    if (VarintLength(shape.headerSize) != layout.hsb) continue;
    if (layout.headerLowBits >= 0 && (shape.headerSize & kVarintGroupMask) != static_cast<uint64_t>(layout.headerLowBits)) {
      continue;
    }
    onShape(shape);
  }
  if (layout.headerKnown && t == headerEnd && types.size() >= s_.minColumns) {
    shape.headerSize = layout.headerSize;
    onShape(shape);
  }
}

void CandidateFinder::CandidatesAt(const uint8_t* page, uint32_t x, uint32_t end, Start start,
                                   std::vector<Candidate>& out) const {
  const size_t first = out.size();
  auto add = [&](Candidate&& candidate) {
    for (size_t i = first; i < out.size(); ++i) {
      if (out[i].length != candidate.length) continue;
      if (candidate.score > out[i].score) out[i] = std::move(candidate);
      return;
    }
    out.push_back(std::move(candidate));
  };
  const uint32_t cutEnd = heads_.LiveCellEndFrom(end);
  auto consider = [&](const Layout& given, uint32_t cellEnd) {
    Layout layout = given;
    if (cellEnd == end) layout.cutEnd = cutEnd;
    ForEachShape(page, x, cellEnd, layout, [&](const Shape& shape) {
      Candidate candidate;
      if (layout.lostTypes == 0) {
        if (builder_.Build(page, x, cellEnd, layout, shape, 0, &candidate)) add(std::move(candidate));
        return;
      }
      // The lost values are as long as lets the cell end where the freeblock does or
      // where another cell can begin.
      const uint64_t fixed = static_cast<uint64_t>(layout.lead + layout.p + layout.q) + shape.headerSize + shape.body;
      const uint64_t most = layout.lostTypes * kMaxOneByteSize;
      for (uint64_t size = 0; size <= most && x + fixed + size <= cellEnd; ++size) {
        const uint32_t y = static_cast<uint32_t>(x + fixed + size);
        if (cellEnd - y > kMaxFragment && !heads_.CellMayStart(page, y, cellEnd)) continue;
        if (builder_.Build(page, x, cellEnd, layout, shape, size, &candidate)) add(std::move(candidate));
      }
      // Or the record ran under the live cell that follows: the lost values are as
      // long as lets it end where that cell does.
      if (layout.cutEnd > cellEnd && layout.cutEnd >= x + fixed && layout.cutEnd - x - fixed <= most &&
          builder_.Build(page, x, cellEnd, layout, shape, layout.cutEnd - x - fixed, &candidate)) {
        add(std::move(candidate));
      }
    });
  };

  // A freeblock header overwrites an index interior cell's left child and nothing
  // more: the cell after it is whole wherever it starts.
  if (start != Start::kFreeblock || s_.interiorPage) {
    Layout layout;
    layout.damaged = false;
    int64_t payload = 0, rowid = 0, header = 0;
    const uint8_t *a = nullptr, *b = nullptr;
    if (const uint8_t* h = heads_.WholeCellStart(page, x, end, &payload, &rowid, &header, &a, &b)) {
      layout.lead = s_.interiorPage ? static_cast<int>(kChildPointerSize) : 0;
      const uint8_t* p = page + x + layout.lead;
      layout.p = static_cast<int>(a - p);
      layout.q = static_cast<int>(b - a);
      layout.hsb = static_cast<int>(h - b);
      layout.headerKnown = true;
      layout.headerSize = static_cast<uint64_t>(header);
      layout.rowidKnown = !s_.indexCells;
      layout.rowid = rowid;
      layout.statedPayload = static_cast<uint64_t>(payload);
      layout.evidence = 15;  // its payload size is the one its header describes
      consider(layout, end);
    }
    if (start == Start::kWholeCell || s_.interiorPage) return;
  }
  uint32_t cellEnd = end;
  int evidence = 0;
  uint32_t oldSize = 0;
  bool oldSizeLands = false;
  if (start == Start::kAfterCell) {
    // A later cell of a merged freeblock that lost its first bytes lies under the
    // header of the freeblock it once was, and within it.
    uint32_t size = 0;
    if (!heads_.OldFreeblockHeader(page, x, end, true, &size)) return;
    cellEnd = std::min(x + size, end);
    oldSize = size;
    // Past the freeblock's end, the old one ended where a cell of the page begins
    // (or at the page's end), perhaps short of it by a fragment.
    if (x + size + kMaxFragment >= end) {
      for (uint32_t f = 0; f <= kMaxFragment && !oldSizeLands; ++f) {
        oldSizeLands = x + size + f == end || heads_.IsBoundary(x + size + f);
      }
    } else {
      oldSizeLands = heads_.CellMayStart(page, x + size, end);
    }
    evidence = 1;
  }

  // Payload-size and rowid varints long enough that the header size survived. An
  // index cell has no rowid.
  const int fewestRowidBytes = s_.indexCells ? 0 : 1;
  const int mostRowidBytes = s_.indexCells ? 0 : kMaxVarintSize;
  for (int p = 1; p <= kMaxPayloadVarint; ++p) {
    for (int q = fewestRowidBytes; q <= mostRowidBytes; ++q) {
      const uint32_t prefix = static_cast<uint32_t>(p + q);
      if (prefix < kLostBytes || x + prefix >= cellEnd) continue;
      // The rowid's surviving bytes must end its varint exactly where the header begins.
      bool rowidTail = true;
      for (uint32_t i = kLostBytes; i < prefix; ++i) {
        const bool last = i + 1 == prefix;
        const bool more = (page[x + i] & kVarintMoreBit) != 0;
        if (q < kMaxVarintSize || !last) rowidTail = rowidTail && (last ? !more : more);
      }
      if (!rowidTail) continue;
      int64_t header = 0;
      const uint8_t* h = ReadVarint64(page + x + prefix, page + cellEnd, &header);
      if (!h || header <= 0 || h - (page + x + prefix) > kMaxHeaderSizeVarint) continue;
      Layout layout;
      layout.p = p;
      layout.q = q;
      layout.hsb = static_cast<int>(h - (page + x + prefix));
      layout.headerKnown = true;
      layout.headerSize = static_cast<uint64_t>(header);
      layout.evidence = evidence;
      layout.oldSize = oldSize;
      layout.oldSizeLands = oldSizeLands;
      consider(layout, cellEnd);
    }
  }
  // Header size lost with the first 4 bytes: every serial type survived (p + q = 3),
  // or all but the first (p + q = 2), or, in an index cell, all but the first two
  // (p = 1). A two-byte header size (a long header) keeps its last byte when p + q = 3.
  constexpr int kLostVarints = static_cast<int>(kLostBytes) - 1;  // p + q, before a one-byte header size
  for (int p = s_.indexCells ? kLostVarints : 1; p < kLostVarints + (s_.indexCells ? 1 : 0); ++p) {
    Layout layout;
    layout.p = p;
    layout.q = kLostVarints - p;
    layout.evidence = evidence;
    layout.oldSize = oldSize;
    layout.oldSizeLands = oldSizeLands;
    consider(layout, cellEnd);
    if (x + kLostBytes < cellEnd && (page[x + kLostBytes] & kVarintMoreBit) == 0) {
      layout.hsb = kMaxHeaderSizeVarint;
      layout.typesAt = kLostBytes + 1;
      layout.headerLowBits = page[x + kLostBytes];
      consider(layout, cellEnd);
    }
  }
  for (int lostTypes = 1; lostTypes <= (s_.indexCells ? 2 : 1); ++lostTypes) {
    Layout lost;
    lost.lostTypes = lostTypes;
    lost.p = s_.indexCells ? 3 - lostTypes : 1;
    lost.q = s_.indexCells ? 0 : 1;
    lost.evidence = evidence;
    lost.oldSize = oldSize;
    lost.oldSizeLands = oldSizeLands;
    consider(lost, cellEnd);
  }
}

}  // namespace engine::carving
