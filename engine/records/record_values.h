// The values of one table record, decoded from a leaf cell's assembled payload.
#pragma once

#include <vector>

#include "engine/reader/format.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/record.h"
#include "engine/records/value.h"

namespace engine {

struct RecordValue {
  Value value;
  bool storedInCell = false;  // every byte of it lies in the cell, none on overflow pages
  // Its bytes run past where the cell's overflow chain broke (a page met before,
  // past the end of the file): a text or blob keeps the bytes that survive, a
  // number reads the missing ones as zeros.
  bool cutShort = false;
};

// The values of `values` cut short where their overflow chain broke.
uint32_t CountCutValues(const std::vector<RecordValue>& values);

// Decodes every value the record header of `cell` lists into `values` (resized; the
// elements are reused from call to call). `fields` is scratch space. A cell whose
// header cannot be read, or lists more values than a table has columns
// (kMaxRecordValues), gives no values and false: no list of its values is built.
bool DecodeRecordValues(const LeafCell& cell, format::TextEncoding encoding,
                        std::vector<RecordField>& fields, std::vector<RecordValue>& values);

// The kinds of the values of the table leaf cell at `at` of `page`, from its
// record header alone (nothing of the values, no overflow page, is read). False
// when the header does not lie whole in the cell's local part, names a serial
// type no record uses, or lists more than kMaxRecordValues values.
bool CellValueKinds(const uint8_t* page, uint32_t usable, uint32_t at, std::vector<Value::Kind>& kinds);

}  // namespace engine
