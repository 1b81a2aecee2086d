// Fuzzes the module-path split with arbitrary paths, up to and beyond MAX_PATH.
// Input: one flag byte (low bit: the platform reported the path complete), then the path.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int complete = data[0] & 1;
  std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
  path = path.substr(0, path.find('\0'));

  HomePlan plan;
  std::memset(&plan, 0x5A, sizeof plan);  // catch fields left unwritten
  PlanHomeDirectory(path.c_str(), complete, &plan);

  const std::size_t prefix_length = strnlen(plan.prefix, sizeof plan.prefix);
  const std::size_t directory_length = strnlen(plan.directory, sizeof plan.directory);
  Require(prefix_length < sizeof plan.prefix);
  Require(directory_length < sizeof plan.directory);
  const std::string prefix(plan.prefix);
  const std::string directory(plan.directory);

  // No folder can be trusted from a cut or over-long path, nor found in one with neither
  // drive nor separator: then the current folder, and nothing changed.
  const bool drive = path.size() >= 2 && path[1] == ':';
  const bool fallback = !complete || path.size() >= kModulePathCapacity ||
                        (!drive && path.find_first_of("\\/") == std::string::npos);
  if (fallback) {
    Require(prefix == ".\\" && plan.drive_number == 0 && directory.empty());
    return 0;
  }
  Require(path.compare(0, prefix.size(), prefix) == 0);
  const bool bare_drive = drive && prefix.size() == 2;
  Require(bare_drive || IsSeparator(prefix.back()));
  // The file name part holds no separator: the prefix ends at the last one.
  Require(path.find_first_of("\\/", prefix.size()) == std::string::npos);
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
