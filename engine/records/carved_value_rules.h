// Plausibility rules for carved values: whether decoded bytes can be a record's
// text, and what a value whose serial type was lost can be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/reader/format.h"
#include "engine/records/carver_state.h"
#include "engine/records/value.h"

namespace engine::carving {

// Whether the `n` bytes at `bytes` are printable characters in `encoding`: ASCII
// ones, or UTF-16 code units of them (the first byte starting a unit).
bool LooksLikeText(const uint8_t* bytes, size_t n, format::TextEncoding encoding);

// Whether the `n` bytes at `bytes`, read as characters in `encoding`, are all
// letters of the case of `last` (a text's last byte, in UTF-8).
bool ContinuesText(char last, const uint8_t* bytes, size_t n, format::TextEncoding encoding);

// The other byte order of a UTF-16 database.
format::TextEncoding Swapped(format::TextEncoding encoding);

// Drops a UTF-8 sequence cut off at the end of `text`.
void TrimCutUtf8(std::string& text);

// The bytes of a UTF-16 text cut off after `available` that hold whole characters:
// no half code unit, no high surrogate without its pair.
size_t WholeUtf16Bytes(const uint8_t* bytes, size_t available, format::TextEncoding encoding);

// The rules by the table's columns and encoding. Made for a call; `state` must
// outlive it.
class CarvedValueRules {
 public:
  explicit CarvedValueRules(const CarverState& state) : s_(state) {}

  // Whether a decoded text can be a record's: no zero characters, valid UTF-8, and,
  // from a UTF-16 database, no sign of a wrong alignment.
  bool PlausibleText(const std::string& utf8) const;
  Value InferLostValue(const uint8_t* data, uint32_t size, size_t column) const;
  // Whether `size` bytes at `data` can be a value of `column` whose serial type was
  // lost; for the split of two lost values.
  bool LostValueFits(const uint8_t* data, uint64_t size, size_t column) const;

 private:
  const CarverState& s_;
};

}  // namespace engine::carving
