#include "engine/reader/record.h"

#include "engine/reader/coding.h"

namespace engine {

bool ParseRecordHeader(const uint8_t* payload, size_t size, std::vector<RecordField>* fields) {
  fields->clear();
  const uint8_t* end = payload + size;
  int64_t headerSize = 0;
  const uint8_t* p = ReadVarint64(payload, end, &headerSize);
  if (!p || headerSize < p - payload) return false;
  // A header claiming more bytes than the payload holds is read as far as it goes.
  const uint8_t* headerEnd = headerSize < static_cast<int64_t>(size) ? payload + headerSize : end;
  uint64_t offset = static_cast<uint64_t>(headerSize);
  while (p < headerEnd) {
    int64_t type = 0;
    const uint8_t* next = ReadVarint64(p, headerEnd, &type);
    if (!next) break;
    p = next;
    RecordField field;
    field.serialType = static_cast<uint64_t>(type);
    field.offset = offset;
    field.size = SerialTypeSize(field.serialType);
    offset += field.size;
    fields->push_back(field);
    if (fields->size() > kMaxRecordValues) return false;
  }
  return true;
}

int64_t HeaderBodyLength(const uint8_t* header, size_t length) {
  std::vector<RecordField> fields;
  if (!ParseRecordHeader(header, length, &fields)) return 0;
  int64_t total = 0;
  for (const RecordField& f : fields) total += static_cast<int64_t>(f.size);
  return total;
}

int64_t RecordInteger(const RecordField& field, const uint8_t* payload, size_t size) {
  const uint8_t* p = payload + (field.offset < size ? field.offset : size);
  const uint8_t* end = payload + size;
  switch (field.serialType) {
    case 1: case 2: case 3: case 4: case 5: case 6: {
      const unsigned width = static_cast<unsigned>(field.size);
      uint64_t raw = ReadBigEndian(p, end, width);
      // Sign-extend from the stored width.
      const unsigned shift = 64 - 8 * width;
      return static_cast<int64_t>(raw << shift) >> shift;
    }
    case 8: return 0;
    case 9: return 1;
    default: return 0;
  }
}

}  // namespace engine
