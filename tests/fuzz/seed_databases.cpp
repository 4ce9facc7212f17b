// Writes the fuzzer's seed databases into a folder: the fixture kit's kinds of file
// (page sizes, encodings, reserved bytes, auto-vacuum, overflow, deleted rows), and
// small files whose master tables hold CREATE texts that try to reach past the save.
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sqlite3.h>

#include "tests/fixture/fixture_db.h"
#include "tests/fuzz/repair_harness.h"

namespace {

// A database in WAL mode whose later transactions stay in the log, written as one
// input: the file, the marker, the log.
void WriteWalSeed(const std::string& folder, const std::string& schema) {
  const std::string path = folder + "/wal-work.db";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + path);
  const std::string sql = "PRAGMA page_size = 1024; PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;" +
                          schema + "; PRAGMA wal_checkpoint(TRUNCATE);"
                          "INSERT INTO t(a) VALUES('in the log'); UPDATE t SET a = 'changed' WHERE id = 1;"
                          "DELETE FROM w WHERE y = 2;";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
  std::vector<uint8_t> seed = fixture::ReadFile(path);
  const std::string marker = fuzz::kWalMarker;
  seed.insert(seed.end(), marker.begin(), marker.end());
  const std::vector<uint8_t> wal = fixture::ReadFile(path + "-wal");
  seed.insert(seed.end(), wal.begin(), wal.end());
  sqlite3_close(db);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  fixture::WriteFile(folder + "/wal.seed", seed);
}

// A database whose last transaction deleted rows with secure delete on, and that
// transaction's journal as it stood before the commit, written as one input: the
// file, the marker, the journal.
void WriteJournalSeed(const std::string& folder, const std::string& schema) {
  const std::string path = folder + "/journal-work.db";
  for (const char* suffix : {"", "-journal"}) std::remove((path + suffix).c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + path);
  const std::string sql = "PRAGMA page_size = 1024;" + schema +
                          "; PRAGMA secure_delete = ON; BEGIN; DELETE FROM t WHERE id % 2 = 0; DELETE FROM w WHERE y = 2;";
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
  const std::vector<uint8_t> journal = fixture::ReadFile(path + "-journal");
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  std::vector<uint8_t> seed = fixture::ReadFile(path);
  const std::string marker = fuzz::kJournalMarker;
  seed.insert(seed.end(), marker.begin(), marker.end());
  seed.insert(seed.end(), journal.begin(), journal.end());
  for (const char* suffix : {"", "-journal"}) std::remove((path + suffix).c_str());
  fixture::WriteFile(folder + "/journal.seed", seed);
}

// A small database whose master-table rows hold CREATE texts SQLite never stores
// itself. Each text is written over the row of an object made the normal way, so
// the row keeps that object's root page and its records.
struct CraftedSchema {
  const char* file;
  const char* build;  // the objects and their rows
  std::vector<std::pair<const char*, const char*>> texts;  // object name, stored CREATE text
  const char* patch = "";  // further changes to the master table's rows
};

