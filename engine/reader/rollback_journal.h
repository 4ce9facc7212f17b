// The rollback journal beside a database ("FILE-journal"): the images of pages as
// they stood before a transaction changed them. Every valid image is an older
// version of its page, where rows changed or deleted since may still stand. Read
// only: the journal is never played back into the database, and never deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/random_access_file.h"

namespace engine {

// What reading the journal found, for the run's log line.
struct JournalSummary {
  enum class State { Ignored, Read };
  State state = State::Ignored;
  std::string path;
  std::string ignoredBecause;  // State::Ignored: why no image was used
  uint64_t imagesUsed = 0;
  bool headerLost = false;     // its header was zeroed whole (a journal kept after its commit)
  uint64_t firstBadRecord = 0;  // 1-based over the whole file: where reading stopped; 0 none
};

// One page record of the journal: the page and where its image stands in the file.
struct JournalRecord {
  uint32_t page = 0;
  uint64_t imageOffset = 0;
};

// Thread: the worker of the current job only. The file closes with the object.
class RollbackJournal {
 public:
  // Reads the journal at `path` for a database of `pageSize` bytes a page and
  // `pageCount` pages. Null when there is no such file or it is empty; a journal
  // that gives nothing (summary Ignored) when the path is not a regular file or
  // cannot be opened, or its header is unusable. Never blocks on what the path names.
  static std::unique_ptr<RollbackJournal> Load(const std::string& path, uint32_t pageSize, uint64_t pageCount);

  const JournalSummary& Summary() const { return summary_; }
  // The valid records, in file order.
  const std::vector<JournalRecord>& Records() const { return records_; }
  bool Holds(uint64_t page) const { return byPage_.count(page) != 0; }
  // The records of `page`, in file order.
  std::vector<const JournalRecord*> RecordsOf(uint64_t page) const;
  // Reads the image of `record` (the page size) into `out`.
  void ReadImage(const JournalRecord& record, uint8_t* out) const;

 private:
  RollbackJournal() = default;
  void Scan(uint64_t pageCount);
  // Reads the records of one segment from `offset` on: `count` of them, or as many
  // as the file holds when `count` is unknown; with `nonce` unknown (a zeroed
  // header), the first record's checksum tells it and the others must agree.
  // Returns false when a record's checksum or page number is wrong.
  bool ReadRecords(uint64_t offset, uint64_t count, bool countKnown, uint32_t nonce, bool nonceKnown,
                   uint64_t pageCount, uint64_t* end);

  std::unique_ptr<platform::RandomAccessFile> file_;
  uint32_t pageSize_ = 0;
  JournalSummary summary_;
  std::vector<JournalRecord> records_;
  std::unordered_map<uint64_t, std::vector<size_t>> byPage_;
  uint64_t recordsSeen_ = 0;
};

}  // namespace engine
