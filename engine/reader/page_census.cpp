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
  // Child pointers hold 32 bits: pages past that are nobody's.
  const uint64_t pages = std::min<uint64_t>(db_.pages.PageCount(), UINT32_MAX);
  kinds_.assign(pages, PageKind::Unreached);
  walkedBy_.assign(pages, -1);
  leaves_.assign(trees.size() + 1, {});
  damaged_.assign(trees.size() + 1, false);
  strays_.clear();
  strayIndexLeaves_.clear();
  freelistTableLeaves_.clear();
  if (bar) work.StartBar(static_cast<int64_t>(pages / kPagesPerStep + 1));
  ReadFile(work, bar, onLeaf);
  // The master table's tree first: its pages are nobody's rows.
  if (!work.Stopped()) WalkTree(trees.size(), {1, false}, work);
  for (size_t t = 0; t < trees.size() && !work.Stopped(); ++t) WalkTree(t, trees[t], work);
  MarkFreelist();
  MarkPointerMap();
  for (uint64_t p = 2; p <= pages && !work.Stopped(); ++p) {
    if (kinds_[p - 1] == PageKind::FreelistLeaf && types_[p - 1] == kTableLeafPage) freelistTableLeaves_.push_back(p);
    if (kinds_[p - 1] != PageKind::Unreached) continue;
    const uint8_t type = types_[p - 1];
    if (type == kTableLeafPage) strays_.push_back(p);
    if (type == kIndexLeafPage) strayIndexLeaves_.push_back(p);
    if (type == kIndexLeafPage || type == kIndexInteriorPage) kinds_[p - 1] = PageKind::IndexPage;
  }
  // What the walks needed is no longer: keep the kinds.
  types_ = {};
  heads_ = {};
  interiorPages_ = {};
  childStarts_ = {};
  children_ = {};
  chainLeaves_ = {};
  chainStarts_ = {};
  chains_ = {};
  walkedBy_ = {};
  if (bar) work.FinishBar();
}

void PageCensus::ReadFile(Work& work, bool bar, const LeafVisitor& onLeaf) {
  const uint64_t pages = kinds_.size();
  const uint32_t size = db_.pages.PageSize();
  types_.assign(pages, 0);
  heads_.assign(pages, 0);
  interiorPages_.clear();
  childStarts_.clear();
  children_.clear();
  chainLeaves_.clear();
  chainStarts_.clear();
  chains_.clear();
  // Runs of about 4 MiB, a whole number of progress steps each.
  const uint64_t run = std::max<uint64_t>(kPagesPerStep, (uint64_t{1} << 22) / size / kPagesPerStep * kPagesPerStep);
  std::vector<uint8_t> buffer(static_cast<size_t>(run) * size);
  for (uint64_t first = 1; first <= pages && !work.Stopped(); first += run) {
    const uint64_t count = std::min(run, pages - first + 1);
    db_.pages.ReadPages(first, count, buffer.data());
    for (uint64_t i = 0; i < count && !work.Stopped(); ++i) {
      const uint64_t number = first + i;
      const uint8_t* bytes = buffer.data() + i * size;
      NotePage(number, bytes);
      if (onLeaf && types_[number - 1] == kTableLeafPage) onLeaf(number, bytes);
      if (bar && number % kPagesPerStep == 0) work.Step();
    }
  }
}

