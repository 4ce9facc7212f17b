// Pages at and past the 4 GiB byte offset, and page numbers about 2^31, read from
// sparse files: a page's offset is computed in 64 bits and a child pointer is an
// unsigned page number, followed when the file holds its page and refused when not.
// The files are mostly holes: only the pages a case needs are written. The tests
// stay with the open, the scans, the tree walk and the preview; the page census
// reads the whole file and would take minutes here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <unistd.h>

#include "engine/reader/page_reader.h"
#include "platform/random_access_file.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/fixture_db.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

constexpr uint64_t kTwoGiB = uint64_t{1} << 31;
constexpr uint64_t kFourGiB = uint64_t{1} << 32;
constexpr uint64_t kPage2To31 = uint64_t{1} << 31;
constexpr uint64_t kLargestPageNumber = 0xFFFFFFFF;
constexpr int kHeaderPageCountOffset = 28;  // 4 bytes: the database size in pages

// The page that starts at byte `offset` (a multiple of the page size).
uint64_t PageAt(uint64_t offset, uint32_t pageSize) { return offset / pageSize + 1; }

// A file in the test's temporary folder that is holes but for the pages written.
class SparseFile {
 public:
  explicit SparseFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {
    if (fd_ < 0) throw std::runtime_error("cannot create " + path);
  }
  ~SparseFile() { ::close(fd_); }
  SparseFile(const SparseFile&) = delete;
  SparseFile& operator=(const SparseFile&) = delete;

  // Sets the file's size; false, with the system's reason, when the filesystem
  // holds no file that large.
  bool Resize(uint64_t size, std::string* why) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    *why = "the temporary filesystem refuses a sparse file of " + std::to_string(size) +
           " bytes: " + std::strerror(errno);
    return false;
  }

  void Write(uint64_t offset, const uint8_t* bytes, size_t length) {
    if (::pwrite(fd_, bytes, length, static_cast<off_t>(offset)) != static_cast<ssize_t>(length)) {
      throw std::runtime_error(std::string("pwrite failed: ") + std::strerror(errno));
    }
  }

 private:
  int fd_;
};

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void PutBe32(uint8_t* p, uint64_t value) {
  for (int i = 3; i >= 0; --i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

// A small database of table "t" (ids 1 to kRows, a text that names its row) and a
// one-row table "other", the pages of t's tree, and t's rows as SQLite reads them.
struct Source {
  uint32_t pageSize = 0;
  std::vector<uint8_t> bytes;
  uint32_t root = 0;
  std::vector<uint32_t> leaves;     // in dbstat's path order
  std::vector<uint32_t> interiors;  // below the root
  Rows rows;
};

constexpr int kRows = 2000;

// With `rootTo` set, the schema names that page as t's root (the tree itself stays
// where SQLite put it until a placement moves it there).
Source BuildSource(const TempDir& dir, uint32_t pageSize, uint64_t rootTo = 0) {
  Source s;
  s.pageSize = pageSize;
  const std::string path = dir.File("source-" + std::to_string(pageSize) + ".db");
  std::filesystem::remove(path);
  fixture::DbOptions options;
  options.pageSize = pageSize;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT);"
                         "CREATE TABLE other(x); INSERT INTO other VALUES('other row');"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                             std::to_string(kRows) +
                             ") INSERT INTO t SELECT i, printf('row %d %.40c', i, 'x') FROM n;");
  s.rows = fixture::Query(path, "SELECT id, body FROM t");
  for (const auto& p : fixture::BtreePages(path, "t")) {
    if (p.path == "/") s.root = p.page;
    else if (p.type == "leaf") s.leaves.push_back(p.page);
    else if (p.type == "internal") s.interiors.push_back(p.page);
  }
  if (rootTo != 0) {
    fixture::BuildDatabase(path, options,
                           "PRAGMA writable_schema=ON;"
                           "UPDATE sqlite_schema SET rootpage=" + std::to_string(rootTo) +
                               " WHERE name='t';");
  }
  s.bytes = fixture::ReadFile(path);
  return s;
}

