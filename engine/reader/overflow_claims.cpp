#include "engine/reader/overflow_claims.h"

namespace engine {

namespace {
constexpr uint64_t kBitsPerWord = 64;
}  // namespace

bool OverflowClaims::Claim(uint64_t page) {
  if (!pages_->IsValidPage(page)) return false;
  // Sized on first use, so that a walk that meets no overflow page costs nothing.
  if (words_.empty()) words_.resize((pages_->PageCount() + kBitsPerWord - 1) / kBitsPerWord);
  const uint64_t bit = page - 1;
  uint64_t& word = words_[bit / kBitsPerWord];
  const uint64_t mask = uint64_t{1} << (bit % kBitsPerWord);
  if (word & mask) return false;
  word |= mask;
  return true;
}

}  // namespace engine
