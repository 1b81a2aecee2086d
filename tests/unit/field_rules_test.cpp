// The mask matcher and the two field rules, as tables of text and verdict.
#include <gtest/gtest.h>

#include "validation/field_rules.h"

namespace {

struct MaskRow {
  const char* text;
  const char* mask;
  int expected;
};

TEST(MatchMask, FitsTheBeginningOfTheMaskOnly) {
  const MaskRow rows[] = {
      {"", "", 1},
      {"", "dd", 1},
      {"a", "", 0},          // longer than the mask
      {"Zz", "aa", 1},
      {"Z1", "aa", 0},
      {"42", "dd", 1},
      {"4A", "dd", 0},
      {"fF", "xx", 1},
      {"g", "x", 0},
      {"7-", "d-", 1},       // other mask characters stand for themselves
      {"7.", "d-", 0},
      {"X", "X", 1},
      {"x", "X", 0},         // literal comparison is case-sensitive
      {"a", "x", 1},         // "a" in the text is a hex digit; only the mask's "a" means Letter
      {"12a", "dda", 1},
      {"12ab", "dda", 0},
      {"\xC4", "a", 0},
      {"\xC4", "\xC4", 1},   // a literal high byte matches itself
  };
  for (const MaskRow& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.text << "\" ~ \"" << row.mask << '"');
    EXPECT_EQ(MatchMask(row.text, row.mask), row.expected);
  }
}

struct RuleRow {
  const char* text;
  int expected;
};

TEST(SocketRule, AcceptsEmptyOrUpToFiveDigitsNotAbove16383) {
  const RuleRow rows[] = {
      {"", 1},      {"0", 1},      {"00012", 1},  {"213", 1},   {"16383", 1},
      {"16384", 0}, {"99999", 0},  {"65535", 0},  {"000000", 0}, {"123456", 0},
      {"-1", 0},    {"+1", 0},     {" 12", 0},    {"12 ", 0},   {"12a", 0},
      {"0x10", 0},  {"1\xB2", 0},  {"\xB9", 0},   {"1.5", 0},
  };
  for (const RuleRow& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.text << '"');
    EXPECT_EQ(IsValidSocketText(row.text), row.expected);
  }
}

TEST(AddressRule, AcceptsEmptyOrABeginningOfFourHexPairs) {
  const RuleRow rows[] = {
      {"", 1},
      {"73.0F.2C.8A", 1},
      {"73.0f.2c.8a", 1},
      {"73.0F", 1},
      {"7", 1},
      {"73.", 1},
      {"730F", 0},
      {"73.0G.2C.8A", 0},
      {"73.0F.2C.8A0", 0},
      {"73-0F-2C-8A", 0},
      {".3.0F.2C.8A", 0},
      {" 73.0F", 0},
      {"73.0F.2C.8\xC1", 0},
  };
  for (const RuleRow& row : rows) {
    SCOPED_TRACE(testing::Message() << '"' << row.text << '"');
    EXPECT_EQ(IsValidAddressText(row.text), row.expected);
  }
}

}  // namespace
