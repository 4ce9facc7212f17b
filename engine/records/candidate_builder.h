// Decoding of a candidate record: the values of one shape at one alignment, the
// rules that reject a wrong alignment, and the score of what is left.
#pragma once

#include <cstdint>

#include "engine/records/carve_candidate.h"
#include "engine/records/carved_value_rules.h"
#include "engine/records/carver_state.h"
#include "engine/records/cell_heads.h"

namespace engine::carving {

// Made for a call; `state` must outlive it. Spends the page's work budget and the
// carver's allowance of overflow rereads.
class CandidateBuilder {
 public:
  explicit CandidateBuilder(CarverState& state) : s_(state), rules_(state), heads_(state) {}

  // The record of a shape whose lost first value, if any, has `lostSize` bytes.
  bool Build(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout, const Shape& shape,
             uint64_t lostSize, Candidate* candidate) const;

 private:
  CarverState& s_;
  CarvedValueRules rules_;
  CellHeads heads_;
};

}  // namespace engine::carving
