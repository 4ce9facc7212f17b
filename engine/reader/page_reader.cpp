#include "engine/reader/page_reader.h"

#include <algorithm>

#include "engine/reader/coding.h"

namespace engine {

PageReader::PageReader(const platform::RandomAccessFile* file, uint32_t pageSize)
    : file_(file), pageSize_(pageSize) {
  if (file_ && pageSize_ > 0) {
    pageCount_ = (static_cast<uint64_t>(file_->Size()) + pageSize_ - 1) / pageSize_;
  }
}

bool PageReader::ReadPage(uint64_t pageNumber, std::vector<uint8_t>& out) const {
  if (!IsValidPage(pageNumber)) return false;
  out.resize(pageSize_);
  file_->ReadAt(PageOffset(pageNumber, pageSize_), pageSize_, out.data());
  return true;
}

bool PageReader::ReadPagePrefix(uint64_t pageNumber, size_t length, uint8_t* out) const {
  if (!IsValidPage(pageNumber)) return false;
  file_->ReadAt(PageOffset(pageNumber, pageSize_), std::min<size_t>(length, pageSize_), out);
  return true;
}

}  // namespace engine

namespace engine {

bool PageReader::ReadPageRange(uint64_t pageNumber, uint32_t offset, size_t length,
                               uint8_t* out) const {
  if (!IsValidPage(pageNumber) || offset >= pageSize_) return false;
  file_->ReadAt(PageOffset(pageNumber, pageSize_) + offset, std::min<size_t>(length, pageSize_ - offset), out);
  return true;
}

}  // namespace engine
