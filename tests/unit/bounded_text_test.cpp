// Copies that stop at the buffer's end and say so.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/bounded_text.h"

namespace {

TEST(BoundedText, CopyAndAppendStopAtTheEndAndReportIt) {
  char buf[6];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(CopyText(buf, sizeof buf, "abcde"), 1);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(CopyText(buf, sizeof buf, "abcdef"), 0);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(CopyText(buf, sizeof buf, "ab"), 1);
  EXPECT_EQ(AppendText(buf, sizeof buf, "cd"), 1);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(AppendText(buf, sizeof buf, "ef"), 0);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(AppendText(buf, sizeof buf, ""), 1);

  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(AppendText(unterminated, sizeof unterminated, "e"), 0);
  EXPECT_STREQ(unterminated, "abc");

  char one[1] = {'Q'};
  EXPECT_EQ(CopyText(one, 1, "a"), 0);
  EXPECT_STREQ(one, "");
}

TEST(BoundedText, CopyTextPartTakesAtMostCountAndStopsAtTheEnd) {
  char buf[6];
  EXPECT_EQ(CopyTextPart(buf, sizeof buf, "C:\\GAMES\\x.exe", 3), 1);
  EXPECT_STREQ(buf, "C:\\");
  EXPECT_EQ(CopyTextPart(buf, sizeof buf, "ab", 5), 1);  // a shorter text ends the copy
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(CopyTextPart(buf, sizeof buf, "abcdefgh", 7), 0);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(CopyTextPart(buf, sizeof buf, "abcdefgh", 0), 1);
  EXPECT_STREQ(buf, "");
}

TEST(BoundedText, FormatReplacesOnlyTheFirstPlaceholder) {
  char buf[64];
  EXPECT_EQ(FormatWithText(buf, sizeof buf, "to %s.\nagain %s", "C:\\x.ini"), 1);
  EXPECT_STREQ(buf, "to C:\\x.ini.\nagain %s");
  EXPECT_EQ(FormatWithText(buf, sizeof buf, "100%", "x"), 1);
  EXPECT_STREQ(buf, "100%");
  EXPECT_EQ(FormatWithText(buf, sizeof buf, "%s", ""), 1);
  EXPECT_STREQ(buf, "");

  char small[8];
  EXPECT_EQ(FormatWithText(small, sizeof small, "ab%scd", "0123456789"), 0);
  EXPECT_STREQ(small, "ab01234");
  EXPECT_EQ(FormatWithText(small, sizeof small, "%sTAILS", "abc"), 0);
  EXPECT_STREQ(small, "abcTAIL");
}

TEST(BoundedText, EqualityIsExactAndCaseSensitive) {
  EXPECT_EQ(TextEquals("1", "1"), 1);
  EXPECT_EQ(TextEquals("", ""), 1);
  EXPECT_EQ(TextEquals("1", "10"), 0);
  EXPECT_EQ(TextEquals("10", "1"), 0);
  EXPECT_EQ(TextEquals("True", "TRUE"), 0);
}

}  // namespace
