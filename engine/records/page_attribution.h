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
#include "engine/records/table_row.h"
#include "engine/schema/schema_entries.h"
#include "engine/schema/schema_scan.h"

namespace engine {

// Thread: the worker of the current job. A table without rowid keeps the tree it
// has and takes the index leaves nothing reached whose records are its rows
// (whole records of its columns, keys new to it) when its tree is broken.
class PageAttribution {
 public:
  PageAttribution(const Database& db, const Schema& schema) : db_(db), schema_(schema) {}

  // Walks the census of the tables' trees and decides every leaf. One progress bar
  // over the census, then one step a stray page; ends early on a stop request.
  void Run(Work& work);

  // Per entry of the schema's table list (companions share their table's): the
  // leaf pages whose rows are the table's, ascending; those of them outside its own
  // tree; and the pages judged freed pages of it. For a table without rowid only
  // the leaves outside its tree are listed.
  const std::vector<uint64_t>& Leaves(size_t entry) const { return leaves_[entry]; }
  const std::vector<uint64_t>& Outside(size_t entry) const { return outside_[entry]; }
  const std::vector<uint64_t>& Freed(size_t entry) const { return freed_[entry]; }
  bool Decided(size_t entry) const { return decided_[entry]; }
  // The stray table leaves that hold records no table fits clearly, ascending.
  const std::vector<uint64_t>& Lost() const { return lost_; }
  // Whether page `page` serves no table any more: on the freelist, or reached by
  // no tree and taken by no table as its live rows.
  bool Free(uint64_t page) const;

 private:
  // The stray index leaves that go to broken trees of tables without rowid, by tree.
  void AttributeIndexLeaves(const PageCensus& census, const std::vector<CensusTree>& trees,
                            const std::vector<TableRowShape>& shapes, const std::vector<IndexRoot>& indexes,
                            Work& work, std::vector<std::vector<uint64_t>>& pages);

  const Database& db_;
  const Schema& schema_;
  std::vector<std::vector<uint64_t>> leaves_;
  std::vector<std::vector<uint64_t>> outside_;
  std::vector<std::vector<uint64_t>> freed_;
  std::vector<bool> decided_;
  std::vector<uint64_t> lost_;
  std::vector<PageKind> kinds_;  // the census's, live strays marked as leaves
};

}  // namespace engine
