// Opening a damaged file: the header check, the page size and the master walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

#include "engine/reader/btree_walks.h"
#include "engine/reader/coding.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

using fixture::BtreePages;
using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;

// Enough tables with long CREATE texts on 512-byte pages to give the master table
// three levels: page 1, interior pages, leaves.
std::string ManyTablesSql(int count) {
  std::string sql = "BEGIN;";
  for (int i = 0; i < count; ++i) {
    sql += "CREATE TABLE table_number_" + std::to_string(i) +
           "(first_column_with_a_long_name INTEGER, second_column_with_a_long_name TEXT,"
           " third_column_with_a_long_name BLOB);";
  }
  return sql + "COMMIT;";
}

std::string ThreeLevelMaster(const TempDir& dir) {
  std::string path = dir.File("master3.db");
  fixture::DbOptions options;
  options.pageSize = 512;
  fixture::BuildDatabase(path, options, ManyTablesSql(400));
  return path;
}

// The master walk's order, computed from SQLite's own view of the tree: page 1's
// children right-most first, each one's subtree level by level, and within an
// interior page the right-most child before the cells.
std::vector<uint64_t> ExpectedMasterOrder(const std::string& path, [[maybe_unused]] uint32_t pageSize) {
  std::map<std::string, std::vector<fixture::PageInfo>> children;  // parent path -> by index
  std::map<std::string, fixture::PageInfo> byPath;
  for (const auto& p : BtreePages(path, "sqlite_schema")) {
    if (p.type == "overflow") continue;
    byPath[p.path] = p;
    if (p.path == "/") continue;
    std::string parent = p.path.substr(0, p.path.size() - 4);
    children[parent].push_back(p);  // dbstat orders by path, so by cell index
  }
  auto ordered = [&](const std::string& parent) {
    std::vector<fixture::PageInfo> list = children[parent];
    if (!list.empty()) std::rotate(list.begin(), list.end() - 1, list.end());  // right-most first
    return list;
  };
  std::vector<uint64_t> out;
  if (byPath["/"].type == "leaf") return {1};
  for (const auto& child : ordered("/")) {
    if (child.type == "leaf") {
      out.push_back(child.page);
      continue;
    }
    std::vector<fixture::PageInfo> queue{child};
    for (size_t q = 0; q < queue.size(); ++q) {
      for (const auto& c : ordered(queue[q].path)) {
        if (c.type == "leaf") out.push_back(c.page);
        else queue.push_back(c);
      }
    }
  }
  return out;
}

// The open failed and said so through openFailed; the job shows the message.
bool OpenFailed(const EngineHarness& h) {
  return h.state.openFailed == 1 && !h.Db().IsOpen() && h.Schema().tableList.empty();
}

