// The column record: what the CREATE TABLE parser learns of one column.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// How a column gets its value: stored in each record, or computed from the others.
// A STORED generated column keeps its value in the record like any other column;
// a VIRTUAL one has no place in the record at all.
enum class Generated : uint8_t { None, Stored, Virtual };

struct columndata {
  int32_t notNull = 0;     // NOT appears in the definition (NOT NULL)
  int32_t hasDefault = 0;  // DEFAULT appears in the definition
  int32_t primaryKey = 0;  // PRIMARY KEY on the column, or named by the table's PRIMARY KEY(...)
  std::string name;          // as written, quotes included
  std::string declaredType;  // as parsed; may be empty
  std::string sqliteType;    // the whole type as SQLite reads it ("INTEGER(10)", "LONG TEXT")
  std::string defaultText;   // the DEFAULT's literal or expression as written; may be empty
  bool keyDescending = false;  // PRIMARY KEY DESC on the column itself
  int16_t keyPosition = -1;    // its place in the PRIMARY KEY (0 first), or -1
  Generated generated = Generated::None;
  int16_t typeClass = 0;     // ClassifyDeclaredType of declaredType, set by the record side
};

}  // namespace engine
