// The console program end to end: exit statuses and what it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/fixture/fixture_db.h"

namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

CliRun RunCli(const std::string& args) {
  CliRun run;
  // Standard error joins the output unless the arguments send it elsewhere.
  const bool ownRedirect = args.find("2>") != std::string::npos;
  std::string command = std::string(KESTRUN_CLI) + " " + args + (ownRedirect ? "" : " 2>&1");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

TEST(CliTest, ExitStatusesAndMessages) {
  fixture::TempDir dir;
  std::string valid = dir.File("valid db.sqlite");
  fixture::BuildDatabase(valid, {}, "CREATE TABLE t(a);");
  std::string text = dir.File("readme.txt");
  fixture::WriteFile(text, std::vector<uint8_t>(200, 'x'));
  const std::string openFailed =
      "Selected file is either in use or not a valid SQLite database file.";
  struct Case {
    const char* name;
    std::string args;
    int status;
    std::string contains;
  } cases[] = {
      {"valid database", "--out '" + dir.path() + "' '" + valid + "'", 0, "Repaired database: " + dir.path() + "/Repaired_"},
      {"missing file", "'" + dir.File("missing.db") + "'", 1, openFailed},
      {"not a database", "'" + text + "'", 1, openFailed},
      {"version", "--version", 0, "kestrun-repair 0."},
      {"no file", "", 2, "Usage: kestrun-repair"},
      {"two files", "a.db b.db", 2, "more than one"},
      {"unknown option", "--frobnicate x.db", 2, "unknown option: --frobnicate"},
      {"help", "--help", 0, "Usage: kestrun-repair"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun run = RunCli(c.args);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.contains), std::string::npos) << run.out;
  }
  EXPECT_EQ(RunCli("--list '" + valid + "'").out.find(openFailed), std::string::npos);
}

TEST(CliTest, PathsThatAreNoFileAreRefusedAtOnceWithTheReason) {
  fixture::TempDir dir;
  const std::string fifo = dir.File("pipe.db");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string text = dir.File("notes.txt");
  fixture::WriteFile(text, std::vector<uint8_t>(200, 'x'));
  struct Case {
    const char* name;
    std::string path;
    std::string reason;
  } cases[] = {
      {"missing", dir.File("missing.db"), "No such file or directory"},
      {"a folder", dir.path(), "not a regular file"},
      // Opened the usual way, a FIFO would wait for a writer forever.
      {"a FIFO", fifo, "not a regular file"},
      {"a device", "/dev/zero", "not a regular file"},
      {"not a database", text, "not an SQLite 3 database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun run = RunCli("--out '" + dir.path() + "' '" + c.path + "' 2>&1 >/dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "kestrun-repair: " + c.path + ": " + c.reason + "\n");
  }
}

TEST(CliTest, AFullDiskIsAFailedSaveNotASuccess) {
  fixture::TempDir dir;
  const std::string path = dir.File("big.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
                         " INSERT INTO t SELECT i, printf('%.200c', 'v') FROM n;");
  std::filesystem::create_directory(dir.File("out"));
  // A file size limit of 64 KiB stands for a full disk: writes past it fail (with
  // SIGXFSZ ignored, as EFBIG) the way they fail on a full volume.
  const std::string command = "bash -c \"trap '' XFSZ; ulimit -f 64; exec '" + std::string(KESTRUN_CLI) +
                              "' --out '" + dir.File("out") + "' '" + path + "'\" 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int raw = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(raw)) << out;
  EXPECT_EQ(WEXITSTATUS(raw), 5) << out;
  EXPECT_NE(out.find("Table t was not saved: "), std::string::npos) << out;
  EXPECT_NE(out.find("Total record(s) repaired    : 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Saving process failed on "), std::string::npos) << out;
  EXPECT_NE(out.find("The repaired database was not saved completely: table t: "), std::string::npos) << out;
  EXPECT_EQ(out.find("completed successfully"), std::string::npos) << out;
  EXPECT_EQ(out.find("Repaired database: "), std::string::npos) << out;
  EXPECT_NE(out.find("the unfinished file was removed"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("out"))) << "no file, no journal left";
}

