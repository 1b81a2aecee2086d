// Fuzzes the mask matcher and both field rules against references written from the rules'
// wording with std::string, so that a wrong answer is a finding, not only a crash.
// Input: text, a zero byte, then the mask (when there is no zero byte, the mask is empty).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "validation/field_rules.h"

namespace {

const std::string kDigits = "0123456789";
const std::string kHexDigits = "0123456789ABCDEFabcdef";
const std::string kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

bool In(const std::string& members, char c) {
  return c != '\0' && members.find(c) != std::string::npos;
}

// "A text longer than the mask never fits; each character must satisfy the mask character
// at its position."
int ReferenceMatch(const std::string& text, const std::string& mask) {
  if (text.size() > mask.size()) return 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char m = mask[i];
    const bool ok = m == 'a'   ? In(kLetters, text[i])
                    : m == 'd' ? In(kDigits, text[i])
                    : m == 'x' ? In(kHexDigits, text[i])
                               : text[i] == m;
    if (!ok) return 0;
  }
  return 1;
}

// "Empty is valid; more than five characters is invalid; any non-Digit is invalid; the
// decimal value must be at most 16383."
int ReferenceSocket(const std::string& text) {
  if (text.empty()) return 1;
  if (text.size() > 5) return 0;
  for (char c : text) {
    if (!In(kDigits, c)) return 0;
  }
  return std::strtol(text.c_str(), nullptr, 10) <= 16383 ? 1 : 0;
}

int ReferenceAddress(const std::string& text) {
  return text.empty() ? 1 : ReferenceMatch(text, "xx.xx.xx.xx");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string text = input.substr(0, split);
  std::string mask = split == std::string::npos ? std::string() : input.substr(split + 1);
  mask = mask.substr(0, mask.find('\0'));

  if (MatchMask(text.c_str(), mask.c_str()) != ReferenceMatch(text, mask)) std::abort();
  if (IsValidSocketText(text.c_str()) != ReferenceSocket(text)) std::abort();
  if (IsValidAddressText(text.c_str()) != ReferenceAddress(text)) std::abort();
  return 0;
}
