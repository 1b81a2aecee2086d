// Every byte value against the class members written out by hand: bytes 0x80 to 0xFF,
// letters in many code pages, must be in no class.
#include <gtest/gtest.h>

#include <cstring>

#include "validation/char_class.h"

namespace {

struct ClassRow {
  CharClass cls;
  const char* name;
  const char* members;
};

const ClassRow kClasses[] = {
    {kDigit, "Digit", "0123456789"},
    {kHexDigit, "HexDigit", "0123456789ABCDEFabcdef"},
    {kLetter, "Letter", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"},
};

TEST(CharClass, EveryByteIsDecidedByItsValueAlone) {
  for (const ClassRow& row : kClasses) {
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(testing::Message() << row.name << " byte 0x" << std::hex << b);
      const bool expected = b != 0 && std::strchr(row.members, b) != nullptr;
      EXPECT_EQ(IsInCharClass(static_cast<unsigned char>(b), row.cls), expected ? 1 : 0);
    }
  }
}

}  // namespace
