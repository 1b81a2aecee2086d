// Fuzzes the bounded copies: whatever the sizes, nothing is written past the buffer
// (AddressSanitizer watches the exact allocation) and the result is the expected prefix.
// Input: capacity byte, then format, a zero byte, then the argument text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "shell/bounded_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string ExpectedFormat(const std::string& format, const std::string& text) {
  const std::size_t at = format.find("%s");
  return at == std::string::npos ? format : format.substr(0, at) + text + format.substr(at + 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t capacity = data[0];
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = input.find('\0');
  const std::string format = input.substr(0, split);
  std::string text = split == std::string::npos ? std::string() : input.substr(split + 1);
  text = text.substr(0, text.find('\0'));

  std::unique_ptr<char[]> buffer(new char[capacity == 0 ? 1 : capacity]);
  const std::string whole = ExpectedFormat(format, text);
  const int fitted = FormatWithText(buffer.get(), capacity, format.c_str(), text.c_str());
  if (capacity > 0) {
    const std::string got(buffer.get());
    Require(fitted == (whole.size() < capacity ? 1 : 0));
    Require(got == whole.substr(0, capacity - 1));
  } else {
    Require(fitted == 0);
  }

  const int copied = CopyText(buffer.get(), capacity, text.c_str());
  if (capacity > 0) {
    Require(copied == (text.size() < capacity ? 1 : 0));
    Require(std::string(buffer.get()) == text.substr(0, capacity - 1));
    const int appended = AppendText(buffer.get(), capacity, format.c_str());
    const std::string joined = text.substr(0, capacity - 1) + format;
    Require(appended == (joined.size() < capacity ? 1 : 0));
    Require(std::string(buffer.get()) == joined.substr(0, capacity - 1));

    const std::size_t count = format.size() % 300;
    const std::string part = text.substr(0, count);
    const int parted = CopyTextPart(buffer.get(), capacity, text.c_str(), count);
    Require(parted == (part.size() < capacity ? 1 : 0));
    Require(std::string(buffer.get()) == part.substr(0, capacity - 1));
  }
  return 0;
}
