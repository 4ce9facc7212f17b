#include "engine/reader/page_census.h"

#include <algorithm>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/format.h"

namespace engine {

using namespace format;

namespace {

constexpr uint64_t kPagesPerStep = 64;
constexpr int kLargestRootOffset = 52;  // non-zero in an auto-vacuum database

}  // namespace

void PageCensus::Run(const std::vector<CensusTree>& trees, Work& work, bool bar, const LeafVisitor& onLeaf) {
  const uint64_t pages = db_.pages.PageCount();
  kinds_.assign(pages, PageKind::Unreached);
  walkedBy_.assign(pages, -1);
  leaves_.assign(trees.size() + 1, {});
  damaged_.assign(trees.size() + 1, false);
  strays_.clear();
  if (bar) work.StartBar(static_cast<int64_t>(pages / kPagesPerStep + 1));
  // The master table's tree first: its pages are nobody's rows.
  WalkTree(trees.size(), {1, false}, work, {});
  for (size_t t = 0; t < trees.size() && !work.Stopped(); ++t) WalkTree(t, trees[t], work, onLeaf);
  MarkFreelist();
  MarkPointerMap();
  for (uint64_t p = 2; p <= pages && !work.Stopped(); ++p) {
    if (bar && p % kPagesPerStep == 0) work.Step();
    if (kinds_[p - 1] != PageKind::Unreached) continue;
    uint8_t type = 0;
    db_.pages.ReadPagePrefix(p, 1, &type);
    if (type == kTableLeafPage) strays_.push_back(p);
    else if (type == kIndexLeafPage || type == kIndexInteriorPage) kinds_[p - 1] = PageKind::IndexPage;
  }
  if (bar) work.FinishBar();
}

void PageCensus::WalkTree(size_t t, const CensusTree& tree, Work& work, const LeafVisitor& onLeaf) {
  const uint8_t leafType = tree.indexTree ? kIndexLeafPage : kTableLeafPage;
  const uint8_t interiorType = tree.indexTree ? kIndexInteriorPage : kTableInteriorPage;
  const int32_t self = static_cast<int32_t>(t);
  std::vector<uint8_t> page;
  std::vector<uint64_t> pending{tree.root};
  while (!pending.empty() && !work.Stopped()) {
    const uint64_t number = pending.back();
    pending.pop_back();
    // Page 1 heads the master table only; a page number past the file leads nowhere.
    if (!db_.pages.IsValidPage(number) || (number == 1 && tree.root != 1)) {
      damaged_[t] = true;
      continue;
    }
    const int32_t owner = walkedBy_[number - 1];
    if (owner == self) {
      damaged_[t] = true;  // a cycle
      continue;
    }
    db_.pages.ReadPage(number, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), db_.usableSize, number);
    if (h.type != leafType && h.type != interiorType) {
      damaged_[t] = true;
      continue;
    }
    if (owner >= 0) {
      // Another tree's page: a pointer redirected into it. A leaf is listed for both
      // trees (whose rows it holds is for the records to tell); an interior page is
      // not walked twice.
      damaged_[t] = true;
      if (h.type == leafType) {
        leaves_[t].push_back(number);
        if (onLeaf) onLeaf(t, number, page);
      }
      continue;
    }
    walkedBy_[number - 1] = self;
    if (h.type == leafType) {
      kinds_[number - 1] = PageKind::TreeLeaf;
      leaves_[t].push_back(number);
      // The leaf is in hand: its overflow chains now, its rows for the caller.
      MarkOverflowChains(number, page, work);
      if (onLeaf) onLeaf(t, number, page);
      continue;
    }
    kinds_[number - 1] = PageKind::TreeInterior;
    // Pushed so that the left-most child comes off first.
    pending.push_back(h.rightChild);
    for (uint32_t i = h.cellCount; i-- > 0;) {
      const uint32_t child = CellLeftChild(page.data(), db_.usableSize, h, i);
      pending.push_back(child);
    }
  }
}

