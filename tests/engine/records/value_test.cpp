#include "engine/records/value.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/records/type_class.h"

namespace engine {
namespace {

using Kind = Value::Kind;
using format::TextEncoding;

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  return std::vector<uint8_t>(list.begin(), list.end());
}

std::vector<uint8_t> DoubleBytes(double d) {
  uint64_t raw;
  std::memcpy(&raw, &d, 8);
  std::vector<uint8_t> out(8);
  for (int i = 7; i >= 0; --i, raw >>= 8) out[i] = static_cast<uint8_t>(raw);
  return out;
}

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(ValueTest, DecodeAndGridTextPerStorageClassAndType) {
  struct Case {
    const char* name;
    std::string declaredType;
    uint64_t serialType;
    std::vector<uint8_t> bytes;
    Kind kind;
    std::string grid;
    bool storedInCell = true;
  } cases[] = {
      {"1-byte 0xFF is -1", "integer", 1, Bytes({0xFF}), Kind::Integer, "-1"},
      {"2-byte 0xFFFE is -2", "INT", 2, Bytes({0xFF, 0xFE}), Kind::Integer, "-2"},
      {"3-byte", "INTEGER", 3, Bytes({0x01, 0x00, 0x00}), Kind::Integer, "65536"},
      {"6-byte negative", "BIGINT", 5, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}), Kind::Integer, "-2"},
      {"8-byte maximum", "INTEGER", 6, Bytes({0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       Kind::Integer, "9223372036854775807"},
      {"truncated integer reads zeros", "INT", 4, Bytes({0x01}), Kind::Integer, "16777216"},
      {"real 2.5", "REAL", 7, DoubleBytes(2.5), Kind::Real, "2.5"},
      {"real 0.1 is not 0.100000", "FLOAT", 7, DoubleBytes(0.1), Kind::Real, "0.1"},
      {"small real keeps its digits", "DOUBLE", 7, DoubleBytes(1e-7), Kind::Real, "1e-07"},
      {"whole real", "REAL", 7, DoubleBytes(-3.0), Kind::Real, "-3.0"},
      {"round-trip digits", "REAL", 7, DoubleBytes(-4731774022.67781), Kind::Real, "-4731774022.67781"},
      {"serial type 8", "INTEGER", 8, {}, Kind::Integer, "0"},
      {"serial type 9", "BOOL", 9, {}, Kind::Integer, "1"},
      {"NULL", "TEXT", 0, {}, Kind::Null, "null"},
      {"reserved serial type", "TEXT", 10, {}, Kind::Null, "null"},
      {"empty text", "TEXT", 13, {}, Kind::Text, ""},
      {"quotes stay as stored", "VARCHAR", 13 + 2 * 5, Text("a\"b'c"), Kind::Text, "a\"b'c"},
      {"commas stay", "REAL", 13 + 2 * 7, Text("1,234.5"), Kind::Text, "1,234.5"},
      {"text in an INT column", "INT", 13 + 2 * 3, Text("abc"), Kind::Text, "abc"},
      {"line ends shown as blanks", "TEXT", 13 + 2 * 5, Text("a\nb\rc"), Kind::Text, "a b c"},
      {"empty blob", "INT", 12, {}, Kind::Blob, ""},
      {"binary blob in hex", "BLOB", 12 + 2 * 3, Bytes({0x00, 0xFF, 0x10}), Kind::Blob, "x'00ff10'"},
      {"UTF-8 blob as text", "BLOB", 12 + 2 * 4, Text("h\xC3\xA9!"), Kind::Blob, "h\xC3\xA9!"},
      {"overlong UTF-8 blob in hex", "BLOB", 12 + 2 * 2, Bytes({0xC0, 0x80}), Kind::Blob, "x'c080'"},
      {"LONGTEXT keeps its values", "LONGTEXT", 13 + 2 * 2, Text("ok"), Kind::Text, "ok"},
      {"MONEY keeps its values", "MONEY", 1, Bytes({7}), Kind::Integer, "7"},
      {"long text in the cell", "TEXT", 13 + 2 * 1021, std::vector<uint8_t>(1021, 'a'), Kind::Text, "BIG"},
      {"1020 bytes are shown", "TEXT", 13 + 2 * 1020, std::vector<uint8_t>(1020, 'a'), Kind::Text,
       std::string(1020, 'a')},
      {"long text from overflow pages", "TEXT", 13 + 2 * 1021, std::vector<uint8_t>(1021, 'a'),
       Kind::Text, std::string(1021, 'a'), false},
      {"CLOB identifier", "CLOB", 12 + 2 * 17,
       Bytes({0x10, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC,
              0xDD, 0xEE, 0xFF}),
       Kind::Blob, "'00112233-4455-6677-8899-AABBCCDDEEFF'"},
      {"CLOB of another length in hex", "CLOB", 12 + 2 * 2, Bytes({0x01, 0x02}), Kind::Blob, "x'0102'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Value v = DecodeValue(c.serialType, c.bytes.data(), c.bytes.size(), TextEncoding::Utf8);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(GridText(v, ClassifyDeclaredType(c.declaredType), c.storedInCell), c.grid);
  }
}

TEST(ValueTest, TextsAreKeptExactly) {
  const std::string stored("x\0y\"z\n", 6);
  Value v = DecodeValue(13 + 2 * 6, reinterpret_cast<const uint8_t*>(stored.data()), 6,
                        TextEncoding::Utf8);
  EXPECT_EQ(v.bytes, std::string("x\0y\"z\n", 6));
  // UTF-16 texts become UTF-8 once, when read.
  const uint8_t le[] = {'h', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE};  // hé😀
  EXPECT_EQ(DecodeValue(13 + 2 * 8, le, 8, TextEncoding::Utf16le).bytes, "h\xC3\xA9\xF0\x9F\x98\x80");
  const uint8_t be[] = {0, 'h', 0xD8, 0x3D};  // h and an unpaired surrogate
  EXPECT_EQ(DecodeValue(13 + 2 * 4, be, 4, TextEncoding::Utf16be).bytes, "h\xEF\xBF\xBD");
  // Blobs are never converted.
  EXPECT_EQ(DecodeValue(12 + 2 * 2, le, 2, TextEncoding::Utf16le).bytes, std::string("h\0", 2));
  // A text or blob cut short by the end of the record keeps only the bytes there,
  // even when its header claims a gigabyte.
  EXPECT_EQ(DecodeValue(13 + 2 * 4, le, 2, TextEncoding::Utf8).bytes, std::string("h\0", 2));
  EXPECT_EQ(DecodeValue(12 + 2 * 1000000000ull, le, 8, TextEncoding::Utf8).bytes.size(), 8u);
  EXPECT_EQ(DecodeValue(13 + 2 * 1000000000ull, le, 8, TextEncoding::Utf16le).bytes,
            "h\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(ValueTest, TypeClasses) {
  const std::pair<const char*, int16_t> cases[] = {
      {"", 4},         {"INT", 1},          {"integer", 2},       {"NUMERIC", 3},
      {"TEXT", 4},     {"DATE", 6},         {"DATETIME", 103},    {"BLOB", 5},
      {"CHAR", 7},     {"STRING", 8},       {"VARCHAR", 9},       {"FLOAT", 10},
      {"REAL", 11},    {"DOUBLE", 12},      {"DECIMAL", 28},      {"BOOLEAN", 13},
      {"TIME", 14},    {"TIMESTAMP", 15},   {"TINYINT", 16},      {"BIGINT", 20},
      {"UNSIGNED BIG", 21},                 {"INT8", 23},         {"NVARCHAR", 27},
      {"DOUBLE PRECISION", 31},             {"CLOB", 30},         {"stat", 4},
      {"LONGTEXT", 4}, {"MONEY", 3},        {"DATETIME2", 3},     {"MEDIUMBLOB", 5},
      {"FLOAT8", 11},   {"SINGLE", 3},       {"\"INTEGER(11,0)\"", 2}, {"'TEXT'", 4},
  };
  for (const auto& [type, code] : cases) EXPECT_EQ(ClassifyDeclaredType(type), code) << type;
}

}  // namespace
}  // namespace engine
