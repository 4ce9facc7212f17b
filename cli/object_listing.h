// The console's view of the object tree: the recovered tables with their columns,
// the "(deleted)" companions, the views and triggers with their SQL text.
#pragma once

#include <ostream>

class CSqliteRepair;

namespace cli {

// Prints what the last repair recovered. Call only while no job runs.
void PrintObjects(const CSqliteRepair& engine, std::ostream& out);

}  // namespace cli
