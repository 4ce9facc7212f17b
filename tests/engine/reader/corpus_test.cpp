// The reader on the real databases of the shared corpus: every file opens, and every
// rowid table's leaves are exactly the leaf pages SQLite itself reports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/reader/btree_walks.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "engine/reader/coding.h"
#include "engine/records/value.h"
#include "tests/fixture/engine_harness.h"
#include "tests/fixture/save_harness.h"
#include "tests/fixture/fixture_db.h"

// Without the shared corpus a developer's run skips these tests; CI, which always
// has it beside the checkout, fails instead of passing them unseen.
#define CORPUS_MISSING()                                                      \
  do {                                                                        \
    if (std::getenv("CI")) FAIL() << "no corpus at " << KESTRUN_CORPUS_DIR;   \
    GTEST_SKIP() << "no corpus at " << KESTRUN_CORPUS_DIR;                    \
  } while (0)

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

// A corpus database that has a ground-truth file beside it.
struct CorpusDb {
  std::string db, xml;
  std::string file;    // "07-03.db"
  std::string folder;  // "07"
};

std::vector<CorpusDb> CorpusWithTruth() {
  std::vector<CorpusDb> out;
  for (const std::string& db : CorpusFiles()) {
    std::string xml = db.substr(0, db.size() - 3) + ".xml";
    if (!fs::exists(xml)) continue;
    const std::string file = fs::path(db).filename().string();
    out.push_back({db, xml, file, file.substr(0, 2)});
  }
  return out;
}

TEST(CorpusTest, EveryDatabaseOpensAndEveryTableTreeIsWalked) {
  const auto files = CorpusFiles();
  if (files.empty()) CORPUS_MISSING();
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
    EXPECT_EQ(h.Db().pages.PageSize(), pageSize);
    EXPECT_FALSE(h.Db().masterLeafPages.empty());

    for (const auto& row : fixture::Query(
             copy, "SELECT name, rootpage FROM sqlite_schema WHERE type = 'table' AND rootpage > 0"
                   " AND sql NOT LIKE '%WITHOUT ROWID%'")) {
      SCOPED_TRACE(row[0]);
      std::set<uint64_t> expected;
      for (const auto& p : fixture::BtreePages(copy, row[0])) {
        if (p.type == "leaf") expected.insert(p.page);
      }
      engine::Work work(h.port, h.state.stopRequested);
      const uint64_t root = std::stoull(row[1]);
      const std::vector<uint64_t> leaves = engine::CollectTableLeaves(h.Db(), root, &work);
      std::set<uint64_t> got(leaves.begin(), leaves.end());
      EXPECT_EQ(got.size(), leaves.size());
      EXPECT_EQ(got, expected);
      engine::ProbeFreedSpace(h.Db(), root, work);
    }
  }
}

}  // namespace

namespace {

struct TruthObject {
  std::string type;
  std::string name;
  int columns = -1;  // tables only
};

std::string XmlText(std::string s) {
  const std::pair<std::string, std::string> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
      s.replace(at, from.size(), to);
    }
  }
  return s;
}

// The tables, views and triggers of a ground-truth file, from each element's meta.
std::vector<TruthObject> GroundTruth(const std::string& xmlPath) {
  auto bytes = fixture::ReadFile(xmlPath);
  std::string xml(bytes.begin(), bytes.end());
  std::vector<TruthObject> objects;
  auto tag = [](const std::string& block, const std::string& name) -> std::string {
    size_t open = block.find("<" + name + ">");
    if (open == std::string::npos) return {};  // absent or empty (<name />)
    size_t start = open + name.size() + 2;
    return XmlText(block.substr(start, block.find("</" + name + ">", start) - start));
  };
  for (size_t at = xml.find("<element>"); at != std::string::npos; at = xml.find("<element>", at + 1)) {
    size_t metaEnd = xml.find("</meta>", at);
    std::string meta = xml.substr(at, metaEnd - at);
    TruthObject o{tag(meta, "type"), tag(meta, "name")};
    if (o.type != "table" && o.type != "view" && o.type != "trigger") continue;
    std::string columns = tag(meta, "columns");
    if (!columns.empty()) o.columns = std::stoi(columns);
    objects.push_back(o);
  }
  return objects;
}

