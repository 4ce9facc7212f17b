// The write-ahead log beside a database: its committed frames are the newest pages,
// its older versions hold changed and deleted rows, and it is never written.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <sys/stat.h>

#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;
using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

constexpr uint32_t kPageSize = 4096;

// A database in WAL mode held open by one connection that never checkpoints after
// its setup: what runs later stays in the log.
class LiveWalDatabase {
 public:
  LiveWalDatabase(const std::string& path, const std::string& setupSql) : path_(path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open");
    Exec("PRAGMA page_size = " + std::to_string(kPageSize) + "; PRAGMA journal_mode = WAL;"
         "PRAGMA wal_autocheckpoint = 0; PRAGMA secure_delete = OFF;" + setupSql +
         "; PRAGMA wal_checkpoint(TRUNCATE);");
  }
  ~LiveWalDatabase() { sqlite3_close(db_); }

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(why + " in " + sql);
    }
  }

  // Copies the file, its log and its index while the connection holds them open.
  void CopyTo(const std::string& to) const {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      fs::copy_file(path_ + suffix, to + suffix, fs::copy_options::overwrite_existing);
    }
  }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

const char* kSetup =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT, n REAL);"
    "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 50)"
    " INSERT INTO t SELECT i, printf('first %d %.60c', i, 'f'), i * 0.5 FROM s";

// Rows `from` to `to` of t, one transaction.
std::string InsertRows(int from, int to) {
  return "WITH RECURSIVE s(i) AS (SELECT " + std::to_string(from) + " UNION ALL SELECT i + 1 FROM s WHERE i < " +
         std::to_string(to) + ") INSERT INTO t SELECT i, printf('row %d %.200c', i, 'r'), i * 0.25 FROM s;";
}

bool LogHasPrefix(const EngineHarness& h, const std::string& prefix, std::string* found = nullptr) {
  for (const std::string& line : h.port.LogLines()) {
    if (line.rfind(prefix, 0) == 0) {
      if (found) *found = line;
      return true;
    }
  }
  return false;
}

// Repairs and saves `path` into a folder of `dir`; the output's path.
std::string Save(EngineHarness& h, TempDir& dir, const std::string& path, bool deleted = false) {
  const std::string out = dir.File("out");
  fs::create_directories(out);
  const std::string output = fixture::RepairAndSave(h, path, out, deleted);
  if (output.empty()) throw std::runtime_error("nothing saved");
  return output;
}

TEST(WalTest, CommittedTransactionsNotCheckpointedAreRecoveredAndTheLogIsNotWritten) {
  TempDir dir;
  const std::string source = dir.File("live.db");
  LiveWalDatabase live(source, kSetup);
  live.Exec(InsertRows(51, 400));
  live.Exec("UPDATE t SET v = 'changed' WHERE id % 10 = 0");
  live.Exec("CREATE TABLE later(a INTEGER, b TEXT)");  // its schema and pages only in the log
  live.Exec("INSERT INTO later VALUES(1, 'x'), (2, NULL)");
  live.Exec("DELETE FROM t WHERE id BETWEEN 100 AND 120");
  const std::string copy = dir.File("copy.db");
  live.CopyTo(copy);
  const auto wal = fixture::ReadFile(copy + "-wal");
  const auto shm = fixture::ReadFile(copy + "-shm");
  const auto main = fixture::ReadFile(copy);

  EngineHarness h;
  const std::string output = Save(h, dir, copy);
  EXPECT_EQ(fixture::DumpTable(output, "t"), fixture::DumpTable(source, "t"));
  EXPECT_EQ(fixture::DumpTable(output, "later"), fixture::DumpTable(source, "later"));
  std::string line;
  EXPECT_TRUE(LogHasPrefix(h, "Write-ahead log " + copy + "-wal applied: ", &line));
  EXPECT_NE(line.find(" of 5 committed transaction(s) used."), std::string::npos) << line;
  // Read only: the file, its log and its index are as they were.
  EXPECT_EQ(fixture::ReadFile(copy + "-wal"), wal);
  EXPECT_EQ(fixture::ReadFile(copy + "-shm"), shm);
  EXPECT_EQ(fixture::ReadFile(copy), main);
}

TEST(WalTest, AnUncommittedTailIsNotLive) {
  TempDir dir;
  const std::string source = dir.File("live.db");
  LiveWalDatabase live(source, kSetup);
  live.Exec(InsertRows(51, 100));
  const Rows committed = fixture::DumpTable(source, "t");
  // A small page cache spills the open transaction's pages to the log.
  live.Exec("PRAGMA cache_size = 2; BEGIN;" + InsertRows(101, 3000));
  const std::string copy = dir.File("copy.db");
  live.CopyTo(copy);
  live.Exec("COMMIT");

  EngineHarness h;
  const std::string output = Save(h, dir, copy);
  EXPECT_EQ(fixture::DumpTable(output, "t"), committed);
  std::string line;
  ASSERT_TRUE(LogHasPrefix(h, "Write-ahead log " + copy + "-wal applied: ", &line));
  EXPECT_NE(line.find("not used (no commit follows them)."), std::string::npos) << line;
}

