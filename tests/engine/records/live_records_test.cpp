// Reading a table's live records: headers that list more values than any table has,
// and values cut short where their overflow chain broke.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/records/record_values.h"
#include "tests/fixture/fixture_db.h"
#include "tests/fixture/save_harness.h"

namespace {

using fixture::EngineHarness;
using fixture::TempDir;
using Rows = std::vector<std::vector<std::string>>;

constexpr char kCutLine[] = "Value(s) cut short where their overflow pages were lost : 1";

bool Logged(const EngineHarness& h, const std::string& line) {
  const auto lines = h.port.LogLines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool LoggedStarting(const EngineHarness& h, const std::string& start) {
  const auto lines = h.port.LogLines();
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

TEST(LiveRecordsTest, AHeaderOfMoreValuesThanATableHasColumnsBuildsNoValues) {
  // A whole cell whose header lists `count` NULLs: its size varint, then a zero byte each.
  struct Case {
    const char* name;
    size_t count;
    bool decoded;
  } cases[] = {
      {"as many values as a table can have columns", engine::kMaxRecordValues, true},
      {"one value more", engine::kMaxRecordValues + 1, false},
      {"40,000 values", 40000, false},
      {"a million values", 1000000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint64_t headerSize = 3 + c.count;  // a three-byte size varint for all of these
    engine::LeafCell cell;
    cell.payload.resize(headerSize);
    cell.payload[0] = static_cast<uint8_t>(0x80 | (headerSize >> 14));
    cell.payload[1] = static_cast<uint8_t>(0x80 | ((headerSize >> 7) & 0x7F));
    cell.payload[2] = static_cast<uint8_t>(headerSize & 0x7F);
    cell.payloadSize = cell.possibleSize = static_cast<int64_t>(headerSize);
    cell.localSize = cell.payload.size();
    cell.complete = true;
    std::vector<engine::RecordField> fields;
    std::vector<engine::RecordValue> values(3);  // left from an earlier record
    EXPECT_EQ(engine::DecodeRecordValues(cell, engine::format::TextEncoding::Utf8, fields, values), c.decoded);
    EXPECT_EQ(values.size(), c.decoded ? c.count : 0u);
    // The header is read no further than one value past the limit.
    EXPECT_LE(fields.size(), engine::kMaxRecordValues + 1);
  }
}

TEST(LiveRecordsTest, ARowWhoseHeaderListsTooManyValuesIsCountedButNotWritten) {
  // Row 3's record is a NULL and a 60,000-byte zero blob, whole in its cell on
  // 65536-byte pages: its header (size 5, then the types 0 and 120012) is made a
  // header of 40,006 bytes, 40,000 NULLs (the blob's zeros) and a blob of the
  // 19,999 bytes left, 40,001 values. The leaf keeps rows 1, 2 and 4 beside it.
  TempDir dir;
  const std::string path = dir.File("header.db");
  fixture::DbOptions options;
  options.pageSize = 65536;
  fixture::BuildDatabase(path, options,
                         "CREATE TABLE t(id INTEGER PRIMARY KEY, b);"
                         "INSERT INTO t VALUES(1, 'one'), (2, 'two'), (3, zeroblob(60000)), (4, 'four');");
  const std::vector<uint8_t> header{0x05, 0x00, 0x87, 0xA9, 0x4C};  // 5; 0; varint 120012
  const std::vector<uint8_t> file = fixture::ReadFile(path);
  const auto at = std::search(file.begin(), file.end(), header.begin(), header.end());
  ASSERT_NE(at, file.end());
  ASSERT_EQ(std::search(at + 1, file.end(), header.begin(), header.end()), file.end());
  const int64_t payload = at - file.begin();
  fixture::PatchBytes(path, payload, {0x82, 0xB8, 0x46, 0x00, 0x00});  // varint 40006; 0; 0
  fixture::PatchBytes(path, payload + 3 + 40000, {0x82, 0xB8, 0x4A});  // varint 40010: a 19,999-byte blob
  EngineHarness h;
  const std::string output = fixture::RepairAndSave(h, path, dir.path());
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(fixture::Query(output, "SELECT id, b FROM t ORDER BY id"), (Rows{{"1", "one"}, {"2", "two"}, {"4", "four"}}));
  EXPECT_TRUE(Logged(h, "Total record(s) present    : 4"));
  EXPECT_TRUE(Logged(h, "Total record(s) repaired    : 3"));
  EXPECT_FALSE(LoggedStarting(h, "Table t: ")) << "no record with extra values";
  EXPECT_TRUE(fixture::Query(output, "SELECT name FROM sqlite_schema WHERE name LIKE 'lost%'").empty());
}

TEST(LiveRecordsTest, ALiveValueCutShortWhereItsChainBrokeIsCountedAndKeepsItsPrefix) {
  // A 200,000-byte text on 4096-byte pages: 3,584 of its bytes stand in the cell
  // (the local part of a 200,004-byte payload, less the 4-byte header), 4,092 on
  // each overflow page. The first overflow page's next pointer is damaged: the
  // text keeps the cell's bytes and that page's, 7,676 bytes.
  constexpr uint32_t kPage = 4096;
  struct Case {
    const char* name;
    bool damaged;
    uint32_t next;  // the first overflow page's new next pointer; 0: the page itself
  } cases[] = {
      {"chain intact", false, 0},
      {"chain loops back to the same page", true, 0},
      {"chain leads past the end of the file", true, 0x7FFFFFF0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("cut.db");
    fixture::BuildDatabase(path, {},
                           "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT);"
                           "INSERT INTO t VALUES(1, substr(replace(printf('%.20000c', 'x'), 'x', 'abcdefghi0'), 1, 200000));"
                           "INSERT INTO t VALUES(2, 'short');");
    const std::string body = fixture::Query(path, "SELECT body FROM t WHERE id = 1")[0][0];
    ASSERT_EQ(body.size(), 200000u);
    std::vector<uint32_t> chain;  // dbstat lists a cell's overflow pages in chain order
    for (const auto& p : fixture::BtreePages(path, "t")) {
      if (p.type == "overflow") chain.push_back(p.page);
    }
    ASSERT_GT(chain.size(), 2u);
    if (c.damaged) {
      fixture::PutBigEndian(path, static_cast<int64_t>(chain[0] - 1) * kPage, c.next ? c.next : chain[0], 4);
    }
    EngineHarness h;
    const std::string output = fixture::RepairAndSave(h, path, dir.path());
    ASSERT_FALSE(output.empty());
    const Rows rows = fixture::Query(output, "SELECT id, body FROM t ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "short"}));
    EXPECT_EQ(rows[0][1], c.damaged ? body.substr(0, 3584 + 4092) : body);
    EXPECT_EQ(Logged(h, kCutLine), c.damaged);
  }
}

}  // namespace
