// Fingerprints of rows: equal rows agree, rows differing in kind, length or bytes do not.
#include <gtest/gtest.h>

#include "engine/records/row_hash.h"

namespace engine {
namespace {

Value Text(std::string s, Value::Kind kind = Value::Kind::Text) {
  Value v;
  v.kind = kind;
  v.bytes = std::move(s);
  return v;
}

Value Real(double d) {
  Value v;
  v.kind = Value::Kind::Real;
  v.real = d;
  return v;
}

TEST(RowHashTest, RowsThatDifferAnywhereHashApart) {
  const std::vector<Value> base{Value::Integer(1), Text("ab"), Value::Null()};
  const std::vector<std::vector<Value>> others{
      {Value::Integer(2), Text("ab"), Value::Null()},
      {Real(1.0), Text("ab"), Value::Null()},
      {Text("1"), Text("ab"), Value::Null()},
      {Value::Integer(1), Text("ab", Value::Kind::Blob), Value::Null()},
      {Value::Integer(1), Text("ab"), Text("")},
      {Value::Integer(1), Text(std::string("ab\0", 3)), Value::Null()},
      {Value::Integer(1), Text("a"), Text("b")},
      {Value::Integer(1), Text("ab")},
  };
  const RowHash h = HashRow(base, -1);
  EXPECT_EQ(HashRow(base, -1), h);
  for (const auto& other : others) EXPECT_FALSE(HashRow(other, -1) == h);
  // The skipped column (the rowid's own) does not count.
  EXPECT_EQ(HashRow({Value::Integer(9), Text("ab"), Value::Null()}, 0), HashRow(base, 0));
}

TEST(RowHashTest, SetsKeepEveryFingerprintAcrossGrowth) {
  RowHashSet set;
  SortedRowHashes sorted;
  for (int64_t i = 0; i < 5000; ++i) {
    const RowHash h = HashRow({Value::Integer(i)}, -1);
    EXPECT_TRUE(set.Insert(h));
    EXPECT_FALSE(set.Insert(h));
    sorted.Add(h);
  }
  sorted.Seal();
  EXPECT_EQ(set.Size(), 5000u);
  for (int64_t i = 0; i < 6000; ++i) {
    const RowHash h = HashRow({Value::Integer(i)}, -1);
    EXPECT_EQ(set.Contains(h), i < 5000);
    EXPECT_EQ(sorted.Contains(h), i < 5000);
  }
  EXPECT_TRUE(set.Insert(RowHash{0, 0})) << "the empty marker's value is a fingerprint too";
  EXPECT_TRUE(set.Contains(RowHash{0, 0}));
}

}  // namespace
}  // namespace engine
