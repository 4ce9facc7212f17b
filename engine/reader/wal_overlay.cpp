#include "engine/reader/wal_overlay.h"

#include <algorithm>

#include "engine/reader/coding.h"
#include "platform/file_status.h"

namespace engine {
namespace {

constexpr uint32_t kMagicLittleEndian = 0x377f0682;  // checksums of little-endian words
constexpr uint32_t kMagicBigEndian = 0x377f0683;     // of big-endian words
constexpr uint32_t kFormatVersion = 3007000;
constexpr size_t kHeaderSize = 32;
constexpr size_t kChecksummedHeader = 24;
constexpr size_t kFrameHeaderSize = 24;
constexpr size_t kChecksummedFrameHeader = 8;

struct Checksum {
  uint32_t s0 = 0;
  uint32_t s1 = 0;
};

// The log's running checksum over `bytes` (a multiple of 8), continuing `sum`.
void AddChecksum(const uint8_t* bytes, size_t size, bool bigEndian, Checksum& sum) {
  auto word = [&](const uint8_t* p) {
    return bigEndian ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                     : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
  };
  for (size_t i = 0; i + 8 <= size; i += 8) {
    sum.s0 += word(bytes + i) + sum.s1;
    sum.s1 += word(bytes + i + 4) + sum.s0;
  }
}

uint32_t Be32(const uint8_t* p) { return ReadBigEndian32(p, p + 4); }

}  // namespace

std::unique_ptr<WalOverlay> WalOverlay::Load(const std::string& path, uint32_t pageSize) {
  const platform::FileKind kind = platform::StatusOf(path).kind;
  if (kind == platform::FileKind::Missing) return nullptr;
  std::unique_ptr<WalOverlay> wal(new WalOverlay());
  wal->pageSize_ = pageSize;
  wal->summary_.path = path;
  wal->summary_.state = WalSummary::State::Ignored;
  // A FIFO, a device or a folder under the log's name is no log. It is not even
  // opened (a FIFO could block a read, a device could answer one), and it is named
  // in the log with the reason, not passed over in silence.
  if (kind != platform::FileKind::Regular) {
    wal->summary_.ignoredBecause = "it is not a regular file";
    return wal;
  }
  std::string error;
  wal->file_ = platform::RandomAccessFile::Open(path, &error);
  if (!wal->file_) {
    wal->summary_.ignoredBecause = "it cannot be opened (" + error + ")";
    return wal;
  }
  wal->Scan(pageSize);
  return wal;
}

void WalOverlay::Scan(uint32_t pageSize) {
  summary_.state = WalSummary::State::Ignored;
  uint8_t header[kHeaderSize] = {};
  if (file_->ReadAt(0, kHeaderSize, header) < kHeaderSize) {
    summary_.ignoredBecause = file_->Size() == 0 ? "it is empty" : "its header is cut short";
    return;
  }
  const uint32_t magic = Be32(header);
  if (magic != kMagicLittleEndian && magic != kMagicBigEndian) {
    summary_.ignoredBecause = "its header is not a write-ahead log's";
    return;
  }
  const bool bigEndian = magic == kMagicBigEndian;
  if (Be32(header + 4) != kFormatVersion) {
    summary_.ignoredBecause = "its format version " + std::to_string(Be32(header + 4)) + " is unknown";
    return;
  }
  if (Be32(header + 8) != pageSize) {
    summary_.ignoredBecause = "its page size " + std::to_string(Be32(header + 8)) +
                              " differs from the database's " + std::to_string(pageSize);
    return;
  }
  Checksum sum;
  AddChecksum(header, kChecksummedHeader, bigEndian, sum);
  if (sum.s0 != Be32(header + 24) || sum.s1 != Be32(header + 28)) {
    summary_.ignoredBecause = "its header checksum does not hold";
    return;
  }
  const uint32_t salt1 = Be32(header + 16);
  const uint32_t salt2 = Be32(header + 20);

  const uint64_t frameSize = kFrameHeaderSize + pageSize;
  const uint64_t whole = (static_cast<uint64_t>(file_->Size()) - kHeaderSize) / frameSize;
  summary_.framesInFile = whole;
  std::vector<uint8_t> frame(frameSize);
  bool valid = true;      // every frame so far had the header's salts and a holding checksum
  size_t lastCommit = 0;  // frames_ entries up to here are committed
  uint64_t firstBad = 0;
  for (uint64_t i = 0; i < whole; ++i) {
    const uint64_t offset = kHeaderSize + i * frameSize;
    file_->ReadAt(static_cast<int64_t>(offset), frameSize, frame.data());
    const uint32_t page = Be32(frame.data());
    const uint32_t commitSize = Be32(frame.data() + 4);
    if (valid) {
      if (Be32(frame.data() + 8) != salt1 || Be32(frame.data() + 12) != salt2) {
        valid = false;
        firstBad = i + 1;
        summary_.badReason = "its salts are not the header's";
      } else {
        Checksum next = sum;
        AddChecksum(frame.data(), kChecksummedFrameHeader, bigEndian, next);
        AddChecksum(frame.data() + kFrameHeaderSize, pageSize, bigEndian, next);
        if (next.s0 != Be32(frame.data() + 16) || next.s1 != Be32(frame.data() + 20) || page == 0) {
          valid = false;
          firstBad = i + 1;
          summary_.badReason = page == 0 ? "it names page 0" : "its checksum does not hold";
        } else {
          sum = next;
        }
      }
    }
    // A frame past the valid ones is still a page image SQLite wrote once.
    if (page != 0) frames_.push_back({page, offset + kFrameHeaderSize, false});
    if (valid && page != 0 && commitSize != 0) {
      lastCommit = frames_.size();
      ++summary_.transactions;
      summary_.databasePages = commitSize;
    }
  }
  for (size_t f = 0; f < lastCommit; ++f) {
    frames_[f].committed = true;
    newest_[frames_[f].page] = f;
    highestPage_ = std::max<uint64_t>(highestPage_, frames_[f].page);
  }
  for (size_t f = 0; f < frames_.size(); ++f) {
    if (!IsNewest(frames_[f])) older_[frames_[f].page].push_back(f);
  }
  summary_.framesUsed = lastCommit;
  if (lastCommit < whole) summary_.firstUnusedFrame = lastCommit + 1;
  summary_.firstBadFrame = firstBad;
  if (lastCommit > 0) {
    summary_.state = WalSummary::State::Applied;
  } else {
    summary_.ignoredBecause = whole == 0 ? "it holds no frame" : "it holds no committed transaction";
  }
}

const WalFrame* WalOverlay::NewestFrame(uint64_t page) const {
  auto found = newest_.find(page);
  return found == newest_.end() ? nullptr : &frames_[found->second];
}

uint64_t WalOverlay::CommittedPagesAbove(uint64_t page) const {
  uint64_t count = 0;
  for (const auto& entry : newest_) count += entry.first > page ? 1 : 0;
  return count;
}

std::vector<const WalFrame*> WalOverlay::OlderFrames(uint64_t page) const {
  std::vector<const WalFrame*> frames;
  auto found = older_.find(page);
  if (found == older_.end()) return frames;
  for (size_t f : found->second) frames.push_back(&frames_[f]);
  return frames;
}

void WalOverlay::ReadFrame(const WalFrame& frame, uint8_t* out) const {
  file_->ReadAt(static_cast<int64_t>(frame.dataOffset), pageSize_, out);
}

void WalOverlay::ReadFrameRange(const WalFrame& frame, uint32_t offset, size_t length,
                                uint8_t* out) const {
  file_->ReadAt(static_cast<int64_t>(frame.dataOffset + offset), length, out);
}

}  // namespace engine
