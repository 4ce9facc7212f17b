// Walks over a table's b-tree: leaf listing, the freed-space probe and freeblocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "engine/reader/btree_walks.h"
#include "engine/reader/coding.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::BtreePages;
using fixture::EngineHarness;
using fixture::TempDir;
using job::Notification;

constexpr uint32_t kPage = 512;

// The leaf walk with progress steps and the stop flag of the harness.
std::vector<uint64_t> Leaves(EngineHarness& h, uint32_t root) {
  engine::Work work(h.port, h.state.stopRequested);
  return engine::CollectTableLeaves(h.Db(), root, &work);
}

bool Probe(EngineHarness& h, uint32_t root) {
  engine::Work work(h.port, h.state.stopRequested);
  return engine::ProbeFreedSpace(h.Db(), root, work);
}

// A table "t" of three levels on 512-byte pages, and a one-page table "small".
std::string BuildTables(const TempDir& dir) {
  std::string path = dir.File("tables.db");
  fixture::DbOptions options;
  options.pageSize = kPage;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT);"
                         "CREATE TABLE small(x);"
                         "INSERT INTO small VALUES(1);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
                         " WHERE i < 3000) INSERT INTO t SELECT i, printf('%.80c', 'a') FROM n;");
  return path;
}

uint32_t RootOf(const std::string& path, const std::string& name) {
  return static_cast<uint32_t>(
      std::stoul(fixture::Query(path, "SELECT rootpage FROM sqlite_schema WHERE name='" + name +
                                          "'")[0][0]));
}

// Leaves depth first, right-most child's subtree before the cells', from dbstat.
std::vector<uint64_t> ExpectedLeafOrder(const std::string& path, const std::string& name) {
  std::map<std::string, std::vector<fixture::PageInfo>> children;
  std::map<std::string, fixture::PageInfo> byPath;
  for (const auto& p : BtreePages(path, name)) {
    if (p.type == "overflow") continue;
    byPath[p.path] = p;
    if (p.path != "/") children[p.path.substr(0, p.path.size() - 4)].push_back(p);
  }
  std::vector<uint64_t> out;
  std::function<void(const fixture::PageInfo&)> visit = [&](const fixture::PageInfo& node) {
    if (node.type == "leaf") {
      out.push_back(node.page);
      return;
    }
    std::vector<fixture::PageInfo> list = children[node.path];
    std::rotate(list.begin(), list.end() - 1, list.end());
    for (const auto& c : list) visit(c);
  };
  visit(byPath["/"]);
  return out;
}

std::vector<fixture::PageInfo> PagesOfType(const std::string& path, const std::string& type,
                                           size_t depth = 0) {
  std::vector<fixture::PageInfo> out;
  for (const auto& p : BtreePages(path, "t")) {
    if (p.type == type && (depth == 0 || p.path.size() == 1 + 4 * (depth - 1))) out.push_back(p);
  }
  return out;
}

TEST(BtreeWalksTest, LeavesOfAThreeLevelTreeComeDepthFirstRightMostFirst) {
  TempDir dir;
  std::string path = BuildTables(dir);
  ASSERT_FALSE(PagesOfType(path, "leaf", 3).empty()) << "fixture has three levels";
  const size_t interiorPages = PagesOfType(path, "internal").size();

  EngineHarness h;
  h.Open(path);
  EXPECT_EQ(Leaves(h, RootOf(path, "t")), ExpectedLeafOrder(path, "t"));
  // One step for the root, one for the right-most child of every interior page.
  EXPECT_EQ(h.port.Count(Notification::Progress, 2), static_cast<int>(1 + interiorPages));
}

TEST(BtreeWalksTest, RootLeafGivesOneLeafAndOneStep) {
  TempDir dir;
  std::string path = BuildTables(dir);
  EngineHarness h;
  h.Open(path);
  const int stepsBefore = h.port.Count(Notification::Progress, 2);
  EXPECT_EQ(Leaves(h, RootOf(path, "small")), std::vector<uint64_t>{RootOf(path, "small")});
  EXPECT_EQ(h.port.Count(Notification::Progress, 2) - stepsBefore, 1);
}