TEST(OpenDatabaseTest, HeaderCheck) {
  TempDir dir;
  std::string valid = dir.File("valid.db");
  fixture::BuildDatabase(valid, {}, "CREATE TABLE t(a);");
  struct Case {
    const char* name;
    std::function<std::string()> make;  // returns the path to open
    bool accepted;
  };
  auto copyWith = [&](const char* name, std::function<void(const std::string&)> damage) {
    return [&, name, damage] {
      std::string path = dir.File(name);
      std::filesystem::copy_file(valid, path);
      damage(path);
      return path;
    };
  };
  const Case cases[] = {
      {"intact", copyWith("intact.db", [](const std::string&) {}), true},
      {"magic in other letter case",
       copyWith("case.db", [](const std::string& p) {
         fixture::PatchBytes(p, 0, {'s', 'q', 'l', 'I', 'T', 'E', ' ', 'F', 'o', 'r', 'M', 'A', 'T'});
       }),
       true},
      {"sixteenth byte not zero",
       copyWith("byte16.db", [](const std::string& p) { fixture::PatchBytes(p, 15, {'!'}); }),
       false},
      {"other magic text",
       copyWith("magic.db", [](const std::string& p) { fixture::PatchBytes(p, 7, {'X'}); }),
       false},
      {"read-only file",
       copyWith("readonly.db", [](const std::string& p) { chmod(p.c_str(), 0444); }), true},
      {"file of 15 bytes",
       [&] {
         std::string p = dir.File("short.db");
         const std::string magic = "SQLite format 3";
         fixture::WriteFile(p, std::vector<uint8_t>(magic.begin(), magic.end()));
         return p;
       },
       false},
      {"empty file",
       [&] {
         std::string p = dir.File("empty.db");
         fixture::WriteFile(p, {});
         return p;
       },
       false},
      {"missing file", [&] { return dir.File("missing.db"); }, false},
      {"a folder", [&] { return dir.path(); }, false},
      // A FIFO would block a plain open until a writer came: it must be refused at once.
      {"a FIFO",
       [&] {
         std::string p = dir.File("fifo.db");
         mkfifo(p.c_str(), 0644);
         return p;
       },
       false},
      {"a device", [&] { return std::string("/dev/zero"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineHarness h;
    h.Open(c.make());
    if (c.accepted) {
      EXPECT_EQ(h.state.openFailed, 0);
      EXPECT_EQ(h.Db().masterLeafPages, std::vector<uint64_t>{1});
    } else {
      EXPECT_TRUE(OpenFailed(h));
      EXPECT_TRUE(h.Db().masterLeafPages.empty());
    }
    EXPECT_EQ(h.port.Described().front(), "ShowRecordCount(0,0)");
  }
}

TEST(OpenDatabaseTest, FileIsNeverWritten) {
  TempDir dir;
  std::string path = ThreeLevelMaster(dir);
  auto before = fixture::ReadFile(path);
  auto modified = std::filesystem::last_write_time(path);
  EngineHarness h;
  h.Open(path);
  engine::Work work(h.port, h.state.stopRequested);
  engine::ProbeFreedSpace(h.Db(), 2, work);
  h.engine.ScanTables();
  h.engine.PreviewTable(h.Schema().tableList.front());
  EXPECT_EQ(fixture::ReadFile(path), before);
  EXPECT_EQ(std::filesystem::last_write_time(path), modified);
}

TEST(OpenDatabaseTest, PageSizeAsStoredOrInferred) {
  TempDir dir;
  struct Case {
    const char* name;
    uint32_t realSize;
    int tables;          // 1: page 1 is a leaf; many: page 1 is an interior page
    int64_t storedSize;  // -1 keeps the stored field
    uint32_t expected;   // 0: the open fails
    bool inferred;
    uint32_t replaced = 0;  // a stored power of two that does not fit the file
  } cases[] = {
      {"65536 stored as 1", 65536, 3, -1, 65536, false},
      {"1024 as stored", 1024, 3, -1, 1024, false},
      {"zero, leaf page 1", 1024, 3, 0, 1024, true},
      {"not a power of two, leaf page 1", 8192, 5, 3000, 8192, true},
      {"zero, interior page 1", 512, 400, 0, 512, true},
      {"too small, 65536-byte pages", 65536, 2, 256, 65536, true},
      {"a smaller power of two, leaf page 1", 4096, 3, 1024, 4096, false, 1024},
      {"a larger power of two, interior page 1", 1024, 400, 4096, 1024, false, 4096},
      {"65536-byte pages stored as 8192", 65536, 3, 8192, 65536, false, 8192},
      {"512-byte pages stored as 2048, leaf page 1", 512, 3, 2048, 512, false, 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    fixture::DbOptions options;
    options.pageSize = c.realSize;
    fixture::BuildDatabase(path, options, ManyTablesSql(c.tables));
    std::vector<uint64_t> expectedLeaves = ExpectedMasterOrder(path, c.realSize);
    if (c.storedSize >= 0) fixture::PutBigEndian(path, 16, static_cast<uint64_t>(c.storedSize), 2);
    EngineHarness h;
    h.Open(path);
    ASSERT_EQ(h.state.openFailed, 0);
    EXPECT_EQ(h.Db().pages.PageSize(), c.expected);
    EXPECT_EQ(h.Db().pageSizeInferred, c.inferred);
    EXPECT_EQ(h.engine.ReplacedPageSize(), c.replaced);
    EXPECT_EQ(h.Db().masterLeafPages, expectedLeaves);
  }
}

TEST(OpenDatabaseTest, AWrongPowerOfTwoIsReplacedAndLogged) {
  TempDir dir;
  const std::string path = dir.File("wrong.db");
  fixture::DbOptions options;
  options.pageSize = 2048;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)"
                         " INSERT INTO t SELECT i, printf('value %d', i) FROM n;");
  const auto rows = fixture::DumpTable(path, "t");
  fixture::PutBigEndian(path, 16, 512, 2);
  std::filesystem::create_directory(dir.File("out"));
  EngineHarness h;
  const std::string output = fixture::RepairAndSave(h, path, dir.File("out"));
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::DumpTable(output, "t"), rows);
  const auto lines = h.port.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "The page size in the header (512 bytes) does not fit the file; its pages were read as 2048 "
                      "bytes."),
            lines.end());
}

