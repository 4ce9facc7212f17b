#include "engine/records/record_values.h"

#include "engine/reader/coding.h"

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
  // The chain ended before the bytes the file could hold: a page met before, one
  // past the end of the file. Values reaching past that point are not whole.
  const bool chainBroke = cell.payload.size() < static_cast<uint64_t>(cell.possibleSize);
  for (size_t i = 0; i < fields.size(); ++i) {
    const RecordField& f = fields[i];
    const size_t start = f.offset < size ? static_cast<size_t>(f.offset) : size;
    // Past the size the cell states (bounded by the file) there is nothing to read.
    const uint64_t possible = static_cast<uint64_t>(cell.possibleSize);
    const uint64_t maxSize = f.offset < possible ? possible - f.offset : 0;
    DecodeValueInto(f.serialType, payload + start, size - start, encoding, maxSize, values[i].value);
    values[i].storedInCell = f.offset + f.size <= cell.localSize;
    values[i].cutShort = chainBroke && f.size != 0 && f.offset + f.size > size;
  }
  return true;
}

uint32_t CountCutValues(const std::vector<RecordValue>& values) {
  uint32_t cut = 0;
  for (const RecordValue& v : values) cut += v.cutShort ? 1 : 0;
  return cut;
}

bool CellValueKinds(const uint8_t* page, uint32_t usable, uint32_t at, std::vector<Value::Kind>& kinds) {
  kinds.clear();
  if (at >= usable) return false;
  const uint8_t* end = page + usable;
  int64_t payload = 0, rowid = 0, headerSize = 0;
  const uint8_t* p = ReadVarint64(page + at, end, &payload);
  const uint8_t* record = p ? ReadVarint64(p, end, &rowid) : nullptr;
  const uint8_t* types = record ? ReadVarint64(record, end, &headerSize) : nullptr;
  if (!types || payload <= 0 || headerSize < types - record || headerSize > payload ||
      headerSize > format::TableLeafLocalPayload(payload, usable) || headerSize > end - record) {
    return false;
  }
  const uint8_t* headerEnd = record + headerSize;
  while (types < headerEnd) {
    int64_t type = 0;
    types = ReadVarint64(types, headerEnd, &type);
    if (!types || type < 0 || type == 10 || type == 11) return false;
    Value::Kind kind = Value::Kind::Null;
    if (type >= 12) kind = type % 2 == 0 ? Value::Kind::Blob : Value::Kind::Text;
    else if (type == 7) kind = Value::Kind::Real;
    else if (type != 0) kind = Value::Kind::Integer;
    kinds.push_back(kind);
    if (kinds.size() > kMaxRecordValues) return false;  // no table's record
  }
  return true;
}

}  // namespace engine