TEST(BtreeWalksTest, DamagedTreesEndWithEachLeafOnce) {
  TempDir dir;
  const std::string original = BuildTables(dir);
  const auto level2 = PagesOfType(original, "internal", 2);
  ASSERT_GE(level2.size(), 2u);
  const uint32_t a = level2[0].page, b = level2[1].page, root = RootOf(original, "t");
  struct Case {
    const char* name;
    std::function<void(const std::string&)> damage;
  } cases[] = {
      {"interior pages pointing at each other",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, kPage) + 8, b, 4);
         fixture::PutBigEndian(p, fixture::HeaderAt(b, kPage) + 8, a, 4);
       }},
      {"a child pointing back at the root and at page 1",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, kPage) + 8, root, 4);
         fixture::PutBigEndian(p, fixture::HeaderAt(b, kPage) + 8, 1, 4);
       }},
      {"huge cell count, garbage pointers",
       [&](const std::string& p) {
         fixture::PutBigEndian(p, fixture::HeaderAt(a, kPage) + 3, 0xFFFF, 2);
         fixture::PatchBytes(p, fixture::HeaderAt(b, kPage) + 12, std::vector<uint8_t>(30, 0xEE));
       }},
      {"zeroed interior page", [&](const std::string& p) { fixture::ZeroPage(p, a, kPage); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    std::filesystem::copy_file(original, path);
    c.damage(path);
    EngineHarness h;
    h.Open(path);
    const auto leaves = Leaves(h, root);
    EXPECT_FALSE(leaves.empty());
    EXPECT_EQ(std::set<uint64_t>(leaves.begin(), leaves.end()).size(), leaves.size());
    Probe(h, root);  // must end as well
  }
}

TEST(BtreeWalksTest, StopEndsTheLeafWalk) {
  TempDir dir;
  std::string path = BuildTables(dir);
  EngineHarness h;
  h.Open(path);
  h.port.onEvent = [&](const fixture::Event& e) {
    if (e.number == Notification::Progress && e.second == 2) h.state.stopRequested = 1;
  };
  EXPECT_LT(Leaves(h, RootOf(path, "t")).size(), ExpectedLeafOrder(path, "t").size());
}

TEST(BtreeWalksTest, ProbeFindsFreedSpaceOnlyInFirstFreeblockFields) {
  TempDir dir;
  const std::string original = BuildTables(dir);
  const auto deepLeaves = PagesOfType(original, "leaf", 3);
  ASSERT_GE(deepLeaves.size(), 3u);
  const uint32_t deep = deepLeaves[deepLeaves.size() / 2].page;
  struct Case {
    const char* name;
    std::function<void(const std::string&)> damage;
    bool expected;
  } cases[] = {
      {"no freed space", [](const std::string&) {}, 0},
      {"a freeblock on the deepest level",
       [&](const std::string& p) { fixture::PutBigEndian(p, fixture::HeaderAt(deep, kPage) + 1, 300, 2); },
       1},
      {"fragmented bytes only",
       [&](const std::string& p) {
         for (const auto& leaf : PagesOfType(original, "leaf")) {
           fixture::PatchBytes(p, fixture::HeaderAt(leaf.page, kPage) + 7, {3});
         }
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    std::filesystem::copy_file(original, path);
    c.damage(path);
    EngineHarness h;
    h.Open(path);
    EXPECT_EQ(Probe(h, RootOf(path, "t")), c.expected);
  }
}

TEST(BtreeWalksTest, ProbeSeesADeletedRow) {
  TempDir dir;
  std::string path = dir.File("deleted.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(a TEXT);"
                         "INSERT INTO t VALUES('first row, long enough to leave a freeblock');"
                         "INSERT INTO t VALUES('second row');"
                         "DELETE FROM t WHERE rowid = 1;");
  EngineHarness h;
  h.Open(path);
  EXPECT_TRUE(Probe(h, RootOf(path, "t")));
}

TEST(BtreeWalksTest, FreeblockChains) {
  TempDir dir;
  const std::string original = BuildTables(dir);
  const uint32_t leaf = PagesOfType(original, "leaf").front().page;
  const int64_t base = engine::PageOffset(leaf, kPage);  // where the test patches
  struct Link {
    uint16_t at, next;
  };
  struct Case {
    const char* name;
    uint16_t first;
    std::vector<Link> links;
    std::vector<uint32_t> expected;  // offsets within the page
  } cases[] = {
      {"single", 200, {{200, 0}}, {200}},
      {"ascending chain", 100, {{100, 150}, {150, 300}, {300, 0}}, {100, 150, 300}},
      {"chain back to its first freeblock", 100, {{100, 150}, {150, 100}}, {100, 150}},
      {"pointing at itself", 120, {{120, 120}}, {120}},
      {"next offset past the usable area", 100, {{100, 510}}, {100}},
      {"first offset inside the page header", 4, {}, {}},
      {"more than ten freeblocks", 20,
       {{20, 60}, {60, 100}, {100, 140}, {140, 180}, {180, 220}, {220, 260}, {260, 300},
        {300, 340}, {340, 380}, {380, 420}, {420, 460}, {460, 0}},
       {20, 60, 100, 140, 180, 220, 260, 300, 340, 380, 420, 460}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(std::string(c.name) + ".db");
    std::filesystem::copy_file(original, path);
    for (const Link& link : c.links) fixture::PutBigEndian(path, base + link.at, link.next, 2);
    EngineHarness h;
    h.Open(path);
    std::vector<uint8_t> page;
    ASSERT_TRUE(h.Db().pages.ReadPage(leaf, page));
    EXPECT_EQ(engine::CollectFreeblocks(h.Db(), page.data(), leaf, c.first), c.expected);
  }
}

}  // namespace
