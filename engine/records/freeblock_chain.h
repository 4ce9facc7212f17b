// Choosing the chain of carved cells that best explains a freeblock: every position
// a cell can end at is tried as the next one's start.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/records/carver_state.h"
#include "engine/records/record_carver.h"

namespace engine::carving {

// Made for a call; `state` must outlive it.
class FreeblockChain {
 public:
  explicit FreeblockChain(CarverState& state) : s_(state) {}

  // Records in the freeblock [start, end) of `page` (a cell began at `start`), where
  // no cell may reach across a position of `barriers` (ascending): there another
  // freeblock began.
  void CarveBlock(const uint8_t* page, uint32_t start, uint32_t end,
                  const std::vector<uint32_t>& barriers, std::vector<CarvedRecord>& out) const;

 private:
  CarverState& s_;
};

}  // namespace engine::carving