// Writes the source's pages into a sparse file of `size` bytes at `path`, each at
// its own number unless `moves` sends it elsewhere (its old place then stays a
// hole, and a place past `size` is not written), with every child pointer of a
// table interior page that names a moved page changed to name its new place.
bool Place(const Source& s, const std::string& path, const std::map<uint64_t, uint64_t>& moves,
           uint64_t size, std::string* why) {
  SparseFile file(path);
  if (!file.Resize(size, why)) return false;
  const uint32_t ps = s.pageSize;
  auto target = [&](uint64_t page) {
    auto it = moves.find(page);
    return it == moves.end() ? page : it->second;
  };
  std::vector<uint8_t> page(ps);
  for (uint64_t number = 1; number <= s.bytes.size() / ps; ++number) {
    std::copy_n(s.bytes.begin() + static_cast<std::ptrdiff_t>((number - 1) * ps), ps, page.begin());
    uint8_t* h = page.data() + (number == 1 ? 100 : 0);
    if (h[0] == 5) {  // a table interior page: right child at +8, cell pointers from +12
      PutBe32(h + 8, target(Be32(h + 8)));
      const int cells = (h[3] << 8) | h[4];
      for (int i = 0; i < cells; ++i) {
        uint8_t* cell = page.data() + ((h[12 + 2 * i] << 8) | h[13 + 2 * i]);
        PutBe32(cell, target(Be32(cell)));
      }
    }
    if (target(number) * ps <= size) file.Write((target(number) - 1) * ps, page.data(), ps);
  }
  return true;
}

// Opens `path`, scans the schema, and previews t as the repair does once its
// objects are shown (without the page census): the rows as the grid has them,
// sorted, as the walk order is not SQLite's.
Rows PreviewOfT(EngineHarness& h, const std::string& path) {
  EXPECT_TRUE(h.Open(path));
  h.engine.ScanTables();
  h.state.schemaMarker = job::kSchemaMarkerFilled;
  h.port.plainCells = true;
  EXPECT_TRUE(h.Preview("t"));
  Rows rows = h.port.GridRows();
  std::sort(rows.begin(), rows.end());
  return rows;
}

Rows Sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A page of `size` bytes that names its number: the number in the first and last
// eight bytes, a byte of it everywhere between.
std::vector<uint8_t> PatternPage(uint64_t number, uint32_t size) {
  std::vector<uint8_t> page(size, static_cast<uint8_t>(number % 251 + 1));
  for (int i = 0; i < 8; ++i) {
    page[i] = page[size - 8 + i] = static_cast<uint8_t>(number >> (56 - 8 * i));
  }
  return page;
}

