// The stored CREATE texts of a damaged file are untrusted: before one runs on the
// output connection, its head is read here and it must be the plain statement a real
// SQLite file holds for that object. No SQL grammar beyond the head and the shape
// of a table's column list.
#pragma once

#include <string>
#include <string_view>

namespace engine::writer {

enum class CreateKind { Table, VirtualTable, View, Trigger };

// Why `sql` must not run as the CREATE statement of the object `name` of kind
// `expected` (VirtualTable is accepted where Table is expected); empty when it may.
// A text may run when it is one CREATE TABLE with a column-definition list (never
// AS SELECT), CREATE VIRTUAL TABLE of a module the output library provides, CREATE
// VIEW or CREATE TRIGGER; not TEMP, in no schema but main, creating `name` itself.
// That the text is one statement only is for SQLite's parser to tell (the caller
// checks the tail it leaves).
std::string RefusalOfStoredCreate(std::string_view sql, CreateKind expected, std::string_view name);

// The index of the first character from `i` on that is no blank, no comment and,
// when `semicolons`, no semicolon.
size_t SkipBlanks(std::string_view sql, size_t i, bool semicolons);

// True when `sql` begins CREATE VIRTUAL TABLE.
bool IsVirtualTableText(std::string_view sql);

// True when `module` is a virtual-table module the repaired file may use: those the
// SQLite library itself provides for tables stored in a database file.
bool IsSavedModule(std::string_view module);

}  // namespace engine::writer
