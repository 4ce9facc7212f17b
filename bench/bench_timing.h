// Timing helpers shared by the benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

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

// The fastest of three plain sequential reads of `path` in 1 MiB chunks (the first
// also warms the page cache): the floor the benchmarks compare against.
inline double SequentialReadSeconds(const std::string& path) {
  std::vector<char> chunk(1 << 20);
  volatile uint64_t checksum = 0;  // keeps the reads from being optimised away
  return BestSeconds(3, [&] {
    std::ifstream in(path, std::ios::binary);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
      checksum = checksum + static_cast<uint64_t>(chunk[0]);
    }
  });
}

}  // namespace bench
