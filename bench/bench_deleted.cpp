// How many deleted rows come back, exactly and in the companion of their own
// table, from the places SQLite leaves them: rows deleted (freeblocks, gaps, freed
// pages), a dropped table, rows updated in place with shorter values, and, as
// damage of their own, freeblock chains and freelist trunks altered, and a
// rollback journal of a transaction that deleted rows with secure delete on. A
// deleted row is reachable when its record, but for the 4 bytes a freeblock header
// takes, and its overflow pages stand byte for byte somewhere in the file or in
// the journal. Not a test: run it by hand.
//
//   bench_deleted [SEED]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
using Row = std::vector<std::string>;  // each value as typeof:quote, the rowid's column left out

struct Config {
  uint32_t pageSize;
  const char* encoding;
  int autoVacuum;
};

// `gone` first, so that its master-table row is not the last one.
std::string Schema() {
  return "CREATE TABLE gone(k INTEGER PRIMARY KEY, label TEXT, amount REAL);"
         "CREATE TABLE a(id INTEGER PRIMARY KEY, name TEXT, qty INT, note BLOB);"
         "CREATE TABLE b(x TEXT, y REAL, z);"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
         " INSERT INTO a SELECT i * 3, printf('name %d', i), i % 100,"
         " CASE WHEN i % 50 = 0 THEN randomblob(3000) ELSE randomblob(20) END FROM n;"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
         " INSERT INTO b SELECT printf('text %d %.*c', i, i % 40, 'x'), i * 0.5, CASE WHEN i % 7 = 0 THEN NULL ELSE i END"
         " FROM n;"
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)"
         " INSERT INTO gone SELECT i, printf('label %d of the gone table', i), i * 1.25 FROM n;";
}

const char* const kTables[] = {"a", "b", "gone"};
constexpr const char* kDeletes =
    "DELETE FROM a WHERE id % 7 = 0; DELETE FROM b WHERE rowid % 5 = 0; DELETE FROM a WHERE id BETWEEN 4000 AND 5500;";

// The rows of `table` by rowid (else numbered): each value but the INTEGER PRIMARY
// KEY's, or but column `skip`'s.
std::map<int64_t, Row> Rows(const std::string& db, const std::string& table, bool withRowid = true,
                            const std::string& skip = "") {
  std::map<int64_t, Row> rows;
  std::vector<std::string> columns;
  try {
    for (const auto& c : fixture::Query(db, "SELECT name, pk, type FROM pragma_table_info('" + table + "')")) {
      if ((c[1] == "1" && c[2] == "INTEGER") || c[0] == skip) continue;
      columns.push_back(c[0]);
    }
    std::string select = withRowid ? "rowid" : "0";
    for (const std::string& c : columns) {
      select += ", typeof(\"" + c + "\") || ':' || CASE typeof(\"" + c + "\") WHEN 'real' THEN printf('%!.17g', \"" + c +
                "\") ELSE quote(\"" + c + "\") END";
    }
    int64_t serial = 0;
    for (const auto& row : fixture::Query(db, "SELECT " + select + " FROM \"" + table + "\"")) {
      rows[withRowid ? std::stoll(row[0]) : ++serial] = Row(row.begin() + 1, row.end());
    }
  } catch (const std::exception&) {
  }
  return rows;
}

uint32_t Be(const Bytes& file, uint64_t at, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | (at + i < file.size() ? file[at + i] : 0);
  return v;
}

bool Contains(const Bytes& haystack, const uint8_t* from, const uint8_t* to) {
  if (to <= from) return true;
  return std::search(haystack.begin(), haystack.end(), std::boyer_moore_horspool_searcher(from, to)) != haystack.end();
}

