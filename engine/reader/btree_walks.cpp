// Walks over one table's b-tree: its leaf pages, whether any leaf holds freed
// space, and the freeblock chain of one leaf page.
#include "engine/reader/btree_walks.h"

#include <algorithm>
#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"

namespace engine {

using namespace format;

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

std::vector<uint64_t> CollectTableLeaves(const Database& db, uint64_t rootPage, Work* work,
                                         std::vector<uint64_t>* interiors) {
  std::vector<uint64_t> leaves;
  std::unordered_set<uint64_t> visited;
  std::vector<uint8_t> page;
  const uint32_t usable = db.usableSize;
  if (rootPage < 1 || !db.pages.ReadPage(rootPage, page)) return leaves;
  visited.insert(rootPage);
  BtreePageHeader h = ParseBtreeHeader(page.data(), usable, rootPage);
  if (h.type == kTableLeafPage) {
    leaves.push_back(rootPage);
    if (work) work->Step();
    return leaves;
  }
  if (h.type != kTableInteriorPage) return leaves;
  if (work) work->Step();
  if (interiors) interiors->push_back(rootPage);

  // Depth first with an explicit stack: a crafted file may chain interior pages as
  // deep as the file is long. Each page is reached once, so a cycle ends.
  std::vector<Frame> stack;
  stack.push_back({InteriorChildren(page, usable, h)});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.children.size()) {
      stack.pop_back();
      continue;
    }
    const bool rightMost = frame.next == 0;
    const uint32_t child = frame.children[frame.next++];
    // Page 1 is the master table's root and never part of a table's tree.
    if (child > 1 && db.pages.IsValidPage(child) && visited.insert(child).second) {
      db.pages.ReadPage(child, page);
      BtreePageHeader ch = ParseBtreeHeader(page.data(), usable, child);
      if (ch.type == kTableLeafPage) {
        leaves.push_back(child);
        if (rightMost && work) work->Step();
      } else if (ch.type == kTableInteriorPage) {
        if (rightMost && work) work->Step();
        if (interiors) interiors->push_back(child);
        stack.push_back({InteriorChildren(page, usable, ch)});
      }
    }
    if (work && work->Stopped()) return leaves;
  }
  return leaves;
}

std::vector<uint64_t> CollectIndexPages(const Database& db, uint64_t rootPage, Work* work) {
  std::vector<uint64_t> pages;
  std::unordered_set<uint64_t> visited;
  std::vector<uint8_t> page;
  std::vector<uint64_t> pending{rootPage};
  while (!pending.empty()) {
    const uint64_t number = pending.back();
    pending.pop_back();
    // Page 1 is the master table's root; each page is read once, so a cycle ends.
    if (number <= 1 || !db.pages.IsValidPage(number) || !visited.insert(number).second) continue;
    db.pages.ReadPage(number, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), db.usableSize, number);
    if (h.type == kIndexLeafPage) {
      pages.push_back(number);
    } else if (h.type == kIndexInteriorPage) {
      pages.push_back(number);
      std::vector<uint32_t> children = InteriorChildren(page, db.usableSize, h);
      // Pushed so that the left-most child comes off first.
      pending.push_back(children[0]);
      for (size_t i = children.size(); i-- > 1;) pending.push_back(children[i]);
    }
    if (work && work->Stopped()) break;
  }
  return pages;
}

