// Splits a module path into its drive and directory parts, and decides whether the path
// can be trusted at all.
#include "shell/home_path.h"

#include <cstddef>

#include "shell/bounded_text.h"
#include "shell/code_page.h"

namespace {

int IsSeparator(char c) { return c == '\\' || c == '/'; }

// NT hands a program started through a "\\?\" path its module path in that form:
// "\\?\C:\dir\x.exe", or "\\?\UNC\server\share\dir\x.exe". Both name the same file as
// "C:\dir\x.exe" and "\\server\share\dir\x.exe", which are shorter, so the plain form is
// written into `plain` (of kModulePathCapacity bytes) and used instead. Wine 8 names a program
// started from a share "UNC\server\share\dir\x.exe", NT's "\??\UNC\" without its first
// part, which no Windows gives and which would otherwise read as a relative path: it is the
// same share. Any other path, a "\\?\Volume{...}" one included, is returned as it is.
const char* WithoutLongPathPrefix(const char* path, char* plain) {
  const char* rest = path;
  if (path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\') {
    rest = path + 4;
    if (DriveNumber(rest[0]) != 0 && rest[1] == ':') return rest;
  }
  if ((rest[0] == 'U' || rest[0] == 'u') && (rest[1] == 'N' || rest[1] == 'n') &&
      (rest[2] == 'C' || rest[2] == 'c') && rest[3] == '\\') {
    // "UNC" becomes "\", the start of "\\server": never longer than the path.
    plain[0] = '\\';
    CopyText(plain + 1, kModulePathCapacity - 1, rest + 3);
    return plain;
  }
  return path;
}

void PlanCurrentFolder(HomePlan* plan) {
  CopyText(plan->prefix, sizeof plan->prefix, kCurrentFolderPrefix);
  plan->drive_number = 0;
  plan->directory[0] = '\0';
}

}  // namespace

int DriveNumber(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a' + 1;
  if (letter >= 'A' && letter <= 'Z') return letter - 'A' + 1;
  return 0;  // not a drive letter: selecting it could only fail, or worse
}

int HoldsLostCharacter(const char* path, const LeadByteRanges& lead) {
  for (const char* c = path; *c != '\0'; c = NextChar(c, lead)) {
    if (*c == '?') return 1;
  }
  return 0;
}

void PlanHomeDirectory(const char* module_path, int path_complete, const LeadByteRanges& lead,
                       HomePlan* plan) {
  char plain[kModulePathCapacity];
  const char* const path = TextLength(module_path) < kModulePathCapacity
                               ? WithoutLongPathPrefix(module_path, plain)
                               : module_path;
  const std::size_t length = TextLength(path);
  if (!path_complete || length >= kModulePathCapacity) {
    PlanCurrentFolder(plan);
    return;
  }

  // A drive is a one-byte letter and a colon. The separators are whole characters: in a
  // double-byte code page the second byte of a character in a name can be a backslash.
  const std::size_t drive_length =
      (length >= 2 && NextChar(path, lead) == path + 1 && path[1] == ':') ? 2 : 0;
  std::size_t directory_end = drive_length;  // one past the last separator
  for (const char* c = path + drive_length; *c != '\0'; c = NextChar(c, lead)) {
    if (IsSeparator(*c)) directory_end = static_cast<std::size_t>(c - path) + 1;
  }
  if (directory_end == 0) {
    // Neither drive nor folder (a bare file name): the prefix would be empty and the
    // settings file would be looked for in the Windows folder.
    PlanCurrentFolder(plan);
    return;
  }

  // Both parts are a prefix of a path shorter than the capacity, so they fit.
  CopyTextPart(plan->prefix, sizeof plan->prefix, path, directory_end);

  plan->drive_number = drive_length == 2 ? DriveNumber(path[0]) : 0;

  // The folder to make current carries no drive and loses one trailing backslash (a root
  // "\" becomes empty, which changes nothing); its last byte is the separator found above,
  // a whole character. A drive with no folder uses ".", so the selected drive's own
  // current folder stays.
  const char* directory = path + drive_length;
  std::size_t directory_length = directory_end - drive_length;
  if (directory_length == 0) {
    CopyText(plan->directory, sizeof plan->directory, ".");
    return;
  }
  if (directory[directory_length - 1] == '\\') --directory_length;
  CopyTextPart(plan->directory, sizeof plan->directory, directory, directory_length);
}

HomeSource ChooseHomeSource(const char* ansi_path, int ansi_complete, WidePathCheck wide,
                            int short_path_faithful, const LeadByteRanges& lead) {
  // The '?' of a "\\?\" prefix is no lost character.
  char plain[kModulePathCapacity];
  const char* const path = TextLength(ansi_path) < kModulePathCapacity
                               ? WithoutLongPathPrefix(ansi_path, plain)
                               : ansi_path;
  if (ansi_complete && wide != kWidePathLossy && !HoldsLostCharacter(path, lead)) {
    return kHomeFromModulePath;
  }
  return short_path_faithful ? kHomeFromShortPath : kHomeFromCurrentFolder;
}