// The rowids of `table`'s rows in `before` whose record (but its first 4 cell
// bytes) and overflow pages stand in `after` or `journal`.
std::set<int64_t> Reachable(const std::string& beforePath, const Bytes& before, const Bytes& after, const Bytes& journal,
                            const std::string& table, uint32_t pageSize, const std::set<int64_t>& deleted) {
  std::set<int64_t> rowids;
  const uint32_t usable = pageSize;
  auto found = [&](const uint8_t* from, const uint8_t* to) { return Contains(after, from, to) || Contains(journal, from, to); };
  for (const auto& info : fixture::BtreePages(beforePath, table)) {
    if (info.type != "leaf") continue;
    const uint64_t base = static_cast<uint64_t>(info.page - 1) * pageSize;
    const uint8_t* page = before.data() + base;
    const uint32_t cells = Be(before, base + 3, 2);
    for (uint32_t i = 0; i < cells; ++i) {
      const uint32_t at = Be(before, base + 8 + 2 * i, 2);
      int64_t payload = 0, rowid = 0;
      const uint8_t* p = engine::ReadVarint64(page + at, page + usable, &payload);
      p = engine::ReadVarint64(p, page + usable, &rowid);
      if (!deleted.count(rowid)) continue;
      const int64_t local = engine::format::TableLeafLocalPayload(payload, usable);
      const bool overflow = local < payload;
      const uint64_t cellEnd = static_cast<uint64_t>(p - page) + local + (overflow ? 4 : 0);
      bool reachable = found(page + at + 4, page + cellEnd - (overflow ? 4 : 0));
      uint64_t next = overflow ? Be(before, base + cellEnd - 4, 4) : 0;
      for (int64_t left = payload - local; reachable && overflow && left > 0 && next != 0; left -= usable - 4) {
        const uint64_t o = (next - 1) * pageSize;
        const uint64_t take = std::min<uint64_t>(usable - 4, static_cast<uint64_t>(left));
        reachable = found(before.data() + o + 4, before.data() + o + 4 + take);
        next = Be(before, o, 4);
      }
      if (reachable) rowids.insert(rowid);
    }
  }
  return rowids;
}

struct Tally {
  uint64_t deleted = 0;
  uint64_t reachable = 0;
  uint64_t recovered = 0;  // reachable deleted rows back exactly in their table's companion
  uint64_t output = 0;     // rows the companions hold
  uint64_t wrong = 0;      // companion rows that are no deleted row of the table, not even in part
  uint64_t partial = 0;    // companion rows that are a deleted row in part (values not known, or cut)
  uint64_t liveLost = 0;   // live rows the output lacks
  int cases = 0;
};

struct Kind {
  const char* name;
  std::string sql;  // what runs on the healthy database
  // Then damages the file; `journal` makes the case keep a journal instead.
  std::function<void(const std::string& path, const Config& c, std::mt19937& random)> damage;
  bool journal = false;
};

std::vector<uint32_t> LeavesOf(const std::string& path, const std::string& table) {
  std::vector<uint32_t> pages;
  for (const auto& info : fixture::BtreePages(path, table)) {
    if (info.type == "leaf") pages.push_back(info.page);
  }
  return pages;
}

void AlterFreeblocks(const std::string& path, const Config& c, std::mt19937& random) {
  int which = 0;
  for (const char* table : {"a", "b"}) {
    for (uint32_t leaf : LeavesOf(path, table)) {
      const int64_t base = static_cast<int64_t>(leaf - 1) * c.pageSize;
      const uint64_t first = fixture::GetBigEndian(path, base + 1, 2);
      if (first == 0) continue;
      switch (which++ % 3) {
        case 0: fixture::PutBigEndian(path, base + 1, c.pageSize - 2 + random() % 2, 2); break;  // past the page
        case 1: fixture::PutBigEndian(path, base + first + 2, c.pageSize - first, 2); break;    // claims the rest
        case 2: fixture::PutBigEndian(path, base + first, random() % c.pageSize, 2); break;     // leads anywhere
      }
    }
  }
}

void AlterTrunk(const std::string& path, const Config& c, bool count) {
  const uint64_t trunk = fixture::GetBigEndian(path, 32, 4);
  if (trunk == 0) return;
  fixture::PutBigEndian(path, static_cast<int64_t>(trunk - 1) * c.pageSize + (count ? 4 : 0), count ? 10000 : 0, 4);
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
}

