// Where the records a read produces go: the grid, the output database, a test.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/records/record_values.h"

namespace engine {

// Thread: called on the worker, one record at a time, in reading order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // One record: its values in record order (the stored columns); the rowid when
  // `rowidKnown`. The sink may take the values (swap them out); the caller reuses
  // the vector for the next record.
  virtual void Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) = 0;
};

}  // namespace engine

namespace engine {

// Hands on only the records of `count` values (0: every record): a lost-and-found
// table's rows among the other records of its pages.
class ValueCountFilter : public RowSink {
 public:
  ValueCountFilter(RowSink& next, size_t count) : next_(next), count_(count) {}
  void Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) override {
    if (count_ != 0 && values.size() != count_) return;
    ++passed_;
    next_.Row(values, rowidKnown, rowid);
  }
  uint64_t Passed() const { return passed_; }

 private:
  RowSink& next_;
  size_t count_;
  uint64_t passed_ = 0;
};

// A sink that calls a function: for walks whose records serve the walk itself.
template <typename F>
class CallbackSink : public RowSink {
 public:
  explicit CallbackSink(F f) : f_(std::move(f)) {}
  void Row(std::vector<RecordValue>& values, bool rowidKnown, int64_t rowid) override {
    f_(values, rowidKnown, rowid);
  }

 private:
  F f_;
};

}  // namespace engine
