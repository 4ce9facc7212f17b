// Writes the fuzzer's seed databases into a folder: the fixture kit's kinds of file
// (page sizes, encodings, reserved bytes, auto-vacuum, overflow, deleted rows).
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

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
  } catch (const std::exception& e) {
    std::cerr << "seed_databases: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
