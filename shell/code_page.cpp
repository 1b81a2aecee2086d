// Stepping through ANSI text one character at a time.
#include "shell/code_page.h"

#include <cstddef>

int IsLeadByte(unsigned char byte, const LeadByteRanges& lead) {
  for (std::size_t i = 0; i + 1 < kLeadByteRangeBytes; i += 2) {
    const unsigned char first = lead.bytes[i];
    const unsigned char last = lead.bytes[i + 1];
    if (first == 0 && last == 0) break;
    if (byte >= first && byte <= last) return 1;
  }
  return 0;
}

const char* NextChar(const char* text, const LeadByteRanges& lead) {
  if (IsLeadByte(static_cast<unsigned char>(text[0]), lead) && text[1] != '\0') return text + 2;
  return text + 1;
}
