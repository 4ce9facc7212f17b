// Read-only positioned access to one file: the damaged database is only ever read
// through this class, never written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An open regular file. Thread: one reader at a time; the object is not shared
// between threads while a job runs. Lifetime: the descriptor closes with the object.
class RandomAccessFile {
 public:
  // Opens `path` (UTF-8) read-only. Returns null when the path is missing, is not a
  // regular file, or cannot be read; `error` then says why.
  static std::unique_ptr<RandomAccessFile> Open(const std::string& path, std::string* error);

  ~RandomAccessFile();
  RandomAccessFile(const RandomAccessFile&) = delete;
  RandomAccessFile& operator=(const RandomAccessFile&) = delete;

  // Size in bytes when the file was opened.
  int64_t Size() const { return size_; }

  // Reads `length` bytes at `offset` into `buffer`. Bytes past the end of the file,
  // or that the system would not give, are zero: a damaged file is read as far as it
  // goes. Returns the number of bytes that really came from the file.
  size_t ReadAt(int64_t offset, size_t length, uint8_t* buffer) const;

 private:
  RandomAccessFile(int descriptor, int64_t size) : descriptor_(descriptor), size_(size) {}

  int descriptor_;
  int64_t size_;
};

}  // namespace platform
