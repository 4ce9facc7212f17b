#include "engine/reader/open_database.h"

#include <cctype>
#include <cstring>
#include <unordered_set>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/page_size.h"

namespace engine {

using namespace format;

namespace {

bool ReadHeader(Database& db, const std::string& path) {
  const platform::RandomAccessFile& file = *db.file;
  uint8_t header[kFileHeaderSize];
  if (file.ReadAt(0, sizeof header, header) < static_cast<size_t>(kMagicSize)) return false;
  // The magic text is the bytes up to the first zero, compared ignoring case; a
  // sixteenth byte that is not zero makes the text longer and so different.
  size_t length = strnlen(reinterpret_cast<const char*>(header + kMagicOffset), kMagicSize);
  if (length != std::strlen(kMagicText)) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(header[kMagicOffset + i]) != std::tolower(kMagicText[i])) return false;
  }

  const uint8_t* end = header + sizeof header;
  const uint8_t reserved = header[kReservedBytesOffset];
  uint32_t pageSize = DecodePageSize(ReadBigEndian16(header + kPageSizeOffset, end));
  db.pageSizeInferred = pageSize == 0;
  if (db.pageSizeInferred) {
    pageSize = InferPageSize(file, reserved);
  } else if (const int stored = PageSizeFit(file, pageSize, reserved); stored < 3) {
    // A power of two can be wrong too: when page 1 fits the stored size less well
    // than the one size that fits the file best (its cells end at the page's end
    // there, say, and not here), that one is the file's.
    const uint32_t inferred = InferPageSize(file, reserved);
    if (inferred != 0 && inferred != pageSize && PageSizeFit(file, inferred, reserved) > stored) {
      db.storedPageSize = pageSize;
      pageSize = inferred;
    }
  }
  if (pageSize == 0) return false;

  db.usableSize = UsableSize(pageSize, reserved);
  uint32_t encoding = ReadBigEndian32(header + kTextEncodingOffset, end);
  // An unknown encoding field (a damaged header) is read as UTF-8, the default.
  db.textEncoding = encoding == 2   ? TextEncoding::Utf16le
                    : encoding == 3 ? TextEncoding::Utf16be
                                    : TextEncoding::Utf8;
  // The log beside the file holds the newest committed pages of a database in WAL
  // mode; SQLite reads one whatever the header says, and so does the repair.
  db.wal = WalOverlay::Load(path + "-wal", pageSize);
  db.pages = PageReader(db.file.get(), pageSize, db.wal.get());
  // A rollback journal beside it keeps the pages as they stood before the last
  // transaction changed them: older versions, read for deleted rows, never played
  // back.
  db.journal = RollbackJournal::Load(path + "-journal", pageSize, db.pages.PageCount());
  db.pages = PageReader(db.file.get(), pageSize, db.wal.get(), db.journal.get());
  return true;
}

// The master walk: the children of page 1 one by one, each interior child's subtree
// breadth first through a queue.
class MasterWalk {
 public:
  MasterWalk(const Database& db, Work& work) : db_(db), work_(work) {}

  std::vector<uint64_t> Run() {
    std::vector<uint8_t> page;
    if (!db_.pages.ReadPage(1, page)) return {};
    visited_.insert(1);
    BtreePageHeader h = ParseBtreeHeader(page.data(), db_.usableSize, 1);
    if (h.type == kTableLeafPage) return {1};
    // A page 1 whose b-tree header was overwritten is read as the leaf it most often
    // is: the schema scan looks for its cells in the page itself.
    if (h.type != kTableInteriorPage) return {1};

    ClassifyPage1Child(h.rightChild);
    if (work_.Stopped()) return leaves_;
    const bool bar = h.cellCount != 0;
    if (bar) work_.StartBar(static_cast<int64_t>(h.cellCount) * 6);
    for (uint32_t i = 0; i < h.cellCount; ++i) {
      if (bar) work_.Step();
      ClassifyPage1Child(CellLeftChild(page.data(), db_.usableSize, h, i));
      if (work_.Stopped()) return leaves_;
    }
    if (bar) work_.FinishBar();
    return leaves_;
  }

 private:
  void ClassifyPage1Child(uint64_t child) {
    // Page numbers 0, past the end, or already reached (a cycle, or a page listed by
    // two parents) are skipped: each page is read for the walk once.
    if (!db_.pages.IsValidPage(child) || !visited_.insert(child).second) return;
    uint8_t type = 0;
    db_.pages.ReadPagePrefix(child, 1, &type);
    if (type == kTableLeafPage) {
      leaves_.push_back(child);
    } else if (type == kTableInteriorPage) {
      size_t next = queue_.size();
      VisitInterior(child);
      // The queue only grows; pages queued by earlier children were visited then.
      for (; next < queue_.size() && !work_.Stopped(); ++next) VisitInterior(queue_[next]);
    }
  }

  void VisitInterior(uint64_t pageNumber) {
    std::vector<uint8_t> page;
    if (!db_.pages.ReadPage(pageNumber, page)) return;
    BtreePageHeader h = ParseBtreeHeader(page.data(), db_.usableSize, pageNumber);
    if (h.type != kTableInteriorPage) return;
    visited_.insert(pageNumber);
    for (uint32_t i = 0; i <= h.cellCount; ++i) {
      // The right-most child first, then the left child of each cell.
      uint64_t child = i == 0 ? h.rightChild : CellLeftChild(page.data(), db_.usableSize, h, i - 1);
      if (db_.pages.IsValidPage(child) && visited_.insert(child).second) {
        uint8_t type = 0;
        db_.pages.ReadPagePrefix(child, 1, &type);
        if (type == kTableLeafPage) leaves_.push_back(child);
        else if (type == kTableInteriorPage) queue_.push_back(child);
      }
      if (work_.Stopped()) return;
    }
  }

  const Database& db_;
  Work& work_;
  std::unordered_set<uint64_t> visited_;
  std::vector<uint64_t> queue_;
  std::vector<uint64_t> leaves_;
};

}  // namespace

bool OpenDatabase(const std::string& path, Database& db, std::string* reason) {
  db = Database();
  db.file = platform::RandomAccessFile::Open(path, reason);
  if (!db.file) return false;
  if (!ReadHeader(db, path)) {
    if (reason) *reason = "not an SQLite 3 database";
    db = Database();
    return false;
  }
  return true;
}

std::vector<uint64_t> WalkMasterTable(const Database& db, Work& work) {
  return MasterWalk(db, work).Run();
}

}  // namespace engine