// The texts run on the output connection when the save writes each object: what
// they ask for must stay out of the process, the file system and the report.
const std::vector<CraftedSchema>& CraftedSchemas() {
  static const std::vector<CraftedSchema> schemas = {
      // Points the "simple" tokenizer at an address of the file's choosing; the
      // full-text table created next calls through it.
      {"schema-fts3-tokenizer.db",
       "CREATE TABLE a(x); INSERT INTO a VALUES(x'4141414141414141');"
       "CREATE VIRTUAL TABLE b USING fts3(c, tokenize=simple); INSERT INTO b VALUES('one two'), ('three');",
       {{"a", "CREATE TABLE a AS SELECT fts3_tokenizer('simple', x'4141414141414141')"}}},
      // The same call in a default (records of fewer values than columns), a
      // stored generated column and a check, each evaluated as rows are inserted;
      // the full-text table's row names the root page of a table of texts, so the
      // copy writes rows through the virtual table as well.
      {"schema-fts3-tokenizer-columns.db",
       "CREATE TABLE d(x); INSERT INTO d VALUES(1), (2); ALTER TABLE d ADD COLUMN y;"
       "CREATE TABLE g(x, y); INSERT INTO g VALUES(1, 2);"
       "CREATE TABLE k(x); INSERT INTO k VALUES(1);"
       "CREATE VIRTUAL TABLE b USING fts3(c, tokenize=simple); INSERT INTO b VALUES('one two');"
       "CREATE TABLE words(c); INSERT INTO words VALUES('three four'), ('five');",
       {{"d", "CREATE TABLE d(x, y DEFAULT (fts3_tokenizer('simple', x'4141414141414141')))"},
        {"g", "CREATE TABLE g(x, y GENERATED ALWAYS AS (fts3_tokenizer('simple', x'4141414141414141')) STORED)"},
        {"k", "CREATE TABLE k(x CHECK (fts3_tokenizer('simple', x'4141414141414141') IS NOT NULL))"}},
       "UPDATE sqlite_schema SET rootpage = (SELECT rootpage FROM sqlite_schema WHERE name = 'words')"
       " WHERE name = 'b'"},
      // Rows without end, and rows of the text's own beside the recovered ones.
      {"schema-recursive.db", "CREATE TABLE a(x); INSERT INTO a VALUES(1), (2), (3);",
       {{"a", "CREATE TABLE a AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT x FROM c"}}},
      {"schema-as-select.db",
       "CREATE TABLE s(x, y); INSERT INTO s VALUES(1, 'one'), (2, 'two'), (3, 'three');"
       "CREATE VIEW v AS SELECT x FROM s;",
       {{"s", "CREATE TABLE s AS SELECT x, y FROM (SELECT 1 AS x, 'two' AS y UNION ALL SELECT 3, 'four')"},
        {"v", "CREATE VIEW v AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT x FROM c"}}},
      // Objects of the connection's temporary schema: they would vanish with it.
      {"schema-temp.db",
       "CREATE TABLE t(x); INSERT INTO t VALUES(1), (2), (3);"
       "CREATE TABLE u(x); INSERT INTO u VALUES(4); CREATE TABLE w(x); INSERT INTO w VALUES(5);"
       "CREATE VIEW v AS SELECT x FROM t; CREATE VIEW v2 AS SELECT x FROM t;"
       "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; END;",
       {{"t", "CREATE TABLE temp.t(x)"},
        {"u", "CREATE TEMP TABLE u(x)"},
        {"w", "CREATE TEMPORARY TABLE w(x)"},
        {"v", "CREATE VIEW temp.v AS SELECT x FROM t"},
        {"v2", "CREATE TEMP VIEW v2 AS SELECT 1"},
        {"tr", "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; END"}}},
      // Further statements behind a CREATE, and functions that reach files or
      // load code.
      {"schema-statements.db",
       "CREATE TABLE m(x); INSERT INTO m VALUES(1); CREATE TABLE n(x); INSERT INTO n VALUES(2);"
       "CREATE TABLE o(x); INSERT INTO o VALUES(3); CREATE TABLE p(x); INSERT INTO p VALUES(4);"
       "CREATE VIEW f AS SELECT 1; CREATE TRIGGER g AFTER INSERT ON m BEGIN SELECT 1; END;",
       {{"m", "CREATE TABLE m(x); ATTACH DATABASE 'attached.db' AS e; CREATE TABLE e.m(x)"},
        {"n", "CREATE TABLE n(x DEFAULT (load_extension('libkestrun_absent')))"},
        {"o", "CREATE TABLE o(x); VACUUM INTO 'vacuumed.db'"},
        {"p", "CREATE TABLE p(x); PRAGMA writable_schema = ON"},
        {"f", "CREATE VIEW f AS SELECT writefile('written.txt', readfile('input.db'))"},
        {"g", "CREATE TRIGGER g AFTER INSERT ON m BEGIN SELECT load_extension('libkestrun_absent'); END"}}},
      // Virtual tables of every module at hand, with rows in their shadow tables,
      // and texts naming modules that read the database itself or are absent.
      {"schema-virtual.db",
       "CREATE VIRTUAL TABLE f4 USING fts4(body); INSERT INTO f4 VALUES('alpha beta'), ('gamma');"
       "CREATE VIRTUAL TABLE f5 USING fts5(body); INSERT INTO f5 VALUES('delta epsilon');"
       "CREATE VIRTUAL TABLE r USING rtree(id, x0, x1); INSERT INTO r VALUES(1, 0, 10), (2, 5, 6);"
       "CREATE TABLE s(x); INSERT INTO s VALUES(1); CREATE TABLE q(x); INSERT INTO q VALUES(2);"
       "CREATE TABLE tk(x); INSERT INTO tk VALUES(3);",
       {{"s", "CREATE VIRTUAL TABLE s USING dbstat(main)"},
        {"q", "CREATE VIRTUAL TABLE q USING geopoly(a)"},
        {"tk", "CREATE VIRTUAL TABLE tk USING fts3tokenize(simple)"}}},
  };
  return schemas;
}

