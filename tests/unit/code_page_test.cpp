// Walking ANSI text by characters: a lead byte takes the byte after it along.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "shell/code_page.h"

namespace {

// The character lengths NextChar finds from the start of `text` to its end.
std::string Steps(const char* text, const LeadByteRanges& lead) {
  std::string steps;
  for (const char* c = text; *c != '\0';) {
    const char* next = NextChar(c, lead);
    steps += static_cast<char>('0' + (next - c));
    c = next;
  }
  return steps;
}

TEST(NextChar, TakesALeadByteAndItsSecondByteAsOneCharacter) {
  // Lead-byte ranges as Windows reports them for each double-byte code page.
  const LeadByteRanges japanese_932 = {{0x81, 0x9F, 0xE0, 0xFC}};
  const LeadByteRanges chinese_936 = {{0x81, 0xFE}};  // 949 and 950 too
  // Five ranges, the most a code page has, the last one ending at 0xFF.
  const LeadByteRanges five = {{0x81, 0x81, 0x83, 0x83, 0x85, 0x85, 0x87, 0x87, 0xF0, 0xFF}};
  struct Row {
    const char* what;
    const LeadByteRanges* lead;
    const char* text;
    const char* steps;
  };
  const Row rows[] = {
      {"ASCII", &japanese_932, "a\\b", "111"},
      {"932 表ソ: second bytes 0x5C", &japanese_932, "\x95\x5C\x83\x5C\\", "221"},
      {"932 range edges", &japanese_932,
       "\x80" "a\x81" "a\x9F" "a\xA0" "a\xDF" "a\xE0" "a\xFC" "a\xFD" "a", "112211112211"},
      {"932 half-width katakana are single bytes", &japanese_932, "\xB1\xB2", "11"},
      {"936 乗, 950 功", &chinese_936, "\x81\x5C\xA5\x5C", "22"},
      {"936 range edges", &chinese_936, "\x80\\\xFE\\\xFF\\", "11211"},
      {"a lead byte as the last byte stands alone", &japanese_932, "a\x83", "11"},
      {"a lead byte followed by a lead byte", &japanese_932, "\x83\x83\x83", "21"},
      {"single-byte code page", &kSingleByteCodePage, "\x95\x5C\x83\x5C", "1111"},
      {"five ranges", &five, "\x81\\\x82\\\x83\\\x84\\\x87\\\x88\\\xFF\\", "2112112112"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Steps(row.text, *row.lead), row.steps);
  }
}

}  // namespace
