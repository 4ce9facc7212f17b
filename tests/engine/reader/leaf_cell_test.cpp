// Reading table leaf cells whose overflow chains are shared or loop: with claims, a
// page belongs to the first chain that reaches it; without, each cell walks alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/format.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/page_reader.h"
#include "platform/random_access_file.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::TempDir;

constexpr uint32_t kPage = 1024;
constexpr uint32_t kPerPage = kPage - engine::format::kOverflowPointerSize;

// Rows 1 to 6 of t(id, body) on one root leaf: row 1's text takes 7 overflow pages,
// rows 2 to 5 take 3 each, row 6 none. Each overflowing cell keeps 103 bytes local.
std::string BuildTable(const TempDir& dir) {
  std::string path = dir.File("chains.db");
  fixture::DbOptions options;
  options.pageSize = kPage;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT);"
                         "INSERT INTO t VALUES(1, hex(randomblob(3560)));"
                         "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 5)"
                         " INSERT INTO t SELECT i, hex(randomblob(1520)) FROM n;"
                         "INSERT INTO t VALUES(6, 'short');");
  return path;
}

uint32_t RootOf(const std::string& path) {
  return static_cast<uint32_t>(
      std::stoul(fixture::Query(path, "SELECT rootpage FROM sqlite_schema WHERE name='t'")[0][0]));
}

// Where each row's cell stores its first overflow page number, read from the file.
std::map<int64_t, int64_t> PointerOffsets(const std::string& path, uint32_t root) {
  const std::vector<uint8_t> file = fixture::ReadFile(path);
  const int64_t pageStart = static_cast<int64_t>(root - 1) * kPage;
  const uint8_t* page = file.data() + pageStart;
  const uint8_t* end = page + kPage;
  std::map<int64_t, int64_t> out;
  const uint32_t cells = engine::ReadBigEndian16(page + 3, end);
  for (uint32_t i = 0; i < cells; ++i) {
    const uint8_t* p = page + engine::ReadBigEndian16(page + 8 + 2 * i, end);
    int64_t payload = 0, rowid = 0;
    p = engine::ReadVarint64(p, end, &payload);
    p = engine::ReadVarint64(p, end, &rowid);
    const int64_t local = engine::format::TableLeafLocalPayload(payload, kPage);
    if (local < payload) out[rowid] = pageStart + (p - page) + local;
  }
  return out;
}

// The pages of the chain that starts at `first`, from their next-page numbers.
std::vector<uint32_t> Chain(const std::string& path, uint32_t first) {
  std::vector<uint32_t> out;
  for (uint32_t p = first; p != 0 && out.size() < 100;
       p = static_cast<uint32_t>(fixture::GetBigEndian(path, int64_t{p - 1} * kPage, 4))) {
    out.push_back(p);
  }
  return out;
}

// Every cell of the root leaf, in cell order, read with `claims` (or without).
std::map<int64_t, engine::LeafCell> ReadAll(const std::string& path, uint32_t root, bool withClaims) {
  std::string error;
  auto file = platform::RandomAccessFile::Open(path, &error);
  EXPECT_TRUE(file) << error;
  engine::PageReader pages(file.get(), kPage);
  engine::OverflowClaims claims(pages);
  std::vector<uint8_t> page;
  pages.ReadPage(root, page);
  const engine::BtreePageHeader header = engine::ParseBtreeHeader(page.data(), kPage, root);
  std::map<int64_t, engine::LeafCell> out;
  for (uint32_t i = 0; i < header.cellCount; ++i) {
    engine::LeafCell cell;
    EXPECT_TRUE(engine::ReadTableLeafCell(pages, page.data(), kPage,
                                          engine::CellOffset(page.data(), kPage, header, i), &cell,
                                          withClaims ? &claims : nullptr));
    out[cell.rowid] = cell;
  }
  return out;
}

std::string Text(const engine::LeafCell& cell) {
  return std::string(cell.payload.begin() + cell.payload[0], cell.payload.end());
}

