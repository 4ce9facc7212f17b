// Which overflow pages a walk over a table has already given to a chain. A page
// belongs to one chain only: a second cell that reaches it is damaged or crafted,
// and following it again would make the cells of a table cost cells x chain length.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/page_reader.h"

namespace engine {

// One bit per page of the file (a 4 GB file of 4 KiB pages takes 128 KiB), made
// when the first page is claimed. The reader must outlive it. Worker thread only.
class OverflowClaims {
 public:
  explicit OverflowClaims(const PageReader& pages) : pages_(&pages) {}

  // Claims page `page` for the chain being read. False when it was claimed before,
  // or when it names no page of the file.
  bool Claim(uint64_t page);
  // Forgets every claim, for the next walk; the file may have changed size since.
  void Clear() { words_.clear(); }

 private:
  const PageReader* pages_;
  std::vector<uint64_t> words_;  // bit (page - 1) % 64 of word (page - 1) / 64
};

}  // namespace engine
