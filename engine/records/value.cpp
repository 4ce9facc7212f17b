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

// Text a blob can be shown as: valid UTF-8 without control characters (tabs and
// line ends aside).
bool IsPrintableUtf8(const std::string& s) {
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
  }
  return IsValidUtf8(s);
}

// Appends `bytes` as hexadecimal digits to `out`.
void AppendHex(const std::string& bytes, bool upper, std::string& out) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  const char* digits = upper ? kUpper : kLower;
  size_t at = out.size();
  out.resize(at + bytes.size() * 2);
  for (unsigned char c : bytes) {
    out[at++] = digits[c >> 4];
    out[at++] = digits[c & 0xF];
  }
}

void AppendInteger(int64_t value, std::string& out) {
  char text[24];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  out.append(text, end);
}

}  // namespace

void DecodeValueInto(uint64_t serialType, const uint8_t* data, size_t available,
                     format::TextEncoding encoding, uint64_t maxSize, Value& value) {
  const uint64_t size = serialType >= 12 ? std::min(SerialTypeSize(serialType), maxSize)
                                         : SerialTypeSize(serialType);
  value.kind = Value::Kind::Null;
  switch (serialType) {
    case 0:
    case 10:
    case 11:
      return;
    case 8:
    case 9:
      value.kind = Value::Kind::Integer;
      value.integer = serialType == 9 ? 1 : 0;
      return;
    case 1: case 2: case 3: case 4: case 5: case 6: {
      const unsigned width = static_cast<unsigned>(size);
      const uint64_t raw = ReadBigEndian(data, data + available, width);
      const unsigned shift = 64 - 8 * width;
      value.kind = Value::Kind::Integer;
      value.integer = static_cast<int64_t>(raw << shift) >> shift;
      return;
    }
    case 7: {
      const uint64_t raw = ReadBigEndian(data, data + available, 8);
      value.kind = Value::Kind::Real;
      std::memcpy(&value.real, &raw, sizeof raw);
      return;
    }
    default:
      break;
  }
  // Text (odd) or blob (even). A record cut short keeps only the bytes that exist:
  // padding them to the claimed size would invent content and could cost as much
  // memory as a damaged header claims.
  const size_t present = static_cast<size_t>(std::min<uint64_t>(size, available));
  const bool text = serialType % 2 == 1;
  value.kind = text ? Value::Kind::Text : Value::Kind::Blob;
  if (text && encoding != format::TextEncoding::Utf8) {
    value.bytes = DecodeText(data, present, encoding);
    return;
  }
  value.bytes.assign(reinterpret_cast<const char*>(data), present);
}

Value DecodeValue(uint64_t serialType, const uint8_t* data, size_t available,
                  format::TextEncoding encoding, uint64_t maxSize) {
  Value value;
  DecodeValueInto(serialType, data, available, encoding, maxSize, value);
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

void WritePlainText(const Value& value, std::string& out) {
  out.clear();
  switch (value.kind) {
    case Value::Kind::Null:
      out = "null";
      return;
    case Value::Kind::Integer:
      AppendInteger(value.integer, out);
      return;
    case Value::Kind::Real:
      out = FormatReal(value.real);
      return;
    case Value::Kind::Text:
      out = value.bytes;
      return;
    case Value::Kind::Blob:
      if (IsPrintableUtf8(value.bytes)) {
        out = value.bytes;
      } else {
        out = "x'";
        AppendHex(value.bytes, false, out);
        out += '\'';
      }
      return;
  }
}

std::string PlainText(const Value& value) {
  std::string out;
  WritePlainText(value, out);
  return out;
}

std::string IdentifierText(const std::string& bytes) {
  if (bytes.empty() || static_cast<unsigned char>(bytes[0]) == 0) return "NULL";
  const size_t length = std::min<size_t>(static_cast<unsigned char>(bytes[0]), bytes.size() - 1);
  std::string hex;
  AppendHex(bytes.substr(1, length), true, hex);
  for (size_t at : {8, 13, 18, 23}) {
    if (at < hex.size()) hex.insert(at, "-");
  }
  return "'" + hex + "'";
}

void WriteGridText(const Value& value, int16_t typeClass, bool storedInCell, std::string& out) {
  const bool textual = value.kind == Value::Kind::Text || value.kind == Value::Kind::Blob;
  if (textual && storedInCell && value.bytes.size() > kBigValue) {
    out = "BIG";
    return;
  }
  if (typeClass == kClassIdentifier && value.kind == Value::Kind::Blob && value.bytes.size() == 17 &&
      value.bytes[0] == 16) {
    out = IdentifierText(value.bytes);
    return;
  }
  WritePlainText(value, out);
  if (textual) {
    for (char& c : out) {
      if (c == '\n' || c == '\r') c = ' ';
    }
  }
}

std::string GridText(const Value& value, int16_t typeClass, bool storedInCell) {
  std::string out;
  WriteGridText(value, typeClass, storedInCell, out);
  return out;
}

}  // namespace engine