// The reader alone: pages written at far numbers come back byte for byte, singly, in
// parts and as one run of consecutive pages; the file's last page is the last valid
// number.
TEST(SparseFileTest, FarPagesReadBackExactly) {
  struct Case {
    const char* name;
    uint32_t pageSize;
    uint64_t first;  // this page and the next are written; the file ends with the second
  } cases[] = {
      {"4 KiB pages on both sides of 2 GiB", 4096, PageAt(kTwoGiB, 4096) - 1},
      {"4 KiB pages on both sides of 4 GiB", 4096, PageAt(kFourGiB, 4096) - 1},
      {"64 KiB pages on both sides of 4 GiB", 65536, PageAt(kFourGiB, 65536) - 1},
      {"512-byte pages 2^31 - 1 and 2^31", 512, kPage2To31 - 1},
      {"512-byte pages 2^32 - 2 and 2^32 - 1", 512, kLargestPageNumber - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("far.bin");
    const uint64_t last = c.first + 1;
    {
      SparseFile file(path);
      std::string why;
      if (!file.Resize(last * c.pageSize, &why)) GTEST_SKIP() << why;
      for (uint64_t n : {c.first, last}) file.Write((n - 1) * c.pageSize, PatternPage(n, c.pageSize).data(), c.pageSize);
    }
    std::string error;
    auto file = platform::RandomAccessFile::Open(path, &error);
    ASSERT_TRUE(file) << error;
    engine::PageReader reader(file.get(), c.pageSize);
    EXPECT_EQ(reader.PageCount(), last);
    EXPECT_TRUE(reader.IsValidPage(last));
    EXPECT_FALSE(reader.IsValidPage(last + 1));

    std::vector<uint8_t> page;
    for (uint64_t n : {c.first, last}) {
      ASSERT_TRUE(reader.ReadPage(n, page));
      EXPECT_EQ(page, PatternPage(n, c.pageSize)) << "page " << n;
    }
    EXPECT_FALSE(reader.ReadPage(last + 1, page));

    // The run of both pages, across the boundary the case names.
    std::vector<uint8_t> run(2 * c.pageSize);
    reader.ReadPages(c.first, 2, run.data());
    std::vector<uint8_t> expected = PatternPage(c.first, c.pageSize);
    const std::vector<uint8_t> second = PatternPage(last, c.pageSize);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(run, expected);

    // The last eight bytes of the last page, asked for with more: clipped to the page.
    uint8_t tail[16];
    std::fill(std::begin(tail), std::end(tail), uint8_t{0xAA});
    ASSERT_TRUE(reader.ReadPageRange(last, c.pageSize - 8, sizeof tail, tail));
    EXPECT_TRUE(std::equal(tail, tail + 8, second.end() - 8));
    EXPECT_TRUE(std::all_of(tail + 8, tail + 16, [](uint8_t b) { return b == 0xAA; }));
  }
}

// A table whose root, interior or leaf pages lie at or past 4 GiB (and at 2 GiB,
// where a 32-bit offset turns negative) gives every row exactly.
TEST(SparseFileTest, TreePagesPastFourGiBGiveEveryRow) {
  struct Case {
    const char* name;
    uint32_t pageSize;
    uint64_t rootTo;  // 0: the root stays
    // Moves from pages of the source tree (by role) to the pages at byte offsets.
    std::vector<std::pair<const char*, uint64_t>> moves;
  } cases[] = {
      {"a leaf at 2 GiB", 4096, 0, {{"first leaf", kTwoGiB}}},
      {"a leaf ending at 4 GiB", 4096, 0, {{"first leaf", kFourGiB - 4096}}},
      {"a leaf at 4 GiB", 4096, 0, {{"first leaf", kFourGiB}}},
      {"the right-most leaf at 6 GiB", 4096, 0, {{"last leaf", kFourGiB + kTwoGiB}}},
      {"the root at 4 GiB, leaves past it", 4096, PageAt(kFourGiB, 4096),
       {{"first leaf", kFourGiB + 4096}, {"last leaf", kFourGiB + kTwoGiB}}},
      {"the root at 4 GiB with 64 KiB pages, a leaf at 5 GiB", 65536, PageAt(kFourGiB, 65536),
       {{"first leaf", kFourGiB + (kFourGiB >> 2)}}},
      // 512-byte pages give t three levels, and a root number of four bytes.
      {"an interior page and its first leaf past 4 GiB", 512, 0,
       {{"first interior", kFourGiB}, {"first leaf", kFourGiB + 512}}},
      {"the root past 4 GiB, a number of four bytes in the schema", 512, PageAt(kFourGiB + 1024, 512),
       {{"last leaf", kFourGiB + kTwoGiB}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Source s = BuildSource(dir, c.pageSize, c.rootTo);
    ASSERT_GE(s.leaves.size(), 2u);
    ASSERT_EQ(s.rows.size(), static_cast<size_t>(kRows));
    std::map<uint64_t, uint64_t> moves;
    uint64_t lastPage = s.bytes.size() / c.pageSize;
    if (c.rootTo != 0) moves[s.root] = c.rootTo;
    for (const auto& [role, offset] : c.moves) {
      const std::string r = role;
      ASSERT_TRUE(r != "first interior" || !s.interiors.empty()) << "the fixture has three levels";
      const uint32_t from = r == "first leaf"       ? s.leaves.front()
                            : r == "last leaf"      ? s.leaves.back()
                                                    : s.interiors.front();
      moves[from] = PageAt(offset, c.pageSize);
    }
    for (const auto& [from, to] : moves) lastPage = std::max(lastPage, to);

    const std::string path = dir.File("far-tree.db");
    std::string why;
    if (!Place(s, path, moves, lastPage * c.pageSize, &why)) GTEST_SKIP() << why;
    EngineHarness h;
    EXPECT_EQ(PreviewOfT(h, path), Sorted(s.rows));
    EXPECT_EQ(h.Db().pages.PageCount(), lastPage);
  }
}

// A child pointer of 2^31 - 1, 2^31 or 2^32 - 1 on 512-byte pages (a file of 1 or
// 2 TiB) is an unsigned page number: followed when the file holds that page, whose
// header then states the file's size in pages; refused, with the rest of the table
// read, when the file ends one page before it.
TEST(SparseFileTest, ChildPointersAboutTwoToThe31AreUnsignedPageNumbers) {
  const uint32_t ps = 512;
  TempDir sourceDir;
  const Source s = BuildSource(sourceDir, ps);
  ASSERT_GE(s.leaves.size(), 2u);
  const uint32_t moved = s.leaves.back();
  const uint32_t movedCells = (uint32_t{s.bytes[(moved - 1) * ps + 3]} << 8) | s.bytes[(moved - 1) * ps + 4];
  ASSERT_GT(movedCells, 0u);
  const std::set<std::vector<std::string>> all(s.rows.begin(), s.rows.end());

  for (uint64_t to : {kPage2To31 - 1, kPage2To31, kLargestPageNumber}) {
    for (bool inside : {true, false}) {
      SCOPED_TRACE("page " + std::to_string(to) + (inside ? ", inside the file" : ", one past its end"));
      TempDir dir;
      const std::string path = dir.File("huge.db");
      const uint64_t pages = inside ? to : to - 1;
      std::string why;
      if (!Place(s, path, {{moved, to}}, pages * ps, &why)) GTEST_SKIP() << why;
      fixture::PutBigEndian(path, kHeaderPageCountOffset, pages, 4);

      EngineHarness h;
      const Rows rows = PreviewOfT(h, path);
      EXPECT_EQ(h.Db().pages.PageCount(), pages);
      if (inside) {
        EXPECT_EQ(rows, Sorted(s.rows));
      } else {
        // Exactly the moved leaf's rows are missing; the others are exact and once.
        EXPECT_EQ(rows.size(), s.rows.size() - movedCells);
        EXPECT_EQ(std::set<std::vector<std::string>>(rows.begin(), rows.end()).size(), rows.size());
        for (const auto& row : rows) EXPECT_TRUE(all.count(row)) << row[0];
      }
    }
  }
}

// The database size the header states (bytes 28 to 31) about 2^31 or at its
// largest, on a small file: the file's own size bounds the pages, and the whole
// repair (the census too) reads every row.
TEST(SparseFileTest, HeaderSizeAboutTwoToThe31DoesNotStretchTheFile) {
  TempDir dir;
  const Source s = BuildSource(dir, 4096);
  for (uint64_t stated : {kPage2To31 - 1, kPage2To31, kLargestPageNumber}) {
    SCOPED_TRACE("stated size " + std::to_string(stated));
    const std::string path = dir.File("stated-" + std::to_string(stated) + ".db");
    fixture::WriteFile(path, s.bytes);
    fixture::PutBigEndian(path, kHeaderPageCountOffset, stated, 4);
    EngineHarness h;
    h.Repair(path);
    EXPECT_EQ(h.Db().pages.PageCount(), s.bytes.size() / 4096);
    h.port.plainCells = true;
    ASSERT_TRUE(h.Preview("t"));
    EXPECT_EQ(Sorted(h.port.GridRows()), Sorted(s.rows));
  }
}

}  // namespace
