#include "engine/records/type_class.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace engine {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

}  // namespace

// SQLite's affinity rules, in their order: INT, then CHAR/CLOB/TEXT, then BLOB or no
// type, then REAL/FLOA/DOUB, else NUMERIC.
Affinity AffinityOf(std::string_view declaredType) {
  const std::string upper = Upper(declaredType);
  auto has = [&](const char* word) { return upper.find(word) != std::string::npos; };
  if (has("INT")) return Affinity::Integer;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return Affinity::Text;
  if (has("BLOB") || upper.empty()) return Affinity::Blob;
  if (has("REAL") || has("FLOA") || has("DOUB")) return Affinity::Real;
  return Affinity::Numeric;
}

int16_t ClassifyDeclaredType(std::string_view declaredType) {
  if (declaredType.empty()) return 4;
  struct Keyword {
    const char* text;
    int16_t code;
  };
  // Compared as a whole, ignoring case; the first match wins.
  static constexpr Keyword kKeywords[] = {
      {"INT", 1}, {"INTEGER", 2}, {"NUMERIC", 3}, {"TEXT", 4}, {"DATE", 6}, {"DATETIME", 103},
      {"BLOB", 5}, {"CHAR", 7}, {"STRING", 8}, {"VARCHAR", 9}, {"FLOAT", 10}, {"REAL", 11},
      {"DOUBLE", 12}, {"DOUBLE ", 12}, {"DECIMAL", 28}, {"LEADERS", 28}, {"BOOL", 13},
      {"BOOLEAN", 13}, {"TIME", 14}, {"TIMESTAMP", 15}, {"TINYINT", 16}, {"SMALLINT", 17},
      {"MEDIUMINT", 18}, {"INT80", 19}, {"BIGINT", 20}, {"UNSIGNED BIGINT", 21},
      {"UNSIGNED BIG", 21}, {"INT2", 22}, {"INT8", 23}, {"VARYING CHARACTER", 24},
      {"NCHAR", 25}, {"NATIVE CHARACTER", 26}, {"NATIVE", 26}, {"NVARCHAR", 27},
      {"DOUBLE PRECISION", 31}, {"CLOB", 30}, {"SEQ", 2}, {"STAT", 4},
  };
  const std::string upper = Upper(declaredType);
  for (const Keyword& k : kKeywords) {
    if (upper == k.text) return k.code;
  }
  switch (AffinityOf(upper)) {
    case Affinity::Integer: return 2;
    case Affinity::Text: return 4;
    case Affinity::Blob: return 5;
    case Affinity::Real: return 11;
    case Affinity::Numeric: return 3;
  }
  return 3;
}

}  // namespace engine
