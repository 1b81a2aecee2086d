// How ANSI text divides into characters. In the double-byte code pages (Japanese,
// Chinese, Korean) a lead byte and the byte after it are one character, and in 932, 936
// and 950 that second byte can be a backslash: a path is walked by characters, never by
// bytes. Pure, so every walk that depends on it is tested natively.
#pragma once

#include <cstddef>

// The lead-byte ranges of a code page as Windows describes them (CPINFO's LeadByte): pairs
// of first and last lead byte, both included, up to a pair of zeros. All zero for a
// single-byte code page.
constexpr std::size_t kLeadByteRangeBytes = 12;
struct LeadByteRanges {
  unsigned char bytes[kLeadByteRangeBytes];
};

constexpr LeadByteRanges kSingleByteCodePage = {};

// 1 when `byte` starts a character of two bytes.
int IsLeadByte(unsigned char byte, const LeadByteRanges& lead);

// The character after the one at `text`, which must not be the terminator: two bytes on
// for a lead byte, one otherwise. A lead byte just before the terminator is half of a
// character and counts alone, so no walk ever passes the end.
const char* NextChar(const char* text, const LeadByteRanges& lead);
