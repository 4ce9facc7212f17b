// Times the leaf read of every cell of a table whose 2,000 rows overflow, through
// ReadTableLeafCell with an OverflowClaims as a walk over a table reads them, on two
// files of about 50 MB: one where each row has its own intact chain, and a crafted
// copy where every row's first overflow page number names one row's chain of about
// 3,900 pages and its payload size is raised (same varint width, same local part)
// so that it asks for about 510 pages of that chain. Without claims the crafted
// file costs cells x chain; with them, what the intact file costs. Not a test: run
// it by hand.
//
//   bench_overflow [FOLDER]   (default build/bench, files created when missing)
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/format.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/page_reader.h"
#include "platform/random_access_file.h"
#include "tests/fixture/fixture_db.h"

namespace {

using namespace engine;

constexpr uint32_t kPageSize = 4096;
constexpr int kRows = 2000;
constexpr int kRowBytes = 16400;       // 5 overflow pages; a 3-byte payload-size varint
constexpr int kLongBytes = 15950000;   // about 3,900 overflow pages
constexpr int64_t kMaxThreeByteVarint = (int64_t{1} << (3 * format::kVarintGroupBits)) - 1;

// The table's leaf pages, depth first, each once.
std::vector<uint64_t> LeafPages(const PageReader& pages, uint64_t root) {
  std::vector<uint64_t> leaves;
  std::set<uint64_t> seen;
  std::vector<uint64_t> todo{root};
  std::vector<uint8_t> page;
  while (!todo.empty()) {
    const uint64_t number = todo.back();
    todo.pop_back();
    if (!seen.insert(number).second || !pages.ReadPage(number, page)) continue;
    const BtreePageHeader h = ParseBtreeHeader(page.data(), kPageSize, number);
    if (h.type == format::kTableLeafPage) {
      leaves.push_back(number);
    } else if (h.type == format::kTableInteriorPage) {
      todo.push_back(h.rightChild);
      for (uint32_t i = h.cellCount; i-- > 0;) todo.push_back(CellLeftChild(page.data(), kPageSize, h, i));
    }
  }
  return leaves;
}

struct Walk {
  size_t cells = 0;
  size_t cut = 0;             // cells not complete
  uint64_t overflowBytes = 0;  // payload bytes read from overflow pages
};

// Reads every cell of every leaf, with `claims` (cleared first) or without.
Walk ReadEveryCell(const PageReader& pages, const std::vector<uint64_t>& leaves, OverflowClaims* claims) {
  if (claims) claims->Clear();
  Walk walk;
  std::vector<uint8_t> page;
  LeafCell cell;
  for (uint64_t number : leaves) {
    pages.ReadPage(number, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), kPageSize, number);
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint32_t at = CellOffset(page.data(), kPageSize, h, i);
      if (at == 0 || !ReadTableLeafCell(pages, page.data(), kPageSize, at, &cell, claims)) continue;
      ++walk.cells;
      walk.cut += cell.complete ? 0 : 1;
      walk.overflowBytes += cell.payload.size() - cell.localSize;
    }
  }
  return walk;
}

void BuildIntact(const std::string& path) {
  std::cerr << "building " << path << " (about 50 MB, once)...\n";
  fixture::DbOptions options;
  options.pageSize = kPageSize;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, body BLOB);"
                         "INSERT INTO t VALUES(1, randomblob(" + std::to_string(kLongBytes) + "));"
                         "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                             std::to_string(kRows + 1) + ") INSERT INTO t SELECT i, randomblob(" +
                             std::to_string(kRowBytes) + ") FROM n;");
}

