// Finds the program's folder and makes it current. Failures to change drive or folder
// are not reported: the previous current folder simply stays.
#include "shell/home_directory.h"

#include <cstddef>

#include "shell/bounded_text.h"
#include "shell/code_page.h"
#include "shell/look_up.h"

// Zero-initialised, so it costs no space in the file; SetupHomeDirectory fills it first.
char HomePrefix[kHomePrefixCapacity];
LeadByteRanges HomeLeadBytes;

namespace {

// Converts a wide path to ANSI only when every character survives: converted back, the
// ANSI text must give the very same wide text. (A look-alike letter or '?' would not.)
int ToFaithfulAnsi(const CodePageCalls& calls, const WCHAR* wide, char* ansi, int capacity) {
  if (calls.WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, capacity, nullptr, nullptr) <= 0) {
    return 0;
  }
  WCHAR back[kModulePathCapacity];
  if (calls.MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, kModulePathCapacity) <= 0) return 0;
  for (int i = 0; back[i] == wide[i]; ++i) {
    if (wide[i] == 0) return 1;
  }
  return 0;
}

WidePathCheck CheckWidePath(const CodePageCalls& calls, HINSTANCE instance, WCHAR* wide) {
  if (calls.GetModuleFileNameW == nullptr || calls.WideCharToMultiByte == nullptr ||
      calls.MultiByteToWideChar == nullptr) {
    return kWidePathUnknown;
  }
  const DWORD length = calls.GetModuleFileNameW(instance, wide, kModulePathCapacity);
  if (length == 0 || length >= kModulePathCapacity) return kWidePathUnknown;
  char ansi[kModulePathCapacity];
  return ToFaithfulAnsi(calls, wide, ansi, kModulePathCapacity) ? kWidePathFaithful
                                                                : kWidePathLossy;
}

// The short form of the wide path in ANSI, when the volume has short names and the short
// name converts without loss. Without short names Windows hands back the long path, which
// then fails the same way.
int ShortAnsiPath(const CodePageCalls& calls, const WCHAR* wide, char* ansi) {
  if (calls.GetShortPathNameW == nullptr) return 0;
  WCHAR short_path[kModulePathCapacity];
  const DWORD length = calls.GetShortPathNameW(wide, short_path, kModulePathCapacity);
  if (length == 0 || length >= kModulePathCapacity) return 0;
  return ToFaithfulAnsi(calls, short_path, ansi, kModulePathCapacity);
}


}  // namespace

LeadByteRanges AnsiLeadBytes(const CodePageCalls& calls) {
  LeadByteRanges lead = kSingleByteCodePage;
  CPINFO info;
  if (calls.GetCPInfo == nullptr || !calls.GetCPInfo(CP_ACP, &info)) return lead;
  for (std::size_t i = 0; i < kLeadByteRangeBytes; ++i) lead.bytes[i] = info.LeadByte[i];
  return lead;
}

CodePageCalls LookUpCodePageCalls() {
  CodePageCalls calls;
  LookUpKernel("GetModuleFileNameW", &calls.GetModuleFileNameW);
  LookUpKernel("GetShortPathNameW", &calls.GetShortPathNameW);
  LookUpKernel("WideCharToMultiByte", &calls.WideCharToMultiByte);
  LookUpKernel("MultiByteToWideChar", &calls.MultiByteToWideChar);
  LookUpKernel("GetCPInfo", &calls.GetCPInfo);
  return calls;
}

LeadByteRanges SetupHomeDirectory(HINSTANCE instance) {
  return SetupHomeDirectoryWith(instance, LookUpCodePageCalls());
}

LeadByteRanges SetupHomeDirectoryWith(HINSTANCE instance, const CodePageCalls& calls) {
  char module_path[kModulePathCapacity];
  const DWORD length = GetModuleFileNameA(instance, module_path, sizeof module_path);
  // A result that fills the buffer means the path was cut (and, on older systems, left
  // unterminated); a result of 0 means it could not be read at all.
  const int complete = length > 0 && length < sizeof module_path;
  if (!complete) module_path[0] = '\0';

  // The short name is only asked for when the long one did not survive in ANSI.
  WCHAR wide[kModulePathCapacity];
  const WidePathCheck check = CheckWidePath(calls, instance, wide);
  char short_path[kModulePathCapacity];
  const int short_faithful = check == kWidePathLossy && ShortAnsiPath(calls, wide, short_path);

  const LeadByteRanges lead = AnsiLeadBytes(calls);
  HomeLeadBytes = lead;
  HomePlan plan;
  switch (ChooseHomeSource(module_path, complete, check, short_faithful, lead)) {
    case kHomeFromModulePath:
      PlanHomeDirectory(module_path, 1, lead, &plan);
      break;
    case kHomeFromShortPath:
      PlanHomeDirectory(short_path, 1, lead, &plan);
      break;
    case kHomeFromCurrentFolder:
      PlanHomeDirectory("", 0, lead, &plan);
      break;
  }
  CopyText(HomePrefix, sizeof HomePrefix, plan.prefix);

  // The folder carries no drive, so it is resolved on the drive selected first. A bare
  // "X:" selects drive X with that drive's own current folder (its root when it has none).
  if (plan.drive_number != 0) {
    const char drive[] = {static_cast<char>('A' + plan.drive_number - 1), ':', '\0'};
    SetCurrentDirectoryA(drive);
  }
  if (plan.directory[0] != '\0') SetCurrentDirectoryA(plan.directory);
  return lead;
}