// The frames of a log: page number and commit size of each, in order.
std::vector<std::pair<uint32_t, uint32_t>> Frames(const std::string& wal) {
  const auto bytes = fixture::ReadFile(wal);
  std::vector<std::pair<uint32_t, uint32_t>> frames;
  auto be32 = [&](size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
  };
  for (size_t at = 32; at + 24 + kPageSize <= bytes.size(); at += 24 + kPageSize) {
    frames.emplace_back(be32(at), be32(at + 4));
  }
  return frames;
}

TEST(WalTest, ABrokenFrameEndsTheLogAtTheCommitBeforeIt) {
  struct BreakCase {
    const char* name;
    int64_t offsetInFrame;  // of the byte changed
  };
  const BreakCase cases[] = {{"salt", 8}, {"checksum", 24 + 100}};
  for (const BreakCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string source = dir.File("live.db");
    LiveWalDatabase live(source, kSetup);
    live.Exec(InsertRows(51, 100));
    const Rows first = fixture::DumpTable(source, "t");
    live.Exec(InsertRows(101, 200));
    live.Exec(InsertRows(201, 300));
    const std::string copy = dir.File("copy.db");
    live.CopyTo(copy);

    // Frame k: the second frame of the second transaction.
    const auto frames = Frames(copy + "-wal");
    size_t k = 0;
    while (k < frames.size() && frames[k].second == 0) ++k;
    k += 2;  // past the first commit, then one frame into the next transaction
    ASSERT_LT(k, frames.size());
    ASSERT_EQ(frames[k - 1].second, 0u) << "the second transaction has one frame only";
    const int64_t at = 32 + static_cast<int64_t>(k) * (24 + kPageSize) + c.offsetInFrame;
    fixture::PatchBytes(copy + "-wal", at, {static_cast<uint8_t>(fixture::GetBigEndian(copy + "-wal", at, 1) ^ 0x5a)});

    EngineHarness h;
    const std::string output = Save(h, dir, copy);
    EXPECT_EQ(fixture::DumpTable(output, "t"), first);
    std::string line;
    ASSERT_TRUE(LogHasPrefix(h, "Write-ahead log " + copy + "-wal applied: ", &line));
    EXPECT_NE(line.find("1 committed transaction(s) used"), std::string::npos) << line;
    EXPECT_NE(line.find("frame " + std::to_string(k + 1) + ", where"), std::string::npos) << line;
  }
}

TEST(WalTest, ALogOfAnotherPageSizeIsIgnoredWithALogLine) {
  TempDir dir;
  const std::string source = dir.File("live.db");
  LiveWalDatabase live(source, kSetup);
  const Rows checkpointed = fixture::DumpTable(source, "t");
  live.Exec(InsertRows(51, 100));
  const std::string copy = dir.File("copy.db");
  live.CopyTo(copy);
  fixture::PutBigEndian(copy + "-wal", 8, 1024, 4);

  EngineHarness h;
  const std::string output = Save(h, dir, copy);
  EXPECT_EQ(fixture::DumpTable(output, "t"), checkpointed);
  EXPECT_TRUE(LogHasPrefix(h, "Write-ahead log " + copy + "-wal ignored: its page size 1024 differs from the "
                              "database's 4096."));
}

