// How many live rows come back, exactly and in their own table, from databases
// damaged in the ways a broken structure takes: interior pages zeroed or garbled,
// root pages swapped, a child pointer redirected, a leaf's cell pointers
// overwritten, page 1's header overwritten, a wrong page size, a cycle, a
// truncation. A row is reachable when its cell and its overflow pages are
// byte-identical to the healthy file's. Not a test: run it by hand.
//
//   bench_damage [SEED]
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "engine/reader/coding.h"
#include "engine/reader/format.h"
#include "bench/repair_and_save.h"
#include "tests/fixture/fixture_db.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Config {
  uint32_t pageSize;
  const char* encoding;
  int autoVacuum;
};

const char* kTables[] = {"a", "b"};

std::string Schema() {
  return "CREATE TABLE a(id INTEGER PRIMARY KEY, name TEXT, qty INT, note BLOB);"
         "CREATE TABLE b(x TEXT, y REAL, z);"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
         " INSERT INTO a SELECT i * 3, printf('name %d', i), i % 100,"
         " CASE WHEN i % 50 = 0 THEN randomblob(3000) ELSE randomblob(20) END FROM n;"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
         " INSERT INTO b SELECT printf('text %d %.*c', i, i % 40, 'x'), i * 0.5, CASE WHEN i % 7 = 0 THEN NULL ELSE i END"
         " FROM n;";
}

// Every row of `table` as one text: its rowid and each value with its storage class.
std::vector<std::string> Rows(const std::string& db, const std::string& table) {
  std::string select = "rowid";
  for (const auto& column : fixture::Query(db, "SELECT name FROM pragma_table_info('" + table + "')")) {
    const std::string c = "\"" + column[0] + "\"";
    select += " || '|' || typeof(" + c + ") || ':' || CASE typeof(" + c + ") WHEN 'real' THEN printf('%!.17g', " + c +
              ") ELSE quote(" + c + ") END";
  }
  std::vector<std::string> rows;
  try {
    for (const auto& row : fixture::Query(db, "SELECT " + select + " FROM \"" + table + "\"")) rows.push_back(row[0]);
  } catch (const std::exception&) {
  }
  return rows;
}

uint32_t Be(const Bytes& file, uint64_t at, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | (at + i < file.size() ? file[at + i] : 0);
  return v;
}

// The rowids of `table` whose cell and overflow pages are the same in `damaged` as in
// `healthy`.
std::set<int64_t> ReachableRowids(const std::string& healthyPath, const Bytes& healthy, const Bytes& damaged,
                                  const std::string& table, uint32_t pageSize) {
  std::set<int64_t> rowids;
  const uint32_t usable = pageSize;
  auto same = [&](uint64_t from, uint64_t to) {
    if (to > damaged.size()) return false;
    return std::equal(healthy.begin() + from, healthy.begin() + to, damaged.begin() + from);
  };
  for (const auto& info : fixture::BtreePages(healthyPath, table)) {
    if (info.type != "leaf") continue;
    const uint64_t base = static_cast<uint64_t>(info.page - 1) * pageSize;
    const uint8_t* page = healthy.data() + base;
    const uint32_t cells = Be(healthy, base + 3, 2);
    for (uint32_t i = 0; i < cells; ++i) {
      const uint32_t at = Be(healthy, base + 8 + 2 * i, 2);
      int64_t payload = 0, rowid = 0;
      const uint8_t* p = engine::ReadVarint64(page + at, page + usable, &payload);
      p = engine::ReadVarint64(p, page + usable, &rowid);
      const int64_t local = engine::format::TableLeafLocalPayload(payload, usable);
      const bool overflow = local < payload;
      const uint64_t cellEnd = static_cast<uint64_t>(p - page) + local + (overflow ? 4 : 0);
      bool reachable = same(base + at, base + cellEnd);
      uint64_t next = overflow ? Be(healthy, base + cellEnd - 4, 4) : 0;
      for (int64_t left = payload - local; reachable && overflow && left > 0 && next != 0; left -= usable - 4) {
        const uint64_t o = (next - 1) * pageSize;
        reachable = same(o, o + pageSize);
        next = Be(healthy, o, 4);
      }
      if (reachable) rowids.insert(rowid);
    }
  }
  return rowids;
}

struct Tally {
  uint64_t reachable = 0;
  uint64_t recovered = 0;  // reachable rows recovered exactly in their own table
  uint64_t output = 0;     // rows the output's tables hold
  uint64_t wrong = 0;      // output rows no healthy row of that table equals
  int cases = 0;
};

