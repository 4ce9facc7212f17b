// Splits a CREATE TABLE text into its column definitions with a small tokenizer of
// its own: quotes ('…', "…", `…`, […]) protect everything inside them, parentheses
// nest to any depth, comments count as spaces, and table constraints never become
// columns. No SQL grammar beyond that.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/column_data.h"

namespace engine {

// The most columns a table SQLite creates can have (SQLITE_MAX_COLUMN cannot be set
// higher), and so the most a table's PRIMARY KEY can name.
inline constexpr size_t kMaxColumns = 32767;

// The columns of `createSql`, in order. Text it does not understand gives fewer or
// odd columns, never an error; a text without a column list gives none. A text of
// more than kMaxColumns columns (or key columns), which no table SQLite creates can
// have, gives none either and says why in `refused` ("its CREATE text lists more
// than 32767 columns"). The parse stops at the first column too many and builds no
// list of the text's definitions or tokens: whatever the text holds, it costs at
// most kMaxColumns + 1 columns.
std::vector<columndata> ParseCreateTable(std::string_view createSql, std::string* refused = nullptr);

// Appends the column names of the table-level PRIMARY KEY(...) clause of
// `createSql` (also after CONSTRAINT name), as written, to `names`: at most
// kMaxColumns + 1 of them, enough to tell a key no table has. A text without
// that clause leaves `names` unchanged.
void ExtractPrimaryKeyNames(std::string_view createSql, std::vector<std::string>& names);

// The column that is the rowid itself, or -1: the table's only PRIMARY KEY column,
// when its type is exactly INTEGER (letter case ignored) and, for a column-level
// key, not DESC, as SQLite decides it.
// Its record stores NULL there, and its value is the rowid.
int RowidAliasColumn(const std::vector<columndata>& columns);

// Whether the table options after the column list of `createSql` name WITHOUT
// ROWID: the table's rows then live in an index b-tree keyed by its primary key.
bool IsWithoutRowid(std::string_view createSql);

// An identifier without its quotes ("a""b" -> a"b, [x] -> x, `y` -> y, 'z' -> z).
std::string UnquoteIdentifier(std::string_view name);

// Two identifiers name the same column: compared unquoted, ASCII letters ignoring case.
bool SameIdentifier(std::string_view a, std::string_view b);

}  // namespace engine