void WriteCraftedSchema(const std::string& folder, const CraftedSchema& crafted) {
  const std::string path = folder + "/" + crafted.file;
  std::remove(path.c_str());
  fixture::BuildDatabase(path, {1024, "UTF-8", 0, 0}, crafted.build);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  sqlite3_stmt* update = nullptr;
  // SQLite lets its own master table be written this way; it checks no text.
  if (sqlite3_exec(db, "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, "UPDATE sqlite_schema SET sql = ?2 WHERE name = ?1", -1, &update, nullptr) !=
          SQLITE_OK) {
    const std::string error = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(path + ": " + error);
  }
  for (const auto& [name, text] : crafted.texts) {
    sqlite3_bind_text(update, 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(update, 2, text, -1, SQLITE_STATIC);
    const bool written = sqlite3_step(update) == SQLITE_DONE && sqlite3_changes(db) == 1;
    sqlite3_reset(update);
    if (!written) {
      sqlite3_finalize(update);
      sqlite3_close(db);
      throw std::runtime_error(path + ": no master-table row of " + name);
    }
  }
  sqlite3_finalize(update);
  if (sqlite3_exec(db, crafted.patch, nullptr, nullptr, nullptr) != SQLITE_OK) {
    const std::string error = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(path + ": " + error);
  }
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: seed_databases FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  const std::string schema =
      "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b REAL, c BLOB, d);"
      "CREATE TABLE u(x TEXT, y INT, PRIMARY KEY(x, y)) ;"
      "CREATE TABLE w(z REAL, x TEXT, y INT, PRIMARY KEY(y, x)) WITHOUT ROWID;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60)"
      " INSERT INTO w SELECT i * 0.5, printf('key %d', i), i % 4 FROM n;"
      "DELETE FROM w WHERE y = 1;"
      "CREATE VIEW v AS SELECT a FROM t;"
      "CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO u VALUES(new.a, 1); END;"
      "INSERT INTO t VALUES(1, 'one', 1.5, x'00ff', NULL), (200, printf('%.700c', 'x'), 1e-300, zeroblob(40), 7),"
      " (70000, 'line\nbreak', -0.0, x'', 'quote\"s');"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40)"
      " INSERT INTO t(a) SELECT printf('row %d', i) FROM n;"
      "DELETE FROM t WHERE id % 3 = 0;";
  struct Seed {
    const char* name;
    fixture::DbOptions options;
  } seeds[] = {
      {"page512.db", {512, "UTF-8", 0, 0}},
      {"page1024-utf16le.db", {1024, "UTF-16le", 0, 0}},
      {"page2048-utf16be.db", {2048, "UTF-16be", 0, 0}},
      {"page4096-reserved.db", {4096, "UTF-8", 32, 0}},
      {"page1024-autovacuum.db", {1024, "UTF-8", 0, 1}},
      {"page65536.db", {65536, "UTF-8", 0, 0}},
  };
  try {
    for (const Seed& seed : seeds) {
      const std::string path = folder + "/" + seed.name;
      std::remove(path.c_str());
      fixture::BuildDatabase(path, seed.options, schema);
    }
    WriteWalSeed(folder, schema);
    WriteJournalSeed(folder, schema);
    for (const CraftedSchema& crafted : CraftedSchemas()) WriteCraftedSchema(folder, crafted);
  } catch (const std::exception& e) {
    std::cerr << "seed_databases: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
