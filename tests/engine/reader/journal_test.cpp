// The rollback journal beside a database: its page images are older versions of
// pages, whose rows deleted since come back; it is never played back or deleted.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;
using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

constexpr uint32_t kPageSize = 1024;

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string why = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(why + " in " + sql);
  }
}

enum class Journal {
  Hot,       // synced: the magic and the record count written, as before the database's write
  Unsynced,  // as the transaction wrote it: the magic not written yet
  Kept,      // kept after the commit (journal_mode PERSIST): its header zeroed
};

// A database whose last transaction deleted every third row of t with secure
// delete on (its freed space zeroed), and the journal of that transaction beside
// it: a crash between the database's write and the journal's deletion leaves a hot
// one so.
void BuildWithJournal(const std::string& path, Journal kind) {
  const bool persist = kind == Journal::Kept;
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
  Exec(db, "PRAGMA page_size = " + std::to_string(kPageSize) + "; PRAGMA journal_mode = " +
               (persist ? "PERSIST" : "DELETE") + ";"
               "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INT);"
               "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 300)"
               " INSERT INTO t SELECT i, printf('row %d of the journal test', i), i * 7 FROM s;"
               "PRAGMA secure_delete = ON; BEGIN; DELETE FROM t WHERE id % 3 = 0;");
  const std::string copy = path + ".journal-copy";
  if (!persist) fs::copy_file(path + "-journal", copy);
  Exec(db, "COMMIT;");
  sqlite3_close(db);
  if (!persist) fs::rename(copy, path + "-journal");
  if (kind == Journal::Hot) {
    const uint64_t sector = fixture::GetBigEndian(path + "-journal", 20, 4);
    const uint64_t records = (fs::file_size(path + "-journal") - sector) / (4 + kPageSize + 4);
    fixture::PatchBytes(path + "-journal", 0, {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7});
    fixture::PutBigEndian(path + "-journal", 8, records, 4);
  }
}

size_t DeletedRowsBack(EngineHarness& h, const std::string& path) {
  h.port.plainCells = true;
  h.Repair(path);
  if (!h.Preview("t(deleted)")) return 0;
  size_t back = 0;
  for (const auto& row : h.port.GridRows()) {
    const int id = std::stoi(row[0]);
    if (id % 3 == 0 && row[1] == "row " + row[0] + " of the journal test" && row[2] == std::to_string(id * 7)) ++back;
  }
  return back;
}

bool LogHas(EngineHarness& h, const std::string& prefix) {
  const auto lines = h.port.LogLines();
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

TEST(RollbackJournalTest, DeletedRowsComeBackFromAHotOrAKeptJournalWhichStaysUntouched) {
  const std::pair<const char*, Journal> kinds[] = {
      {"hot", Journal::Hot}, {"unsynced", Journal::Unsynced}, {"kept after its commit", Journal::Kept}};
  for (const auto& [name, kind] : kinds) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string path = dir.File("journal.db");
    BuildWithJournal(path, kind);
    const std::vector<uint8_t> database = fixture::ReadFile(path), journal = fixture::ReadFile(path + "-journal");
    EngineHarness h;
    EXPECT_EQ(DeletedRowsBack(h, path), 100u);
    // The live rows are the database's, not the journal's.
    EngineHarness saved;
    const std::string output = fixture::RepairAndSave(saved, path, dir.path(), true);
    EXPECT_EQ(fixture::Query(output, "SELECT count(*) FROM t")[0][0], "200");
    EXPECT_EQ(fixture::Query(output, "SELECT count(*) FROM t_deleted")[0][0], "100");
    EXPECT_TRUE(LogHas(saved, "Rollback journal " + path + "-journal read: "));
    // Where the companion's rows came from: the journal alone.
    EXPECT_TRUE(LogHas(saved, "Deleted record(s) from the rollback journal : 100"));
    EXPECT_FALSE(LogHas(saved, "Deleted record(s) from freeblocks and gaps"));
    EXPECT_EQ(fixture::ReadFile(path), database);
    EXPECT_EQ(fixture::ReadFile(path + "-journal"), journal);

    // Without the journal nothing of them is left.
    fs::remove(path + "-journal");
    EngineHarness alone;
    EXPECT_EQ(DeletedRowsBack(alone, path), 0u);
  }
}

TEST(RollbackJournalTest, AJournalThatIsNoRegularFileIsIgnoredWithALogLineWithoutBeingOpened) {
  struct Case {
    const char* name;
    void (*make)(const std::string& journal);
  } cases[] = {
      // Opened for reading the usual way, a FIFO waits for a writer forever.
      {"a FIFO", [](const std::string& journal) { ASSERT_EQ(mkfifo(journal.c_str(), 0644), 0); }},
      {"a folder", [](const std::string& journal) { fs::create_directory(journal); }},
      {"a device", [](const std::string& journal) { fs::create_symlink("/dev/zero", journal); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("side.db");
    fixture::BuildDatabase(path, {},
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT); INSERT INTO t VALUES(1, 'a'), (2, 'b');");
    // Read before the side file is made: SQLite itself would open a FIFO under its name and wait.
    const Rows expected = fixture::DumpTable(path, "t");
    c.make(path + "-journal");
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.path(), false);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(fixture::DumpTable(output, "t"), expected);
    EXPECT_TRUE(LogHas(h, "Rollback journal " + path + "-journal ignored: it is not a regular file."));
  }
}

TEST(RollbackJournalTest, ABadChecksumEndsTheJournalAtThatRecord) {
  TempDir dir;
  const std::string path = dir.File("journal.db");
  BuildWithJournal(path, Journal::Hot);
  const std::string journalPath = path + "-journal";
  const uint32_t sector = static_cast<uint32_t>(fixture::GetBigEndian(journalPath, 20, 4));
  // Record 3's image: a byte the checksum covers.
  const int64_t record = sector + 2 * (4 + kPageSize + 4);
  const uint64_t byte = fixture::GetBigEndian(journalPath, record + 4 + kPageSize - 200, 1);
  fixture::PutBigEndian(journalPath, record + 4 + kPageSize - 200, byte ^ 0xff, 1);
  EngineHarness h;
  const size_t back = DeletedRowsBack(h, path);
  EXPECT_GT(back, 0u);
  EXPECT_LT(back, 100u);
  EngineHarness saved;
  fixture::RepairAndSave(saved, path, dir.path(), false);
  EXPECT_TRUE(LogHas(saved, "Rollback journal " + journalPath + " read: 2 page image(s) of older page versions used; "
                        "page records from 3 on not used"));
}

}  // namespace