namespace {

// Bytes between the cell pointers and the cell content: SQLite gives a freed cell
// that borders the content back to this gap whole, so non-zero bytes there may be
// a deleted record.
bool GapHoldsData(const uint8_t* page, uint32_t usable, const BtreePageHeader& h) {
  const uint32_t start = h.cellPointerStart + kCellPointerSize * h.cellCount;
  const uint32_t end = std::min(h.contentStart, usable);
  for (uint32_t i = start; i < end; ++i) {
    if (page[i] != 0) return true;
  }
  return false;
}

// Non-zero bytes in the unallocated gap of leaf `pageNumber`, whose first 8 header
// bytes are `header`.
bool LeafGapHoldsData(const Database& db, uint64_t pageNumber, const uint8_t* header,
                      std::vector<uint8_t>& gap) {
  // The header tells where the gap is; only the gap itself is read. A leaf header
  // has no field past its 8 bytes, so a zero-padded copy of them parses whole.
  uint8_t padded[kInteriorHeaderSize] = {};
  std::copy(header, header + kLeafHeaderSize, padded);
  const BtreePageHeader h = ParseBtreeHeader(padded, db.usableSize, pageNumber);
  const uint32_t start = h.cellPointerStart + kCellPointerSize * h.cellCount;
  const uint32_t end = std::min(h.contentStart, db.usableSize);
  if (start >= end) return false;
  gap.assign(end - start, 0);
  db.pages.ReadPageRange(pageNumber, start, gap.size(), gap.data());
  return std::any_of(gap.begin(), gap.end(), [](uint8_t b) { return b != 0; });
}

// Whether a version of page `pageNumber` that the log replaced holds a cell the
// version in use lacks: a row changed or deleted since (or moved to a sibling).
// A table the log only added rows to gets no companion for it.
bool OlderVersionLostCells(const Database& db, uint64_t pageNumber, uint8_t leafType, uint8_t interiorType) {
  const std::vector<PageImage> images = db.pages.SupersededImagesOf(pageNumber);
  if (images.empty()) return false;
  std::vector<uint8_t> current;
  std::vector<uint8_t> old;
  db.pages.ReadPage(pageNumber, current);
  const uint8_t* begin = current.data();
  const uint8_t* end = current.data() + std::min<size_t>(current.size(), db.usableSize);
  for (const PageImage& image : images) {
    db.pages.ReadImage(image, old);
    const BtreePageHeader h = ParseBtreeHeader(old.data(), db.usableSize, pageNumber);
    if (h.type != leafType && h.type != interiorType) continue;
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint32_t at = CellOffset(old.data(), db.usableSize, h, i);
      if (at == 0) continue;
      // A cell's first bytes (its sizes, key and first values) stand for it.
      const size_t length = std::min<size_t>(24, db.usableSize - at);
      if (std::search(begin, end, old.data() + at, old.data() + at + length) == end) return true;
    }
  }
  return false;
}

}  // namespace

bool ProbeFreedSpace(const Database& db, uint64_t rootPage, Work& work) {
  std::unordered_set<uint64_t> visited;
  std::vector<uint8_t> page;
  std::vector<uint8_t> gap;
  const uint32_t usable = db.usableSize;
  if (rootPage < 1 || !db.pages.ReadPage(rootPage, page)) return false;
  visited.insert(rootPage);
  BtreePageHeader h = ParseBtreeHeader(page.data(), usable, rootPage);
  // A table without rowid keeps its rows in an index tree, interior pages included.
  const bool index = h.type == kIndexLeafPage || h.type == kIndexInteriorPage;
  const uint8_t leafType = index ? kIndexLeafPage : kTableLeafPage;
  const uint8_t interiorType = index ? kIndexInteriorPage : kTableInteriorPage;
  if (h.type != leafType && h.type != interiorType) return false;
  // A version of a page that the log replaced may hold rows changed or deleted since.
  if (OlderVersionLostCells(db, rootPage, leafType, interiorType)) return true;
  if (h.type == leafType) return h.firstFreeblock != 0 || GapHoldsData(page.data(), usable, h);

  // Breadth first through a queue of interior pages; leaves are read only as far as
  // their header (and their gap, until one holds data).
  bool seen = false;
  std::vector<uint64_t> queue{rootPage};
  for (size_t q = 0; q < queue.size(); ++q) {
    const uint64_t pageNumber = queue[q];
    db.pages.ReadPage(pageNumber, page);
    BtreePageHeader ih = ParseBtreeHeader(page.data(), usable, pageNumber);
    if (index && ih.firstFreeblock != 0) seen = true;
    for (uint32_t child : InteriorChildren(page, usable, ih)) {
      if (child > 1 && db.pages.IsValidPage(child) && visited.insert(child).second) {
        uint8_t prefix[kLeafHeaderSize] = {};
        db.pages.ReadPagePrefix(child, sizeof prefix, prefix);
        const uint8_t* end = prefix + sizeof prefix;
        const uint8_t type = prefix[kPageTypeOffset];
        if (!seen && (type == leafType || type == interiorType) && db.pages.HasSupersededImage(child) &&
            OlderVersionLostCells(db, child, leafType, interiorType)) {
          seen = true;
        }
        if (type == leafType) {
          if (ReadBigEndian16(prefix + kFirstFreeblockOffset, end) != 0) {
            seen = true;
          } else if (!seen && LeafGapHoldsData(db, child, prefix, gap)) {
            seen = true;
          }
        } else if (type == interiorType) {
          queue.push_back(child);
        }
      }
      if (work.Stopped()) return seen;
    }
  }
  return seen;
}

