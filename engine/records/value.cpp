#include "engine/records/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/reader/coding.h"
#include "engine/reader/text_codec.h"

namespace engine {

namespace {

constexpr size_t kBigValue = 1020;  // longer texts and blobs inside a cell show as "BIG"
constexpr int16_t kClassIdentifier = 30;

bool IsPrintableUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
      if (c == 0x7F) return false;
      ++i;
      continue;
    }
    int extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) return false;
    uint32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += 1 + extra;
  }
  return true;
}

std::string Hex(const std::string& bytes, bool upper) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  const char* digits = upper ? kUpper : kLower;
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 0xF];
  }
  return out;
}

}  // namespace

Value DecodeValue(uint64_t serialType, const uint8_t* data, size_t available,
                  format::TextEncoding encoding) {
  Value value;
  const uint64_t size = SerialTypeSize(serialType);
  switch (serialType) {
    case 0:
    case 10:
    case 11:
      return value;
    case 8:
      return Value::Integer(0);
    case 9:
      return Value::Integer(1);
    case 1: case 2: case 3: case 4: case 5: case 6: {
      const unsigned width = static_cast<unsigned>(size);
      const uint64_t raw = ReadBigEndian(data, data + available, width);
      const unsigned shift = 64 - 8 * width;
      return Value::Integer(static_cast<int64_t>(raw << shift) >> shift);
    }
    case 7: {
      const uint64_t raw = ReadBigEndian(data, data + available, 8);
      value.kind = Value::Kind::Real;
      std::memcpy(&value.real, &raw, sizeof raw);
      return value;
    }
    default:
      break;
  }
  // Text (odd) or blob (even), zero-filled where the record was cut short.
  std::string raw(static_cast<size_t>(size), '\0');
  std::memcpy(raw.data(), data, std::min<uint64_t>(size, available));
  if (serialType % 2 == 1) {
    value.kind = Value::Kind::Text;
    value.bytes = encoding == format::TextEncoding::Utf8
                      ? std::move(raw)
                      : DecodeText(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), encoding);
  } else {
    value.kind = Value::Kind::Blob;
    value.bytes = std::move(raw);
  }
  return value;
}

std::string FormatReal(double value) {
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  if (std::isnan(value)) return "NaN";
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  std::string out(text, ec == std::errc() ? end : text);
  if (out.find_first_of(".e") == std::string::npos) out += ".0";
  return out;
}

std::string PlainText(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Null:
      return "null";
    case Value::Kind::Integer: {
      char text[24];
      auto [end, ec] = std::to_chars(text, text + sizeof text, value.integer);
      return std::string(text, end);
    }
    case Value::Kind::Real:
      return FormatReal(value.real);
    case Value::Kind::Text:
      return value.bytes;
    case Value::Kind::Blob:
      return IsPrintableUtf8(value.bytes) ? value.bytes : "x'" + Hex(value.bytes, false) + "'";
  }
  return {};
}

std::string IdentifierText(const std::string& bytes) {
  if (bytes.empty() || static_cast<unsigned char>(bytes[0]) == 0) return "NULL";
  const size_t length = std::min<size_t>(static_cast<unsigned char>(bytes[0]), bytes.size() - 1);
  std::string hex = Hex(bytes.substr(1, length), true);
  for (size_t at : {8, 13, 18, 23}) {
    if (at < hex.size()) hex.insert(at, "-");
  }
  return "'" + hex + "'";
}

std::string GridText(const Value& value, int16_t typeClass, bool storedInCell) {
  const bool textual = value.kind == Value::Kind::Text || value.kind == Value::Kind::Blob;
  if (textual && storedInCell && value.bytes.size() > kBigValue) return "BIG";
  if (typeClass == kClassIdentifier && value.kind == Value::Kind::Blob && value.bytes.size() == 17 &&
      value.bytes[0] == 16) {
    return IdentifierText(value.bytes);
  }
  std::string text = PlainText(value);
  if (textual) std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

}  // namespace engine
