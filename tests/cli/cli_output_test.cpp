// Where the console program's save goes: never a final name for a save cut short
// by SIGKILL, an output folder that is a path and never a URI, an output name
// without the control characters of the input's.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/fixture/fixture_db.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

// Starts the console program saving `input` into `folder`, output discarded.
pid_t StartSave(const std::string& input, const std::string& folder) {
  const pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execl(KESTRUN_CLI, KESTRUN_CLI, "--out", folder.c_str(), input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The size of the save's unfinished file, or -1 while there is none.
int64_t UnfinishedSize(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    std::error_code ec;
    if (name[0] == '~') return static_cast<int64_t>(fs::file_size(entry.path(), ec));
  }
  return -1;
}

// Waits until the save started as `pid` has an unfinished file of `size` bytes or
// more (at once when `size` is negative); false when the save ended first. The wait
// is on events: the folder's (the file's creation and every write to it) and the
// process's end.
bool WaitForUnfinished(pid_t pid, const std::string& folder, int64_t size) {
  if (size < 0) return true;
  const int events = inotify_init1(IN_CLOEXEC);
  if (events < 0) return false;
  inotify_add_watch(events, folder.c_str(),
                    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_DELETE);
  // The process's own descriptor becomes readable when it ends.
  const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  bool reached = true;
  // Watched before the first look: no write after it goes unnoticed.
  while (UnfinishedSize(folder) < size) {
    pollfd wait[2] = {{events, POLLIN, 0}, {process, POLLIN, 0}};
    if (poll(wait, 2, -1) < 0 || wait[1].revents != 0) {
      reached = UnfinishedSize(folder) >= size;
      break;
    }
    char buffer[4096];
    if (read(events, buffer, sizeof buffer) < 0) {
      reached = false;
      break;
    }
  }
  close(process);
  close(events);
  return reached;
}

// A table of 300,000 rows (about 30 MB): its save runs long enough to be caught.
std::string BuildLongSave(const fixture::TempDir& dir) {
  const std::string input = dir.File("big.db");
  fixture::BuildDatabase(input, {},
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000)"
                         " INSERT INTO t SELECT i, printf('%.80c', 'v') FROM n;");
  return input;
}

TEST(CliOutputTest, AKilledSaveNeverLeavesAFinalName) {
  fixture::TempDir dir;
  const std::string input = BuildLongSave(dir);
  const std::string folder = dir.File("out");
  fs::create_directory(folder);
  // Killed at once, as the unfinished file appears, and once it holds 1 and 8 MB.
  for (int64_t killAt : {-2, 0, 1 << 20, 8 << 20}) {
    SCOPED_TRACE("killed at " + std::to_string(killAt));
    const pid_t pid = StartSave(input, folder);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForUnfinished(pid, folder, killAt)) << "the save ended before the point it was to be killed at";
    int status = 0;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    for (const std::string& name : FilesIn(folder)) {
      EXPECT_EQ(name.rfind("Repaired_", 0), std::string::npos) << name;
      EXPECT_EQ(name.find("-journal"), std::string::npos) << name;
      fs::remove(folder + "/" + name);
    }
  }
}

TEST(CliOutputTest, SigtermAndCtrlCKeepWhatWasWrittenUnderAnIncompleteName) {
  fixture::TempDir dir;
  const std::string input = BuildLongSave(dir);
  const std::string folder = dir.File("out");
  fs::create_directory(folder);
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    const pid_t pid = StartSave(input, folder);
    ASSERT_TRUE(WaitForUnfinished(pid, folder, 1 << 20)) << "the save ended before it could be stopped";
    int status = 0;
    kill(pid, signal);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "stopped";
    const auto saved = FilesIn(folder);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_NE(saved[0].find("_big (incomplete).db"), std::string::npos) << saved[0];
    const auto rows = fixture::Query(folder + "/" + saved[0], "SELECT count(*), max(id) FROM t");
    EXPECT_GT(std::stoi(rows[0][0]), 0);
    EXPECT_EQ(rows[0][0], rows[0][1]) << "the rows written are the first ones, none lost";
    fs::remove(folder + "/" + saved[0]);
  }
}

TEST(CliOutputTest, AnOutputFolderIsAPathNeverAUri) {
  fixture::TempDir dir;
  const std::string input = dir.File("a.db");
  fixture::BuildDatabase(input, {}, "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
  fs::create_directory(dir.File("file:o"));
  fs::create_directory(dir.File("o"));
  const std::string command = "cd '" + dir.path() + "' && " KESTRUN_CLI " --out file:o a.db > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(FilesIn(dir.File("o")).empty()) << "nothing is written where a URI would point";
  const auto saved = FilesIn(dir.File("file:o"));
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(fixture::Query(dir.File("file:o") + "/" + saved[0], "SELECT x FROM t"),
            (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(CliOutputTest, ControlCharactersOfTheInputNameStayOutOfTheOutputName) {
  fixture::TempDir dir;
  const std::string input = dir.File("two\nlines\x1b[1m.db");
  fixture::BuildDatabase(input, {}, "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
  const std::string folder = dir.File("out");
  fs::create_directory(folder);
  const pid_t pid = StartSave(input, folder);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto saved = FilesIn(folder);
  ASSERT_EQ(saved.size(), 1u);
  const std::string expected = "_two_lines_[1m.db";
  ASSERT_GT(saved[0].size(), expected.size());
  EXPECT_EQ(saved[0].substr(saved[0].size() - expected.size()), expected) << saved[0];
}

}  // namespace