// XML turns every carriage return into a line feed, so the ground truth can only
// name a table "\v\f\r" as "\v\f\n": recovered names are compared the same way.
std::string XmlLineEnds(std::string s) {
  for (size_t at = s.find('\r'); at != std::string::npos; at = s.find('\r', at)) {
    if (at + 1 < s.size() && s[at + 1] == '\n') s.erase(at, 1);
    else s[at] = '\n';
  }
  return s;
}

// The recovered name of the ground truth's table `truthName` (or of its "(deleted)"
// companion), when there is one (a table may be named "").
std::optional<std::string> RecoveredTable(const CSqliteRepair& engine, const std::string& truthName,
                                          bool companion) {
  const std::string wanted = companion ? truthName + std::string(engine::kDeletedSuffix) : truthName;
  for (const auto& entry : engine.RecoveredSchema().tableList) {
    if (entry.deletedCompanion == companion && XmlLineEnds(entry.name) == wanted) return entry.name;
  }
  return std::nullopt;
}

TEST(CorpusTest, EveryGroundTruthObjectIsRecoveredWithItsColumns) {
  const auto corpus = CorpusWithTruth();
  if (corpus.empty()) CORPUS_MISSING();
  int checked = 0;
  for (const auto& [db, xml, file, folder] : corpus) {
    SCOPED_TRACE(db);
    fixture::EngineHarness h;
    h.Open(db);
    h.engine.ScanTables();
    h.engine.ScanViews();
    h.engine.ScanTriggers();
    for (const TruthObject& o : GroundTruth(xml)) {
      SCOPED_TRACE(o.type + " '" + o.name + "'");
      ++checked;
      if (o.type == "table") {
        auto it = std::find_if(h.Schema().tableList.begin(), h.Schema().tableList.end(),
                               [&](const engine::TableEntry& t) { return XmlLineEnds(t.name) == o.name; });
        ASSERT_NE(it, h.Schema().tableList.end());
        EXPECT_EQ(static_cast<int>(it->columns.size()), o.columns);
      } else if (o.type == "view") {
        EXPECT_TRUE(std::any_of(h.Schema().viewList.begin(), h.Schema().viewList.end(),
                                [&](const engine::ViewEntry& v) { return v.name == o.name; }));
      } else {
        EXPECT_TRUE(std::any_of(h.Schema().triggerList.begin(), h.Schema().triggerList.end(),
                                [&](const engine::TriggerEntry& t) { return t.name == o.name; }));
      }
    }
  }
  EXPECT_GT(checked, 50);
}

}  // namespace

