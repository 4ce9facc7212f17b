#include "engine/records/record_values.h"

namespace engine {

bool DecodeRecordValues(const LeafCell& cell, format::TextEncoding encoding,
                        std::vector<RecordField>& fields, std::vector<RecordValue>& values) {
  const uint8_t* payload = cell.payload.data();
  const size_t size = cell.payload.size();
  if (!ParseRecordHeader(payload, size, &fields)) {
    values.clear();
    return false;
  }
  values.resize(fields.size());  // elements kept from the last record keep their storage
  for (size_t i = 0; i < fields.size(); ++i) {
    const RecordField& f = fields[i];
    const size_t start = f.offset < size ? static_cast<size_t>(f.offset) : size;
    // Past the size the cell states (bounded by the file) there is nothing to read.
    const uint64_t possible = static_cast<uint64_t>(cell.possibleSize);
    const uint64_t maxSize = f.offset < possible ? possible - f.offset : 0;
    DecodeValueInto(f.serialType, payload + start, size - start, encoding, maxSize, values[i].value);
    values[i].storedInCell = f.offset + f.size <= cell.localSize;
  }
  return true;
}

}  // namespace engine
