// The type class of a column: a code chosen by its declared type, which decides how
// the grid shows some of its values.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

// Codes for the declared types the workspace has always known (INT 1, INTEGER 2,
// NUMERIC 3, TEXT and no type 4, BLOB 5, ..., CLOB 30, DOUBLE PRECISION 31). A type
// that matches none of them gets the code of its SQLite affinity: 2 (integer),
// 4 (text), 5 (blob), 11 (real) or 3 (numeric).
int16_t ClassifyDeclaredType(std::string_view declaredType);

// SQLite's column affinity of a declared type.
enum class Affinity { Integer, Text, Blob, Real, Numeric };
Affinity AffinityOf(std::string_view declaredType);

}  // namespace engine
