#include "engine/records/record_carver.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <unordered_set>

#include "engine/reader/coding.h"

namespace engine {

namespace {

constexpr uint32_t kLostBytes = 4;        // a freeblock header overwrites a cell's first 4 bytes
constexpr uint32_t kMaxFragment = 3;      // SQLite absorbs gaps below 4 bytes into a freeblock
constexpr uint64_t kMaxOneByteSize = 57;  // the longest content of a one-byte serial type
constexpr int kRejected = INT_MIN;

int VarintLength(uint64_t v) {
  int n = 1;
  while (n < 9 && (v >> (7 * n)) != 0) ++n;
  return n;
}

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const int extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += 1 + extra;
  }
  return true;
}

bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

}  // namespace

struct RecordCarver::Layout {
  int p = 1;                   // bytes of the payload-size varint
  int q = 1;                   // bytes of the rowid varint
  int hsb = 1;                 // bytes of the header-size varint
  bool damaged = true;         // the cell's first 4 bytes are lost
  bool headerKnown = false;    // the header size was read (it survived)
  uint64_t headerSize = 0;     // when known
  bool lostFirstType = false;  // the first serial type was among the lost bytes
  int columns = 0;             // serial types in the header, when the size is not known
  int64_t lostSize = -1;       // content size of the lost first value; -1: fit to the end
  bool rowidKnown = false;
  int64_t rowid = 0;
  uint64_t statedPayload = 0;  // an intact cell's payload size, which the header must match
};

struct RecordCarver::Candidate {
  uint32_t length = 0;
  int score = kRejected;
  bool exactEnd = false;
  size_t typeCount = 0;  // serial types the header held
  CarvedRecord record;
};

RecordCarver::RecordCarver(const std::vector<columndata>& columns, size_t minColumns,
                           format::TextEncoding encoding, uint32_t usableSize, const PageReader& pages)
    : columns_(columns),
      minColumns_(std::max<size_t>(1, std::min(minColumns, columns.size()))),
      encoding_(encoding),
      usable_(usableSize),
      pages_(pages) {
  int keys = 0;
  for (size_t i = 0; i < columns_.size(); ++i) {
    affinities_.push_back(AffinityOf(columns_[i].declaredType));
    if (columns_[i].primaryKey) {
      ++keys;
      if (SameIgnoringCase(columns_[i].declaredType, "INTEGER")) aliasColumn_ = static_cast<int>(i);
    }
  }
  if (keys != 1) aliasColumn_ = -1;
}

Value RecordCarver::InferLostValue(const uint8_t* data, uint32_t size, size_t column) const {
  // Only the value's size survived, not its serial type. A value whose type that
  // size leaves open is not known: NULL, rather than a guess.
  Value value;
  if (size == 0 || static_cast<int>(column) == aliasColumn_) return value;
  const bool numberSize = size == 1 || size == 2 || size == 3 || size == 4 || size == 6 || size == 8;
  const Affinity affinity = column < affinities_.size() ? affinities_[column] : Affinity::Blob;
  DecodeValueInto(13 + 2 * uint64_t{size}, data, size, encoding_, size, value);  // as text
  const bool text = ValidUtf8(value.bytes) && value.bytes.find('\0') == std::string::npos;
  if (affinity == Affinity::Text) {
    // A TEXT column turns numbers into text: only a text or a blob can stand here.
    if (!text) DecodeValueInto(12 + 2 * uint64_t{size}, data, size, encoding_, size, value);
    return value;
  }
  if (numberSize) return Value::Null();  // a number or a short text: cannot tell
  if (!text) DecodeValueInto(12 + 2 * uint64_t{size}, data, size, encoding_, size, value);
  return value;
}

