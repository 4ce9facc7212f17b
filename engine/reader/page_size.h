// The page size of a damaged file: as stored when it is usable, otherwise inferred
// from the shape of page 1.
#pragma once

#include <cstdint>

#include "platform/random_access_file.h"

namespace engine {

// The stored 2-byte field as a size in bytes: 1 means 65536. 0 when the value is not
// a power of two from 512 to 65536.
uint32_t DecodePageSize(uint16_t stored);

// Tries every page size on page 1 and returns the one under which it is a consistent
// table b-tree page (header, cell pointers and cells inside the page, interior
// children naming b-tree pages of the file); 0 when none or no single best fits.
// `reserved` is the header's reserved-bytes field.
uint32_t InferPageSize(const platform::RandomAccessFile& file, uint8_t reserved);

// How well page 1 fits `pageSize`, as InferPageSize ranks each size: -1 not at all
// (no consistent table b-tree page), more the better.
int PageSizeFit(const platform::RandomAccessFile& file, uint32_t pageSize, uint8_t reserved);

// Usable bytes of a page: page size minus the reserved bytes, or the whole page when
// the reserved field would leave less than the format's minimum.
uint32_t UsableSize(uint32_t pageSize, uint8_t reserved);

}  // namespace engine
