// The save benchmarks' intact database: a table of 1,000,000 x `scale` rows of five
// mixed columns and one of 500,000 x `scale` key-value pairs (about 93 MB x
// `scale`), built once.
#pragma once

#include <filesystem>
#include <iostream>
#include <string>

#include "tests/fixture/fixture_db.h"

namespace bench {

inline std::string SaveDatabasePath(int scale) {
  return "build/bench/bench-save" + (scale == 1 ? std::string() : "-x" + std::to_string(scale)) + ".db";
}

// Builds the database of `scale` when it does not exist yet; returns its path.
inline std::string EnsureSaveDatabase(int scale) {
  const std::string path = SaveDatabasePath(scale);
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories("build/bench");
  std::cerr << "building " << path << " (about " << 93 * scale << " MB, once)...\n";
  const std::string rows = std::to_string(1000000 * scale);
  const std::string pairs = std::to_string(500000 * scale);
  fixture::BuildDatabase(
      path, fixture::DbOptions{},
      "CREATE TABLE big(id INTEGER PRIMARY KEY, n INTEGER, r REAL, s TEXT, b BLOB);"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " + rows + ")"
      " INSERT INTO big SELECT i, i * 37 % 100003, i / 7.0, printf('name number %d', i),"
      " randomblob(20 + i % 40) FROM k;"
      "CREATE TABLE pairs(k TEXT, v INTEGER);"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " + pairs + ")"
      " INSERT INTO pairs SELECT printf('key-%08d', i), i FROM k;");
  return path;
}

}  // namespace bench
