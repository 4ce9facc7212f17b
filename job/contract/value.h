// A typed value of a record, holding exactly the stored content: what the engine
// decodes, the grid shows and the writer binds. Shared by every side, so it lives
// with the front-end contract.
#pragma once

#include <cstdint>
#include <string>

namespace job {

struct Value {
  enum class Kind : uint8_t { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // Text: UTF-8 (converted once from a UTF-16 database); Blob: raw

  static Value Null() { return {}; }
  static Value Integer(int64_t v) {
    Value value;
    value.kind = Kind::Integer;
    value.integer = v;
    return value;
  }
};

}  // namespace job
