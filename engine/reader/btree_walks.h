// Walks over one table's b-tree, all in page numbers: its leaf pages, whether any
// leaf holds freed space, the freeblock chain of one leaf page, and the table leaf
// pages the freelist holds.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"

namespace engine {

// The leaf pages of the tree rooted at `rootPage`, depth first, each once; page 1
// is never part of a table's tree. With `work`, a progress step for each
// right-most child (the bar is the caller's) and an early end on a stop request.
// With `interiors`, the tree's interior pages go there, the root first.
std::vector<uint64_t> CollectTableLeaves(const Database& db, uint64_t rootPage, Work* work,
                                         std::vector<uint64_t>* interiors = nullptr);

// Every page of the index tree rooted at `rootPage`, where a table without rowid
// keeps its rows (interior pages hold rows too): depth first, each once, the same
// guards as the table walk. With `work`, an early end on a stop request.
std::vector<uint64_t> CollectIndexPages(const Database& db, uint64_t rootPage, Work* work);

// Whether a leaf of the tree has a freeblock or bytes in its unallocated gap (any
// page of an index tree), or a version the write-ahead log replaced.
bool ProbeFreedSpace(const Database& db, uint64_t rootPage, Work& work);

// The offsets within leaf `pageNumber` (held in `page`) of the freeblocks of its
// chain from `firstFreeblock`, as long as the chain ascends inside the page.
std::vector<uint32_t> CollectFreeblocks(const Database& db, const uint8_t* page,
                                        uint64_t pageNumber, uint16_t firstFreeblock);

// The leaf pages of the freelist that still hold a table leaf page's layout: pages
// SQLite freed when a table shrank, whose cells are old rows. Each once. The
// freelist's trunk pages go to `trunks` when given.
std::vector<uint64_t> FreedTableLeaves(const Database& db, Work* work,
                                       std::vector<uint64_t>* trunks = nullptr);

}  // namespace engine
