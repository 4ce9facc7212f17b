// The copy of one table's records (or one companion's carved records) into the
// output database, in one transaction, with every SQLite result checked.
#pragma once

#include <set>
#include <string>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/schema/schema_entries.h"
#include "engine/writer/save_report.h"

struct sqlite3;

namespace engine::writer {

// Writes the records of `entry` into its table of `output` (a companion's into
// "<name>_deleted") and says how it went in `report` (whose name and creation
// fields the caller has set). `createdHere`: the tables this save created itself;
// any other table the output holds (a virtual table's shadow) has its rows
// replaced by the recovered ones. Records are read only while `schemaShown`.
void CopyTable(const Database& db, const Schema& schema, const TableEntry& entry, sqlite3* output,
               const std::set<std::string>& createdHere, bool schemaShown, Work& work,
               TableReport& report);

}  // namespace engine::writer
