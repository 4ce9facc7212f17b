// The damaged file as the engine reads it once the open has checked its header:
// the file, its page source, the usable size and text encoding, and the master
// table's leaf pages. Every reading operation takes it by reference.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/reader/format.h"
#include "engine/reader/page_reader.h"
#include "engine/reader/rollback_journal.h"
#include "engine/reader/wal_overlay.h"
#include "platform/random_access_file.h"

namespace engine {

// Lifetime: owned by the engine facade from one open to the next; `pages` reads
// through `file`. Thread: the worker of the current job only.
struct Database {
  std::unique_ptr<platform::RandomAccessFile> file;  // read-only, never written
  std::unique_ptr<WalOverlay> wal;  // "FILE-wal" when it lies beside; read-only too
  std::unique_ptr<RollbackJournal> journal;  // "FILE-journal" when it lies beside; read-only
  PageReader pages;                 // the page source: the file under the log's commits
  uint32_t usableSize = 0;  // page size minus the reserved bytes at each page end
  format::TextEncoding textEncoding = format::TextEncoding::Utf8;
  bool pageSizeInferred = false;           // the stored page size was unusable
  uint32_t storedPageSize = 0;  // a power of two the header stated that did not fit the file
  std::vector<uint64_t> masterLeafPages;   // page numbers, in walk order

  bool IsOpen() const { return file != nullptr && pages.PageSize() != 0; }
};

}  // namespace engine
