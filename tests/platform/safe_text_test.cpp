// Names and texts from the damaged file made safe for a file name and for one line
// of console output.
#include <gtest/gtest.h>

#include <string>

#include "platform/safe_text.h"

namespace {

using platform::SafeFileName;
using platform::SafeLineText;
using platform::Tabs;
using namespace std::string_literals;

TEST(SafeTextTest, ControlCharactersAndStrayBytesAreReplacedByteByByte) {
  struct Case {
    const char* name;
    std::string text;
    std::string fileName;  // SafeFileName
    std::string line;      // SafeLineText
  } cases[] = {
      {"plain", "shop.db", "shop.db", "shop.db"},
      {"well-formed UTF-8 of every length", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80",
       "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80"},
      {"line ends", "a\nb\r\nc", "a_b__c", "a?b??c"},
      {"escape sequence", "\x1b[2Jx", "_[2Jx", "?[2Jx"},
      {"NUL and DEL", "a\0b\x7f"s, "a_b_", "a?b?"},
      {"tab", "a\tb", "a_b", "a?b"},
      // C1 controls are two bytes in UTF-8 and one character: one replacement.
      {"C1 controls", "a\xc2\x85" "b\xc2\x9b" "c", "a_b_c", "a?b?c"},
      {"no-break space is no control", "a\xc2\xa0" "b", "a\xc2\xa0" "b", "a\xc2\xa0" "b"},
      {"lone continuation byte", "a\x80" "b", "a_b", "a?b"},
      {"bytes no UTF-8 has", "\xff\xfe" "x", "__x", "??x"},
      {"overlong slash", "\xc0\xaf", "__", "??"},
      {"overlong three-byte form", "\xe0\x80\x80", "___", "???"},
      {"surrogate", "\xed\xa0\x80", "___", "???"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "____", "????"},
      {"sequence cut by the next character", "\xe6\x97x", "__x", "??x"},
      {"sequence cut by the end", "x\xf0\x9f\x98", "x___", "x???"},
      {"path separators", "a/b\\c", "a_b_c", "a/b\\c"},
      {"empty", "", "_", ""},
      {"dot", ".", "_", "."},
      {"dot dot", "..", "__", ".."},
      {"more dots", "...", "...", "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SafeFileName(c.text), c.fileName);
    EXPECT_EQ(SafeLineText(c.text), c.line);
  }
}

TEST(SafeTextTest, ALineKeepsItsTabsOnlyWhenAsked) {
  EXPECT_EQ(SafeLineText("id\tname\n\x1b", Tabs::Keep), "id\tname??");
  EXPECT_EQ(SafeLineText("id\tname", Tabs::Replace), "id?name");
}

}  // namespace
