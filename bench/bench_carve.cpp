// Measures how many deleted rows the carving brings back, and how many carved rows
// are not deleted rows at all. For each page size it builds a database of tables of
// 1 to 12 mixed columns (rowids up to 2^40, texts up to 3,000 bytes), deletes 20 to
// 40% of the rows (single deletes and runs) with secure_delete off, and compares the
// carved rows with the deleted rows whose value bytes still stand in the file.
// Not a test: run it by hand.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "engine/reader/btree_walks.h"
#include "engine/records/deleted_records.h"
#include "engine/records/record_carver.h"
#include "engine/sqlite_repair.h"
#include "tests/fixture/fixture_db.h"

namespace {

using engine::Value;

class NullPort : public job::FrontEndPort {
 public:
  job::DialogAnswer ShowModal(job::Dialog) override { return job::DialogAnswer::Yes; }
};

struct Row {
  int64_t rowid = 0;
  std::vector<Value> values;
};

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  Value v;
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return Value::Integer(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
      v.kind = Value::Kind::Real;
      v.real = sqlite3_column_double(stmt, i);
      return v;
    case SQLITE_TEXT:
      v.kind = Value::Kind::Text;
      v.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)), sqlite3_column_bytes(stmt, i));
      return v;
    case SQLITE_BLOB:
      v.kind = Value::Kind::Blob;
      v.bytes.assign(static_cast<const char*>(sqlite3_column_blob(stmt, i)), sqlite3_column_bytes(stmt, i));
      return v;
    default:
      return v;
  }
}

bool SameValue(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Kind::Integer: return a.integer == b.integer;
    case Value::Kind::Real: return a.real == b.real;
    case Value::Kind::Text:
    case Value::Kind::Blob: return a.bytes == b.bytes;
    case Value::Kind::Null: return true;
  }
  return false;
}

// The bytes by which a deleted row can be recognised in the file: its longest text
// or blob value, or failing one of 8 bytes or more, the row is not counted.
std::string Fingerprint(const Row& row) {
  std::string best;
  for (const Value& v : row.values) {
    if ((v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob) && v.bytes.size() > best.size()) {
      best = v.bytes;
    }
  }
  return best.size() >= 8 ? best.substr(0, std::min<size_t>(best.size(), 200)) : std::string();
}

// A carved row stands for a deleted row when every value it knows is the deleted
// row's and it misses at most one of the deleted row's non-NULL values (the one
// whose serial type may have been overwritten).
bool Matches(const engine::CarvedRecord& carved, const Row& row, int alias) {
  int missing = 0;
  for (size_t i = 0; i < row.values.size(); ++i) {
    const Value& c = carved.values[i];
    if (static_cast<int>(i) == alias) {
      if (c.kind != Value::Kind::Null && !(c.kind == Value::Kind::Integer && c.integer == row.rowid)) return false;
      continue;
    }
    if (c.kind == Value::Kind::Null) {
      missing += row.values[i].kind != Value::Kind::Null;
      continue;
    }
    const Value& expected = row.values[i];
    // A REAL column's whole number comes back as a real either way.
    if (c.kind == Value::Kind::Real && expected.kind == Value::Kind::Integer &&
        c.real == static_cast<double>(expected.integer)) {
      continue;
    }
    if (!SameValue(c, expected)) return false;
  }
  return missing <= 1;
}

// Whether `carved` is `row` in part: an older version whose end a newer cell was
// written over keeps its values up to that cell, the last one perhaps cut short.
bool PartOf(const engine::CarvedRecord& carved, const Row& row, int alias) {
  for (size_t i = 0; i < row.values.size(); ++i) {
    const Value& c = carved.values[i];
    const Value& expected = row.values[i];
    if (static_cast<int>(i) == alias || c.kind == Value::Kind::Null || SameValue(c, expected)) continue;
    if (c.kind == Value::Kind::Real && expected.kind == Value::Kind::Integer &&
        c.real == static_cast<double>(expected.integer)) {
      continue;
    }
    const bool cut = (c.kind == Value::Kind::Text || c.kind == Value::Kind::Blob) && c.kind == expected.kind &&
                     expected.bytes.compare(0, c.bytes.size(), c.bytes) == 0;
    if (!cut) return false;
  }
  return true;
}

struct Counts {
  size_t deleted = 0, surviving = 0, recovered = 0, carved = 0, unmatched = 0, partial = 0;
  size_t inTree = 0, recoveredInTree = 0;  // surviving on the table's own leaf pages
};