struct Damage {
  const char* kind;
  // Damages the file (`healthy` holds its bytes); false when the case does not apply.
  bool (*apply)(const std::string& path, const Bytes& healthy, const Config& c, std::mt19937& random);
};

std::vector<uint32_t> PagesOf(const std::string& path, const std::string& table, const std::string& type) {
  std::vector<uint32_t> pages;
  for (const auto& info : fixture::BtreePages(path, table)) {
    if (info.type == type) pages.push_back(info.page);
  }
  return pages;
}

uint32_t RootOf(const std::string& path, const std::string& table) {
  return static_cast<uint32_t>(std::stoul(fixture::Query(path, "SELECT rootpage FROM sqlite_schema WHERE name = '" + table + "'")[0][0]));
}

void Fill(const std::string& path, uint64_t offset, size_t length, std::mt19937& random, bool zero) {
  Bytes bytes(length, 0);
  if (!zero) for (auto& b : bytes) b = static_cast<uint8_t>(random());
  fixture::PatchBytes(path, static_cast<int64_t>(offset), bytes);
}

bool ZeroRootInterior(const std::string& path, const Bytes&, const Config& c, std::mt19937& random) {
  const uint32_t root = RootOf(path, "a");
  if (PagesOf(path, "a", "internal").empty()) return false;
  Fill(path, static_cast<uint64_t>(root - 1) * c.pageSize, c.pageSize, random, true);
  return true;
}

bool ZeroDeeperInterior(const std::string& path, const Bytes&, const Config& c, std::mt19937& random) {
  const uint32_t root = RootOf(path, "a");
  for (uint32_t page : PagesOf(path, "a", "internal")) {
    if (page == root) continue;
    Fill(path, static_cast<uint64_t>(page - 1) * c.pageSize, c.pageSize, random, true);
    return true;
  }
  return false;
}

bool GarbleInterior(const std::string& path, const Bytes&, const Config& c, std::mt19937& random) {
  if (PagesOf(path, "a", "internal").empty()) return false;
  Fill(path, static_cast<uint64_t>(RootOf(path, "a") - 1) * c.pageSize, c.pageSize, random, false);
  return true;
}

bool SwapRoots(const std::string& path, const Bytes&, const Config&, std::mt19937&) {
  const uint32_t a = RootOf(path, "a"), b = RootOf(path, "b");
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::string sql = "PRAGMA writable_schema = ON; UPDATE sqlite_schema SET rootpage = CASE name WHEN 'a' THEN " +
                          std::to_string(b) + " ELSE " + std::to_string(a) + " END WHERE name IN ('a', 'b');";
  const bool done = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return done;
}

bool RedirectChild(const std::string& path, const Bytes& healthy, const Config& c, std::mt19937&) {
  const uint32_t root = RootOf(path, "a");
  const auto leavesOfB = PagesOf(path, "b", "leaf");
  if (PagesOf(path, "a", "internal").empty() || leavesOfB.empty()) return false;
  const uint64_t base = static_cast<uint64_t>(root - 1) * c.pageSize;
  const uint32_t first = Be(healthy, base + 12, 2);
  fixture::PutBigEndian(path, static_cast<int64_t>(base + first), leavesOfB.front(), 4);
  return true;
}

bool OverwritePointers(const std::string& path, const Bytes& healthy, const Config& c, std::mt19937& random) {
  const auto leaves = PagesOf(path, "a", "leaf");
  if (leaves.empty()) return false;
  const uint32_t leaf = leaves[leaves.size() / 2];
  const uint64_t base = static_cast<uint64_t>(leaf - 1) * c.pageSize + (leaf == 1 ? 100 : 0);
  Fill(path, base + 8, 2 * Be(healthy, base + 3, 2), random, false);
  return true;
}

bool OverwritePageOneHeader(const std::string& path, const Bytes&, const Config&, std::mt19937& random) {
  Fill(path, 100, 200, random, false);
  return true;
}

bool WrongPowerOfTwo(const std::string& path, const Bytes&, const Config& c, std::mt19937&) {
  const uint32_t wrong = c.pageSize >= 4096 ? c.pageSize / 4 : c.pageSize * 4;
  fixture::PutBigEndian(path, 16, wrong == 65536 ? 1 : wrong, 2);
  return true;
}

bool NotAPowerOfTwo(const std::string& path, const Bytes&, const Config&, std::mt19937&) {
  fixture::PutBigEndian(path, 16, 3000, 2);
  return true;
}

bool InteriorCycle(const std::string& path, const Bytes&, const Config& c, std::mt19937&) {
  const uint32_t root = RootOf(path, "a");
  for (uint32_t page : PagesOf(path, "a", "internal")) {
    if (page == root) continue;
    fixture::PutBigEndian(path, static_cast<int64_t>(page - 1) * c.pageSize + 8, root, 4);
    return true;
  }
  return false;
}

