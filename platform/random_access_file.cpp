// POSIX implementation of the read-only file: open(2) with O_RDONLY and pread(2).
#include "platform/random_access_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_status.h"

namespace platform {

std::unique_ptr<RandomAccessFile> RandomAccessFile::Open(const std::string& path,
                                                         std::string* error) {
  // A FIFO would block a plain open until a writer appears, and a device or
  // socket is no database: a path that names no regular file is refused before it
  // is opened (opening some devices acts on them), and the path is opened without
  // blocking and checked again, in case it was swapped in between. Reads never
  // block on a regular file either way.
  const FileKind kind = StatusOf(path).kind;
  if (kind == FileKind::Folder || kind == FileKind::Other) {
    if (error) *error = "not a regular file";
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (error) *error = "not a regular file";
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::unique_ptr<RandomAccessFile>(new RandomAccessFile(fd, info.st_size));
}

RandomAccessFile::~RandomAccessFile() { ::close(descriptor_); }

size_t RandomAccessFile::ReadAt(int64_t offset, size_t length, uint8_t* buffer) const {
  if (offset < 0 || offset >= size_) {
    std::memset(buffer, 0, length);
    return 0;
  }
  size_t done = 0;
  while (done < length) {
    ssize_t got = ::pread(descriptor_, buffer + done, length - done,
                          static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    // An I/O error on a failing disk leaves the rest zero-filled, like a short file.
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  std::memset(buffer + done, 0, length - done);
  return done;
}

}  // namespace platform
