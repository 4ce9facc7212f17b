// What every page of the file is: a page of a known table tree, an overflow page,
// a freelist page, a pointer-map page, an index page, or a page nothing reached.
// The pages nothing reached that still hold a table leaf's layout are the rows a
// broken tree lost.
#pragma once

#include <cstdint>
#include <functional>
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

// Hears of each leaf as a walk reaches it: the tree's index, the page, its bytes.
using LeafVisitor = std::function<void(size_t tree, uint64_t page, const std::vector<uint8_t>& bytes)>;

// Thread: the worker of the current job. Reads each page of the file at most
// twice: once for the walks and chains, once to classify what they did not reach.
class PageCensus {
 public:
  explicit PageCensus(const Database& db) : db_(db) {}

  // Walks `trees` (the master table's is walked too, first) and the overflow chains
  // of their leaves, handing each leaf a tree reaches to `onLeaf` (when given), then
  // the freelist and the pointer map, and classifies the rest. One progress step
  // per 64 pages when `bar`; ends early on a stop request.
  void Run(const std::vector<CensusTree>& trees, Work& work, bool bar, const LeafVisitor& onLeaf = {});

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

 private:
  void WalkTree(size_t t, const CensusTree& tree, Work& work, const LeafVisitor& onLeaf);
  void MarkOverflowChains(uint64_t leaf, const std::vector<uint8_t>& page, Work& work);
  void MarkFreelist();
  void MarkPointerMap();
  void Mark(uint64_t page, PageKind kind) {
    if (page >= 1 && page <= kinds_.size()) kinds_[page - 1] = kind;
  }

  const Database& db_;
  std::vector<PageKind> kinds_;
  std::vector<std::vector<uint64_t>> leaves_;
  std::vector<bool> damaged_;
  std::vector<uint64_t> strays_;
  std::vector<int32_t> walkedBy_;  // the tree that first reached a page, or -1
};

}  // namespace engine
