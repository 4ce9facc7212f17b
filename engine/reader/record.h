// The record format: a header of serial types followed by the values' bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

struct RecordField {
  uint64_t serialType = 0;
  uint64_t offset = 0;  // of the value's first byte within the payload
  uint64_t size = 0;    // content size of the serial type
};

// The most values a table's record holds: one per column, and no table SQLite
// creates has more than 32767 columns (SQLITE_MAX_COLUMN cannot be set higher).
inline constexpr size_t kMaxRecordValues = 32767;

// Reads the record header at the start of `payload`: its size varint, then serial
// types until the header ends. Values may run past the end of `payload` (a record
// cut short); callers check offset + size against it. False when not even the
// header size can be read, and when the header lists more than kMaxRecordValues
// values: no table's record, and reading on would cost memory for each of them
// (`fields` then holds at most kMaxRecordValues + 1 entries).
bool ParseRecordHeader(const uint8_t* payload, size_t size, std::vector<RecordField>* fields);

// The sum of the content sizes of the serial types in the record header `header`
// (its size varint included), as far as the header can be read.
int64_t HeaderBodyLength(const uint8_t* header, size_t length);

// The integer value of a field of serial type 1 to 6, 8 or 9 (others give 0), read
// from the bytes that are there.
int64_t RecordInteger(const RecordField& field, const uint8_t* payload, size_t size);

}  // namespace engine
