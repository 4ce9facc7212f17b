#include "update/rules/version_rules.h"

#include <array>
#include <cstdio>
#include <optional>

namespace update {
namespace {

// Major, minor, build and revision.
using Version = std::array<uint64_t, 4>;

// A part has at most this many digits: enough for any version, and its value fits.
constexpr size_t kMaxPartDigits = 18;

std::optional<Version> ParseVersion(std::string_view text) {
  Version version{0, 0, 0, 0};
  size_t part = 0;
  size_t start = 0;
  while (true) {
    if (part == version.size()) return std::nullopt;  // a fifth part
    const size_t dot = text.find('.', start);
    const std::string_view digits = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (digits.empty() || digits.size() > kMaxPartDigits) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    version[part++] = value;
    if (dot == std::string_view::npos) return version;
    start = dot + 1;
  }
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One line of the version file, split into its version field and its rest.
struct VersionLine {
  std::string field;
  std::string rest;
  bool fieldTooLong = false;  // the eighth character continues the version
};

VersionLine SplitLine(std::string_view line) {
  VersionLine split;
  split.field = std::string(line.substr(0, kVersionFieldWidth));
  if (line.size() > kVersionFieldWidth) {
    const char next = line[kVersionFieldWidth];
    split.fieldTooLong = (next >= '0' && next <= '9') || next == '.';
  }
  if (line.size() > kVersionFieldWidth + 1) split.rest = std::string(line.substr(kVersionFieldWidth + 1));
  return split;
}

int CompareLine(const VersionLine& line, std::string_view installed) {
  // Cutting 1.0.0.10 to its first seven characters would read it as 1.0.0.1.
  if (line.fieldTooLong) return kFirstInvalid;
  return CompareVersions(line.field, installed);
}

std::string Formatted(const char* format, double value, const char* unit) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), format, value, unit);
  return text.data();
}

}  // namespace

int CompareVersions(std::string_view first, std::string_view second) {
  const std::optional<Version> a = ParseVersion(first);
  if (!a) return kFirstInvalid;
  const std::optional<Version> b = ParseVersion(second);
  if (!b) return kSecondInvalid;
  if ((*a)[0] > (*b)[0]) return kMajorNewer;
  if ((*a)[0] < (*b)[0]) return kOlder;
  for (size_t i = 1; i < a->size(); ++i) {
    if ((*a)[i] > (*b)[i]) return kNewer;
    if ((*a)[i] < (*b)[i]) return kOlder;
  }
  return kSame;
}

std::string ChecksumOf(std::string_view rest) {
  size_t start = 0;
  while (start < rest.size() && IsSpace(rest[start])) ++start;
  size_t end = start;
  while (end < rest.size() && !IsSpace(rest[end])) ++end;
  const std::string_view word = rest.substr(start, end - start);
  if (word.size() != 64) return {};
  std::string lower;
  for (char c : word) {
    if (!IsHexDigit(c)) return {};
    lower.push_back(c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return lower;
}

VersionFileResult ReadVersionFile(std::string_view bytes, std::string_view installed) {
  VersionFileResult result;
  bytes = bytes.substr(0, kVersionFileLimit);
  if (bytes.empty()) {
    // Nothing to compare with: the check failed, the program is not known to be new.
    result.code = kCheckFailed;
    return result;
  }
  auto lineAt = [&bytes](size_t start, size_t* next) {
    const size_t end = bytes.find('\n', start);
    std::string_view line = bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    *next = end == std::string_view::npos ? bytes.size() : end + 1;
    return line;
  };
  size_t next = 0;
  const VersionLine first = SplitLine(lineAt(0, &next));
  const int r1 = CompareLine(first, installed);
  result.newVersion = first.field;
  result.lastLineRest = first.rest;
  int outcome = r1;
  // A second line that is blank (a trailing line break) counts as no second line.
  const std::string_view secondText = next < bytes.size() ? lineAt(next, &next) : std::string_view();
  bool secondPresent = false;
  for (char c : secondText) secondPresent |= !IsSpace(c);
  if (secondPresent) {
    const VersionLine second = SplitLine(secondText);
    const int r2 = CompareLine(second, installed);
    result.secondVersion = second.field;
    if (r2 == kNewer || r2 == kOlder) {
      result.newVersion = second.field;
      result.lastLineRest = second.rest;
    }
    outcome = r1 == kNewer ? kCheckUpdateAndMajor : r2;
  }
  result.sha256 = ChecksumOf(result.lastLineRest);
  if (outcome == kSame || outcome == kOlder) {
    result.code = kCheckUpToDate;
  } else if (outcome == kNewer || outcome == kMajorNewer || outcome == kCheckUpdateAndMajor) {
    result.code = outcome;
  } else {
    result.code = kCheckInvalidVersion;
  }
  return result;
}

std::string FormatSize(uint64_t bytes) {
  constexpr uint64_t kKb = uint64_t{1} << 10;
  constexpr uint64_t kMb = uint64_t{1} << 20;
  constexpr uint64_t kGb = uint64_t{1} << 30;
  const double value = static_cast<double>(bytes);
  if (bytes >= kGb) return Formatted("%.2f %s", value / static_cast<double>(kGb), "GB");
  if (bytes >= kMb) return Formatted("%.2f %s", value / static_cast<double>(kMb), "MB");
  if (bytes >= kKb) return Formatted("%.2f %s", value / static_cast<double>(kKb), "KB");
  return Formatted("%.2f %s", value, "bytes");
}

int64_t ElapsedSeconds(int64_t elapsedMs) { return elapsedMs <= 0 ? 0 : (elapsedMs + 500) / 1000; }

int64_t RateDivisor(int64_t elapsedSeconds, int64_t previous) {
  if (elapsedSeconds > 0) return elapsedSeconds;
  return previous > 0 ? previous : 1;
}

std::string TimeLabel(int64_t elapsedSeconds, uint64_t received, uint64_t size) {
  std::array<char, 128> text{};
  if (size > 0) {
    std::snprintf(text.data(), text.size(), "%lld sec(%s of %s copied)", static_cast<long long>(elapsedSeconds),
                  FormatSize(received).c_str(), FormatSize(size).c_str());
  } else {
    std::snprintf(text.data(), text.size(), "%llu Ko in %lld sec", static_cast<unsigned long long>(received / 1024),
                  static_cast<long long>(elapsedSeconds));
  }
  return text.data();
}

std::string RateLabel(uint64_t received, int64_t divisor, uint64_t size) {
  const uint64_t by = divisor > 0 ? static_cast<uint64_t>(divisor) : 1;
  // Without a known size the rate is counted in whole KiB per second.
  const uint64_t rate = size > 0 ? received / by : (received / 1024 / by) * 1024;
  return FormatSize(rate) + "/sec";
}

bool ValidProgramName(std::string_view name) {
  if (name.empty()) return false;
  bool onlyDots = true;
  for (char c : name) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '_' || c == '-';
    if (!allowed) return false;
    onlyDots &= c == '.';
  }
  // "." and ".." would step out of the program's folder on the server.
  return !onlyDots;
}

}  // namespace update
