#include "engine/reader/btree_page.h"

#include <algorithm>

#include "engine/reader/coding.h"
#include "engine/reader/format.h"

namespace engine {

using namespace format;

BtreePageHeader ParseBtreeHeader(const uint8_t* page, uint32_t usableSize, uint64_t pageNumber) {
  BtreePageHeader h;
  h.headerOffset = PageHeaderOffset(pageNumber);
  const uint8_t* end = page + usableSize;
  const uint8_t* p = page + h.headerOffset;
  h.type = static_cast<uint8_t>(ReadBigEndian(p + kPageTypeOffset, end, 1));
  h.firstFreeblock = ReadBigEndian16(p + kFirstFreeblockOffset, end);
  h.storedCellCount = ReadBigEndian16(p + kCellCountOffset, end);
  uint32_t content = ReadBigEndian16(p + kContentStartOffset, end);
  h.contentStart = content == 0 ? 65536 : content;
  const bool interior = h.type == kTableInteriorPage || h.type == kIndexInteriorPage;
  if (interior) h.rightChild = ReadBigEndian32(p + kRightChildOffset, end);
  h.cellPointerStart = h.headerOffset + (interior ? kInteriorHeaderSize : kLeafHeaderSize);
  // A damaged count would send the pointer loop past the page: keep what fits.
  int64_t room = static_cast<int64_t>(usableSize) - h.cellPointerStart;
  uint32_t fits = room > 0 ? static_cast<uint32_t>(room / kCellPointerSize) : 0;
  // The pointer array also ends where the cell content begins; when the content start
  // is plausible it bounds a damaged count much closer to the truth.
  if (h.contentStart > static_cast<uint32_t>(h.cellPointerStart) && h.contentStart <= usableSize) {
    fits = std::min<uint32_t>(fits, (h.contentStart - h.cellPointerStart) / kCellPointerSize);
  }
  h.cellCount = h.storedCellCount < fits ? h.storedCellCount : fits;
  return h;
}

uint32_t CellOffset(const uint8_t* page, uint32_t usableSize, const BtreePageHeader& header,
                    uint32_t index) {
  if (index >= header.cellCount) return 0;
  const uint8_t* end = page + usableSize;
  uint32_t offset =
      ReadBigEndian16(page + header.cellPointerStart + kCellPointerSize * index, end);
  // A cell never overlaps the header or the pointers up to its own, nor leaves the
  // usable area. The pointers after it are not counted: when the cell count is
  // damaged, the real array ends long before the count says.
  uint32_t pointersEnd = header.cellPointerStart + kCellPointerSize * (index + 1);
  if (offset < pointersEnd || offset >= usableSize) return 0;
  return offset;
}

uint32_t CellLeftChild(const uint8_t* page, uint32_t usableSize, const BtreePageHeader& header,
                       uint32_t index) {
  uint32_t offset = CellOffset(page, usableSize, header, index);
  if (offset == 0 || offset + kChildPointerSize > usableSize) return 0;
  return ReadBigEndian32(page + offset, page + usableSize);
}

}  // namespace engine
