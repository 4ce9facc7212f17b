#include "engine/records/record_carver.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <functional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "engine/reader/coding.h"
#include "engine/reader/text_codec.h"
#include "engine/records/table_row.h"
#include "engine/schema/create_table_parser.h"

namespace engine {

using namespace format;

namespace {

// A freeblock header overwrites a cell's first bytes.
constexpr uint32_t kLostBytes = kFreeblockHeaderSize;
constexpr uint32_t kMaxFragment = 3;      // SQLite absorbs gaps below 4 bytes into a freeblock
// The longest content of a one-byte serial type (a text or a blob).
constexpr uint64_t kMaxOneByteSize = (kVarintGroupMask - kSerialFirstText) / 2;
// Lengths of the varints a damaged cell is tried with: payload sizes the carver
// believes need at most 4 bytes, header sizes at most 2.
constexpr int kMaxPayloadVarint = 4;
constexpr int kMaxHeaderSizeVarint = 2;
constexpr int kRejected = INT_MIN / 2;
// Scores are rough weights of evidence. A freeblock's bytes left unexplained after
// its last carved cell cost kTail: a cell that also explains them is believed more.
constexpr int kTail = 20;
constexpr int kFragmentCost = 2;  // each byte between two cells
constexpr size_t kWorkPerOverflowPage = 16;  // in alignments tried
constexpr uint64_t kPagesWithZeroLeadByte = uint64_t{1} << 24;
// A record that runs under a live cell to exactly that cell's end: SQLite wrote the
// newer cell over the end of the freed one. Seldom met by chance.
constexpr int kUnderCellEvidence = 6;

// Whether the `n` bytes at `bytes` are printable characters in `encoding`: ASCII
// ones, or UTF-16 code units of them (the first byte starting a unit).
bool LooksLikeText(const uint8_t* bytes, size_t n, format::TextEncoding encoding) {
  auto printable = [](uint8_t c) { return c >= 0x20 && c < 0x7f; };
  if (encoding == format::TextEncoding::Utf8) return std::all_of(bytes, bytes + n, printable);
  const size_t low = encoding == format::TextEncoding::Utf16le ? 0 : 1;
  for (size_t i = 0; i < n; ++i) {
    if (i % 2 == low ? !printable(bytes[i]) : bytes[i] != 0) return false;
  }
  return true;
}

// Whether the `n` bytes at `bytes`, read as characters in `encoding`, are all
// letters of the case of `last` (a text's last byte, in UTF-8).
bool ContinuesText(char last, const uint8_t* bytes, size_t n, format::TextEncoding encoding) {
  auto letterCase = [](unsigned c) { return c >= 'a' && c <= 'z' ? 1 : c >= 'A' && c <= 'Z' ? 2 : 0; };
  const int want = letterCase(static_cast<unsigned char>(last));
  if (want == 0) return false;
  const size_t step = encoding == format::TextEncoding::Utf8 ? 1 : 2;
  const size_t low = encoding == format::TextEncoding::Utf16be ? 1 : 0;
  for (size_t i = 0; i + low < n; i += step) {
    if (letterCase(bytes[i + low]) != want) return false;
    if (step == 2 && i + 1 - low < n && bytes[i + 1 - low] != 0) return false;
  }
  return true;
}

// The other byte order of a UTF-16 database.
format::TextEncoding Swapped(format::TextEncoding encoding) {
  return encoding == format::TextEncoding::Utf16le ? format::TextEncoding::Utf16be : format::TextEncoding::Utf16le;
}

// Drops a UTF-8 sequence cut off at the end of `text`.
void TrimCutUtf8(std::string& text) {
  size_t start = text.size();
  for (int back = 0; back < 4 && start > 0; ++back) {
    const unsigned char c = static_cast<unsigned char>(text[start - 1]);
    if ((c & 0xC0) != 0x80) {
      // The lead byte of the last sequence: whole when as long as it says.
      const size_t need = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
      if (text.size() - (start - 1) < need) text.resize(start - 1);
      return;
    }
    --start;
  }
}

// The bytes of a UTF-16 text cut off after `available` that hold whole characters:
// no half code unit, no high surrogate without its pair.
size_t WholeUtf16Bytes(const uint8_t* bytes, size_t available, format::TextEncoding encoding) {
  size_t n = available & ~size_t{1};
  if (n >= 2) {
    const bool le = encoding == format::TextEncoding::Utf16le;
    const unsigned unit = le ? bytes[n - 2] | bytes[n - 1] << 8 : bytes[n - 2] << 8 | bytes[n - 1];
    if (unit >= 0xD800 && unit <= 0xDBFF) n -= 2;
  }
  return n;
}

int VarintLength(uint64_t v) {
  int n = 1;
  while (n < kMaxVarintSize && (v >> (kVarintGroupBits * n)) != 0) ++n;
  return n;
}

// The serial type of a text or a blob of `size` bytes.
uint64_t TextType(uint64_t size) { return kSerialFirstText + 2 * size; }
uint64_t BlobType(uint64_t size) { return kSerialFirstBlob + 2 * size; }

}  // namespace

struct RecordCarver::Layout {
  int p = 1;                   // bytes of the payload-size varint
  int q = 1;                   // bytes of the rowid varint
  int hsb = 1;                 // bytes of the header-size varint
  bool damaged = true;         // the cell's first 4 bytes are lost
  bool headerKnown = false;    // the header size was read (it survived)
  uint64_t headerSize = 0;     // when known
  int lead = 0;                // bytes before the payload size: an interior cell's left child
  int lostTypes = 0;           // serial types among the lost bytes (at most 2)
  uint32_t typesAt = kLostBytes;  // where the serial types start, when the size is not known
  int headerLowBits = -1;      // the surviving last byte of a two-byte header size
  bool rowidKnown = false;
  int64_t rowid = 0;
  uint64_t statedPayload = 0;  // an intact cell's payload size, which the header must match
  int evidence = 0;            // what the cell's start showed: intact, or an old freeblock header
  uint32_t oldSize = 0;        // the size in that old header
  bool oldSizeLands = false;   // where it ends, another cell can begin (or the freeblock ends)
  // A live cell begins where the bytes end and ends here: the record may run under
  // it, to exactly here (0: it may not).
  uint32_t cutEnd = 0;
};

struct RecordCarver::Shape {
  std::vector<uint64_t> types;  // with a placeholder first when it was lost
  uint64_t headerSize = 0;
  uint64_t body = 0;            // content bytes of the values whose types survived
};

struct RecordCarver::Candidate {
  uint32_t length = 0;
  int score = kRejected;
  size_t typeCount = 0;  // serial types the header held
  bool weak = false;     // believable only when the freeblock's end or a next cell follows it
  bool empty = false;    // no value of it is known
  CarvedRecord record;
};

RecordCarver::RecordCarver(const std::vector<columndata>& columns, size_t minColumns,
                           format::TextEncoding encoding, uint32_t usableSize, const PageReader& pages,
                           int aliasColumn, bool indexCells)
    : columns_(columns),
      minColumns_(std::max<size_t>(1, std::min(minColumns, columns.size()))),
      encoding_(encoding),
      usable_(usableSize),
      pages_(pages),
      walked_(pages),
      rereads_(kRereadsPerFilePage * pages.PageCount() + kWorkPerPage / kWorkPerOverflowPage) {
  aliasColumn_ = aliasColumn;
  indexCells_ = indexCells;
  for (const columndata& column : columns_) affinities_.push_back(ColumnAffinity(column));
}

bool RecordCarver::PlausibleText(const std::string& utf8) const {
  if (utf8.find('\0') != std::string::npos || !IsValidUtf8(utf8)) return false;
  if (encoding_ == format::TextEncoding::Utf8) return true;
  // Decoded from UTF-16: a code unit that was no character (a lone surrogate) reads
  // as U+FFFD, and ASCII read one byte off reads as characters U+2000 to U+7E00 whose
  // low byte is zero. Texts of neither kind are a wrong alignment's.
  if (utf8.find("\xEF\xBF\xBD") != std::string::npos) return false;
  size_t shifted = 0, characters = 0;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    ++characters;
    if ((cp & 0xFF) == 0 && (cp >> 8) >= 0x20 && (cp >> 8) < 0x7F) ++shifted;
    i += n;
  }
  return !(characters >= 3 && 4 * shifted >= 3 * characters);
}

