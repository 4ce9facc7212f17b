#include "engine/reader/page_reader.h"

#include <algorithm>

#include "engine/reader/coding.h"

namespace engine {

PageReader::PageReader(const platform::RandomAccessFile* file, uint32_t pageSize,
                       const WalOverlay* wal, const RollbackJournal* journal)
    : file_(file), pageSize_(pageSize) {
  if (journal && journal->Summary().state == JournalSummary::State::Read) journal_ = journal;
  if (file_ && pageSize_ > 0) {
    mainPages_ = (static_cast<uint64_t>(file_->Size()) + pageSize_ - 1) / pageSize_;
  }
  pageCount_ = mainPages_;
  if (wal && wal->Applied()) {
    wal_ = wal;
    // Every page of the database stands in the file or in the log, so the size a
    // commit states is bounded by them: the file's pages and those the log adds.
    // A logged page far past them comes from a crafted frame (which may name any
    // page) and does not stretch the bound.
    const uint64_t bound = mainPages_ + wal->CommittedPagesAbove(mainPages_);
    const uint64_t highest = wal->HighestPage() <= 4 * bound ? wal->HighestPage() : 0;
    pageCount_ = std::min(wal->DatabasePages(), std::max(bound, highest));
  }
}

bool PageReader::ReadPage(uint64_t pageNumber, std::vector<uint8_t>& out) const {
  if (!IsValidPage(pageNumber)) return false;
  out.resize(pageSize_);
  if (const WalFrame* frame = wal_ ? wal_->NewestFrame(pageNumber) : nullptr) {
    wal_->ReadFrame(*frame, out.data());
  } else {
    file_->ReadAt(PageOffset(pageNumber, pageSize_), pageSize_, out.data());
  }
  return true;
}

void PageReader::ReadPages(uint64_t first, uint64_t count, uint8_t* out) const {
  const size_t bytes = static_cast<size_t>(count) * pageSize_;
  if (first < 1 || first > mainPages_) {
    std::fill(out, out + bytes, uint8_t{0});
  } else {
    file_->ReadAt(PageOffset(first, pageSize_), bytes, out);
  }
  if (!wal_) return;
  for (uint64_t i = 0; i < count; ++i) {
    if (const WalFrame* frame = wal_->NewestFrame(first + i)) wal_->ReadFrame(*frame, out + i * pageSize_);
  }
}

bool PageReader::ReadPagePrefix(uint64_t pageNumber, size_t length, uint8_t* out) const {
  return ReadPageRange(pageNumber, 0, length, out);
}

bool PageReader::ReadPageRange(uint64_t pageNumber, uint32_t offset, size_t length,
                               uint8_t* out) const {
  if (!IsValidPage(pageNumber) || offset >= pageSize_) return false;
  length = std::min<size_t>(length, pageSize_ - offset);
  if (const WalFrame* frame = wal_ ? wal_->NewestFrame(pageNumber) : nullptr) {
    wal_->ReadFrameRange(*frame, offset, length, out);
    return true;
  }
  file_->ReadAt(PageOffset(pageNumber, pageSize_) + offset, length, out);
  return true;
}

bool PageReader::ReadMainFilePage(uint64_t pageNumber, std::vector<uint8_t>& out) const {
  if (pageNumber < 1 || pageNumber > mainPages_) return false;
  out.resize(pageSize_);
  file_->ReadAt(PageOffset(pageNumber, pageSize_), pageSize_, out.data());
  return true;
}

std::vector<PageImage> PageReader::SupersededImagesOf(uint64_t pageNumber) const {
  std::vector<PageImage> images;
  if (wal_) {
    if (pageNumber <= mainPages_ && wal_->NewestFrame(pageNumber)) images.push_back({pageNumber, nullptr});
    for (const WalFrame* frame : wal_->OlderFrames(pageNumber)) images.push_back({pageNumber, frame});
  }
  if (journal_) {
    for (const JournalRecord* record : journal_->RecordsOf(pageNumber)) images.push_back({pageNumber, nullptr, record});
  }
  return images;
}

std::vector<PageImage> PageReader::SupersededImages() const {
  std::vector<PageImage> images;
  if (wal_) {
    std::vector<uint64_t> replaced;
    for (const WalFrame& frame : wal_->Frames()) {
      if (wal_->IsNewest(frame) && frame.page <= mainPages_) replaced.push_back(frame.page);
    }
    std::sort(replaced.begin(), replaced.end());
    for (uint64_t page : replaced) images.push_back({page, nullptr});
    for (const WalFrame& frame : wal_->Frames()) {
      if (!wal_->IsNewest(frame)) images.push_back({frame.page, &frame});
    }
  }
  if (journal_) {
    for (const JournalRecord& record : journal_->Records()) images.push_back({record.page, nullptr, &record});
  }
  return images;
}

bool PageReader::HasSupersededImage(uint64_t pageNumber) const {
  if (journal_ && journal_->Holds(pageNumber)) return true;
  if (!wal_) return false;
  return wal_->HoldsOlderVersion(pageNumber) || (pageNumber <= mainPages_ && wal_->NewestFrame(pageNumber));
}

void PageReader::ReadImage(const PageImage& image, std::vector<uint8_t>& out) const {
  out.assign(pageSize_, 0);
  if (image.journal) journal_->ReadImage(*image.journal, out.data());
  else if (image.frame) wal_->ReadFrame(*image.frame, out.data());
  else ReadMainFilePage(image.page, out);
}

}  // namespace engine
