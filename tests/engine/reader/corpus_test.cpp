// The reader on the real databases of the shared corpus: every file opens, and every
// rowid table's leaves are exactly the leaf pages SQLite itself reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/reader/coding.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  if (!fs::is_directory(KESTRUN_CORPUS_DIR)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(KESTRUN_CORPUS_DIR)) {
    if (entry.path().extension() == ".db") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(CorpusTest, EveryDatabaseOpensAndEveryTableTreeIsWalked) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << KESTRUN_CORPUS_DIR;
  fixture::TempDir dir;
  for (const std::string& original : files) {
    SCOPED_TRACE(original);
    // SQLite reads a copy: a query could touch the file (a hot journal, say).
    std::string copy = dir.File(fs::path(original).filename().string());
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    const uint32_t pageSize =
        static_cast<uint32_t>(std::stoul(fixture::Query(copy, "PRAGMA page_size")[0][0]));

    fixture::EngineHarness h;
    h.Open(original);
    ASSERT_EQ(h.state.openFailed, 0);
    EXPECT_EQ(h.state.pageSize, pageSize);
    EXPECT_FALSE(h.engine.masterLeafPages.empty());

    for (const auto& row : fixture::Query(
             copy, "SELECT name, rootpage FROM sqlite_schema WHERE type = 'table' AND rootpage > 0"
                   " AND sql NOT LIKE '%WITHOUT ROWID%'")) {
      SCOPED_TRACE(row[0]);
      std::set<int64_t> expected;
      for (const auto& p : fixture::BtreePages(copy, row[0])) {
        if (p.type == "leaf") expected.insert(engine::PageOffset(p.page, pageSize));
      }
      h.engine.tableLeafPages.clear();
      h.engine.CollectTableLeaves(std::stoll(row[1]));
      std::set<int64_t> got(h.engine.tableLeafPages.begin(), h.engine.tableLeafPages.end());
      EXPECT_EQ(got.size(), h.engine.tableLeafPages.size());
      EXPECT_EQ(got, expected);
      h.engine.ProbeFreedSpace(std::stoll(row[1]));
    }
  }
}

}  // namespace