Value RecordCarver::InferLostValue(const uint8_t* data, uint32_t size, size_t column) const {
  // Only the value's size survived, not its serial type. A value whose type that
  // size leaves open is not known: NULL, rather than a guess.
  Value value;
  if (size == 0 || static_cast<int>(column) == aliasColumn_) return value;
  const bool numberSize = size == 1 || size == 2 || size == 3 || size == 4 || size == 6 || size == 8;
  const Affinity affinity = column < affinities_.size() ? affinities_[column] : Affinity::Blob;
  DecodeValueInto(TextType(size), data, size, encoding_, size, value);
  const bool text = (encoding_ == format::TextEncoding::Utf8 || size % 2 == 0) && PlausibleText(value.bytes);
  if (affinity == Affinity::Text) {
    // A TEXT column turns numbers into text: only a text or a blob can stand here.
    if (!text) DecodeValueInto(BlobType(size), data, size, encoding_, size, value);
    return value;
  }
  if (numberSize) {
    // A column of numeric affinity holds numbers, but for texts that do not read as
    // one: its integers (and a REAL column's reals) are taken as such. An 8-byte
    // value of an INTEGER or NUMERIC column may be an integer or a real: not known.
    const bool numeric = affinity == Affinity::Integer || affinity == Affinity::Numeric;
    if ((numeric || affinity == Affinity::Real) && size != 8) {
      // Serial types 1 to 5: integers of 1, 2, 3, 4, 6 bytes.
      const uint64_t type = size == SerialTypeSize(kSerialInt48) ? kSerialInt48 : size;
      DecodeValueInto(type, data, size, encoding_, size, value);
      if (smallIntegerTypes_ && type == kSerialInt8 && (value.integer == 0 || value.integer == 1)) return Value::Null();
      return value;
    }
    if (affinity == Affinity::Real) {
      DecodeValueInto(kSerialReal, data, size, encoding_, size, value);
      return value;
    }
    return Value::Null();  // a number or a short text: cannot tell
  }
  if (!text) DecodeValueInto(BlobType(size), data, size, encoding_, size, value);
  return value;
}