TEST(CliTest, AFileThatChangesWhileItIsReadEndsWithStatusSix) {
  fixture::TempDir dir;
  const std::string path = dir.File("appended.db");
  fixture::BuildDatabase(path, {}, "CREATE TABLE t(a); INSERT INTO t VALUES(1), (2);");
  std::filesystem::create_directory(dir.File("out"));
  // The log on stdout goes onto the end of the file being repaired: the console's
  // own first log line changes the file while the repair reads it, every time.
  CliRun run = RunCli("--out '" + dir.File("out") + "' '" + path + "' 2>&1 >>'" + path + "'");
  EXPECT_EQ(run.status, 6) << run.out;
  EXPECT_EQ(run.out, "kestrun-repair: " + path + ": the file changed while it was read\n");
  const std::vector<uint8_t> bytes = fixture::ReadFile(path);
  const std::string log(bytes.begin(), bytes.end());
  EXPECT_NE(log.find("\nThe selected file changed while it was read; the results may be incomplete.\n"),
            std::string::npos);
  // The save is kept and named, but not called a success.
  EXPECT_NE(log.find(", but the selected file changed while it was read.\n"), std::string::npos);
  EXPECT_EQ(log.find("completed successfully"), std::string::npos);
  EXPECT_EQ(log.find("repaired successfully"), std::string::npos);
  EXPECT_NE(log.find("\nRepaired database: " + dir.File("out") + "/Repaired_"), std::string::npos);
}

TEST(CliTest, NamesFromTheFileCannotBreakALineOrReachTheTerminal) {
  fixture::TempDir dir;
  // A line end, an escape sequence and a byte that is not UTF-8, in the file's name
  // and in the names of its objects.
  const std::string path = dir.File("evil\nname\x1b[31m\xff.db");
  const std::string shown = dir.path() + "/evil?name?[31m?.db";
  fixture::BuildDatabase(path, {}, "CREATE TABLE \"t\nx\x1b[2J\"(\"c\tol\" TEXT); CREATE VIEW \"v\r\" AS SELECT 1;");
  auto clean = [](const std::string& out) {
    return out.find_first_of("\x1b\r\xff") == std::string::npos;
  };
  CliRun list = RunCli("--list '" + path + "'");
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_TRUE(clean(list.out)) << list.out;
  // A column keeps its quotes as the CREATE text wrote them.
  for (const std::string& line : {"Database Name : " + shown, std::string("Table t?x?[2J (root page 2, 1 column(s))"),
                                  std::string("  \"c?ol\"\tTEXT"), std::string("View v?")}) {
    EXPECT_NE(list.out.find(line + "\n"), std::string::npos) << line << "\n" << list.out;
  }
  CliRun save = RunCli("--out '" + dir.path() + "' '" + path + "'");
  EXPECT_EQ(save.status, 0) << save.out;
  EXPECT_TRUE(clean(save.out)) << save.out;
  const size_t at = save.out.find("Repaired database: " + dir.path() + "/");
  ASSERT_NE(at, std::string::npos) << save.out;
  const std::string named = save.out.substr(at, save.out.find('\n', at) - at);
  EXPECT_EQ(named.substr(named.size() - 3), ".db") << "the name on one line: " << named;
  struct Case {
    const char* name;
    std::string args;
    int status;
    std::string err;  // the last line of stderr (--show sends the log there too)
  } cases[] = {
      {"no such object", "--show 'no\x1bthing' '" + path + "'", 4,
       "kestrun-repair: no table, view or trigger named no?thing\n"},
      {"no such file", "'" + path + ".gone'", 1, "kestrun-repair: " + shown + ".gone: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun run = RunCli(c.args + " 2>&1 >/dev/null");
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.out.ends_with(c.err)) << run.out;
    EXPECT_TRUE(clean(run.out)) << run.out;
  }
}

