// Bounded copies and the one "%s" substitution the program needs.
#include "shell/bounded_text.h"

#include <cstddef>

std::size_t TextLength(const char* text) {
  std::size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

int TextEquals(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b ? 1 : 0;
}

int CopyTextPart(char* buffer, std::size_t capacity, const char* text, std::size_t count) {
  if (capacity == 0) return count == 0 || text[0] == '\0' ? 1 : 0;
  std::size_t used = 0;
  while (used < count && text[used] != '\0') {
    if (used + 1 >= capacity) {
      buffer[used] = '\0';
      return 0;
    }
    buffer[used] = text[used];
    ++used;
  }
  buffer[used] = '\0';
  return 1;
}

int CopyText(char* buffer, std::size_t capacity, const char* text) {
  return CopyTextPart(buffer, capacity, text, static_cast<std::size_t>(-1));
}

int AppendText(char* buffer, std::size_t capacity, const char* text) {
  if (capacity == 0) return text[0] == '\0' ? 1 : 0;
  std::size_t used = 0;
  while (used < capacity && buffer[used] != '\0') ++used;
  if (used == capacity) {  // not terminated: terminate rather than run past the end
    buffer[capacity - 1] = '\0';
    return 0;
  }
  return CopyText(buffer + used, capacity - used, text);
}

int FormatWithText(char* buffer, std::size_t capacity, const char* format, const char* text) {
  if (capacity == 0) return 0;
  std::size_t used = 0;
  int replaced = 0;
  int complete = 1;
  for (const char* f = format; *f != '\0' && complete; ++f) {
    const char* piece = nullptr;
    char single[2] = {*f, '\0'};
    if (!replaced && f[0] == '%' && f[1] == 's') {
      piece = text;
      replaced = 1;
      ++f;
    } else {
      piece = single;
    }
    buffer[used] = '\0';
    complete = AppendText(buffer + used, capacity - used, piece);
    used += TextLength(buffer + used);
  }
  buffer[used] = '\0';
  return complete;
}