void RecordCarver::ForEachShape(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                                const std::function<void(const Shape&)>& onShape) const {
  const uint8_t* limit = page + end;
  const size_t c = columns_.size();
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
    if (static_cast<int>(i) == aliasColumn_ && type != kSerialNull) return;  // it stores NULL
    // A TEXT column stores its numbers as text.
    if (type >= kSerialInt8 && type <= kSerialOne && affinities_[i] == Affinity::Text) return;
    // A UTF-16 text is whole code units.
    if (type >= kSerialFirstText && type % 2 == 1 && encoding_ != format::TextEncoding::Utf8 &&
        SerialTypeSize(type) % 2 != 0) {
      return;
    }
    shape.body += SerialTypeSize(type);
    if (shape.body > static_cast<uint64_t>(kMaxPayloadSize)) return;
    types.push_back(type);
    if (layout.headerKnown) continue;
    // Without the header size, every count of values is a record of its own.
    // Without one serial type that survived, nothing shows that this is a record.
    if (types.size() < minColumns_ || types.size() < static_cast<size_t>(layout.lostTypes) + 1) continue;
    shape.headerSize = layout.hsb + bytes;
    if (VarintLength(shape.headerSize) != layout.hsb) continue;
    if (layout.headerLowBits >= 0 && (shape.headerSize & kVarintGroupMask) != static_cast<uint64_t>(layout.headerLowBits)) {
      continue;
    }
    onShape(shape);
  }
  if (layout.headerKnown && t == headerEnd && types.size() >= minColumns_) {
    shape.headerSize = layout.headerSize;
    onShape(shape);
  }
}

