// Page-granular access to the damaged file: one positioned read per page visited,
// zero-filled past the end of the file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/random_access_file.h"

namespace engine {

// A view of the open file cut into pages. Holds no ownership of the file, which must
// outlive it. Worker thread only.
class PageReader {
 public:
  PageReader() = default;
  PageReader(const platform::RandomAccessFile* file, uint32_t pageSize);

  uint32_t PageSize() const { return pageSize_; }
  // Pages that start inside the file; the last one may be cut short.
  uint64_t PageCount() const { return pageCount_; }
  // A page number that names a page of the file (1 to PageCount()).
  bool IsValidPage(uint64_t pageNumber) const {
    return pageNumber >= 1 && pageNumber <= pageCount_;
  }

  // Reads the whole page into `out` (resized to the page size). False, with `out`
  // untouched, for a page number that names no page of the file.
  bool ReadPage(uint64_t pageNumber, std::vector<uint8_t>& out) const;

  // Reads the first `length` bytes of a page (its b-tree header, say) into `out`.
  bool ReadPagePrefix(uint64_t pageNumber, size_t length, uint8_t* out) const;
  // Reads `length` bytes from `offset` within a page (clipped to the page) into `out`.
  bool ReadPageRange(uint64_t pageNumber, uint32_t offset, size_t length, uint8_t* out) const;

 private:
  const platform::RandomAccessFile* file_ = nullptr;
  uint32_t pageSize_ = 0;
  uint64_t pageCount_ = 0;
};

}  // namespace engine
