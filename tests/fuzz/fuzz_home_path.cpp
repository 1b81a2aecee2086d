// Fuzzes the module-path split with arbitrary paths, up to and beyond MAX_PATH, in single-
// and double-byte code pages. Input: one flag byte (low bit: the platform reported the path
// complete; the next two bits: the code page, see kCodePages), then the path.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/home_path.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

const LeadByteRanges kCodePages[] = {
    kSingleByteCodePage,
    {{0x81, 0x9F, 0xE0, 0xFC}},  // 932
    {{0x81, 0xFE}},              // 936, 949, 950
    {{0x5C, 0x5C, 0x80, 0xFF}},  // no real code page: even the backslash leads
};

// Where each character of `path` starts, worked out apart from the code under test: a
// byte in a lead range starts a character of two, unless it is the last byte.
std::string CharacterStarts(const std::string& path, const LeadByteRanges& lead) {
  std::string starts(path.size(), 0);
  for (std::size_t i = 0; i < path.size(); ++i) {
    starts[i] = 1;
    const unsigned char byte = static_cast<unsigned char>(path[i]);
    bool leads = false;
    for (std::size_t r = 0; r + 1 < sizeof lead.bytes && (lead.bytes[r] | lead.bytes[r + 1]); r += 2) {
      leads = leads || (byte >= lead.bytes[r] && byte <= lead.bytes[r + 1]);
    }
    if (leads && i + 1 < path.size()) ++i;
  }
  return starts;
}

// The last separator that starts a character, or npos.
std::size_t LastSeparator(const std::string& path, const std::string& starts, std::size_t from) {
  std::size_t found = std::string::npos;
  for (std::size_t i = from; i < path.size(); ++i) {
    if (starts[i] && IsSeparator(path[i])) found = i;
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int complete = data[0] & 1;
  const LeadByteRanges& lead = kCodePages[(data[0] >> 1) & 3];
  std::string given(reinterpret_cast<const char*>(data + 1), size - 1);
  given = given.substr(0, given.find('\0'));

  HomePlan plan;
  std::memset(&plan, 0x5A, sizeof plan);  // catch fields left unwritten
  PlanHomeDirectory(given.c_str(), complete, lead, &plan);

  // A "\\?\C:\..." or "\\?\UNC\server\..." path is split as its plain form, and so is
  // Wine 8's "UNC\server\...".
  std::string path = given;
  if (given.size() < kModulePathCapacity) {
    const bool long_form = given.compare(0, 4, "\\\\?\\") == 0;
    const std::string rest = long_form ? given.substr(4) : given;
    const bool letter = !rest.empty() && std::isalpha(static_cast<unsigned char>(rest[0])) &&
                        static_cast<unsigned char>(rest[0]) < 0x80;
    if (long_form && letter && rest.size() >= 2 && rest[1] == ':') {
      path = rest;
    } else if (rest.size() >= 4 && (rest[0] | 0x20) == 'u' && (rest[1] | 0x20) == 'n' &&
               (rest[2] | 0x20) == 'c' && rest[3] == '\\') {
      path = "\\\\" + rest.substr(4);
    }
  }
  const std::string starts = CharacterStarts(path, lead);

  const std::size_t prefix_length = strnlen(plan.prefix, sizeof plan.prefix);
  const std::size_t directory_length = strnlen(plan.directory, sizeof plan.directory);
  Require(prefix_length < sizeof plan.prefix);
  Require(directory_length < sizeof plan.directory);
  const std::string prefix(plan.prefix);
  const std::string directory(plan.directory);

  // No folder can be trusted from a cut or over-long path, nor found in one with neither
  // drive nor separator: then the current folder, and nothing changed.
  const bool drive = path.size() >= 2 && starts[1] && path[1] == ':';
  const bool fallback = !complete || given.size() >= kModulePathCapacity ||
                        (!drive && LastSeparator(path, starts, 0) == std::string::npos);
  if (fallback) {
    Require(prefix == ".\\" && plan.drive_number == 0 && directory.empty());
    return 0;
  }
  Require(path.compare(0, prefix.size(), prefix) == 0);
  const bool bare_drive = drive && prefix.size() == 2;
  Require(bare_drive || (IsSeparator(prefix.back()) && starts[prefix.size() - 1]));
  // The file name part holds no separator character: the prefix ends at the last one.
  Require(LastSeparator(path, starts, prefix.size()) == std::string::npos);
  Require(plan.drive_number >= 0 && plan.drive_number <= 26);
  Require(drive || plan.drive_number == 0);

  std::string expected = prefix.substr(drive ? 2 : 0);
  if (expected.empty()) {
    expected = ".";
  } else if (expected.back() == '\\') {
    expected.pop_back();
  }
  Require(directory == expected);
  return 0;
}
