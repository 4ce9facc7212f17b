// The write-ahead log beside a database ("FILE-wal"): its committed frames stand in
// for the main file's pages, the newest frame of a page winning. Read-only: the log
// and its "-shm" index are never written, and nothing is checkpointed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/random_access_file.h"

namespace engine {

// What reading the log found, for the run's log line.
struct WalSummary {
  enum class State { Absent, Ignored, Applied };
  State state = State::Absent;
  std::string path;
  std::string ignoredBecause;  // State::Ignored: why no frame was used
  uint64_t framesUsed = 0;     // frames of the committed transactions
  uint64_t transactions = 0;   // commit frames reached
  uint64_t framesInFile = 0;   // whole frames the file holds
  uint64_t firstUnusedFrame = 0;  // 1-based; 0 when every frame was used
  uint64_t firstBadFrame = 0;     // 1-based: the first frame that breaks the log; 0 none
  std::string badReason;          // what is wrong with it
  uint64_t databasePages = 0;  // the database size of the last commit
};

// One frame of the log. `committed`: it belongs to a transaction whose commit frame
// was reached; the others (an uncommitted tail, frames past a broken checksum)
// still hold page images that were written once.
struct WalFrame {
  uint32_t page = 0;
  uint64_t dataOffset = 0;  // of the page image within the log file
  bool committed = false;
};

// Thread: the worker of the current job only. The log file closes with the object.
class WalOverlay {
 public:
  // Reads the log at `path` for a database of `pageSize` bytes a page. Null when
  // there is no such file; an overlay that applies nothing (summary Ignored) when
  // the path is not a regular file or cannot be opened, or the log's header is
  // unusable or names another page size. Never blocks on what the path names.
  static std::unique_ptr<WalOverlay> Load(const std::string& path, uint32_t pageSize);

  const WalSummary& Summary() const { return summary_; }
  bool Applied() const { return summary_.state == WalSummary::State::Applied; }
  uint64_t DatabasePages() const { return summary_.databasePages; }
  // The highest page number a committed frame holds.
  uint64_t HighestPage() const { return highestPage_; }
  // How many distinct pages above `page` committed frames hold.
  uint64_t CommittedPagesAbove(uint64_t page) const;

  // The newest committed frame of `page`, or null.
  const WalFrame* NewestFrame(uint64_t page) const;
  // Every whole frame of the file, in log order (committed or not).
  const std::vector<WalFrame>& Frames() const { return frames_; }
  // Whether `frame` is its page's newest committed frame: the version in use.
  bool IsNewest(const WalFrame& frame) const { return NewestFrame(frame.page) == &frame; }
  // Whether the log holds a version of `page` other than the one in use.
  bool HoldsOlderVersion(uint64_t page) const { return older_.count(page) != 0; }
  // Those versions, in log order.
  std::vector<const WalFrame*> OlderFrames(uint64_t page) const;
  // Reads the page image of `frame` (pageSize bytes) into `out`.
  void ReadFrame(const WalFrame& frame, uint8_t* out) const;
  // Reads `length` bytes from `offset` within the page image (the caller clips).
  void ReadFrameRange(const WalFrame& frame, uint32_t offset, size_t length, uint8_t* out) const;

 private:
  WalOverlay() = default;
  void Scan(uint32_t pageSize);

  std::unique_ptr<platform::RandomAccessFile> file_;
  uint32_t pageSize_ = 0;
  WalSummary summary_;
  std::vector<WalFrame> frames_;
  std::unordered_map<uint64_t, size_t> newest_;  // page -> index in frames_
  std::unordered_map<uint64_t, std::vector<size_t>> older_;  // page -> frames not in use
  uint64_t highestPage_ = 0;           // pages with a frame not in use
};

}  // namespace engine
