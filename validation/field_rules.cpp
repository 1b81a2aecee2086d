// Mask matching and the socket-number and destination-address rules.
#include "validation/field_rules.h"

#include "validation/char_class.h"

namespace {

int FitsMaskChar(unsigned char c, char mask_char) {
  switch (mask_char) {
    case 'a':
      return IsInCharClass(c, kLetter);
    case 'd':
      return IsInCharClass(c, kDigit);
    case 'x':
      return IsInCharClass(c, kHexDigit);
    default:
      return c == static_cast<unsigned char>(mask_char) ? 1 : 0;
  }
}

}  // namespace

int MatchMask(const char* text, const char* mask) {
  for (; *text != '\0'; ++text, ++mask) {
    if (*mask == '\0') return 0;  // text is longer than the mask
    if (!FitsMaskChar(static_cast<unsigned char>(*text), *mask)) return 0;
  }
  return 1;
}

int IsValidSocketText(const char* text) {
  unsigned value = 0;
  unsigned digits = 0;
  for (; *text != '\0'; ++text) {
    if (++digits > kSocketMaxDigits) return 0;
    if (!IsInCharClass(static_cast<unsigned char>(*text), kDigit)) return 0;
    // Five digits stay below 100000, so this cannot overflow.
    value = value * 10 + static_cast<unsigned>(*text - '0');
  }
  return value <= kSocketMaxValue ? 1 : 0;
}

int IsValidAddressText(const char* text) {
  return MatchMask(text, kAddressMask);
}
