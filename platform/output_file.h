// Making a finished output file durable and giving it its final name without ever
// replacing a file that holds that name.
#pragma once

#include <string>

namespace platform {

// Creates `path` empty, failing when anything of that name exists. `exists` tells
// that failure apart from others; `error` says why it failed.
bool CreateExclusive(const std::string& path, bool* exists, std::string* error);

// Renames `from` to `to` unless `to` exists (then false with `exists` set); never
// replaces a file. False with `error` set on any other failure.
bool RenameNoReplace(const std::string& from, const std::string& to, bool* exists, std::string* error);

// Flushes the entries of `folder` (a rename within it) to the disk; best effort.
void SyncFolder(const std::string& folder);

}  // namespace platform