// Points every row but row 1 at row 1's chain and raises its payload size.
void BuildShared(const std::string& intact, const std::string& path, uint64_t root) {
  std::cerr << "building " << path << "...\n";
  std::string error;
  auto file = platform::RandomAccessFile::Open(intact, &error);
  if (!file) throw std::runtime_error(error);
  PageReader pages(file.get(), kPageSize);
  std::vector<uint8_t> bytes = fixture::ReadFile(intact);
  constexpr uint32_t kPerPage = kPageSize - format::kOverflowPointerSize;
  struct Cell {
    int64_t sizeAt, pointerAt, payload;
  };
  std::vector<Cell> rows;
  uint32_t longChain = 0;
  for (uint64_t number : LeafPages(pages, root)) {
    const uint8_t* page = bytes.data() + PageOffset(number, kPageSize);
    const uint8_t* end = page + kPageSize;
    const BtreePageHeader h = ParseBtreeHeader(page, kPageSize, number);
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      const uint8_t* start = page + CellOffset(page, kPageSize, h, i);
      int64_t payload = 0, rowid = 0;
      const uint8_t* afterSize = ReadVarint64(start, end, &payload);
      const uint8_t* p = ReadVarint64(afterSize, end, &rowid);
      const int64_t local = format::TableLeafLocalPayload(payload, kPageSize);
      if (local >= payload) continue;
      const int64_t pointerAt = (p - bytes.data()) + local;
      if (rowid == 1) {
        longChain = ReadBigEndian32(bytes.data() + pointerAt, bytes.data() + bytes.size());
      } else if (afterSize - start == 3) {
        rows.push_back({start - bytes.data(), pointerAt, payload});
      }
    }
  }
  if (longChain == 0 || rows.size() != kRows) throw std::runtime_error("unexpected layout");
  for (const Cell& c : rows) {
    // The largest size of the same varint width and the same local part.
    const int64_t raised = c.payload + (kMaxThreeByteVarint - c.payload) / kPerPage * kPerPage;
    for (int k = 0; k < 3; ++k) {
      const uint8_t group = (raised >> (format::kVarintGroupBits * (2 - k))) & format::kVarintGroupMask;
      bytes[c.sizeAt + k] = static_cast<uint8_t>(group | (k < 2 ? format::kVarintMoreBit : 0));
    }
    for (int k = 0; k < 4; ++k) bytes[c.pointerAt + k] = static_cast<uint8_t>(longChain >> (24 - 8 * k));
  }
  fixture::WriteFile(path, bytes);
}

struct Timing {
  double seconds = 0;
  Walk walk;
};

Timing TimeWalk(const std::string& path, uint64_t root, bool withClaims, int runs) {
  std::string error;
  auto file = platform::RandomAccessFile::Open(path, &error);
  if (!file) throw std::runtime_error(error);
  PageReader pages(file.get(), kPageSize);
  const std::vector<uint64_t> leaves = LeafPages(pages, root);
  OverflowClaims claims(pages);
  Timing t;
  t.seconds = bench::BestSeconds(runs, [&] { t.walk = ReadEveryCell(pages, leaves, withClaims ? &claims : nullptr); });
  return t;
}

void Print(const char* name, const Timing& t) {
  std::printf("%-28s %8.3f s  %zu cells, %zu cut, %.0f overflow pages read\n", name, t.seconds, t.walk.cells,
              t.walk.cut, static_cast<double>(t.walk.overflowBytes) / (kPageSize - format::kOverflowPointerSize));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "build/bench";
  std::filesystem::create_directories(folder);
  const std::string intact = folder + "/bench-overflow.db";
  const std::string shared = folder + "/bench-overflow-shared.db";
  if (!std::filesystem::exists(intact)) BuildIntact(intact);
  const uint64_t root =
      std::stoull(fixture::Query(intact, "SELECT rootpage FROM sqlite_schema WHERE name='t'")[0][0]);
  if (!std::filesystem::exists(shared)) BuildShared(intact, shared, root);

  bench::SequentialReadSeconds(intact);  // warms the page cache
  bench::SequentialReadSeconds(shared);
  const Timing own = TimeWalk(intact, root, true, 3);
  const Timing one = TimeWalk(shared, root, true, 3);
  const Timing unclaimed = TimeWalk(shared, root, false, 1);

  std::printf("files: %s, %.0f MB; %s\n", intact.c_str(), std::filesystem::file_size(intact) / 1e6, shared.c_str());
  Print("own chains, with claims:", own);
  Print("one chain, with claims:", one);
  Print("one chain, without claims:", unclaimed);
  std::printf("one chain / own chains, with claims: %.2fx (without claims: %.1fx)\n", one.seconds / own.seconds,
              unclaimed.seconds / own.seconds);
  return 0;
}
