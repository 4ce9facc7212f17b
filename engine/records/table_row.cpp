#include "engine/records/table_row.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <algorithm>

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

// A decimal number in `text` (blanks around it allowed, no hexadecimal), as SQLite
// converts a text under a numeric affinity: an integer when it is one that fits 64
// bits, else a real.
bool TextAsNumber(const std::string& text, Value* out) {
  size_t begin = text.find_first_not_of(" \t\n\r\f\v");
  if (begin == std::string::npos) return false;
  const size_t end = text.find_last_not_of(" \t\n\r\f\v") + 1;
  const std::string t = text.substr(begin, end - begin);
  size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
  bool digits = false;
  bool real = false;
  for (size_t k = i; k < t.size(); ++k) {
    const char c = t[k];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' || c == 'e' || c == 'E') {
      real = true;
    } else if ((c == '-' || c == '+') && (t[k - 1] == 'e' || t[k - 1] == 'E')) {
      real = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  char* stop = nullptr;
  if (!real) {
    errno = 0;
    const long long v = std::strtoll(t.c_str(), &stop, 10);
    if (errno == 0 && stop && *stop == '\0') {
      *out = Value::Integer(v);
      return true;
    }
  }
  const double d = std::strtod(t.c_str(), &stop);
  if (!stop || *stop != '\0') return false;
  out->kind = Value::Kind::Real;
  out->real = d;
  return true;
}

// A real with no fraction that an integer can hold exactly.
bool WholeInteger(double d, int64_t* v) {
  if (!std::isfinite(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) return false;
  const int64_t i = static_cast<int64_t>(d);
  if (static_cast<double>(i) != d) return false;
  *v = i;
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
      if (v.kind == Value::Kind::Text && TextAsNumber(v.bytes, &number)) v = number;
      int64_t whole = 0;
      if (affinity == Affinity::Real && v.kind == Value::Kind::Integer) {
        v.kind = Value::Kind::Real;
        v.real = static_cast<double>(v.integer);
      } else if (affinity != Affinity::Real && v.kind == Value::Kind::Real && WholeInteger(v.real, &whole)) {
        v = Value::Integer(whole);
      }
      return;
    }
    case Affinity::Blob:
      return;
  }
}

}  // namespace

Affinity ColumnAffinity(const columndata& column) {
  return AffinityOf(column.sqliteType.empty() ? column.declaredType : column.sqliteType);
}

Value DefaultValue(const columndata& column) {
  const std::string& t = column.defaultText;
  Value v;
  if (!column.hasDefault || t.empty()) return v;
  Affinity affinity = ColumnAffinity(column);
  const char first = t[0];
  if (t.size() >= 2 && (first == '\'' || first == '"' || first == '`' || first == '[')) {
    // A string; a quoted identifier stands for the same text.
    v.kind = Value::Kind::Text;
    v.bytes = UnquoteIdentifier(t);
  } else if (t.size() >= 3 && (first == 'x' || first == 'X') && t[1] == '\'' && t.back() == '\'') {
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
    return v;  // no affinity changes a blob
  } else if (EqualIgnoringCase(t, "NULL")) {
    return v;
  } else if (EqualIgnoringCase(t, "TRUE") || EqualIgnoringCase(t, "FALSE")) {
    v = Value::Integer(EqualIgnoringCase(t, "TRUE") ? 1 : 0);
  } else if ((first >= '0' && first <= '9') || first == '.' || first == '-' || first == '+') {
    // SQLite makes an integer literal that fits 32 bits an integer and keeps any
    // other number as its text, which the affinity then converts; a number under
    // no affinity is taken as NUMERIC. A sign negates the number itself.
    const bool sign = first == '-' || first == '+';
    const std::string digits = sign ? t.substr(1) : t;
    Value number;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      uint64_t hex = 0;
      if (digits.size() - 2 > 16) return v;
      for (size_t k = 2; k < digits.size(); ++k) {
        const int d = HexDigit(digits[k]);
        if (d < 0) return v;
        hex = hex << 4 | static_cast<uint64_t>(d);
      }
      number = Value::Integer(static_cast<int64_t>(hex));
    } else if (!TextAsNumber(digits, &number) || digits.find_first_of(" \t") != std::string::npos) {
      return v;
    }
    const bool small = number.kind == Value::Kind::Integer && number.integer <= INT32_MAX &&
                       digits.find_first_of(".eE") == std::string::npos;
    if (!sign && !small) {
      v.kind = Value::Kind::Text;
      v.bytes = digits;
      if (affinity == Affinity::Blob) affinity = Affinity::Numeric;
    } else {
      v = number;
      if (first == '-') {
        if (v.kind == Value::Kind::Integer) v.integer = static_cast<int64_t>(0 - static_cast<uint64_t>(v.integer));
        else v.real = -v.real;
      }
    }
  } else if (std::isalpha(static_cast<unsigned char>(first)) || first == '_') {
    // A bare word that is no keyword SQLite takes for a string.
    const bool expression = t.find('(') != std::string::npos || EqualIgnoringCase(t, "CURRENT_TIME") ||
                            EqualIgnoringCase(t, "CURRENT_DATE") || EqualIgnoringCase(t, "CURRENT_TIMESTAMP");
    if (expression) return v;
    v.kind = Value::Kind::Text;
    v.bytes = t;
  } else {
    return Value::Null();  // an expression only CREATE TABLE itself allows
  }
  ApplyAffinity(affinity, v);
  return v;
}

