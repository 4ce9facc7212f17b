// Opening the damaged file: header check, page size, and the walk of the master
// table's b-tree from page 1 that lists its leaf pages.
#include <cctype>
#include <cstring>

#include "engine/reader/btree_page.h"
#include "engine/reader/coding.h"
#include "engine/reader/page_size.h"
#include "engine/reader/sqlite_repair.h"

using job::Notification;
using namespace engine;
using namespace engine::format;

CSqliteRepair::CSqliteRepair(job::RepairState& state, job::FrontEndPort& notifyWindow)
    : state_(state), notifyWindow_(notifyWindow) {}

void CSqliteRepair::ClearObjectLists() {
  tableList.clear();
  viewList.clear();
  triggerList.clear();
}

void CSqliteRepair::ClearPropertyLists() { propertyLines.clear(); }

void CSqliteRepair::FailOpen() {
  state_.openFailed = 1;
  notifyWindow_.ShowModal(job::Dialog::CMessageDialog);
}

void CSqliteRepair::OpenDatabaseFile() {
  state_.recordCounter = 0;
  Notify(Notification::ShowRecordCount, 0, 0);
  tableList.clear();
  masterLeafPages.clear();
  masterInteriorQueue.clear();

  pages_ = PageReader();
  state_.fileHandle.reset();
  state_.fileHandle = platform::RandomAccessFile::Open(state_.databasePath, nullptr);
  ClearPropertyLists();
  if (!state_.fileHandle || !ReadHeader()) {
    FailOpen();
    return;
  }
  WalkMasterTable();
}

bool CSqliteRepair::ReadHeader() {
  const platform::RandomAccessFile& file = *state_.fileHandle;
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
  pageSizeInferred = pageSize == 0;
  if (pageSizeInferred) pageSize = InferPageSize(file, reserved);
  if (pageSize == 0) return false;

  state_.pageSize = pageSize;
  usableSize = UsableSize(pageSize, reserved);
  uint32_t encoding = ReadBigEndian32(header + kTextEncodingOffset, end);
  // An unknown encoding field (a damaged header) is read as UTF-8, the default.
  textEncoding = encoding == 2   ? TextEncoding::Utf16le
                 : encoding == 3 ? TextEncoding::Utf16be
                                 : TextEncoding::Utf8;
  pages_ = PageReader(state_.fileHandle.get(), pageSize);
  return true;
}

void CSqliteRepair::WalkMasterTable() {
  std::vector<uint8_t> page;
  if (!pages_.ReadPage(1, page)) return;
  visited_.clear();
  visited_.insert(1);
  BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, 1);
  if (h.type == kTableLeafPage) {
    masterLeafPages.push_back(0);
    return;
  }
  if (h.type != kTableInteriorPage) return;  // nothing to collect; no message

  ClassifyPage1Child(h.rightChild);
  if (StopRequested()) return;
  state_.progressActive = 0;
  if (h.cellCount != 0) {
    Notify(Notification::Progress, static_cast<int64_t>(h.cellCount) * 6, job::kProgressStart);
    state_.progressActive = 1;
  }
  for (uint32_t i = 0; i < h.cellCount; ++i) {
    if (state_.progressActive) Notify(Notification::Progress, 0, job::kProgressStep);
    ClassifyPage1Child(CellLeftChild(page.data(), usableSize, h, i));
    if (StopRequested()) return;
  }
  if (state_.progressActive) Notify(Notification::Progress, 0, job::kProgressFinish);
}

void CSqliteRepair::ClassifyPage1Child(uint64_t child) {
  // Page numbers 0, past the end, or already reached (a cycle, or a page listed by
  // two parents) are skipped: each page is read for the walk once.
  if (!pages_.IsValidPage(child) || !visited_.insert(child).second) return;
  uint8_t type = 0;
  pages_.ReadPagePrefix(child, 1, &type);
  const int64_t offset = PageOffset(child, pages_.PageSize());
  if (type == kTableLeafPage) {
    masterLeafPages.push_back(offset);
  } else if (type == kTableInteriorPage) {
    size_t next = masterInteriorQueue.size();
    VisitMasterInterior(offset);
    // The queue only grows; pages queued by earlier children were visited then.
    for (; next < masterInteriorQueue.size() && !StopRequested(); ++next) {
      VisitMasterInterior(masterInteriorQueue[next]);
    }
  }
}

void CSqliteRepair::VisitMasterInterior(int64_t pageOffset) {
  const uint64_t pageNumber = static_cast<uint64_t>(pageOffset / pages_.PageSize()) + 1;
  std::vector<uint8_t> page;
  if (!pages_.ReadPage(pageNumber, page)) return;
  BtreePageHeader h = ParseBtreeHeader(page.data(), usableSize, pageNumber);
  if (h.type != kTableInteriorPage) return;
  visited_.insert(pageNumber);
  for (uint32_t i = 0; i <= h.cellCount; ++i) {
    // The right-most child first, then the left child of each cell.
    uint64_t child = i == 0 ? h.rightChild : CellLeftChild(page.data(), usableSize, h, i - 1);
    if (pages_.IsValidPage(child) && visited_.insert(child).second) {
      uint8_t type = 0;
      pages_.ReadPagePrefix(child, 1, &type);
      const int64_t offset = PageOffset(child, pages_.PageSize());
      if (type == kTableLeafPage) masterLeafPages.push_back(offset);
      else if (type == kTableInteriorPage) masterInteriorQueue.push_back(offset);
    }
    if (StopRequested()) return;
  }
}
