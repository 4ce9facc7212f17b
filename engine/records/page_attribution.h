// Which table each leaf page's rows belong to, when the trees cannot be trusted:
// a tree whose pointers lead into another table's pages gives them up, and the
// table leaves nothing reached go to the table their records fit best, as live
// rows when that table's tree is broken and their rowids are new to it, else as
// freed pages for its deleted records. A page goes to one table at most.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/page_census.h"
#include "engine/reader/work.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// Thread: the worker of the current job. Only tables with a rowid take part; a
// table without rowid keeps the tree it has.
class PageAttribution {
 public:
  PageAttribution(const Database& db, const Schema& schema) : db_(db), schema_(schema) {}

  // Walks the census of the tables' trees and decides every leaf. One progress bar
  // over the census, then one step a stray page; ends early on a stop request.
  void Run(Work& work);

  // Per entry of the schema's table list (companions share their table's): the
  // leaf pages whose rows are the table's, ascending; those of them outside its own
  // tree; and the pages judged freed pages of it. Empty for tables without rowid.
  const std::vector<uint64_t>& Leaves(size_t entry) const { return leaves_[entry]; }
  const std::vector<uint64_t>& Outside(size_t entry) const { return outside_[entry]; }
  const std::vector<uint64_t>& Freed(size_t entry) const { return freed_[entry]; }
  bool Decided(size_t entry) const { return decided_[entry]; }
  // The stray table leaves that hold records no table fits clearly, ascending.
  const std::vector<uint64_t>& Lost() const { return lost_; }

 private:
  const Database& db_;
  const Schema& schema_;
  std::vector<std::vector<uint64_t>> leaves_;
  std::vector<std::vector<uint64_t>> outside_;
  std::vector<std::vector<uint64_t>> freed_;
  std::vector<bool> decided_;
  std::vector<uint64_t> lost_;
};

}  // namespace engine
