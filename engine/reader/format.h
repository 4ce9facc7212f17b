// Facts of the SQLite 3 file format that the engine reads: header fields, b-tree
// page layout and the local-payload rule. Offsets are in bytes.
#pragma once

#include <cstdint>

namespace engine::format {

// File header (first 100 bytes of page 1).
inline constexpr int kMagicOffset = 0;           // 16 bytes: "SQLite format 3\0"
inline constexpr int kMagicSize = 16;
inline constexpr const char* kMagicText = "SQLite format 3";
inline constexpr int kPageSizeOffset = 16;       // 2 bytes; the value 1 means 65536
inline constexpr int kReservedBytesOffset = 20;  // 1 byte: unused bytes at each page end
inline constexpr int kFirstTrunkOffset = 32;     // 4 bytes: first freelist trunk page
inline constexpr int kFreePageCountOffset = 36;  // 4 bytes: pages on the freelist
inline constexpr int kSchemaFormatOffset = 44;   // 4 bytes: 4 gives 0 and 1 serial types of their own
inline constexpr int kTextEncodingOffset = 56;   // 4 bytes: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
inline constexpr int kFileHeaderSize = 100;

inline constexpr uint32_t kMinPageSize = 512;
inline constexpr uint32_t kMaxPageSize = 65536;
inline constexpr uint32_t kMinUsableSize = 480;  // the format's floor for page size - reserved

enum class TextEncoding : uint32_t { Utf8 = 1, Utf16le = 2, Utf16be = 3 };

// B-tree page header, from the header's first byte (offset 100 on page 1, 0 elsewhere).
inline constexpr int kPageTypeOffset = 0;       // 1 byte
inline constexpr int kFirstFreeblockOffset = 1; // 2 bytes; 0 = none
inline constexpr int kCellCountOffset = 3;      // 2 bytes
inline constexpr int kContentStartOffset = 5;   // 2 bytes; 0 = 65536
inline constexpr int kFragmentedOffset = 7;     // 1 byte
inline constexpr int kRightChildOffset = 8;     // 4 bytes, interior pages only
inline constexpr int kLeafHeaderSize = 8;       // cell pointers follow at header + 8
inline constexpr int kInteriorHeaderSize = 12;  // cell pointers follow at header + 12
inline constexpr int kCellPointerSize = 2;
inline constexpr int kChildPointerSize = 4;     // an interior cell's left child

// Page types.
inline constexpr uint8_t kIndexInteriorPage = 2;
inline constexpr uint8_t kTableInteriorPage = 5;
inline constexpr uint8_t kIndexLeafPage = 10;
inline constexpr uint8_t kTableLeafPage = 13;

// A freeblock: 2 bytes offset of the next freeblock (0 ends the chain), 2 bytes size.
inline constexpr int kFreeblockHeaderSize = 4;
inline constexpr int kFreeblockSizeOffset = 2;

// A freelist trunk page: 4 bytes next trunk, 4 bytes leaf count, then 4 bytes a leaf.
inline constexpr int kTrunkLeafCountOffset = 4;
inline constexpr int kTrunkLeavesOffset = 8;
inline constexpr int kTrunkLeafSize = 4;

// An overflow page: 4 bytes next page number, then usable size - 4 content bytes.
// A cell whose payload overflows ends with the 4-byte number of its first one.
inline constexpr int kOverflowPointerSize = 4;

// SQLite stores no value (so no payload) of more than 2^31 - 1 bytes; a larger size
// comes from a damaged cell and is not worth following.
inline constexpr int64_t kMaxPayloadSize = int64_t{1} << 31;

// Variable-length integers: 1 to 9 bytes, big-endian groups of 7 bits, the high bit
// of each of the first eight bytes set when another byte follows.
inline constexpr int kMaxVarintSize = 9;
inline constexpr int kVarintGroupBits = 7;
inline constexpr uint8_t kVarintMoreBit = 0x80;
inline constexpr uint8_t kVarintGroupMask = 0x7f;  // also the largest one-byte varint

// Serial types of a record header.
inline constexpr uint64_t kSerialNull = 0;
inline constexpr uint64_t kSerialInt8 = 1;   // 1 to 6: integers of 1, 2, 3, 4, 6, 8 bytes
inline constexpr uint64_t kSerialInt48 = 5;  // the 6-byte integer
inline constexpr uint64_t kSerialReal = 7;   // 8-byte IEEE float
inline constexpr uint64_t kSerialOne = 9;    // 8 and 9: the integers 0 and 1, no bytes
inline constexpr uint64_t kSerialReserved10 = 10;
inline constexpr uint64_t kSerialReserved11 = 11;
inline constexpr uint64_t kSerialFirstBlob = 12;  // 12 + 2n: a blob of n bytes
inline constexpr uint64_t kSerialFirstText = 13;  // 13 + 2n: a text of n bytes

// Offset of the b-tree page header within page `pageNumber`.
inline constexpr int PageHeaderOffset(uint64_t pageNumber) {
  return pageNumber == 1 ? kFileHeaderSize : 0;
}

inline constexpr bool IsPowerOfTwoPageSize(uint32_t size) {
  return size >= kMinPageSize && size <= kMaxPageSize && (size & (size - 1)) == 0;
}

// Bytes of a table b-tree leaf cell's payload of `payloadSize` bytes that stand in
// the cell itself; the rest goes to overflow pages. `usableSize` is page size minus
// the reserved bytes.
inline int64_t TableLeafLocalPayload(int64_t payloadSize, uint32_t usableSize) {
  const int64_t u = usableSize;
  const int64_t x = u - 35;
  if (payloadSize <= x) return payloadSize;
  const int64_t m = ((u - 12) * 32 / 255) - 23;
  const int64_t k = m + ((payloadSize - m) % (u - 4));
  return k <= x ? k : m;
}

// The same for a cell of an index b-tree (leaf or interior), which a table without
// rowid is stored in: its payload may stand in the cell up to a larger bound.
inline int64_t IndexLocalPayload(int64_t payloadSize, uint32_t usableSize) {
  const int64_t u = usableSize;
  const int64_t x = ((u - 12) * 64 / 255) - 23;
  if (payloadSize <= x) return payloadSize;
  const int64_t m = ((u - 12) * 32 / 255) - 23;
  const int64_t k = m + ((payloadSize - m) % (u - 4));
  return k <= x ? k : m;
}

}  // namespace engine::format