bool RecordCarver::Evaluate(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                            Candidate* candidate) const {
  // Crafted pages can make the alignments many: each page gets a bounded amount of
  // work, after which it yields what was found so far.
  if (budget_ == 0) return false;
  --budget_;
  const uint8_t* limit = page + end;
  const size_t c = columns_.size();
  std::vector<uint64_t> types;
  uint64_t headerSize = 0;
  const uint32_t prefix = static_cast<uint32_t>(layout.p + layout.q);  // bytes before the header
  if (layout.headerKnown) {
    headerSize = layout.headerSize;
    const uint8_t* t = page + x + prefix + layout.hsb;
    const uint8_t* headerEnd = page + x + prefix + headerSize;
    if (headerEnd > limit || headerSize < static_cast<uint64_t>(layout.hsb) + 1) return false;
    while (t < headerEnd) {
      int64_t type = 0;
      if (!(t = ReadVarint64(t, headerEnd, &type))) return false;
      types.push_back(static_cast<uint64_t>(type));
      if (types.size() > c) return false;
    }
  } else {
    // The header size was lost: the serial types that survived start at byte 4.
    const uint8_t* t = page + x + kLostBytes;
    size_t bytes = layout.lostFirstType ? 1 : 0;
    if (layout.lostFirstType) types.push_back(0);  // stands for the lost type
    while (static_cast<int>(types.size()) < layout.columns) {
      int64_t type = 0;
      const uint8_t* next = ReadVarint64(t, limit, &type);
      if (!next) return false;
      bytes += static_cast<size_t>(next - t);
      t = next;
      types.push_back(static_cast<uint64_t>(type));
    }
    headerSize = layout.hsb + bytes;
    if (VarintLength(headerSize) != layout.hsb) return false;
  }
  if (types.size() < minColumns_ || types.size() > c) return false;
  // Without one serial type that survived, nothing shows that this is a record.
  if (layout.lostFirstType && types.size() < 2) return false;

  uint64_t body = 0;
  for (size_t i = 0; i < types.size(); ++i) {
    if (i == 0 && layout.lostFirstType) continue;
    if (types[i] == 10 || types[i] == 11) return false;
    body += SerialTypeSize(types[i]);
    if (body > (uint64_t{1} << 31)) return false;
  }
  int64_t lostSize = 0;
  if (layout.lostFirstType) {
    // A one-byte record (payload below 128 bytes): without overflow, so the cell ends
    // where the freeblock does unless a size was chosen by what follows.
    lostSize = layout.lostSize >= 0 ? layout.lostSize
                                    : static_cast<int64_t>(end - x) - prefix -
                                          static_cast<int64_t>(headerSize + body);
    if (lostSize < 0 || static_cast<uint64_t>(lostSize) > kMaxOneByteSize) return false;
    body += static_cast<uint64_t>(lostSize);
  }
  const uint64_t payload = headerSize + body;
  if (VarintLength(payload) != layout.p) return false;
  if (!layout.damaged && payload != layout.statedPayload) return false;
  const int64_t local = format::TableLeafLocalPayload(static_cast<int64_t>(payload), usable_);
  const bool overflow = local < static_cast<int64_t>(payload);
  const uint64_t length = prefix + static_cast<uint64_t>(local) + (overflow ? 4 : 0);
  if (x + length > end) return false;

  // The payload: the part in the cell, then the overflow chain, guarded like a live
  // cell's (pages of a deleted record may have been reused: texts are checked below).
  // Without overflow the values are read in place; with it, the chain is joined to
  // the part in the cell.
  std::vector<uint8_t> joined;
  const uint8_t* payloadBytes = page + x + prefix;
  uint64_t known = static_cast<uint64_t>(local);
  if (overflow) {
    joined.assign(payloadBytes, payloadBytes + local);
    uint64_t next = ReadBigEndian32(page + x + prefix + local, limit);
    std::unordered_set<uint64_t> visited;
    std::vector<uint8_t> chain;
    const size_t perPage = usable_ - 4;
    while (joined.size() < payload && pages_.IsValidPage(next) && visited.insert(next).second) {
      pages_.ReadPage(next, chain);
      const size_t take = std::min<size_t>(perPage, payload - joined.size());
      joined.insert(joined.end(), chain.begin() + 4, chain.begin() + 4 + take);
      next = ReadBigEndian32(chain.data(), chain.data() + chain.size());
    }
    payloadBytes = joined.data();
    known = joined.size();  // values past a broken chain are not known: they stay NULL
  }

  Candidate result;
  result.length = static_cast<uint32_t>(length);
  result.exactEnd = x + length == end;
  result.typeCount = types.size();
  CarvedRecord& record = result.record;
  record.rowidKnown = layout.rowidKnown;
  record.rowid = layout.rowid;
  record.values.resize(c);
  int score = 2 * static_cast<int>(types.size()) + (types.size() == c ? 10 : -2 * static_cast<int>(c - types.size()));
  bool anySubstantial = false;
  uint64_t offset = headerSize;
  for (size_t i = 0; i < types.size(); ++i) {
    Value& v = record.values[i];
    const bool lost = i == 0 && layout.lostFirstType;
    const uint64_t size = lost ? static_cast<uint64_t>(lostSize) : SerialTypeSize(types[i]);
    const uint8_t* at = payloadBytes + std::min<uint64_t>(offset, known);
    const size_t available = static_cast<size_t>(known - std::min<uint64_t>(offset, known));
    if (offset + size > known) {
      v = Value::Null();
      score -= 2;
    } else if (lost) {
      v = InferLostValue(at, static_cast<uint32_t>(size), i);
      if (static_cast<int>(i) == aliasColumn_ && size != 0) score -= 50;
    } else {
      DecodeValueInto(types[i], at, available, encoding_, size, v);
      if (static_cast<int>(i) == aliasColumn_) {
        // The rowid's column stores NULL; its value is the rowid, when that survived.
        if (types[i] != 0) score -= 50;
        if (record.rowidKnown) v = Value::Integer(record.rowid);
      }
      const bool numeric = v.kind == Value::Kind::Integer || v.kind == Value::Kind::Real;
      if (numeric && affinities_[i] == Affinity::Text) score -= 30;  // SQLite stores those as text
      // Texts hold no zero characters and, in a UTF-8 database, valid UTF-8: bytes of
      // another alignment seldom do.
      if (v.kind == Value::Kind::Text &&
          (v.bytes.find('\0') != std::string::npos ||
           (encoding_ == format::TextEncoding::Utf8 && !ValidUtf8(v.bytes)))) {
        return false;
      }
    }
    // Zeros prove nothing: a zero-filled area parses as NULLs, zeros and empty texts.
    const bool substantial =
        (v.kind == Value::Kind::Integer && v.integer != 0) ||
        (v.kind == Value::Kind::Real && v.real != 0) ||
        ((v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob) &&
         v.bytes.find_first_not_of('\0') != std::string::npos);
    anySubstantial = anySubstantial || substantial;
    offset += size;
  }
  if (!anySubstantial) return false;  // nothing of it survived (a securely deleted record)
  if (result.exactEnd) score += 20;
  result.score = score;
  *candidate = std::move(result);
  return true;
}