TEST(CliTest, ListPrintsTheRecoveredObjects) {
  fixture::TempDir dir;
  std::string path = dir.File("shop.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT 'x');"
                         "CREATE VIEW cheap AS SELECT * FROM items;"
                         "CREATE TRIGGER t1 AFTER INSERT ON items BEGIN SELECT 1; END;"
                         "INSERT INTO items(name) VALUES('a long name to leave a freeblock'),('b');"
                         "DELETE FROM items WHERE id = 1;");
  CliRun run = RunCli("--list '" + path + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  for (const std::string line :
       {"Total Table(s) present     : 1", "Table items (root page 2, 2 column(s))",
        "  id\tINTEGER\tPRIMARY KEY", "  name\tTEXT\tNOT\tDEFAULT",
        "Table items(deleted) (root page 2, 2 column(s))", "View cheap",
        "  CREATE VIEW cheap AS SELECT * FROM items", "Trigger t1 on items",
        "  CREATE TRIGGER t1 AFTER INSERT ON items BEGIN SELECT 1; END"}) {
    EXPECT_NE(run.out.find(line + std::string("\n")), std::string::npos) << line << "\n" << run.out;
  }
}

TEST(CliTest, ShowPrintsATableViewOrTrigger) {
  fixture::TempDir dir;
  std::string path = dir.File("shop.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT, price REAL, pic BLOB);"
                         "INSERT INTO items VALUES(1, 'tab\there', 2.5, x'00ff'), (2, NULL, 0.1, NULL);"
                         "CREATE VIEW cheap AS SELECT * FROM items;"
                         "CREATE TRIGGER t1 AFTER INSERT ON items BEGIN SELECT 1; END;");
  struct Case {
    const char* name;
    std::string args;
    int status;
    std::string out;  // stdout only
  } cases[] = {
      {"table", "--show items", 0,
       "id\tname\tprice\tpic\n1\ttab here\t2.5\tx'00ff'\n2\tnull\t0.1\tnull\n"},
      {"view", "--show cheap", 0, "CREATE VIEW cheap AS SELECT * FROM items\n"},
      {"trigger", "--show t1", 0, "CREATE TRIGGER t1 AFTER INSERT ON items BEGIN SELECT 1; END\n"},
      {"unknown name", "--show nothing", 4, ""},
      {"name missing", "--show", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliRun run = RunCli(c.args + " '" + path + "' 2>/dev/null");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
  }
}

TEST(CliTest, SaveOptions) {
  fixture::TempDir dir;
  std::string path = dir.File("shop.db");
  fixture::BuildDatabase(path, {},
                         "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT);"
                         "CREATE TABLE other(x);"
                         "CREATE VIEW v AS SELECT * FROM items;"
                         "CREATE TRIGGER on_other AFTER INSERT ON other BEGIN SELECT 1; END;"
                         "INSERT INTO items(name) VALUES('a long name to leave a freeblock'),('b');"
                         "INSERT INTO other VALUES(1);"
                         "DELETE FROM items WHERE id = 1;");
  struct Case {
    const char* name;
    std::string args;
    int status;
    std::vector<std::string> objects;  // in the output, by name
  } cases[] = {
      {"everything", "", 0, {"items", "on_other", "other", "v"}},
      {"with the deleted records", "--include-deleted", 0, {"items", "items_deleted", "on_other", "other", "v"}},
      // The trigger of the table left out stays out with it.
      {"one table", "--table items", 0, {"items", "v"}},
      {"the trigger's table", "--table other", 0, {"on_other", "other", "v"}},
      {"one table with its deleted records", "--table items --include-deleted", 0,
       {"items", "items_deleted", "v"}},
      {"unknown table", "--table nothing", 4, {}},
  };
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir.File("out" + std::to_string(run++));
    std::filesystem::create_directory(out);
    CliRun result = RunCli("--out '" + out + "' " + c.args + " '" + path + "'");
    EXPECT_EQ(result.status, c.status) << result.out;
    if (c.status != 0) continue;
    const size_t at = result.out.find("Repaired database: ");
    ASSERT_NE(at, std::string::npos) << result.out;
    std::string output = result.out.substr(at + 19);
    output.resize(output.find('\n'));
    std::vector<std::string> objects;
    for (const auto& row : fixture::Query(output, "SELECT name FROM sqlite_schema ORDER BY name")) {
      objects.push_back(row[0]);
    }
    EXPECT_EQ(objects, c.objects);
    if (c.args.find("--table other") == std::string::npos) {
      EXPECT_NE(result.out.find("Table name   : items\nTotal record(s) present    : 1\n"
                                "Total record(s) repaired    : 1\n"),
                std::string::npos);
    }
  }
  CliRun unwritable = RunCli("--out '" + dir.File("missing/folder") + "' '" + path + "'");
  EXPECT_EQ(unwritable.status, 5) << unwritable.out;
  EXPECT_EQ(unwritable.out.find("Saving process completed successfully"), std::string::npos);
  EXPECT_NE(unwritable.out.find("The repaired database cannot be created"), std::string::npos);
}

}  // namespace