TableRowShape::TableRowShape(const std::vector<columndata>& columns, bool withoutRowid)
    : columnCount_(columns.size()) {
  const int alias = withoutRowid ? -1 : RowidAliasColumn(columns);
  // The declared columns in the order their values stand in a record.
  std::vector<size_t> order;
  if (withoutRowid) {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].primaryKey && columns[c].generated != Generated::Virtual) order.push_back(c);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return columns[a].keyPosition < columns[b].keyPosition; });
  }
  const size_t keys = order.size();
  keyCount_ = keys;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (std::find(order.begin(), order.begin() + keys, c) == order.begin() + keys) order.push_back(c);
  }
  recordIndex_.assign(columns.size(), -1);
  for (size_t c = 0; c < columns.size(); ++c) {
    classes_.push_back(ClassifyDeclaredType(columns[c].declaredType));
    if (!columns[c].hasDefault) continue;
    Value value = DefaultValue(columns[c]);
    if (value.kind != Value::Kind::Null) defaults_.emplace_back(c, std::move(value));
  }
  for (size_t c : order) {
    if (columns[c].generated == Generated::Virtual) continue;
    if (static_cast<int>(c) == alias) aliasRecord_ = static_cast<int>(storedAffinity_.size());
    recordIndex_[c] = static_cast<int>(storedAffinity_.size());
    storedAffinity_.push_back(ColumnAffinity(columns[c]));
    realStored_.push_back(storedAffinity_.back() == Affinity::Real);
    storedNotNull_.push_back(columns[c].notNull != 0);
  }
  for (size_t c = 0; c < columns.size(); ++c) {
    if (recordIndex_[c] < 0) continue;
    keyFirst_ = keyFirst_ || recordIndex_[c] != static_cast<int>(recordOfStored_.size());
    recordOfStored_.push_back(recordIndex_[c]);
  }
}

std::vector<columndata> TableRowShape::StoredColumns(const std::vector<columndata>& declared) const {
  std::vector<columndata> stored(StoredCount());
  for (size_t c = 0; c < declared.size() && c < recordIndex_.size(); ++c) {
    if (recordIndex_[c] >= 0) stored[static_cast<size_t>(recordIndex_[c])] = declared[c];
  }
  return stored;
}

void TableRowShape::ToDeclaredOrder(std::vector<RecordValue>& values,
                                    std::vector<RecordValue>& scratch) const {
  if (!keyFirst_) return;
  scratch.clear();
  for (int r : recordOfStored_) {
    if (static_cast<size_t>(r) >= values.size()) break;
    scratch.push_back(std::move(values[static_cast<size_t>(r)]));
  }
  // Values past the stored columns (a CREATE text cut short) stay at the end.
  if (scratch.size() == recordOfStored_.size()) {
    for (size_t r = recordOfStored_.size(); r < values.size(); ++r) scratch.push_back(std::move(values[r]));
  }
  std::swap(values, scratch);
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
    const auto it = std::lower_bound(defaults_.begin(), defaults_.end(), c,
                                     [](const std::pair<size_t, Value>& d, size_t column) { return d.first < column; });
    out = it != defaults_.end() && it->first == c ? it->second : Value::Null();
    return;
  }
  RecordValue& v = values[r];
  *storedInCell = v.storedInCell;
  std::swap(out, v.value);  // both keep their storage for the next records
  // SQLite reads the rowid for an INTEGER PRIMARY KEY whatever the record holds
  // there (NULL, unless the cell was damaged).
  if (r == aliasRecord_ && rowidKnown) out = Value::Integer(rowid);
  if (out.kind == Value::Kind::Integer && realStored_[r]) {
    out.kind = Value::Kind::Real;
    out.real = static_cast<double>(out.integer);
  }
}

void TableRowShape::Normalize(std::vector<Value>& values, bool rowidKnown, int64_t rowid) const {
  for (size_t r = 0; r < values.size() && r < realStored_.size(); ++r) {
    Value& v = values[r];
    if (static_cast<int>(r) == aliasRecord_ && rowidKnown) v = Value::Integer(rowid);
    if (v.kind == Value::Kind::Integer && realStored_[r]) {
      v.kind = Value::Kind::Real;
      v.real = static_cast<double>(v.integer);
    }
  }
}

}  // namespace engine
