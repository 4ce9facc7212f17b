// The update's rules: version comparison, the version file, the size rule and the
// transfer labels, the program names that may name files on the server.
#include "update/rules/version_rules.h"

#include <gtest/gtest.h>

namespace {

using namespace update;

TEST(VersionRulesTest, CompareVersionsTable) {
  struct Case {
    const char* name;
    const char* first;
    const char* second;
    int expected;
  } cases[] = {
      {"equal", "1.0.0.1", "1.0.0.1", kSame},
      {"missing parts count as zero", "1.2", "1.2.0.0", kSame},
      {"revision newer", "1.0.0.2", "1.0.0.1", kNewer},
      {"revision older", "1.0.0.1", "1.0.0.2", kOlder},
      {"minor decides before build", "1.2.0.0", "1.1.9.9", kNewer},
      {"build decides before revision", "1.0.1.0", "1.0.0.9", kNewer},
      {"numbers, not texts", "1.0.0.10", "1.0.0.9", kNewer},
      {"major newer", "2.0.0.0", "1.0.0.1", kMajorNewer},
      {"major newer beats smaller minor", "2.0", "1.9.9.9", kMajorNewer},
      {"major older is older even with a greater minor", "1.9.0.0", "2.0.0.0", kOlder},
      {"major older", "1.0.0.1", "2.0.0.0", kOlder},
      {"first empty", "", "1.0", kFirstInvalid},
      {"first with a letter", "1.0.a", "1.0", kFirstInvalid},
      {"first with a fifth part", "1.0.0.0.1", "1.0", kFirstInvalid},
      {"first with an empty part", "1..0", "1.0", kFirstInvalid},
      {"first with a trailing dot", "1.0.", "1.0", kFirstInvalid},
      {"first with a space", "1.0 ", "1.0", kFirstInvalid},
      {"first with a sign", "-1.0", "1.0", kFirstInvalid},
      {"second invalid", "1.0", "x", kSecondInvalid},
      {"both invalid: the first is told", "x", "y", kFirstInvalid},
      {"huge number is no version", "1.0000000000000000000", "1.0", kFirstInvalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompareVersions(c.first, c.second), c.expected);
  }
}

TEST(VersionRulesTest, VersionFileTable) {
  const std::string sum(64, 'a');
  const std::string upperSum = "ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789";
  struct Case {
    const char* name;
    std::string file;
    const char* installed;
    int code;
    std::string version;
    std::string sha256;
  } cases[] = {
      {"a newer revision", "1.0.0.2 installer of May\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"without line break", "1.0.0.2", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"windows line breaks", "1.0.0.2\r\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"equal versions", "1.0.0.1 same\n", "1.0.0.1", kCheckUpToDate, "1.0.0.1", ""},
      {"server older", "1.0.0.0\n", "1.0.0.1", kCheckUpToDate, "1.0.0.0", ""},
      {"no downgrade to an older major release", "1.0.0.1\n", "2.0.0.0", kCheckUpToDate, "1.0.0.1", ""},
      {"a major release", "2.0.0.0\n", "1.0.0.1", kCheckMajorRelease, "2.0.0.0", ""},
      {"an eight-character version is not cut", "1.0.0.10 rest\n", "1.0.0.1", kCheckInvalidVersion, "1.0.0.1", ""},
      {"a longer version ending in a dot", "1.0.0.1.\n", "1.0.0.1", kCheckInvalidVersion, "1.0.0.1", ""},
      {"invalid text", "<html>\n", "1.0.0.1", kCheckInvalidVersion, "<html>", ""},
      {"installed version invalid", "1.0.0.2\n", "one", kCheckInvalidVersion, "1.0.0.2", ""},
      {"a short version alone on its line", "1.1\n", "1.0.0.1", kCheckUpdate, "1.1", ""},
      {"empty file", "", "1.0.0.1", kCheckFailed, "", ""},
      {"an empty first line", "\n1.0.0.2\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"major on line 1, update on line 2", "2.0.0.0 major\n1.0.0.5 minor\n", "1.0.0.1", kCheckUpdate, "1.0.0.5", ""},
      {"update on both lines", "1.0.0.3\n1.0.0.2\n", "1.0.0.1", kCheckUpdateAndMajor, "1.0.0.2", ""},
      {"major on line 1, line 2 installed", "2.0.0.0\n1.0.0.1\n", "1.0.0.1", kCheckUpToDate, "2.0.0.0", ""},
      {"line 2 invalid", "2.0.0.0\nabc\n", "1.0.0.1", kCheckInvalidVersion, "2.0.0.0", ""},
      {"a blank second line is no line", "1.0.0.2\n\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"checksum after the version", "1.0.0.2 " + sum + " installer\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", sum},
      {"checksum in capitals", "1.0.0.2 " + upperSum + "\n", "1.0.0.1", kCheckUpdate, "1.0.0.2",
       "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789"},
      {"63 digits are no checksum", "1.0.0.2 " + sum.substr(1) + "\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"65 digits are no checksum", "1.0.0.2 " + sum + "a\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"a checksum not first is none", "1.0.0.2 notes " + sum + "\n", "1.0.0.1", kCheckUpdate, "1.0.0.2", ""},
      {"the checksum of the chosen line", "2.0.0.0 " + std::string(64, 'b') + "\n1.0.0.5 " + sum + "\n", "1.0.0.1",
       kCheckUpdate, "1.0.0.5", sum},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const VersionFileResult result = ReadVersionFile(c.file, c.installed);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.newVersion, c.version);
    EXPECT_EQ(result.sha256, c.sha256);
  }
}

TEST(VersionRulesTest, OnlyTheFirst4096BytesAreRead) {
  std::string file = "1.0.0.1\n";
  file.resize(kVersionFileLimit, ' ');
  file += "\n9.9.9.9\n";  // beyond the limit: never a second line
  EXPECT_EQ(ReadVersionFile(file, "1.0.0.1").code, kCheckUpToDate);
}

TEST(VersionRulesTest, SizeRuleTable) {
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0.00 bytes"},
      {1023, "1023.00 bytes"},
      {1024, "1.00 KB"},
      {131072, "128.00 KB"},
      {1048575, "1024.00 KB"},  // just under a MiB still counts in KiB
      {1048576, "1.00 MB"},
      {1572864, "1.50 MB"},
      {3145728, "3.00 MB"},
      {(uint64_t{1} << 30) - 1, "1024.00 MB"},
      {uint64_t{1} << 30, "1.00 GB"},
      {(uint64_t{5} << 30) + (uint64_t{1} << 29), "5.50 GB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(FormatSize(c.bytes), c.text);
  }
}

TEST(VersionRulesTest, TransferLabelsTable) {
  struct Case {
    const char* name;
    int64_t elapsedMs;
    uint64_t received;
    uint64_t size;
    int64_t previousDivisor;
    const char* time;
    const char* rate;
  } cases[] = {
      {"halfway through 3 MiB after 12 seconds", 12000, 1572864, 3145728, 1, "12 sec(1.50 MB of 3.00 MB copied)",
       "128.00 KB/sec"},
      {"rounded to the nearest second", 11500, 1572864, 3145728, 1, "12 sec(1.50 MB of 3.00 MB copied)",
       "128.00 KB/sec"},
      {"the first chunk: divided by 1", 200, 4096, 3145728, 1, "0 sec(4.00 KB of 3.00 MB copied)", "4.00 KB/sec"},
      {"still 0 seconds: the previous divisor", 400, 8192, 3145728, 2, "0 sec(8.00 KB of 3.00 MB copied)",
       "4.00 KB/sec"},
      {"a few bytes", 1000, 512, 900, 1, "1 sec(512.00 bytes of 900.00 bytes copied)", "512.00 bytes/sec"},
      {"unknown size", 3000, 307200, 0, 1, "300 Ko in 3 sec", "100.00 KB/sec"},
      {"unknown size, whole KiB per second", 2000, 3000, 0, 1, "2 Ko in 2 sec", "1.00 KB/sec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t elapsed = ElapsedSeconds(c.elapsedMs);
    EXPECT_EQ(TimeLabel(elapsed, c.received, c.size), c.time);
    EXPECT_EQ(RateLabel(c.received, RateDivisor(elapsed, c.previousDivisor), c.size), c.rate);
  }
}

TEST(VersionRulesTest, ProgramNamesTable) {
  struct Case {
    const char* name;
    bool valid;
  } cases[] = {
      {"kestrun-repair", true}, {"Kestrun_Repair.2", true}, {"a", true},      {"", false},
      {".", false},             {"..", false},              {"a/b", false},   {"..\\x", false},
      {"a b", false},           {"a%2F", false},            {"a?b", false},   {"caf\xc3\xa9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ValidProgramName(c.name), c.valid);
  }
}

}  // namespace
