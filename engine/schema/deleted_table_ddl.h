// The table of the repaired database that receives a table's deleted records.
#pragma once

#include <string>

#include "engine/schema/schema_entries.h"

namespace engine {

// "<name>_deleted" for the companion "<name>(deleted)".
std::string DeletedTableName(const std::string& companionName);

// The table a companion's records are saved into: its own output name when it has
// one, else DeletedTableName of its name.
std::string CompanionTableName(const TableEntry& companion);

// The CREATE TABLE statement of the "_deleted" table of companion `entry`: its
// columns by name, each with its declared type when that is plain words or one
// quoted name. Empty for an entry without columns, which gets no such table.
std::string BuildDeletedTableDdl(const TableEntry& entry);

}  // namespace engine