// Runs `sql` with secure delete on in one transaction and keeps a copy of its
// journal as it stood before the commit ("PATH.copy").
void DeleteKeepingJournal(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  Exec(db, "PRAGMA journal_mode = DELETE; PRAGMA secure_delete = ON; BEGIN;" + sql);
  fs::copy_file(path + "-journal", path + ".copy", fs::copy_options::overwrite_existing);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

// Puts the copy beside the database, made hot (its magic and record count written).
// SQLite would roll a hot journal back on the next open: the file is not opened
// through SQLite after this.
void PlaceHotJournal(const std::string& path, uint32_t pageSize) {
  fs::rename(path + ".copy", path + "-journal");
  const uint64_t sector = fixture::GetBigEndian(path + "-journal", 20, 4);
  fixture::PatchBytes(path + "-journal", 0, {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7});
  fixture::PutBigEndian(path + "-journal", 8, (fs::file_size(path + "-journal") - sector) / (pageSize + 8), 4);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned seed = argc > 1 ? static_cast<unsigned>(std::stoul(argv[1])) : 1;
  // DELETED_DEBUG=KIND prints that kind's counts per table and its wrong rows.
  const char* debug = std::getenv("DELETED_DEBUG");
  const Config configs[] = {{1024, "UTF-8", 0}, {1024, "UTF-16le", 1}, {4096, "UTF-8", 0}, {4096, "UTF-16be", 1}};
  const auto none = [](const std::string&, const Config&, std::mt19937&) {};
  const Kind kinds[] = {
      {"rows deleted", kDeletes, none},
      {"table dropped", "DROP TABLE gone;", none},
      {"rows updated shorter", "UPDATE b SET x = substr(x, 1, 6) WHERE rowid % 3 = 0; UPDATE a SET name = 'n' WHERE id % 11 = 0;",
       none},
      {"freeblock chains altered", kDeletes, AlterFreeblocks},
      {"trunk next pointer zeroed", "DELETE FROM a WHERE id BETWEEN 1500 AND 7500;",
       [](const std::string& p, const Config& c, std::mt19937&) { AlterTrunk(p, c, false); }},
      {"trunk leaf count 10000", "DELETE FROM a WHERE id BETWEEN 1500 AND 7500;",
       [](const std::string& p, const Config& c, std::mt19937&) { AlterTrunk(p, c, true); }},
      {"rollback journal", kDeletes, none, true},
  };
  const fs::path dir = fs::temp_directory_path() / ("kestrun-bench-deleted-" + std::to_string(seed));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::map<std::string, Tally> byKind;
  std::mt19937 random(seed);
  for (const Config& c : configs) {
    fixture::DbOptions options;
    options.pageSize = c.pageSize;
    options.encoding = c.encoding;
    options.autoVacuum = c.autoVacuum;
    const std::string healthy = (dir / "healthy.db").string();
    fs::remove(healthy);
    fixture::BuildDatabase(healthy, options, Schema());
    const Bytes before = fixture::ReadFile(healthy);
    std::map<std::string, std::map<int64_t, Row>> old;
    for (const char* t : kTables) old[t] = Rows(healthy, t);
    for (const Kind& k : kinds) {
      const std::string path = (dir / "deleted.db").string();
      fs::remove(path + "-journal");
      fs::copy_file(healthy, path, fs::copy_options::overwrite_existing);
      if (k.journal) DeleteKeepingJournal(path, k.sql);
      else fixture::BuildDatabase(path, options, k.sql);
      std::map<std::string, std::map<int64_t, Row>> now;
      for (const char* t : kTables) now[t] = Rows(path, t);
      if (k.journal) PlaceHotJournal(path, c.pageSize);
      k.damage(path, c, random);
      const Bytes after = fixture::ReadFile(path);
      const Bytes journal = fs::exists(path + "-journal") ? fixture::ReadFile(path + "-journal") : Bytes{};

      const std::string output = bench::RepairAndSave(path, dir / "out", true);

      Tally& tally = byKind[k.name];
      ++tally.cases;
      for (const char* t : kTables) {
        // The deleted rows: versions of the rows the change took away.
        std::set<int64_t> deletedRowids;
        std::multiset<Row> deleted;
        for (const auto& [rowid, row] : old[t]) {
          const auto still = now[t].find(rowid);
          if (still != now[t].end() && still->second == row) continue;
          deletedRowids.insert(rowid);
          deleted.insert(row);
        }
        tally.deleted += deleted.size();
        const std::set<int64_t> reachable = Reachable(healthy, before, after, journal, t, c.pageSize, deletedRowids);
        tally.reachable += reachable.size();
        if (debug && std::string(debug) == k.name) {
          std::printf("%s (%u %s): deleted %zu reachable %zu\n", t, c.pageSize, c.encoding, deleted.size(),
                      reachable.size());
        }
        std::multiset<Row> reachableRows;
        for (int64_t rowid : reachable) reachableRows.insert(old[t][rowid]);
        if (output.empty()) continue;
        // The live rows are all there.
        std::multiset<Row> liveOut;
        for (const auto& [rowid, row] : Rows(output, t)) liveOut.insert(row);
        for (const auto& [rowid, row] : now[t]) {
          const auto it = liveOut.find(row);
          if (it == liveOut.end()) ++tally.liveLost;
          else liveOut.erase(it);
        }
        const std::string alias = std::string(t) == "a" ? "id" : std::string(t) == "gone" ? "k" : "";
        for (const auto& [n, row] : Rows(output, std::string(t) + "_deleted", false, alias)) {
          ++tally.output;
          if (const auto it = reachableRows.find(row); it != reachableRows.end()) {
            ++tally.recovered;
            reachableRows.erase(it);
            continue;
          }
          if (deleted.count(row)) continue;
          // A row whose known values are a deleted row's is not wrong, only short: its
          // values not known are NULL, and a text or blob cut short is the start of
          // the deleted row's.
          auto start = [](const std::string& cut, const std::string& whole) {
            const bool quoted = cut.size() > 1 && cut.back() == '\'' &&
                                (cut.rfind("text:", 0) == 0 || cut.rfind("blob:", 0) == 0);
            return quoted && whole.compare(0, cut.size() - 1, cut, 0, cut.size() - 1) == 0;
          };
          const bool part = std::any_of(deleted.begin(), deleted.end(), [&](const Row& d) {
            if (d.size() != row.size()) return false;
            for (size_t i = 0; i < d.size(); ++i) {
              if (row[i] != "null:NULL" && row[i] != d[i] && !start(row[i], d[i])) return false;
            }
            return true;
          });
          if (part) ++tally.partial;
          else ++tally.wrong;
          if (!part && debug && std::string(debug) == k.name) {
            std::string text;
            for (const std::string& v : row) text += v + " ";
            std::printf("wrong in %s (%u %s): %s\n", t, c.pageSize, c.encoding, text.c_str());
          }
        }
        if (debug && std::string(debug) == k.name) {
          for (const Row& row : reachableRows) {
            std::string text;
            for (const std::string& v : row) text += v + " ";
            std::printf("missed in %s (%u %s): %s\n", t, c.pageSize, c.encoding, text.c_str());
          }
        }
      }
    }
  }
  std::printf("%-28s %5s %8s %9s %9s %8s %7s %7s %7s %9s\n", "kind", "cases", "deleted", "reachable", "recovered",
              "share", "partial", "wrong", "of out", "live lost");
  Tally all;
  auto line = [](const char* name, const Tally& t) {
    std::printf("%-28s %5d %8llu %9llu %9llu %7.2f%% %7llu %7llu %6.2f%% %9llu\n", name, t.cases,
                static_cast<unsigned long long>(t.deleted), static_cast<unsigned long long>(t.reachable),
                static_cast<unsigned long long>(t.recovered), t.reachable ? 100.0 * t.recovered / t.reachable : 100.0,
                static_cast<unsigned long long>(t.partial), static_cast<unsigned long long>(t.wrong), t.output ? 100.0 * t.wrong / t.output : 0.0,
                static_cast<unsigned long long>(t.liveLost));
  };
  for (const Kind& k : kinds) {
    const Tally& t = byKind[k.name];
    line(k.name, t);
    all.deleted += t.deleted;
    all.reachable += t.reachable;
    all.recovered += t.recovered;
    all.output += t.output;
    all.wrong += t.wrong;
    all.partial += t.partial;
    all.liveLost += t.liveLost;
    all.cases += t.cases;
  }
  line("all", all);
  fs::remove_all(dir);
  return 0;
}