bool Truncate(const std::string& path, const Bytes& healthy, const Config& c, std::mt19937&) {
  fixture::Truncate(path, static_cast<int64_t>(healthy.size() * 6 / 10 / c.pageSize * c.pageSize));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned seed = argc > 1 ? static_cast<unsigned>(std::stoul(argv[1])) : 1;
  const Config configs[] = {{512, "UTF-8", 0},     {1024, "UTF-16le", 1}, {4096, "UTF-16be", 0},
                            {4096, "UTF-8", 1},    {65536, "UTF-8", 0}};
  const Damage damages[] = {
      {"root interior zeroed", ZeroRootInterior},   {"deeper interior zeroed", ZeroDeeperInterior},
      {"interior garbled", GarbleInterior},         {"roots swapped", SwapRoots},
      {"child redirected", RedirectChild},          {"cell pointers overwritten", OverwritePointers},
      {"page 1 bytes 100-299", OverwritePageOneHeader}, {"page size a wrong power of two", WrongPowerOfTwo},
      {"page size not a power of two", NotAPowerOfTwo}, {"interior cycle", InteriorCycle},
      {"truncated", Truncate},
  };
  const fs::path dir = fs::temp_directory_path() / ("kestrun-bench-damage-" + std::to_string(seed));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::map<std::string, Tally> byKind;
  Tally all;
  std::mt19937 random(seed);
  for (const Config& c : configs) {
    const std::string healthyPath = (dir / ("healthy-" + std::to_string(c.pageSize) + c.encoding + ".db")).string();
    fixture::DbOptions options;
    options.pageSize = c.pageSize;
    options.encoding = c.encoding;
    options.autoVacuum = c.autoVacuum;
    fixture::BuildDatabase(healthyPath, options, Schema());
    const Bytes healthy = fixture::ReadFile(healthyPath);
    std::map<std::string, std::set<std::string>> truth;
    for (const char* t : kTables) {
      const auto rows = Rows(healthyPath, t);
      truth[t] = std::set<std::string>(rows.begin(), rows.end());
    }
    for (const Damage& d : damages) {
      const std::string path = (dir / "damaged.db").string();
      fs::copy_file(healthyPath, path, fs::copy_options::overwrite_existing);
      if (!d.apply(path, healthy, c, random)) continue;
      const Bytes damaged = fixture::ReadFile(path);

      const std::string output = bench::RepairAndSave(path, dir / "out", false);

      Tally& tally = byKind[d.kind];
      ++tally.cases;
      for (const char* t : kTables) {
        const std::set<int64_t> reachable = ReachableRowids(healthyPath, healthy, damaged, t, c.pageSize);
        std::set<int64_t> recovered;
        const std::vector<std::string> rows = output.empty() ? std::vector<std::string>{}
                                                                       : Rows(output, t);
        tally.output += rows.size();
        for (const std::string& row : rows) {
          if (!truth[t].count(row)) {
            ++tally.wrong;
            continue;
          }
          recovered.insert(std::stoll(row.substr(0, row.find('|'))));
        }
        tally.reachable += reachable.size();
        for (int64_t rowid : reachable) tally.recovered += recovered.count(rowid);
      }
    }
  }
  std::printf("%-32s %5s %9s %9s %8s %9s %8s\n", "damage", "cases", "reachable", "recovered", "share", "wrong", "of out");
  for (const auto& [kind, t] : byKind) {
    std::printf("%-32s %5d %9llu %9llu %7.2f%% %9llu %7.2f%%\n", kind.c_str(), t.cases,
                static_cast<unsigned long long>(t.reachable), static_cast<unsigned long long>(t.recovered),
                t.reachable ? 100.0 * t.recovered / t.reachable : 100.0, static_cast<unsigned long long>(t.wrong),
                t.output ? 100.0 * t.wrong / t.output : 0.0);
    all.reachable += t.reachable;
    all.recovered += t.recovered;
    all.output += t.output;
    all.wrong += t.wrong;
    all.cases += t.cases;
  }
  std::printf("%-32s %5d %9llu %9llu %7.2f%% %9llu %7.2f%%\n", "all", all.cases,
              static_cast<unsigned long long>(all.reachable), static_cast<unsigned long long>(all.recovered),
              all.reachable ? 100.0 * all.recovered / all.reachable : 100.0, static_cast<unsigned long long>(all.wrong),
              all.output ? 100.0 * all.wrong / all.output : 0.0);
  fs::remove_all(dir);
  return 0;
}