TEST(OpenDatabaseTest, UnusablePageSizeWithBrokenPageOneFails) {
  TempDir dir;
  std::string path = dir.File("broken.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE t(a);");
  fixture::PutBigEndian(path, 16, 1000, 2);
  fixture::PatchBytes(path, 100, {0x00});  // page 1's type byte
  EngineHarness h;
  h.Open(path);
  EXPECT_TRUE(OpenFailed(h));
}

TEST(OpenDatabaseTest, UsableSizeAndEncodingAreRecorded) {
  TempDir dir;
  std::string path = dir.File("utf16be.db");
  fixture::DbOptions options;
  options.reservedBytes = 32;
  options.encoding = "UTF-16be";
  fixture::BuildDatabase(path, options, "CREATE TABLE t(a);");
  EngineHarness h;
  h.Open(path);
  EXPECT_EQ(h.Db().usableSize, 4096u - 32u);
  EXPECT_EQ(h.Db().textEncoding, engine::format::TextEncoding::Utf16be);
}

TEST(OpenDatabaseTest, ThreeLevelMasterWalkOrderAndProgress) {
  TempDir dir;
  std::string path = ThreeLevelMaster(dir);
  std::vector<uint64_t> expected = ExpectedMasterOrder(path, 512);
  ASSERT_GT(expected.size(), 100u);
  const uint32_t cells = static_cast<uint32_t>(fixture::GetBigEndian(path, 103, 2));
  ASSERT_GE(cells, 1u);
  for (const auto& p : BtreePages(path, "sqlite_schema")) {
    ASSERT_NE(p.path.size(), 13u) << "the fixture must have exactly three levels";
  }

  EngineHarness h;
  h.Open(path);
  EXPECT_EQ(h.Db().masterLeafPages, expected);
  std::vector<std::string> progress;
  for (const auto& e : h.port.Events()) {
    if (!e.isDialog && e.number == Notification::Progress) progress.push_back(e.Describe());
  }
  std::vector<std::string> wanted{"Progress(" + std::to_string(cells * 6) + ",1)"};
  wanted.insert(wanted.end(), cells, "Progress(0,2)");
  wanted.push_back("Progress(0,3)");
  EXPECT_EQ(progress, wanted);
}

TEST(OpenDatabaseTest, PageOneAsLeafGivesOneLeafWithoutProgress) {
  TempDir dir;
  std::string path = dir.File("small.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE a(x); CREATE VIEW v AS SELECT 1;");
  EngineHarness h;
  h.Open(path);
  EXPECT_EQ(h.Db().masterLeafPages, std::vector<uint64_t>{1});
  EXPECT_EQ(h.port.Count(Notification::Progress, 1), 0);
}

