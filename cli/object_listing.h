// The console's view of the object tree: the recovered tables with their columns,
// the "(deleted)" companions, the views and triggers with their SQL text.
#pragma once

#include <ostream>

#include "job/contract/front_end_port.h"

namespace cli {

// Prints what a repair recovered, as its RepairDone notification carried it.
void PrintObjects(const job::ObjectListing& objects, std::ostream& out);

}  // namespace cli
