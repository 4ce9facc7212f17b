// The preview benchmarks' database: one table of 1,000,000 rows of five mixed
// columns (integer key, integer, real, text, blob), built once.
#pragma once

#include <filesystem>
#include <iostream>
#include <string>

#include "tests/fixture/fixture_db.h"

namespace bench {

inline constexpr const char* kPreviewDatabase = "build/bench/bench-preview.db";

// Builds `path` when it does not exist yet.
inline void EnsurePreviewDatabase(const std::string& path) {
  if (std::filesystem::exists(path)) return;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::cerr << "building " << path << " (1,000,000 rows, once)...\n";
  fixture::BuildDatabase(
      path, fixture::DbOptions{},
      "CREATE TABLE t(id INTEGER PRIMARY KEY, n INTEGER, r REAL, s TEXT, b BLOB);"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 1000000)"
      " INSERT INTO t SELECT i, i * 37 % 100003, i / 7.0, printf('name %d', i),"
      " randomblob(8 + i % 24) FROM k;");
}

}  // namespace bench