namespace {

using Row = std::vector<std::string>;

struct TruthTable {
  std::string name;
  std::vector<Row> liveRows;
  std::vector<Row> deletedRows;  // marked deleted="1"
};

// The live and the deleted rows of every table of a ground-truth file; a column
// without content is NULL.
std::vector<TruthTable> GroundTruthRows(const std::string& xmlPath) {
  auto bytes = fixture::ReadFile(xmlPath);
  std::string xml(bytes.begin(), bytes.end());
  std::vector<TruthTable> tables;
  for (size_t at = xml.find("<element>"); at != std::string::npos; at = xml.find("<element>", at + 1)) {
    size_t end = xml.find("</element>", at);
    std::string element = xml.substr(at, end - at);
    if (element.find("<type>table</type>") == std::string::npos) continue;
    TruthTable table;
    size_t nameAt = element.find("<name>");
    size_t metaEnd = element.find("</meta>");
    if (nameAt != std::string::npos && nameAt < metaEnd) {
      table.name = XmlText(element.substr(nameAt + 6, element.find("</name>", nameAt) - nameAt - 6));
    }
    for (size_t r = element.find("<row"); r != std::string::npos; r = element.find("<row", r + 1)) {
      if (element[r + 4] != '>' && element[r + 4] != ' ') continue;  // <rowsTotal> and the like
      size_t rowEnd = element.find("</row>", r);
      std::string row = element.substr(r, rowEnd - r);
      const bool deleted = row.rfind("<row deleted=\"1\"", 0) == 0;
      Row values;
      for (size_t c = row.find("<column>"); c != std::string::npos; c = row.find("<column>", c + 1)) {
        std::string column = row.substr(c, row.find("</column>", c) - c);
        size_t open = column.find("<content>");
        values.push_back(open == std::string::npos
                             ? "null"
                             : XmlText(column.substr(open + 9, column.find("</content>") - open - 9)));
      }
      (deleted ? table.deletedRows : table.liveRows).push_back(values);
    }
    tables.push_back(table);
  }
  return tables;
}

// Numbers compared by value: the ground truth writes some reals with a trailing zero
// ("-2256388984.27430"), SQLite with 15 digits. NULL is "NULL" in the ground truth.
std::string Canonical(const std::string& cell) {
  if (cell == "NULL") return "null";
  if (cell.empty()) return cell;
  char* end = nullptr;
  double value = std::strtod(cell.c_str(), &end);
  if (end == cell.c_str() + cell.size() && cell.find_first_of(" \t\n") == std::string::npos) {
    return engine::FormatReal(value);
  }
  return cell;
}

std::multiset<Row> CanonicalRows(const std::vector<Row>& rows) {
  std::multiset<Row> out;
  for (Row row : rows) {
    for (auto& cell : row) cell = Canonical(cell);
    out.insert(row);
  }
  return out;
}

// What SQLite itself reads from the table, in the preview's plain text.
std::vector<Row> SqliteRows(const std::string& path, const std::string& table) {
  std::string quoted = "\"";
  for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  quoted += "\"";
  std::string select;
  for (const auto& column : fixture::Query(path, "SELECT name FROM pragma_table_info(" +
                                                     std::string("'") + [&] {
                                                       std::string q;
                                                       for (char c : table) q += c == '\'' ? std::string("''") : std::string(1, c);
                                                       return q;
                                                     }() + "')")) {
    std::string c = "\"";
    for (char ch : column[0]) c += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    c += "\"";
    select += (select.empty() ? "" : ", ") +
              ("CASE typeof(" + c + ") WHEN 'null' THEN 'null' WHEN 'real' THEN printf('%!.17g', " + c +
               ") WHEN 'blob' THEN 'x''' || lower(hex(" + c + ")) || '''' ELSE " + c + " END");
  }
  return fixture::Query(path, "SELECT " + select + " FROM " + quoted);
}

// How many of `got` the ground truth holds.
size_t RowsInTruth(const std::multiset<Row>& got, const std::vector<Row>& liveRows) {
  const std::multiset<Row> truth = CanonicalRows(liveRows);
  size_t matched = 0;
  for (const Row& row : got) matched += truth.count(row) > 0;
  return matched;
}

using FolderCounts = std::map<std::string, std::pair<size_t, size_t>>;  // matched, expected

void PrintPerFolder(const std::string& label, const FolderCounts& perFolder) {
  std::cout << label << " per folder:";
  for (const auto& [folder, counts] : perFolder) {
    std::cout << " " << folder << ": " << counts.first << "/" << counts.second;
  }
  std::cout << "\n";
}

TEST(CorpusTest, EveryLiveRowIsPreviewedAsTheGroundTruthHasIt) {
  const auto corpus = CorpusWithTruth();
  if (corpus.empty()) CORPUS_MISSING();
  // Tables whose rows the preview cannot reach: a virtual table keeps them in its
  // shadow tables (root page 0).
  const std::set<std::string> unreachable = {"06-01.db/coordinates", "06-02.db/coordinates",
                                             "06-03.db/users"};
  FolderCounts perFolder;
  fixture::TempDir dir;
  for (const auto& [db, xml, file, folder] : corpus) {
    SCOPED_TRACE(db);
    std::string copy = dir.File(file);
    fs::copy_file(db, copy, fs::copy_options::overwrite_existing);
    fixture::EngineHarness h;
    h.port.plainCells = true;
    h.Repair(db);
    for (const TruthTable& table : GroundTruthRows(xml)) {
      SCOPED_TRACE(table.name);
      perFolder[folder].second += table.liveRows.size();
      const auto recovered = RecoveredTable(h.engine, table.name, false);
      ASSERT_TRUE(recovered.has_value());
      const std::string& tableName = *recovered;
      h.Preview(tableName);
      std::multiset<Row> got = CanonicalRows(h.port.GridRows());
      perFolder[folder].first += RowsInTruth(got, table.liveRows);
      if (unreachable.count(file + "/" + table.name)) {
        EXPECT_TRUE(got.empty()) << "now reachable: take it off the list";
        continue;
      }
      // Every row SQLite reads, exactly; the ground truth differs from its own files
      // in a few places (see the per-folder figures).
      EXPECT_EQ(got, CanonicalRows(SqliteRows(copy, tableName)));
    }
  }
  PrintPerFolder("live rows matched / expected", perFolder);
}

}  // namespace

