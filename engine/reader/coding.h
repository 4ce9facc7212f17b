// Decoding of the integers of the SQLite file format: big-endian fields and
// variable-length integers. Every reader takes the end of its buffer; bytes past it
// are never touched.
#pragma once

#include <cstdint>

namespace engine {

// Reads `n` bytes at `p`, most significant first. Only the low 8 bits of `n` count;
// n = 0 or n > 8 gives 0. Bytes at or past `limit` count as zero, as bytes past the
// end of the damaged file do.
inline uint64_t ReadBigEndian(const uint8_t* p, const uint8_t* limit, unsigned n) {
  n &= 0xFF;
  if (n > 8) return 0;
  uint64_t value = 0;
  for (unsigned i = 0; i < n; ++i) {
    value = (value << 8) | (p + i < limit ? p[i] : 0);
  }
  return value;
}

inline uint16_t ReadBigEndian16(const uint8_t* p, const uint8_t* limit) {
  return static_cast<uint16_t>(ReadBigEndian(p, limit, 2));
}

inline uint32_t ReadBigEndian32(const uint8_t* p, const uint8_t* limit) {
  return static_cast<uint32_t>(ReadBigEndian(p, limit, 4));
}

// The short variable-length integer of 1 to 5 bytes: seven bits from each of the
// first four bytes, all eight of a fifth, taken modulo 2^32. Sets `extraBytes` to the
// number of bytes read minus one. Returns the position after it, or null when the
// buffer ends inside it.
inline const uint8_t* ReadVarint(const uint8_t* p, const uint8_t* limit, uint32_t* value,
                                 uint8_t* extraBytes) {
  uint32_t result = 0;
  for (int i = 0; i < 5; ++i) {
    if (p >= limit) return nullptr;
    uint8_t byte = *p++;
    if (i == 4) {
      result = (result << 7) + byte;
    } else {
      result = (result << 7) + (byte & 0x7F);
    }
    if (i == 4 || !(byte & 0x80)) {
      *value = result;
      *extraBytes = static_cast<uint8_t>(i);
      return p;
    }
  }
  return nullptr;  // not reached
}

// The SQLite variable-length integer of 1 to 9 bytes: seven bits from each of the
// first eight bytes, all eight of a ninth. Returns the position after it, or null when
// the buffer ends inside it.
inline const uint8_t* ReadVarint64(const uint8_t* p, const uint8_t* limit, int64_t* value) {
  uint64_t result = 0;
  for (int i = 0; i < 9; ++i) {
    if (p >= limit) return nullptr;
    uint8_t byte = *p++;
    if (i == 8) {
      result = (result << 8) | byte;
      *value = static_cast<int64_t>(result);
      return p;
    }
    result = (result << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) {
      *value = static_cast<int64_t>(result);
      return p;
    }
  }
  return nullptr;  // not reached
}

// Content size in bytes of a record value of serial type `t`.
inline uint64_t SerialTypeSize(uint64_t t) {
  if (t >= 12) return (t - 12) / 2;  // blob (even) or text (odd: (t - 13) / 2)
  // 10 and 11 are reserved and hold no bytes.
  static constexpr uint8_t kSizes[12] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
  return kSizes[t];
}

// Byte offset of page `pageNumber` (the first page is 1), in 64 bits.
inline int64_t PageOffset(uint64_t pageNumber, uint32_t pageSize) {
  return (static_cast<int64_t>(pageNumber) - 1) * static_cast<int64_t>(pageSize);
}

}  // namespace engine
