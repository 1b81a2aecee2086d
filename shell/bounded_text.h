// Bounded text helpers: every copy into a fixed buffer goes through these, so nothing is
// ever written past a buffer's end. Each returns 1 when the whole text fitted, 0 when it
// was cut; the result is always zero-terminated when the capacity is at least 1.
#pragma once

#include <cstddef>

int CopyText(char* buffer, std::size_t capacity, const char* text);
int AppendText(char* buffer, std::size_t capacity, const char* text);
// Copies the first `count` characters of `text` (fewer when it is shorter).
int CopyTextPart(char* buffer, std::size_t capacity, const char* text, std::size_t count);

// Copies `format` with its first "%s" replaced by `text`; other characters are copied as
// they stand. Used for messages that name a file, where printf's family would cost size.
int FormatWithText(char* buffer, std::size_t capacity, const char* format, const char* text);

std::size_t TextLength(const char* text);
int TextEquals(const char* a, const char* b);