TEST(OpenDatabaseTest, DamagedInteriorPagesAreWalkedSafely) {
  TempDir dir;
  const std::string original = ThreeLevelMaster(dir);
  auto level2 = [&](const std::string& path) {
    std::vector<uint32_t> pages;
    for (const auto& p : BtreePages(path, "sqlite_schema")) {
      if (p.path.size() == 5 && p.type == "internal") pages.push_back(p.page);
    }
    return pages;
  };
  ASSERT_GE(level2(original).size(), 2u);
  const uint32_t a = level2(original)[0], b = level2(original)[1];
  struct Case {
    const char* name;
    std::function<void(const std::string&)> damage;
    bool allLeavesStillFound = false;  // the damage hides no leaf
  } cases[] = {
      {"page 1 with 0 cells", [](const std::string& p) { fixture::PutBigEndian(p, 103, 0, 2); }},
      {"two interior pages pointing at each other",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, 512) + 8, b, 4);
         fixture::PutBigEndian(p, fixture::HeaderAt(b, 512) + 8, a, 4);
       }},
      {"interior page pointing at itself and at page 1",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, 512) + 8, a, 4);
         fixture::PutBigEndian(p, fixture::HeaderAt(b, 512) + 8, 1, 4);
       }},
      {"child numbers 0 and past the end",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, 512) + 8, 0, 4);
         fixture::PutBigEndian(p, fixture::HeaderAt(b, 512) + 8, 0x7FFFFFFF, 4);
       }},
      {"garbage cell pointers",
       [&](const std::string& p) {
         fixture::PatchBytes(p, fixture::HeaderAt(a, 512) + 12, std::vector<uint8_t>(40, 0xFF));
       }},
      // Stale bytes after the real pointers may name stray pages; the real ones stay.
      {"a huge cell count",
       [&](const std::string& p) { fixture::PutBigEndian(p, fixture::HeaderAt(b, 512) + 3, 0xFFFF, 2); },
       true},
      {"an overwritten interior page", [&](const std::string& p) { fixture::ZeroPage(p, a, 512); }},
  };
  const std::vector<uint64_t> all = ExpectedMasterOrder(original, 512);
  const std::set<uint64_t> allSet(all.begin(), all.end());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    std::filesystem::copy_file(original, path);
    c.damage(path);
    EngineHarness h;
    h.Open(path);
    const auto& leaves = h.Db().masterLeafPages;
    std::set<uint64_t> unique(leaves.begin(), leaves.end());
    EXPECT_EQ(unique.size(), leaves.size()) << "no leaf is listed twice";
    EXPECT_FALSE(leaves.empty());
    if (c.allLeavesStillFound) {
      for (uint64_t page : all) EXPECT_TRUE(unique.count(page)) << page;
    } else {
      for (uint64_t page : leaves) EXPECT_TRUE(allSet.count(page)) << page;
    }
    EXPECT_EQ(h.state.openFailed, 0);
  }
}

TEST(OpenDatabaseTest, PageOneWithZeroCellsExaminesOnlyTheRightMostChild) {
  TempDir dir;
  std::string path = ThreeLevelMaster(dir);
  fixture::PutBigEndian(path, 103, 0, 2);
  // SQLite itself now sees only the right-most child's subtree.
  std::vector<uint64_t> expected = ExpectedMasterOrder(path, 512);
  ASSERT_FALSE(expected.empty());
  EngineHarness h;
  h.Open(path);
  EXPECT_EQ(h.Db().masterLeafPages, expected);
  EXPECT_EQ(h.port.Count(Notification::Progress, 1), 0) << "no progress bar is started";
}

TEST(OpenDatabaseTest, StopDuringTheWalkKeepsWhatWasFound) {
  TempDir dir;
  std::string path = ThreeLevelMaster(dir);
  const size_t all = ExpectedMasterOrder(path, 512).size();
  EngineHarness h;
  h.port.onEvent = [&](const fixture::Event& e) {
    if (!e.isDialog && e.number == Notification::Progress && e.second == 2) {
      h.state.stopRequested = 1;
    }
  };
  h.Open(path);
  EXPECT_FALSE(h.Db().masterLeafPages.empty());
  EXPECT_LT(h.Db().masterLeafPages.size(), all);
  EXPECT_EQ(h.port.Count(Notification::Progress, 2), 1);
  EXPECT_EQ(h.port.Count(Notification::Progress, 3), 0) << "no finish after a stop";
}

}  // namespace
