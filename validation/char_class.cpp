// Byte-range tests for the character classes.
#include "validation/char_class.h"

namespace {

int InRange(unsigned char c, char first, char last) {
  return c >= static_cast<unsigned char>(first) && c <= static_cast<unsigned char>(last) ? 1 : 0;
}

}  // namespace

int IsInCharClass(unsigned char c, CharClass cls) {
  switch (cls) {
    case kDigit:
      return InRange(c, '0', '9');
    case kHexDigit:
      return InRange(c, '0', '9') | InRange(c, 'A', 'F') | InRange(c, 'a', 'f');
    case kLetter:
      return InRange(c, 'A', 'Z') | InRange(c, 'a', 'z');
  }
  return 0;
}