void PageCensus::NotePage(uint64_t number, const uint8_t* bytes) {
  const uint32_t usable = db_.usableSize;
  const uint8_t* end = bytes + usable;
  heads_[number - 1] = ReadBigEndian32(bytes, end);
  const BtreePageHeader h = ParseBtreeHeader(bytes, usable, number);
  types_[number - 1] = h.type;
  if (h.type == kTableInteriorPage || h.type == kIndexInteriorPage) {
    interiorPages_.push_back(static_cast<uint32_t>(number));
    childStarts_.push_back(static_cast<uint32_t>(children_.size()));
    for (uint32_t i = 0; i < h.cellCount; ++i) children_.push_back(CellLeftChild(bytes, usable, h, i));
    children_.push_back(h.rightChild);
    return;
  }
  if (h.type != kTableLeafPage && h.type != kIndexLeafPage) return;
  // The overflow chains its cells start, for the walk that reaches the leaf.
  const bool table = h.type == kTableLeafPage;
  bool any = false;
  for (uint32_t i = 0; i < h.cellCount; ++i) {
    const uint32_t at = CellOffset(bytes, usable, h, i);
    if (at == 0) continue;
    int64_t payload = 0, rowid = 0;
    const uint8_t* p = ReadVarint64(bytes + at, end, &payload);
    if (p && table) p = ReadVarint64(p, end, &rowid);
    if (!p || payload <= 0) continue;
    const int64_t local = table ? TableLeafLocalPayload(payload, usable) : IndexLocalPayload(payload, usable);
    if (local >= payload || p + local + kOverflowPointerSize > end) continue;
    if (!any) {
      any = true;
      chainLeaves_.push_back(static_cast<uint32_t>(number));
      chainStarts_.push_back(static_cast<uint32_t>(chains_.size()));
    }
    const int64_t spill = payload - local;
    const int64_t perPage = usable - kOverflowPointerSize;
    chains_.push_back({ReadBigEndian32(p + local, end),
                       static_cast<uint32_t>(std::min<int64_t>((spill + perPage - 1) / perPage, UINT32_MAX))});
  }
}

std::pair<size_t, size_t> PageCensus::Span(const std::vector<uint32_t>& pages, const std::vector<uint32_t>& starts,
                                           size_t total, uint64_t page) {
  const auto it = std::lower_bound(pages.begin(), pages.end(), page);
  if (it == pages.end() || *it != page) return {0, 0};
  const size_t k = static_cast<size_t>(it - pages.begin());
  return {starts[k], k + 1 < starts.size() ? starts[k + 1] : total};
}

void PageCensus::WalkTree(size_t t, const CensusTree& tree, Work& work) {
  const uint8_t leafType = tree.indexTree ? kIndexLeafPage : kTableLeafPage;
  const uint8_t interiorType = tree.indexTree ? kIndexInteriorPage : kTableInteriorPage;
  const int32_t self = static_cast<int32_t>(t);
  std::vector<uint64_t> pending{tree.root};
  while (!pending.empty() && !work.Stopped()) {
    const uint64_t number = pending.back();
    pending.pop_back();
    // Page 1 heads the master table only; a page number past the file leads nowhere.
    if (number < 1 || number > kinds_.size() || (number == 1 && tree.root != 1)) {
      damaged_[t] = true;
      continue;
    }
    const int32_t owner = walkedBy_[number - 1];
    if (owner == self) {
      damaged_[t] = true;  // a cycle
      continue;
    }
    const uint8_t type = types_[number - 1];
    if (type != leafType && type != interiorType) {
      damaged_[t] = true;
      continue;
    }
    if (owner >= 0) {
      // Another tree's page: a pointer redirected into it. A leaf is listed for both
      // trees (whose rows it holds is for the records to tell); an interior page is
      // not walked twice.
      damaged_[t] = true;
      if (type == leafType) leaves_[t].push_back(number);
      continue;
    }
    walkedBy_[number - 1] = self;
    if (type == leafType) {
      kinds_[number - 1] = PageKind::TreeLeaf;
      leaves_[t].push_back(number);
      MarkOverflowChains(number);
      continue;
    }
    kinds_[number - 1] = PageKind::TreeInterior;
    // Pushed so that the left-most child comes off first.
    const auto [from, to] = Span(interiorPages_, childStarts_, children_.size(), number);
    for (size_t i = to; i-- > from;) pending.push_back(children_[i]);
  }
}

void PageCensus::MarkOverflowChains(uint64_t leaf) {
  const auto [from, to] = Span(chainLeaves_, chainStarts_, chains_.size(), leaf);
  for (size_t c = from; c < to; ++c) {
    uint64_t next = chains_[c].first;
    // Each page of the chain once: a chain that reaches a known page ends there.
    for (uint32_t left = chains_[c].pages; left > 0; --left) {
      if (next < 2 || next > kinds_.size() || kinds_[next - 1] != PageKind::Unreached) break;
      kinds_[next - 1] = PageKind::Overflow;
      next = heads_[next - 1];
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
