// What every page of the file is: a page of a known table tree, an overflow page,
// a freelist page, a pointer-map page, an index page, or a page nothing reached.
// The pages nothing reached that still hold a table leaf's layout are the rows a
// broken tree lost.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"

namespace engine {

enum class PageKind : uint8_t {
  Unreached,
  TreeInterior,  // an interior page of a walked tree
  TreeLeaf,      // a leaf of a walked tree
  Overflow,      // a page of an overflow chain of a walked tree's cell
  FreelistTrunk,
  FreelistLeaf,
  PointerMap,
  IndexPage,     // an index b-tree page no walked tree reached
};

// One table tree to walk: its root, and whether it is an index tree (a table
// without rowid's).
struct CensusTree {
  uint64_t root = 0;
  bool indexTree = false;
};

// Hears of each page that holds a table leaf's layout (type 13), reached or not,
// as the pass over the file reads it: the page and its bytes (the page size).
using LeafVisitor = std::function<void(uint64_t page, const uint8_t* bytes)>;

// Thread: the worker of the current job. Reads the file once, front to back in
// large runs of pages, keeping of each page what the walks need (its type, its
// children or its overflow starts, its first four bytes); the walks, the chains
// and the classification then run in memory. About 11 bytes a page of the file.
class PageCensus {
 public:
  explicit PageCensus(const Database& db) : db_(db) {}

  // Reads the file, handing each table leaf to `onLeaf` (when given), then walks
  // `trees` (the master table's first) and the overflow chains of the leaves they
  // reach, the freelist and the pointer map, and classifies the rest. One progress
  // step per 64 pages when `bar`; ends early on a stop request.
  void Run(const std::vector<CensusTree>& trees, Work& work, bool bar, const LeafVisitor& onLeaf = {});

  // The kinds, page 1 first, given up by the census.
  std::vector<PageKind> TakeKinds() { return std::move(kinds_); }
  PageKind Kind(uint64_t page) const { return page >= 1 && page <= kinds_.size() ? kinds_[page - 1] : PageKind::Unreached; }
  // The leaves tree `t` reached, in walk order; a leaf two trees reach is listed
  // for both.
  const std::vector<uint64_t>& Leaves(size_t t) const { return leaves_[t]; }
  // Whether the walk of tree `t` met a child pointer that leads nowhere: page 0 or
  // past the file, page 1, a page that is no b-tree page of the tree's kind, a page
  // met before (a cycle, or a page of another tree); or a root that is no b-tree page.
  bool Damaged(size_t t) const { return damaged_[t]; }
  // In an auto-vacuum database, the root of the tree the pointer map names as the
  // home of `page` (following its parents up); 0 when the map names none.
  uint64_t PointerMapRoot(uint64_t page) const;
  // The pages nothing reached that hold a table leaf's layout (type 13), ascending.
  const std::vector<uint64_t>& StrayTableLeaves() const { return strays_; }
  // The freelist's leaf pages that still hold a table leaf's layout (type 13), ascending.
  const std::vector<uint64_t>& FreelistTableLeaves() const { return freelistTableLeaves_; }
  // The pages nothing reached that hold an index leaf's layout (type 10), ascending.
  const std::vector<uint64_t>& StrayIndexLeaves() const { return strayIndexLeaves_; }

 private:
  // An overflow chain a leaf's cell starts: its first page and how many pages the
  // payload needs.
  struct Chain {
    uint32_t first = 0;
    uint32_t pages = 0;
  };

  void ReadFile(Work& work, bool bar, const LeafVisitor& onLeaf);
  void NotePage(uint64_t number, const uint8_t* bytes);
  void WalkTree(size_t t, const CensusTree& tree, Work& work);
  void MarkOverflowChains(uint64_t leaf);
  void MarkFreelist();
  void MarkPointerMap();
  // The range of `starts_`-indexed entries of `page` in a list kept by ascending page.
  static std::pair<size_t, size_t> Span(const std::vector<uint32_t>& pages, const std::vector<uint32_t>& starts,
                                        size_t total, uint64_t page);

  const Database& db_;
  std::vector<PageKind> kinds_;
  std::vector<uint8_t> types_;   // each page's b-tree type byte
  std::vector<uint32_t> heads_;  // each page's first four bytes: an overflow page's next
  // The children of each interior page, left to right and the right child last.
  std::vector<uint32_t> interiorPages_, childStarts_, children_;
  // The overflow chains the cells of each leaf start.
  std::vector<uint32_t> chainLeaves_, chainStarts_;
  std::vector<Chain> chains_;
  std::vector<std::vector<uint64_t>> leaves_;
  std::vector<bool> damaged_;
  std::vector<uint64_t> strays_;
  std::vector<uint64_t> strayIndexLeaves_;
  std::vector<uint64_t> freelistTableLeaves_;
  std::vector<int32_t> walkedBy_;  // the tree that first reached a page, or -1
};

}  // namespace engine