bool RecordCarver::Build(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                         const Shape& shape, uint64_t lostSize, Candidate* candidate) const {
  // Crafted pages can make the alignments many: each page gets a bounded amount of
  // work, after which it yields what was found so far.
  if (budget_ == 0) return false;
  --budget_;
  const uint8_t* limit = page + end;
  const size_t c = columns_.size();
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
  const int64_t local = indexCells_ ? format::IndexLocalPayload(static_cast<int64_t>(payload), usable_)
                                    : format::TableLeafLocalPayload(static_cast<int64_t>(payload), usable_);
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
    return v.kind == Value::Kind::Null || column >= liveKinds_.size() || liveKinds_[column] == 0 ||
           (liveKinds_[column] & (1u << static_cast<unsigned>(v.kind))) != 0;
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
    const uint64_t perPage = usable_ - kOverflowPointerSize;
    if ((payload - static_cast<uint64_t>(local) + perPage - 1) / perPage > pages_.PageCount()) return false;
    joined.assign(payloadBytes, payloadBytes + local);
    uint64_t next = ReadBigEndian32(page + x + prefix + local, limit);
    std::unordered_set<uint64_t> visited;
    std::vector<uint8_t> chain;
    while (joined.size() < payload && pages_.IsValidPage(next) && visited.insert(next).second &&
           budget_ >= kWorkPerOverflowPage) {
      // A page some earlier chain read is read again only while the carver's
      // allowance of rereads lasts: cells of many pages that share one chain
      // cannot make the table cost cells x chain length.
      if (!walked_.Claim(next)) {
        if (rereads_ == 0) break;
        --rereads_;
      }
      budget_ -= kWorkPerOverflowPage;
      pages_.ReadPage(next, chain);
      // A page given out again as a b-tree page is no part of the chain any more (an
      // overflow page leads with the next page's number, whose first byte is zero in
      // a file of fewer than 2^24 pages); nor is a last page that leads on.
      if (pages_.PageCount() < kPagesWithZeroLeadByte && chain[0] != 0) break;
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
      if (!LostValueFits(data, first, 0) || !LostValueFits(data + first, lostSize - first, 1)) continue;
      ++splits;
      if (typical) continue;
      lostSizes[0] = first;
      lostSizes[1] = lostSize - first;
      typical = first == typicalLead_[0] && lostSize - first == typicalLead_[1];
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
    if (straddles && (overflow || cut) && (!lost || (cut && affinities_[i] == Affinity::Text))) {
      // A text or blob whose overflow chain broke, or that a newer cell was written
      // over, keeps the bytes that survive (a lost type is a text's in a TEXT column).
      const uint64_t type = lost ? TextType(size) : types[i];
      const bool utf16Text = type >= kSerialFirstText && type % 2 == 1 && encoding_ != format::TextEncoding::Utf8;
      const size_t kept = utf16Text ? WholeUtf16Bytes(at, available, encoding_) : available;
      DecodeValueInto(type, at, kept, encoding_, size, v);
      if (lost && v.kind != Value::Kind::Text) return false;
      if (v.kind == Value::Kind::Text && encoding_ == format::TextEncoding::Utf8) TrimCutUtf8(v.bytes);
      if (v.kind == Value::Kind::Text && !PlausibleText(v.bytes)) return false;
      if (!cut) ++record.cutValues;
      score -= 2;
    } else if (offset + size > known) {
      v = Value::Null();
      score -= 2;
    } else if (lost) {
      if (static_cast<int>(i) == aliasColumn_ && size != 0) return false;
      // Bytes of a TEXT column that read as UTF-16 text but for their length (odd)
      // or their first byte are a text read at a wrong alignment, not a blob.
      if (encoding_ != format::TextEncoding::Utf8 && affinities_[i] == Affinity::Text &&
          ((size % 2 != 0 && LooksLikeText(at, size, encoding_)) ||
           (size > 4 && LooksLikeText(at + 1, size - 1, encoding_)))) {
        return false;
      }
      v = lostKnown ? InferLostValue(at, static_cast<uint32_t>(size), i) : Value::Null();
    } else {
      DecodeValueInto(types[i], at, available, encoding_, size, v);
      // SQLite gives 0 and 1 serial types of their own: a one-byte 0 or 1 is no
      // record's.
      if (smallIntegerTypes_ && types[i] == kSerialInt8 && (v.integer == 0 || v.integer == 1)) return false;
      // Eight bytes of a real that read as printable text in the database's encoding
      // are text read at a wrong alignment: a real number's bytes seldom are.
      // In a UTF-16 database, one byte off is as telling.
      if (types[i] == kSerialReal && available >= 8 &&
          (LooksLikeText(at, 8, encoding_) ||
           (encoding_ != format::TextEncoding::Utf8 && LooksLikeText(at, 8, Swapped(encoding_))))) {
        return false;
      }
      // The rowid's column stores NULL; its value is the rowid, when that survived.
      if (static_cast<int>(i) == aliasColumn_) {
        score += 4;
        if (record.rowidKnown) v = Value::Integer(record.rowid);
      }
      // Texts hold no zero characters and, in a UTF-8 database, valid UTF-8: bytes of
      // another alignment seldom do. The longer the text, the more that shows.
      if (v.kind == Value::Kind::Text) {
        if (!PlausibleText(v.bytes)) return false;
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
      if (text.kind == Value::Kind::Null || static_cast<int>(i) == aliasColumn_) continue;
      if (text.kind != Value::Kind::Text || text.bytes.empty()) break;
      uint64_t numberBytes = 0;
      for (size_t k = i + 1; k < types.size() && types[k] >= kSerialInt8 && types[k] <= kSerialReal; ++k) {
        numberBytes += SerialTypeSize(types[k]);
      }
      if (numberBytes >= 2 && end + numberBytes <= known &&
          ContinuesText(text.bytes.back(), payloadBytes + end, numberBytes, encoding_)) {
        return false;
      }
      break;
    }
  }
  // A record none of whose values is known (all NULL or zero-filled, as a securely
  // deleted one is) gives no row; it may still be a link in a freeblock's chain. Nor
  // does an older version of a row whose known values the newer one over it repeats.
  result.empty = !anySubstantial || (cut && SameAsCellAt(page, end, record, knownValues, layout.lostTypes));
  // A record of one or two values whose start showed nothing proves little by itself:
  // only a freeblock it fills, or a next cell, can make it believable.
  result.weak = layout.evidence == 0 && surviving <= 2;
  result.score = score;
  *candidate = std::move(result);
  return true;
}

bool RecordCarver::OldFreeblockHeader(const uint8_t* page, uint32_t x, uint32_t end, bool mayPassEnd,
                                      uint32_t* size) const {
  // SQLite wrote a freeblock header (next freeblock, size) over a cell it freed; when
  // a lower neighbour was freed later, the two merged and that header stayed behind.
  // The merged freeblock may have lost its end since (SQLite allocates new cells
  // from a freeblock's end), so the old size may reach past it.
  if (x + kLostBytes > end) return false;
  const uint32_t next = ReadBigEndian16(page + x, page + end);
  *size = ReadBigEndian16(page + x + kFreeblockSizeOffset, page + end);
  const uint32_t limit = mayPassEnd ? usable_ : end;
  return *size >= kLostBytes && x + *size <= limit && (next == 0 || (next >= x + *size && next < usable_));
}

const uint8_t* RecordCarver::WholeCellStart(const uint8_t* page, uint32_t x, uint32_t end, int64_t* payload,
                                            int64_t* rowid, int64_t* header, const uint8_t** afterPayload,
                                            const uint8_t** afterRowid) const {
  const uint8_t* limit = page + end;
  // An interior cell of an index tree leads with its left child's page number.
  const uint32_t lead = interiorPage_ ? kChildPointerSize : 0;
  if (x + lead >= end) return nullptr;
  *rowid = 0;
  const uint8_t* a = ReadVarint64(page + x + lead, limit, payload);
  const uint8_t* b = a && !indexCells_ ? ReadVarint64(a, limit, rowid) : a;
  const uint8_t* h = b ? ReadVarint64(b, limit, header) : nullptr;
  if (!h || *payload <= 0 || *header <= 0 || *header > *payload) return nullptr;
  *afterPayload = a;
  *afterRowid = b;
  return h;
}

bool RecordCarver::CellMayStart(const uint8_t* page, uint32_t x, uint32_t end) const {
  uint32_t size = 0;
  if (OldFreeblockHeader(page, x, end, true, &size)) return true;
  int64_t payload = 0, rowid = 0, header = 0;
  const uint8_t *a = nullptr, *b = nullptr;
  return WholeCellStart(page, x, end, &payload, &rowid, &header, &a, &b) != nullptr;
}

bool RecordCarver::LostValueFits(const uint8_t* data, uint64_t size, size_t column) const {
  if (size == 0) return true;  // NULL, 0, 1, or an empty text
  const Affinity affinity = column < affinities_.size() ? affinities_[column] : Affinity::Blob;
  const bool numberSize = size == 1 || size == 2 || size == 3 || size == 4 || size == 6 || size == 8;
  if (affinity == Affinity::Integer || affinity == Affinity::Numeric || affinity == Affinity::Real) {
    return numberSize;
  }
  if (affinity == Affinity::Text) {
    Value text;
    DecodeValueInto(TextType(size), data, size, encoding_, size, text);
    return (encoding_ == format::TextEncoding::Utf8 || size % 2 == 0) && PlausibleText(text.bytes);
  }
  return true;
}

void RecordCarver::CandidatesAt(const uint8_t* page, uint32_t x, uint32_t end, Start start,
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
  const uint32_t cutEnd = LiveCellEndFrom(end);
  auto consider = [&](const Layout& given, uint32_t cellEnd) {
    Layout layout = given;
    if (cellEnd == end) layout.cutEnd = cutEnd;
    ForEachShape(page, x, cellEnd, layout, [&](const Shape& shape) {
      Candidate candidate;
      if (layout.lostTypes == 0) {
        if (Build(page, x, cellEnd, layout, shape, 0, &candidate)) add(std::move(candidate));
        return;
      }
      // The lost values are as long as lets the cell end where the freeblock does or
      // where another cell can begin.
      const uint64_t fixed = static_cast<uint64_t>(layout.lead + layout.p + layout.q) + shape.headerSize + shape.body;
      const uint64_t most = layout.lostTypes * kMaxOneByteSize;
      for (uint64_t size = 0; size <= most && x + fixed + size <= cellEnd; ++size) {
        const uint32_t y = static_cast<uint32_t>(x + fixed + size);
        if (cellEnd - y > kMaxFragment && !CellMayStart(page, y, cellEnd)) continue;
        if (Build(page, x, cellEnd, layout, shape, size, &candidate)) add(std::move(candidate));
      }
      // Or the record ran under the live cell that follows: the lost values are as
      // long as lets it end where that cell does.
      if (layout.cutEnd > cellEnd && layout.cutEnd >= x + fixed && layout.cutEnd - x - fixed <= most &&
          Build(page, x, cellEnd, layout, shape, layout.cutEnd - x - fixed, &candidate)) {
        add(std::move(candidate));
      }
    });
  };

  // A freeblock header overwrites an index interior cell's left child and nothing
  // more: the cell after it is whole wherever it starts.
  if (start != Start::kFreeblock || interiorPage_) {
    Layout layout;
    layout.damaged = false;
    int64_t payload = 0, rowid = 0, header = 0;
    const uint8_t *a = nullptr, *b = nullptr;
    if (const uint8_t* h = WholeCellStart(page, x, end, &payload, &rowid, &header, &a, &b)) {
      layout.lead = interiorPage_ ? static_cast<int>(kChildPointerSize) : 0;
      const uint8_t* p = page + x + layout.lead;
      layout.p = static_cast<int>(a - p);
      layout.q = static_cast<int>(b - a);
      layout.hsb = static_cast<int>(h - b);
      layout.headerKnown = true;
      layout.headerSize = static_cast<uint64_t>(header);
      layout.rowidKnown = !indexCells_;
      layout.rowid = rowid;
      layout.statedPayload = static_cast<uint64_t>(payload);
      layout.evidence = 15;  // its payload size is the one its header describes
      consider(layout, end);
    }
    if (start == Start::kWholeCell || interiorPage_) return;
  }
  uint32_t cellEnd = end;
  int evidence = 0;
  uint32_t oldSize = 0;
  bool oldSizeLands = false;
  if (start == Start::kAfterCell) {
    // A later cell of a merged freeblock that lost its first bytes lies under the
    // header of the freeblock it once was, and within it.
    uint32_t size = 0;
    if (!OldFreeblockHeader(page, x, end, true, &size)) return;
    cellEnd = std::min(x + size, end);
    oldSize = size;
    // Past the freeblock's end, the old one ended where a cell of the page begins
    // (or at the page's end), perhaps short of it by a fragment.
    if (x + size + kMaxFragment >= end) {
      for (uint32_t f = 0; f <= kMaxFragment && !oldSizeLands; ++f) {
        oldSizeLands = x + size + f == end || IsBoundary(x + size + f);
      }
    } else {
      oldSizeLands = CellMayStart(page, x + size, end);
    }
    evidence = 1;
  }

  // Payload-size and rowid varints long enough that the header size survived. An
  // index cell has no rowid.
  const int fewestRowidBytes = indexCells_ ? 0 : 1;
  const int mostRowidBytes = indexCells_ ? 0 : kMaxVarintSize;
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
  for (int p = indexCells_ ? kLostVarints : 1; p < kLostVarints + (indexCells_ ? 1 : 0); ++p) {
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
  for (int lostTypes = 1; lostTypes <= (indexCells_ ? 2 : 1); ++lostTypes) {
    Layout lost;
    lost.lostTypes = lostTypes;
    lost.p = indexCells_ ? 3 - lostTypes : 1;
    lost.q = indexCells_ ? 0 : 1;
    lost.evidence = evidence;
    lost.oldSize = oldSize;
    lost.oldSizeLands = oldSizeLands;
    consider(lost, cellEnd);
  }
}

void RecordCarver::StartPage(const uint8_t* page, const BtreePageHeader& header,
                             const std::vector<std::pair<uint32_t, uint32_t>>& liveCells) const {
  budget_ = kWorkPerPage;
  interiorPage_ = indexCells_ && header.type == kIndexInteriorPage;
  boundaries_.clear();
  for (uint32_t i = 0; i < header.cellCount; ++i) {
    const uint32_t at = CellOffset(page, usable_, header, i);
    if (at != 0) boundaries_.push_back(at);
  }
  // The freeblock chain, followed while it ascends inside the page.
  for (uint32_t at = header.firstFreeblock; at != 0 && at + kLostBytes <= usable_;) {
    boundaries_.push_back(at);
    const uint32_t next = ReadBigEndian16(page + at, page + usable_);
    if (next <= at) break;
    at = next;
  }
  boundaries_.push_back(usable_);
  std::sort(boundaries_.begin(), boundaries_.end());
  liveCells_.clear();
  if (header.type == kTableLeafPage && !indexCells_) liveCells_ = liveCells;
}

bool RecordCarver::SameAsCellAt(const uint8_t* page, uint32_t at, const CarvedRecord& record, size_t known,
                                int lostTypes) const {
  const uint8_t* limit = page + usable_;
  int64_t payload = 0, rowid = 0, header = 0;
  const uint8_t* a = ReadVarint64(page + at, limit, &payload);
  const uint8_t* b = a ? ReadVarint64(a, limit, &rowid) : nullptr;
  const uint8_t* t = b ? ReadVarint64(b, limit, &header) : nullptr;
  if (!t || payload <= 0 || header <= 0 || header > limit - b) return false;
  const uint8_t* headerEnd = b + header;
  const uint8_t* bodyEnd = b + std::min<int64_t>(TableLeafLocalPayload(payload, usable_), limit - b);
  const uint8_t* body = headerEnd;
  Value live;
  for (size_t i = 0; i < known && i < record.values.size(); ++i) {
    int64_t type = 0;
    t = t < headerEnd ? ReadVarint64(t, headerEnd, &type) : nullptr;
    if (!t || type < 0 || type == kSerialReserved10 || type == kSerialReserved11) return false;
    const uint64_t size = SerialTypeSize(static_cast<uint64_t>(type));
    if (size > static_cast<uint64_t>(bodyEnd - body)) return false;
    DecodeValueInto(static_cast<uint64_t>(type), body, size, encoding_, size, live);
    body += size;
    const Value& old = record.values[i];
    // The rowid's column, and a lost value not told, say nothing.
    if (static_cast<int>(i) == aliasColumn_ || (static_cast<int>(i) < lostTypes && old.kind == Value::Kind::Null)) {
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

uint32_t RecordCarver::LiveCellEndFrom(uint32_t at) const {
  const auto live = std::lower_bound(liveCells_.begin(), liveCells_.end(), std::make_pair(at, uint32_t{0}));
  return live != liveCells_.end() && live->first == at ? live->second : 0;
}

bool RecordCarver::IsBoundary(uint32_t x) const {
  return std::binary_search(boundaries_.begin(), boundaries_.end(), x);
}

void RecordCarver::CarveFreeblock(const uint8_t* page, uint32_t start, uint32_t end,
                                  std::vector<CarvedRecord>& out) const {
  CarveBlock(page, start, end, {}, out);
}

void RecordCarver::CarveBlock(const uint8_t* page, uint32_t start, uint32_t end,
                              const std::vector<uint32_t>& barriers, std::vector<CarvedRecord>& out) const {
  // A freeblock holds the cells freed into it one after another, with fragments of
  // at most 3 bytes between them. Every position a carved cell can end at is tried
  // as the start of the next, and the chain of cells that explains the freeblock
  // best is taken.
  end = std::min(end, usable_);
  if (start + kLostBytes >= end) return;
  std::unordered_map<uint32_t, std::vector<Candidate>> at;
  std::set<uint32_t> pending{start};
  while (!pending.empty() && budget_ > 0) {
    const uint32_t x = *pending.begin();
    pending.erase(pending.begin());
    std::vector<Candidate>& candidates = at[x];
    CandidatesAt(page, x, end, x == start ? Start::kFreeblock : Start::kAfterCell, candidates);
    if (!barriers.empty()) {
      auto crosses = [&](const Candidate& candidate) {
        auto b = std::upper_bound(barriers.begin(), barriers.end(), x);
        return b != barriers.end() && *b < x + candidate.length;
      };
      candidates.erase(std::remove_if(candidates.begin(), candidates.end(), crosses), candidates.end());
    }
    for (const Candidate& candidate : candidates) {
      for (uint32_t f = 0; f <= kMaxFragment; ++f) {
        const uint32_t y = x + candidate.length + f;
        if (y + kMaxFragment < end && !at.count(y)) pending.insert(y);
      }
    }
  }
  // The best explanation of [x, end), from the end backwards.
  std::vector<uint32_t> positions;
  for (const auto& entry : at) positions.push_back(entry.first);
  std::sort(positions.rbegin(), positions.rend());
  std::unordered_map<uint32_t, std::pair<int, int>> best;  // score, chosen candidate (-1: none)
  // What follows a cell that ends at `y`: nothing (the freeblock's end), the best
  // chain of cells from `y` on, or bytes nothing explains (kRejected for a weak cell).
  // A freeblock ends where its last cell does: fragments are absorbed only between
  // a freed cell and a freeblock after it, and SQLite gives out a freeblock's space
  // from its end, which moves the end to a cell's start.
  auto rest = [&](uint32_t y, bool weak, uint32_t* next) {
    if (y >= end) {
      *next = end;
      return 0;
    }
    int score = weak ? kRejected : -kTail;
    *next = end;
    for (uint32_t f = 0; f <= kMaxFragment; ++f) {
      auto found = best.find(y + f);
      if (found == best.end() || found->second.second < 0) continue;
      const int s = found->second.first - kFragmentCost * static_cast<int>(f);
      if (s > score) {
        score = s;
        *next = y + f;
      }
    }
    return score;
  };
  for (uint32_t x : positions) {
    std::pair<int, int> choice{-kTail, -1};
    const std::vector<Candidate>& candidates = at[x];
    for (size_t i = 0; i < candidates.size(); ++i) {
      uint32_t next = 0;
      const int score = candidates[i].score + rest(x + candidates[i].length, candidates[i].weak, &next);
      if (score > choice.first) choice = {score, static_cast<int>(i)};
    }
    best[x] = choice;
  }
  for (uint32_t x = start; x < end;) {
    auto found = best.find(x);
    if (found == best.end() || found->second.second < 0) break;
    Candidate& chosen = at[x][static_cast<size_t>(found->second.second)];
    if (!chosen.empty) out.push_back(std::move(chosen.record));
    uint32_t next = end;
    rest(x + chosen.length, chosen.weak, &next);
    x = next;
  }
}

void RecordCarver::CarveGap(const uint8_t* page, uint32_t start, uint32_t end,
                            std::vector<CarvedRecord>& out) const {
  end = std::min(end, usable_);
  if (start + kLostBytes >= end) return;
  // A freed cell that bordered the content keeps the freeblock header SQLite wrote
  // over its first bytes (next freeblock, size) before it moved the content start
  // past it; so those cells chain from header to header up to the content start.
  // Old cell pointers left past the pointer array look like such headers too, but
  // seldom chain.
  std::vector<uint32_t> chained(end - start, 0);  // the freeblock's size, 0: not on a chain
  // A live cell at the gap's end may have been written over the end of the last
  // cell freed: that one's header states a size to exactly the live cell's end.
  const uint32_t cutEnd = LiveCellEndFrom(end);
  for (uint32_t x = end - kLostBytes; x-- > start;) {
    uint32_t size = 0;
    if (cutEnd != 0 && OldFreeblockHeader(page, x, end, true, &size) && x + size == cutEnd) {
      chained[x - start] = end - x;
      continue;
    }
    if (!OldFreeblockHeader(page, x, end, false, &size) || size <= kLostBytes) continue;
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
    CarveBlock(page, x, x + chained[x - start], after, found);
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
    if (page[x] != 0) CandidatesAt(page, x, end, Start::kWholeCell, whole);
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
