// Decoding of a candidate record: the values of one shape at one alignment, the
// rules that reject a wrong alignment, and the score of what is left.
#include "engine/records/candidate_builder.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "engine/reader/coding.h"
#include "engine/records/table_row.h"
#include "engine/records/value.h"

namespace engine::carving {

using namespace format;

bool CandidateBuilder::Build(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                             const Shape& shape, uint64_t lostSize, Candidate* candidate) const {
  // Crafted pages can make the alignments many: each page gets a bounded amount of
  // work, after which it yields what was found so far.
  if (s_.budget == 0) return false;
  --s_.budget;
  const uint8_t* limit = page + end;
  const size_t c = s_.columns.size();
  const std::vector<uint64_t>& types = shape.types;
  const uint32_t prefix = static_cast<uint32_t>(layout.lead + layout.p + layout.q);
  uint64_t body = shape.body;
  if (layout.lostTypes > 0) {
    // Lost types of one byte each (values below 58 bytes), so without overflow.
    if (lostSize > layout.lostTypes * kMaxOneByteSize) return false;
    body += lostSize;
  }
  const uint64_t payload = shape.headerSize + body;
  if (VarintLength(payload) != layout.p) return false;
  if (!layout.damaged && payload != layout.statedPayload) return false;
  const int64_t local = s_.indexCells ? format::IndexLocalPayload(static_cast<int64_t>(payload), s_.usable)
                                    : format::TableLeafLocalPayload(static_cast<int64_t>(payload), s_.usable);
  const bool overflow = local < static_cast<int64_t>(payload);
  const uint64_t length = prefix + static_cast<uint64_t>(local) + (overflow ? kOverflowPointerSize : 0);
  // A record cut by a newer cell keeps its header whole before that cell.
  const bool cut = x + length > end;
  if (cut && (layout.cutEnd == 0 || x + length != layout.cutEnd || x + prefix + shape.headerSize > end)) {
    return false;
  }
  // A record cut short shows less: its known values must be of kinds the live rows
  // hold in their columns.
  auto kindSeen = [&](size_t column, const Value& v) {
    return v.kind == Value::Kind::Null || column >= s_.liveKinds.size() || s_.liveKinds[column] == 0 ||
           (s_.liveKinds[column] & (1u << static_cast<unsigned>(v.kind))) != 0;
  };

  // The payload: the part in the cell, then the overflow chain, guarded like a live
  // cell's (pages of a deleted record may have been reused: texts are checked below).
  // Without overflow the values are read in place; with it, the chain is joined to
  // the part in the cell.
  std::vector<uint8_t> joined;
  const uint8_t* payloadBytes = page + x + prefix;
  uint64_t known = cut ? end - x - prefix : static_cast<uint64_t>(local);
  if (overflow && !cut) {
    // The overflow pages a payload needs must exist; each page read costs work, so
    // that a crafted page cannot make every alignment read the whole file.
    const uint64_t perPage = s_.usable - kOverflowPointerSize;
    if ((payload - static_cast<uint64_t>(local) + perPage - 1) / perPage > s_.pages.PageCount()) return false;
    joined.assign(payloadBytes, payloadBytes + local);
    uint64_t next = ReadBigEndian32(page + x + prefix + local, limit);
    std::unordered_set<uint64_t> visited;
    std::vector<uint8_t> chain;
    while (joined.size() < payload && s_.pages.IsValidPage(next) && visited.insert(next).second &&
           s_.budget >= kWorkPerOverflowPage) {
      // A page some earlier chain read is read again only while the carver's
      // allowance of rereads lasts: cells of many pages that share one chain
      // cannot make the table cost cells x chain length.
      if (!s_.walked.Claim(next)) {
        if (s_.rereads == 0) break;
        --s_.rereads;
      }
      s_.budget -= kWorkPerOverflowPage;
      s_.pages.ReadPage(next, chain);
      // A page given out again as a b-tree page is no part of the chain any more (an
      // overflow page leads with the next page's number, whose first byte is zero in
      // a file of fewer than 2^24 pages); nor is a last page that leads on.
      if (s_.pages.PageCount() < kPagesWithZeroLeadByte && chain[0] != 0) break;
      const size_t take = std::min<size_t>(perPage, payload - joined.size());
      next = ReadBigEndian32(chain.data(), chain.data() + chain.size());
      if (joined.size() + take == payload && next != 0) break;
      joined.insert(joined.end(), chain.begin() + kOverflowPointerSize,
                    chain.begin() + kOverflowPointerSize + take);
    }
    payloadBytes = joined.data();
    known = joined.size();  // values past a broken chain are not known: they stay NULL
  }

  Candidate result;
  result.length = cut ? end - x : static_cast<uint32_t>(length);
  result.typeCount = types.size();
  CarvedRecord& record = result.record;
  record.rowidKnown = layout.rowidKnown;
  record.rowid = layout.rowid;
  record.values.resize(c);
  record.overwritten = cut;
  const size_t surviving = types.size() - static_cast<size_t>(layout.lostTypes);
  int score = layout.evidence + 3 * static_cast<int>(surviving) +
              (types.size() == c ? 8 : -3 * static_cast<int>(c - types.size()));
  // An old freeblock header whose size is the cell's own (it was freed alone, and
  // merged later) is seldom met by chance. A larger one (merged with cells freed
  // before it) ends where a later cell begins, or past the freeblock's end when
  // that was given out again; bytes whose size ends nowhere were no header.
  if (layout.oldSize != 0) {
    const bool alone = layout.oldSize >= length && layout.oldSize <= length + kMaxFragment;
    if (!alone && !layout.oldSizeLands) return false;
    score += alone ? 10 : 3;
  }
  // (A lost value's size is chosen to end there: that shows nothing.)
  if (cut && layout.lostTypes == 0) score += kUnderCellEvidence;
  // The length of a record whose first type was lost was chosen to fit: it shows little.
  if (layout.lostTypes > 0) score -= 6 * layout.lostTypes;
  // Two lost values share the lost size: where one ends is known only when a
  // single split gives both a value their columns can hold; else neither is known.
  uint64_t lostSizes[2] = {lostSize, 0};
  bool lostKnown = true;
  if (layout.lostTypes == 2) {
    const uint8_t* data = payloadBytes + std::min<uint64_t>(shape.headerSize, known);
    int splits = 0;
    bool typical = false;
    for (uint64_t first = 0; first <= lostSize && shape.headerSize + lostSize <= known; ++first) {
      if (first > kMaxOneByteSize || lostSize - first > kMaxOneByteSize) continue;
      if (!rules_.LostValueFits(data, first, 0) || !rules_.LostValueFits(data + first, lostSize - first, 1)) continue;
      ++splits;
      if (typical) continue;
      lostSizes[0] = first;
      lostSizes[1] = lostSize - first;
      typical = first == s_.typicalLead[0] && lostSize - first == s_.typicalLead[1];
    }
    lostKnown = splits == 1 || typical;
    if (!lostKnown) {
      lostSizes[0] = lostSize;
      lostSizes[1] = 0;
    }
  }
  bool anySubstantial = false;
  size_t knownValues = 0;  // the values from the first one that are known, wholly or cut
  uint64_t offset = shape.headerSize;
  for (size_t i = 0; i < types.size(); ++i) {
    Value& v = record.values[i];
    const bool lost = static_cast<int>(i) < layout.lostTypes;
    const uint64_t size = lost ? lostSizes[i] : SerialTypeSize(types[i]);
    const uint8_t* at = payloadBytes + std::min<uint64_t>(offset, known);
    const size_t available = static_cast<size_t>(known - std::min<uint64_t>(offset, known));
    const bool straddles = offset + size > known && offset < known;
    if (straddles && (overflow || cut) && (!lost || (cut && s_.affinities[i] == Affinity::Text))) {
      // A text or blob whose overflow chain broke, or that a newer cell was written
      // over, keeps the bytes that survive (a lost type is a text's in a TEXT column).
      const uint64_t type = lost ? TextType(size) : types[i];
      const bool utf16Text = type >= kSerialFirstText && type % 2 == 1 && s_.encoding != format::TextEncoding::Utf8;
      const size_t kept = utf16Text ? WholeUtf16Bytes(at, available, s_.encoding) : available;
      DecodeValueInto(type, at, kept, s_.encoding, size, v);
      if (lost && v.kind != Value::Kind::Text) return false;
      if (v.kind == Value::Kind::Text && s_.encoding == format::TextEncoding::Utf8) TrimCutUtf8(v.bytes);
      if (v.kind == Value::Kind::Text && !rules_.PlausibleText(v.bytes)) return false;
      if (!cut) ++record.cutValues;
      score -= 2;
    } else if (offset + size > known) {
      v = Value::Null();
      score -= 2;
    } else if (lost) {
      if (static_cast<int>(i) == s_.aliasColumn && size != 0) return false;
      // Bytes of a TEXT column that read as UTF-16 text but for their length (odd)
      // or their first byte are a text read at a wrong alignment, not a blob.
      if (s_.encoding != format::TextEncoding::Utf8 && s_.affinities[i] == Affinity::Text &&
          ((size % 2 != 0 && LooksLikeText(at, size, s_.encoding)) ||
           (size > 4 && LooksLikeText(at + 1, size - 1, s_.encoding)))) {
        return false;
      }
      v = lostKnown ? rules_.InferLostValue(at, static_cast<uint32_t>(size), i) : Value::Null();
    } else {
      DecodeValueInto(types[i], at, available, s_.encoding, size, v);
      // SQLite gives 0 and 1 serial types of their own: a one-byte 0 or 1 is no
      // record's.
      if (s_.smallIntegerTypes && types[i] == kSerialInt8 && (v.integer == 0 || v.integer == 1)) return false;
      // Eight bytes of a real that read as printable text in the database's encoding
      // are text read at a wrong alignment: a real number's bytes seldom are.
      // In a UTF-16 database, one byte off is as telling.
      if (types[i] == kSerialReal && available >= 8 &&
          (LooksLikeText(at, 8, s_.encoding) ||
           (s_.encoding != format::TextEncoding::Utf8 && LooksLikeText(at, 8, Swapped(s_.encoding))))) {
        return false;
      }
      // The rowid's column stores NULL; its value is the rowid, when that survived.
      if (static_cast<int>(i) == s_.aliasColumn) {
        score += 4;
        if (record.rowidKnown) v = Value::Integer(record.rowid);
      }
      // Texts hold no zero characters and, in a UTF-8 database, valid UTF-8: bytes of
      // another alignment seldom do. The longer the text, the more that shows.
      if (v.kind == Value::Kind::Text) {
        if (!rules_.PlausibleText(v.bytes)) return false;
        score += static_cast<int>(std::min<size_t>(v.bytes.size(), 24) / 6);
      }
    }
    // Zeros prove nothing: a zero-filled area parses as NULLs. A serial type other
    // than NULL that survived is a value known, even a zero or an empty text.
    const bool substantial =
        (!lost && types[i] != kSerialNull) || (v.kind == Value::Kind::Integer && v.integer != 0) ||
        (v.kind == Value::Kind::Real && v.real != 0) ||
        ((v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob) &&
         v.bytes.find_first_not_of('\0') != std::string::npos);
    anySubstantial = anySubstantial || substantial;
    if (offset + size <= known || (straddles && v.kind != Value::Kind::Null)) knownValues = i + 1;
    if (cut && !kindSeen(i, v)) return false;
    offset += size;
  }
  // Where the header's start was lost, a first text followed by numbers whose bytes
  // are letters of the case the text ends with, and a live cell after the bytes, is
  // the head of a longer text that cell was written over, read at a wrong alignment
  // (a lost type, or the last byte of a lost two-byte one read as a type of its
  // own): the numbers are its next characters.
  if (!cut && layout.cutEnd != 0 && !layout.headerKnown) {
    uint64_t end = shape.headerSize;  // of value i
    for (size_t i = 0; i < types.size(); ++i) {
      end += static_cast<int>(i) < layout.lostTypes ? lostSizes[i] : SerialTypeSize(types[i]);
      const Value& text = record.values[i];
      if (text.kind == Value::Kind::Null || static_cast<int>(i) == s_.aliasColumn) continue;
      if (text.kind != Value::Kind::Text || text.bytes.empty()) break;
      uint64_t numberBytes = 0;
      for (size_t k = i + 1; k < types.size() && types[k] >= kSerialInt8 && types[k] <= kSerialReal; ++k) {
        numberBytes += SerialTypeSize(types[k]);
      }
      if (numberBytes >= 2 && end + numberBytes <= known &&
          ContinuesText(text.bytes.back(), payloadBytes + end, numberBytes, s_.encoding)) {
        return false;
      }
      break;
    }
  }
  // A record none of whose values is known (all NULL or zero-filled, as a securely
  // deleted one is) gives no row; it may still be a link in a freeblock's chain. Nor
  // does an older version of a row whose known values the newer one over it repeats.
  result.empty = !anySubstantial || (cut && heads_.SameAsCellAt(page, end, record, knownValues, layout.lostTypes));
  // A record of one or two values whose start showed nothing proves little by itself:
  // only a freeblock it fills, or a next cell, can make it believable.
  result.weak = layout.evidence == 0 && surviving <= 2;
  result.score = score;
  *candidate = std::move(result);
  return true;
}

}  // namespace engine::carving