TEST(LeafCellTest, CellsSharingAChainAreCutWhereTheEarlierCellsChainWent) {
  TempDir dir;
  const std::string path = BuildTable(dir);
  const uint32_t root = RootOf(path);
  const auto pointers = PointerOffsets(path, root);
  ASSERT_EQ(pointers.size(), 5u);
  const auto intact = ReadAll(path, root, false);
  const uint32_t shared = static_cast<uint32_t>(fixture::GetBigEndian(path, pointers.at(1), 4));
  ASSERT_EQ(Chain(path, shared).size(), 7u);
  std::map<int64_t, std::string> texts;
  for (const auto& row : fixture::Query(path, "SELECT id, body FROM t")) texts[std::stoll(row[0])] = row[1];
  // Rows 2 to 4 now point at row 1's chain; row 5 keeps its own.
  for (int64_t row = 2; row <= 4; ++row) fixture::PutBigEndian(path, pointers.at(row), shared, 4);

  {
    SCOPED_TRACE("with claims");
    const auto cells = ReadAll(path, root, true);
    size_t overflowBytes = 0;
    for (const auto& [rowid, cell] : cells) {
      SCOPED_TRACE(rowid);
      overflowBytes += cell.payload.size() - cell.localSize;
      const bool cut = rowid >= 2 && rowid <= 4;
      EXPECT_EQ(cell.complete, !cut);
      if (cut) {
        // Only the part in the cell, its own bytes.
        EXPECT_EQ(cell.payload.size(), cell.localSize);
        EXPECT_EQ(cell.payload, std::vector<uint8_t>(intact.at(rowid).payload.begin(),
                                                     intact.at(rowid).payload.begin() + cell.localSize));
      } else {
        EXPECT_EQ(Text(cell), texts.at(rowid));
      }
    }
    // Row 1's 7 pages and row 5's 3, each read once.
    const size_t expected = intact.at(1).payload.size() - intact.at(1).localSize +
                            intact.at(5).payload.size() - intact.at(5).localSize;
    EXPECT_EQ(overflowBytes, expected);
    EXPECT_EQ((overflowBytes + kPerPage - 1) / kPerPage, 10u);
  }
  {
    SCOPED_TRACE("without claims");
    const auto cells = ReadAll(path, root, false);
    const std::vector<uint8_t>& owner = cells.at(1).payload;
    EXPECT_EQ(Text(cells.at(1)), texts.at(1));
    for (int64_t rowid = 2; rowid <= 4; ++rowid) {
      SCOPED_TRACE(rowid);
      // Each reads as much of row 1's chain as its own size asks for, and looks whole.
      const engine::LeafCell& cell = cells.at(rowid);
      EXPECT_TRUE(cell.complete);
      ASSERT_EQ(cell.payload.size(), intact.at(rowid).payload.size());
      const size_t local = cell.localSize;
      EXPECT_TRUE(std::equal(cell.payload.begin() + local, cell.payload.end(),
                             owner.begin() + cells.at(1).localSize));
    }
  }
}

TEST(LeafCellTest, AChainThatLoopsEnds) {
  TempDir dir;
  const std::string original = BuildTable(dir);
  const uint32_t root = RootOf(original);
  const auto pointers = PointerOffsets(original, root);
  const std::vector<uint32_t> chain =
      Chain(original, static_cast<uint32_t>(fixture::GetBigEndian(original, pointers.at(1), 4)));
  ASSERT_EQ(chain.size(), 7u);
  const auto texts = fixture::Query(original, "SELECT body FROM t WHERE id = 1");
  struct Case {
    const char* name;
    size_t from;  // the page of the chain whose next page number is patched
    size_t to;    // the page of the chain it then names
  } cases[] = {
      {"third page names the first", 2, 0},
      {"third page names itself", 2, 2},
      {"sixth page names the second", 5, 1},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File(std::string(c.name) + ".db");
    std::filesystem::copy_file(original, path);
    fixture::PutBigEndian(path, int64_t{chain[c.from] - 1} * kPage, chain[c.to], 4);
    for (bool withClaims : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (withClaims ? ", with claims" : ", without claims"));
      const auto cells = ReadAll(path, root, withClaims);
      const engine::LeafCell& cell = cells.at(1);
      EXPECT_FALSE(cell.complete);
      // Every page of the chain up to the patched one, once.
      const size_t pagesRead = c.from + 1;
      EXPECT_EQ(cell.payload.size(), cell.localSize + pagesRead * kPerPage);
      EXPECT_EQ(Text(cell), texts[0][0].substr(0, cell.payload.size() - cell.payload[0]));
      for (int64_t rowid = 2; rowid <= 6; ++rowid) EXPECT_TRUE(cells.at(rowid).complete) << rowid;
    }
  }
}

TEST(LeafCellTest, ClaimsHoldEachPageOnceUntilCleared) {
  TempDir dir;
  const std::string path = dir.File("pages.db");
  fixture::BuildDatabase(path, fixture::DbOptions{.pageSize = kPage},
                         "CREATE TABLE pad(b); INSERT INTO pad VALUES(zeroblob(100000));");
  std::string error;
  auto file = platform::RandomAccessFile::Open(path, &error);
  ASSERT_TRUE(file) << error;
  engine::PageReader pages(file.get(), kPage);
  ASSERT_GE(pages.PageCount(), 65u);  // pages in more than one word of the bitmap
  engine::OverflowClaims claims(pages);
  const uint64_t last = pages.PageCount();
  for (uint64_t page : {uint64_t{1}, uint64_t{64}, uint64_t{65}, last}) {
    EXPECT_TRUE(claims.Claim(page)) << page;
    EXPECT_FALSE(claims.Claim(page)) << page;
  }
  EXPECT_TRUE(claims.Claim(2));
  EXPECT_FALSE(claims.Claim(0));         // names no page
  EXPECT_FALSE(claims.Claim(last + 1));  // past the end of the file
  claims.Clear();
  for (uint64_t page : {uint64_t{1}, uint64_t{2}, uint64_t{65}, last}) EXPECT_TRUE(claims.Claim(page)) << page;
}

}  // namespace
