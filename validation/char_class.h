// Character classes used by the field rules. They are decided on the unsigned byte value
// alone, never by the C library's locale, so that a byte from 0x80 to 0xFF is in no class
// whatever code page the user runs.
#pragma once

enum CharClass {
  kDigit,     // "0" to "9"
  kHexDigit,  // "0" to "9", "A" to "F", "a" to "f"
  kLetter,    // "A" to "Z", "a" to "z"
};

int IsInCharClass(unsigned char c, CharClass cls);