bool RecordCarver::BestAt(const uint8_t* page, uint32_t x, uint32_t end, bool damaged,
                          bool lookahead, Candidate* best) const {
  best->score = kRejected;
  const uint8_t* limit = page + end;
  const int c = static_cast<int>(columns_.size());
  auto consider = [&](const Layout& layout) {
    Candidate candidate;
    if (!Evaluate(page, x, end, layout, &candidate)) return;
    if (!candidate.exactEnd && lookahead) {
      // A cell that leaves room is more plausible when another cell follows it.
      Candidate next;
      const uint32_t y = x + candidate.length;
      if (BestAt(page, y, end, false, false, &next) || BestAt(page, y, end, true, false, &next)) {
        candidate.score += 15;
      }
    }
    if (candidate.score > best->score) *best = std::move(candidate);
  };

  if (!damaged) {
    Layout layout;
    layout.damaged = false;
    const uint8_t* p = page + x;
    int64_t payload = 0, rowid = 0, header = 0;
    const uint8_t* a = ReadVarint64(p, limit, &payload);
    const uint8_t* b = a ? ReadVarint64(a, limit, &rowid) : nullptr;
    const uint8_t* h = b ? ReadVarint64(b, limit, &header) : nullptr;
    if (!h || payload <= 0 || header <= 0 || header > payload) return false;
    layout.p = static_cast<int>(a - p);
    layout.q = static_cast<int>(b - a);
    layout.hsb = static_cast<int>(h - b);
    layout.headerKnown = true;
    layout.headerSize = static_cast<uint64_t>(header);
    layout.rowidKnown = true;
    layout.rowid = rowid;
    layout.statedPayload = static_cast<uint64_t>(payload);
    consider(layout);
    return best->score != kRejected;
  }

  // Payload-size and rowid varints long enough that the header size survived.
  for (int p = 1; p <= 3; ++p) {
    for (int q = 1; q <= 9; ++q) {
      const uint32_t prefix = static_cast<uint32_t>(p + q);
      if (prefix < kLostBytes || x + prefix >= end) continue;
      // The rowid's surviving bytes must end its varint exactly where the header begins.
      bool rowidTail = true;
      for (uint32_t i = kLostBytes; i < prefix; ++i) {
        const bool last = i + 1 == prefix;
        const bool more = (page[x + i] & 0x80) != 0;
        if (q < 9 || !last) rowidTail = rowidTail && (last ? !more : more);
      }
      if (!rowidTail) continue;
      int64_t header = 0;
      const uint8_t* h = ReadVarint64(page + x + prefix, limit, &header);
      if (!h || header <= 0 || h - (page + x + prefix) > 2) continue;
      Layout layout;
      layout.p = p;
      layout.q = q;
      layout.hsb = static_cast<int>(h - (page + x + prefix));
      layout.headerKnown = true;
      layout.headerSize = static_cast<uint64_t>(header);
      consider(layout);
    }
  }
  // Header size lost with the first 4 bytes: every serial type survived (p + q = 3),
  // or all but the first (p = q = 1).
  for (int n = 1; n <= c; ++n) {
    for (int p = 1; p <= 2; ++p) {
      Layout layout;
      layout.p = p;
      layout.q = 3 - p;
      layout.columns = n;
      consider(layout);
    }
    Layout lost;
    lost.lostFirstType = true;
    lost.columns = n;
    consider(lost);
    if (lookahead) {
      // A merged freeblock: the first value's size is whatever lets the next cell start.
      for (int64_t size = 0; size <= static_cast<int64_t>(kMaxOneByteSize); ++size) {
        Layout sized = lost;
        sized.lostSize = size;
        Candidate candidate;
        if (!Evaluate(page, x, end, sized, &candidate) || candidate.exactEnd) continue;
        Candidate next;
        const uint32_t y = x + candidate.length;
        if (BestAt(page, y, end, false, false, &next) || BestAt(page, y, end, true, false, &next)) {
          candidate.score += 15;
          if (candidate.score > best->score) *best = std::move(candidate);
        }
      }
    }
  }
  return best->score != kRejected;
}

