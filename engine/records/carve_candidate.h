// A candidate record while it is carved: the layout its cell is read with, the
// serial types read under it, the decoded record and its score.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/records/carver_state.h"
#include "engine/records/record_carver.h"

namespace engine::carving {

// Where a cell is looked for, which says what its first bytes may be.
enum class Start {
  kFreeblock,  // where a freeblock begins: the cell's first four bytes are its header
  kAfterCell,  // right after a carved cell: intact, or under the header of an old freeblock
  kWholeCell,  // anywhere: only an intact cell
};

struct Layout {
  int p = 1;                   // bytes of the payload-size varint
  int q = 1;                   // bytes of the rowid varint
  int hsb = 1;                 // bytes of the header-size varint
  bool damaged = true;         // the cell's first 4 bytes are lost
  bool headerKnown = false;    // the header size was read (it survived)
  uint64_t headerSize = 0;     // when known
  int lead = 0;                // bytes before the payload size: an interior cell's left child
  int lostTypes = 0;           // serial types among the lost bytes (at most 2)
  uint32_t typesAt = kLostBytes;  // where the serial types start, when the size is not known
  int headerLowBits = -1;      // the surviving last byte of a two-byte header size
  bool rowidKnown = false;
  int64_t rowid = 0;
  uint64_t statedPayload = 0;  // an intact cell's payload size, which the header must match
  int evidence = 0;            // what the cell's start showed: intact, or an old freeblock header
  uint32_t oldSize = 0;        // the size in that old header
  bool oldSizeLands = false;   // where it ends, another cell can begin (or the freeblock ends)
  // A live cell begins where the bytes end and ends here: the record may run under
  // it, to exactly here (0: it may not).
  uint32_t cutEnd = 0;
};

struct Shape {
  std::vector<uint64_t> types;  // with a placeholder first when it was lost
  uint64_t headerSize = 0;
  uint64_t body = 0;            // content bytes of the values whose types survived
};

struct Candidate {
  uint32_t length = 0;
  int score = kRejected;
  size_t typeCount = 0;  // serial types the header held
  bool weak = false;     // believable only when the freeblock's end or a next cell follows it
  bool empty = false;    // no value of it is known
  CarvedRecord record;
};

}  // namespace engine::carving
