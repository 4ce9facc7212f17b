// Alignments of a candidate record at a position: the layouts a cell's varints and a
// freeblock header over them allow, and the serial types each layout reads.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/records/candidate_builder.h"
#include "engine/records/carve_candidate.h"
#include "engine/records/carver_state.h"
#include "engine/records/cell_heads.h"

namespace engine::carving {

// Made for a call; `state` must outlive it.
class CandidateFinder {
 public:
  explicit CandidateFinder(CarverState& state) : s_(state), heads_(state), builder_(state) {}

  // Every plausible cell beginning at `x` and ending at or before `end`, at most one
  // for each length.
  void CandidatesAt(const uint8_t* page, uint32_t x, uint32_t end, Start start,
                    std::vector<Candidate>& out) const;

 private:
  // The serial types a layout reads at `x` that can be a record's: one set when the
  // header size survived, else one for each count of values the table allows.
  void ForEachShape(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                    const std::function<void(const Shape&)>& onShape) const;

  CarverState& s_;
  CellHeads heads_;
  CandidateBuilder builder_;
};

}  // namespace engine::carving
