// POSIX implementation of the file status: stat(2), with the nanoseconds of the
// modification time that POSIX.1-2008 systems record.
#include "platform/file_status.h"

#include <sys/stat.h>

namespace platform {

FileStatus StatusOf(const std::string& path) {
  FileStatus status;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return status;
  status.kind = S_ISREG(info.st_mode)   ? FileKind::Regular
                : S_ISDIR(info.st_mode) ? FileKind::Folder
                                        : FileKind::Other;
  status.size = static_cast<int64_t>(info.st_size);
  status.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  status.modifiedNanoseconds = static_cast<int64_t>(info.st_mtim.tv_nsec);
  return status;
}

}  // namespace platform
