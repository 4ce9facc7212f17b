// Walks over one table's b-tree: its leaf pages, whether any leaf holds freed
// space, and the freeblock chain of one leaf page.
#include <algorithm>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/sqlite_repair.h"

using job::Notification;
using namespace engine;
using namespace engine::format;

namespace {

struct Frame {
  std::vector<uint32_t> children;  // right-most child first, then each cell's left child
  size_t next = 0;
};

// The children of an interior page in walk order; 0 stands for an unusable pointer.
std::vector<uint32_t> InteriorChildren(const std::vector<uint8_t>& page, uint32_t usable,
                                       const BtreePageHeader& h) {
  std::vector<uint32_t> children;
  children.reserve(h.cellCount + 1);
  children.push_back(h.rightChild);
  for (uint32_t i = 0; i < h.cellCount; ++i) {
    children.push_back(CellLeftChild(page.data(), usable, h, i));
  }
  return children;
}

}  // namespace

void CSqliteRepair::CollectTableLeaves(int64_t rootPage) {
  visited_.clear();
  std::vector<uint8_t> page;
  if (rootPage < 1 || !pages_.ReadPage(static_cast<uint64_t>(rootPage), page)) return;
  visited_.insert(static_cast<uint64_t>(rootPage));
  const uint32_t pageSize = pages_.PageSize();
  BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, rootPage);
  if (h.type == kTableLeafPage) {
    tableLeafPages.push_back(PageOffset(rootPage, pageSize));
    Notify(Notification::Progress, 0, job::kProgressStep);
    return;
  }
  if (h.type != kTableInteriorPage) return;
  Notify(Notification::Progress, 0, job::kProgressStep);

  // Depth first with an explicit stack: a crafted file may chain interior pages as
  // deep as the file is long. Each page is reached once, so a cycle ends.
  std::vector<Frame> stack;
  stack.push_back({InteriorChildren(page, usableSize, h)});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.children.size()) {
      stack.pop_back();
      continue;
    }
    const bool rightMost = frame.next == 0;
    const uint32_t child = frame.children[frame.next++];
    // Page 1 is the master table's root and never part of a table's tree.
    if (child > 1 && pages_.IsValidPage(child) && visited_.insert(child).second) {
      pages_.ReadPage(child, page);
      BtreePageHeader ch = ParseBtreeHeader(page.data(), usableSize, child);
      if (ch.type == kTableLeafPage) {
        tableLeafPages.push_back(PageOffset(child, pageSize));
        if (rightMost) Notify(Notification::Progress, 0, job::kProgressStep);
      } else if (ch.type == kTableInteriorPage) {
        if (rightMost) Notify(Notification::Progress, 0, job::kProgressStep);
        stack.push_back({InteriorChildren(page, usableSize, ch)});
      }
    }
    if (StopRequested()) return;
  }
}

namespace {

// Bytes between the cell pointers and the cell content: SQLite gives a freed cell
// that borders the content back to this gap whole, so non-zero bytes there may be
// a deleted record.
bool GapHoldsData(const uint8_t* page, uint32_t usable, const BtreePageHeader& h) {
  const uint32_t start = h.cellPointerStart + 2 * h.cellCount;
  const uint32_t end = std::min(h.contentStart, usable);
  for (uint32_t i = start; i < end; ++i) {
    if (page[i] != 0) return true;
  }
  return false;
}

}  // namespace

bool CSqliteRepair::LeafGapHoldsData(uint64_t pageNumber, const uint8_t* header) {
  // The header tells where the gap is; only the gap itself is read. A leaf header
  // has no field past its 8 bytes, so a zero-padded copy of them parses whole.
  uint8_t padded[kInteriorHeaderSize] = {};
  std::copy(header, header + kLeafHeaderSize, padded);
  const BtreePageHeader h = ParseBtreeHeader(padded, usableSize, pageNumber);
  const uint32_t start = h.cellPointerStart + 2 * h.cellCount;
  const uint32_t end = std::min(h.contentStart, usableSize);
  if (start >= end) return false;
  gapBuffer_.assign(end - start, 0);
  pages_.ReadPageRange(pageNumber, start, gapBuffer_.size(), gapBuffer_.data());
  return std::any_of(gapBuffer_.begin(), gapBuffer_.end(), [](uint8_t b) { return b != 0; });
}

