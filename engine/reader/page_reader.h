// Page-granular access to the damaged file: one positioned read per page visited,
// zero-filled past the end of the file. With a write-ahead log, a page a committed
// frame holds is read from the log instead: every page read of the engine goes
// through here, so the whole engine sees the database as its last commit left it.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/rollback_journal.h"
#include "engine/reader/wal_overlay.h"
#include "platform/random_access_file.h"

namespace engine {

// One version of a page that the log replaced or the rollback journal keeps: the
// main file's own (`frame` and `journal` null), a frame not in use, or the image a
// journal record holds.
struct PageImage {
  uint64_t page = 0;
  const WalFrame* frame = nullptr;
  const JournalRecord* journal = nullptr;
};

// A view of the open file cut into pages. Holds no ownership of the file, which must
// outlive it. Worker thread only.
class PageReader {
 public:
  PageReader() = default;
  // `wal` (may be null) must outlive the reader too; it counts only when applied.
  PageReader(const platform::RandomAccessFile* file, uint32_t pageSize,
             const WalOverlay* wal = nullptr, const RollbackJournal* journal = nullptr);

  uint32_t PageSize() const { return pageSize_; }
  // Pages that start inside the file, the last one perhaps cut short; with a log,
  // the database size its last commit states.
  uint64_t PageCount() const { return pageCount_; }
  // A page number that names a page of the file (1 to PageCount()).
  bool IsValidPage(uint64_t pageNumber) const {
    return pageNumber >= 1 && pageNumber <= pageCount_;
  }

  // Reads the whole page into `out` (resized to the page size). False, with `out`
  // untouched, for a page number that names no page of the file.
  bool ReadPage(uint64_t pageNumber, std::vector<uint8_t>& out) const;

  // Reads pages `first` to `first + count - 1` into `out` (count x the page size
  // bytes) with one read of the file: a sequential pass over many pages. Pages
  // past the end of the file are zero; the log's newer versions are applied.
  void ReadPages(uint64_t first, uint64_t count, uint8_t* out) const;

  // Reads the first `length` bytes of a page (its b-tree header, say) into `out`.
  bool ReadPagePrefix(uint64_t pageNumber, size_t length, uint8_t* out) const;
  // Reads `length` bytes from `offset` within a page (clipped to the page) into `out`.
  bool ReadPageRange(uint64_t pageNumber, uint32_t offset, size_t length, uint8_t* out) const;

  // The log in use, or null.
  const WalOverlay* Wal() const { return wal_; }
  // The main file's own version of a page, whatever the log holds. False for a
  // page that does not start inside the main file.
  bool ReadMainFilePage(uint64_t pageNumber, std::vector<uint8_t>& out) const;
  // The versions of pages the log replaced, where rows changed or deleted since
  // still stand: the main file's own version of each page a committed frame holds,
  // then every frame not in use (older commits, an uncommitted tail, frames past a
  // break), in log order; then the images of the rollback journal's valid records,
  // in journal order. Empty without a log or a journal.
  std::vector<PageImage> SupersededImages() const;
  bool HasSupersededImage(uint64_t pageNumber) const;
  // Those of one page, the main file's first.
  std::vector<PageImage> SupersededImagesOf(uint64_t pageNumber) const;
  // Reads one of them (resized to the page size).
  void ReadImage(const PageImage& image, std::vector<uint8_t>& out) const;

 private:
  const platform::RandomAccessFile* file_ = nullptr;
  uint32_t pageSize_ = 0;
  uint64_t pageCount_ = 0;
  uint64_t mainPages_ = 0;
  const WalOverlay* wal_ = nullptr;  // applied, or null
  const RollbackJournal* journal_ = nullptr;  // read, or null
};

}  // namespace engine