TEST(WalTest, ALogThatIsNoRegularFileIsIgnoredWithALogLineWithoutBeingOpened) {
  struct Case {
    const char* name;
    void (*make)(const std::string& wal);
  } cases[] = {
      // Opened for reading the usual way, a FIFO waits for a writer forever.
      {"a FIFO", [](const std::string& wal) { ASSERT_EQ(mkfifo(wal.c_str(), 0644), 0); }},
      {"a folder", [](const std::string& wal) { fs::create_directory(wal); }},
      {"a device", [](const std::string& wal) { fs::create_symlink("/dev/zero", wal); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("side.db");
    fixture::BuildDatabase(path, {}, kSetup);
    // Read before the side file is made: SQLite itself would open a FIFO under its name and wait.
    const Rows expected = fixture::DumpTable(path, "t");
    c.make(path + "-wal");
    EngineHarness h;
    const std::string output = Save(h, dir, path);
    EXPECT_EQ(fixture::DumpTable(output, "t"), expected);
    EXPECT_TRUE(LogHasPrefix(h, "Write-ahead log " + path + "-wal ignored: it is not a regular file."));
  }
}

// Appends to the log a committed frame of page `page` that states `commitSize`
// pages, with the header's salts and a checksum that holds.
void AppendCommitFrame(const std::string& wal, uint32_t page, uint32_t commitSize) {
  std::vector<uint8_t> bytes = fixture::ReadFile(wal);
  auto be32 = [&](size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
  };
  const bool bigEndian = (be32(0) & 1) != 0;
  auto word = [&](const uint8_t* p) {
    return bigEndian ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                     : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
  };
  const size_t frameSize = 24 + kPageSize;
  const size_t last = 32 + ((bytes.size() - 32) / frameSize - 1) * frameSize;
  uint32_t s0 = be32(last + 16), s1 = be32(last + 20);
  std::vector<uint8_t> frame(frameSize, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) frame[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  put(0, page);
  put(4, commitSize);
  std::copy(bytes.begin() + 16, bytes.begin() + 24, frame.begin() + 8);  // the salts
  frame[24] = 13;  // an empty table leaf
  for (size_t at : {size_t{0}}) {
    s0 += word(&frame[at]) + s1;
    s1 += word(&frame[at + 4]) + s0;
  }
  for (size_t at = 24; at < frameSize; at += 8) {
    s0 += word(&frame[at]) + s1;
    s1 += word(&frame[at + 4]) + s0;
  }
  put(16, s0);
  put(20, s1);
  bytes.resize(32 + ((bytes.size() - 32) / frameSize) * frameSize);
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  fixture::WriteFile(wal, bytes);
}

TEST(WalTest, ACommitStatingPagesThatDoNotExistIsBounded) {
  TempDir dir;
  const std::string source = dir.File("live.db");
  LiveWalDatabase live(source, kSetup);
  live.Exec(InsertRows(51, 100));
  const std::string copy = dir.File("copy.db");
  live.CopyTo(copy);
  const Rows rows = fixture::DumpTable(source, "t");
  AppendCommitFrame(copy + "-wal", 0xFFFFFFFF, 0xFFFFFFFF);

  EngineHarness h;
  const std::string output = Save(h, dir, copy, true);
  EXPECT_EQ(fixture::DumpTable(output, "t"), rows);
  EXPECT_LT(h.Db().pages.PageCount(), 1000u);
  EXPECT_TRUE(h.Db().wal && h.Db().wal->Applied());
}

TEST(WalTest, ALogThatOnlyAddedRowsGivesNoCompanion) {
  TempDir dir;
  const std::string source = dir.File("live.db");
  LiveWalDatabase live(source, kSetup);
  live.Exec("INSERT INTO t VALUES(1000, 'one more', 1.0)");
  const std::string copy = dir.File("copy.db");
  live.CopyTo(copy);
  EngineHarness h;
  h.Repair(copy);
  std::vector<std::string> names;
  for (const auto& table : h.Schema().tableList) names.push_back(table.name);
  EXPECT_EQ(names, std::vector<std::string>{"t"});
}

TEST(WalTest, RowsALaterCommitChangedOrDeletedComeBackInTheCompanionOnce) {
  // With freed space zeroed only the versions the log replaced still hold the rows;
  // without, the newest pages' freeblocks hold them too, and each comes back once.
  for (const char* secureDelete : {"ON", "OFF"}) {
    SCOPED_TRACE(secureDelete);
    TempDir dir;
    const std::string source = dir.File("live.db");
    LiveWalDatabase live(source, kSetup);
    live.Exec(InsertRows(51, 200));
    live.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    const Rows before = fixture::Query(source, "SELECT id, v FROM t WHERE id % 3 = 0 OR id = 5 ORDER BY id");
    live.Exec(std::string("PRAGMA secure_delete = ") + secureDelete +
              "; DELETE FROM t WHERE id % 3 = 0; UPDATE t SET v = 'new' WHERE id = 5");
    const std::string copy = dir.File("copy.db");
    live.CopyTo(copy);

    EngineHarness h;
    const std::string output = Save(h, dir, copy, true);
    EXPECT_EQ(fixture::DumpTable(output, "t"), fixture::DumpTable(source, "t"));
    const Rows carved = fixture::Query(output, "SELECT id, v FROM t_deleted ORDER BY id");
    EXPECT_EQ(carved, before);
    EXPECT_TRUE(LogHasPrefix(h, "Table name   : t_deleted"));
    EXPECT_TRUE(LogHasPrefix(h, "Total record(s) repaired    : " + std::to_string(before.size())));
  }
}

}  // namespace
