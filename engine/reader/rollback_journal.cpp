#include "engine/reader/rollback_journal.h"

#include <algorithm>
#include <array>

#include "engine/reader/coding.h"
#include "platform/file_status.h"

namespace engine {
namespace {

constexpr std::array<uint8_t, 8> kMagic = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
constexpr size_t kHeaderFields = 28;  // magic, record count, nonce, original size, sector size, page size
constexpr uint32_t kCountUnknown = 0xffffffff;  // the records run to the end of the file
constexpr uint32_t kMinSector = 512;
constexpr uint32_t kMaxSector = 65536;
constexpr int kChecksumStride = 200;

uint32_t Be32(const uint8_t* p) { return ReadBigEndian32(p, p + 4); }

bool ValidSector(uint32_t size) {
  return size >= kMinSector && size <= kMaxSector && (size & (size - 1)) == 0;
}

// The journal's checksum of a page image: the nonce and every 200th byte from the
// end of the page back towards its start.
uint32_t ImageSum(const uint8_t* image, uint32_t pageSize) {
  uint32_t sum = 0;
  for (int64_t i = static_cast<int64_t>(pageSize) - kChecksumStride; i > 0; i -= kChecksumStride) sum += image[i];
  return sum;
}

}  // namespace

std::unique_ptr<RollbackJournal> RollbackJournal::Load(const std::string& path, uint32_t pageSize,
                                                       uint64_t pageCount) {
  const platform::FileStatus status = platform::StatusOf(path);
  // An empty journal is what SQLite leaves in TRUNCATE mode after a commit: no journal.
  if (status.kind == platform::FileKind::Missing || (status.kind == platform::FileKind::Regular && status.size == 0)) {
    return nullptr;
  }
  std::unique_ptr<RollbackJournal> journal(new RollbackJournal());
  journal->pageSize_ = pageSize;
  journal->summary_.path = path;
  // A FIFO, a device or a folder under the journal's name is no journal. It is not
  // even opened (a FIFO could block a read, a device could answer one), and it is
  // named in the log with the reason, not passed over in silence.
  if (status.kind != platform::FileKind::Regular) {
    journal->summary_.ignoredBecause = "it is not a regular file";
    return journal;
  }
  std::string error;
  journal->file_ = platform::RandomAccessFile::Open(path, &error);
  if (!journal->file_) {
    journal->summary_.ignoredBecause = "it cannot be opened (" + error + ")";
    return journal;
  }
  if (journal->file_->Size() == 0) return nullptr;  // emptied between the look and the open
  journal->Scan(pageCount);
  return journal;
}

void RollbackJournal::Scan(uint64_t pageCount) {
  const uint64_t size = static_cast<uint64_t>(file_->Size());
  uint8_t header[kHeaderFields] = {};
  if (file_->ReadAt(0, sizeof header, header) < sizeof header) {
    summary_.ignoredBecause = "its header is cut short";
    return;
  }
  const bool noMagic = std::all_of(header, header + kMagic.size(), [](uint8_t b) { return b == 0; });
  if (noMagic) {
    // SQLite writes the magic only once the journal is synced, and zeroes the header
    // of a journal it keeps after the commit; the records stand on either way. A
    // header whose nonce, sector and page size are left is read with them; one
    // zeroed whole has lost them: the records begin one sector in, at the first
    // sector size where a record of a page of the database stands, and the first
    // record's checksum tells the nonce.
    const uint32_t sector = Be32(header + 20);
    const bool fieldsLeft = ValidSector(sector) && Be32(header + 24) == pageSize_;
    for (uint32_t s = fieldsLeft ? sector : kMinSector; s <= kMaxSector; s *= 2) {
      uint64_t end = 0;
      if (s + 8 + uint64_t{pageSize_} > size) break;
      ReadRecords(s, 0, false, Be32(header + 12), fieldsLeft, pageCount, &end);
      if (!records_.empty() || fieldsLeft) break;
      recordsSeen_ = 0;
      summary_.firstBadRecord = 0;
    }
    if (!records_.empty()) {
      summary_.state = JournalSummary::State::Read;
      summary_.headerLost = !fieldsLeft;
    } else {
      summary_.ignoredBecause = "its header was zeroed and no page record follows it";
    }
    summary_.imagesUsed = records_.size();
    return;
  }
  if (!std::equal(kMagic.begin(), kMagic.end(), header)) {
    summary_.ignoredBecause = "its header is not a rollback journal's";
    return;
  }
  // Segment after segment: each header starts a sector, its records follow the
  // header's sector.
  for (uint64_t offset = 0; offset + kHeaderFields <= size;) {
    if (file_->ReadAt(static_cast<int64_t>(offset), sizeof header, header) < sizeof header ||
        !std::equal(kMagic.begin(), kMagic.end(), header)) {
      break;
    }
    const uint32_t count = Be32(header + 8);
    const uint32_t nonce = Be32(header + 12);
    const uint32_t sector = Be32(header + 20);
    const uint32_t pageSize = Be32(header + 24);
    if (offset == 0 && pageSize != pageSize_) {
      summary_.ignoredBecause = "its page size " + std::to_string(pageSize) + " differs from the database's " +
                                std::to_string(pageSize_);
      return;
    }
    if (!ValidSector(sector) || pageSize != pageSize_) break;
    summary_.state = JournalSummary::State::Read;
    uint64_t end = 0;
    const bool whole = ReadRecords(offset + sector, count, count != kCountUnknown && count != 0, nonce, true,
                                   pageCount, &end);
    if (!whole || end <= offset) break;
    offset = (end + sector - 1) / sector * sector;
  }
  if (summary_.state != JournalSummary::State::Read) summary_.ignoredBecause = "its header is damaged";
  summary_.imagesUsed = records_.size();
}

bool RollbackJournal::ReadRecords(uint64_t offset, uint64_t count, bool countKnown, uint32_t nonce,
                                  bool nonceKnown, uint64_t pageCount, uint64_t* end) {
  const uint64_t size = static_cast<uint64_t>(file_->Size());
  const uint64_t recordSize = 4 + uint64_t{pageSize_} + 4;
  std::vector<uint8_t> record(static_cast<size_t>(recordSize));
  *end = offset;
  for (uint64_t i = 0; !countKnown || i < count; ++i) {
    if (offset + recordSize > size) return !countKnown;
    file_->ReadAt(static_cast<int64_t>(offset), record.size(), record.data());
    ++recordsSeen_;
    const uint32_t page = Be32(record.data());
    const uint32_t stored = Be32(record.data() + 4 + pageSize_);
    const uint32_t sum = ImageSum(record.data() + 4, pageSize_);
    if (!nonceKnown && page >= 1 && page <= pageCount) {
      nonce = stored - sum;
      nonceKnown = true;
    }
    // A page number past any the database had, or a checksum that does not match,
    // ends the journal: what follows was never written whole.
    if (!nonceKnown || page == 0 || page > std::max<uint64_t>(pageCount, 1) * 4 || stored != nonce + sum) {
      summary_.firstBadRecord = recordsSeen_;
      return false;
    }
    byPage_[page].push_back(records_.size());
    records_.push_back({page, offset + 4});
    offset += recordSize;
    *end = offset;
  }
  return true;
}

std::vector<const JournalRecord*> RollbackJournal::RecordsOf(uint64_t page) const {
  std::vector<const JournalRecord*> out;
  const auto found = byPage_.find(page);
  if (found == byPage_.end()) return out;
  for (size_t i : found->second) out.push_back(&records_[i]);
  return out;
}

void RollbackJournal::ReadImage(const JournalRecord& record, uint8_t* out) const {
  file_->ReadAt(static_cast<int64_t>(record.imageOffset), pageSize_, out);
}

}  // namespace engine
