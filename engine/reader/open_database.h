// Opening the damaged file: header check, page size, and the walk of the master
// table's b-tree from page 1 that lists its leaf pages.
#pragma once

#include <string>

#include "engine/reader/database.h"
#include "engine/reader/work.h"

namespace engine {

// Opens `path` read-only and checks its header; fills `db` (its master leaves
// still empty). False with `reason` set when the path cannot be read as a regular
// file or holds no SQLite 3 database; `db` is then closed.
bool OpenDatabase(const std::string& path, Database& db, std::string* reason);

// The leaf pages of the master table, from page 1, each once, with the progress bar
// of a page 1 that is an interior page. Stops early on a stop request.
std::vector<uint64_t> WalkMasterTable(const Database& db, Work& work);

}  // namespace engine