void CSqliteRepair::ProbeFreedSpace(int64_t rootPage) {
  freedSpaceSeen = 0;
  tableInteriorQueue.clear();
  visited_.clear();
  std::vector<uint8_t> page;
  if (rootPage < 1 || !pages_.ReadPage(static_cast<uint64_t>(rootPage), page)) return;
  visited_.insert(static_cast<uint64_t>(rootPage));
  const uint32_t pageSize = pages_.PageSize();
  BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, rootPage);
  if (h.type == kTableLeafPage) {
    if (h.firstFreeblock != 0 || GapHoldsData(page.data(), usableSize, h)) freedSpaceSeen = 1;
    return;
  }
  if (h.type != kTableInteriorPage) return;

  // Breadth first through tableInteriorQueue; the whole tree is examined even once
  // the flag is set. Leaves are read only as far as their header.
  tableInteriorQueue.push_back(PageOffset(rootPage, pageSize));
  for (size_t q = 0; q < tableInteriorQueue.size(); ++q) {
    const uint64_t pageNumber = static_cast<uint64_t>(tableInteriorQueue[q] / pageSize) + 1;
    pages_.ReadPage(pageNumber, page);
    BtreePageHeader ih = ParseBtreeHeader(page.data(), usableSize, pageNumber);
    for (uint32_t child : InteriorChildren(page, usableSize, ih)) {
      if (child > 1 && pages_.IsValidPage(child) && visited_.insert(child).second) {
        uint8_t prefix[kLeafHeaderSize] = {};
        pages_.ReadPagePrefix(child, sizeof prefix, prefix);
        const uint8_t* end = prefix + sizeof prefix;
        if (prefix[kPageTypeOffset] == kTableLeafPage) {
          if (ReadBigEndian16(prefix + kFirstFreeblockOffset, end) != 0) {
            freedSpaceSeen = 1;
          } else if (!freedSpaceSeen && LeafGapHoldsData(child, prefix)) {
            // Once the flag is set no leaf needs reading beyond its header.
            freedSpaceSeen = 1;
          }
        } else if (prefix[kPageTypeOffset] == kTableInteriorPage) {
          tableInteriorQueue.push_back(PageOffset(child, pageSize));
        }
      }
      if (StopRequested()) return;
    }
  }
}

void CSqliteRepair::CollectFreeblocks(int64_t pageOffset, uint16_t firstFreeblock) {
  const uint32_t pageSize = pages_.PageSize();
  if (pageSize == 0 || pageOffset < 0) return;
  const uint64_t pageNumber = static_cast<uint64_t>(pageOffset / pageSize) + 1;
  std::vector<uint8_t> page;
  if (!pages_.ReadPage(pageNumber, page)) return;
  const uint8_t* end = page.data() + usableSize;
  // A chain is followed while each freeblock lies after the previous one, past the
  // page header and wholly inside the usable area: a damaged or looping chain stops
  // at the first step that breaks this, keeping the freeblocks before it.
  uint32_t previous = PageHeaderOffset(pageNumber) + kLeafHeaderSize - 1;
  for (uint32_t offset = firstFreeblock; offset != 0;) {
    if (offset <= previous || offset + kFreeblockHeaderSize > usableSize) return;
    freeblockOffsets.push_back(pageOffset + offset);
    previous = offset;
    offset = ReadBigEndian16(page.data() + offset, end);
  }
}

std::vector<uint64_t> CSqliteRepair::FreedTableLeaves(std::vector<uint64_t>* trunks) {
  std::vector<uint64_t> leaves;
  if (!state_.fileHandle || pages_.PageCount() == 0) return leaves;
  uint8_t header[kFileHeaderSize] = {};
  state_.fileHandle->ReadAt(0, sizeof header, header);
  const uint8_t* end = header + sizeof header;
  uint64_t trunk = ReadBigEndian32(header + kFirstTrunkOffset, end);
  // The walk is bounded by the pages of the file: a damaged chain can neither loop
  // nor list more pages than there are.
  std::unordered_set<uint64_t> seen;
  std::vector<uint8_t> page;
  while (pages_.IsValidPage(trunk) && seen.insert(trunk).second && !StopRequested()) {
    pages_.ReadPage(trunk, page);
    if (trunks) trunks->push_back(trunk);
    const uint8_t* pageEnd = page.data() + usableSize;
    const uint32_t count = ReadBigEndian32(page.data() + kTrunkLeafCountOffset, pageEnd);
    const uint32_t fits = (usableSize - kTrunkLeavesOffset) / 4;
    for (uint32_t i = 0; i < std::min(count, fits); ++i) {
      const uint64_t leaf = ReadBigEndian32(page.data() + kTrunkLeavesOffset + 4 * i, pageEnd);
      if (!pages_.IsValidPage(leaf) || !seen.insert(leaf).second) continue;
      uint8_t type = 0;
      pages_.ReadPagePrefix(leaf, 1, &type);
      if (type == kTableLeafPage) leaves.push_back(leaf);
    }
    trunk = ReadBigEndian32(page.data(), pageEnd);
  }
  return leaves;
}
