// Choosing the chain of carved cells that best explains a freeblock: every position
// a cell can end at is tried as the next one's start.
#include "engine/records/freeblock_chain.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "engine/records/candidate_finder.h"
#include "engine/records/carve_candidate.h"

namespace engine::carving {

using namespace format;

void FreeblockChain::CarveBlock(const uint8_t* page, uint32_t start, uint32_t end,
                                const std::vector<uint32_t>& barriers, std::vector<CarvedRecord>& out) const {
  // A freeblock holds the cells freed into it one after another, with fragments of
  // at most 3 bytes between them. Every position a carved cell can end at is tried
  // as the start of the next, and the chain of cells that explains the freeblock
  // best is taken.
  end = std::min(end, s_.usable);
  if (start + kLostBytes >= end) return;
  std::unordered_map<uint32_t, std::vector<Candidate>> at;
  std::set<uint32_t> pending{start};
  const CandidateFinder finder(s_);
  while (!pending.empty() && s_.budget > 0) {
    const uint32_t x = *pending.begin();
    pending.erase(pending.begin());
    std::vector<Candidate>& candidates = at[x];
    finder.CandidatesAt(page, x, end, x == start ? Start::kFreeblock : Start::kAfterCell, candidates);
    if (!barriers.empty()) {
      auto crosses = [&](const Candidate& candidate) {
        auto b = std::upper_bound(barriers.begin(), barriers.end(), x);
        return b != barriers.end() && *b < x + candidate.length;
      };
      candidates.erase(std::remove_if(candidates.begin(), candidates.end(), crosses), candidates.end());
    }
    for (const Candidate& candidate : candidates) {
      for (uint32_t f = 0; f <= kMaxFragment; ++f) {
        const uint32_t y = x + candidate.length + f;
        if (y + kMaxFragment < end && !at.count(y)) pending.insert(y);
      }
    }
  }
  // The best explanation of [x, end), from the end backwards.
  std::vector<uint32_t> positions;
  for (const auto& entry : at) positions.push_back(entry.first);
  std::sort(positions.rbegin(), positions.rend());
  std::unordered_map<uint32_t, std::pair<int, int>> best;  // score, chosen candidate (-1: none)
  // What follows a cell that ends at `y`: nothing (the freeblock's end), the best
  // chain of cells from `y` on, or bytes nothing explains (kRejected for a weak cell).
  // A freeblock ends where its last cell does: fragments are absorbed only between
  // a freed cell and a freeblock after it, and SQLite gives out a freeblock's space
  // from its end, which moves the end to a cell's start.
  auto rest = [&](uint32_t y, bool weak, uint32_t* next) {
    if (y >= end) {
      *next = end;
      return 0;
    }
    int score = weak ? kRejected : -kTail;
    *next = end;
    for (uint32_t f = 0; f <= kMaxFragment; ++f) {
      auto found = best.find(y + f);
      if (found == best.end() || found->second.second < 0) continue;
      const int s = found->second.first - kFragmentCost * static_cast<int>(f);
      if (s > score) {
        score = s;
        *next = y + f;
      }
    }
    return score;
  };
  for (uint32_t x : positions) {
    std::pair<int, int> choice{-kTail, -1};
    const std::vector<Candidate>& candidates = at[x];
    for (size_t i = 0; i < candidates.size(); ++i) {
      uint32_t next = 0;
      const int score = candidates[i].score + rest(x + candidates[i].length, candidates[i].weak, &next);
      if (score > choice.first) choice = {score, static_cast<int>(i)};
    }
    best[x] = choice;
  }
  for (uint32_t x = start; x < end;) {
    auto found = best.find(x);
    if (found == best.end() || found->second.second < 0) break;
    Candidate& chosen = at[x][static_cast<size_t>(found->second.second)];
    if (!chosen.empty) out.push_back(std::move(chosen.record));
    uint32_t next = end;
    rest(x + chosen.length, chosen.weak, &next);
    x = next;
  }
}

}  // namespace engine::carving
