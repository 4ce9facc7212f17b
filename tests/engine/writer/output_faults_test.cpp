// The save under failing storage: a shim over SQLite's default file layer fails one
// open, write or sync in turn, and every time the save must say it failed and leave
// nothing behind: no file under a final name, no journal, no unfinished file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <sqlite3.h>

#include "job/recovery_thread.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

namespace fs = std::filesystem;

enum class Op { Open, Write, Sync };

// Which call fails, and whether it did. Touched by the save's worker only while the
// test thread waits for it.
struct FaultPlan {
  Op op = Op::Write;
  int failAt = 0;  // the n-th call of `op`, from 1; 0 fails none
  int code = SQLITE_FULL;
  int seen = 0;
  bool fired = false;

  bool Fails(Op o) {
    if (o != op || failAt == 0) return false;
    if (++seen != failAt) return false;
    fired = true;
    return true;
  }
};

FaultPlan gPlan;
sqlite3_vfs* gReal = nullptr;

struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;  // lies right after this struct
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

int ShimClose(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int ShimRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return Real(f)->pMethods->xRead(Real(f), b, n, o); }
int ShimWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
  if (gPlan.Fails(Op::Write)) return gPlan.code == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_WRITE;
  return Real(f)->pMethods->xWrite(Real(f), b, n, o);
}
int ShimTruncate(sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); }
int ShimSync(sqlite3_file* f, int flags) {
  if (gPlan.Fails(Op::Sync)) return gPlan.code == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_FSYNC;
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int ShimFileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int ShimLock(sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); }
int ShimUnlock(sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); }
int ShimCheckLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int ShimControl(sqlite3_file* f, int op, void* arg) {
  // The file pointer asked for is the shim's own, so a sync through it is counted.
  if (op == SQLITE_FCNTL_FILE_POINTER) {
    *static_cast<sqlite3_file**>(arg) = f;
    return SQLITE_OK;
  }
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int ShimSectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int ShimDevice(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }

// Version 1: no shared memory and no memory mapping, so every write is a call.
const sqlite3_io_methods kShimMethods = {1,         ShimClose,     ShimRead,      ShimWrite,
                                         ShimTruncate, ShimSync,   ShimFileSize,  ShimLock,
                                         ShimUnlock, ShimCheckLock, ShimControl, ShimSectorSize,
                                         ShimDevice, nullptr,       nullptr,       nullptr,
                                         nullptr,   nullptr,       nullptr};

int ShimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->base.pMethods = nullptr;
  if (gPlan.Fails(Op::Open)) return SQLITE_CANTOPEN;
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  const int rc = gReal->xOpen(gReal, name, shim->real, flags, outFlags);
  if (rc == SQLITE_OK) shim->base.pMethods = &kShimMethods;
  return rc;
}

// Makes the shim SQLite's default file layer for the life of the object.
class FaultyStorage {
 public:
  FaultyStorage() {
    gReal = sqlite3_vfs_find(nullptr);
    vfs_ = *gReal;
    vfs_.zName = "faulty";
    vfs_.szOsFile = static_cast<int>(sizeof(ShimFile)) + gReal->szOsFile;
    vfs_.xOpen = ShimOpen;
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~FaultyStorage() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(gReal, 1);
  }

 private:
  sqlite3_vfs vfs_;
};

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

bool Logged(const fixture::EngineHarness& h, const std::string& text) {
  auto log = h.port.LogLines();
  return std::any_of(log.begin(), log.end(),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST(OutputFaultsTest, EveryFailingOpenWriteAndSyncLeavesNothingAndIsReported) {
  fixture::TempDir dir;
  const std::string path = dir.File("input.db");
  // Enough rows for several page spills, a view and a trigger after them.
  fixture::BuildDatabase(path, {},
                         "PRAGMA page_size=1024;"
                         "CREATE TABLE a(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
                         " INSERT INTO a SELECT i, printf('%.60c', 'a') FROM n;"
                         "CREATE TABLE b(x); INSERT INTO b VALUES(1), (2);"
                         "CREATE VIEW v AS SELECT * FROM a;"
                         "CREATE TRIGGER r AFTER INSERT ON b BEGIN SELECT 1; END;");
  const std::vector<uint8_t> input = fixture::ReadFile(path);
  const std::string folder = dir.File("out");
  fs::create_directory(folder);

  fixture::EngineHarness h;
  h.state.databasePath = path;
  h.state.databaseFileName = "input.db";
  job::StartRepairJob(h.state, h.engine, h.port, path, false)->Join();
  h.state.checkedTables = {"a", "b"};
  h.state.checkedViews = {"v"};
  h.state.checkedTriggers = {"r"};
  h.state.destinationFolder = folder + "/";

  FaultyStorage storage;
  for (Op op : {Op::Open, Op::Write, Op::Sync}) {
    for (int code : {SQLITE_FULL, SQLITE_IOERR}) {
      for (int n = 1;; ++n) {
        SCOPED_TRACE("operation " + std::to_string(static_cast<int>(op)) + ", code " + std::to_string(code) +
                     ", call " + std::to_string(n));
        ASSERT_LT(n, 1000) << "the save never ran out of calls to fail";
        gPlan = FaultPlan{op, n, code};
        h.port.ClearEvents();
        job::StartSaveJob(h.state, h.engine, h.port)->Join();
        if (!gPlan.fired) {
          // Past the last call: the save is whole, under its final name.
          EXPECT_EQ(h.state.saveFinished, 1);
          ASSERT_EQ(FilesIn(folder).size(), 1u);
          EXPECT_EQ(FilesIn(folder)[0].find(" (incomplete)"), std::string::npos);
          fs::remove(folder + "/" + FilesIn(folder)[0]);
          break;
        }
        EXPECT_EQ(h.state.saveFinished, 0);
        EXPECT_TRUE(Logged(h, "Saving process failed")) << "the failure is reported (exit status 5)";
        EXPECT_FALSE(Logged(h, "completed successfully"));
        EXPECT_TRUE(FilesIn(folder).empty()) << FilesIn(folder)[0];
      }
    }
  }
  gPlan = FaultPlan{};
  EXPECT_EQ(fixture::ReadFile(path), input) << "the damaged file is only read";
}

}  // namespace
