// Writing identifiers into SQL text that SQLite will read back as the same name.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// `name` as it must stand in a statement: unchanged when it is a plain identifier
// that is no keyword, otherwise in double quotes with inner double quotes doubled.
std::string QuoteIdentifier(std::string_view name);

// True for a word SQLite reserves or gives meaning to (case ignored).
bool IsSqlKeyword(std::string_view word);

}  // namespace engine