void RecordCarver::StartPage() const { budget_ = kWorkPerPage; }

void RecordCarver::CarveFreeblock(const uint8_t* page, uint32_t start, uint32_t end,
                                  std::vector<CarvedRecord>& out) const {
  end = std::min(end, usable_);
  uint32_t x = start;
  bool damaged = true;  // the freeblock's own header lies over the first cell's start
  while (x + kLostBytes < end) {
    Candidate best;
    uint32_t at = x;
    for (uint32_t skip = 0; skip <= (damaged ? 0 : kMaxFragment) && x + skip < end; ++skip) {
      Candidate candidate;
      if (!damaged && BestAt(page, x + skip, end, false, true, &candidate) &&
          candidate.score > best.score) {
        best = std::move(candidate);
        at = x + skip;
      }
      if (BestAt(page, x + skip, end, true, true, &candidate) && candidate.score > best.score) {
        best = std::move(candidate);
        at = x + skip;
      }
    }
    if (best.score == kRejected || best.score < 0) return;
    // A record of one or two values proves little by itself: it must fill the
    // freeblock to its end or be followed by another record.
    if (best.typeCount <= 2 && !best.exactEnd && best.score < 2 * static_cast<int>(best.typeCount) + 25) {
      return;
    }
    out.push_back(std::move(best.record));
    x = at + best.length;
    damaged = false;  // a later cell may have kept its first bytes (merged after this one)
  }
}

void RecordCarver::CarveGap(const uint8_t* page, uint32_t start, uint32_t end,
                            std::vector<CarvedRecord>& out) const {
  end = std::min(end, usable_);
  for (uint32_t x = start; x + kLostBytes < end;) {
    // A freed cell that bordered the content still starts with the freeblock header
    // SQLite wrote over its first bytes (next freeblock, size) before it moved the
    // content start past it.
    const uint32_t next = ReadBigEndian16(page + x, page + end);
    const uint32_t size = ReadBigEndian16(page + x + 2, page + end);
    if (size > kLostBytes && x + size <= end && (next == 0 || next >= x + size)) {
      const size_t before = out.size();
      CarveFreeblock(page, x, x + size, out);
      if (out.size() > before) {
        x += size;
        continue;
      }
    }
    // Otherwise only a whole cell whose stated payload size is the one its header
    // describes: stale pointers and old bytes fill the rest of the gap.
    // A record of one or two values proves too little to be read at any offset.
    Candidate best;
    if (page[x] != 0 && BestAt(page, x, end, false, false, &best) && best.score >= 0 &&
        best.typeCount >= 3) {
      out.push_back(std::move(best.record));
      x += best.length;
    } else {
      ++x;
    }
  }
}

}  // namespace engine
