// Timing helpers shared by the benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>

namespace bench {

// The fastest of `runs` runs of `f`, in seconds.
template <typename F>
double BestSeconds(int runs, F&& f) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace bench