std::vector<uint32_t> CollectFreeblocks(const Database& db, const uint8_t* page,
                                        uint64_t pageNumber, uint16_t firstFreeblock) {
  std::vector<uint32_t> offsets;
  const uint32_t usable = db.usableSize;
  const uint8_t* end = page + usable;
  // A chain is followed while each freeblock lies after the previous one, past the
  // page header and wholly inside the usable area: a damaged or looping chain stops
  // at the first step that breaks this, keeping the freeblocks before it.
  uint32_t previous = PageHeaderOffset(pageNumber) + kLeafHeaderSize - 1;
  for (uint32_t offset = firstFreeblock; offset != 0;) {
    if (offset <= previous || offset + kFreeblockHeaderSize > usable) break;
    offsets.push_back(offset);
    previous = offset;
    offset = ReadBigEndian16(page + offset, end);
  }
  return offsets;
}

std::vector<uint64_t> FreedTableLeaves(const Database& db, Work* work,
                                       std::vector<uint64_t>* trunks) {
  std::vector<uint64_t> leaves;
  if (!db.IsOpen() || db.pages.PageCount() == 0) return leaves;
  const uint32_t usable = db.usableSize;
  uint8_t header[kFileHeaderSize] = {};
  // Through the page source: a log's newer page 1 lists the freelist of its commit.
  db.pages.ReadPagePrefix(1, sizeof header, header);
  const uint8_t* end = header + sizeof header;
  uint64_t trunk = ReadBigEndian32(header + kFirstTrunkOffset, end);
  // The walk is bounded by the pages of the file: a damaged chain can neither loop
  // nor list more pages than there are.
  std::unordered_set<uint64_t> seen;
  std::vector<uint8_t> page;
  while (db.pages.IsValidPage(trunk) && seen.insert(trunk).second && !(work && work->Stopped())) {
    db.pages.ReadPage(trunk, page);
    if (trunks) trunks->push_back(trunk);
    const uint8_t* pageEnd = page.data() + usable;
    const uint32_t count = ReadBigEndian32(page.data() + kTrunkLeafCountOffset, pageEnd);
    const uint32_t fits = (usable - kTrunkLeavesOffset) / kTrunkLeafSize;
    for (uint32_t i = 0; i < std::min(count, fits); ++i) {
      const uint64_t leaf =
          ReadBigEndian32(page.data() + kTrunkLeavesOffset + kTrunkLeafSize * i, pageEnd);
      if (!db.pages.IsValidPage(leaf) || !seen.insert(leaf).second) continue;
      uint8_t type = 0;
      db.pages.ReadPagePrefix(leaf, 1, &type);
      if (type == kTableLeafPage) leaves.push_back(leaf);
    }
    trunk = ReadBigEndian32(page.data(), pageEnd);
  }
  return leaves;
}

}  // namespace engine
