#include "engine/records/table_row.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "engine/schema/create_table_parser.h"
#include "engine/schema/names.h"

namespace engine {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A numeric literal as SQLite reads it: a decimal integer that fits 64 bits, a
// hexadecimal one, or a real.
bool ParseNumber(const std::string& text, Value* out) {
  if (text.empty()) return false;
  size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  const bool negative = text[0] == '-';
  if (text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    uint64_t v = 0;
    if (text.size() - i - 2 > 16) return false;
    for (size_t k = i + 2; k < text.size(); ++k) {
      const int d = HexDigit(text[k]);
      if (d < 0) return false;
      v = v << 4 | static_cast<uint64_t>(d);
    }
    *out = Value::Integer(static_cast<int64_t>(negative ? 0 - v : v));
    return true;
  }
  bool digits = false;
  bool real = false;
  for (size_t k = i; k < text.size(); ++k) {
    const char c = text[k];
    if (c >= '0' && c <= '9') digits = true;
    else if (c == '.' || c == 'e' || c == 'E' || ((c == '-' || c == '+') && k > i &&
                                                   (text[k - 1] == 'e' || text[k - 1] == 'E'))) real = true;
    else return false;
  }
  if (!digits) return false;
  if (!real) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == 0 && end && *end == '\0') {
      *out = Value::Integer(v);
      return true;
    }
  }
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (!end || *end != '\0') return false;
  out->kind = Value::Kind::Real;
  out->real = d;
  return true;
}

void ApplyAffinity(Affinity affinity, Value& v) {
  switch (affinity) {
    case Affinity::Text:
      if (v.kind == Value::Kind::Integer) v.bytes = std::to_string(v.integer);
      else if (v.kind == Value::Kind::Real) v.bytes = FormatReal(v.real);
      else return;
      v.kind = Value::Kind::Text;
      return;
    case Affinity::Integer:
    case Affinity::Numeric:
    case Affinity::Real: {
      Value number;
      if (v.kind == Value::Kind::Text && ParseNumber(v.bytes, &number)) v = number;
      if (affinity == Affinity::Real && v.kind == Value::Kind::Integer) {
        v.kind = Value::Kind::Real;
        v.real = static_cast<double>(v.integer);
      } else if (affinity != Affinity::Real && v.kind == Value::Kind::Real &&
                 v.real == static_cast<double>(static_cast<int64_t>(v.real)) &&
                 v.real >= -9.2e18 && v.real <= 9.2e18) {
        v = Value::Integer(static_cast<int64_t>(v.real));
      }
      return;
    }
    case Affinity::Blob:
      return;
  }
}

}  // namespace

Value DefaultValue(const columndata& column) {
  const std::string& t = column.defaultText;
  Value v;
  if (!column.hasDefault || t.empty()) return v;
  if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') {
    v.kind = Value::Kind::Text;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
      v.bytes += t[i];
      if (t[i] == '\'' && i + 2 < t.size() && t[i + 1] == '\'') ++i;
    }
  } else if (t.size() >= 3 && (t[0] == 'x' || t[0] == 'X') && t[1] == '\'' && t.back() == '\'') {
    if ((t.size() - 3) % 2 != 0) return v;
    std::string bytes;
    for (size_t i = 2; i + 1 < t.size(); i += 2) {
      const int hi = HexDigit(t[i]);
      const int lo = HexDigit(t[i + 1]);
      if (hi < 0 || lo < 0) return v;
      bytes += static_cast<char>(hi << 4 | lo);
    }
    v.kind = Value::Kind::Blob;
    v.bytes = std::move(bytes);
  } else if (EqualIgnoringCase(t, "TRUE") || EqualIgnoringCase(t, "FALSE")) {
    v = Value::Integer(EqualIgnoringCase(t, "TRUE") ? 1 : 0);
  } else if (!ParseNumber(t, &v)) {
    return Value::Null();  // NULL, or an expression only CREATE TABLE itself allows
  }
  ApplyAffinity(AffinityOf(column.declaredType), v);
  return v;
}

TableRowShape::TableRowShape(const std::vector<columndata>& columns) : columns_(columns) {
  const int alias = RowidAliasColumn(columns);
  for (size_t c = 0; c < columns.size(); ++c) {
    classes_.push_back(ClassifyDeclaredType(columns[c].declaredType));
    defaults_.push_back(DefaultValue(columns[c]));
    if (columns[c].generated == Generated::Virtual) {
      recordIndex_.push_back(-1);
      continue;
    }
    if (static_cast<int>(c) == alias) aliasRecord_ = static_cast<int>(stored_.size());
    recordIndex_.push_back(static_cast<int>(stored_.size()));
    realStored_.push_back(AffinityOf(columns[c].declaredType) == Affinity::Real);
    stored_.push_back(columns[c]);
  }
}

void TableRowShape::ColumnValue(size_t c, std::vector<RecordValue>& values, bool rowidKnown,
                                int64_t rowid, Value& out, bool* storedInCell) const {
  *storedInCell = false;
  const int r = recordIndex_[c];
  if (r < 0) {
    out = Value::Null();
    return;
  }
  if (static_cast<size_t>(r) >= values.size()) {
    out = defaults_[c];
    return;
  }
  RecordValue& v = values[r];
  *storedInCell = v.storedInCell;
  std::swap(out, v.value);  // both keep their storage for the next records
  if (out.kind == Value::Kind::Null && r == aliasRecord_ && rowidKnown) out = Value::Integer(rowid);
  if (out.kind == Value::Kind::Integer && realStored_[r]) {
    out.kind = Value::Kind::Real;
    out.real = static_cast<double>(out.integer);
  }
}

void TableRowShape::Normalize(std::vector<Value>& values, bool rowidKnown, int64_t rowid) const {
  for (size_t r = 0; r < values.size() && r < realStored_.size(); ++r) {
    Value& v = values[r];
    if (v.kind == Value::Kind::Null && static_cast<int>(r) == aliasRecord_ && rowidKnown) {
      v = Value::Integer(rowid);
    }
    if (v.kind == Value::Kind::Integer && realStored_[r]) {
      v.kind = Value::Kind::Real;
      v.real = static_cast<double>(v.integer);
    }
  }
}

}  // namespace engine
