// What the file system says about a path without opening it: its kind, size and
// modification time. Opening nothing, it never blocks on a FIFO or wakes a device.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class FileKind { Missing, Regular, Folder, Other };

// A path's status at one moment. Two statuses of the same path compare equal when
// nothing the system records of its kind, size and modification time changed.
struct FileStatus {
  FileKind kind = FileKind::Missing;  // Missing also when the path cannot be examined
  int64_t size = 0;
  int64_t modifiedSeconds = 0;      // since the epoch
  int64_t modifiedNanoseconds = 0;  // within the second; 0 where the system keeps none

  bool operator==(const FileStatus&) const = default;
};

// The status of `path` (UTF-8), following symbolic links. Thread-safe.
FileStatus StatusOf(const std::string& path);

}  // namespace platform
