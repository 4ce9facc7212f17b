// The rules of the online update that need no network and no window: how versions
// compare, how the server's version file is read, how byte counts and the transfer
// labels are written, and which program names may name a file on the server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace update {

// Results of CompareVersions.
inline constexpr int kMajorNewer = 2;
inline constexpr int kNewer = 1;
inline constexpr int kSame = 0;
inline constexpr int kOlder = -1;
inline constexpr int kFirstInvalid = -21;
inline constexpr int kSecondInvalid = -22;

// Results of the version check (CheckForUpdate).
inline constexpr int kCheckInvalidVersion = 0;     // a version text could not be read
inline constexpr int kCheckUpdate = 1;             // a newer version of the same major release
inline constexpr int kCheckMajorRelease = 2;       // only a newer major release exists
inline constexpr int kCheckUpdateAndMajor = 3;     // both: an update and a newer major release
inline constexpr int kCheckNotConnected = 4;       // no connection to the server
inline constexpr int kCheckFailed = 5;             // the version file could not be fetched or is empty
inline constexpr int kCheckNoInstalledVersion = 8; // the product key has no "Version"
inline constexpr int kCheckUpToDate = 9;           // the installed version is the newest

// Results of the download (DownloadUpdate).
inline constexpr int kDownloadOk = 0;
inline constexpr int kDownloadNotConnected = 4;
inline constexpr int kDownloadNoRequest = 5;
inline constexpr int kDownloadFailed = 7;

// The version field is the first seven characters of a line of the version file.
inline constexpr size_t kVersionFieldWidth = 7;
// The version file is read up to this many bytes.
inline constexpr size_t kVersionFileLimit = 4096;

// Compares two versions of up to four decimal numbers separated by "." (major,
// minor, build, revision; missing numbers count as 0). kMajorNewer when first's
// major number is greater, kOlder when it is smaller (a server offering an older
// major release offers no update); otherwise minor, build and revision decide in
// this order: kNewer, kOlder or kSame. kFirstInvalid when first is no version (an
// empty part, a part that is not all decimal digits, a fifth part, a number too
// large), else kSecondInvalid when second is none.
int CompareVersions(std::string_view first, std::string_view second);

// What the version file says, measured against the installed version.
struct VersionFileResult {
  int code = kCheckUpToDate;   // one of the kCheck... results
  std::string newVersion;      // the version the wizard reports
  std::string secondVersion;   // the version of the second line, when there is one
  std::string lastLineRest;    // the characters after the separator of the chosen line
  std::string sha256;          // the chosen line's checksum (64 lower-case hex digits), or empty
};

// Reads the version file `bytes` (only its first kVersionFileLimit bytes): line 1
// and an optional line 2, each a version field of seven characters, a separator
// and a rest whose first word may be the installer's SHA-256. A field followed by
// a digit or a dot is a longer version and counts as invalid, never cut. An empty
// file gives kCheckFailed; `installed` is the product key's "Version".
VersionFileResult ReadVersionFile(std::string_view bytes, std::string_view installed);

// The first word of `rest` when it is exactly 64 hexadecimal digits, in lower
// case; else empty.
std::string ChecksumOf(std::string_view rest);

// The size rule: "%.2f GB", "%.2f MB", "%.2f KB" or "%.2f bytes" by the largest
// unit of which `bytes` holds at least one.
std::string FormatSize(uint64_t bytes);

// Whole seconds since the start, rounded to the nearest.
int64_t ElapsedSeconds(int64_t elapsedMs);
// What the rate is divided by: the elapsed seconds, or `previous` while they are
// still 0 (initially 1).
int64_t RateDivisor(int64_t elapsedSeconds, int64_t previous);

// The third page's labels while a download runs. With a known size: "%d sec(%s of
// %s copied)" and "%s/sec"; with an unknown size (0): "%d Ko in %d sec" and the
// rate in whole KiB per second, written by the size rule.
std::string TimeLabel(int64_t elapsedSeconds, uint64_t received, uint64_t size);
std::string RateLabel(uint64_t received, int64_t divisor, uint64_t size);

// Whether `name` (the product key's "ExeName") may name the version file and the
// installer: one or more of A-Z, a-z, 0-9, ".", "_" and "-", and not only dots.
bool ValidProgramName(std::string_view name);

}  // namespace update