Counts RunPageSize(uint32_t pageSize, const std::string& folder, std::mt19937_64& rng) {
  const std::string path = folder + "/carve-" + std::to_string(pageSize) + ".db";
  std::filesystem::remove(path);
  static const char* kTypes[] = {"TEXT", "INTEGER", "REAL", "BLOB", "TEXT", "NUMERIC"};
  std::string sql = "BEGIN;";
  struct TableSpec {
    std::string name;
    int columns;
    bool alias;
  };
  std::vector<TableSpec> tables;
  for (int columns : {1, 2, 3, 5, 8, 12}) {
    for (bool alias : {true, false}) {
      if (columns == 1 && alias) continue;
      TableSpec shape{"t" + std::to_string(columns) + (alias ? "k" : "r"), columns, alias};
      tables.push_back(shape);
      std::string create = "CREATE TABLE " + shape.name + "(";
      for (int c = 0; c < columns; ++c) {
        create += (c ? ", c" : "c") + std::to_string(c) + " " +
                  (c == 0 && alias ? std::string("INTEGER PRIMARY KEY") : kTypes[(c + columns) % 6]);
      }
      sql += create + ");";
    }
  }
  fixture::DbOptions options;
  options.pageSize = pageSize;
  fixture::BuildDatabase(path, options, sql + "COMMIT;");

  // Rows with random values, inserted through SQLite.
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA secure_delete=OFF; BEGIN", nullptr, nullptr, nullptr);
  auto randomText = [&](size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s += static_cast<char>('a' + rng() % 26);
    return s;
  };
  for (const TableSpec& t : tables) {
    std::string marks = "?";
    for (int c = 0; c < t.columns; ++c) marks += ",?";
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, ("INSERT INTO " + t.name + "(rowid" + [&] {
                              std::string names;
                              for (int c = 0; c < t.columns; ++c) names += ",c" + std::to_string(c);
                              return names;
                            }() + ") VALUES(" + marks + ")").c_str(),
                       -1, &insert, nullptr);
    int64_t rowid = 0;
    for (int r = 0; r < 600; ++r) {
      rowid += 1 + static_cast<int64_t>(rng() % (r % 3 == 0 ? (int64_t{1} << 30) : 200));
      sqlite3_bind_int64(insert, 1, rowid);
      for (int c = 0; c < t.columns; ++c) {
        const int index = c + 2;
        if (c == 0 && t.alias) {
          sqlite3_bind_int64(insert, index, rowid);
          continue;
        }
        switch (rng() % 6) {
          case 0: sqlite3_bind_null(insert, index); break;
          case 1: sqlite3_bind_int64(insert, index, static_cast<int64_t>(rng() % 1000000) - 500000); break;
          case 2: sqlite3_bind_double(insert, index, static_cast<double>(rng() % 100000) / 7.0); break;
          case 3: {
            std::string blob = randomText(8 + rng() % 60);
            sqlite3_bind_blob(insert, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
            break;
          }
          default: {
            const size_t length = rng() % 10 == 0 ? 200 + rng() % 2800 : 8 + rng() % 50;
            std::string text = randomText(length);
            sqlite3_bind_text(insert, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
          }
        }
      }
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);

  // Every row before the deletes, then 20 to 40% deleted: single rows and runs.
  std::vector<std::vector<Row>> before(tables.size());
  for (size_t t = 0; t < tables.size(); ++t) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, ("SELECT rowid, * FROM " + tables[t].name).c_str(), -1, &select, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
      Row row;
      row.rowid = sqlite3_column_int64(select, 0);
      for (int c = 0; c < tables[t].columns; ++c) row.values.push_back(ColumnValue(select, c + 1));
      before[t].push_back(row);
    }
    sqlite3_finalize(select);
    const double share = 0.2 + static_cast<double>(rng() % 21) / 100.0;
    const size_t toDelete = static_cast<size_t>(before[t].size() * share);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    size_t deleted = 0;
    while (deleted < toDelete) {
      const size_t at = rng() % before[t].size();
      const size_t run = rng() % 3 == 0 ? 1 + rng() % 8 : 1;
      for (size_t k = at; k < std::min(at + run, before[t].size()) && deleted < toDelete; ++k) {
        const std::string del = "DELETE FROM " + tables[t].name + " WHERE rowid = " +
                                std::to_string(before[t][k].rowid);
        sqlite3_exec(db, del.c_str(), nullptr, nullptr, nullptr);
        deleted += sqlite3_changes(db);
      }
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  // The deleted rows: those SQLite no longer has.
  std::vector<std::vector<Row>> gone(tables.size());
  for (size_t t = 0; t < tables.size(); ++t) {
    for (const Row& row : before[t]) {
      sqlite3_stmt* exists = nullptr;
      sqlite3_prepare_v2(db, ("SELECT 1 FROM " + tables[t].name + " WHERE rowid = ?").c_str(), -1, &exists, nullptr);
      sqlite3_bind_int64(exists, 1, row.rowid);
      if (sqlite3_step(exists) != SQLITE_ROW) gone[t].push_back(row);
      sqlite3_finalize(exists);
    }
  }
  sqlite3_close(db);

  const auto file = fixture::ReadFile(path);
  const std::string bytes(file.begin(), file.end());
  job::RepairState state;
  NullPort port;
  CSqliteRepair engine(state, port);
  state.databasePath = path;
  engine.OpenDatabaseFile();
  engine.ScanTables();
  state.schemaMarker = job::kSchemaMarkerFilled;
  const engine::Database& opened = engine.OpenedDatabase();
  const engine::Schema& schema = engine.RecoveredSchema();
  engine::Work work(port, state.stopRequested);

  Counts counts;
  for (size_t t = 0; t < tables.size(); ++t) {
    const int alias = tables[t].alias ? 0 : -1;
    // The table's leaf pages: a surviving row elsewhere lies on a page SQLite freed
    // (a leaf emptied or merged away by rebalancing), which the table's tree no
    // longer reaches.
    std::set<int64_t> leaves;
    for (const auto& entry : schema.tableList) {
      if (entry.name == tables[t].name) {
        for (uint64_t leaf : engine::CollectTableLeaves(opened, entry.rootPage, nullptr)) {
          leaves.insert(static_cast<int64_t>((leaf - 1) * pageSize));
        }
      }
    }
    std::vector<const Row*> surviving;
    std::vector<bool> inTree;
    for (const Row& row : gone[t]) {
      ++counts.deleted;
      const std::string print = Fingerprint(row);
      const size_t at = print.empty() ? std::string::npos : bytes.find(print);
      if (at != std::string::npos) {
        surviving.push_back(&row);
        inTree.push_back(leaves.count(static_cast<int64_t>(at / pageSize * pageSize)) > 0);
        counts.inTree += inTree.back();
      }
    }
    counts.surviving += surviving.size();
    std::vector<engine::CarvedRecord> carved;
    for (const auto& entry : schema.tableList) {
      if (entry.name == tables[t].name + "(deleted)") {
        engine::CallbackSink sink([&](std::vector<engine::RecordValue>& values, bool rowidKnown, int64_t rowid) {
          engine::CarvedRecord r;
          for (auto& v : values) r.values.push_back(v.value);
          r.rowidKnown = rowidKnown;
          r.rowid = rowid;
          carved.push_back(std::move(r));
        });
        engine::CarveDeletedRecords(opened, schema, entry, work, false, sink);
      }
    }
    counts.carved += carved.size();
    const size_t unmatchedBefore = counts.unmatched, recoveredBefore = counts.recovered;
    std::vector<bool> used(surviving.size(), false);
    for (const auto& record : carved) {
      bool any = false;
      for (const Row& row : gone[t]) any = any || Matches(record, row, alias);
      bool part = false;
      for (const Row& row : gone[t]) part = part || (!any && PartOf(record, row, alias));
      if (part) ++counts.partial;
      if (!any && !part) {
        ++counts.unmatched;
        if (getenv("CARVE_DEBUG") && std::string(getenv("CARVE_DEBUG")) == tables[t].name) {
          std::printf("unmatched in %s:", tables[t].name.c_str());
          for (const auto& v : record.values) std::printf(" [%s]", engine::PlainText(v).substr(0, 30).c_str());
          // Where the values came from: a row of some table, deleted or live.
          for (const auto& v : record.values) {
            if (v.kind != Value::Kind::Text || v.bytes.size() < 8) continue;
            for (size_t u = 0; u < tables.size(); ++u) {
              for (const Row& row : before[u]) {
                for (const Value& w : row.values) {
                  if (w.kind == Value::Kind::Text && w.bytes.find(v.bytes.substr(0, 8)) != std::string::npos) {
                    bool dead = false;
                    for (const Row& g : gone[u]) dead = dead || g.rowid == row.rowid;
                    std::printf("    from %s rowid %lld %s:", tables[u].name.c_str(), static_cast<long long>(row.rowid),
                                dead ? "deleted" : "live");
                    for (const auto& x : row.values) std::printf(" [%s]", engine::PlainText(x).substr(0, 30).c_str());
                    std::printf("\n");
                  }
                }
              }
            }
            break;
          }
          std::printf("\n");
        }
      }
      for (size_t i = 0; i < surviving.size(); ++i) {
        if (!used[i] && Matches(record, *surviving[i], alias)) {
          used[i] = true;
          ++counts.recovered;
          counts.recoveredInTree += inTree[i];
          break;
        }
      }
    }
    if (getenv("CARVE_MISSED") && std::string(getenv("CARVE_MISSED")) == tables[t].name) {
      for (size_t i = 0; i < surviving.size(); ++i) {
        if (used[i]) continue;
        std::printf("missed rowid %lld:", static_cast<long long>(surviving[i]->rowid));
        for (const auto& v : surviving[i]->values) std::printf(" [%s]", engine::PlainText(v).substr(0, 20).c_str());
        std::printf("\n");
      }
    }
    if (getenv("CARVE_PLACES")) {
      // Where the missed rows lie: which kind of page, and where on it.
      std::vector<uint64_t> trunks;
      const std::vector<uint64_t> freedLeaves = engine::FreedTableLeaves(opened, nullptr, &trunks);
      for (size_t i = 0; i < surviving.size(); ++i) {
        if (used[i]) continue;
        const size_t at = bytes.find(Fingerprint(*surviving[i]));
        const uint64_t number = at / pageSize + 1;
        const uint32_t within = static_cast<uint32_t>(at % pageSize);
        const uint8_t* page = reinterpret_cast<const uint8_t*>(bytes.data()) + (number - 1) * pageSize;
        const uint32_t hdr = number == 1 ? 100 : 0;
        std::string place;
        if (leaves.count(static_cast<int64_t>((number - 1) * pageSize))) {
          const uint32_t cells = page[hdr + 3] << 8 | page[hdr + 4];
          const uint32_t content = page[hdr + 5] << 8 | page[hdr + 6];
          place = within < content ? "tree leaf, gap" : "tree leaf, content";
          if (within >= content) {
            for (uint32_t fb = page[hdr + 1] << 8 | page[hdr + 2]; fb != 0 && fb < pageSize;) {
              const uint32_t size = page[fb + 2] << 8 | page[fb + 3];
              if (within >= fb && within < fb + size) place = "tree leaf, freeblock";
              const uint32_t next = page[fb] << 8 | page[fb + 1];
              if (next <= fb) break;
              fb = next;
            }
          }
          (void)cells;
        } else if (std::find(trunks.begin(), trunks.end(), number) != trunks.end()) {
          place = "freelist trunk";
        } else if (std::find(freedLeaves.begin(), freedLeaves.end(), number) != freedLeaves.end()) {
          place = "freed table leaf";
        } else {
          place = "other page type " + std::to_string(page[hdr]);
        }
        std::printf("missed %s: %s\n", tables[t].name.c_str(), place.c_str());
        if (getenv("CARVE_WHERE")) std::printf("  where: page %llu offset %u rowid %lld\n", static_cast<unsigned long long>(number), within, static_cast<long long>(surviving[i]->rowid));
      }
    }
    if (getenv("CARVE_DEBUG")) {
      std::printf("  %s: deleted %zu surviving %zu carved %zu recovered %zu wrong %zu\n",
                  tables[t].name.c_str(), gone[t].size(), surviving.size(), carved.size(),
                  counts.recovered - recoveredBefore, counts.unmatched - unmatchedBefore);
    }
  }
  return counts;
}


}  // namespace

int main(int argc, char** argv) {
  const std::string folder = "build/bench/carve";
  std::filesystem::create_directories(folder);
  // Another seed (the first argument) builds other databases of the same kinds.
  const uint64_t seed = argc > 1 ? std::stoull(argv[1]) : 20261209;
  std::mt19937_64 rng(seed);
  std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
  std::printf("%-9s %8s %10s %10s %8s %14s %10s %8s %8s %10s\n", "page size", "deleted", "surviving",
              "recovered", "recall", "recall in tree", "carved", "partial", "wrong", "precision");
  for (uint32_t pageSize : {1024u, 4096u, 16384u, 65536u}) {
    Counts c = RunPageSize(pageSize, folder, rng);
    std::printf("%-9u %8zu %10zu %10zu %7.1f%% %7.1f%% of %4zu %10zu %8zu %8zu %9.1f%%\n", pageSize, c.deleted,
                c.surviving, c.recovered, 100.0 * c.recovered / std::max<size_t>(1, c.surviving),
                100.0 * c.recoveredInTree / std::max<size_t>(1, c.inTree), c.inTree, c.carved, c.partial, c.unmatched,
                100.0 * (c.carved - c.unmatched) / std::max<size_t>(1, c.carved));
  }
  return 0;
}
