#include "platform/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool CreateExclusive(const std::string& path, bool* exists, std::string* error) {
  *exists = false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  *exists = errno == EEXIST;
  if (error) *error = std::strerror(errno);
  return false;
}

bool RenameNoReplace(const std::string& from, const std::string& to, bool* exists, std::string* error) {
  *exists = false;
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) {
    *exists = true;
    return false;
  }
  // Older kernels and some file systems do not know the flag; a hard link is just
  // as exclusive.
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    if (error) *error = std::strerror(errno);
    return false;
  }
#endif
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) {
    *exists = true;
    return false;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  // A file system without hard links (FAT): the name is checked, then taken.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) {
    *exists = true;
    return false;
  }
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error) *error = std::strerror(errno);
  return false;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace platform