void PageCensus::MarkOverflowChains(uint64_t leaf, const std::vector<uint8_t>& page, Work& work) {
  const uint32_t usable = db_.usableSize;
  const BtreePageHeader h = ParseBtreeHeader(page.data(), usable, leaf);
  const bool table = h.type == kTableLeafPage;
  const uint8_t* end = page.data() + usable;
  for (uint32_t i = 0; i < h.cellCount && !work.Stopped(); ++i) {
    const uint32_t at = CellOffset(page.data(), usable, h, i);
    if (at == 0) continue;
    int64_t payload = 0, rowid = 0;
    const uint8_t* p = ReadVarint64(page.data() + at, end, &payload);
    if (p && table) p = ReadVarint64(p, end, &rowid);
    if (!p || payload <= 0) continue;
    const int64_t local = table ? TableLeafLocalPayload(payload, usable) : IndexLocalPayload(payload, usable);
    if (local >= payload || p + local + kOverflowPointerSize > end) continue;
    uint64_t next = ReadBigEndian32(p + local, end);
    // Each page of the chain once: a chain that reaches a known page ends there.
    for (int64_t left = payload - local; left > 0; left -= usable - kOverflowPointerSize) {
      if (!db_.pages.IsValidPage(next) || next == 1 || kinds_[next - 1] != PageKind::Unreached) break;
      kinds_[next - 1] = PageKind::Overflow;
      uint8_t pointer[kOverflowPointerSize] = {};
      db_.pages.ReadPagePrefix(next, sizeof pointer, pointer);
      next = ReadBigEndian32(pointer, pointer + sizeof pointer);
    }
  }
}

void PageCensus::MarkFreelist() {
  uint8_t header[kFileHeaderSize] = {};
  db_.pages.ReadPagePrefix(1, sizeof header, header);
  uint64_t trunk = ReadBigEndian32(header + kFirstTrunkOffset, header + sizeof header);
  std::vector<uint8_t> page;
  const uint32_t usable = db_.usableSize;
  while (db_.pages.IsValidPage(trunk) && trunk != 1 && kinds_[trunk - 1] == PageKind::Unreached) {
    kinds_[trunk - 1] = PageKind::FreelistTrunk;
    db_.pages.ReadPage(trunk, page);
    const uint8_t* end = page.data() + usable;
    const uint32_t count = ReadBigEndian32(page.data() + kTrunkLeafCountOffset, end);
    const uint32_t fits = (usable - kTrunkLeavesOffset) / kTrunkLeafSize;
    for (uint32_t i = 0; i < std::min(count, fits); ++i) {
      const uint64_t leaf = ReadBigEndian32(page.data() + kTrunkLeavesOffset + kTrunkLeafSize * i, end);
      if (db_.pages.IsValidPage(leaf) && leaf != 1 && kinds_[leaf - 1] == PageKind::Unreached) {
        kinds_[leaf - 1] = PageKind::FreelistLeaf;
      }
    }
    trunk = ReadBigEndian32(page.data(), end);
  }
}

uint64_t PageCensus::PointerMapRoot(uint64_t page) const {
  uint8_t header[kFileHeaderSize] = {};
  db_.pages.ReadPagePrefix(1, sizeof header, header);
  if (ReadBigEndian32(header + kLargestRootOffset, header + sizeof header) == 0) return 0;
  constexpr uint8_t kRootPage = 1;
  constexpr uint8_t kTreePage = 5;  // a b-tree page that is not a root
  const uint64_t span = db_.usableSize / 5 + 1;
  // A parent chain is as long as a tree is deep; a longer one loops.
  for (int depth = 0; depth < 64 && page > 2 && db_.pages.IsValidPage(page); ++depth) {
    const uint64_t map = 2 + (page - 2) / span * span;
    if (map >= page) return 0;
    uint8_t entry[5] = {};
    db_.pages.ReadPageRange(map, static_cast<uint32_t>(5 * (page - map - 1)), sizeof entry, entry);
    if (entry[0] == kRootPage) return page;
    if (entry[0] != kTreePage) return 0;
    page = ReadBigEndian32(entry + 1, entry + sizeof entry);
  }
  return 0;
}

void PageCensus::MarkPointerMap() {
  uint8_t header[kFileHeaderSize] = {};
  db_.pages.ReadPagePrefix(1, sizeof header, header);
  if (ReadBigEndian32(header + kLargestRootOffset, header + sizeof header) == 0) return;
  // Page 2 is the first pointer-map page; each maps the usable size / 5 pages after it.
  const uint64_t span = db_.usableSize / 5 + 1;
  for (uint64_t p = 2; p <= kinds_.size(); p += span) {
    if (kinds_[p - 1] == PageKind::Unreached) kinds_[p - 1] = PageKind::PointerMap;
  }
}

}  // namespace engine
