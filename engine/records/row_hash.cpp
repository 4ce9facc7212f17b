#include "engine/records/row_hash.h"

#include <cstring>

namespace engine {
namespace {

// Two lanes of a multiply-rotate hash with different constants, each finished with
// the 64-bit avalanche of MurmurHash3.
class Hasher {
 public:
  void Word(uint64_t w) {
    a_ = Rotate(a_ ^ (w * kA), 31) * kB + 0x52dce729;
    b_ = Rotate(b_ + (w * kC), 27) * kA + 0x38495ab5;
    ++count_;
  }
  void Bytes(const std::string& bytes) {
    Word(bytes.size());
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
      uint64_t w;
      std::memcpy(&w, bytes.data() + i, 8);
      Word(w);
    }
    uint64_t tail = 0;
    if (i < bytes.size()) {
      std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
      Word(tail);
    }
  }
  RowHash Finish() const {
    return {Mix(a_ ^ count_), Mix(b_ + Mix(a_))};
  }

 private:
  static constexpr uint64_t kA = 0x87c37b91114253d5ULL;
  static constexpr uint64_t kB = 0x4cf5ad432745937fULL;
  static constexpr uint64_t kC = 0x9e3779b97f4a7c15ULL;
  static uint64_t Rotate(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
  static uint64_t Mix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
  }
  uint64_t a_ = 0x243f6a8885a308d3ULL;
  uint64_t b_ = 0x13198a2e03707344ULL;
  uint64_t count_ = 0;
};

}  // namespace

RowHash HashRow(const std::vector<Value>& values, int skip) {
  Hasher h;
  for (size_t i = 0; i < values.size(); ++i) {
    if (static_cast<int>(i) == skip) continue;
    const Value& v = values[i];
    h.Word(static_cast<uint64_t>(v.kind) + 1);
    switch (v.kind) {
      case Value::Kind::Integer:
        h.Word(static_cast<uint64_t>(v.integer));
        break;
      case Value::Kind::Real: {
        uint64_t bits;
        std::memcpy(&bits, &v.real, sizeof bits);
        h.Word(bits);
        break;
      }
      case Value::Kind::Text:
      case Value::Kind::Blob:
        h.Bytes(v.bytes);
        break;
      case Value::Kind::Null:
        break;
    }
  }
  return h.Finish();
}

bool RowHashSet::Contains(RowHash h) const {
  if (slots_.empty()) return false;
  h = Stored(h);
  for (size_t i = Slot(h);; i = (i + 1) & (slots_.size() - 1)) {
    const RowHash& s = slots_[i];
    if (s == h) return true;
    if (s.high == 0 && s.low == 0) return false;
  }
}

bool RowHashSet::Insert(RowHash h) {
  if (4 * (size_ + 1) > 3 * slots_.size()) Grow();
  h = Stored(h);
  for (size_t i = Slot(h);; i = (i + 1) & (slots_.size() - 1)) {
    RowHash& s = slots_[i];
    if (s == h) return false;
    if (s.high == 0 && s.low == 0) {
      s = h;
      ++size_;
      return true;
    }
  }
}

void RowHashSet::Grow() {
  std::vector<RowHash> old;
  old.swap(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, RowHash{});
  size_ = 0;
  for (const RowHash& h : old) {
    if (h.high != 0 || h.low != 0) Insert(h);
  }
}

}  // namespace engine