namespace {

TEST(CorpusTest, EverySavedTableHoldsWhatSqliteReadsFromTheOriginal) {
  const auto corpus = CorpusWithTruth();
  if (corpus.empty()) CORPUS_MISSING();
  const std::set<std::string> unreachable;
  FolderCounts perFolder;
  fixture::TempDir dir;
  for (const auto& [db, xml, file, folder] : corpus) {
    SCOPED_TRACE(db);
    const std::string copy = dir.File(file);
    fs::copy_file(db, copy, fs::copy_options::overwrite_existing);
    const std::string outFolder = dir.File("out-" + file);
    fs::create_directory(outFolder);
    fixture::EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, db, outFolder);
    ASSERT_FALSE(output.empty());
    for (const TruthTable& table : GroundTruthRows(xml)) {
      SCOPED_TRACE(table.name);
      perFolder[folder].second += table.liveRows.size();
      const std::string name = RecoveredTable(h.engine, table.name, false).value_or("");
      std::multiset<Row> saved = CanonicalRows(SqliteRows(output, name));
      perFolder[folder].first += RowsInTruth(saved, table.liveRows);
      if (unreachable.count(file + "/" + table.name)) {
        EXPECT_TRUE(saved.empty()) << "now reachable: take it off the list";
        continue;
      }
      EXPECT_EQ(saved, CanonicalRows(SqliteRows(copy, name)));
    }
  }
  PrintPerFolder("live rows saved / expected", perFolder);
}

}  // namespace

namespace {

TEST(CorpusTest, EveryDeletedRowOfTheGroundTruthIsCarved) {
  const auto corpus = CorpusWithTruth();
  if (corpus.empty()) CORPUS_MISSING();
  FolderCounts perFolder;
  size_t carvedRows = 0;
  for (const auto& [db, xml, file, folder] : corpus) {
    SCOPED_TRACE(db);
    fixture::EngineHarness h;
    h.port.plainCells = true;
    h.Repair(db);
    for (const TruthTable& table : GroundTruthRows(xml)) {
      SCOPED_TRACE(table.name);
      perFolder[folder].second += table.deletedRows.size();
      const auto companion = RecoveredTable(h.engine, table.name, true);
      if (!companion) {
        EXPECT_TRUE(table.deletedRows.empty());
        continue;
      }
      ASSERT_TRUE(h.Preview(*companion));
      const std::multiset<Row> carved = CanonicalRows(h.port.GridRows());
      for (const Row& row : CanonicalRows(table.deletedRows)) {
        EXPECT_EQ(carved.count(row), 1u) << row[0];
        perFolder[folder].first += carved.count(row) > 0;
      }
      // Whatever is carved is a row the table had: deleted, or one the file lost
      // (09-01 holds fewer rows than its ground truth).
      std::multiset<Row> truth = CanonicalRows(table.deletedRows);
      for (const Row& row : CanonicalRows(table.liveRows)) truth.insert(row);
      for (const Row& row : carved) EXPECT_GT(truth.count(row), 0u) << row[0];
      carvedRows += carved.size();
    }
  }
  PrintPerFolder("deleted rows carved / expected", perFolder);
  std::cout << "rows carved in all: " << carvedRows << ", each a row of the ground truth\n";
}

}  // namespace
