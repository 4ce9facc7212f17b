// Plausibility rules for carved values: what a text read from freed bytes may look
// like, and what a value whose serial type was lost can be.
#include "engine/records/carved_value_rules.h"

#include <algorithm>

#include "engine/reader/coding.h"
#include "engine/reader/text_codec.h"
#include "engine/records/table_row.h"

namespace engine::carving {

using namespace format;

bool LooksLikeText(const uint8_t* bytes, size_t n, format::TextEncoding encoding) {
  auto printable = [](uint8_t c) { return c >= 0x20 && c < 0x7f; };
  if (encoding == format::TextEncoding::Utf8) return std::all_of(bytes, bytes + n, printable);
  const size_t low = encoding == format::TextEncoding::Utf16le ? 0 : 1;
  for (size_t i = 0; i < n; ++i) {
    if (i % 2 == low ? !printable(bytes[i]) : bytes[i] != 0) return false;
  }
  return true;
}

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

format::TextEncoding Swapped(format::TextEncoding encoding) {
  return encoding == format::TextEncoding::Utf16le ? format::TextEncoding::Utf16be : format::TextEncoding::Utf16le;
}

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

size_t WholeUtf16Bytes(const uint8_t* bytes, size_t available, format::TextEncoding encoding) {
  size_t n = available & ~size_t{1};
  if (n >= 2) {
    const bool le = encoding == format::TextEncoding::Utf16le;
    const unsigned unit = le ? bytes[n - 2] | bytes[n - 1] << 8 : bytes[n - 2] << 8 | bytes[n - 1];
    if (unit >= 0xD800 && unit <= 0xDBFF) n -= 2;
  }
  return n;
}

bool CarvedValueRules::PlausibleText(const std::string& utf8) const {
  if (utf8.find('\0') != std::string::npos || !IsValidUtf8(utf8)) return false;
  if (s_.encoding == format::TextEncoding::Utf8) return true;
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

Value CarvedValueRules::InferLostValue(const uint8_t* data, uint32_t size, size_t column) const {
  // Only the value's size survived, not its serial type. A value whose type that
  // size leaves open is not known: NULL, rather than a guess.
  Value value;
  if (size == 0 || static_cast<int>(column) == s_.aliasColumn) return value;
  const bool numberSize = size == 1 || size == 2 || size == 3 || size == 4 || size == 6 || size == 8;
  const Affinity affinity = column < s_.affinities.size() ? s_.affinities[column] : Affinity::Blob;
  DecodeValueInto(TextType(size), data, size, s_.encoding, size, value);
  const bool text = (s_.encoding == format::TextEncoding::Utf8 || size % 2 == 0) && PlausibleText(value.bytes);
  if (affinity == Affinity::Text) {
    // A TEXT column turns numbers into text: only a text or a blob can stand here.
    if (!text) DecodeValueInto(BlobType(size), data, size, s_.encoding, size, value);
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
      DecodeValueInto(type, data, size, s_.encoding, size, value);
      if (s_.smallIntegerTypes && type == kSerialInt8 && (value.integer == 0 || value.integer == 1)) return Value::Null();
      return value;
    }
    if (affinity == Affinity::Real) {
      DecodeValueInto(kSerialReal, data, size, s_.encoding, size, value);
      return value;
    }
    return Value::Null();  // a number or a short text: cannot tell
  }
  if (!text) DecodeValueInto(BlobType(size), data, size, s_.encoding, size, value);
  return value;
}

bool CarvedValueRules::LostValueFits(const uint8_t* data, uint64_t size, size_t column) const {
  if (size == 0) return true;  // NULL, 0, 1, or an empty text
  const Affinity affinity = column < s_.affinities.size() ? s_.affinities[column] : Affinity::Blob;
  const bool numberSize = size == 1 || size == 2 || size == 3 || size == 4 || size == 6 || size == 8;
  if (affinity == Affinity::Integer || affinity == Affinity::Numeric || affinity == Affinity::Real) {
    return numberSize;
  }
  if (affinity == Affinity::Text) {
    Value text;
    DecodeValueInto(TextType(size), data, size, s_.encoding, size, text);
    return (s_.encoding == format::TextEncoding::Utf8 || size % 2 == 0) && PlausibleText(text.bytes);
  }
  return true;
}

}  // namespace engine::carving
